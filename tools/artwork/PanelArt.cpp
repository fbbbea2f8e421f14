#include "PanelArt.h"

#include <cmath>
#include <cstring>
#include <map>

#include "Painter.h"
#include "framework/ParamDesc.h"

namespace art {

namespace {

constexpr double kCaptionSize = 8.0;
constexpr double kTitleSize = 9.0;

struct Section {
    double x0, y0, x1, y1;
    const char* title;  // drawn in the header strip; null for none
    Colour accent;
};

// The groups of the vocoder panel; the controls of the table sit inside them.
const Section kSections[] = {
    {20, 40, 330, 80, "CARRIER", palette::sources},    {20, 86, 234, 214, "OSCILLATORS", palette::oscillators},
    {238, 86, 316, 214, "FILTER", palette::filter},    {320, 86, 368, 248, "VOICE", palette::voice},
    {20, 218, 316, 282, "LFO", palette::lfo},          {400, 40, 590, 190, "VOCODER", palette::vocoder},
    {400, 194, 590, 284, nullptr, palette::equaliser}, {20, 290, 330, 496, "MODULATOR", palette::sources},
    {340, 290, 490, 496, "CHORUS", palette::effects},  {494, 290, 590, 496, "MIX", palette::output},
};

// Caption under a control (or beside it, see kBeside), by parameter name.
const std::map<std::string, const char*> kCaptions = {
    {"Volume", "VOLUME"},
    {"Pan", "PAN"},
    {"BndRng", "BEND"},
    {"Osc1Frm", "WAVE"},
    {"Osc1Tun", "TUNE"},
    {"Detun1", "DETUNE"},
    {"Osc1PW", "WIDTH"},
    {"Osc2Frm", "WAVE"},
    {"Osc2Tun", "TUNE"},
    {"Detun2", "DETUNE"},
    {"Osc2PW", "WIDTH"},
    {"OscMix", "MIX"},
    {"LfoForm", "WAVE"},
    {"LfoSync", "SYNC"},
    {"LfoFreq", "RATE"},
    {"LfoFM", "PITCH"},
    {"LfoPWM", "PWM"},
    {"LfoAM", "AMP"},
    {"LfoFiltMod", "FILTER"},
    {"Cutoff", "CUTOFF"},
    {"Reso", "RESO"},
    {"Attack", "ATTACK"},
    {"Release", "RELEASE"},
    {"Mono", "MONO"},
    {"Glide", "GLIDE"},
    {"FollowA", "FOLLOW"},
    {"FollowD", "FOLLOW"},
    {"ShiftA", "SHIFT"},
    {"ShiftD", "SHIFT"},
    {"Bands", "BANDS"},
    {"Mangle", "MANGLE"},
    {"AnaDigi", "ANA/DIG"},
    {"Eq1", "1"},
    {"Eq2", "2"},
    {"Eq3", "3"},
    {"Eq4", "4"},
    {"Eq5", "5"},
    {"Eq6", "6"},
    {"BufSize", "LENGTH"},
    {"DlyTime", "TIME"},
    {"DlyFbk", "FEEDBACK"},
    {"DlyLv", "LEVEL"},
    {"ChrsRat", "RATE"},
    {"ChrsLv", "DEPTH"},
    {"RevTime", "TIME"},
    {"RevLevel", "LEVEL"},
    {"RevStereo", "WIDTH"},
    {"MixCar", "CARRIER"},
    {"MixMod", "MODUL."},
    {"MixVoc", "VOCODER"},
};

// Captions written left of their control, right-aligned, instead of below it.
const std::map<std::string, const char*> kBeside = {{"CarCh", "CH"}, {"ModCh", "CHANNEL"}, {"Freeze", "FREEZE"}};
// Captions written right of their control.
const std::map<std::string, const char*> kAfter = {{"CarCap", "CAPTURE"}, {"CarSt", "STEREO"}};

void panelBackground(cairo_t* cr, double width, double height) {
    cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, 0, height);
    cairo_pattern_add_color_stop_rgb(face, 0, palette::panelTop.r, palette::panelTop.g, palette::panelTop.b);
    cairo_pattern_add_color_stop_rgb(face, 1, palette::panelBottom.r, palette::panelBottom.g, palette::panelBottom.b);
    cairo_set_source(cr, face);
    cairo_paint(cr);
    cairo_pattern_destroy(face);
    // Bevel: light top and left edges, dark bottom and right.
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
    cairo_move_to(cr, 0.5, height - 0.5);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, width - 0.5, 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_move_to(cr, width - 0.5, 0.5);
    cairo_line_to(cr, width - 0.5, height - 0.5);
    cairo_line_to(cr, 0.5, height - 0.5);
    cairo_stroke(cr);
}

void screw(cairo_t* cr, double x, double y) {
    cairo_pattern_t* head = cairo_pattern_create_radial(x - 1, y - 1, 0.5, x, y, 4);
    cairo_pattern_add_color_stop_rgb(head, 0, 0.62, 0.64, 0.68);
    cairo_pattern_add_color_stop_rgb(head, 1, 0.22, 0.23, 0.26);
    cairo_set_source(cr, head);
    cairo_arc(cr, x, y, 3.5, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(head);
    cairo_set_source_rgba(cr, 0.08, 0.08, 0.09, 1);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x - 2.2, y + 1.2);
    cairo_line_to(cr, x + 2.2, y - 1.2);
    cairo_stroke(cr);
}

void section(cairo_t* cr, const Section& s) {
    roundedRect(cr, s.x0 + 0.5, s.y0 + 0.5, s.x1 - s.x0 - 1, s.y1 - s.y0 - 1, 5);
    setColour(cr, palette::section);
    cairo_fill_preserve(cr);
    setColour(cr, palette::sectionEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    if (!s.title) return;
    text(cr, s.title, s.x0 + 7, s.y0 + 11, kTitleSize, s.accent, Align::Left);
    double end = s.x0 + 11 + textWidth(cr, s.title, kTitleSize);
    Colour faint = s.accent;
    faint.a = 0.35;
    setColour(cr, faint);
    cairo_move_to(cr, end, s.y0 + 7.5);
    cairo_line_to(cr, s.x1 - 7, s.y0 + 7.5);
    cairo_stroke(cr);
}

// A sub-title inside a section, with a faint rule to the section's right edge.
void subtitle(cairo_t* cr, const char* title, double x, double y, double right, const Colour& accent) {
    text(cr, title, x, y, kTitleSize, accent, Align::Left);
    Colour faint = accent;
    faint.a = 0.35;
    setColour(cr, faint);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x + 4 + textWidth(cr, title, kTitleSize), y - 3.5);
    cairo_line_to(cr, right, y - 3.5);
    cairo_stroke(cr);
}

// The groove of a vertical slider without a picture of its own, with a tick per step
// (or at the ends and the centre), drawn where the slider shows the panel through.
void sliderGroove(cairo_t* cr, const ParamDesc& d, int handleHeight, int steps) {
    double cx = d.x + d.width / 2.0;
    double top = d.y + handleHeight / 2.0, bottom = d.y + d.height - handleHeight / 2.0 - 1;
    roundedRect(cr, cx - 2, top - 2, 4, bottom - top + 4, 2);
    setColour(cr, palette::display);
    cairo_fill_preserve(cr);
    setColour(cr, palette::displayEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    int marks = steps > 1 ? steps : 3;
    setColour(cr, palette::dimText);
    for (int i = 0; i < marks; ++i) {
        double y = std::round(bottom - (bottom - top) * i / (marks - 1)) + 0.5;
        cairo_move_to(cr, d.x - 3, y);
        cairo_line_to(cr, d.x, y);
        cairo_move_to(cr, d.x + d.width, y);
        cairo_line_to(cr, d.x + d.width + 3, y);
    }
    cairo_stroke(cr);
}

const ParamDesc& entry(const char* name) {
    for (const ParamDesc& d : kVocoderParams)
        if (std::strcmp(d.name, name) == 0) return d;
    return kVocoderParams[0];
}

void captions(cairo_t* cr) {
    for (const ParamDesc& d : kVocoderParams) {
        double centre = d.x + d.width / 2.0;
        if (auto it = kCaptions.find(d.name); it != kCaptions.end()) {
            // Switches sit in rows of knobs: their captions share the knobs' line.
            double below = d.kind == kKindSwitch ? d.y + 26 : d.y + d.height + 9;
            if (d.kind == kKindVerticalSlider) below = d.y + d.height + 10;
            text(cr, it->second, centre, below, kCaptionSize, palette::caption);
        }
        if (auto it = kBeside.find(d.name); it != kBeside.end())
            text(cr, it->second, d.x - 5, d.y + d.height / 2.0 + 3, kCaptionSize, palette::caption, Align::Right);
        if (auto it = kAfter.find(d.name); it != kAfter.end())
            text(cr, it->second, d.x + d.width + 5, d.y + d.height / 2.0 + 3, kCaptionSize, palette::caption,
                 Align::Left);
    }
}

}  // namespace

bool vocoderPanel(const std::string& path) {
    Canvas canvas(608, 512);
    cairo_t* cr = canvas.cr();
    panelBackground(cr, 608, 512);
    for (double x : {8.0, 600.0})
        for (double y : {8.0, 504.0}) screw(cr, x, y);

    // Name plate.
    text(cr, "ZORVEK", 24, 27, 19, rgb(0xeceef1), Align::Left);
    double after = 24 + textWidth(cr, "ZORVEK", 19) + 5;
    text(cr, "2", after, 27, 19, palette::value, Align::Left);
    text(cr, "VOCODER  SYNTHESIZER", 584, 26, 9, palette::dimText, Align::Right);

    for (const Section& s : kSections) section(cr, s);

    // Oscillator rows and vocoder paths.
    text(cr, "1", 29, 124, 12, palette::oscillators);
    text(cr, "2", 29, 188, 12, palette::oscillators);
    subtitle(cr, "ENVELOPE", 245, 161, 309, palette::filter);
    verticalText(cr, "ANALOG", 408, 96, 7, palette::vocoder);
    verticalText(cr, "DIGITAL", 408, 160, 7, palette::vocoder);
    verticalText(cr, "BAND EQ", 414, 232, kTitleSize, palette::equaliser);
    subtitle(cr, "DELAY", 347, 369, 483, palette::effects);
    subtitle(cr, "REVERB", 347, 433, 483, palette::effects);
    subtitle(cr, "OUTPUT", 501, 433, 583, palette::output);
    // The freeze row below the sources.
    setColour(cr, palette::sectionEdge);
    cairo_move_to(cr, 27, 437.5);
    cairo_line_to(cr, 323, 437.5);
    cairo_stroke(cr);

    // Sliders that show the panel through them.
    for (const ParamDesc& d : kVocoderParams)
        if (d.kind == kKindVerticalSlider && d.bitmap1 == 0)
            sliderGroove(cr, d, d.bitmap3 == 230 ? 16 : 8, d.positions);

    // Modulator sources: one mark per step of the source slider, each in line with the
    // row it chooses (capture channel at the bottom, file slots 1 to 4 above).
    const ParamDesc& source = entry("ModSrc");
    const char* sourceNames[] = {"CAPT", "FILE 1", "FILE 2", "FILE 3", "FILE 4"};
    double top = source.y + 8.0, bottom = source.y + source.height - 9.0;
    for (int i = 0; i < 5; ++i) {
        double y = bottom - (bottom - top) * i / 4;
        text(cr, sourceNames[i], source.x - 6, y + 3, 7, palette::caption, Align::Right);
    }

    captions(cr);
    return canvas.save(path);
}

bool capturePanel(const std::string& path) {
    Canvas canvas(200, 60);
    cairo_t* cr = canvas.cr();
    panelBackground(cr, 200, 60);
    for (double x : {6.0, 194.0})
        for (double y : {6.0, 54.0}) screw(cr, x, y);
    text(cr, "ZORVEK", 14, 21, 12, rgb(0xeceef1), Align::Left);
    text(cr, "CAPTURE", 14, 31, 7, palette::sources, Align::Left);
    // Mute switch at (128, 8) and channel selector at (84, 32), 16 high.
    text(cr, "MUTE", 123, 19, kCaptionSize, palette::caption, Align::Right);
    text(cr, "CHANNEL", 79, 43, kCaptionSize, palette::caption, Align::Right);
    return canvas.save(path);
}

}  // namespace art
