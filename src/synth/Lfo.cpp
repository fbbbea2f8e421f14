#include "synth/Lfo.h"

#include <algorithm>
#include <cmath>

#include "dsp/ExpTables.h"
#include "dsp/ModuleContext.h"
#include "synth/ShapeConstants.h"

namespace {

constexpr ShapeConstants kShapes[6] = {
    {0.0f, 0.0f, 0.0f, 0.0f},
    // The cubic bends before the scale: a rounded triangle of peak 1.5544 clipped at +-1.
    {0.5f, 1.5f, kSineScale, 0.16666667f},
    {0.5f, 1.5f, 4.0f, 0.0f},
    {0.5f, 1.5f, 1000.0f, 0.0f},  // edge 0.002 cycle wide
    {0.0f, 2.0f, 2.0f, 0.0f},
    {0.0f, 2.0f, -2.0f, 0.0f},
};

// Cycles per beat for the synced rate steps 1/32 ... 1/1 (length of one cycle).
constexpr float kCyclesPerBeat[10] = {8.0f, 6.0f, 4.0f, 3.0f, 2.0f, 1.5f, 1.0f, 0.75f, 0.5f, 0.25f};

}  // namespace

Lfo::Lfo(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void Lfo::onParameter(int32_t, float) {
    const float rate = readParam(rateParam);
    const auto synced = static_cast<int32_t>(readParam(syncParam) + 0.5f);
    float increment;
    if (synced) {
        auto index = static_cast<int32_t>(rate * 10.0f + 0.5f);
        index = std::clamp(index, 0, 9);
        // The tempo factor is beats per minute / 30000: beats per control tick at 500 Hz.
        increment = kCyclesPerBeat[index] * context.tempoFactor.load(std::memory_order_relaxed);
    } else {
        // 0.02 x 2^(10x + 3) Hz at 500 ticks per second: 0.16 Hz to 163.84 Hz.
        increment = fastExp2(rate * 10.0f + 3.0f) * 0.00004f;
    }
    step.store(increment, std::memory_order_relaxed);
    sync.store(synced, std::memory_order_relaxed);
    auto f = static_cast<int32_t>(readParam(formParam) * 5.0f + 0.5f);
    form.store(std::clamp(f, static_cast<int32_t>(kRandom), static_cast<int32_t>(kSaw)), std::memory_order_relaxed);
}

void Lfo::process(int32_t, int32_t tick) {
    if (!tick) return;
    phase += step.load(std::memory_order_relaxed);
    if (!std::isfinite(phase) || !std::isfinite(held)) phase = held = 0.0f;
    if (sync.load(std::memory_order_relaxed)) {
        // A transport that jumped back or looped restarts the cycle.
        float position = context.quarterNotePosition.load(std::memory_order_relaxed);
        if (lastPosition > position) phase = 0.0f;
        lastPosition = position;
    }
    const int32_t f = form.load(std::memory_order_relaxed);
    float y;
    if (f == kRandom) {
        // Two new values per cycle, in [-1, 0).
        if (phase >= 0.5f) {
            phase -= 0.5f;
            held = static_cast<float>(context.random.next() & 0xFFFF) * 3.0517578e-05f - 1.0f;
        }
        y = held;
    } else {
        // Subtracting the whole part equals subtracting 1 below 2 and keeps the phase
        // bounded should a synced rate at an extreme tempo exceed one cycle per tick.
        if (phase >= 1.0f) phase -= static_cast<float>(static_cast<int32_t>(phase));
        const ShapeConstants& c = kShapes[f];
        float g = std::min(c.high - phase, std::max(c.low - phase, phase)) - 0.5f;
        y = (g - c.cubic * (g * g * g)) * c.scale;
        if (y > 1.0f)
            y = 1.0f;
        else if (y < -1.0f)
            y = -1.0f;
    }
    for (float& value : out.v) value = y;
}
