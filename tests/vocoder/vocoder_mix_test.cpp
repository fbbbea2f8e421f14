// The output mix on every instruction-set path against its plain scalar form, bit for
// bit, for every sub-block length (whole vectors, four-frame vectors and single frames).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dsp/Buffers.h"
#include "vocoder/VocoderBands.h"
#include "vocoder/VocoderMix.h"

using vocoder::softClip;

TEST(VocoderMix, EveryPathGivesTheBitsOfThePlainScalarForm) {
    std::mt19937 random(8);
    // Past the clip points at +-1.5 as often as between them.
    std::uniform_real_distribution<float> signal(-3.0f, 3.0f), level(0.0f, 1.0f);
    std::vector<float> signals[7];
    for (auto& s : signals) {
        s.resize(kMaxFrames);
        for (float& v : s) v = signal(random);
    }
    const auto& [m, ringL, ringR, sumL, sumR, left, right] = signals;
    const vocoder::MixInputs in{m.data(),    ringL.data(), ringR.data(), sumL.data(),
                                sumR.data(), left.data(),  right.data()};
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!simdSupported(path)) continue;
        for (bool stereo : {false, true})
            for (int32_t frames = 1; frames <= kMaxFrames; ++frames) {
                const float x = level(random);
                const vocoder::MixLevels g{1.0f - x, x, level(random), level(random), level(random)};
                std::vector<float> out(2 * kMaxFrames, -7.0f), plain(2 * kMaxFrames, -7.0f);
                vocoder::mix(path, stereo, in, g, out.data(), frames);
                for (int32_t n = 0; n < frames; ++n) {
                    plain[2 * n] = softClip((g.dry * ringL[n] + g.x * sumL[n]) * g.vocoded + g.direct * m[n] +
                                            g.carried * left[n]);
                    plain[2 * n + 1] = stereo ? softClip((g.dry * ringR[n] + g.x * sumR[n]) * g.vocoded +
                                                         g.carried * right[n] + g.direct * m[n])
                                              : plain[2 * n];
                }
                ASSERT_EQ(std::memcmp(out.data(), plain.data(), out.size() * sizeof(float)), 0)
                    << "path " << static_cast<int>(path) << " stereo " << stereo << " frames " << frames;
            }
    }
}
