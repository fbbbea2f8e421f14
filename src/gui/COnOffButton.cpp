#include "gui/COnOffButton.h"

#include "gui/CBitmap.h"

COnOffButton::COnOffButton(const CRect& rect, CControlListener* controlListener, int32_t controlTag, CBitmap* bitmap)
    : CControl(rect, controlListener, controlTag, bitmap) {}

void COnOffButton::draw(CDrawContext* context) {
    int32_t offset = (value != 0.0f && background) ? background->getHeight() / 2 : 0;
    drawBackground(context, CPoint(0, offset));
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    value = static_cast<int32_t>(value) != 0 ? 0.0f : 1.0f;
    beginEdit();
    notifyListener();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}
