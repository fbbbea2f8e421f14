// Which MIDI controller moves which automatable parameter: read from the ini file beside
// the plug-in when the plug-in is built, written back when it is destroyed.
#pragma once

#include <string>

#include "framework/ParamDesc.h"

class AudioEffectX;

class MidiCcMap {
public:
    static constexpr int kNoController = 255;

    // Reads section "midicc" of the ini file (one key per parameter name, the descriptor's
    // controller when a key is missing). count is at most kNumAutomatable.
    MidiCcMap(int count, const ParamDesc* table, std::string iniPath);
    // Writes every parameter's controller back (0 for none); a failed write is skipped.
    ~MidiCcMap();
    MidiCcMap(const MidiCcMap&) = delete;
    MidiCcMap& operator=(const MidiCcMap&) = delete;

    // Audio thread: every parameter on this controller is set through the host's
    // automation path. Controller 0 moves nothing.
    void dispatch(int controller, float value, AudioEffectX& effect) const;
    // The parameter's controller, 0 when it has none.
    int controllerOf(int parameter) const;

    // The plug-in library's path with its extension replaced by ".ini".
    static std::string defaultIniPath();
    static std::string iniPathFor(std::string libraryPath);

private:
    void insert(int controller, int parameter);

    std::string iniPath;
    const ParamDesc* descriptors;
    int count;
    // Sorted by controller; parameters sharing one stay in index order.
    int controllers[kNumAutomatable];
    int parameters[kNumAutomatable];
};
