// The editor's momentary button that asks for a file: pressed it reports 1.0 while the
// pointer is over it, and it always ends with 0.0, so a click reports 1.0 then 0.0.
#pragma once

#include "gui/COnOffButton.h"

class FileButton : public COnOffButton {
public:
    FileButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* bitmap);

    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, int32_t buttons) override;
    void removed(CFrame* parent) override;

private:
    void follow(const CPoint& where);
    void release();

    bool holding = false;
    float pressValue = 0.0f;
};
