#include "Painter.h"

#include <cmath>

namespace art {

namespace {
double canvasScale = 1.0;
}  // namespace

void setScale(double scale) { canvasScale = scale; }

Canvas::Canvas(int width, int height)
    : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil(width * canvasScale)),
                                         static_cast<int>(std::ceil(height * canvasScale)))),
      context(cairo_create(surface)),
      w(width),
      h(height) {
    cairo_scale(context, canvasScale, canvasScale);
    // Unhinted outlines with grey antialiasing: the pixels depend on the font only.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(context, options);
    cairo_font_options_destroy(options);
}

Canvas::~Canvas() {
    cairo_destroy(context);
    cairo_surface_destroy(surface);
}

bool Canvas::save(const std::string& path) const {
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void setColour(cairo_t* cr, const Colour& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

static void selectFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, "DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const std::string& s, double size, bool bold) {
    selectFont(cr, size, bold);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    return extents.x_advance;
}

void text(cairo_t* cr, const std::string& s, double x, double y, double size, const Colour& c, Align align, bool bold) {
    double width = textWidth(cr, s, size, bold);
    double left = align == Align::Left ? x : align == Align::Centre ? x - width / 2 : x - width;
    setColour(cr, c);
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, s.c_str());
    cairo_new_path(cr);
}

void verticalText(cairo_t* cr, const std::string& s, double x, double y, double size, const Colour& c) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -M_PI / 2);
    text(cr, s, 0, size * 0.35, size, c);
    cairo_restore(cr);
}

}  // namespace art
