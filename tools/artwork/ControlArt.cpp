#include "ControlArt.h"

#include <cmath>
#include <utility>

namespace art {

namespace {

constexpr int kKnobPictures = 31;
constexpr int kKnobSize = 32;
// The value arc runs clockwise from lower left (7:30) to lower right (4:30).
constexpr double kArcStart = 0.75 * M_PI;
constexpr double kArcSweep = 1.5 * M_PI;

double knobAngle(double value) { return kArcStart + value * kArcSweep; }

void arc(cairo_t* cr, double cx, double cy, double radius, double from, double to, const Colour& c, double width) {
    if (to < from) std::swap(from, to);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    setColour(cr, c);
    cairo_arc(cr, cx, cy, radius, from, to);
    cairo_stroke(cr);
}

// One knob picture at (x, 0): value ring, body, pointer.
void knob(cairo_t* cr, double x, double value, KnobStyle style) {
    const double cx = x + kKnobSize / 2.0, cy = kKnobSize / 2.0;
    const double ring = 13.6, ringWidth = 2.6;
    const double angle = knobAngle(value);
    arc(cr, cx, cy, ring, kArcStart, kArcStart + kArcSweep, palette::valueDim, ringWidth + 0.8);
    switch (style) {
        case KnobStyle::Unipolar:
            if (value > 0.0) arc(cr, cx, cy, ring, kArcStart, angle, palette::value, ringWidth);
            break;
        case KnobStyle::Bipolar:
            if (std::fabs(value - 0.5) > 1e-9) arc(cr, cx, cy, ring, knobAngle(0.5), angle, palette::value, ringWidth);
            break;
        case KnobStyle::Crossfade:
            // The share of each side: warm for the first source, cool for the second.
            if (value < 1.0) arc(cr, cx, cy, ring, angle, kArcStart + kArcSweep, rgb(0x4fc8f0), ringWidth);
            if (value > 0.0) arc(cr, cx, cy, ring, kArcStart, angle, palette::value, ringWidth);
            break;
    }
    // A small mark at the centre of the bipolar and crossfade rings.
    if (style != KnobStyle::Unipolar) {
        setColour(cr, palette::caption);
        cairo_arc(cr, cx, cy - ring - 0.2, 0.9, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    // Body: a dark cap lit from the upper left, with a rim.
    cairo_pattern_t* body = cairo_pattern_create_radial(cx - 3, cy - 4, 1, cx, cy, 10.5);
    cairo_pattern_add_color_stop_rgb(body, 0.0, 0.44, 0.46, 0.50);
    cairo_pattern_add_color_stop_rgb(body, 1.0, 0.15, 0.16, 0.18);
    cairo_set_source(cr, body);
    cairo_arc(cr, cx, cy, 10.0, 0, 2 * M_PI);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(body);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 0.05, 0.05, 0.06, 0.9);
    cairo_stroke(cr);
    // Pointer.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2.0);
    setColour(cr, rgb(0xf2f2f2));
    cairo_move_to(cr, cx + 3.0 * std::cos(angle), cy + 3.0 * std::sin(angle));
    cairo_line_to(cr, cx + 8.5 * std::cos(angle), cy + 8.5 * std::sin(angle));
    cairo_stroke(cr);
}

// A deterministic sample-and-hold pattern stands for the random form.
double randomLevel(double t) {
    static const double levels[] = {0.3, -0.7, 0.9, -0.1, 0.6, -0.9, 0.1, -0.4};
    int i = static_cast<int>(t * 8.0);
    return levels[i < 0 ? 0 : i > 7 ? 7 : i];
}

double waveLevel(WaveForm form, double t) {
    switch (form) {
        case WaveForm::Random:
            return randomLevel(t);
        case WaveForm::Sine:
            return std::sin(2 * M_PI * t);
        case WaveForm::Triangle:
            return t < 0.25 ? 4 * t : t < 0.75 ? 2 - 4 * t : 4 * t - 4;
        case WaveForm::Square:
            return t < 0.5 ? 1.0 : -1.0;
        case WaveForm::Ramp:
            return 2 * t - 1;
        case WaveForm::Saw:
            return 1 - 2 * t;
    }
    return 0.0;
}

// A small display at (x, 0) with one and a half cycles of the form.
void wavePicture(cairo_t* cr, double x, WaveForm form) {
    roundedRect(cr, x + 1.5, 1.5, 29, 29, 4);
    setColour(cr, palette::display);
    cairo_fill_preserve(cr);
    setColour(cr, palette::displayEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    setColour(cr, rgb(0x2a3a36));
    cairo_move_to(cr, x + 5, 16.5);
    cairo_line_to(cr, x + 27, 16.5);
    cairo_stroke(cr);
    const double left = x + 5, width = 22, mid = 16, amplitude = 8;
    const int steps = 220;
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    setColour(cr, palette::trace);
    for (int i = 0; i <= steps; ++i) {
        double u = static_cast<double>(i) / steps;
        double t = std::fmod(u * 1.5, 1.0);
        double level = waveLevel(form, t);
        // Jumps of the square, saw and random forms are drawn as vertical edges.
        if (i > 0) {
            double before = std::fmod((u - 1.0 / steps) * 1.5, 1.0);
            double previous = waveLevel(form, before);
            if (std::fabs(level - previous) > 0.5) cairo_line_to(cr, left + u * width, mid - previous * amplitude);
        }
        if (i == 0)
            cairo_move_to(cr, left + u * width, mid - level * amplitude);
        else
            cairo_line_to(cr, left + u * width, mid - level * amplitude);
    }
    cairo_stroke(cr);
}

void capButton(cairo_t* cr, double x, double y, double w, double h, bool pressed) {
    cairo_pattern_t* body = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(body, 0, pressed ? 0.20 : 0.36, pressed ? 0.21 : 0.38, pressed ? 0.23 : 0.42);
    cairo_pattern_add_color_stop_rgb(body, 1, pressed ? 0.26 : 0.19, pressed ? 0.27 : 0.20, pressed ? 0.30 : 0.23);
    roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 2.5);
    cairo_set_source(cr, body);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(body);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 0.04, 0.04, 0.05, 1.0);
    cairo_stroke(cr);
}

}  // namespace

bool knobStrip(const std::string& path, KnobStyle style) {
    Canvas canvas(kKnobPictures * kKnobSize, kKnobSize);
    for (int i = 0; i < kKnobPictures; ++i)
        knob(canvas.cr(), i * kKnobSize, static_cast<double>(i) / (kKnobPictures - 1), style);
    return canvas.save(path);
}

bool waveStrip(const std::string& path, const std::vector<WaveForm>& forms) {
    Canvas canvas(static_cast<int>(forms.size()) * 32, 32);
    for (size_t i = 0; i < forms.size(); ++i) wavePicture(canvas.cr(), i * 32.0, forms[i]);
    return canvas.save(path);
}

bool switchPicture(const std::string& path) {
    Canvas canvas(16, 32);
    cairo_t* cr = canvas.cr();
    for (int on = 0; on < 2; ++on) {
        double y = on * 16.0;
        capButton(cr, 0, y, 16, 16, on != 0);
        if (on) {
            cairo_pattern_t* glow = cairo_pattern_create_radial(8, y + 8, 0, 8, y + 8, 7);
            cairo_pattern_add_color_stop_rgba(glow, 0, 1.0, 0.75, 0.35, 0.85);
            cairo_pattern_add_color_stop_rgba(glow, 1, 1.0, 0.55, 0.2, 0.0);
            cairo_set_source(cr, glow);
            cairo_arc(cr, 8, y + 8, 7, 0, 2 * M_PI);
            cairo_fill(cr);
            cairo_pattern_destroy(glow);
        }
        cairo_arc(cr, 8, y + 8, 3.3, 0, 2 * M_PI);
        setColour(cr, on ? rgb(0xffe0a0) : rgb(0x3a2a22));
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 0.8);
        setColour(cr, on ? palette::value : rgb(0x14100e));
        cairo_stroke(cr);
    }
    return canvas.save(path);
}

bool channelSelector(const std::string& path) {
    Canvas canvas(96, 64);
    cairo_t* cr = canvas.cr();
    for (int selected = 0; selected < 4; ++selected) {
        double y = selected * 16.0;
        roundedRect(cr, 0.5, y + 0.5, 95, 15, 3);
        setColour(cr, palette::display);
        cairo_fill_preserve(cr);
        setColour(cr, palette::displayEdge);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        for (int k = 0; k < 4; ++k) {
            double x = k * 24.0;
            if (k == selected) {
                roundedRect(cr, x + 2, y + 2, 20, 12, 2);
                setColour(cr, palette::value);
                cairo_fill(cr);
            } else if (k > 0 && k != selected + 1) {
                setColour(cr, palette::displayEdge);
                cairo_move_to(cr, x + 0.5, y + 4);
                cairo_line_to(cr, x + 0.5, y + 12);
                cairo_stroke(cr);
            }
            text(cr, std::to_string(k + 1), x + 12, y + 11.5, 9, k == selected ? rgb(0x1a1208) : palette::dimText);
        }
    }
    return canvas.save(path);
}

bool popupSlider(const std::string& path) {
    Canvas canvas(150, 20);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0.5, 0.5, 149, 19, 3);
    setColour(cr, rgb(0x22252a, 0.96));
    cairo_fill_preserve(cr);
    setColour(cr, palette::value);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    setColour(cr, palette::valueDim);
    cairo_set_line_width(cr, 3.0);
    cairo_move_to(cr, 5, 10);
    cairo_line_to(cr, 145, 10);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, palette::dimText);
    for (int i = 0; i <= 10; ++i) {
        double x = 5.5 + i * 14.0;
        cairo_move_to(cr, x, i % 5 == 0 ? 2 : 4);
        cairo_line_to(cr, x, 6.5);
        cairo_move_to(cr, x, 13.5);
        cairo_line_to(cr, x, i % 5 == 0 ? 18 : 16);
    }
    cairo_stroke(cr);
    return canvas.save(path);
}

bool popupHandle(const std::string& path) {
    Canvas canvas(10, 20);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0.5, 0.5, 9, 19, 2);
    setColour(cr, palette::value);
    cairo_fill_preserve(cr);
    setColour(cr, rgb(0x5a3a10));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_move_to(cr, 5, 4);
    cairo_line_to(cr, 5, 16);
    cairo_stroke(cr);
    return canvas.save(path);
}

// The value box: a pale display, since the pop-up writes its value in black.
bool valueBox(const std::string& path) {
    Canvas canvas(80, 20);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0.5, 0.5, 79, 19, 3);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, 0, 20);
    cairo_pattern_add_color_stop_rgb(face, 0, 0.96, 0.90, 0.76);
    cairo_pattern_add_color_stop_rgb(face, 1, 0.86, 0.78, 0.62);
    cairo_set_source(cr, face);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(face);
    setColour(cr, palette::value);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    return canvas.save(path);
}

// The handle that frames the chosen form in a wave-form pop-up: see-through inside.
bool selectorHandle(const std::string& path) {
    Canvas canvas(30, 30);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 1, 1, 28, 28, 4);
    setColour(cr, rgb(0xffb347, 0.22));
    cairo_fill_preserve(cr);
    setColour(cr, palette::value);
    cairo_set_line_width(cr, 2.0);
    cairo_stroke(cr);
    return canvas.save(path);
}

bool sliderHandle(const std::string& path, int width, int height) {
    Canvas canvas(width, height);
    cairo_t* cr = canvas.cr();
    capButton(cr, 0, 0, width, height, false);
    setColour(cr, palette::value);
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, 3, height / 2.0);
    cairo_line_to(cr, width - 3, height / 2.0);
    cairo_stroke(cr);
    return canvas.save(path);
}

bool fileButton(const std::string& path) {
    Canvas canvas(24, 32);
    cairo_t* cr = canvas.cr();
    for (int pressed = 0; pressed < 2; ++pressed) {
        double y = pressed * 16.0, shift = pressed;
        capButton(cr, 0, y, 24, 16, pressed != 0);
        // A folder.
        roundedRect(cr, 6 + shift, y + 5 + shift, 12, 8, 1);
        cairo_move_to(cr, 6 + shift, y + 6 + shift);
        cairo_line_to(cr, 6 + shift, y + 3.5 + shift);
        cairo_line_to(cr, 10.5 + shift, y + 3.5 + shift);
        cairo_line_to(cr, 11.5 + shift, y + 5 + shift);
        setColour(cr, pressed ? palette::value : rgb(0xd9b26a));
        cairo_fill(cr);
    }
    return canvas.save(path);
}

bool fileField(const std::string& path) {
    Canvas canvas(208, 16);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0.5, 0.5, 207, 15, 2.5);
    setColour(cr, palette::display);
    cairo_fill_preserve(cr);
    setColour(cr, palette::displayEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    // Inner shadow along the top edge: the field sits below the panel.
    setColour(cr, rgb(0x000000, 0.5));
    cairo_move_to(cr, 3, 1.5);
    cairo_line_to(cr, 205, 1.5);
    cairo_stroke(cr);
    return canvas.save(path);
}

}  // namespace art
