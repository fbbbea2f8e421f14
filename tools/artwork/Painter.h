// Drawing helpers shared by the control pictures and the window pictures: the palette,
// fixed text settings (no hinting, so the same fonts give the same pixels everywhere)
// and a few shapes.
#pragma once

#include <cairo.h>

#include <string>

namespace art {

struct Colour {
    double r, g, b, a = 1.0;
};

constexpr Colour rgb(int hex, double alpha = 1.0) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha};
}

// One palette for every picture.
namespace palette {
constexpr Colour panelTop = rgb(0x30343b);
constexpr Colour panelBottom = rgb(0x1e2126);
constexpr Colour section = rgb(0x272b31);
constexpr Colour sectionEdge = rgb(0x40454e);
constexpr Colour caption = rgb(0xc9cdd3);
constexpr Colour dimText = rgb(0x8a9099);
constexpr Colour display = rgb(0x0f1215);
constexpr Colour displayEdge = rgb(0x4a505a);
constexpr Colour value = rgb(0xffb347);     // value arcs, lit switches, selected channel
constexpr Colour valueDim = rgb(0x14161a);  // the unlit part of a value arc
constexpr Colour trace = rgb(0x66e0c0);     // wave-form traces
// Group accents: titles and the thin line under them.
constexpr Colour oscillators = rgb(0xff9a4d);
constexpr Colour filter = rgb(0xffd05a);
constexpr Colour voice = rgb(0xe6e08a);
constexpr Colour lfo = rgb(0x8fe06a);
constexpr Colour vocoder = rgb(0x4fc8f0);
constexpr Colour equaliser = rgb(0x6fa8ff);
constexpr Colour sources = rgb(0xc59bff);
constexpr Colour effects = rgb(0x7fb5ff);
constexpr Colour output = rgb(0xff7a7a);
}  // namespace palette

// Every canvas made from now on has scale x its size in pixels and draws the same
// picture at that density: the editors' larger sizes come from the vectors, never from
// stretching a smaller picture.
void setScale(double scale);

// A transparent ARGB surface with a context on it; width and height are the picture's
// size at scale 1, in which all drawing is expressed.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return context; }
    int width() const { return w; }
    int height() const { return h; }
    // Writes the picture; false when the file cannot be written.
    bool save(const std::string& path) const;

private:
    cairo_surface_t* surface;
    cairo_t* context;
    int w, h;
};

void setColour(cairo_t* cr, const Colour& c);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);

enum class Align { Left, Centre, Right };
// Text with its baseline at y; x is the left edge, centre or right edge.
void text(cairo_t* cr, const std::string& s, double x, double y, double size, const Colour& c,
          Align align = Align::Centre, bool bold = true);
// Text turned a quarter anticlockwise, centred on (x, y).
void verticalText(cairo_t* cr, const std::string& s, double x, double y, double size, const Colour& c);
double textWidth(cairo_t* cr, const std::string& s, double size, bool bold = true);

}  // namespace art
