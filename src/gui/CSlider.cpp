#include "gui/CSlider.h"

#include "gui/CBitmap.h"

CSlider::CSlider(const CRect& rect, CControlListener* controlListener, int32_t controlTag, int32_t minimumPos,
                 int32_t maximumPos, CBitmap* handleBitmap, CBitmap* bitmap, const CPoint& offset, int32_t sliderStyle)
    : CControl(rect, controlListener, controlTag, bitmap),
      handle(handleBitmap),
      minPos(minimumPos),
      rangeHandle(maximumPos - minimumPos),
      style(sliderStyle) {
    if (handle) handle->remember();
    setBackOffset(offset);
}

CSlider::~CSlider() {
    if (handle) handle->forget();
}

CRect CSlider::handleRect() const {
    float v = value;
    // Drawing positions count from the left or top.
    if (style & (kRight | kBottom)) v = 1.0f - v;
    int32_t w = handle ? handle->getWidth() : 0;
    int32_t h = handle ? handle->getHeight() : 0;
    int32_t position = minPos + static_cast<int32_t>(v * static_cast<float>(rangeHandle));
    if (horizontal()) return CRect(position, size.top, position + w, size.top + h);
    return CRect(size.left, position, size.left + w, position + h);
}

void CSlider::draw(CDrawContext* context) {
    drawBackground(context, backOffset);
    if (handle) handle->draw(context, handleRect());
    setDirty(false);
}

float CSlider::pointerValue(const CPoint& where) const {
    // The handle's centre goes under the pointer.
    int32_t extent = handle ? (horizontal() ? handle->getWidth() : handle->getHeight()) : 0;
    int32_t delta = minPos + extent / 2 - 1;
    int32_t position = horizontal() ? where.x : where.y;
    float v = rangeHandle != 0 ? static_cast<float>(position - delta) / static_cast<float>(rangeHandle) : 0.0f;
    if (style & (kRight | kBottom)) v = 1.0f - v;
    return v;
}

void CSlider::follow(const CPoint& where, int32_t buttons) {
    float pointer = pointerValue(where);
    bool shift = (buttons & kShift) != 0;
    if (shift && !zoomed) {
        zoomValue = value;
        zoomPointer = pointer;
    }
    zoomed = shift;
    value = shift ? zoomValue + (pointer - zoomPointer) / zoomFactor : pointer;
    bounceValue();
    if (isDirty()) notifyListener();
}

CMouseEventResult CSlider::onMouseDown(CPoint& where, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (!freeClick && !handleRect().pointInside(where)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    dragging = true;
    zoomed = false;
    beginEdit();
    follow(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CSlider::onMouseMoved(CPoint& where, int32_t buttons) {
    if (!dragging) return kMouseEventNotHandled;
    if (!(buttons & kLButton)) return onMouseUp(where, buttons);
    follow(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CSlider::onMouseUp(CPoint&, int32_t) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}
