// The chunk reader on arbitrary data, both as a bank and as a single program, with the
// size the host reports: text chunks after the magic and the two raw-float layouts
// recognised by their size. Afterwards every live and stored value lies in 0..1, and the
// bank the plug-in writes loads into a second instance with the same names, values (bit
// for bit) and file paths. The reader lives in the plug-in framework, so a plug-in
// without modules runs it at a fraction of the instrument's construction cost; hostile
// values on their way into the modules are the event fuzzer's part.
//
// Input layout: byte 0 bit 0 chooses a single program (1) or a bank (0); the rest is
// the chunk, handed over in a buffer of exactly its size.
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FuzzHost.h"
#include "framework/PluginBase.h"

namespace {

// The longest path a bank line "00File1=<path>" still carries whole.
constexpr size_t kLongestRestoredPath = 243;

// Its controller map file lies in a folder that does not exist: the map keeps its
// defaults and never writes.
class BarePlugin : public PluginBase {
public:
    BarePlugin()
        : PluginBase(fuzz::quietHost, kNumAutomatable, kVocoderParams, "Zorvek2", "Zorvek2", "Drennak",
                     "/nonexistent/zorvek-fuzz/controllers.ini") {}
};

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "chunk fuzzer: %s\n", what);
        std::abort();
    }
}

bool inRange(float value) { return value >= 0.0f && value <= 1.0f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    if (size < 1) return 0;
    const bool isPreset = data[0] & 1;
    const size_t chunkSize = size - 1;
    // An exactly sized heap block: any read past the reported size is caught.
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[chunkSize]);
    if (chunkSize) std::memcpy(chunk.get(), data + 1, chunkSize);

    BarePlugin plugin;
    plugin.setChunk(chunkSize ? chunk.get() : nullptr, static_cast<int32_t>(chunkSize), isPreset);
    for (int i = 0; i < kNumAutomatable; ++i) require(inRange(plugin.getParameter(i)), "live value outside 0..1");
    for (int p = 0; p < PluginBase::kNumPrograms; ++p)
        for (int i = 0; i < kNumAutomatable; ++i)
            require(inRange(plugin.program(p).values[i].load()), "stored value outside 0..1");

    void* written = nullptr;
    const int32_t writtenSize = plugin.getChunk(&written, false);
    require(written && writtenSize > 0, "no bank written");
    std::unique_ptr<uint8_t[]> bank(new uint8_t[static_cast<size_t>(writtenSize)]);
    std::memcpy(bank.get(), written, static_cast<size_t>(writtenSize));
    BarePlugin copy;
    require(copy.setChunk(bank.get(), writtenSize, false) == 1, "own bank refused");
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        require(std::strcmp(plugin.program(p).name, copy.program(p).name) == 0, "program name not restored");
        for (int i = 0; i < kNumAutomatable; ++i)
            require(std::bit_cast<uint32_t>(plugin.program(p).values[i].load()) ==
                        std::bit_cast<uint32_t>(copy.program(p).values[i].load()),
                    "stored value not restored");
    }
    for (int s = 0; s < kNumFileSlots; ++s) {
        const char* path = plugin.fileSlotPath(s);
        if (std::strlen(path) <= kLongestRestoredPath)
            require(std::strcmp(path, copy.fileSlotPath(s)) == 0, "file path not restored");
    }
    return 0;
}
