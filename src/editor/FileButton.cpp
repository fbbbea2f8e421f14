#include "editor/FileButton.h"

FileButton::FileButton(const CRect& rect, CControlListener* controlListener, int32_t controlTag, CBitmap* bitmap)
    : COnOffButton(rect, controlListener, controlTag, bitmap) {}

CMouseEventResult FileButton::onMouseDown(CPoint& where, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    pressValue = value;
    if (buttons == kLButton) {
        holding = true;
        beginEdit();
        follow(where);
        return kMouseEventHandled;
    }
    // With a modifier there is no hold: one flip, then back to 0.0.
    value = value == 0.0f ? 1.0f : 0.0f;
    notifyListener();
    value = 0.0f;
    notifyListener();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult FileButton::onMouseMoved(CPoint& where, int32_t buttons) {
    if (!holding) return kMouseEventNotHandled;
    // The hold lasts while exactly the left button is down.
    if (buttons != kLButton) {
        release();
        return kMouseEventHandled;
    }
    follow(where);
    return kMouseEventHandled;
}

CMouseEventResult FileButton::onMouseUp(CPoint&, int32_t) {
    if (!holding) return kMouseEventNotHandled;
    release();
    return kMouseEventHandled;
}

void FileButton::removed(CFrame* parent) {
    if (holding) release();
    COnOffButton::removed(parent);
}

void FileButton::follow(const CPoint& where) {
    // Edges count as inside.
    bool inside = where.x >= size.left && where.x <= size.right && where.y >= size.top && where.y <= size.bottom;
    value = inside ? (pressValue == 0.0f ? 1.0f : 0.0f) : pressValue;
    if (isDirty()) notifyListener();
}

void FileButton::release() {
    holding = false;
    endEdit();
    value = 0.0f;
    notifyListener();
}
