// The live band display in the modulator group: one bar per active band of the filter
// bank (its modulator follower level) and, over them, the spectral path's envelope as a
// line on the same logarithmic frequency axis, both on a 60 dB scale. Levels fall back
// slowly (about 45 dB a second), as meters do, so short peaks stay readable.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "gui/CView.h"
#include "vocoder/VocoderBands.h"

class BandLevels;

class BandDisplay : public CView {
public:
    static constexpr int32_t kColumns = 48;  // points of the spectral line
    static constexpr float kRangeDb = 60.0f;

    BandDisplay(const CRect& size, const BandLevels* levels);

    // Takes the latest levels (called by the editor's idle at its frame rate); marks
    // the view dirty when what it shows moved.
    void refresh();
    void draw(CDrawContext* context) override;

    int32_t shownBands() const { return count; }
    // 0 (at or below -60 dB) to 1 (0 dB and above) as drawn now.
    float shownBand(int i) const { return bands[i]; }
    float shownColumn(int c) const { return columns[c]; }

private:
    const BandLevels* levels;
    int32_t count = 0;
    float bands[vocoder::kMaxBands] = {};
    float columns[kColumns] = {};
};
