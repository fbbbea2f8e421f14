// The complete instrument at 44.1 kHz in 512-frame host blocks: the "Default" program,
// eight held notes, 21 bands in stereo, the spectral path on, a speech file as
// modulator, delay, chorus and reverb audible. Reports the real-time factor on one core
// (CPU seconds of the processing calls against seconds of audio) and, per module, the
// CPU time of its process call per sample frame, and the share of the checks that clear
// a non-finite recursive state.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "dsp/DspModule.h"
#include "dsp/Finite.h"
#include "dsp/FloatingPointGuard.h"
#include "effects/EffectsChain.h"
#include "framework/VocoderPlugin.h"
#include "synth/Amplifier.h"
#include "synth/Envelope.h"
#include "synth/LadderFilter.h"
#include "synth/Lfo.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/VoiceChain.h"
#include "synth/VoiceSummer.h"
#include "vocoder/BandLevels.h"
#include "vocoder/Vocoder.h"
#include "PerFrame.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kHostBlock = 512;

intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// On top of the "Default" program: a stereo carrier and an audible delay (chorus and
// reverb already sound in it).
const std::pair<const char*, float> kSettings[] = {{"CarSt", 1.0f}, {"DlyLv", 0.3f}, {"DlyFbk", 0.4f}};

// ModSrc 1 selects the fourth file slot.
constexpr int kModulatorSlot = 3;

class Instrument {
public:
    Instrument() : shm("/ZorvekCapBench-" + std::to_string(getpid())) {
        // A private capture object: a capture plug-in running elsewhere must not feed in.
        setenv("ZORVEK_CAPTURE_SHM", shm.c_str(), 1);
        plugin = std::make_unique<VocoderPlugin>(&quietHost);
        plugin->setSampleRate(static_cast<float>(kRate));
        for (int32_t i = 0; i < PluginBase::kNumPrograms; ++i) {
            char name[64] = {};
            plugin->getProgramNameIndexed(0, i, name);
            if (std::strcmp(name, "Default") == 0) {
                plugin->setProgram(i);
                found = true;
                break;
            }
        }
        for (const auto& [name, value] : kSettings) plugin->setParameter(plugin->findParameterIndex(name), value);
        plugin->fileSelected(plugin->findParameterIndex("File1") + kModulatorSlot,
                             ZORVEK_SOURCE_DIR "/resources/wav/speech.wav");
        playChord();
        // Half a second to let the envelopes, followers and effect lines fill.
        for (int i = 0; i < kRate / 2 / kHostBlock; ++i) block();
    }
    ~Instrument() { shm_unlink(shm.c_str()); }

    void block() {
        float* outputs[2] = {left, right};
        plugin->processReplacing(nullptr, outputs, kHostBlock);
    }

    VocoderPlugin& instrument() { return *plugin; }
    bool hasDefaultProgram() const { return found; }
    float sample() const { return left[kHostBlock - 1] + right[kHostBlock - 1]; }

private:
    void playChord() {
        VstMidiEvent notes[8] = {};
        struct {
            int32_t numEvents;
            intptr_t reserved;
            VstEvent* events[8];
        } list{8, 0, {}};
        const int keys[8] = {48, 52, 55, 59, 62, 65, 69, 72};
        for (int i = 0; i < 8; ++i) {
            notes[i].type = kVstMidiType;
            notes[i].byteSize = sizeof(VstMidiEvent);
            notes[i].midiData[0] = static_cast<char>(0x90);
            notes[i].midiData[1] = static_cast<char>(keys[i]);
            notes[i].midiData[2] = 100;
            list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
        }
        plugin->processEvents(reinterpret_cast<VstEvents*>(&list));
    }

    std::string shm;
    std::unique_ptr<VocoderPlugin> plugin;
    bool found = false;
    alignas(16) float left[kHostBlock] = {};
    alignas(16) float right[kHostBlock] = {};
};

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs the instrument's host blocks for the benchmark's iterations and reports the
// real-time factor and the time per frame.
void playBlocks(benchmark::State& state, Instrument& rig) {
    int64_t frames = 0;
    const double start = threadSeconds();
    for (auto _ : state) {
        rig.block();
        frames += kHostBlock;
    }
    const double seconds = threadSeconds() - start;
    benchmark::DoNotOptimize(rig.sample());
    // Seconds of audio per CPU second of this thread: the real-time factor on one core.
    state.counters["x_realtime"] = seconds > 0.0 ? static_cast<double>(frames) / kRate / seconds : 0.0;
    setPerFrame(state, frames);
}

void BM_CompleteInstrument(benchmark::State& state) {
    Instrument rig;
    if (!rig.hasDefaultProgram()) {
        state.SkipWithError("no program named Default");
        return;
    }
    playBlocks(state, rig);
}

// The complete instrument with the band display closed (0: nothing is copied) and open
// (1: the vocoder copies its levels every BandLevels::kPublishFrames frames). Compare
// x_realtime of the two: the open display should cost well under one percent.
void BM_InstrumentBandDisplay(benchmark::State& state) {
    Instrument rig;
    BandLevels* levels = rig.instrument().bandLevels();
    if (!levels) {
        state.SkipWithError("no vocoder");
        return;
    }
    levels->setWatched(state.range(0) != 0);
    playBlocks(state, rig);
    levels->setWatched(false);
}

// The copy alone; the vocoder makes one every BandLevels::kPublishFrames frames.
void BM_BandLevelsPublish(benchmark::State& state) {
    Instrument rig;
    Vocoder* vocoder = nullptr;
    for (int i = 0; DspModule* m = rig.instrument().rack().module(i); ++i)
        if (auto* v = dynamic_cast<Vocoder*>(m)) vocoder = v;
    if (!vocoder) {
        state.SkipWithError("no vocoder");
        return;
    }
    BandLevels& levels = vocoder->bandLevels();
    for (auto _ : state) levels.publish(vocoder->filterBank(), vocoder->bandCount(), vocoder->spectralPath());
    benchmark::DoNotOptimize(levels.band(0));
    // Per frame of audio, comparable with per_frame of the instrument.
    setPerFrame(state, state.iterations() * BandLevels::kPublishFrames);
}

const char* moduleName(DspModule* m) {
    if (dynamic_cast<Oscillator*>(m)) return "Oscillator";
    if (dynamic_cast<OscillatorMixer*>(m)) return "OscillatorMixer";
    if (dynamic_cast<Envelope*>(m)) return "Envelope";
    if (dynamic_cast<Amplifier*>(m)) return "Amplifier";
    if (dynamic_cast<LadderFilter*>(m)) return "LadderFilter";
    if (dynamic_cast<VoiceSummer*>(m)) return "VoiceSummer";
    if (dynamic_cast<Vocoder*>(m)) return "Vocoder";
    if (dynamic_cast<EffectsChain*>(m)) return "EffectsChain";
    if (dynamic_cast<Lfo*>(m)) return "Lfo";
    if (dynamic_cast<VoiceChain*>(m)) return "VoiceChain (oscillators, mixer, amplifier, filter, summer)";
    return "?";
}

// A module of the running instrument, or what the rack runs at its place, alone, on the
// inputs the instrument last gave it, in the driver's sub-blocks with its control tick.
void timeModule(benchmark::State& state, VocoderPlugin& plugin, DspModule* module) {
    state.SetLabel(moduleName(module));
    const int32_t subBlock = plugin.subBlockLimit();
    const int32_t period = plugin.controlPeriod();
    int32_t counter = period;
    int64_t frames = 0;
    FloatingPointGuard guard;
    for (auto _ : state) {
        const int32_t tick = counter <= 0 ? 1 : 0;
        module->process(subBlock, tick);
        if (tick) counter += period;
        counter -= subBlock * 256;
        frames += subBlock;
    }
    setPerFrame(state, frames);
}

// The module at a place of the rack on its own, also where the rack runs something else
// there.
void BM_InstrumentModule(benchmark::State& state) {
    Instrument rig;
    DspModule* module = rig.instrument().rack().module(static_cast<int>(state.range(0)));
    if (!module) {
        state.SkipWithError("no such module");
        return;
    }
    timeModule(state, rig.instrument(), module);
}

// What the rack runs at a place instead of the module there: at the amplifier's place
// (4), the voice chain that renders modules 0-2 and 4-6 in one loop.
void BM_InstrumentRunner(benchmark::State& state) {
    Instrument rig;
    const ModuleRack& rack = rig.instrument().rack();
    const int place = static_cast<int>(state.range(0));
    DspModule* runner = rack.runner(place);
    if (!runner || runner == rack.module(place)) {
        state.SkipWithError("the module itself runs there");
        return;
    }
    timeModule(state, rig.instrument(), runner);
}

// The finiteness checks that clear a non-finite recursive state, on the amounts the
// running instrument checks per host block, against the instrument itself: their time per
// frame and their share of the instrument's time in percent.
void BM_RecoveryChecks(benchmark::State& state) {
    Instrument rig;
    const int32_t subBlocks = (kHostBlock + rig.instrument().subBlockLimit() - 1) / rig.instrument().subBlockLimit();
    // Per sub-block: the filter bank's envelopes (24) and three sections' y1 (3 x 24
    // doubles), the effects chain's output (2 x 88), the ladder filter's state (40) and two
    // oscillators' phases and held values (32). Per spectral frame (every 256 frames): the
    // followers (257) and what the frame wrote into both rings (2 x 512).
    alignas(64) static float floats[4096] = {};
    alignas(64) static double doubles[3 * 24] = {};
    auto checks = [&] {
        bool finite = true;
        for (int32_t b = 0; b < subBlocks; ++b) {
            finite &= dsp::allFinite(floats, 24);
            finite &= dsp::allFinite(doubles, 3 * 24);
            finite &= dsp::allFinite(floats + 64, 2 * 88);
            finite &= dsp::allFinite(floats + 512, 40);
            finite &= dsp::allFinite(floats + 576, 32);
        }
        for (int f = 0; f < kHostBlock / 256; ++f) {
            finite &= dsp::allFinite(floats + 1024, 257);
            finite &= dsp::allFinite(floats + 2048, 512);
            finite &= dsp::allFinite(floats + 3072, 512);
        }
        return finite;
    };
    constexpr int kBlocks = 2000;
    double start = threadSeconds();
    for (int i = 0; i < kBlocks; ++i) rig.block();
    const double instrument = (threadSeconds() - start) / kBlocks;
    int64_t blocks = 0;
    start = threadSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(floats);
        benchmark::DoNotOptimize(checks());
        ++blocks;
    }
    const double seconds = (threadSeconds() - start) / static_cast<double>(blocks);
    state.counters["share_percent"] = 100.0 * seconds / instrument;
    setPerFrame(state, blocks * kHostBlock);
}

}  // namespace

BENCHMARK(BM_CompleteInstrument);
BENCHMARK(BM_InstrumentBandDisplay)->Arg(0)->Arg(1)->ArgName("open");
BENCHMARK(BM_BandLevelsPublish);
BENCHMARK(BM_RecoveryChecks);
BENCHMARK(BM_InstrumentModule)->DenseRange(0, 9)->ArgName("rack");
BENCHMARK(BM_InstrumentRunner)->Arg(4)->ArgName("rack");
