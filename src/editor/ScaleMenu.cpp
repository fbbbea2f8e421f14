#include "editor/ScaleMenu.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "editor/EditorSettings.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace {

constexpr int32_t kItems = static_cast<int32_t>(std::size(editorsettings::kMenuScales));
constexpr CColor kMenuColour{24, 26, 30, 240};
constexpr CColor kEdgeColour{110, 116, 126, 255};
constexpr CColor kTextColour{220, 224, 230, 255};
constexpr CColor kChosenColour{255, 179, 71, 255};

CRect menuRect(const CPoint& where, const CRect& bounds) {
    int32_t height = kItems * ScaleMenu::kItemHeight + 4;
    int32_t left = std::clamp(where.x, bounds.left, std::max(bounds.left, bounds.right - ScaleMenu::kWidth));
    int32_t top = std::clamp(where.y, bounds.top, std::max(bounds.top, bounds.bottom - height));
    return CRect(left, top, left + ScaleMenu::kWidth, top + height);
}

}  // namespace

ScaleMenu::ScaleMenu(const CPoint& where, const CRect& bounds, int32_t currentPercent,
                     std::function<void(int32_t)> onChoose)
    : CView(menuRect(where, bounds)), current(currentPercent), choose(std::move(onChoose)) {}

void ScaleMenu::draw(CDrawContext* context) {
    context->setFillColor(kMenuColour);
    context->fillRect(size);
    context->setFrameColor(kEdgeColour);
    context->frameRect(size);
    for (int32_t i = 0; i < kItems; ++i) {
        int32_t percent = editorsettings::kMenuScales[i];
        CRect line(size.left + 4, size.top + 2 + i * kItemHeight, size.right - 4, size.top + 2 + (i + 1) * kItemHeight);
        context->setFontColor(percent == current ? kChosenColour : kTextColour);
        std::string label = (percent == current ? "\u2713 " : "   ") + std::to_string(percent) + " %";
        context->drawString(label.c_str(), line, kLeftText);
    }
    setDirty(false);
}

CMouseEventResult ScaleMenu::onMouseDown(CPoint& where, int32_t) {
    int32_t item = (where.y - size.top - 2) / kItemHeight;
    auto chosen = choose;
    CFrame* parent = frame;
    // The menu leaves the frame (and is deleted) before the choice rebuilds anything.
    if (parent) parent->removeView(this);
    if (item >= 0 && item < kItems && chosen) chosen(editorsettings::kMenuScales[item]);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void ScaleMenu::looseFocus() {
    if (frame) frame->removeView(this);
}
