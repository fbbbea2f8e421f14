// The voice chain against the modules it fuses, each running its own process: the same
// carrier bits and the same state after every sub-block.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "synth/Amplifier.h"
#include "synth/LadderFilter.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/SynthRig.h"
#include "synth/VoiceChain.h"
#include "synth/VoiceSummer.h"

namespace {

// Parameters and control inputs, shared by the two voice sets.
struct Controls {
    ParamValue formA{0.0f}, formB{0.0f}, tune{0.55f}, detuneA{0.45f}, detuneB{0.6f}, width{0.3f}, fm{0.4f}, pwm{0.5f},
        mix{0.35f}, am{0.3f}, cutoff{0.6f}, reso{0.9f}, filterMod{0.4f};
    VoiceVector pitch, lfo, level;
};

// Oscillators to summer, wired as the plug-in wires them.
struct Voices : SynthRig {
    Oscillator a{rack, context}, b{rack, context};
    OscillatorMixer mixer{rack, context};
    Amplifier amplifier{rack, context};
    LadderFilter filter{rack, context};
    VoiceSummer summer{rack, context};
    VoiceChain chain{context, a, b, mixer, amplifier, filter, summer};

    Voices(Controls& c, SimdPath path, int32_t rate) {
        for (Oscillator* osc : {&a, &b}) {
            osc->pitch = &c.pitch;
            osc->fmSource = osc->pwmSource = &c.lfo;
            osc->tuneParam = &c.tune;
            osc->pulseWidthParam = &c.width;
            osc->fmAmountParam = &c.fm;
            osc->pwmAmountParam = &c.pwm;
            EXPECT_TRUE(osc->usePath(path));
        }
        EXPECT_TRUE(chain.usePath(path));
        a.formParam = &c.formA;
        b.formParam = &c.formB;
        a.detuneParam = &c.detuneA;
        b.detuneParam = &c.detuneB;
        mixer.inputA = &a.output();
        mixer.inputB = &b.output();
        mixer.mixParam = &c.mix;
        amplifier.signal = &mixer.output();
        amplifier.envelope = &c.level;
        amplifier.lfo = &c.lfo;
        amplifier.amParam = &c.am;
        filter.signal = &amplifier.output();
        filter.pitch = &c.pitch;
        filter.lfo = &c.lfo;
        filter.cutoffParam = &c.cutoff;
        filter.resoParam = &c.reso;
        filter.lfoAmountParam = &c.filterMod;
        summer.signal = &filter.output();
        rack.setSampleRate(rate);
        rack.onParameter(0, 0.0f);
    }
};

struct ChainCase {
    int32_t frames;
    int32_t rate;  // 4000 Hz: increments of a cycle and more, which the oscillators render
    bool crossed;  // mixer inputs swapped: not a chain, the modules run one by one
};

const ChainCase kCases[] = {{1, 44100, false},   {7, 44100, false}, {88, 44100, false},
                            {256, 44100, false}, {64, 4000, false}, {33, 44100, true}};

TEST(VoiceChain, RendersTheModulesBitsForEveryFormPairAndPath) {
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!simdSupported(path)) continue;
        for (const ChainCase& test : kCases)
            for (int forms = 0; forms < 25; ++forms) {
                Controls c;
                c.formA = static_cast<float>(forms / 5) * 0.25f;
                c.formB = static_cast<float>(forms % 5) * 0.25f;
                Voices separate(c, path, test.rate), fused(c, path, test.rate);
                if (test.crossed)
                    for (Voices* v : {&separate, &fused}) std::swap(v->mixer.inputA, v->mixer.inputB);
                TestNoise noise(static_cast<uint32_t>(forms + 1));
                bool sounded = false;
                for (int block = 0; block < 12; ++block) {
                    for (int v = 0; v < kVoices; ++v) {
                        c.pitch.v[v] = 0.25f + 0.7f * noise.next() * noise.next();
                        c.lfo.v[v] = noise.next();
                        c.level.v[v] = 0.5f + 0.5f * noise.next();
                        // Voices 2 and 5 fall silent for a while, then return.
                        separate.active[v] = fused.active[v] = (v == 2 || v == 5) && block % 6 >= 3 ? 0 : 1;
                    }
                    const int32_t tick = block % 3 != 1;
                    separate.rack.run(test.frames, tick);
                    fused.chain.process(test.frames, tick);
                    ASSERT_EQ(std::memcmp(separate.summer.output().data, fused.summer.output().data,
                                          2 * test.frames * sizeof(float)),
                              0)
                        << simdPathName(path) << " forms " << forms / 5 << "/" << forms % 5 << " frames " << test.frames
                        << " rate " << test.rate << " block " << block;
                    for (int32_t k = 0; k < 2 * test.frames; ++k) sounded |= fused.summer.output().data[k] != 0.0f;
                }
                EXPECT_TRUE(sounded) << forms;
                // The generator drew as often, and the gain ramps ended where they did.
                EXPECT_EQ(separate.context.random.current(), fused.context.random.current());
                for (int v = 0; v < kVoices; ++v) EXPECT_EQ(separate.amplifier.gain(v), fused.amplifier.gain(v)) << v;
            }
    }
}

}  // namespace
