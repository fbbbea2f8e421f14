#include "gui/CKnob.h"

#include <cmath>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStartAngle = 1.25 * kPi;  // seven and a half o'clock, value 0
constexpr double kRangeAngle = 1.5 * kPi;   // clockwise to half past four, value 1
constexpr float kDragPixels = 200.0f;

}  // namespace

CKnob::CKnob(const CRect& rect, CControlListener* controlListener, int32_t controlTag, CBitmap* bitmap,
             CBitmap* handleBitmap, const CPoint& offset)
    : CControl(rect, controlListener, controlTag, bitmap), handle(handleBitmap) {
    if (handle) handle->remember();
    setBackOffset(offset);
}

CKnob::~CKnob() {
    if (handle) handle->forget();
}

void CKnob::draw(CDrawContext* context) {
    drawBackground(context, backOffset);
    double angle = kStartAngle - static_cast<double>(value) * kRangeAngle;
    double cx = (size.left + size.right) / 2.0;
    double cy = (size.top + size.bottom) / 2.0;
    double radius = std::min(size.width(), size.height()) / 2.0 - 3.0;
    CPoint tip(static_cast<int32_t>(std::lround(cx + radius * std::cos(angle))),
               static_cast<int32_t>(std::lround(cy - radius * std::sin(angle))));
    if (handle) {
        int32_t w = handle->getWidth(), h = handle->getHeight();
        handle->draw(context, CRect(tip.x - w / 2, tip.y - h / 2, tip.x - w / 2 + w, tip.y - h / 2 + h));
    } else {
        context->setFrameColor(colorHandle);
        context->setLineWidth(2.0);
        context->drawLine(CPoint(static_cast<int32_t>(cx), static_cast<int32_t>(cy)), tip);
    }
    setDirty(false);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    dragging = true;
    lastPoint = where;
    beginEdit();
    if (frame) frame->setFocusView(this);
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, int32_t buttons) {
    if (!dragging) return kMouseEventNotHandled;
    if (!(buttons & kLButton)) return onMouseUp(where, buttons);
    float pixels = (buttons & kShift) ? kDragPixels * zoomFactor : kDragPixels;
    int32_t moved = (where.x - lastPoint.x) + (lastPoint.y - where.y);
    lastPoint = where;
    value += static_cast<float>(moved) * (vmax - vmin) / pixels;
    bounceValue();
    if (isDirty()) notifyListener();
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, int32_t) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint&, float distance, int32_t buttons) {
    if (!mouseEnabled) return false;
    step(distance * ((buttons & kShift) ? 0.01f : 0.1f));
    return true;
}

int32_t CKnob::onKeyDown(const VstKeyCode& key) {
    float amount = (key.modifier & MODIFIER_SHIFT) ? 0.01f : 0.1f;
    switch (key.virt) {
        case VKEY_UP:
        case VKEY_RIGHT:
            step(amount);
            return 1;
        case VKEY_DOWN:
        case VKEY_LEFT:
            step(-amount);
            return 1;
        default:
            return -1;
    }
}

void CKnob::step(float amount) {
    beginEdit();
    value += amount;
    bounceValue();
    if (isDirty()) notifyListener();
    endEdit();
}
