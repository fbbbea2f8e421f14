// One static descriptor per parameter entry: the single table that drives host names,
// chunks, the controller map and the editor layout.
#pragma once

#include <cstdint>

// Editor control kinds.
enum ControlKind : int32_t {
    kKindSwitch = 1,
    kKindVerticalSlider = 2,
    kKindKnob = 6,
    kKindWaveKnob = 7,
    kKindFileButton = 9,
    kKindFileName = 10,
    kKindChannelSelector = 11,
};

struct ParamDesc {
    int32_t kind;
    int32_t x, y;
    int32_t width, height;
    const char* name;
    float defaultValue;
    int32_t defaultController;  // 0 = none
    int32_t bitmap1, bitmap2, bitmap3;
    int32_t positions;
    int32_t frameSize;
    int32_t offsetX, offsetY;
    int32_t stepped;
    const char* text;  // display format, or the default file name of a file entry
};

constexpr int kNumEntries = 64;     // parameter entries, including the editor-only ones
constexpr int kNumAutomatable = 56; // the ones the host sees
constexpr int kFirstFileButton = 56;
constexpr int kFirstFileEntry = 60;
constexpr int kNumFileSlots = 4;

extern const ParamDesc kVocoderParams[kNumEntries];
