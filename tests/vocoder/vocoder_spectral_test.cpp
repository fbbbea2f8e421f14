// The vocoder as a whole: the spectral path's delay, bin shift, mangle and saturating
// bin targets, the band count the parameters select, a speech-like modulator shaping a
// held chord, and finite bounded output at every host rate.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <random>

#include "plain_spectral.h"
#include "vocoder/VocoderBands.h"
#include "vocoder_rig.h"

using vocoder::softClip;

namespace {

constexpr double kPi = 3.141592653589793;

// Runs the rig in blocks of 256 frames with a capture channel as modulator; before each
// block the writer supplies the block's 256 modulator samples.
std::vector<float> runCaptured(VocoderRig& rig, CaptureMemory& writer, int channel, int frames,
                               const std::function<float(int)>& modulator) {
    std::vector<float> out;
    for (int done = 0; done < frames; done += 256) {
        for (int i = 0; i < 256; ++i) writer.writeFrame(channel, modulator(done + i), modulator(done + i));
        std::vector<float> block = rig.run(256);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

void spectralOnly(VocoderRig& rig, int channel) {
    rig.set(rig.params.modSrc, 0.0f);
    rig.set(rig.params.modCh, channel / 3.0f);
    rig.set(rig.params.anaDigi, 0.0f);
    rig.set(rig.params.followD, 1.0f);  // half way to the target per frame
}

float binSine(int bin, int n, float amplitude) {
    return amplitude * static_cast<float>(std::sin(2.0 * kPi * bin * n / 512.0));
}

// Amplitude of the bin-centred component bin in the 512 samples from start on.
double amplitudeAt(const std::vector<float>& signal, size_t start, int bin) {
    std::complex<double> sum = 0.0;
    for (int n = 0; n < 512; ++n) sum += double(signal[start + n]) * std::polar(1.0, -2.0 * kPi * bin * n / 512.0);
    return 2.0 * std::abs(sum) / 512.0;
}

double pearson(const std::vector<double>& a, const std::vector<double>& b) {
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / a.size();
    const double mb = std::accumulate(b.begin(), b.end(), 0.0) / b.size();
    double cov = 0.0, va = 0.0, vb = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        cov += (a[i] - ma) * (b[i] - mb);
        va += (a[i] - ma) * (a[i] - ma);
        vb += (b[i] - mb) * (b[i] - mb);
    }
    return cov / std::sqrt(va * vb);
}

std::vector<float> envelopes(const Vocoder& v) {
    std::vector<float> e(256);
    for (int k = 0; k < 256; ++k) e[k] = v.spectralPath().binEnvelope(k);
    return e;
}

}  // namespace

TEST(VocoderSpectral, BandCountFollowsBandsAndIsZeroWhenAnaDigiIsZero) {
    VocoderRig rig;
    rig.run(1);
    EXPECT_EQ(rig.vocoder->bandCount(), 21);
    rig.set(rig.params.bands, 0.0f);
    rig.run(1);
    EXPECT_EQ(rig.vocoder->bandCount(), 1);
    EXPECT_EQ(rig.vocoder->filterBank().gain(0), 200.0f);
    rig.set(rig.params.bands, 0.5f);
    rig.run(1);
    EXPECT_EQ(rig.vocoder->bandCount(), 11);
    rig.set(rig.params.anaDigi, 0.0f);
    rig.run(1);
    EXPECT_EQ(rig.vocoder->bandCount(), 0);
    EXPECT_EQ(rig.vocoder->filterBank().gain(0), 1.0f);

    VocoderRig unbound(44100);
    unbound.vocoder->anaDigi = &zeros::param;
    unbound.vocoder->onParameter(0, 0.0f);
    unbound.run(1);
    EXPECT_EQ(unbound.vocoder->bandCount(), 0) << "an unbound AnaDigi reads 0.0";
}

TEST(VocoderSpectral, WithFlatGainsTheSpectralPathIsTheCarrierDelayedBy512Samples) {
    auto writer = captureWriter(1);
    VocoderRig rig;
    spectralOnly(rig, 1);
    for (ParamValue& e : rig.params.eq) rig.set(e, 0.0f);  // a tenth on every bin

    // Noise whose every 256-sample block has even and odd samples summing to 0: no frame
    // of 512 holds anything at DC or at half the rate, the two bins the path drops.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    std::vector<float> carrier(16384);
    for (size_t block = 0; block < carrier.size(); block += 256) {
        double sums[2] = {0.0, 0.0};
        for (size_t i = 0; i < 256; ++i) sums[i % 2] += carrier[block + i] = noise(random);
        for (size_t i = 0; i < 256; ++i) carrier[block + i] -= static_cast<float>(sums[i % 2] / 128.0);
    }
    rig.carrierLeft = carrier;
    // Impulses of 100 at every block start give every bin a magnitude of 100 in every
    // frame: all targets saturate at 1.0, and 1.0 x 0.1 x 10 passes every bin unchanged.
    std::vector<float> out = leftOf(runCaptured(rig, *writer, 1, 16384, [](int n) { return n % 256 ? 0.0f : 100.0f; }));

    for (int n = 0; n < 512; ++n) ASSERT_EQ(out[n], 0.0f) << n;
    for (int k = 1; k < 256; ++k) ASSERT_EQ(rig.vocoder->spectralPath().binEnvelope(k), 1.0f) << k;
    // The linear crossfade of two frames adds to 255 x 256 x 1.52881e-5.
    const float gain = 255.0f * 256.0f * 1.52881e-5f;
    double worstAligned = 0.0, worstShifted = 0.0;
    for (size_t n = 12288; n < out.size(); ++n) {
        worstAligned = std::max(worstAligned, double(std::fabs(out[n] - softClip(carrier[n - 512] * gain))));
        worstShifted = std::max(worstShifted, double(std::fabs(out[n] - softClip(carrier[n - 511] * gain))));
    }
    EXPECT_LT(worstAligned, 2e-5);
    EXPECT_GT(worstShifted, 0.05);
}

TEST(VocoderSpectral, BinShiftMovesWhichModulatorBinEachCarrierBinFollows) {
    // Modulator at bin 20 (its targets saturate in bins 19 to 21), carrier at 12, 20, 28.
    struct Case {
        float shiftD;
        int passes;
    };
    for (Case c : {Case{0.5f, 20}, Case{1.0f, 28}, Case{0.0f, 12}}) {
        auto writer = captureWriter(1);
        VocoderRig rig;
        spectralOnly(rig, 1);
        rig.set(rig.params.shiftD, c.shiftD);
        for (int n = 0; n < 16384; ++n)
            rig.carrierLeft.push_back(binSine(12, n, 0.01f) + binSine(20, n, 0.01f) + binSine(28, n, 0.01f));
        std::vector<float> out =
            leftOf(runCaptured(rig, *writer, 1, 16384, [](int n) { return binSine(20, n, 0.5f); }));
        for (int bin : {12, 20, 28}) {
            const double a = amplitudeAt(out, 15000, bin);
            if (bin == c.passes)
                EXPECT_NEAR(a, 0.1 * 0.998, 1e-3) << "shift " << c.shiftD << " bin " << bin;
            else
                EXPECT_LT(a, 1e-4) << "shift " << c.shiftD << " bin " << bin;
        }
    }
}

TEST(VocoderSpectral, MangleReversesGroupsOfBinsBeforeTheFollowers) {
    // A modulator at bin 20 with amplitude 0.05: magnitude 6.4 there and 3.2 in bins 19
    // and 21, targets softClip(0.64) and softClip(0.32).
    const float peak = softClip(0.64f), side = softClip(0.32f);
    struct Case {
        float mangle;
        std::vector<std::pair<int, float>> expected;
    };
    const std::vector<Case> cases = {
        {0.0f, {{19, side}, {20, peak}, {21, side}, {17, 0.0f}}},
        // Width 4: groups 17..20 and 21..24 are reversed.
        {4.0f / 64.0f, {{17, peak}, {18, side}, {24, side}, {19, 0.0f}, {20, 0.0f}, {21, 0.0f}}},
        // Width 64: group 1..64 holds bin 20, which goes to 45 (19 to 46, 21 to 44).
        {1.0f, {{45, peak}, {46, side}, {44, side}, {20, 0.0f}}},
    };
    for (const Case& c : cases) {
        auto writer = captureWriter(1);
        VocoderRig rig;
        spectralOnly(rig, 1);
        rig.set(rig.params.mangle, c.mangle);
        runCaptured(rig, *writer, 1, 40 * 256, [](int n) { return binSine(20, n, 0.05f); });
        std::vector<float> e = envelopes(*rig.vocoder);
        for (auto [bin, level] : c.expected)
            EXPECT_NEAR(e[bin], level, 2e-4) << "mangle " << c.mangle << " bin " << bin;
    }

    // With width 64 the bins from 193 up stay where they are.
    auto writer = captureWriter(1);
    VocoderRig rig;
    spectralOnly(rig, 1);
    rig.set(rig.params.mangle, 1.0f);
    runCaptured(rig, *writer, 1, 40 * 256, [](int n) { return binSine(200, n, 0.05f); });
    EXPECT_NEAR(rig.vocoder->spectralPath().binEnvelope(200), peak, 2e-4);
}

TEST(VocoderSpectral, BinTargetsSaturateAtExactlyOneAboveAMagnitudeOf15) {
    for (float height : {100.0f, 16.0f, 15.0f}) {
        auto writer = captureWriter(1);
        VocoderRig rig;
        spectralOnly(rig, 1);
        // An impulse at each block start lands on window weight 0 and 1: magnitude height.
        runCaptured(rig, *writer, 1, 512, [height](int n) { return n % 256 ? 0.0f : height; });
        std::vector<float> first = envelopes(*rig.vocoder);
        runCaptured(rig, *writer, 1, 256, [height](int n) { return n % 256 ? 0.0f : height; });
        std::vector<float> second = envelopes(*rig.vocoder);
        EXPECT_EQ(first[0], 0.0f);
        for (int k = 1; k < 256; ++k) {
            if (height > 15.0f) {
                ASSERT_EQ(first[k], 0.5f) << height << " bin " << k;
                ASSERT_EQ(second[k], 0.75f) << height << " bin " << k;
            } else {
                ASSERT_NEAR(first[k], 0.5f * (1.5f - 0.15f * 1.5f * 1.5f * 1.5f), 1e-5f) << "bin " << k;
            }
        }
    }
}

TEST(VocoderSpectral, OutputEnergyFollowsASpeechLikeModulatorOverAHeldChord) {
    // Syllables: noise bursts at about 3.3 per second with a vowel-like resonance.
    const int32_t rate = 44100;
    std::mt19937 random(9);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<int16_t> speech(2 * rate);
    float y1 = 0.0f, y2 = 0.0f;
    for (size_t n = 0; n < speech.size(); ++n) {
        const double t = double(n) / rate;
        const double syllable = std::max(0.0, std::sin(2.0 * kPi * 3.3 * t));
        const float y = noise(random) + 1.8f * y1 - 0.9f * y2;  // resonance near 1 kHz
        y2 = y1;
        y1 = y;
        speech[n] = static_cast<int16_t>(std::clamp(3000.0 * syllable * syllable * y, -32767.0, 32767.0));
    }
    VocoderRig rig;
    rig.vocoder->setFile(3, writeWav("speech-like.wav", speech, rate).c_str());
    rig.set(rig.params.modSrc, 1.0f);
    rig.set(rig.params.mixVoc, 0.5f);
    // A held three-note chord of sawtooth waves as the carrier.
    for (size_t n = 0; n < speech.size(); ++n) {
        float v = 0.0f;
        for (double f : {220.0, 277.18, 329.63})
            v += 0.2f * static_cast<float>(2.0 * std::fmod(f * n / rate, 1.0) - 1.0);
        rig.carrierLeft.push_back(v);
    }
    rig.holdKey(true);
    std::vector<float> out = leftOf(rig.run(static_cast<int32_t>(speech.size()), 88));

    const size_t frame = rate / 50;
    std::vector<double> outEnergy, modEnergy;
    for (size_t start = 0; start + frame <= out.size(); start += frame) {
        double eo = 0.0, em = 0.0;
        for (size_t n = start; n < start + frame; ++n) {
            eo += double(out[n]) * out[n];
            em += double(speech[n]) * speech[n];
        }
        outEnergy.push_back(eo);
        modEnergy.push_back(em);
    }
    // The followers and the spectral path's 512 samples lag the modulator by about one
    // 20 ms frame.
    const std::vector<double> later(outEnergy.begin() + 1, outEnergy.end());
    const std::vector<double> earlier(modEnergy.begin(), modEnergy.end() - 1);
    EXPECT_GT(pearson(later, earlier), 0.85);
    EXPECT_GT(pearson(outEnergy, modEnergy), 0.7);
    const double mo = std::accumulate(outEnergy.begin(), outEnergy.end(), 0.0) / outEnergy.size();
    EXPECT_GT(mo, 1e-2) << "the chord is audible";
}

TEST(VocoderSpectral, OutputStaysFiniteAndBoundedAtEveryRateWithOneAndTwentyOneBands) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<int16_t> loud(5000);
    for (int16_t& s : loud) s = static_cast<int16_t>(value(random));
    const std::string path = writeWav("loud.wav", loud, 44100);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int32_t rate : {8000, 11025, 22050, 44100, 48000, 96000, 192000})
        for (float bands : {0.0f, 1.0f})
            for (float stereo : {0.0f, 1.0f}) {
                VocoderRig rig(rate);
                rig.vocoder->setFile(0, path.c_str());
                rig.set(rig.params.bands, bands);
                rig.set(rig.params.carSt, stereo);
                rig.set(rig.params.mixMod, 0.5f);
                rig.set(rig.params.mixCar, 0.5f);
                rig.set(rig.params.followA, 1.0f);
                rig.set(rig.params.followD, 1.0f);
                for (int n = 0; n < 8192; ++n) {
                    rig.carrierLeft.push_back(noise(random));
                    rig.carrierRight.push_back(noise(random));
                }
                rig.holdKey(true);
                std::vector<float> out = rig.run(8192, 97);
                double energy = 0.0;
                for (float v : out) {
                    ASSERT_TRUE(std::isfinite(v)) << rate;
                    ASSERT_LE(std::fabs(v), 1.0f) << rate;
                    energy += v * v;
                }
                EXPECT_GT(energy, 1.0) << rate;
                for (int i = 0; i < rig.vocoder->bandCount(); ++i)
                    EXPECT_TRUE(std::isfinite(rig.vocoder->filterBank().envelope(i))) << rate << " band " << i;
            }
}

namespace {

// Blocks of random length with settings drawn afresh for each block (mono and stereo
// alternate, as CarSt may change at any sub-block; some stretches carry the same carrier
// on both sides), compared with the plain form bit for bit: ring outputs after every
// block, followers at the end.
void expectSameBitsAsPlain(SimdPath path, unsigned seed, int32_t hops,
                           const std::function<VocoderSpectral::Settings()>& draw, std::mt19937& random) {
    auto fast = std::make_unique<VocoderSpectral>();
    ASSERT_TRUE(fast->usePath(path));
    auto plain = std::make_unique<PlainSpectral>();
    std::uniform_real_distribution<float> gain(0.0f, 2.0f);
    for (int k = 0; k <= 256; ++k) fast->binGain()[k] = plain->binGain()[k] = gain(random);
    for (int k = 257; k < 512; ++k) fast->binGain()[k] = plain->binGain()[k] = plain->binGain()[512 - k];

    std::uniform_int_distribution<int32_t> length(1, 256);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<float> m(256), l(256), r(256);
    std::vector<float> fastLeft(256), fastRight(256), plainLeft(256), plainRight(256);
    int32_t done = 0;
    while (done < hops * 256) {
        const int32_t frames = length(random);
        const VocoderSpectral::Settings settings = draw();
        // Loud stretches push bins past the follower's saturation, quiet ones stay below.
        const float loudness = (done / 2048) % 2 ? 0.02f : 4.0f;
        // Some stretches carry the same carrier on both sides.
        const bool twins = (done / 1536) % 3 == 0;
        for (int32_t n = 0; n < frames; ++n) {
            m[n] = loudness * unit(random), l[n] = unit(random);
            r[n] = twins ? l[n] : unit(random);
        }
        fast->run(m.data(), l.data(), r.data(), frames, settings, fastLeft.data(), fastRight.data());
        plain->run(m.data(), l.data(), r.data(), frames, settings, plainLeft.data(), plainRight.data());
        ASSERT_EQ(std::memcmp(fastLeft.data(), plainLeft.data(), frames * sizeof(float)), 0)
            << "path " << static_cast<int>(path) << " seed " << seed << " left after frame " << done;
        if (settings.stereo) {
            ASSERT_EQ(std::memcmp(fastRight.data(), plainRight.data(), frames * sizeof(float)), 0)
                << "path " << static_cast<int>(path) << " seed " << seed << " right after frame " << done;
        }
        done += frames;
    }
    for (int k = 0; k <= 256; ++k)
        ASSERT_EQ(fast->binEnvelope(k), plain->binEnvelope(k))
            << "path " << static_cast<int>(path) << " seed " << seed << " bin " << k;
}

}  // namespace

TEST(VocoderSpectral, EveryPathGivesTheBitsOfThePlainScalarFormForEverySetting) {
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!simdSupported(path)) continue;
        std::mt19937 random(31);
        // Each fixed combination of shift, mangle width, speed and channel count for a while.
        for (int32_t shift : {-8, 0, 8})
            for (int32_t width : {0, 1, 3, 4, 64})
                for (float speed : {0.0f, 0.25f, 0.5f})
                    for (bool stereo : {false, true}) {
                        const VocoderSpectral::Settings fixed{shift, width, speed, stereo};
                        ASSERT_NO_FATAL_FAILURE(expectSameBitsAsPlain(
                            path, 1, 6, [&] { return fixed; }, random));
                    }
        // Then settings that change at every block.
        std::uniform_int_distribution<int32_t> shift(-8, 8), width(0, 64), coin(0, 1);
        std::uniform_real_distribution<float> speed(0.0f, 0.5f);
        for (unsigned seed = 2; seed < 6; ++seed)
            ASSERT_NO_FATAL_FAILURE(expectSameBitsAsPlain(
                path, seed, 60,
                [&] {
                    return VocoderSpectral::Settings{shift(random), width(random), speed(random), coin(random) == 1};
                },
                random));
    }
}

// A carrier that was mono for a while and turns stereo: the right channel continues
// from the left one instead of replaying what the last stereo frames left behind (the
// right frames hold up to 256 times their samples after the transforms).
TEST(VocoderSpectral, TurningStereoStartsTheRightChannelFromTheLeft) {
    VocoderSpectral spectral;
    VocoderSpectral::Settings settings;
    settings.speed = 0.5f;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
    constexpr int kBlock = 64;
    float m[kBlock], l[kBlock], r[kBlock], ringLeft[kBlock], ringRight[kBlock];
    float loudestLeft = 0.0f, loudestRight = 0.0f;
    auto block = [&](bool stereo, float carrier) {
        for (int n = 0; n < kBlock; ++n)
            m[n] = noise(random), l[n] = carrier * noise(random), r[n] = carrier * noise(random);
        settings.stereo = stereo;
        spectral.run(m, l, r, kBlock, settings, ringLeft, ringRight);
        for (int n = 0; n < kBlock; ++n) {
            loudestLeft = std::max(loudestLeft, std::fabs(ringLeft[n]));
            if (stereo) loudestRight = std::max(loudestRight, std::fabs(ringRight[n]));
        }
    };
    // A loud stereo carrier, then a silent one in mono until the left output is silent.
    for (int i = 0; i < 64; ++i) block(true, 1.0f);
    ASSERT_GT(loudestRight, 0.01f);
    for (int i = 0; i < 64; ++i) block(false, 0.0f);
    loudestLeft = loudestRight = 0.0f;
    for (int i = 0; i < 32; ++i) block(true, 0.0f);
    EXPECT_EQ(loudestLeft, 0.0f);
    EXPECT_EQ(loudestRight, 0.0f);
}

// A NaN or infinity in the modulator, the left carrier or the right one (in stereo) is
// cleared with everything it reached right after its frame's work: no output sample is
// ever non-finite, on every path, and the followers are finite again.
TEST(VocoderSpectral, EveryPathClearsANonFiniteInputBeforeItIsHeard) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    // Channel 0 modulator, 1 left carrier, 2 right carrier; stereo when the channel is 3 or more.
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512})
        for (float poison : {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf})
            for (int channel : {0, 1, 3, 4, 5}) {
                VocoderSpectral spectral;
                if (!spectral.usePath(path)) continue;
                const VocoderSpectral::Settings settings{0, 0, 0.5f, channel >= 3};
                std::mt19937 random(5);
                std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
                float in[3][88], out[2][88];
                for (int block = 0; block < 40; ++block) {
                    for (auto& samples : in)
                        for (float& v : samples) v = noise(random);
                    if (block == 20) in[channel % 3][37] = poison;
                    spectral.run(in[0], in[1], in[2], 88, settings, out[0], out[1]);
                    for (int n = 0; n < 88 * (settings.stereo ? 2 : 1); ++n)
                        ASSERT_TRUE(std::isfinite(out[n / 88][n % 88]))
                            << static_cast<int>(path) << " " << poison << " " << channel << " " << block;
                }
                for (int k = 0; k <= 256; ++k) ASSERT_TRUE(std::isfinite(spectral.binEnvelope(k))) << k;
            }
}
