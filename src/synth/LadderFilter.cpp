#include "synth/LadderFilter.h"

#include <algorithm>
#include <cstddef>

#include "dsp/ExpTables.h"
#include "dsp/Finite.h"
#include "dsp/ModuleContext.h"
#include "dsp/VectorLanes.h"

namespace {
const ParamValue kOpen{1.0f};
}

LadderFilter::LadderFilter(ModuleRack& rack, ModuleContext& moduleContext)
    : DspModule(rack, moduleContext), cutoffParam(&kOpen) {}

LadderFilter::Coefficients LadderFilter::coefficients(float w, float reso) {
    // Above about 0.42 of the rate the cutoff nears Nyquist and the section pole k
    // passes 1 (unstable between 0.5 and 0.625); such a cutoff is held at 0.42 and runs
    // without feedback.
    bool limited = w > kMaxCutoff;
    if (limited) w = kMaxCutoff;
    Coefficients c{};
    c.W = 2.0 * static_cast<double>(w);
    c.k = 3.6 * c.W - 1.6 * (c.W * c.W) - 1.0;
    c.p = (c.k + 1.0) * 0.5;
    c.K = static_cast<float>((1.0 - c.p) * 1.386249);
    // fastExpE(K) is about 4 at low cutoffs and 1.845 at 8192 Hz / 44100 Hz: Reso 1
    // self-oscillates over the whole range.
    c.feedback = limited || c.K < 0.0f ? 0.0f : fastExpE(c.K) * reso;
    return c;
}

void LadderFilter::onParameter(int32_t, float) {
    // A tenth of an octave to ten octaves per unit of LFO.
    float amount = readParam(lfoAmountParam);
    lfoDepth.store(amount == 0.0f ? 0.0f : fastExp10(2.0f * amount) * 0.01f, std::memory_order_relaxed);
}

// Control rate, active voices only: inactive voices keep their coefficients.
void LadderFilter::updateVoices() {
    const int32_t* active = context.voiceActive;
    const float shift = readParam(cutoffParam) - 0.5f;  // up to five octaves either way
    const float reso = readParam(resoParam);
    const float depth = lfoDepth.load(std::memory_order_relaxed);
    const auto sampleRate = static_cast<float>(rate());
    for (int v = kVoices - 1; v >= 0; --v) {
        if (!active[v]) continue;
        float x = shift + pitch->v[v] + lfo->v[v] * depth;
        if (x >= 1.0f)
            x = 1.0f;
        else if (x <= 0.0f)
            x = 0.0f;
        Coefficients c = coefficients(fastExp2(10.0f * x + 3.0f) / sampleRate, reso);
        state.b0[v] = state.b1[v] = static_cast<float>(c.p);
        state.a1[v] = static_cast<float>(c.k);
        state.feedback[v] = c.feedback;
    }
}

namespace {

using lanes::F4;
using lanes::splat;

// One group of four voices: coefficients and state held in registers over a sub-block.
struct Group {
    F4 b0, b1, a1, feedback;
    F4 s1, s2, s3, y, prev;

    // One frame; answers the clamped output.
    [[gnu::always_inline]] inline F4 step(const F4& input) {
        const F4 bend = splat<F4>(0.14815f);  // about 4/27: maps +-1.5 to +-1
        const F4 u = input - feedback * y;
        // Each section: y[n] = p (x[n] + x[n-1]) - k y[n-1].
        const F4 n1 = (b0 * u + b1 * prev) - a1 * s1;
        prev = u;
        const F4 n2 = (b0 * n1 + b1 * s1) - a1 * s2;
        const F4 n3 = (b0 * n2 + b1 * s2) - a1 * s3;
        const F4 s4 = (b0 * n3 + b1 * s3) - a1 * y;
        s1 = n1;
        s2 = n2;
        s3 = n3;
        // min/max answer the constant for a NaN s4: the feedback source stays finite.
        const F4 z = lanes::max(lanes::min(s4, splat<F4>(1.5f)), splat<F4>(-1.5f));
        y = z - bend * ((z * z) * z);
        return lanes::max(lanes::min(y, splat<F4>(1.0f)), splat<F4>(-1.0f));
    }
};

}  // namespace

void LadderFilter::process(int32_t frames, int32_t tick) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (tick) updateVoices();
    using lanes::load;
    using lanes::store;
    auto loadGroup = [this](int g) {
        return Group{load<F4>(state.b0 + g),       load<F4>(state.b1 + g), load<F4>(state.a1 + g),
                     load<F4>(state.feedback + g), load<F4>(state.s1 + g), load<F4>(state.s2 + g),
                     load<F4>(state.s3 + g),       load<F4>(state.y + g),  load<F4>(state.prev + g)};
    };
    auto storeGroup = [this](const Group& group, int g) {
        store(state.s1 + g, group.s1);
        store(state.s2 + g, group.s2);
        store(state.s3 + g, group.s3);
        store(state.y + g, group.y);
        store(state.prev + g, group.prev);
    };
    // Both groups in one loop: each frame is a long dependent chain, and the two
    // independent chains overlap in the pipeline.
    Group low = loadGroup(0), high = loadGroup(4);
    const float* in = signal->data;
    float* o = out.data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices, o += kVoices) {
        store(o, low.step(load<F4>(in)));
        store(o + 4, high.step(load<F4>(in + 4)));
    }
    storeGroup(low, 0);
    storeGroup(high, 4);
    // The five state arrays follow each other: one look covers them.
    static_assert(offsetof(VoiceState, prev) - offsetof(VoiceState, s1) == 4 * kVoices * sizeof(float));
    if (!dsp::allFinite(state.s1, 5 * kVoices))
        for (float* s : {state.s1, state.s2, state.s3, state.y, state.prev}) std::fill(s, s + kVoices, 0.0f);
}
