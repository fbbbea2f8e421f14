#include "gui/CHorizontalSwitch.h"

#include "gui/CBitmap.h"

CHorizontalSwitch::CHorizontalSwitch(const CRect& rect, CControlListener* controlListener, int32_t controlTag,
                                     int32_t pictures, int32_t pictureHeight, int32_t positions, CBitmap* bitmap,
                                     const CPoint& offset)
    : CControl(rect, controlListener, controlTag, bitmap),
      subPixmaps(pictures),
      heightOfOneImage(pictureHeight),
      maxPositions(positions) {
    setBackOffset(offset);
}

void CHorizontalSwitch::draw(CDrawContext* context) {
    int32_t picture = subPixmaps > 1 ? static_cast<int32_t>(value * static_cast<float>(subPixmaps - 1) + 0.5f) : 0;
    drawBackground(context, CPoint(backOffset.x, backOffset.y + picture * heightOfOneImage));
    setDirty(false);
}

void CHorizontalSwitch::follow(const CPoint& where) {
    if (!background || maxPositions < 2) return;
    double width = static_cast<double>(background->getWidth()) / maxPositions;
    int32_t position = static_cast<int32_t>((where.x - size.left) / width);
    value = static_cast<float>(position) / static_cast<float>(maxPositions - 1);
    bounceValue();
    if (isDirty()) notifyListener();
}

CMouseEventResult CHorizontalSwitch::onMouseDown(CPoint& where, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    // A selector picks where it is clicked, however often: no double-click reset.
    buttons &= ~kDoubleClick;
    if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    dragging = true;
    pressButtons = buttons;
    beginEdit();
    follow(where);
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseMoved(CPoint& where, int32_t buttons) {
    if (!dragging) return kMouseEventNotHandled;
    // The switch follows the pointer while the buttons of the press stay as they were.
    if (buttons != pressButtons) return onMouseUp(where, buttons);
    follow(where);
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseUp(CPoint&, int32_t) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CHorizontalSwitch::onWheel(const CPoint&, float distance, int32_t) {
    if (!mouseEnabled || dragging) return false;
    nudge(distance, maxPositions, false);
    return true;
}
