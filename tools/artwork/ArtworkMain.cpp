// zorvek-artwork <output folder>: draws every bitmap of both editors into
// vocoder-<id>.png and capture-<id>.png, and again at each larger editor scale into
// vocoder-<id>@<percent>.png and capture-<id>@<percent>.png. Deterministic: the same
// fonts and cairo give the same files.
#include <cairo.h>
#include <dlfcn.h>

#include <cstdio>
#include <functional>
#include <string>

#include "ControlArt.h"
#include "PanelArt.h"

namespace {

using Namer = std::function<std::string(int)>;

bool drawAll(const Namer& vocoder, const Namer& capture) {
    using art::WaveForm;
    return art::valueBox(vocoder(131)) && art::selectorHandle(vocoder(137)) && art::popupSlider(vocoder(141)) &&
           art::popupHandle(vocoder(142)) && art::sliderHandle(vocoder(202), 16, 8) &&
           art::knobStrip(vocoder(224), art::KnobStyle::Unipolar) && art::vocoderPanel(vocoder(227)) &&
           art::knobStrip(vocoder(228), art::KnobStyle::Bipolar) && art::switchPicture(vocoder(229)) &&
           art::sliderHandle(vocoder(230), 16, 16) &&
           art::waveStrip(vocoder(232),
                          {WaveForm::Random, WaveForm::Sine, WaveForm::Triangle, WaveForm::Square, WaveForm::Saw}) &&
           art::waveStrip(vocoder(234), {WaveForm::Random, WaveForm::Sine, WaveForm::Triangle, WaveForm::Square,
                                         WaveForm::Ramp, WaveForm::Saw}) &&
           art::channelSelector(vocoder(235)) && art::fileButton(vocoder(236)) && art::fileField(vocoder(237)) &&
           art::knobStrip(vocoder(238), art::KnobStyle::Crossfade) && art::capturePanel(capture(140)) &&
           art::switchPicture(capture(141)) && art::channelSelector(capture(142));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    // The editors' scales: whole quarters from 100 to 200 percent.
    for (int percent : {100, 125, 150, 175, 200}) {
        art::setScale(percent / 100.0);
        std::string suffix = ".png";
        if (percent != 100) suffix = '@' + std::to_string(percent) + suffix;
        auto vocoder = [&](int id) { return folder + "/vocoder-" + std::to_string(id) + suffix; };
        auto capture = [&](int id) { return folder + "/capture-" + std::to_string(id) + suffix; };
        ok = ok && drawAll(vocoder, capture);
    }
    // Text fills process-wide font caches; emptied so that a leak checker sees only
    // what the drawing itself left. Fontconfig comes in with cairo: looked up, not linked.
    cairo_debug_reset_static_data();
    if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
    if (!ok) {
        std::fprintf(stderr, "zorvek-artwork: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
