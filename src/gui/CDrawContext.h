// The only way views draw: a cairo context on a surface, an offscreen image (the
// frame's back buffer, or any image a test hands in). Views draw in editor units; a
// surface with a device scale (a scaled editor's back buffer) turns them into pixels.
#pragma once

#include "gui/CRect.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
class CBitmap;

enum CHoriTxtAlign { kLeftText, kCenterText, kRightText };

class CDrawContext {
public:
    explicit CDrawContext(cairo_surface_t* surface);
    ~CDrawContext();

    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    // Clipping nests: every pushClip is undone by one popClip.
    void pushClip(const CRect& rect);
    void popClip();

    void setFillColor(const CColor& color) { fillColor = color; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    void setFontColor(const CColor& color) { fontColor = color; }
    void setLineWidth(double width) { lineWidth = width; }
    void setFontSize(double size) { fontSize = size; }

    void fillRect(const CRect& rect);
    // A one-line outline just inside rect.
    void frameRect(const CRect& rect);
    void drawLine(const CPoint& from, const CPoint& to);
    // Text in the font colour, vertically centred in rect, clipped to it.
    void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText);
    // The picture part that starts at offset, drawn into rect with its alpha.
    void drawBitmap(const CBitmap& bitmap, const CRect& rect, const CPoint& offset);

    // Joined line segments through count points (editor units, fractions allowed) in
    // the frame colour and line width.
    void drawPolyline(const float* x, const float* y, int count);

    cairo_surface_t* getSurface() const { return surface; }

private:
    void setSource(const CColor& color);
    // Adds rect, widened to whole pixels of the surface, as a path: a clip on partial
    // pixels would blend a redraw into what was there before.
    void pixelRectangle(const CRect& rect);

    cairo_surface_t* surface;
    cairo_t* cr;
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    double lineWidth = 1.0;
    double fontSize = 11.0;
};
