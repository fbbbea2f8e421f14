#include "render/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace render {

namespace {

const char kUsage[] =
    R"(Usage: zorvek-render PLUGIN.so [MIDIFILE] [options]

Plays a Standard MIDI File (or a built-in demo phrase) through a VST 2 plug-in and
writes what it plays to a WAV file.

Input and output:
  MIDIFILE, --midi FILE   MIDI file to play (format 0 or 1)
  --demo                  play the built-in demo phrase (the default without a MIDI file
                          or input audio)
  -o, --output FILE       WAV file to write (stereo)
  -i, --input FILE        audio fed to an effect plug-in's inputs (default: silence)
  --bits 16|24|32         sample format of the output: 16 or 24 bit integer, 32 bit
                          float (default 32)

Playback:
  --rate HZ               sample rate (default 44100, or that of the input audio)
  --block FRAMES          block size handed to the plug-in (default 512)
  --tempo BPM             play at this tempo, ignoring the file's tempo changes
                          (the demo phrase plays at 120)
  --tail SECONDS          keep rendering after the last note (default 2)

Plug-in state (applied in this order):
  --chunk FILE            load a bank chunk (raw plug-in state) into the plug-in
  --program N             select program N (counting from 0)
  --preset-chunk FILE     load a program chunk into the selected program
  --param NAME=VALUE      set a parameter by name (or index) to VALUE in 0..1;
                          may be given many times

Information:
  --list-params           print index, name and value of every parameter, then exit
  --list-programs         print the programs, then exit
  --bench[=SECONDS]       render SECONDS (default 30) repeating the phrase and print
                          the plug-in's processing speed; writes a file only with -o
  --progress              always show the progress bar (by default it appears on a
                          terminal once a render takes a couple of seconds)
  -h, --help              show this text
)";

bool parseNumber(const std::string& text, double low, double high, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0 || !std::isfinite(v) || v < low || v > high) return false;
    value = v;
    return true;
}

bool parseInteger(const std::string& text, double low, double high, double& value) {
    return parseNumber(text, low, high, value) && std::floor(value) == value &&
           text.find_first_of(".eE") == std::string::npos;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args(args) {}

    ParsedOptions run() {
        std::vector<std::string> positional;
        // Every argument is read, even after an error, so that --help anywhere wins.
        for (index = 0; index < args.size(); ++index) {
            const std::string& arg = args[index];
            if (arg.size() > 1 && arg[0] == '-')
                option(arg);
            else
                positional.push_back(arg);
        }
        Options& o = result.options;
        if (o.help) return ok();
        if (!result.error.empty()) return result;
        if (positional.empty()) return fail("no plug-in given");
        if (positional.size() > 2) return fail("unexpected argument '" + positional[2] + "'");
        o.pluginPath = positional[0];
        if (positional.size() == 2) {
            if (!o.midiPath.empty()) return fail("two MIDI files given ('" + positional[1] + "' and --midi)");
            o.midiPath = positional[1];
        }
        if (o.demo && !o.midiPath.empty()) return fail("--demo and a MIDI file exclude each other");
        if (o.outputPath.empty() && !o.bench && !o.listParameters && !o.listPrograms)
            return fail("no output file given (-o FILE)");
        return ok();
    }

private:
    ParsedOptions ok() {
        result.ok = true;
        result.error.clear();
        return result;
    }
    ParsedOptions fail(std::string message) {
        result.error = std::move(message);
        return result;
    }
    void error(std::string message) {
        if (result.error.empty()) result.error = std::move(message);
    }

    void option(const std::string& arg) {
        std::string name = arg;
        std::optional<std::string> attached;
        if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            attached = arg.substr(eq + 1);
        }
        Options& o = result.options;
        auto flag = [&](bool& target) {
            if (attached) return error("option " + name + " takes no value");
            target = true;
        };
        auto value = [&](std::string& target) {
            if (attached) {
                target = *attached;
            } else if (index + 1 < args.size()) {
                target = args[++index];
            } else {
                return error("option " + name + " needs a value");
            }
            if (target.empty()) error("option " + name + " needs a value");
        };
        auto number = [&](double low, double high, bool integer, double& target) {
            std::string text;
            value(text);
            if (!result.error.empty()) return;
            if (!(integer ? parseInteger(text, low, high, target) : parseNumber(text, low, high, target)))
                error("option " + name + ": '" + text + "' is not " + (integer ? "an integer" : "a number") +
                      " from " + trimmedNumber(low) + " to " + trimmedNumber(high));
        };

        double n = 0.0;
        if (name == "-h" || name == "--help") {
            flag(o.help);
        } else if (name == "--midi") {
            value(o.midiPath);
        } else if (name == "--demo") {
            flag(o.demo);
        } else if (name == "-o" || name == "--output") {
            value(o.outputPath);
        } else if (name == "-i" || name == "--input") {
            value(o.inputPath);
        } else if (name == "--bits") {
            number(16, 32, true, n);
            if (result.error.empty() && n != 16 && n != 24 && n != 32) error("option --bits: use 16, 24 or 32");
            o.bits = static_cast<int>(n);
        } else if (name == "--rate") {
            number(8000, 384000, true, o.sampleRate);
            o.sampleRateGiven = true;
        } else if (name == "--block") {
            number(1, 8192, true, n);
            o.blockSize = static_cast<int32_t>(n);
        } else if (name == "--tempo") {
            number(10, 1000, false, n);
            o.tempo = n;
        } else if (name == "--tail") {
            number(0, 600, false, o.tailSeconds);
        } else if (name == "--chunk") {
            value(o.bankChunkPath);
        } else if (name == "--program") {
            number(0, 1 << 20, true, n);
            o.program = static_cast<int32_t>(n);
        } else if (name == "--preset-chunk") {
            value(o.programChunkPath);
        } else if (name == "--param") {
            parameter();
        } else if (name == "--list-params") {
            flag(o.listParameters);
        } else if (name == "--list-programs") {
            flag(o.listPrograms);
        } else if (name == "--bench") {
            o.bench = true;
            if (attached && !parseNumber(*attached, 0.001, 3600, o.benchSeconds))
                error("option --bench: '" + *attached + "' is not a number of seconds up to 3600");
        } else if (name == "--progress") {
            flag(o.progress);
        } else {
            error("unknown option " + name + " (see --help)");
        }
    }

    // Reads NAME=VALUE itself, splitting at the last "=" so that a name may hold one.
    void parameter() {
        std::string text;
        if (size_t eq = args[index].find('='); eq != std::string::npos)
            text = args[index].substr(eq + 1);
        else if (index + 1 < args.size())
            text = args[++index];
        size_t eq = text.rfind('=');
        double v = 0.0;
        if (eq == std::string::npos || eq == 0)
            return error("option --param: expected NAME=VALUE, got '" + text + "'");
        if (!parseNumber(text.substr(eq + 1), 0.0, 1.0, v))
            return error("option --param " + text + ": the value must be a number from 0 to 1");
        result.options.parameters.push_back({text.substr(0, eq), static_cast<float>(v)});
    }

    static std::string trimmedNumber(double v) {
        std::string s = std::to_string(v);
        s.erase(s.find_last_not_of('0') + 1);
        if (!s.empty() && s.back() == '.') s.pop_back();
        return s;
    }

    const std::vector<std::string>& args;
    size_t index = 0;
    ParsedOptions result;
};

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) { return Parser(args).run(); }

const char* usageText() { return kUsage; }

}  // namespace render
