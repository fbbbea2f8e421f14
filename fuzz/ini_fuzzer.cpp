// The ini reader and writer on arbitrary files, and the controller map on top of them.
// Writing one key must keep every other key readable with its old value; the map a
// plug-in writes back reads in again as the same map.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "FuzzHost.h"
#include "framework/MidiCcMap.h"
#include "platform/IniFile.h"

namespace {

const char* const kSections[] = {"midicc", "MIDICC", "other", ""};
const char* const kKeys[] = {"Volume", "pan", "Cutoff", "x", ""};

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "ini fuzzer: %s\n", what);
        std::abort();
    }
}

// The written key is kKeys[0] in kSections[0]; names compare without case.
bool isWrittenKey(size_t s, size_t k) { return s < 2 && k == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    static fuzz::ScratchFile file(".ini");
    const std::string& path = file.write(data, size);

    std::optional<std::string> before[std::size(kSections)][std::size(kKeys)];
    {
        platform::IniFile ini(path);
        for (size_t s = 0; s < std::size(kSections); ++s)
            for (size_t k = 0; k < std::size(kKeys); ++k) {
                before[s][k] = ini.get(kSections[s], kKeys[k]);
                ini.getUnsigned(kSections[s], kKeys[k], 7);
            }
        ini.set(kSections[0], kKeys[0], "42");
        require(ini.save(), "save failed");
    }
    {
        platform::IniFile ini(path);
        for (size_t s = 0; s < std::size(kSections); ++s)
            for (size_t k = 0; k < std::size(kKeys); ++k) {
                std::optional<std::string> after = ini.get(kSections[s], kKeys[k]);
                if (isWrittenKey(s, k))
                    require(after == "42", "written key does not read back");
                else
                    require(after == before[s][k], "another key changed");
            }
    }

    // The controller map reads the file, writes every controller back when it goes,
    // and a second map reads exactly what the first one held.
    int controllers[kNumAutomatable];
    {
        MidiCcMap map(kNumAutomatable, kVocoderParams, path);
        for (int i = 0; i < kNumAutomatable; ++i) {
            controllers[i] = map.controllerOf(i);
            require(controllers[i] >= 0 && controllers[i] < MidiCcMap::kNoController, "controller out of range");
        }
    }
    MidiCcMap again(kNumAutomatable, kVocoderParams, path);
    for (int i = 0; i < kNumAutomatable; ++i) require(again.controllerOf(i) == controllers[i], "map not restored");
    return 0;
}
