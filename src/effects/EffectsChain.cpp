#include "effects/EffectsChain.h"

#include <algorithm>
#include <cmath>

#include "dsp/Finite.h"
#include "dsp/ModuleContext.h"

namespace {

constexpr int32_t kDelayMask = EffectsChain::kDelayLength - 1;
constexpr int32_t kChorusMask = EffectsChain::kChorusLength - 1;

// Delay lengths as fractions of a whole note, the steps of DlyTime.
constexpr float kNoteFractions[10] = {1.0f / 32, 1.0f / 24, 1.0f / 16, 1.0f / 12, 1.0f / 8,
                                      1.0f / 6,  1.0f / 4,  1.0f / 3,  1.0f / 2,  1.0f};

// Keeps the feedback path out of denormal numbers.
constexpr float kDelayBias = 1e-12f;

// Chorus taps sit this many samples behind the newest one, plus or minus the sweep depth.
constexpr int32_t kChorusCentre = 1500;
constexpr float kChorusDepth = 100.0f;

int32_t noteIndex(float delayTime) {
    float n = delayTime * 9.0f + 0.5f;
    if (!(n >= 0.0f)) return 0;  // also NaN
    return n >= 9.0f ? 9 : static_cast<int32_t>(n);
}

}  // namespace

EffectsChain::EffectsChain(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {
    for (auto& line : delayLines) line = std::make_unique<float[]>(kDelayLength);
    for (auto& line : chorusLines) line = std::make_unique<float[]>(kChorusLength);
    onParameter(0, 0.0f);
}

void EffectsChain::onParameter(int32_t, float) {
    reverb.recompute(rate(), readParam(reverbTime), readParam(reverbLevel), readParam(reverbStereo));
}

void EffectsChain::process(int32_t frames, int32_t tick) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (tick) {
        float r = readParam(chorusRate) * 1e-7f;
        if (r != sweepRate) {
            sweepRate = r;
            sweep = 1.0f;
            sweepStep = 0.0f;
        }
        mono = 1 - static_cast<int32_t>(readParam(carrierStereo) + 0.5f);
    }

    Block block;
    block.frames = frames;
    // L grows with the tempo and is a whole note long; the product may reach 2^31 at
    // absurd tempos, so it is truncated in 64 bits before wrapping into the line.
    float whole = static_cast<float>(context.tempoLength.load(std::memory_order_relaxed));
    block.delay = static_cast<int32_t>(static_cast<int64_t>(whole * kNoteFractions[noteIndex(readParam(delayTime))]) &
                                       kDelayMask);
    block.feedback = readParam(delayFeedback) * 0.9f;
    block.delayLevel = readParam(delayLevel);
    block.chorusLevel = readParam(chorusLevel);
    bool wet = reverb.load(readParam(reverbTime), block.reverb);

    if (mono) {
        wet ? render<true, true>(block) : render<true, false>(block);
    } else {
        wet ? render<false, true>(block) : render<false, false>(block);
    }
    clearIfNotFinite(frames);
}

void EffectsChain::clearIfNotFinite(int32_t frames) {
    // Every line is written with the input plus what the lines give back, and the output
    // carries each input sample at full weight and what the lines gave: when the output is
    // finite, so is everything written into a line.
    if (dsp::allFinite(out.data, static_cast<size_t>(2 * frames)) && std::isfinite(sweep) && std::isfinite(sweepStep))
        return;
    for (auto& line : delayLines) std::fill(line.get(), line.get() + kDelayLength, 0.0f);
    for (auto& line : chorusLines) std::fill(line.get(), line.get() + kChorusLength, 0.0f);
    reverb.clear();
    sweep = 1.0f;
    sweepStep = 0.0f;
}

template <bool kMono, bool kReverb>
void EffectsChain::render(const Block& block) {
    const float* in = input->data;
    alignas(16) float left[kMaxFrames];
    alignas(16) float right[kMaxFrames];
    float* delayL = delayLines[0].get();
    float* delayR = delayLines[1].get();
    float* chorusL = chorusLines[0].get();
    // In mono both taps read the left chorus line.
    float* chorusR = kMono ? chorusL : chorusLines[1].get();
    const float fb = block.feedback;
    const float dl = block.delayLevel;
    const float cl = block.chorusLevel;
    const int32_t delay = block.delay;
    float x = sweep;
    float step = sweepStep;
    const float r = sweepRate;
    int32_t dp = delayPos;
    int32_t cp = chorusPos;

    for (int32_t i = 0; i < block.frames; ++i) {
        x = x + step;
        x = x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
        step = step - r * x;

        cp = (cp + 1) & kChorusMask;
        dp = (dp + 1) & kDelayMask;
        const int32_t read = (dp - delay) & kDelayMask;

        const float inL = in[2 * i];
        float d = delayL[read];
        delayL[dp] = d * fb + inL + kDelayBias;
        const float yL = d * dl + inL;
        chorusL[cp] = yL;
        float yR = yL;
        if constexpr (!kMono) {
            const float inR = in[2 * i + 1];
            d = delayR[read];
            delayR[dp] = d * fb + inR + kDelayBias;
            yR = d * dl + inR;
            chorusR[cp] = yR;
        }

        // Taps on the straight line through two neighbouring samples; a negative
        // fraction extends the line past the pair.
        const float m = kChorusDepth * x;
        const int32_t mi = static_cast<int32_t>(m);
        const float f = m - static_cast<float>(mi);
        const int32_t a = (cp + mi - kChorusCentre) & kChorusMask;
        const float tapA = chorusL[a] + f * (chorusL[(a + 1) & kChorusMask] - chorusL[a]);
        const int32_t b = (cp - mi - kChorusCentre) & kChorusMask;
        const float tapB = chorusR[b] + f * (chorusR[(b - 1) & kChorusMask] - chorusR[b]);

        left[i] = yL + cl * tapA;
        right[i] = yR + cl * tapB;
    }
    // The reverb reads nothing the delay and chorus write: it runs on the whole sub-block.
    float* o = out.data;
    if constexpr (kReverb) {
        reverb.process(block.reverb, left, right, o, block.frames);
    } else {
        for (int32_t i = 0; i < block.frames; ++i) {
            o[2 * i] = left[i];
            o[2 * i + 1] = right[i];
        }
    }

    sweep = x;
    sweepStep = step;
    delayPos = dp;
    chorusPos = cp;
}
