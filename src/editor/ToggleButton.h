// The editor's on/off switch: two pictures stacked vertically (off above on); a left
// click turns any value below 1.0 on and 1.0 off, then tells the listener.
#pragma once

#include "gui/COnOffButton.h"

class ToggleButton : public COnOffButton {
public:
    ToggleButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* bitmap)
        : COnOffButton(size, listener, tag, bitmap) {}
};
