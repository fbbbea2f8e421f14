// Pictures of the controls: knob strips, switches, selectors, wave-form strips,
// pop-up parts, handles and file controls. Each writes one PNG; false on failure.
#pragma once

#include <string>
#include <vector>

#include "Painter.h"

namespace art {

// Unipolar: the arc grows from the left end; Bipolar: from the top centre (pan, tune,
// detune, shift); Crossfade: two colours share the ring (oscillator and path mixes).
enum class KnobStyle { Unipolar, Bipolar, Crossfade };
enum class WaveForm { Random, Sine, Triangle, Square, Ramp, Saw };

// 31 pictures of 32 x 32 side by side, value 0 to 1.
bool knobStrip(const std::string& path, KnobStyle style);
// One 32 x 32 picture per form, side by side.
bool waveStrip(const std::string& path, const std::vector<WaveForm>& forms);
// 16 x 32: off above, on below.
bool switchPicture(const std::string& path);
// 96 x 64: four pictures of 96 x 16, channel 1 selected at the top.
bool channelSelector(const std::string& path);
// Knob pop-up: slider background 150 x 20, its handle 10 x 20, value box 80 x 20.
bool popupSlider(const std::string& path);
bool popupHandle(const std::string& path);
bool valueBox(const std::string& path);
// 30 x 30 frame over a wave-form strip.
bool selectorHandle(const std::string& path);
bool sliderHandle(const std::string& path, int width, int height);
// 24 x 32: up above, pressed below.
bool fileButton(const std::string& path);
// 208 x 16 background of a file name.
bool fileField(const std::string& path);

}  // namespace art
