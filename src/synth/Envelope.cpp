#include "synth/Envelope.h"

#include <cmath>

#include "dsp/ExpTables.h"
#include "dsp/ModuleContext.h"

Envelope::Envelope(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {
    onParameter(0, 0.0f);
}

void Envelope::onParameter(int32_t, float) {
    // 1 tick (2 ms) at 0, 64 at 0.5, 4096 (8.19 s) at 1.
    attackTicks.store(static_cast<int32_t>(fastExp2(readParam(attackParam) * 12.0f) + 0.5f), std::memory_order_relaxed);
    // Per-tick factor that loses 40 dB in -200 / log10(0.01 + 0.89 Release) ticks; in
    // double so that the long releases keep their length.
    double base = 0.01 + 0.89 * static_cast<double>(readParam(releaseParam));
    release.store(static_cast<float>(std::pow(10.0, 0.01 * std::log10(base))), std::memory_order_relaxed);
}

void Envelope::process(int32_t, int32_t tick) {
    if (!tick) return;
    const int32_t* active = context.voiceActive;
    const int32_t length = attackTicks.load(std::memory_order_relaxed);
    const float attackStep = 1.0f / static_cast<float>(length);
    const float factor = release.load(std::memory_order_relaxed);
    for (int v = kVoices - 1; v >= 0; --v) {
        if (!active[v]) continue;
        float& x = level.v[v];
        const float g = gate->v[v];
        if (g != 0.0f) {
            if (stage[v] == kIdle) {
                x = 0.0f;
                stage[v] = kAttack;
                counter[v] = 0;
            }
            // A note released during its attack stays in the attack stage, so a new
            // note on the voice continues from the current level and count.
            if (stage[v] == kAttack) {
                x += g * attackStep;
                if (++counter[v] >= length) stage[v] = kHold;
            }
        } else {
            x *= factor;
            if (stage[v] == kHold) stage[v] = kIdle;
        }
        if (x > 1.0f) x = 1.0f;
        // A level gone non-finite ends the voice instead of holding it for good.
        if (!std::isfinite(x)) x = 0.0f;
        // The exact zero that tells the keyboard the voice is free.
        if (x < 1e-20f) x = 0.0f;
    }
}
