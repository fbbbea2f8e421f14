// A rotary control: a background picture and a line handle from the centre, turned
// through 270 degrees. Dragging is linear (200 pixels for the whole range, right and
// up increase), the wheel and the arrow keys step by 0.1, with shift by 0.01.
#pragma once

#include "gui/CControl.h"

class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background, CBitmap* handle,
          const CPoint& offset = CPoint());
    ~CKnob() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, int32_t buttons) override;
    bool onWheel(const CPoint& where, float distance, int32_t buttons) override;
    int32_t onKeyDown(const VstKeyCode& key) override;

    // How much finer a drag with shift is.
    void setZoomFactor(float factor) { zoomFactor = factor; }
    float getZoomFactor() const { return zoomFactor; }
    void setColorHandle(const CColor& color) { colorHandle = color; }

protected:
    // Adds a step of the wheel or the arrow keys, clamped, and tells the listener.
    void step(float amount);

    CBitmap* handle = nullptr;
    float zoomFactor = 1.5f;
    CColor colorHandle = kWhiteCColor;

private:
    bool dragging = false;
    CPoint lastPoint;
};
