// A selector of positions side by side: the background holds one picture per position
// stacked vertically; a click or a drag picks position trunc((x - left) / (bitmap
// width / positions)), value position / (positions - 1).
#pragma once

#include "gui/CControl.h"

class CHorizontalSwitch : public CControl {
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                      int32_t heightOfOneImage, int32_t maxPositions, CBitmap* background,
                      const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, int32_t buttons) override;
    // One position per wheel notch.
    bool onWheel(const CPoint& where, float distance, int32_t buttons) override;

private:
    void follow(const CPoint& where);

    int32_t subPixmaps;
    int32_t heightOfOneImage;
    int32_t maxPositions;
    bool dragging = false;
    int32_t pressButtons = 0;
};
