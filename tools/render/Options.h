// The command line of zorvek-render.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/MidiSelection.h"

namespace render {

struct ParameterSetting {
    std::string name;  // a parameter name, or an index when no name matches
    float value;       // 0..1
};

struct Options {
    std::string pluginPath;
    std::string midiPath;
    bool demo = false;
    std::string outputPath;
    std::string inputPath;

    double sampleRate = 44100.0;
    bool sampleRateGiven = false;
    int32_t blockSize = 512;
    std::optional<double> tempo;
    std::optional<double> tailSeconds;  // none: until the output has faded
    int bits = 0;                       // 0: the output format's default
    std::optional<double> gainDb;
    std::optional<double> normalizeDbfs;
    MidiSelection selection;

    std::vector<ParameterSetting> parameters;
    std::optional<int32_t> program;
    std::string bankChunkPath;
    std::string programChunkPath;
    std::string presetPath;
    std::string savePresetPath;

    bool listParameters = false;
    bool listPrograms = false;
    bool listMidi = false;
    bool bench = false;
    double benchSeconds = 30.0;
    bool progress = false;
    bool help = false;
};

struct ParsedOptions {
    bool ok = false;
    Options options;
    std::string error;  // one line
};

// "NAME=VALUE" split at the last "=", VALUE a number from 0 to 1; false with a problem.
bool parseParameterSetting(const std::string& text, ParameterSetting& setting, std::string& problem);

// args excludes the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);
const char* usageText();

}  // namespace render
