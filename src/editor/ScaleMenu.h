// The panel's right-click menu: the editor scales the user may choose. It closes itself
// after a choice or when the focus goes elsewhere (a click outside it).
#pragma once

#include <cstdint>
#include <functional>

#include "gui/CView.h"

class ScaleMenu : public CView {
public:
    static constexpr int32_t kItemHeight = 18;
    static constexpr int32_t kWidth = 76;

    // where: the click that opened it; the menu stays inside bounds. current: the scale
    // in percent shown as chosen. choose is called with the chosen percent.
    ScaleMenu(const CPoint& where, const CRect& bounds, int32_t current, std::function<void(int32_t)> choose);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    void looseFocus() override;

private:
    int32_t current;
    std::function<void(int32_t)> choose;
};
