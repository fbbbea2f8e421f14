// The chunk reader on arbitrary data, both as a bank and as a single program, with the
// size the host reports: text chunks after the magic and the two raw-float layouts
// recognised by their size. Afterwards every live and stored value lies in 0..1, the
// instrument plays finite, bounded audio, and the bank it writes loads into a second
// instance with the same names and values bit for bit.
//
// Input layout: byte 0 bit 0 chooses a single program (1) or a bank (0); the rest is
// the chunk, handed over in a buffer of exactly its size.
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzHost.h"
#include "framework/VocoderPlugin.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "chunk fuzzer: %s\n", what);
        std::abort();
    }
}

bool inRange(float value) { return value >= 0.0f && value <= 1.0f; }

void checkValues(VocoderPlugin& plugin) {
    for (int i = 0; i < kNumAutomatable; ++i) require(inRange(plugin.getParameter(i)), "live value outside 0..1");
    for (int p = 0; p < PluginBase::kNumPrograms; ++p)
        for (int i = 0; i < kNumAutomatable; ++i)
            require(inRange(plugin.program(p).values[i].load()), "stored value outside 0..1");
}

void play(VocoderPlugin& plugin) {
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    note.midiData[0] = static_cast<char>(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&note);
    plugin.processEvents(&list);
    constexpr int32_t kFrames = 512;
    float left[kFrames], right[kFrames];
    float* outputs[2] = {left, right};
    for (int block = 0; block < 4; ++block) {
        plugin.processReplacing(nullptr, outputs, kFrames);
        fuzz::checkOutput(left, kFrames, "left");
        fuzz::checkOutput(right, kFrames, "right");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    if (size < 1) return 0;
    const bool isPreset = data[0] & 1;
    std::vector<uint8_t> chunk(data + 1, data + size);
    // An exactly sized heap block: any read past the reported size is caught.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[chunk.size() + 1]);
    std::memcpy(exact.get(), chunk.data(), chunk.size());

    auto plugin = std::make_unique<VocoderPlugin>(fuzz::quietHost);
    plugin->setChunk(chunk.empty() ? nullptr : exact.get(), static_cast<int32_t>(chunk.size()), isPreset);
    checkValues(*plugin);
    play(*plugin);

    void* written = nullptr;
    const int32_t writtenSize = plugin->getChunk(&written, false);
    require(written && writtenSize > 0, "no bank written");
    std::vector<uint8_t> bank(static_cast<const uint8_t*>(written), static_cast<const uint8_t*>(written) + writtenSize);
    auto copy = std::make_unique<VocoderPlugin>(fuzz::quietHost);
    require(copy->setChunk(bank.data(), writtenSize, false) == 1, "own bank refused");
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        require(std::strcmp(plugin->program(p).name, copy->program(p).name) == 0, "program name not restored");
        for (int i = 0; i < kNumAutomatable; ++i)
            require(std::bit_cast<uint32_t>(plugin->program(p).values[i].load()) ==
                        std::bit_cast<uint32_t>(copy->program(p).values[i].load()),
                    "stored value not restored");
    }
    return 0;
}
