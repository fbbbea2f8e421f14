// A text field: shows its text and, after a click, takes typed characters until
// Return or Enter accepts them, which tells the listener; Escape restores the text. A
// click elsewhere or the window losing the keyboard accepts too, or restores when the
// field is set so. Keys come from the frame's window or through the host.
#pragma once

#include <string>

#include "gui/CParamDisplay.h"

class CTextEdit : public CParamDisplay {
public:
    static constexpr size_t kMaxLength = 255;

    CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* text = nullptr,
              CBitmap* background = nullptr);

    // Longer texts are cut at kMaxLength characters.
    void setText(const char* text);
    const char* getText() const { return text.c_str(); }
    bool isEditing() const { return editing; }
    // Whether losing the focus accepts the typed text (the default) or restores it.
    void setAcceptOnFocusLoss(bool accept) { acceptOnFocusLoss = accept; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    int32_t onKeyDown(const VstKeyCode& key) override;
    void takeFocus() override;
    void looseFocus() override;

private:
    void finish(bool accept);

    std::string text;
    std::string editText;
    bool editing = false;
    bool acceptOnFocusLoss = true;
};
