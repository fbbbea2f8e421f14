// The editor's window: an X11 child of the host's window on a Display connection of
// its own. Every call runs on the host's user-interface thread; events are read only
// when the frame asks for them (in idle), so nothing arrives after the window closed.
#pragma once

#include <cstdint>
#include <memory>

#include "gui/CRect.h"
#include "gui/InputCodes.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _XDisplay Display;

struct WindowEvent {
    // FocusLost: the window lost the keyboard; MouseLeft: the pointer left the window.
    enum class Type { Paint, MouseDown, MouseMoved, MouseUp, Wheel, KeyDown, FocusLost, MouseLeft };
    Type type = Type::Paint;
    CRect area;             // Paint
    CPoint where;           // mouse and wheel
    int32_t buttons = 0;    // CButtonState after the event
    float distance = 0.0f;  // wheel notches
    VstKeyCode key;         // KeyDown
};

class X11Window {
public:
    // A mapped child window of parent, width x height editor units of scale pixels
    // each, or null when there is no display or the parent is not a window. Events
    // arrive in editor units.
    static std::unique_ptr<X11Window> open(unsigned long parent, int32_t width, int32_t height, double scale = 1.0);
    // The scale the screen asks for: its Xft.dpi over 96 to the nearest quarter, 1 to
    // 2; 1 without a display or a setting.
    static double screenScale();
    // Destroys the window and closes the connection.
    ~X11Window();

    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    unsigned long id() const { return window; }
    // The next event of this window that the frame handles; false when none is queued.
    bool nextEvent(WindowEvent& event);
    // Copies area (editor units) of the frame's back buffer onto the window.
    void present(cairo_surface_t* image, const CRect& area);
    // Asks for the keyboard while a text field is being edited.
    void takeKeyboardFocus();

private:
    X11Window(Display* display, unsigned long window, int32_t width, int32_t height, double scale);
    CPoint toUnits(int x, int y) const;
    void putPixels(cairo_surface_t* image, const CRect& area);
    bool isDoubleClick(unsigned int button, unsigned long time, int x, int y) const;

    Display* display;
    double scale;
    unsigned long window;
    cairo_surface_t* surface;  // null where the pixels go straight to the window
    struct _XGC* gc = nullptr;
    void* visual = nullptr;  // the window's Visual where gc is set
    int depth = 0;
    bool alive = true;
    // The last press, for telling a double click.
    unsigned long lastPressTime = 0;
    unsigned int lastPressButton = 0;
    int lastPressX = 0, lastPressY = 0;
};
