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
    enum class Type { Paint, MouseDown, MouseMoved, MouseUp, Wheel, KeyDown };
    Type type = Type::Paint;
    CRect area;       // Paint
    CPoint where;     // mouse and wheel
    int32_t buttons = 0;  // CButtonState after the event
    float distance = 0.0f;  // wheel notches
    VstKeyCode key;   // KeyDown
};

class X11Window {
public:
    // A mapped child window of parent, or null when there is no display or the parent
    // is not a window.
    static std::unique_ptr<X11Window> open(unsigned long parent, int32_t width, int32_t height);
    // Destroys the window and closes the connection.
    ~X11Window();

    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    unsigned long id() const { return window; }
    // The next event of this window that the frame handles; false when none is queued.
    bool nextEvent(WindowEvent& event);
    // Copies area of the frame's back buffer onto the window.
    void present(cairo_surface_t* image, const CRect& area);
    // Asks for the keyboard while a text field is being edited.
    void takeKeyboardFocus();

private:
    X11Window(Display* display, unsigned long window, int32_t width, int32_t height);

    Display* display;
    unsigned long window;
    cairo_surface_t* surface;
    bool alive = true;
};
