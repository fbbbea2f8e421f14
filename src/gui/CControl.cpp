#include "gui/CControl.h"

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
    if (buttons != (kLButton | kControl)) return false;
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
