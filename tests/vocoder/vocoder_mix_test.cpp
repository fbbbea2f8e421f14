// The output mix on every path against its plain scalar form, bit for bit, for every
// sub-block length (whole vectors, four-frame vectors and single frames).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dsp/Buffers.h"
#include "vocoder/VocoderBands.h"
#include "vocoder/VocoderMix.h"

TEST(VocoderMix, EveryPathGivesTheBitsOfThePlainScalarForm) {
    using vocoder::softClip;
    std::mt19937 random(8);
    // Past the clip points at +-1.5 as often as between them.
    std::uniform_real_distribution<float> signal(-3.0f, 3.0f), level(0.0f, 1.0f);
    std::vector<float> s[7];  // modulator, rings, sums, carriers: left then right
    for (auto& v : s)
        for (int n = 0; n < kMaxFrames; ++n) v.push_back(signal(random));
    const vocoder::MixInputs in{s[0].data(), s[1].data(), s[2].data(), s[3].data(),
                                s[4].data(), s[5].data(), s[6].data()};
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512})
        for (int32_t frames = 1; simdSupported(path) && frames <= 2 * kMaxFrames; ++frames) {
            const bool stereo = frames > kMaxFrames;
            const int32_t count = stereo ? frames - kMaxFrames : frames;
            const float x = level(random);
            const vocoder::MixLevels g{1.0f - x, x, level(random), level(random), level(random)};
            std::vector<float> out(2 * kMaxFrames, -7.0f), plain(2 * kMaxFrames, -7.0f);
            vocoder::mix(path, stereo, in, g, out.data(), count);
            for (int32_t n = 0; n < count; ++n) {
                plain[2 * n] =
                    softClip((g.dry * s[1][n] + g.x * s[3][n]) * g.vocoded + g.direct * s[0][n] + g.carried * s[5][n]);
                plain[2 * n + 1] = stereo ? softClip((g.dry * s[2][n] + g.x * s[4][n]) * g.vocoded +
                                                     g.carried * s[6][n] + g.direct * s[0][n])
                                          : plain[2 * n];
            }
            ASSERT_EQ(std::memcmp(out.data(), plain.data(), out.size() * sizeof(float)), 0)
                << static_cast<int>(path) << " " << frames;
        }
}
