// Base of everything a frame shows: a rectangle that draws itself through a draw
// context and may take mouse, wheel and key events. All operations run on the host's
// user-interface thread.
#pragma once

#include <cstdint>

#include "gui/CRect.h"
#include "gui/InputCodes.h"

class CDrawContext;
class CFrame;

class CView {
public:
    explicit CView(const CRect& size);
    virtual ~CView() = default;

    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    // Draws the view and marks it clean.
    virtual void draw(CDrawContext* context);
    // Redraws the view at once when it is dirty.
    void update(CDrawContext* context);

    // Mouse positions are frame pixels; buttons is a CButtonState combination.
    virtual CMouseEventResult onMouseDown(CPoint& where, int32_t buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, int32_t buttons);
    // distance: wheel notches, positive away from the user. True when used.
    virtual bool onWheel(const CPoint& where, float distance, int32_t buttons);
    // 1 when the key was used, -1 otherwise.
    virtual int32_t onKeyDown(const VstKeyCode& key);
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    virtual bool isDirty() const { return dirty; }
    virtual void setDirty(bool mark = true) { dirty = mark; }

    const CRect& getViewSize() const { return size; }
    bool hitTest(const CPoint& where) const { return size.pointInside(where); }
    void setMouseEnabled(bool enabled) { mouseEnabled = enabled; }
    bool getMouseEnabled() const { return mouseEnabled; }

    CFrame* getFrame() const { return frame; }
    // Called by the frame when the view joins it and when it leaves it.
    virtual void attached(CFrame* parent) { frame = parent; }
    virtual void removed(CFrame* parent);

protected:
    CRect size;
    CFrame* frame = nullptr;
    bool dirty = true;
    bool mouseEnabled = true;
};
