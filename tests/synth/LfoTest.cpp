#include <gtest/gtest.h>

#include <cmath>

#include "synth/Lfo.h"
#include "synth/ShapeConstants.h"
#include "synth/SynthRig.h"

namespace {

struct LfoRig : SynthRig {
    ParamValue rate{0.5f}, form{0.2f}, sync{0.0f};
    Lfo lfo{rack, context};

    LfoRig() {
        lfo.rateParam = &rate;
        lfo.formParam = &form;
        lfo.syncParam = &sync;
        lfo.onParameter(0, 0.0f);
    }
    void set(float rateValue, int formIndex, bool synced) {
        rate = rateValue;
        form = static_cast<float>(formIndex) * 0.2f;
        sync = synced ? 1.0f : 0.0f;
        lfo.onParameter(0, 0.0f);
    }
    float tick() {
        lfo.process(88, 1);
        return lfo.output().v[0];
    }
    // Synced at one cycle per beat with a tempo factor of 1/64: exactly 64 ticks a cycle.
    void setExactCycle(int formIndex) {
        context.tempoFactor = 1.0f / 64.0f;
        set(0.6f, formIndex, true);
        ASSERT_EQ(lfo.increment(), 1.0f / 64.0f);
    }
};

TEST(Lfo, FreeRates) {
    LfoRig rig;
    rig.set(0.0f, Lfo::kSine, false);
    EXPECT_FLOAT_EQ(rig.lfo.increment() * 500.0f, 0.16f);
    rig.set(0.5f, Lfo::kSine, false);
    EXPECT_EQ(rig.lfo.increment(), 256.0f * 0.00004f);
    EXPECT_FLOAT_EQ(rig.lfo.increment() * 500.0f, 5.12f);
    rig.set(1.0f, Lfo::kSine, false);
    EXPECT_FLOAT_EQ(rig.lfo.increment() * 500.0f, 163.84f);
}

TEST(Lfo, SyncedRateSteps) {
    LfoRig rig;
    rig.context.tempoFactor = 120.0f / 30000.0f;
    rig.set(0.5f, Lfo::kSine, true);  // step 5, 1.5 cycles per beat
    EXPECT_FLOAT_EQ(rig.lfo.increment(), 0.006f);
    const std::pair<float, float> steps[] = {{0.0f, 8.0f}, {0.04f, 8.0f},  {0.06f, 6.0f},  {0.3f, 3.0f}, {0.6f, 1.0f},
                                             {0.8f, 0.5f}, {0.85f, 0.25f}, {0.95f, 0.25f}, {1.0f, 0.25f}};
    for (auto [value, cyclesPerBeat] : steps) {
        rig.set(value, Lfo::kSine, true);
        EXPECT_EQ(rig.lfo.increment(), cyclesPerBeat * (120.0f / 30000.0f)) << value;
    }
    // A tempo change alone waits for the next parameter change.
    rig.context.tempoFactor = 60.0f / 30000.0f;
    EXPECT_EQ(rig.lfo.increment(), 0.25f * (120.0f / 30000.0f));
    rig.lfo.onParameter(0, 0.0f);
    EXPECT_EQ(rig.lfo.increment(), 0.25f * (60.0f / 30000.0f));
}

TEST(Lfo, ShapesOverOneCycle) {
    struct Expected {
        int form;
        float quarter, half, threeQuarters;
    };
    const Expected shapes[] = {{Lfo::kTriangle, -1.0f, 0.0f, 1.0f},
                               {Lfo::kSquare, -1.0f, 0.0f, 1.0f},
                               {Lfo::kRamp, -0.5f, 0.0f, 0.5f},
                               {Lfo::kSaw, 0.5f, 0.0f, -0.5f},
                               {Lfo::kSine, -1.0f, 0.0f, 1.0f}};
    for (const Expected& e : shapes) {
        LfoRig rig;
        rig.setExactCycle(e.form);
        float y[65];
        for (int t = 1; t <= 64; ++t) y[t] = rig.tick();
        EXPECT_EQ(y[16], e.quarter) << e.form;
        EXPECT_EQ(y[32], e.half) << e.form;
        EXPECT_EQ(y[48], e.threeQuarters) << e.form;
        for (int t = 1; t <= 64; ++t) {
            EXPECT_LE(std::fabs(y[t]), 1.0f);
            for (float value : rig.lfo.output().v) EXPECT_EQ(value, rig.lfo.output().v[0]);
        }
    }
}

TEST(Lfo, TriangleSineAndSquareStartEachCycleAtZeroGoingNegative) {
    for (int form : {Lfo::kTriangle, Lfo::kSine, Lfo::kSquare}) {
        LfoRig rig;
        rig.setExactCycle(form);
        for (int t = 1; t < 64; ++t) rig.tick();
        EXPECT_EQ(rig.tick(), 0.0f) << form;  // phase wrapped to 0
        EXPECT_LT(rig.tick(), 0.0f) << form;
    }
}

TEST(Lfo, SineRestsAtFullScaleForAboutAThirdOfTheCycle) {
    LfoRig rig;
    rig.context.tempoFactor = 1.0f / 1024.0f;
    rig.set(0.6f, Lfo::kSine, true);  // 1024 ticks per cycle
    int clipped = 0;
    for (int t = 0; t < 1024; ++t) clipped += std::fabs(rig.tick()) == 1.0f;
    EXPECT_NEAR(clipped / 1024.0, 0.36, 0.02);
    // Near the zero crossing it is the triangle rounded by the cubic, then scaled.
    LfoRig fresh;
    fresh.context.tempoFactor = 1.0f / 1024.0f;
    fresh.set(0.6f, Lfo::kSine, true);
    float g = -1.0f / 1024.0f;
    EXPECT_EQ(fresh.tick(), (g - 0.16666667f * (g * g * g)) * kSineScale);
}

TEST(Lfo, RandomFormDrawsTwicePerCycleBelowZero) {
    LfoRig rig;
    rig.set(1.0f, Lfo::kRandom, false);
    const float increment = rig.lfo.increment();
    RandomGenerator reference;
    reference.seed(5);
    float phase = 0.0f, held = 0.0f;
    int draws = 0;
    for (int t = 0; t < 5000; ++t) {
        float y = rig.tick();
        phase += increment;
        if (phase >= 0.5f) {
            phase -= 0.5f;
            held = static_cast<float>(reference.next() & 0xFFFF) * 3.0517578e-05f - 1.0f;
            ++draws;
        }
        ASSERT_EQ(y, held) << t;
        ASSERT_GE(y, -1.0f);
        if (draws > 0) {
            ASSERT_LT(y, 0.0f);
        }
    }
    EXPECT_NEAR(draws, 5000 * increment * 2.0f, 1.0f);
}

TEST(Lfo, HoldsItsValueBetweenTicks) {
    LfoRig rig;
    rig.set(1.0f, Lfo::kTriangle, false);
    float y = rig.tick();
    for (int i = 0; i < 5; ++i) {
        rig.lfo.process(88, 0);
        EXPECT_EQ(rig.lfo.output().v[3], y);
    }
    EXPECT_NE(rig.tick(), y);
}

TEST(Lfo, SyncedPhaseRestartsWhenTheHostJumpsBack) {
    LfoRig rig;
    rig.setExactCycle(Lfo::kRamp);
    float position = 0.0f;
    float first = 0.0f;
    for (int t = 0; t < 20; ++t) {
        position += 0.01f;
        rig.context.quarterNotePosition = position;
        float y = rig.tick();
        if (t == 0) first = y;
    }
    rig.context.quarterNotePosition = 0.0f;  // loop back to the start
    EXPECT_EQ(rig.tick(), -1.0f);            // ramp at phase 0
    rig.context.quarterNotePosition = 0.01f;
    EXPECT_EQ(rig.tick(), first);

    // Free-running mode ignores the host position.
    rig.set(0.6f, Lfo::kRamp, false);
    float before = rig.tick();
    rig.context.quarterNotePosition = -5.0f;
    EXPECT_NE(rig.tick(), -1.0f);
    EXPECT_NE(rig.tick(), before);
}

}  // namespace
