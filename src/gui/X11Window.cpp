#include "gui/X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Xlib reports errors through one process-wide handler, which by default ends the
// process. The calls that can fail for reasons outside our control (a parent window
// that is not one, a parent the host destroyed before closing the editor) run inside
// this trap; the host's own handler is restored right after.
bool trappedError = false;

int trapError(Display*, XErrorEvent*) {
    trappedError = true;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : display(d) {
        trappedError = false;
        previous = XSetErrorHandler(trapError);
    }
    // Waits for the server's answer to everything sent so far; true when it failed.
    bool failed() {
        XSync(display, False);
        return trappedError;
    }
    ~ErrorTrap() {
        XSync(display, False);
        XSetErrorHandler(previous);
    }

private:
    Display* display;
    int (*previous)(Display*, XErrorEvent*);
};

int32_t buttonState(unsigned int state) {
    int32_t buttons = 0;
    if (state & Button1Mask) buttons |= kLButton;
    if (state & Button2Mask) buttons |= kMButton;
    if (state & Button3Mask) buttons |= kRButton;
    if (state & ShiftMask) buttons |= kShift;
    if (state & ControlMask) buttons |= kControl;
    if (state & Mod1Mask) buttons |= kAlt;
    return buttons;
}

int32_t buttonFlag(unsigned int button) {
    switch (button) {
        case Button1:
            return kLButton;
        case Button2:
            return kMButton;
        case Button3:
            return kRButton;
        default:
            return 0;
    }
}

uint8_t virtualKey(KeySym sym) {
    switch (sym) {
        case XK_BackSpace:
            return VKEY_BACK;
        case XK_Tab:
            return VKEY_TAB;
        case XK_Return:
            return VKEY_RETURN;
        case XK_KP_Enter:
            return VKEY_ENTER;
        case XK_Escape:
            return VKEY_ESCAPE;
        case XK_Left:
            return VKEY_LEFT;
        case XK_Up:
            return VKEY_UP;
        case XK_Right:
            return VKEY_RIGHT;
        case XK_Down:
            return VKEY_DOWN;
        case XK_Home:
            return VKEY_HOME;
        case XK_End:
            return VKEY_END;
        case XK_Page_Up:
            return VKEY_PAGEUP;
        case XK_Page_Down:
            return VKEY_PAGEDOWN;
        case XK_Delete:
            return VKEY_DELETE;
        default:
            return 0;
    }
}

// Whether the back buffer's pixels can go to a window of this visual as they are.
bool pixelsMatchVisual(Display* d, const Visual* v, int windowDepth) {
    // They are 32-bit words 0xAARRGGBB in the machine's byte order: a true-colour
    // visual with those masks on a server of the same byte order takes them.
    const int order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    return v && v->c_class == TrueColor && (windowDepth == 24 || windowDepth == 32) && v->red_mask == 0xFF0000 &&
           v->green_mask == 0xFF00 && v->blue_mask == 0xFF && ImageByteOrder(d) == order;
}

}  // namespace

double X11Window::screenScale() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1.0;
    double dpi = 0.0;
    if (const char* resources = XResourceManagerString(display)) {
        XrmInitialize();
        if (XrmDatabase database = XrmGetStringDatabase(resources)) {
            char* type = nullptr;
            XrmValue value;
            if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
                dpi = std::strtod(value.addr, nullptr);
            XrmDestroyDatabase(database);
        }
    }
    XCloseDisplay(display);
    if (!(dpi > 0.0)) return 1.0;
    return std::clamp(std::round(dpi / 96.0 * 4.0) / 4.0, 1.0, 2.0);
}

std::unique_ptr<X11Window> X11Window::open(unsigned long parent, int32_t width, int32_t height, double scale) {
    if (parent == 0 || width <= 0 || height <= 0 || !(scale > 0.0)) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    Window window = 0;
    const int pixelWidth = static_cast<int>(std::ceil(width * scale));
    const int pixelHeight = static_cast<int>(std::ceil(height * scale));
    {
        ErrorTrap trap(display);
        window = XCreateSimpleWindow(display, parent, 0, 0, static_cast<unsigned>(pixelWidth),
                                     static_cast<unsigned>(pixelHeight), 0, 0, 0);
        if (trap.failed()) window = 0;
    }
    if (window == 0) {
        XCloseDisplay(display);
        return nullptr;
    }
    // The back buffer repaints every exposed area: no background clearing in between.
    XSetWindowBackgroundPixmap(display, window, None);
    XSelectInput(display, window,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                     StructureNotifyMask | FocusChangeMask | EnterWindowMask | LeaveWindowMask);
    XMapWindow(display, window);
    XFlush(display);
    return std::unique_ptr<X11Window>(new X11Window(display, window, pixelWidth, pixelHeight, scale));
}

X11Window::X11Window(Display* d, unsigned long w, int32_t width, int32_t height, double windowScale)
    : display(d), scale(windowScale), window(w), surface(nullptr) {
    {
        // The window may already be gone with a parent the host destroyed.
        ErrorTrap trap(d);
        XWindowAttributes attributes;
        if (XGetWindowAttributes(d, w, &attributes) && pixelsMatchVisual(d, attributes.visual, attributes.depth)) {
            visual = attributes.visual;
            depth = attributes.depth;
            gc = XCreateGC(d, w, 0, nullptr);
        }
        if (trap.failed() && gc) {
            XFreeGC(d, gc);
            gc = nullptr;
        }
    }
    if (gc) return;
    surface = cairo_xlib_surface_create(d, w, DefaultVisual(d, DefaultScreen(d)), width, height);
    // The frame's back buffer has the same device scale: areas in editor units copy
    // its pixels one to one.
    cairo_surface_set_device_scale(surface, scale, scale);
}

CPoint X11Window::toUnits(int x, int y) const {
    return CPoint(static_cast<int32_t>(std::floor(x / scale)), static_cast<int32_t>(std::floor(y / scale)));
}

X11Window::~X11Window() {
    if (surface) cairo_surface_destroy(surface);
    if (gc) XFreeGC(display, gc);
    if (alive) {
        ErrorTrap trap(display);
        XDestroyWindow(display, window);
    }
    XCloseDisplay(display);
}

bool X11Window::isDoubleClick(unsigned int button, unsigned long time, int x, int y) const {
    // The usual desktop limits: 400 ms between the presses, a few pixels apart.
    constexpr unsigned long kDoubleClickTime = 400;
    constexpr int kDoubleClickDistance = 4;
    return button == lastPressButton && time - lastPressTime <= kDoubleClickTime &&
           std::abs(x - lastPressX) <= kDoubleClickDistance && std::abs(y - lastPressY) <= kDoubleClickDistance;
}

bool X11Window::nextEvent(WindowEvent& out) {
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.xany.window != window) continue;
        switch (event.type) {
            case DestroyNotify:
                // Destroyed with the host's window: nothing may be drawn into it again.
                alive = false;
                break;
            case Expose: {
                const XExposeEvent& e = event.xexpose;
                out.type = WindowEvent::Type::Paint;
                out.area =
                    CRect(static_cast<int32_t>(std::floor(e.x / scale)), static_cast<int32_t>(std::floor(e.y / scale)),
                          static_cast<int32_t>(std::ceil((e.x + e.width) / scale)),
                          static_cast<int32_t>(std::ceil((e.y + e.height) / scale)));
                return true;
            }
            case ButtonPress:
            case ButtonRelease: {
                const XButtonEvent& e = event.xbutton;
                out.where = toUnits(e.x, e.y);
                if (e.button == Button4 || e.button == Button5) {
                    // Each wheel notch arrives as a press and a release; one is enough.
                    if (event.type == ButtonRelease) continue;
                    out.type = WindowEvent::Type::Wheel;
                    out.distance = e.button == Button4 ? 1.0f : -1.0f;
                    out.buttons = buttonState(e.state);
                    return true;
                }
                int32_t flag = buttonFlag(e.button);
                if (flag == 0) continue;
                // The state field holds the buttons before the event.
                if (event.type == ButtonPress) {
                    out.type = WindowEvent::Type::MouseDown;
                    out.buttons = buttonState(e.state) | flag;
                    if (isDoubleClick(e.button, e.time, e.x, e.y)) {
                        out.buttons |= kDoubleClick;
                        // A third press starts counting anew.
                        lastPressButton = 0;
                    } else {
                        lastPressButton = e.button;
                        lastPressTime = e.time;
                        lastPressX = e.x;
                        lastPressY = e.y;
                    }
                } else {
                    out.type = WindowEvent::Type::MouseUp;
                    out.buttons = buttonState(e.state) & ~flag;
                }
                return true;
            }
            case MotionNotify: {
                const XMotionEvent& e = event.xmotion;
                out.type = WindowEvent::Type::MouseMoved;
                out.where = toUnits(e.x, e.y);
                out.buttons = buttonState(e.state);
                return true;
            }
            case FocusOut:
                // Only the focus leaving this window counts: not focus moving into a
                // child, not the pointer-root bookkeeping that comes with taking the
                // focus, not grabs.
                if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab ||
                    event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer ||
                    event.xfocus.detail == NotifyPointerRoot || event.xfocus.detail == NotifyDetailNone)
                    continue;
                out.type = WindowEvent::Type::FocusLost;
                return true;
            case LeaveNotify:
                if (event.xcrossing.mode != NotifyNormal) continue;
                out.type = WindowEvent::Type::MouseLeft;
                return true;
            case KeyPress: {
                XKeyEvent& e = event.xkey;
                char text[8] = {};
                KeySym sym = 0;
                int length = XLookupString(&e, text, sizeof text - 1, &sym, nullptr);
                out.type = WindowEvent::Type::KeyDown;
                out.key = VstKeyCode();
                out.key.virt = virtualKey(sym);
                if (out.key.virt == 0 && length == 1) out.key.character = static_cast<unsigned char>(text[0]);
                if (e.state & ShiftMask) out.key.modifier |= MODIFIER_SHIFT;
                if (e.state & ControlMask) out.key.modifier |= MODIFIER_CONTROL;
                if (e.state & Mod1Mask) out.key.modifier |= MODIFIER_ALTERNATE;
                if (out.key.virt == 0 && out.key.character == 0) continue;
                return true;
            }
            default:
                break;
        }
    }
    return false;
}

void X11Window::present(cairo_surface_t* image, const CRect& area) {
    if (area.isEmpty() || !alive) return;
    if (gc) {
        putPixels(image, area);
        return;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, image, 0, 0);
    // Whole pixels: a partly covered edge pixel would blend with the old picture.
    double left = std::floor(area.left * scale) / scale, right = std::ceil(area.right * scale) / scale;
    double top = std::floor(area.top * scale) / scale, bottom = std::ceil(area.bottom * scale) / scale;
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    XFlush(display);
}

void X11Window::putPixels(cairo_surface_t* image, const CRect& area) {
    // Straight from the back buffer: no copy and no per-connection upload buffers
    // (cairo's would outlive the connection).
    cairo_surface_flush(image);
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const int left = std::clamp(static_cast<int>(std::floor(area.left * scale)), 0, width);
    const int top = std::clamp(static_cast<int>(std::floor(area.top * scale)), 0, height);
    const int right = std::clamp(static_cast<int>(std::ceil(area.right * scale)), left, width);
    const int bottom = std::clamp(static_cast<int>(std::ceil(area.bottom * scale)), top, height);
    if (right == left || bottom == top) return;
    XImage* pixels =
        XCreateImage(display, static_cast<Visual*>(visual), static_cast<unsigned>(depth), ZPixmap, 0,
                     reinterpret_cast<char*>(cairo_image_surface_get_data(image)), static_cast<unsigned>(width),
                     static_cast<unsigned>(height), 32, cairo_image_surface_get_stride(image));
    if (!pixels) return;
    {
        // A host may destroy the window before its destruction reaches us.
        ErrorTrap trap(display);
        XPutImage(display, window, gc, pixels, left, top, left, top, static_cast<unsigned>(right - left),
                  static_cast<unsigned>(bottom - top));
    }
    // The pixels belong to the back buffer.
    pixels->data = nullptr;
    XDestroyImage(pixels);
    XFlush(display);
}

void X11Window::takeKeyboardFocus() {
    if (!alive) return;
    ErrorTrap trap(display);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
}
