// The editor's top view: owns the controls, draws them into an offscreen back buffer
// and, when it has a parent window, shows that buffer in an X11 child window whose
// events it handles in idle. Without a window everything but the showing still works,
// which is how the tests drive views. User-interface thread only.
#pragma once

#include <memory>
#include <vector>

#include "gui/CView.h"

class AEffGUIEditor;
class CBitmap;
class X11Window;
typedef struct _cairo_surface cairo_surface_t;

class CFrame : public CView {
public:
    // systemWindow: the host's X11 window id, or null for an offscreen frame. size is
    // in editor units; the back buffer and the window have scale pixels per unit.
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor, double scale = 1.0);
    ~CFrame() override;

    AEffGUIEditor* getEditor() const { return editor; }
    bool isWindowOpen() const { return window != nullptr; }
    // The X11 id of the frame's own window, 0 without one.
    unsigned long getSystemWindow() const;

    double getScale() const { return scale; }
    CDrawContext* getDrawContext() const { return context.get(); }
    cairo_surface_t* getBackBuffer() const { return backBuffer; }

    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

    // The frame owns added views: it deletes them when they are removed with forget
    // and when it is destroyed. Views draw in the order they were added.
    bool addView(CView* view);
    bool removeView(CView* view, bool withForget = true);
    bool isChild(const CView* view) const;
    int32_t getNbViews() const { return static_cast<int32_t>(views.size()); }
    CView* getView(int32_t index) const;

    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }
    // A view that takes the focus (a text field being edited, a control after a click)
    // gets the window's keyboard with it.
    void takeKeyboardFocus();

    void draw(CDrawContext* context) override;
    // Redraws the area: background, then every view that touches it, clipped.
    void drawRect(CDrawContext* context, const CRect& area);
    // The area is redrawn at the next redraw pass.
    void invalidate(const CRect& area);
    // Redraws the invalid area and the dirty views, then shows what changed.
    void redrawDirty();

    // Events, as the window delivers them or a test sends them; each is followed by a
    // redraw pass, as the user sees it.
    CMouseEventResult onMouseDown(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, int32_t buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, int32_t buttons) override;
    bool onWheel(const CPoint& where, float distance, int32_t buttons) override;
    int32_t onKeyDown(const VstKeyCode& key) override;

    // The window lost the keyboard: the focus view lets go (a text field ends its edit).
    void onFocusOut();
    // The view under a pointer that rests without a button, or null; how long it rests
    // is the editor's business (hover pop-ups).
    CView* getHoverView() const { return hoverView; }
    void setHoverPoint(const CPoint& where);
    const CPoint& getHoverPoint() const { return lastMouse; }

    // Handles the window's queued events and redraws what became dirty.
    void idle();
    // Ends a press in progress as a release would (edits end, pop-ups close).
    void endGesture();

private:
    CView* viewAt(const CPoint& where) const;

    AEffGUIEditor* editor;
    std::vector<CView*> views;
    CView* mouseView = nullptr;  // receives moves and the release after a press
    CView* focusView = nullptr;
    CView* hoverView = nullptr;
    CBitmap* background = nullptr;
    double scale;
    cairo_surface_t* backBuffer;
    std::unique_ptr<CDrawContext> context;
    std::unique_ptr<X11Window> window;
    CRect invalidArea;
    CRect damage;  // drawn but not yet shown in the window
    CPoint lastMouse;
};
