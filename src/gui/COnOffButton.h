// A two-state button: the background holds the off picture above the on picture. A
// left click switches a value below 1.0 to 1.0 and 1.0 to 0.0, control key or not.
// Pictures blend with their alpha over what lies beneath.
#pragma once

#include "gui/CControl.h"

class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);

    // The lower picture while the value is not 0.
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
};
