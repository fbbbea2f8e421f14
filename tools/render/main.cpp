// zorvek-render: plays MIDI through a VST 2 plug-in and writes the result to a sound file.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/AudioWriter.h"
#include "render/DemoPhrase.h"
#include "render/EventSchedule.h"
#include "render/InputAudio.h"
#include "render/MidiFile.h"
#include "render/MidiListing.h"
#include "render/Options.h"
#include "render/PluginHost.h"
#include "render/PresetFile.h"
#include "render/ProgressBar.h"
#include "render/Renderer.h"
#include "render/TempoMap.h"

namespace render {
namespace {

constexpr double kMaxRenderSeconds = 6 * 3600.0;
constexpr size_t kMaxChunkBytes = 64u << 20;
// The default tail: on until the output has stayed below -90 dBFS for half a second.
constexpr double kQuietDbfs = -90.0;
constexpr double kQuietSeconds = 0.5;
constexpr double kMaxTailSeconds = 60.0;

void warn(const std::string& message) { std::fprintf(stderr, "zorvek-render: %s\n", message.c_str()); }

int failure(const std::string& message, int code = 1) {
    warn(message);
    return code;
}

bool readChunk(const std::string& path, std::vector<char>& bytes, std::string& error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        error = "cannot open chunk file " + path;
        return false;
    }
    auto size = static_cast<size_t>(file.tellg());
    if (size > kMaxChunkBytes) {
        error = "chunk file " + path + " is larger than 64 MiB";
        return false;
    }
    bytes.resize(size);
    file.seekg(0);
    if (!file.read(bytes.data(), static_cast<std::streamsize>(size))) {
        error = "cannot read chunk file " + path;
        return false;
    }
    if (size == 0) {
        error = "chunk file " + path + " is empty";
        return false;
    }
    return true;
}

// The plug-in's own answer says whether it understood the data as its state.
bool loadChunk(PluginHost& host, const std::string& path, bool singleProgram, std::string& error) {
    std::vector<char> chunk;
    if (!readChunk(path, chunk, error)) return false;
    if (host.setChunk(chunk, singleProgram) == 0) {
        error = "the plug-in refused " + path + " as a " + (singleProgram ? "program" : "bank") +
                " chunk (its raw saved state; a NAME=VALUE text goes to --preset)";
        return false;
    }
    return true;
}

// A parameter by name, else by index; -1 when neither finds one.
int32_t findParameter(PluginHost& host, const std::string& name) {
    int32_t index = host.findParameter(name);
    if (index < 0 && !name.empty() && name.find_first_not_of("0123456789") == std::string::npos && name.size() < 6) {
        index = std::stoi(name);
        if (index >= host.numParams()) index = -1;
    }
    return index;
}

bool setParameters(PluginHost& host, const std::vector<ParameterSetting>& settings, const std::string& origin,
                   std::string& error) {
    for (const ParameterSetting& p : settings) {
        int32_t index = findParameter(host, p.name);
        if (index < 0) {
            error = origin + "the plug-in has no parameter '" + p.name + "' (see --list-params)";
            return false;
        }
        host.setParameter(index, p.value);
    }
    return true;
}

// Chunk, program, program chunk, preset text, then single parameters: each may refine
// the one before.
bool applyState(PluginHost& host, const Options& o, std::string& error) {
    if ((!o.bankChunkPath.empty() || !o.programChunkPath.empty()) && !host.acceptsChunks()) {
        error = "the plug-in does not take chunks";
        return false;
    }
    if (!o.bankChunkPath.empty() && !loadChunk(host, o.bankChunkPath, false, error)) return false;
    if (o.program) {
        if (*o.program >= host.numPrograms()) {
            error = "program " + std::to_string(*o.program) + " does not exist (the plug-in has " +
                    std::to_string(host.numPrograms()) + ", counted from 0)";
            return false;
        }
        host.setProgram(*o.program);
    }
    if (!o.programChunkPath.empty() && !loadChunk(host, o.programChunkPath, true, error)) return false;
    if (!o.presetPath.empty()) {
        std::vector<ParameterSetting> preset;
        if (!PresetFile::load(o.presetPath, preset, error) || !setParameters(host, preset, o.presetPath + ": ", error))
            return false;
    }
    return setParameters(host, o.parameters, "", error);
}

bool savePreset(PluginHost& host, const Options& o, std::string& error) {
    std::ofstream file(o.savePresetPath, std::ios::binary);
    std::string pluginName = std::filesystem::path(o.pluginPath).stem().string();
    if (!(file << PresetFile::write(host, pluginName)) || !file.flush()) {
        error = "cannot write preset file " + o.savePresetPath;
        return false;
    }
    return true;
}

void listParameters(PluginHost& host) {
    for (int32_t i = 0; i < host.numParams(); ++i) {
        std::string display = host.parameterDisplay(i);
        std::string label = host.parameterLabel(i);
        if (!label.empty()) display += " " + label;
        std::printf("%4d  %-24s %-16s (%.6f)\n", i, host.parameterName(i).c_str(), display.c_str(),
                    host.getParameter(i));
    }
}

void listPrograms(PluginHost& host) {
    for (int32_t i = 0; i < host.numPrograms(); ++i) std::printf("%4d  %s\n", i, host.programName(i).c_str());
}

std::string levelText(float peak) {
    if (peak < AudioWriter::kSilentPeak) return "silent";
    char text[32];
    std::snprintf(text, sizeof text, "peak %.1f dBFS", 20.0 * std::log10(peak));
    return text;
}

double decibelsToGain(double db) { return std::pow(10.0, db / 20.0); }

bool openWriter(const Options& o, double sampleRate, OutputFormat& format, AudioWriter& writer, std::string& error) {
    if (!OutputFormat::forPath(o.outputPath, o.bits, format, error) ||
        !writer.open(o.outputPath, static_cast<int>(sampleRate), format, o.blockSize, error))
        return false;
    if (o.gainDb) writer.setGain(static_cast<float>(decibelsToGain(*o.gainDb)));
    return !o.normalizeDbfs || writer.normalizeTo(static_cast<float>(decibelsToGain(*o.normalizeDbfs)), error);
}

// Warnings about the output, then its summary line.
void reportOutput(const Options& o, const AudioWriter& writer, const OutputFormat& format, double seconds,
                  double sampleRate) {
    if (writer.nonFiniteSamples() > 0)
        warn("warning: the plug-in produced " + std::to_string(writer.nonFiniteSamples()) +
             " samples that are not finite (written as 0)");
    if (writer.clippedSamples() > 0)
        warn("warning: " + std::to_string(writer.clippedSamples()) + " samples " +
             (format.integer ? "clipped at full scale" : "go beyond full scale and will clip when played") +
             "; lower the level with --gain -DB or use --normalize");
    std::string gain;
    if (o.normalizeDbfs && writer.appliedGain() != 1.0f) {
        char text[48];
        std::snprintf(text, sizeof text, ", normalized by %+.1f dB", 20.0 * std::log10(writer.appliedGain()));
        gain = text;
    }
    std::printf("%s: %.2f s, %.0f Hz, %s, %s%s\n", o.outputPath.c_str(), seconds, sampleRate, format.name.c_str(),
                levelText(writer.peak()).c_str(), gain.c_str());
}

void reportBench(const Options& o, const Renderer::Stats& stats, double sampleRate) {
    double audioSeconds = stats.frames / sampleRate;
    double cpu = stats.pluginCpuSeconds;
    std::printf("bench: %.3f s of audio at %.0f Hz, block %d: %.4f s of plug-in CPU time\n", audioSeconds, sampleRate,
                o.blockSize, cpu);
    if (cpu > 0.0)
        std::printf("bench: real-time factor %.1f (%.2f%% of one core), %.1f ns per sample frame\n", audioSeconds / cpu,
                    100.0 * cpu / audioSeconds, cpu * 1e9 / stats.frames);
    else
        std::printf("bench: processing too fast to measure\n");
}

int run(Options o) {
    std::string error;
    InputAudio input;
    bool hasInput = !o.inputPath.empty();
    double sampleRate = o.sampleRate;
    if (hasInput) {
        if (!input.open(o.inputPath, error)) return failure(error);
        if (o.sampleRateGiven && input.sampleRate() != sampleRate)
            return failure(o.inputPath + " has a sample rate of " + std::to_string(input.sampleRate()) + " Hz, not " +
                           std::to_string(static_cast<int>(sampleRate)) + " (no resampling is done)");
        sampleRate = input.sampleRate();
    }

    MidiSequence sequence;
    if (!o.midiPath.empty()) {
        MidiFile::Result midi = MidiFile::load(o.midiPath);
        if (!midi.ok) return failure(midi.error);
        sequence = std::move(midi.sequence);
        if (o.listMidi) {
            TempoMap tempo(sequence, o.tempo);
            std::fputs(
                (o.midiPath + ": " + midiListing(sequence, tempo.secondsAtTick(sequence.endTick), o.selection)).c_str(),
                stdout);
            return 0;
        }
        if (size_t drums = drumNotesLeftOut(sequence, o.selection))
            warn("note: leaving out channel 10 (General MIDI drums, " + std::to_string(drums) +
                 " notes); choose channels with --channel (10 or all to play it)");
        o.selection.apply(sequence);
    } else if (o.demo || !hasInput) {
        sequence = demoPhrase();
    }
    TempoMap tempo(sequence, o.tempo);
    double phraseSeconds = tempo.secondsAtTick(sequence.endTick);
    if (phraseSeconds > kMaxRenderSeconds)
        return failure("the MIDI file plays for " + std::to_string(static_cast<long long>(phraseSeconds / 3600)) +
                       " hours; at most 6 are rendered");

    PluginHost host;
    if (!host.load(o.pluginPath, error)) return failure(error);
    host.configure(sampleRate, o.blockSize);
    if (!applyState(host, o, error)) return failure(error);
    if (!o.savePresetPath.empty() && !savePreset(host, o, error)) return failure(error);
    if (o.listParameters || o.listPrograms) {
        if (o.listParameters) listParameters(host);
        if (o.listPrograms) listPrograms(host);
        return 0;
    }
    if (o.outputPath.empty() && !o.bench) return 0;
    if (hasInput && host.numInputs() == 0) return failure("the plug-in takes no audio input (--input)");

    EventSchedule schedule(sequence, tempo, sampleRate);
    int64_t total;
    int64_t playFrames = std::max(schedule.endFrame(), hasInput ? input.frames() : 0);
    if (o.bench) {
        total = std::llround(o.benchSeconds * sampleRate);
        schedule.repeatUntil(total, sampleRate);
    } else {
        total = playFrames + std::llround(o.tailSeconds.value_or(kMaxTailSeconds) * sampleRate);
        if (total > kMaxRenderSeconds * sampleRate) return failure("the render would be longer than 6 hours");
    }

    OutputFormat format;
    AudioWriter writer;
    bool writing = !o.outputPath.empty();
    if (writing && !openWriter(o, sampleRate, format, writer, error)) return failure(error);
    input.reserve(o.blockSize);
    ProgressBar progress(total, sampleRate, o.progress);
    host.resume();
    Renderer renderer(host, schedule, tempo, sampleRate, o.blockSize);
    bool fadeTail = !o.bench && !o.tailSeconds;
    if (fadeTail)
        renderer.stopWhenQuiet(playFrames, std::llround(kQuietSeconds * sampleRate),
                               static_cast<float>(decibelsToGain(kQuietDbfs)));
    bool rendered = renderer.run(total, hasInput ? &input : nullptr, writing ? &writer : nullptr, &progress, error);
    host.close();
    if (!rendered || !writer.close(error)) return failure(error);

    if (fadeTail && !renderer.stoppedAtQuiet())
        warn("note: the output did not fade below -90 dBFS within " + std::to_string(int(kMaxTailSeconds)) +
             " s after the last note; it was cut there (set the length with --tail)");
    if (writing) reportOutput(o, writer, format, static_cast<double>(renderer.stats().frames) / sampleRate, sampleRate);
    if (o.bench) reportBench(o, renderer.stats(), sampleRate);
    return 0;
}

}  // namespace
}  // namespace render

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    render::ParsedOptions parsed = render::parseOptions(args);
    if (!parsed.ok) return render::failure(parsed.error, 2);
    if (parsed.options.help) {
        std::fputs(render::usageText(), stdout);
        return 0;
    }
    return render::run(parsed.options);
}
