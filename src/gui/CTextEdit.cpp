#include "gui/CTextEdit.h"

#include "gui/CFrame.h"

CTextEdit::CTextEdit(const CRect& rect, CControlListener* controlListener, int32_t controlTag, const char* initial,
                     CBitmap* bitmap)
    : CParamDisplay(rect, bitmap) {
    setListener(controlListener);
    setTag(controlTag);
    setMouseEnabled(true);
    setText(initial);
}

void CTextEdit::setText(const char* newText) {
    text.assign(newText ? newText : "");
    if (text.size() > kMaxLength) text.resize(kMaxLength);
    setDirty(true);
}

void CTextEdit::draw(CDrawContext* context) {
    drawText(context, editing ? (editText + "|").c_str() : text.c_str());
    setDirty(false);
}

CMouseEventResult CTextEdit::onMouseDown(CPoint&, int32_t buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return kMouseEventNotHandled;
    if (frame) frame->setFocusView(this);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::takeFocus() {
    editing = true;
    editText = text;
    setDirty(true);
}

void CTextEdit::looseFocus() {
    if (editing) finish(acceptOnFocusLoss);
}

int32_t CTextEdit::onKeyDown(const VstKeyCode& key) {
    if (!editing) return -1;
    switch (key.virt) {
        case VKEY_RETURN:
        case VKEY_ENTER:
            finish(true);
            break;
        case VKEY_ESCAPE:
            finish(false);
            break;
        case VKEY_BACK:
            if (!editText.empty()) editText.pop_back();
            break;
        case 0:
            if (key.character < 32 || key.character > 255 || key.character == 127) return -1;
            if (editText.size() < kMaxLength) editText += static_cast<char>(key.character);
            break;
        default:
            return -1;
    }
    setDirty(true);
    return 1;
}

void CTextEdit::finish(bool accept) {
    editing = false;
    setDirty(true);
    if (frame && frame->getFocusView() == this) frame->setFocusView(nullptr);
    if (!accept || editText == text) return;
    text = editText;
    notifyListener();
}
