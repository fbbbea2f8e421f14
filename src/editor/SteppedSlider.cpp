#include "editor/SteppedSlider.h"

#include "editor/ValueFormat.h"

SteppedSlider::SteppedSlider(const CRect& rect, CControlListener* controlListener, int32_t controlTag,
                             int32_t minPos, int32_t maxPos, CBitmap* handle, CBitmap* bitmap, const CPoint& offset,
                             int32_t style, const char* format)
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
