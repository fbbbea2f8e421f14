#include "render/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "render/OutputFormat.h"

namespace render {

namespace {

const char kUsage[] =
    R"(Usage: zorvek-render PLUGIN.so [MIDIFILE] [options]
       zorvek-render --list-midi MIDIFILE [--track ...] [--channel ...]

Plays a Standard MIDI File (or a built-in demo phrase) through a VST 2 plug-in and
writes what it plays to a sound file.

Input and output:
  MIDIFILE, --midi FILE   MIDI file to play (format 0 or 1)
  --demo                  play the built-in demo phrase (the default without a MIDI file
                          or input audio)
  -o, --output FILE       sound file to write (stereo); its name chooses the format:
                          .wav, .flac, .ogg (Vorbis) or .aiff
  -i, --input FILE        audio fed to an effect plug-in's inputs (default: silence)
  --bits 16|24|32         sample format: 16 or 24 bit integer, 32 bit float (default:
                          32 for .wav, 24 for .flac and .aiff; .ogg takes none)
  --gain DB               scale the output by DB decibels
  --normalize[=DBFS]      scale the output so that its peak is DBFS (default -1)

Choosing what plays from a MIDI file (see --list-midi):
  --track N[,M...]        play only these tracks, counting from 1
  --channel N[,M...]|all  play only these channels (1 to 16). Without this option every
                          channel but 10, the General MIDI drums, plays
  --ignore-cc N[,M...]|all  drop these controllers (e.g. 7,10 for volume and pan), or all
                          Lists may hold ranges such as 1-4.

Playback:
  --rate HZ               sample rate (default 44100, or that of the input audio)
  --block FRAMES          block size handed to the plug-in (default 512)
  --tempo BPM             play at this tempo, ignoring the file's tempo changes
                          (the demo phrase plays at 120)
  --tail SECONDS          render this long after the last note (default: until the
                          output has stayed below -90 dBFS for 0.5 s, at most 60 s)

Plug-in state (applied in this order):
  --chunk FILE            load a bank chunk (raw plug-in state) into the plug-in
  --program N             select program N (counting from 0)
  --preset-chunk FILE     load a program chunk into the selected program
  --preset FILE           set parameters from a text file of NAME=VALUE lines (values
                          0 to 1, # starts a comment line), as --save-preset writes it
  --param NAME=VALUE      set a parameter by name (or index) to VALUE in 0..1;
                          may be given many times
  --save-preset FILE      write every parameter, after all of the above, as a preset
                          text (with no -o, nothing is rendered)

Information:
  --list-midi             print the MIDI file's tracks, channels, notes and controllers
                          and what of it plays, then exit (no plug-in needed)
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
        // Listing a MIDI file needs no plug-in: a lone file is the MIDI file.
        if (o.listMidi && (positional.size() == 1 ? o.midiPath.empty() : positional.empty()))
            positional.insert(positional.begin(), "");
        if (positional.empty()) return fail("no plug-in given");
        if (positional.size() > 2) return fail("unexpected argument '" + positional[2] + "'");
        o.pluginPath = positional[0];
        if (positional.size() == 2) {
            if (!o.midiPath.empty()) return fail("two MIDI files given ('" + positional[1] + "' and --midi)");
            o.midiPath = positional[1];
        }
        if (o.demo && !o.midiPath.empty()) return fail("--demo and a MIDI file exclude each other");
        if (o.listMidi) return o.midiPath.empty() ? fail("--list-midi needs a MIDI file") : ok();
        if (o.outputPath.empty() && !o.bench && !o.listParameters && !o.listPrograms && o.savePresetPath.empty())
            return fail("no output file given (-o FILE)");
        if (o.gainDb && o.normalizeDbfs) return fail("--gain and --normalize exclude each other");
        OutputFormat format;
        std::string problem;
        if (!o.outputPath.empty() && !OutputFormat::forPath(o.outputPath, o.bits, format, problem))
            return fail(problem);
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
                error("option " + name + ": '" + text + "' is not " + (integer ? "an integer" : "a number") + " from " +
                      trimmedNumber(low) + " to " + trimmedNumber(high));
        };

        // A list of numbers, or "all" where allowed.
        auto list = [&](int low, int high, std::vector<int>& numbers, bool* all = nullptr) {
            std::string text, problem;
            value(text);
            if (!result.error.empty()) return;
            if (all && text == "all")
                *all = true;
            else if (!MidiSelection::parseList(text, low, high, numbers, problem))
                error("option " + name + ": " + problem);
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
            number(0, 600, false, n);
            o.tailSeconds = n;
        } else if (name == "--gain") {
            number(-120, 60, false, n);
            o.gainDb = n;
        } else if (name == "--normalize") {
            o.normalizeDbfs = -1.0;
            if (attached && !parseNumber(*attached, -60, 0, n))
                error("option --normalize: '" + *attached + "' is not a peak level from -60 to 0 dBFS");
            else if (attached)
                o.normalizeDbfs = n;
        } else if (name == "--track") {
            list(1, 65535, o.selection.tracks);
        } else if (name == "--channel") {
            list(1, 16, o.selection.channels, &o.selection.allChannels);
        } else if (name == "--ignore-cc") {
            std::vector<int> controllers;
            bool all = false;
            list(0, 127, controllers, &all);
            for (int c : controllers) o.selection.ignoredControllers.set(static_cast<size_t>(c));
            if (all) o.selection.ignoredControllers.set();
        } else if (name == "--preset") {
            value(o.presetPath);
        } else if (name == "--save-preset") {
            value(o.savePresetPath);
        } else if (name == "--list-midi") {
            flag(o.listMidi);
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

    // Reads NAME=VALUE itself, since a name may hold "=".
    void parameter() {
        std::string text, problem;
        if (size_t eq = args[index].find('='); eq != std::string::npos)
            text = args[index].substr(eq + 1);
        else if (index + 1 < args.size())
            text = args[++index];
        ParameterSetting setting{};
        if (!parseParameterSetting(text, setting, problem)) return error("option --param: " + problem);
        result.options.parameters.push_back(setting);
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

bool parseParameterSetting(const std::string& text, ParameterSetting& setting, std::string& problem) {
    size_t eq = text.rfind('=');
    double v = 0.0;
    if (eq == std::string::npos || eq == 0) {
        problem = "expected NAME=VALUE, got '" + text + "'";
        return false;
    }
    if (!parseNumber(text.substr(eq + 1), 0.0, 1.0, v)) {
        problem = text + ": the value must be a number from 0 to 1";
        return false;
    }
    setting = {text.substr(0, eq), static_cast<float>(v)};
    return true;
}

ParsedOptions parseOptions(const std::vector<std::string>& args) { return Parser(args).run(); }

const char* usageText() { return kUsage; }

}  // namespace render
