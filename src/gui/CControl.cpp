#include "gui/CControl.h"

#include <algorithm>
#include <cmath>

#include "gui/AEffGUIEditor.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"

CControl::CControl(const CRect& rect, CControlListener* controlListener, int32_t controlTag, CBitmap* bitmap)
    : CView(rect), listener(controlListener), tag(controlTag) {
    setBackground(bitmap);
}

CControl::~CControl() {
    if (background) background->forget();
}

void CControl::setBackground(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    setDirty(true);
}

void CControl::bounceValue() {
    if (value > vmax)
        value = vmax;
    else if (value < vmin)
        value = vmin;
}

bool CControl::isDirty() const { return dirty || value != oldValue; }

void CControl::setDirty(bool mark) {
    dirty = mark;
    if (!mark) oldValue = value;
}

void CControl::beginEdit() {
    if (frame && frame->getEditor()) frame->getEditor()->beginEdit(tag);
}

void CControl::endEdit() {
    if (frame && frame->getEditor()) frame->getEditor()->endEdit(tag);
}

bool CControl::checkDefaultValue(int32_t buttons) {
    if (buttons != (kLButton | kControl) && buttons != (kLButton | kDoubleClick)) return false;
    beginEdit();
    value = defaultValue;
    if (isDirty()) notifyListener();
    endEdit();
    return true;
}

void CControl::notifyListener() {
    if (listener) listener->valueChanged(frame ? frame->getDrawContext() : nullptr, this);
}

void CControl::drawBackground(CDrawContext* context, const CPoint& offset) {
    if (background) background->draw(context, size, offset);
}

void CControl::nudge(float notches, int32_t steps, bool fine) {
    if (notches == 0.0f) return;
    beginEdit();
    if (steps >= 2) {
        float last = static_cast<float>(steps - 1);
        float position = std::round((value - vmin) / (vmax - vmin) * last);
        float moved = std::clamp(position + (notches > 0.0f ? std::ceil(notches) : std::floor(notches)), 0.0f, last);
        value = vmin + moved / last * (vmax - vmin);
    } else {
        value += notches * (vmax - vmin) * (fine ? 0.001f : 0.01f);
    }
    bounceValue();
    if (isDirty()) notifyListener();
    endEdit();
}

float CControl::arrowNotches(const VstKeyCode& key) {
    switch (key.virt) {
        case VKEY_UP:
        case VKEY_RIGHT:
            return 1.0f;
        case VKEY_DOWN:
        case VKEY_LEFT:
            return -1.0f;
        default:
            return 0.0f;
    }
}
