// Which MIDI controller moves which automatable parameter: read when the plug-in is
// built from the user's ini file, or while the user has none from the file beside the
// plug-in; written back to the user's file when the plug-in is destroyed.
#pragma once

#include <string>

#include "framework/ParamDesc.h"

class AudioEffectX;

class MidiCcMap {
public:
    static constexpr int kNoController = 255;

    struct Files {
        std::string user;     // read when it exists, and the only file ever written
        std::string shipped;  // read while the user's file does not exist; may be ""
    };

    // Reads section "midicc" (one key per parameter name, the descriptor's controller
    // when a key is missing). count is at most kNumAutomatable. A file that exists but
    // cannot be read leaves the defaults, says so on the message channel, and is never
    // written over.
    MidiCcMap(int count, const ParamDesc* table, Files files);
    MidiCcMap(int count, const ParamDesc* table, std::string iniPath)
        : MidiCcMap(count, table, Files{std::move(iniPath), {}}) {}
    // Writes every parameter's controller to the user's file (0 for none), creating its
    // folder; a failed write is skipped.
    ~MidiCcMap();
    MidiCcMap(const MidiCcMap&) = delete;
    MidiCcMap& operator=(const MidiCcMap&) = delete;

    // Audio thread: every parameter on this controller is set through the host's
    // automation path. Controller 0 moves nothing.
    void dispatch(int controller, float value, AudioEffectX& effect) const;
    // The parameter's controller, 0 when it has none.
    int controllerOf(int parameter) const;

    // The user's "<config>/Zorvek/<name>.ini" and the plug-in library's path with its
    // extension replaced by ".ini"; the latter alone when the user has no home.
    static Files defaultFiles(const char* name);
    static std::string iniPathFor(std::string libraryPath);

private:
    void insert(int controller, int parameter);

    std::string userPath;
    const ParamDesc* descriptors;
    int count;
    // Sorted by controller; parameters sharing one stay in index order.
    int controllers[kNumAutomatable];
    int parameters[kNumAutomatable];
};
