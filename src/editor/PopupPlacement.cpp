#include "editor/PopupPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "gui/CFrame.h"

namespace {

CRect inside(CRect r, const CRect& bounds) {
    int32_t dx = std::max(bounds.left - r.left, std::min(0, bounds.right - r.right));
    int32_t dy = std::max(bounds.top - r.top, std::min(0, bounds.bottom - r.bottom));
    return r.offset(dx, dy);
}

int64_t covered(const CFrame* frame, const CRect& r) {
    int64_t area = 0;
    for (int32_t i = 0; i < frame->getNbViews(); ++i) {
        const CView* view = frame->getView(i);
        if (!view->getMouseEnabled()) continue;
        CRect shared = r.intersected(view->getViewSize());
        area += int64_t{shared.width()} * shared.height();
    }
    return area;
}

}  // namespace

CRect leastCovering(const CFrame* frame, std::initializer_list<CRect> candidates) {
    CRect bounds(0, 0, frame->getViewSize().width(), frame->getViewSize().height());
    CRect best;
    int64_t bestArea = std::numeric_limits<int64_t>::max();
    for (const CRect& candidate : candidates) {
        CRect placed = inside(candidate, bounds);
        int64_t area = covered(frame, placed);
        if (area < bestArea) {
            best = placed;
            bestArea = area;
        }
    }
    return best;
}
