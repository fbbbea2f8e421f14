// The host side of the callback for tests that build a plug-in object in process: it
// answers the version and, once set, the time info, and records automation and edit
// gestures. Recording allocates; tests that count allocations or run two threads turn it
// off.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "host/Vst2.h"

namespace testhost {

struct Automation {
    int32_t index;
    float value;
    bool operator==(const Automation&) const = default;
};

struct HostState {
    VstTimeInfo* time = nullptr;  // answered to audioMasterGetTime
    std::atomic<bool> recording{true};
    std::vector<Automation> automations;
    std::vector<std::pair<int32_t, int32_t>> gestures;  // (opcode, index) of begin and end edit

    void clear() {
        time = nullptr;
        recording = true;
        automations.clear();
        gestures.clear();
    }
};

inline HostState& host() {
    static HostState state;
    return state;
}
inline std::vector<Automation>& automations() { return host().automations; }
inline std::vector<std::pair<int32_t, int32_t>>& gestures() { return host().gestures; }

inline intptr_t callback(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
    HostState& state = host();
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetTime:
            return reinterpret_cast<intptr_t>(state.time);
        case audioMasterAutomate:
            if (state.recording) state.automations.push_back({index, opt});
            return 0;
        case audioMasterBeginEdit:
        case audioMasterEndEdit:
            if (state.recording) state.gestures.emplace_back(opcode, index);
            return 0;
        default:
            return 0;
    }
}

}  // namespace testhost
