// zorvek-render: plays MIDI through a VST 2 plug-in and writes the result to a WAV file.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/DemoPhrase.h"
#include "render/EventSchedule.h"
#include "render/InputAudio.h"
#include "render/MidiFile.h"
#include "render/Options.h"
#include "render/PluginHost.h"
#include "render/ProgressBar.h"
#include "render/Renderer.h"
#include "render/TempoMap.h"
#include "render/WavWriter.h"

namespace render {
namespace {

constexpr double kMaxRenderSeconds = 6 * 3600.0;
constexpr size_t kMaxChunkBytes = 64u << 20;

int failure(const std::string& message, int code = 1) {
    std::fprintf(stderr, "zorvek-render: %s\n", message.c_str());
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
    return true;
}

// Chunk, program, program chunk, then single parameters: each may refine the one before.
bool applyState(PluginHost& host, const Options& o, std::string& error) {
    std::vector<char> chunk;
    if ((!o.bankChunkPath.empty() || !o.programChunkPath.empty()) && !host.acceptsChunks()) {
        error = "the plug-in does not take chunks";
        return false;
    }
    if (!o.bankChunkPath.empty()) {
        if (!readChunk(o.bankChunkPath, chunk, error)) return false;
        host.setChunk(chunk, false);
    }
    if (o.program) {
        if (*o.program >= host.numPrograms()) {
            error = "program " + std::to_string(*o.program) + " does not exist (the plug-in has " +
                    std::to_string(host.numPrograms()) + ", counted from 0)";
            return false;
        }
        host.setProgram(*o.program);
    }
    if (!o.programChunkPath.empty()) {
        if (!readChunk(o.programChunkPath, chunk, error)) return false;
        host.setChunk(chunk, true);
    }
    for (const ParameterSetting& p : o.parameters) {
        int32_t index = host.findParameter(p.name);
        if (index < 0 && p.name.find_first_not_of("0123456789") == std::string::npos && p.name.size() < 6) {
            index = std::stoi(p.name);
            if (index >= host.numParams()) index = -1;
        }
        if (index < 0) {
            error = "the plug-in has no parameter '" + p.name + "' (see --list-params)";
            return false;
        }
        host.setParameter(index, p.value);
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

std::string formatName(int bits) {
    return bits == 32 ? "32-bit float" : std::to_string(bits) + "-bit";
}

void reportBench(const Options& o, const Renderer::Stats& stats, double sampleRate) {
    double audioSeconds = stats.frames / sampleRate;
    double cpu = stats.pluginCpuSeconds;
    std::printf("bench: %.3f s of audio at %.0f Hz, block %d: %.4f s of plug-in CPU time\n", audioSeconds,
                sampleRate, o.blockSize, cpu);
    if (cpu > 0.0)
        std::printf("bench: real-time factor %.1f (%.2f%% of one core), %.1f ns per sample frame\n",
                    audioSeconds / cpu, 100.0 * cpu / audioSeconds, cpu * 1e9 / stats.frames);
    else
        std::printf("bench: processing too fast to measure\n");
}

int run(const Options& o) {
    std::string error;
    InputAudio input;
    bool hasInput = !o.inputPath.empty();
    double sampleRate = o.sampleRate;
    if (hasInput) {
        if (!input.open(o.inputPath, error)) return failure(error);
        if (o.sampleRateGiven && input.sampleRate() != sampleRate)
            return failure(o.inputPath + " has a sample rate of " + std::to_string(input.sampleRate()) +
                           " Hz, not " + std::to_string(static_cast<int>(sampleRate)) + " (no resampling is done)");
        sampleRate = input.sampleRate();
    }

    MidiSequence sequence;
    if (!o.midiPath.empty()) {
        MidiFile::Result midi = MidiFile::load(o.midiPath);
        if (!midi.ok) return failure(midi.error);
        sequence = std::move(midi.sequence);
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
    if (o.listParameters || o.listPrograms) {
        if (o.listParameters) listParameters(host);
        if (o.listPrograms) listPrograms(host);
        return 0;
    }
    if (hasInput && host.numInputs() == 0) return failure("the plug-in takes no audio input (--input)");

    EventSchedule schedule(sequence, tempo, sampleRate);
    int64_t total;
    if (o.bench) {
        total = std::llround(o.benchSeconds * sampleRate);
        schedule.repeatUntil(total, sampleRate);
    } else {
        total = std::max(schedule.endFrame(), hasInput ? input.frames() : 0) + std::llround(o.tailSeconds * sampleRate);
        if (total > kMaxRenderSeconds * sampleRate) return failure("the render would be longer than 6 hours");
    }

    WavWriter writer;
    bool writing = !o.outputPath.empty();
    if (writing && !writer.open(o.outputPath, static_cast<int>(sampleRate), o.bits, o.blockSize, error))
        return failure(error);
    input.reserve(o.blockSize);
    ProgressBar progress(total, sampleRate, o.progress);
    host.resume();
    Renderer renderer(host, schedule, tempo, sampleRate, o.blockSize);
    bool rendered = renderer.run(total, hasInput ? &input : nullptr, writing ? &writer : nullptr, &progress, error);
    host.close();
    if (!rendered || !writer.close(error)) return failure(error);

    if (writer.nonFiniteSamples() > 0)
        std::fprintf(stderr, "zorvek-render: warning: the plug-in produced %lld samples that are not finite "
                     "(written as 0)\n", static_cast<long long>(writer.nonFiniteSamples()));
    if (writing) {
        char level[32] = "silent";
        if (writer.peak() > 0.0f) std::snprintf(level, sizeof level, "peak %.1f dBFS", 20.0 * std::log10(writer.peak()));
        std::printf("%s: %.2f s, %.0f Hz, %s, %s\n", o.outputPath.c_str(), total / sampleRate, sampleRate,
                    formatName(o.bits).c_str(), level);
    }
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
