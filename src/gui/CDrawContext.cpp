#include "gui/CDrawContext.h"

#include <cairo.h>

#include <cmath>
#include <string>

#include "gui/CBitmap.h"

namespace {

// A font that Debian's fonts-dejavu-core provides; fontconfig falls back to another
// sans face when it is missing.
constexpr const char* kFontFace = "DejaVu Sans";

// Cairo takes UTF-8 only and stops drawing for good after invalid text. Texts such as
// stored file names may be in a single-byte encoding: those are read as Latin-1.
bool isUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 4;
        if (extra == 4 || (extra > 0 && i + extra >= text.size())) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
        i += extra + 1;
    }
    return true;
}

std::string toUtf8(const char* text) {
    std::string s(text);
    if (isUtf8(s)) return s;
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

CDrawContext::CDrawContext(cairo_surface_t* target) : surface(target), cr(cairo_create(target)) {
    cairo_select_font_face(cr, kFontFace, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

CDrawContext::~CDrawContext() { cairo_destroy(cr); }

void CDrawContext::pixelRectangle(const CRect& rect) {
    double sx = 1.0, sy = 1.0;
    cairo_surface_get_device_scale(surface, &sx, &sy);
    double left = std::floor(rect.left * sx) / sx, right = std::ceil(rect.right * sx) / sx;
    double top = std::floor(rect.top * sy) / sy, bottom = std::ceil(rect.bottom * sy) / sy;
    cairo_rectangle(cr, left, top, right - left, bottom - top);
}

void CDrawContext::pushClip(const CRect& rect) {
    cairo_save(cr);
    pixelRectangle(rect);
    cairo_clip(cr);
}

void CDrawContext::popClip() { cairo_restore(cr); }

void CDrawContext::setSource(const CColor& color) {
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0, color.alpha / 255.0);
}

void CDrawContext::fillRect(const CRect& rect) {
    setSource(fillColor);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(cr);
}

void CDrawContext::frameRect(const CRect& rect) {
    setSource(frameColor);
    cairo_set_line_width(cr, 1.0);
    // Half-pixel positions put the one-pixel line exactly on the border pixels.
    cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.width() - 1.0, rect.height() - 1.0);
    cairo_stroke(cr);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    setSource(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
    cairo_line_to(cr, to.x + 0.5, to.y + 0.5);
    cairo_stroke(cr);
}

void CDrawContext::drawPolyline(const float* x, const float* y, int count) {
    if (count < 2) return;
    setSource(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, x[0], y[0]);
    for (int i = 1; i < count; ++i) cairo_line_to(cr, x[i], y[i]);
    cairo_stroke(cr);
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
    if (!text || !*text || rect.isEmpty()) return;
    std::string utf8 = toUtf8(text);
    pushClip(rect);
    cairo_set_font_size(cr, fontSize);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.c_str(), &extents);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    double x = rect.left + 2.0;
    if (align == kCenterText)
        x = rect.left + (rect.width() - extents.x_advance) / 2.0;
    else if (align == kRightText)
        x = rect.right - 2.0 - extents.x_advance;
    double y = rect.top + (rect.height() + font.ascent - font.descent) / 2.0;
    setSource(fontColor);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, utf8.c_str());
    popClip();
}

void CDrawContext::drawBitmap(const CBitmap& bitmap, const CRect& rect, const CPoint& offset) {
    if (!bitmap.isLoaded() || rect.isEmpty()) return;
    cairo_save(cr);
    pixelRectangle(rect);
    cairo_clip(cr);
    cairo_set_source_surface(cr, bitmap.getSurface(), rect.left - offset.x, rect.top - offset.y);
    cairo_paint(cr);
    cairo_restore(cr);
}
