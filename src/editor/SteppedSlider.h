// The editor's vertical slider: the toolkit slider (free click, ten times finer with
// shift) whose values, set or dragged, snap to the steps of an "S" format.
#pragma once

#include "gui/CSlider.h"

class SteppedSlider : public CVerticalSlider {
public:
    // format is read once, here.
    SteppedSlider(const CRect& size, CControlListener* listener, int32_t tag, int32_t minPos, int32_t maxPos,
                  CBitmap* handle, CBitmap* background, const CPoint& offset, int32_t style, const char* format);

    void setValue(float value) override;
    // Clamps, then snaps: every value the drag reports lies on a step.
    void bounceValue() override;
    // One step per wheel notch or arrow key (a small step without steps).
    bool onWheel(const CPoint& where, float distance, int32_t buttons) override;
    int32_t onKeyDown(const VstKeyCode& key) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;

    int getSteps() const { return steps; }

private:
    int steps;
};
