// The synthesizer as a host hears it: notes in through the plug-in's entry point,
// frequencies and levels measured from the rendered output.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "support/LoadedPlugin.h"

namespace {

constexpr float kRate = 44100.0f;

class SynthPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(plugin.effect(), nullptr);
        plugin.start(kRate, 512);
        // A plain sine voice: oscillator 1 only, filter open, instant attack and release.
        set("Volume", 0.5f);
        set("Pan", 0.5f);
        set("BndRng", 1.0f);
        set("Osc1Frm", 0.25f);
        set("Osc1Tun", 0.5f);
        set("Detun1", 0.5f);
        set("Osc1PW", 0.0f);
        set("OscMix", 1.0f);
        set("Cutoff", 1.0f);
        set("Reso", 0.0f);
        set("Attack", 0.0f);
        set("Release", 0.0f);
        set("Mono", 0.0f);
        set("Glide", 0.0f);
        for (const char* depth : {"LfoFM", "LfoPWM", "LfoAM", "LfoFiltMod"}) set(depth, 0.0f);
        // The carrier straight through the vocoder's mix and the effects.
        set("MixCar", 1.0f);
        set("MixVoc", 0.0f);
        set("MixMod", 0.0f);
        set("CarCap", 0.0f);
        for (const char* level : {"DlyLv", "ChrsLv", "RevLevel"}) set(level, 0.0f);
    }

    void set(const std::string& name, float value) {
        for (int32_t i = 0; i < plugin.effect()->numParams; ++i) {
            if (plugin.parameterName(i) == name) {
                plugin.setParameter(i, value);
                return;
            }
        }
        FAIL() << "no parameter " << name;
    }

    std::vector<float> render(int frames) {
        std::vector<float> left, right;
        plugin.render(left, right, frames);
        EXPECT_EQ(left, right);
        return left;
    }

    LoadedPlugin plugin{"Zorvek2.so"};
};

// Frequency from the rising zero crossings, interpolated between samples.
double measureFrequency(const std::vector<float>& x, size_t from, size_t to) {
    double first = -1.0, last = -1.0;
    int count = 0;
    for (size_t n = from + 1; n < to; ++n) {
        if (x[n - 1] < 0.0f && x[n] >= 0.0f) {
            double t = static_cast<double>(n - 1) + x[n - 1] / (x[n - 1] - x[n]);
            if (first < 0.0) first = t;
            last = t;
            ++count;
        }
    }
    return count < 2 ? 0.0 : (count - 1) * kRate / (last - first);
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
    double energy = 0.0;
    for (size_t n = from; n < to; ++n) energy += static_cast<double>(x[n]) * x[n];
    return std::sqrt(energy / static_cast<double>(to - from));
}

// Amplitude of one frequency in a window (single-bin DFT under a Hann window, which
// keeps the other notes of a chord from leaking in).
double level(const std::vector<float>& x, size_t from, size_t to, double hz) {
    double re = 0.0, im = 0.0;
    const double length = static_cast<double>(to - from);
    for (size_t n = from; n < to; ++n) {
        double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n - from) / length);
        double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(n) / kRate;
        re += window * x[n] * std::cos(phase);
        im += window * x[n] * std::sin(phase);
    }
    return 4.0 * std::hypot(re, im) / length;
}

double noteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

TEST_F(SynthPlugin, SilentWithoutNotes) {
    std::vector<float> out = render(4096);
    for (float x : out) ASSERT_EQ(x, 0.0f);
}

TEST_F(SynthPlugin, NotesSoundAtTheirFrequency) {
    plugin.sendMidi(0x90, 69, 127);
    std::vector<float> a = render(22050);
    EXPECT_NEAR(measureFrequency(a, 4410, a.size()), 440.0, 0.5);
    plugin.sendMidi(0x80, 69, 0);
    render(22050);
    plugin.sendMidi(0x90, 57, 127);
    std::vector<float> b = render(22050);
    EXPECT_NEAR(measureFrequency(b, 4410, b.size()), 220.0, 0.25);
    // Sine at half mix, the summer's half, and volume and pan halves: about 1/8 peak.
    EXPECT_NEAR(rms(b, 4410, b.size()), 0.125 / std::sqrt(2.0), 0.01);
}

TEST_F(SynthPlugin, VelocityScalesTheLevel) {
    plugin.sendMidi(0x90, 60, 127);
    std::vector<float> loud = render(8820);
    plugin.sendMidi(0x80, 60, 0);
    render(22050);
    plugin.sendMidi(0x90, 60, 64);
    std::vector<float> soft = render(8820);
    double ratio = rms(soft, 4410, soft.size()) / rms(loud, 4410, loud.size());
    // The filter's saturation squeezes the loud note slightly.
    EXPECT_NEAR(ratio, 64.0 / 127.0, 0.02);
}

TEST_F(SynthPlugin, EightVoicesSoundTogetherAndANinthIsDropped) {
    const int notes[] = {48, 52, 55, 59, 62, 65, 69, 72};
    for (int note : notes) plugin.sendMidi(0x90, note, 100);
    std::vector<float> chord = render(22050);
    for (int note : notes) EXPECT_GT(level(chord, 4410, chord.size(), noteHz(note)), 0.05) << note;

    plugin.sendMidi(0x90, 76, 100);
    std::vector<float> more = render(22050);
    EXPECT_LT(level(more, 4410, more.size(), noteHz(76)), 0.001);
    for (int note : notes) EXPECT_GT(level(more, 4410, more.size(), noteHz(note)), 0.05) << note;

    // Releasing one key frees a voice for the next note.
    plugin.sendMidi(0x80, 48, 0);
    render(22050);
    plugin.sendMidi(0x90, 76, 100);
    std::vector<float> swapped = render(22050);
    EXPECT_GT(level(swapped, 4410, swapped.size(), noteHz(76)), 0.05);
    // Only the soft clip's intermodulation of the other voices remains near note 48.
    EXPECT_LT(level(swapped, 4410, swapped.size(), noteHz(48)), 0.005);
}

TEST_F(SynthPlugin, MonoModeRetunesOneVoice) {
    set("Mono", 1.0f);
    plugin.sendMidi(0x90, 69, 127);
    render(4410);
    plugin.sendMidi(0x90, 57, 127);
    std::vector<float> out = render(22050);
    EXPECT_GT(level(out, 4410, out.size(), 220.0), 0.1);
    EXPECT_LT(level(out, 4410, out.size(), 440.0), 0.001);
    EXPECT_NEAR(measureFrequency(out, 4410, out.size()), 220.0, 0.25);

    // The same two keys in poly mode sound together.
    set("Mono", 0.0f);
    plugin.sendMidi(0x80, 57, 0);
    plugin.sendMidi(0x90, 69, 127);
    plugin.sendMidi(0x90, 57, 127);
    std::vector<float> poly = render(22050);
    EXPECT_GT(level(poly, 4410, poly.size(), 220.0), 0.1);
    EXPECT_GT(level(poly, 4410, poly.size(), 440.0), 0.1);
}

TEST_F(SynthPlugin, PitchBendDownOneOctaveHalvesTheFrequency) {
    plugin.sendMidi(0x90, 69, 127);
    plugin.sendMidi(0xE0, 0x00, 0x00);
    std::vector<float> out = render(22050);
    EXPECT_NEAR(measureFrequency(out, 4410, out.size()), 220.0, 0.25);
    plugin.sendMidi(0xE0, 0x00, 0x40);  // centre
    std::vector<float> back = render(22050);
    EXPECT_NEAR(measureFrequency(back, 4410, back.size()), 440.0, 0.5);
}

TEST_F(SynthPlugin, GlideMovesThePitchOverTime) {
    set("Mono", 1.0f);
    set("Glide", 0.5f);  // 10^-1.5 of the distance per 2 ms tick
    plugin.sendMidi(0x90, 57, 127);
    render(44100);
    plugin.sendMidi(0x90, 69, 127);
    std::vector<float> out = render(44100);
    double previous = 0.0;
    std::vector<double> track;
    for (size_t from = 0; from + 2048 <= 22050; from += 2048) {
        double hz = measureFrequency(out, from, from + 2048);
        EXPECT_GT(hz, previous) << from;
        previous = hz;
        track.push_back(hz);
    }
    EXPECT_LT(track.front(), 330.0);
    EXPECT_GT(track.back(), 430.0);
    EXPECT_NEAR(measureFrequency(out, 33075, out.size()), 440.0, 0.5);
}

TEST_F(SynthPlugin, ParameterChangesFromAnotherThreadKeepTheOutputBounded) {
    std::vector<int32_t> indices;
    for (int32_t i = 2; i < plugin.effect()->numParams; ++i) indices.push_back(i);
    for (int note : {48, 55, 60, 64, 67, 71, 74, 79}) plugin.sendMidi(0x90, note, 110);
    std::thread automation([&] {
        for (int round = 0; round < 200; ++round)
            for (int32_t i : indices) plugin.setParameter(i, static_cast<float>((round * 7 + i * 3) % 11) / 10.0f);
    });
    std::vector<float> left, right;
    plugin.render(left, right, 44100);
    automation.join();
    // The soft clip bounds the vocoder's output to 1; delay, chorus and reverb add at
    // most a few times that.
    for (size_t k = 0; k < left.size(); ++k)
        ASSERT_TRUE(std::isfinite(left[k]) && std::isfinite(right[k]) && std::fabs(left[k]) <= 8.0f &&
                    std::fabs(right[k]) <= 8.0f)
            << left[k] << " " << right[k];
}

TEST_F(SynthPlugin, EverySampleRateAndBlockSizeGivesFiniteBoundedOutput) {
    set("Reso", 1.0f);
    set("Osc2Tun", 1.0f);
    set("OscMix", 0.5f);
    set("LfoFreq", 1.0f);
    for (const char* depth : {"LfoFM", "LfoPWM", "LfoAM", "LfoFiltMod"}) set(depth, 1.0f);
    int form = 0;
    for (float rate : {8000.0f, 11025.0f, 16000.0f, 22050.0f, 48000.0f, 96000.0f, 192000.0f}) {
        for (int32_t block : {1, 31, 4096}) {
            plugin.start(rate, block);
            set("Osc1Frm", static_cast<float>(form % 5) * 0.25f);
            set("Osc2Frm", static_cast<float>((form + 2) % 5) * 0.25f);
            set("LfoForm", static_cast<float>(form % 6) * 0.2f);
            ++form;
            for (int note : {60, 84, 96, 108, 115, 120, 124, 127}) plugin.sendMidi(0x90, note, 127);
            std::vector<float> left, right;
            plugin.render(left, right, static_cast<int32_t>(rate) / 4, block);
            for (float x : left) ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= 2.0f) << rate << " " << block;
            for (int note : {60, 84, 96, 108, 115, 120, 124, 127}) plugin.sendMidi(0x80, note, 0);
        }
    }
}

}  // namespace
