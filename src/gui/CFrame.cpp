#include "gui/CFrame.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "gui/AEffGUIEditor.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/X11Window.h"

namespace {

constexpr CColor kFrameColor{64, 64, 64, 255};

}  // namespace

namespace {

cairo_surface_t* scaledImage(int32_t width, int32_t height, double scale) {
    cairo_surface_t* image =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, static_cast<int>(std::ceil(width * scale))),
                                   std::max(1, static_cast<int>(std::ceil(height * scale))));
    cairo_surface_set_device_scale(image, scale, scale);
    return image;
}

}  // namespace

CFrame::CFrame(const CRect& rect, void* systemWindow, AEffGUIEditor* owner, double frameScale)
    : CView(rect),
      editor(owner),
      scale(frameScale > 0.0 ? frameScale : 1.0),
      backBuffer(scaledImage(rect.width(), rect.height(), scale)),
      context(std::make_unique<CDrawContext>(backBuffer)),
      invalidArea(0, 0, rect.width(), rect.height()) {
    frame = this;
    if (systemWindow)
        window = X11Window::open(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(systemWindow)), rect.width(),
                                 rect.height(), scale);
}

CFrame::~CFrame() {
    // No view hears of its end here: its listener may already be gone. An editor that
    // closes ends a running gesture first (endGesture).
    window.reset();
    mouseView = nullptr;
    focusView = nullptr;
    hoverView = nullptr;
    for (CView* view : views) delete view;
    views.clear();
    if (background) background->forget();
    context.reset();
    cairo_surface_destroy(backBuffer);
}

void CFrame::endGesture() {
    if (!mouseView) return;
    CView* view = mouseView;
    mouseView = nullptr;
    view->onMouseUp(lastMouse, 0);
}

unsigned long CFrame::getSystemWindow() const { return window ? window->id() : 0; }

void CFrame::setBackground(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    invalidate(CRect(0, 0, size.width(), size.height()));
}

bool CFrame::addView(CView* view) {
    if (!view || isChild(view)) return false;
    views.push_back(view);
    view->attached(this);
    view->setDirty(true);
    return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
    auto it = std::find(views.begin(), views.end(), view);
    if (it == views.end()) return false;
    views.erase(it);
    if (mouseView == view) mouseView = nullptr;
    if (focusView == view) focusView = nullptr;
    if (hoverView == view) hoverView = nullptr;
    invalidate(view->getViewSize());
    view->removed(this);
    if (withForget) delete view;
    return true;
}

bool CFrame::isChild(const CView* view) const { return std::find(views.begin(), views.end(), view) != views.end(); }

CView* CFrame::getView(int32_t index) const {
    return index >= 0 && index < getNbViews() ? views[static_cast<size_t>(index)] : nullptr;
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView) return;
    CView* previous = focusView;
    focusView = view;
    if (previous) previous->looseFocus();
    if (view) {
        // The view takes the keys: the window asks for the keyboard.
        takeKeyboardFocus();
        view->takeFocus();
    }
}

void CFrame::takeKeyboardFocus() {
    if (window) window->takeKeyboardFocus();
}

void CFrame::draw(CDrawContext* target) { drawRect(target, CRect(0, 0, size.width(), size.height())); }

void CFrame::drawRect(CDrawContext* target, const CRect& area) {
    CRect clipped = area.intersected(CRect(0, 0, size.width(), size.height()));
    if (clipped.isEmpty()) return;
    if (!target) target = context.get();
    target->pushClip(clipped);
    if (background) {
        background->draw(target, clipped, CPoint(clipped.left, clipped.top));
    } else {
        target->setFillColor(kFrameColor);
        target->fillRect(clipped);
    }
    for (CView* view : views) {
        const CRect& viewSize = view->getViewSize();
        if (!viewSize.intersects(clipped)) continue;
        bool wasDirty = view->isDirty();
        view->draw(target);
        // A view drawn only in part still owes the rest of its picture.
        if (wasDirty && !clipped.contains(viewSize)) view->setDirty(true);
    }
    target->popClip();
    if (target == context.get()) damage = damage.united(clipped);
}

void CFrame::invalidate(const CRect& area) { invalidArea = invalidArea.united(area); }

void CFrame::redrawDirty() {
    if (!invalidArea.isEmpty()) {
        CRect area = invalidArea;
        invalidArea = CRect();
        drawRect(context.get(), area);
    }
    for (size_t i = 0; i < views.size(); ++i)
        if (views[i]->isDirty()) drawRect(context.get(), views[i]->getViewSize());
    cairo_surface_flush(backBuffer);
    if (window && !damage.isEmpty()) window->present(backBuffer, damage);
    damage = CRect();
}

CView* CFrame::viewAt(const CPoint& where) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        if ((*it)->getMouseEnabled() && (*it)->hitTest(where)) return *it;
    return nullptr;
}

void CFrame::setHoverPoint(const CPoint& where) {
    lastMouse = where;
    hoverView = where.x >= 0 && where.y >= 0 ? viewAt(where) : nullptr;
}

void CFrame::onFocusOut() {
    if (focusView) setFocusView(nullptr);
    redrawDirty();
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, int32_t buttons) {
    lastMouse = where;
    hoverView = nullptr;
    CMouseEventResult result = kMouseEventNotHandled;
    if (mouseView) {
        // Another button during a gesture goes to the view that owns the gesture.
        result = mouseView->onMouseMoved(where, buttons);
    } else {
        CView* view = viewAt(where);
        if (focusView && focusView != view) setFocusView(nullptr);
        if (view) {
            result = view->onMouseDown(where, buttons);
            if (result == kMouseEventHandled && isChild(view)) mouseView = view;
        } else if (editor) {
            result = editor->onBackgroundMouseDown(where, buttons) ? kMouseDownEventHandledButDontNeedMovedOrUpEvents
                                                                   : kMouseEventNotHandled;
        }
    }
    redrawDirty();
    return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, int32_t buttons) {
    CMouseEventResult result = kMouseEventNotHandled;
    if (mouseView) {
        lastMouse = where;
        result = mouseView->onMouseMoved(where, buttons);
    } else if ((buttons & (kLButton | kMButton | kRButton)) == 0) {
        setHoverPoint(where);
    }
    redrawDirty();
    return result;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, int32_t buttons) {
    lastMouse = where;
    CMouseEventResult result = kMouseEventNotHandled;
    // The gesture ends when the last button is up.
    if (mouseView && (buttons & (kLButton | kMButton | kRButton)) == 0) {
        CView* view = mouseView;
        mouseView = nullptr;
        result = view->onMouseUp(where, buttons);
    } else if (mouseView) {
        result = mouseView->onMouseMoved(where, buttons);
    }
    redrawDirty();
    return result;
}

bool CFrame::onWheel(const CPoint& where, float distance, int32_t buttons) {
    bool used = false;
    if (!mouseView) {
        CView* view = viewAt(where);
        if (view) used = view->onWheel(where, distance, buttons);
    }
    redrawDirty();
    return used;
}

int32_t CFrame::onKeyDown(const VstKeyCode& key) {
    int32_t result = focusView ? focusView->onKeyDown(key) : -1;
    redrawDirty();
    return result;
}

void CFrame::idle() {
    WindowEvent event;
    while (window && window->nextEvent(event)) {
        switch (event.type) {
            case WindowEvent::Type::Paint:
                // The back buffer holds the picture: show it again.
                damage = damage.united(event.area);
                break;
            case WindowEvent::Type::MouseDown:
                onMouseDown(event.where, event.buttons);
                break;
            case WindowEvent::Type::MouseMoved:
                onMouseMoved(event.where, event.buttons);
                break;
            case WindowEvent::Type::MouseUp:
                onMouseUp(event.where, event.buttons);
                break;
            case WindowEvent::Type::Wheel:
                onWheel(event.where, event.distance, event.buttons);
                break;
            case WindowEvent::Type::KeyDown:
                onKeyDown(event.key);
                break;
            case WindowEvent::Type::FocusLost:
                onFocusOut();
                break;
            case WindowEvent::Type::MouseLeft:
                hoverView = nullptr;
                break;
        }
    }
    redrawDirty();
}
