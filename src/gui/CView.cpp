#include "gui/CView.h"

#include "gui/CFrame.h"

CView::CView(const CRect& rect) : size(rect) {}

void CView::draw(CDrawContext*) { setDirty(false); }

void CView::update(CDrawContext* context) {
    if (!isDirty()) return;
    if (frame)
        frame->drawRect(context, size);
    else
        draw(context);
}

CMouseEventResult CView::onMouseDown(CPoint&, int32_t) { return kMouseEventNotHandled; }
CMouseEventResult CView::onMouseMoved(CPoint&, int32_t) { return kMouseEventNotHandled; }
CMouseEventResult CView::onMouseUp(CPoint&, int32_t) { return kMouseEventNotHandled; }
bool CView::onWheel(const CPoint&, float, int32_t) { return false; }
int32_t CView::onKeyDown(const VstKeyCode&) { return -1; }

void CView::removed(CFrame* parent) {
    if (frame == parent) frame = nullptr;
}
