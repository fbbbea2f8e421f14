// A view with a value between its minimum and maximum (0.0 and 1.0), a tag and a
// listener that hears of every change the user makes.
#pragma once

#include "gui/CView.h"

class CBitmap;
class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    // context: the frame's draw context, for an immediate update of the control.
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background = nullptr);
    ~CControl() override;

    // Stores the value; user-interface thread.
    virtual void setValue(float newValue) { value = newValue; }
    float getValue() const { return value; }
    void setMin(float minimum) { vmin = minimum; }
    float getMin() const { return vmin; }
    void setMax(float maximum) { vmax = maximum; }
    float getMax() const { return vmax; }
    void setDefaultValue(float newDefault) { defaultValue = newDefault; }
    float getDefaultValue() const { return defaultValue; }
    int32_t getTag() const { return tag; }
    void setTag(int32_t value) { tag = value; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* value) { listener = value; }

    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }
    void setBackOffset(const CPoint& offset) { backOffset = offset; }
    const CPoint& getBackOffset() const { return backOffset; }

    // Clamps the value to [minimum, maximum].
    virtual void bounceValue();

    // Dirty while the value differs from the one last drawn, or when marked.
    bool isDirty() const override;
    void setDirty(bool mark = true) override;

    // Tells the host (through the frame's editor) that a gesture on this parameter
    // starts or ends.
    void beginEdit();
    void endEdit();

protected:
    // Control-click (left button with the control key and nothing else) or a plain
    // double click restores the default value and notifies the listener; true when it
    // did.
    bool checkDefaultValue(int32_t buttons);
    // One wheel notch or arrow key per notch, as one edit: with steps (at least 2) the
    // value moves exactly that many steps, otherwise by a small fraction of the range,
    // ten times smaller when fine.
    void nudge(float notches, int32_t steps, bool fine);
    // The notches an arrow key stands for: +1 up or right, -1 down or left, 0 others.
    static float arrowNotches(const VstKeyCode& key);
    // Calls the listener with the frame's draw context.
    void notifyListener();
    // Draws the background picture at the control rectangle.
    void drawBackground(CDrawContext* context, const CPoint& offset);

    CControlListener* listener;
    int32_t tag;
    float value = 0.0f;
    float oldValue = 0.0f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float defaultValue = 0.5f;
    CBitmap* background = nullptr;
    CPoint backOffset;
};
