// Sliders: a background picture and a handle picture that moves between two pixel
// positions. A click puts the handle's centre under the pointer (free click) and the
// drag follows it; with shift the movement is zoomFactor times finer; control-click
// restores the default value.
#pragma once

#include "gui/CControl.h"

enum CSliderStyle : int32_t {
    kLeft = 1 << 0,    // horizontal: value 0 at the left
    kRight = 1 << 1,   // horizontal: value 0 at the right
    kTop = 1 << 2,     // vertical: value 0 at the top
    kBottom = 1 << 3,  // vertical: value 0 at the bottom
    kHorizontal = 1 << 4,
    kVertical = 1 << 5,
};

class CSlider : public CControl {
public:
    // minPos, maxPos: frame pixels of the handle's left (top) edge at the two ends.
    CSlider(const CRect& size, CControlListener* listener, int32_t tag, int32_t minPos, int32_t maxPos, CBitmap* handle,
            CBitmap* background, const CPoint& offset, int32_t style);
    ~CSlider() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, int32_t buttons) override;

    void setZoomFactor(float factor) { zoomFactor = factor; }
    float getZoomFactor() const { return zoomFactor; }
    // Without free click a press away from the handle does nothing.
    void setFreeClick(bool on) { freeClick = on; }
    bool getFreeClick() const { return freeClick; }
    // The handle's rectangle for the current value.
    CRect handleRect() const;

private:
    bool horizontal() const { return (style & kHorizontal) != 0; }
    // Value under the pointer, before the shift zoom.
    float pointerValue(const CPoint& where) const;
    void follow(const CPoint& where, int32_t buttons);

    CBitmap* handle;
    int32_t minPos;
    int32_t rangeHandle;
    int32_t style;
    float zoomFactor = 10.0f;
    bool freeClick = true;
    bool dragging = false;
    bool zoomed = false;
    float zoomValue = 0.0f;    // value when shift went down
    float zoomPointer = 0.0f;  // pointer value when shift went down
};

class CVerticalSlider : public CSlider {
public:
    CVerticalSlider(const CRect& size, CControlListener* listener, int32_t tag, int32_t minPos, int32_t maxPos,
                    CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(), int32_t style = kBottom)
        : CSlider(size, listener, tag, minPos, maxPos, handle, background, offset, style | kVertical) {}
};

class CHorizontalSlider : public CSlider {
public:
    CHorizontalSlider(const CRect& size, CControlListener* listener, int32_t tag, int32_t minPos, int32_t maxPos,
                      CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(), int32_t style = kLeft)
        : CSlider(size, listener, tag, minPos, maxPos, handle, background, offset, style | kHorizontal) {}
};
