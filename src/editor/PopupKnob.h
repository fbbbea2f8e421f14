// The editor's knob: a strip of pictures picked by truncating the value, dragged
// linearly (200 pixels for the whole range, ten times as many with shift, right and up
// increase) while a pop-up slider and a value box show the value; snaps to the steps of
// an "S" format. The wheel and the arrow keys move a stepped knob by one step, any other
// by a small step.
#pragma once

#include "gui/CKnob.h"

class CParamDisplay;
class CSlider;

class PopupKnob : public CKnob {
public:
    // mode bit 0: horizontal strip and horizontal pop-up slider; bit 1: pop-up to the
    // right of the knob instead of below it.
    enum : int32_t { kHorizontalStrip = 1, kPopupRight = 2 };
    // The value box's background picture and size.
    static constexpr int32_t kValueBoxBitmap = 131;
    static constexpr int32_t kValueBoxWidth = 80;
    static constexpr int32_t kValueBoxHeight = 20;

    // strip: frames pictures, each frameWidth wide (high for a vertical strip).
    // popupBackgroundId, popupHandleId: resource ids of the pop-up slider's pictures.
    // format: display format, kept by pointer (it must outlive the knob).
    PopupKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t frames, int32_t frameWidth,
              CBitmap* strip, int32_t popupBackgroundId, int32_t popupHandleId, const CPoint& offset,
              const char* format, int32_t mode, double scale = 1.0);
    ~PopupKnob() override;

    // Stores the value on a step when the format has steps.
    void setValue(float value) override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, int32_t buttons) override;
    bool onWheel(const CPoint& where, float distance, int32_t buttons) override;
    int32_t onKeyDown(const VstKeyCode& key) override;
    void removed(CFrame* parent) override;

    // A switch's rule swaps the format; it takes effect at the next press or value.
    void setFormat(const char* newFormat) { format = newFormat; }
    const char* getFormat() const { return format; }
    int32_t getMode() const { return mode; }

    // Where the pop-up goes for a knob rectangle, a pop-up background of the given size
    // and the frame's rectangle: the slider's rectangle and the value box's. The knob
    // itself may move it to the other side where that covers less of the other controls.
    static void placePopup(const CRect& knob, int32_t popupWidth, int32_t popupHeight, const CRect& frameRect,
                           int32_t mode, CRect& slider, CRect& valueBox);

private:
    void dragTo(const CPoint& where, int32_t buttons);
    void openPopup();
    void closePopup();
    float dragPixels(int32_t buttons) const;

    int32_t frames;
    int32_t frameWidth;
    CBitmap* popupBackground;
    CBitmap* popupHandle;
    CBitmap* valueBackground;
    const char* format;
    int32_t mode;
    int32_t steps = 0;

    bool dragging = false;
    bool moved = false;  // a pass ran since the press
    CPoint pressPoint;
    CPoint lastPoint;
    int32_t lastButtons = 0;
    float base = 0.0f;
    float scale = 0.0f;
    CSlider* popupSlider = nullptr;
    CParamDisplay* valueBox = nullptr;
};
