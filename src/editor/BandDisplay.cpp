#include "editor/BandDisplay.h"

#include <algorithm>
#include <cmath>

#include "gui/CDrawContext.h"
#include "vocoder/BandLevels.h"

namespace {

constexpr CColor kDisplayColour{15, 18, 21, 255};
constexpr CColor kEdgeColour{74, 80, 90, 255};
constexpr CColor kGridColour{40, 45, 52, 255};
constexpr CColor kBandColour{79, 200, 240, 255};
constexpr CColor kEnvelopeColour{255, 179, 71, 255};
// Each refresh at 30 frames a second lets a level fall by 1.5 dB.
constexpr float kFall = 1.5f / BandDisplay::kRangeDb;
// The band-pass followers of speech sit about 20 dB below the per-bin followers of the
// same speech: lifted by that much, bars and line share one scale.
constexpr float kBandScale = 10.0f;

float shown(float level) {
    if (!(level > 0.0f)) return 0.0f;
    float db = 20.0f * std::log10(level);
    return std::clamp(1.0f + db / BandDisplay::kRangeDb, 0.0f, 1.0f);
}

// Rises at once, falls at the meter's pace; true when the value moved.
bool follow(float& value, float target) {
    float next = target >= value ? target : std::max(target, value - kFall);
    bool moved = next != value;
    value = next;
    return moved;
}

}  // namespace

BandDisplay::BandDisplay(const CRect& rect, const BandLevels* bandLevels) : CView(rect), levels(bandLevels) {
    setMouseEnabled(false);
}

void BandDisplay::refresh() {
    if (!levels) return;
    bool moved = false;
    int32_t n = std::clamp(levels->bandCount(), 0, vocoder::kMaxBands);
    if (n != count) {
        count = n;
        moved = true;
    }
    for (int i = 0; i < count; ++i) moved |= follow(bands[i], shown(levels->band(i) * kBandScale));
    // Columns share the bins from bin 1 (about 86 Hz at 44.1 kHz) to 256 on a
    // logarithmic axis, each showing its loudest bin.
    const float lastBin = static_cast<float>(BandLevels::kBins - 1);
    for (int c = 0; c < kColumns; ++c) {
        int from = static_cast<int>(std::pow(lastBin, static_cast<float>(c) / kColumns));
        int to = std::max(from + 1, static_cast<int>(std::pow(lastBin, static_cast<float>(c + 1) / kColumns)));
        float loudest = 0.0f;
        for (int k = from; k < to && k < BandLevels::kBins; ++k) loudest = std::max(loudest, levels->bin(k));
        moved |= follow(columns[c], shown(loudest));
    }
    if (moved) setDirty(true);
}

void BandDisplay::draw(CDrawContext* context) {
    context->setFillColor(kDisplayColour);
    context->fillRect(size);
    context->setFrameColor(kEdgeColour);
    context->frameRect(size);
    const float left = size.left + 3.0f, top = size.top + 3.0f;
    const float width = size.width() - 6.0f, height = size.height() - 6.0f;
    // A line every 20 dB.
    context->setFrameColor(kGridColour);
    context->setLineWidth(1.0);
    for (int i = 1; i < 3; ++i) {
        float y = top + height * i / 3.0f;
        float xs[2] = {left, left + width}, ys[2] = {y, y};
        context->drawPolyline(xs, ys, 2);
    }
    if (count > 0) {
        float slot = width / count;
        context->setFillColor(kBandColour);
        for (int i = 0; i < count; ++i) {
            float h = bands[i] * height;
            if (h < 0.5f) continue;
            int32_t x0 = static_cast<int32_t>(std::lround(left + slot * i + 1.0f));
            int32_t x1 = std::max(x0 + 1, static_cast<int32_t>(std::lround(left + slot * (i + 1) - 1.0f)));
            int32_t y0 = static_cast<int32_t>(std::lround(top + height - h));
            context->fillRect(CRect(x0, y0, x1, static_cast<int32_t>(top + height)));
        }
    }
    float xs[kColumns], ys[kColumns];
    for (int c = 0; c < kColumns; ++c) {
        xs[c] = left + width * (c + 0.5f) / kColumns;
        ys[c] = top + height * (1.0f - columns[c]);
    }
    context->setFrameColor(kEnvelopeColour);
    context->setLineWidth(1.5);
    context->drawPolyline(xs, ys, kColumns);
    setDirty(false);
}
