#include "editor/PopupKnob.h"

#include <algorithm>

#include "editor/PopupPlacement.h"
#include "editor/ValueFormat.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CParamDisplay.h"
#include "gui/CSlider.h"

namespace {

constexpr float kDragPixels = 200.0f;

void formatWithFormat(float value, char* text, const void* format) {
    popupValueText(value, text, static_cast<const char*>(format));
}

}  // namespace

PopupKnob::PopupKnob(const CRect& rect, CControlListener* controlListener, int32_t controlTag, int32_t frameCount,
                     int32_t width, CBitmap* strip, int32_t popupBackgroundId, int32_t popupHandleId,
                     const CPoint& offset, const char* displayFormat, int32_t knobMode, double scale)
    : CKnob(rect, controlListener, controlTag, strip, nullptr, offset),
      frames(frameCount),
      frameWidth(width),
      popupBackground(new CBitmap(popupBackgroundId, scale)),
      popupHandle(new CBitmap(popupHandleId, scale)),
      valueBackground(new CBitmap(kValueBoxBitmap, scale)),
      format(displayFormat),
      mode(knobMode) {
    // Fine enough with shift to set a single unit of a display such as 0..100 %.
    setZoomFactor(10.0f);
}

PopupKnob::~PopupKnob() {
    // The pop-up views belong to the frame, which deletes them with itself.
    popupBackground->forget();
    popupHandle->forget();
    valueBackground->forget();
}

void PopupKnob::setValue(float newValue) {
    int n = stepCount(format);
    value = n > 0 ? quantise(newValue, n) : newValue;
}

void PopupKnob::draw(CDrawContext* context) {
    int32_t picture = 0;
    if (value >= 0.0f && frames > 1 && frameWidth > 0) {
        int32_t total = (frames - 1) * frameWidth;
        // Truncated, not rounded: only the maximum shows the last picture.
        int32_t p = std::min(total, static_cast<int32_t>(value * static_cast<float>(total)));
        picture = p == total ? p : frameWidth * (p / frameWidth);
    }
    CPoint offset = (mode & kHorizontalStrip) ? CPoint(picture + backOffset.x, backOffset.y)
                                              : CPoint(backOffset.x, picture + backOffset.y);
    drawBackground(context, offset);
    setDirty(false);
}

void PopupKnob::placePopup(const CRect& knob, int32_t popupWidth, int32_t popupHeight, const CRect& frameRect,
                           int32_t knobMode, CRect& slider, CRect& box) {
    int32_t left, top;
    if (knobMode & kPopupRight) {
        left = knob.right;
        top = std::max(0, (knob.top + knob.bottom - popupHeight) / 2);
        if (top + popupHeight > frameRect.height()) top = frameRect.height() - popupHeight;
    } else {
        left = std::max(0, (knob.left + knob.right - popupWidth) / 2);
        if (left + popupWidth + kValueBoxWidth > frameRect.width())
            left = frameRect.width() - popupWidth - kValueBoxWidth;
        top = knob.bottom;
    }
    slider = CRect(left, top, left + popupWidth, top + popupHeight);
    box = CRect(left + popupWidth, top, left + popupWidth + kValueBoxWidth, top + kValueBoxHeight);
}

float PopupKnob::dragPixels(int32_t buttons) const {
    return (buttons & kShift) ? kDragPixels * zoomFactor : kDragPixels;
}

CMouseEventResult PopupKnob::onMouseDown(CPoint& where, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    dragging = true;
    moved = false;
    base = value;
    // The double-click mark belongs to the press only: the moves must not see a change.
    buttons &= ~kDoubleClick;
    scale = (vmax - vmin) / dragPixels(buttons);
    pressPoint = where;
    lastButtons = buttons;
    beginEdit();
    if (frame) frame->setFocusView(this);
    steps = stepCount(format);
    openPopup();
    // The first pass runs at the press point: a stepped knob snaps at once.
    dragTo(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult PopupKnob::onMouseMoved(CPoint& where, int32_t buttons) {
    if (!dragging) return kMouseEventNotHandled;
    if (!(buttons & kLButton)) return onMouseUp(where, buttons);
    dragTo(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult PopupKnob::onMouseUp(CPoint&, int32_t) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    closePopup();
    if (frame) frame->invalidate(CRect(0, 0, frame->getViewSize().width(), frame->getViewSize().height()));
    endEdit();
    return kMouseEventHandled;
}

bool PopupKnob::onWheel(const CPoint&, float distance, int32_t buttons) {
    if (!mouseEnabled || dragging) return false;
    nudge(distance, stepCount(format), (buttons & kShift) != 0);
    return true;
}

int32_t PopupKnob::onKeyDown(const VstKeyCode& key) {
    float notches = arrowNotches(key);
    if (notches == 0.0f || dragging) return -1;
    nudge(notches, stepCount(format), (key.modifier & MODIFIER_SHIFT) != 0);
    return 1;
}

void PopupKnob::removed(CFrame* parent) {
    if (dragging) {
        dragging = false;
        closePopup();
        endEdit();
    }
    CKnob::removed(parent);
}

void PopupKnob::dragTo(const CPoint& where, int32_t buttons) {
    if (moved && where == lastPoint) return;
    moved = true;
    lastPoint = where;
    float distance = static_cast<float>((where.x - pressPoint.x) + (pressPoint.y - where.y));
    if (buttons != lastButtons) {
        // Rebase so that the value stays where it is when shift goes down or up.
        float newScale = (vmax - vmin) / dragPixels(buttons);
        base += (scale - newScale) * distance;
        scale = newScale;
        lastButtons = buttons;
    }
    value = distance * scale + base;
    bounceValue();
    if (steps != 0) value = quantise(value, steps);
    if (isDirty()) {
        notifyListener();
        if (popupSlider) popupSlider->setValue(value);
        if (valueBox) valueBox->setValue(value);
    }
}

void PopupKnob::openPopup() {
    if (!frame) return;
    CRect sliderRect, boxRect;
    placePopup(size, popupBackground->getWidth(), popupBackground->getHeight(), frame->getViewSize(), mode, sliderRect,
               boxRect);
    // The same pop-up mirrored to the knob's other side (above it, or to its left) when
    // that hides less of the neighbouring controls.
    CRect group = sliderRect.united(boxRect);
    CRect mirrored = group;
    if (mode & kPopupRight)
        mirrored.offset(size.left - group.width() - group.left, 0);
    else
        mirrored.offset(0, size.top - group.height() - group.top);
    CRect chosen = leastCovering(frame, {group, mirrored});
    sliderRect.offset(chosen.left - group.left, chosen.top - group.top);
    boxRect.offset(chosen.left - group.left, chosen.top - group.top);
    if (mode & kHorizontalStrip)
        popupSlider = new CHorizontalSlider(sliderRect, nullptr, 0, sliderRect.left,
                                            sliderRect.right - popupHandle->getWidth() - 1, popupHandle,
                                            popupBackground, CPoint(), kLeft);
    else
        popupSlider = new CVerticalSlider(sliderRect, nullptr, 0, sliderRect.top,
                                          sliderRect.bottom - popupHandle->getHeight() - 1, popupHandle,
                                          popupBackground, CPoint(), kBottom);
    popupSlider->setMouseEnabled(false);
    frame->addView(popupSlider);
    popupSlider->setValue(value);
    popupSlider->update(frame->getDrawContext());

    valueBox = new CParamDisplay(boxRect, valueBackground);
    valueBox->setFontColor(kBlackCColor);
    valueBox->setStringConvert(formatWithFormat, format);
    frame->addView(valueBox);
    valueBox->setValue(value);
    valueBox->update(frame->getDrawContext());
}

void PopupKnob::closePopup() {
    if (frame) {
        if (popupSlider) frame->removeView(popupSlider);
        if (valueBox) frame->removeView(valueBox);
    }
    popupSlider = nullptr;
    valueBox = nullptr;
}
