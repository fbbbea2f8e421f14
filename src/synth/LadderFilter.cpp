#include "synth/LadderFilter.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

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

// Control rate, active voices only: inactive voices keep their coefficients. The lookup
// and the coefficients' arithmetic run only for a value that moved.
void LadderFilter::updateVoices() {
    const int32_t* active = context.voiceActive;
    const float shift = readParam(cutoffParam) - 0.5f;  // up to five octaves either way
    const float reso = readParam(resoParam);
    const float depth = lfoDepth.load(std::memory_order_relaxed);
    const auto sampleRate = static_cast<float>(rate());
    if (!dsp::sameBits(reso, resoKey) || !dsp::sameBits(sampleRate, rateKey)) {
        resoKey = reso;
        rateKey = sampleRate;
        std::fill(std::begin(pitchKey), std::end(pitchKey), -1.0f);
    }
    for (int v = kVoices - 1; v >= 0; --v) {
        if (!active[v]) continue;
        float x = shift + pitch->v[v] + lfo->v[v] * depth;
        if (x >= 1.0f)
            x = 1.0f;
        else if (x <= 0.0f)
            x = 0.0f;
        if (dsp::sameBits(x, pitchKey[v])) continue;
        pitchKey[v] = x;
        Coefficients c = coefficients(fastExp2(10.0f * x + 3.0f) / sampleRate, reso);
        state.b0[v] = state.b1[v] = static_cast<float>(c.p);
        state.a1[v] = static_cast<float>(c.k);
        state.feedback[v] = c.feedback;
    }
}

void LadderFilter::beginRender(int32_t tick) {
    if (tick) updateVoices();
}

void LadderFilter::endRender() {
    // The five state arrays follow each other: one look covers them.
    using voicelanes::LadderVoices;
    static_assert(offsetof(LadderVoices, prev) - offsetof(LadderVoices, s1) == 4 * kVoices * sizeof(float));
    if (!dsp::allFinite(state.s1, 5 * kVoices))
        for (float* s : {state.s1, state.s2, state.s3, state.y, state.prev}) std::fill(s, s + kVoices, 0.0f);
}

void LadderFilter::process(int32_t frames, int32_t tick) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    beginRender(tick);
    using lanes::F4;
    using lanes::load;
    using lanes::store;
    // Both groups in one loop: each frame is a long dependent chain, and the two
    // independent chains overlap in the pipeline.
    const voicelanes::Limits<F4> limits;
    voicelanes::LadderLanes<F4> low, high;
    low.load(state, 0);
    high.load(state, 4);
    const float* in = signal->data;
    float* o = out.data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices, o += kVoices) {
        store(o, low.step(load<F4>(in), limits));
        store(o + 4, high.step(load<F4>(in + 4), limits));
    }
    low.store(state, 0);
    high.store(state, 4);
    endRender();
}
