// The display format language of the parameter table: the text a knob's value box
// shows, the steps knobs and sliders snap to, and the rule by which a switch swaps the
// format of another parameter's control.
#pragma once

#include <cstddef>

// Room every formatValue output buffer must have.
inline constexpr size_t kFormatTextSize = 256;

// Writes the display text of a normalised value (0..1) for format (may be null) into
// text, which holds kFormatTextSize characters.
void formatValue(float value, char* text, const char* format);

// formatValue as a pop-up shows it: a note value drops its brackets ("[1/8]" shows
// as "1/8").
void popupValueText(float value, char* text, const char* format);

// The number of steps an "S" format asks for; 0 (no snapping) for every other format
// and for counts below 2.
int stepCount(const char* format);

// trunc(value x (steps - 1) + 0.5) / (steps - 1); steps must be at least 2.
float quantise(float value, int steps);

// A switch's "M<target>:<off format>:<on format>" rule, resolved for one switch value.
struct SwitchRule {
    char target[16];     // the parameter whose control takes the format
    const char* format;  // points into the switch's format string
};

// Fills rule for a switch whose format is an "M" rule; false for any other format.
// Below 0.5 the format is the text after the first colon, otherwise the text after
// the second one.
bool resolveSwitchRule(const char* switchFormat, float switchValue, SwitchRule& rule);
