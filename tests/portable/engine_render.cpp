// Renders the vocoder instrument in process, without a host, and writes its output as raw
// 32-bit floats: every factory program in turn plays a chord and a short melody. The
// program lives beside the plug-ins, so the factory bank finds its WAV files there. Two
// builds of the engine (other processors, other compilers) are compared by comparing
// their files byte for byte.
#include <cstdio>
#include <memory>
#include <vector>

#include "framework/VocoderPlugin.h"
#include "support/EventList.h"

namespace {

constexpr int32_t kBlock = 512;

void play(VocoderPlugin& plugin, EventList& list, const std::vector<VstMidiEvent>& events, int32_t blocks,
          std::FILE* out) {
    std::vector<float> left(kBlock), right(kBlock), interleaved(2 * kBlock);
    float* outputs[2] = {left.data(), right.data()};
    for (int32_t b = 0; b < blocks; ++b) {
        if (b == 0 && !events.empty()) {
            for (size_t i = 0; i < events.size(); ++i) list.events[i] = events[i];
            plugin.processEvents(list.build(events.size()));
        }
        plugin.processReplacing(nullptr, outputs, kBlock);
        for (int32_t k = 0; k < kBlock; ++k) {
            interleaved[2 * k] = left[k];
            interleaved[2 * k + 1] = right[k];
        }
        std::fwrite(interleaved.data(), sizeof(float), interleaved.size(), out);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.raw\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    plugin->setSampleRate(44100.0f);
    EventList list(8);
    for (int32_t program = 0; program < 16; ++program) {
        plugin->setProgram(program);
        play(*plugin, list,
             {EventList::midi(0x90, 48, 100, 0), EventList::midi(0x90, 55, 90, 17), EventList::midi(0x90, 64, 80, 300)},
             40, out);
        play(*plugin, list, {EventList::midi(0x80, 55, 0, 5), EventList::midi(0x90, 67, 127, 200)}, 30, out);
        play(*plugin, list,
             {EventList::midi(0x80, 48, 0, 0), EventList::midi(0x80, 64, 0, 0), EventList::midi(0x80, 67, 0, 100)}, 30,
             out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
