#include "editor/SteppedSlider.h"

#include "editor/ValueFormat.h"
#include "gui/CFrame.h"

SteppedSlider::SteppedSlider(const CRect& rect, CControlListener* controlListener, int32_t controlTag, int32_t minPos,
                             int32_t maxPos, CBitmap* handle, CBitmap* bitmap, const CPoint& offset, int32_t style,
                             const char* format)
    : CVerticalSlider(rect, controlListener, controlTag, minPos, maxPos, handle, bitmap, offset, style),
      steps(stepCount(format)) {
    setZoomFactor(10.0f);
    setFreeClick(true);
}

void SteppedSlider::setValue(float newValue) { value = steps > 0 ? quantise(newValue, steps) : newValue; }

void SteppedSlider::bounceValue() {
    CVerticalSlider::bounceValue();
    if (steps > 0) value = quantise(value, steps);
}

bool SteppedSlider::onWheel(const CPoint&, float distance, int32_t buttons) {
    if (!mouseEnabled) return false;
    nudge(distance, steps, (buttons & kShift) != 0);
    return true;
}

int32_t SteppedSlider::onKeyDown(const VstKeyCode& key) {
    float notches = arrowNotches(key);
    if (notches == 0.0f) return -1;
    nudge(notches, steps, (key.modifier & MODIFIER_SHIFT) != 0);
    return 1;
}

CMouseEventResult SteppedSlider::onMouseDown(CPoint& where, int32_t buttons) {
    CMouseEventResult result = CVerticalSlider::onMouseDown(where, buttons);
    // After a click the arrow keys move the slider.
    if (result != kMouseEventNotHandled && frame) frame->setFocusView(this);
    return result;
}
