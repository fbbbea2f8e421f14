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

namespace {

// The delay of one channel (x, every other sample of the interleaved input) over a
// sub-block: each frame's echo d is the sample the delay line holds a delay before the
// frame's write position, the line is written with d x fb + x + bias, and the frame
// becomes y = d x level + x, kept in y and appended to the chorus line. Run by run up to
// where a read or write position wraps; the compiler takes several frames per vector
// where the run's delay reads and writes do not overlap (a delay of at least the run, or
// of 0: each place read just before it is written).
void delayChannel(float* line, float* chorus, const float* x, float* y, int32_t frames, int32_t position,
                  int32_t chorusPosition, int32_t delay, float fb, float level) {
    for (int32_t n = 0; n < frames;) {
        const int32_t write = (position + 1 + n) & kDelayMask;
        const int32_t read = (write - delay) & kDelayMask;
        const int32_t append = (chorusPosition + 1 + n) & kChorusMask;
        const int32_t run = std::min({frames - n, EffectsChain::kDelayLength - write, EffectsChain::kDelayLength - read,
                                      EffectsChain::kChorusLength - append});
        const float* tap = line + read;
        float* into = line + write;
        float* chorusInto = chorus + append;
        for (int32_t k = 0; k < run; ++k) {
            const float d = tap[k];
            const float in = x[2 * (n + k)];
            into[k] = d * fb + in + kDelayBias;
            const float out = d * level + in;
            y[n + k] = out;
            chorusInto[k] = out;
        }
        n += run;
    }
}

}  // namespace

// The delay and the chorus lines' writes run first over the whole sub-block: the chorus
// taps sit at least kChorusCentre - kChorusDepth - 1 samples back, further than a
// sub-block, so they read what they would read frame by frame. Only the chorus
// oscillator and its taps then go frame by frame.
template <bool kMono, bool kReverb>
void EffectsChain::render(const Block& block) {
    static_assert(kChorusCentre - static_cast<int32_t>(kChorusDepth) - 1 >= kMaxFrames &&
                  kChorusCentre + static_cast<int32_t>(kChorusDepth) + 1 + kMaxFrames <= kChorusLength);
    const float* in = input->data;
    const int32_t frames = block.frames;
    alignas(16) float left[kMaxFrames];
    alignas(16) float right[kMaxFrames];
    float* chorusL = chorusLines[0].get();
    // In mono both taps read the left chorus line.
    float* chorusR = kMono ? chorusL : chorusLines[1].get();
    delayChannel(delayLines[0].get(), chorusL, in, left, frames, delayPos, chorusPos, block.delay, block.feedback,
                 block.delayLevel);
    if constexpr (!kMono)
        delayChannel(delayLines[1].get(), chorusR, in + 1, right, frames, delayPos, chorusPos, block.delay,
                     block.feedback, block.delayLevel);

    const float cl = block.chorusLevel;
    float x = sweep;
    float step = sweepStep;
    const float r = sweepRate;
    int32_t cp = chorusPos;
    for (int32_t i = 0; i < frames; ++i) {
        x = x + step;
        x = x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
        step = step - r * x;
        cp = (cp + 1) & kChorusMask;

        // Taps on the straight line through two neighbouring samples; a negative
        // fraction extends the line past the pair.
        const float m = kChorusDepth * x;
        const int32_t mi = static_cast<int32_t>(m);
        const float f = m - static_cast<float>(mi);
        const int32_t a = (cp + mi - kChorusCentre) & kChorusMask;
        const float tapA = chorusL[a] + f * (chorusL[(a + 1) & kChorusMask] - chorusL[a]);
        const int32_t b = (cp - mi - kChorusCentre) & kChorusMask;
        const float tapB = chorusR[b] + f * (chorusR[(b - 1) & kChorusMask] - chorusR[b]);

        const float yL = left[i];
        const float yR = kMono ? yL : right[i];
        left[i] = yL + cl * tapA;
        right[i] = yR + cl * tapB;
    }
    // The reverb reads nothing the delay and chorus write: it runs on the whole sub-block.
    if constexpr (kReverb) reverb.process(block.reverb, left, right, frames);
    float* o = out.data;
    for (int32_t i = 0; i < frames; ++i) {
        o[2 * i] = left[i];
        o[2 * i + 1] = right[i];
    }

    sweep = x;
    sweepStep = step;
    delayPos = (delayPos + frames) & kDelayMask;
    chorusPos = cp;
}
