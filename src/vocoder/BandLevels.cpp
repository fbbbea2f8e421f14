#include "vocoder/BandLevels.h"

#include <algorithm>

#include "vocoder/VocoderFilterBank.h"

void BandLevels::publish(const VocoderFilterBank& bank, int32_t bandCount, const VocoderSpectral& spectral) {
    bandCount = std::clamp(bandCount, 0, vocoder::kMaxBands);
    for (int i = 0; i < bandCount; ++i) bands[i].store(bank.envelope(i), std::memory_order_relaxed);
    for (int k = 0; k < kBins; ++k) bins[k].store(spectral.binEnvelope(k), std::memory_order_relaxed);
    count.store(bandCount, std::memory_order_relaxed);
}
