// One static descriptor per parameter entry: the single table that drives host names,
// chunks, the controller map, the editor layout and the port lists generated from it.
// Code names an entry by a string literal that the compiler looks up in this table
// (ParamId): a misspelt name does not build. Chunks and the controller map look names up
// at run time (PluginBase::findParameterIndex).
#pragma once

#include <cstdint>
#include <string_view>

// Editor control kinds.
enum ControlKind : int32_t {
    kKindNone = 0,  // a host parameter without a control
    kKindSwitch = 1,
    kKindVerticalSlider = 2,
    kKindKnob = 6,
    kKindWaveKnob = 7,
    kKindFileButton = 9,
    kKindFileName = 10,
    kKindChannelSelector = 11,
};

struct ParamDesc {
    ControlKind kind;
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

constexpr int kNumEntries = 64;  // parameter entries, including the editor-only ones
constexpr int kNumFileSlots = 4;

// One row per entry, kept whole.
// clang-format off
// Labels shared by the note-value formats of LfoSync, LfoFreq, BufSize and DlyTime.
#define kNoteValues "[1/32],[1/24],[1/16],[1/12],[1/8],[1/6],[1/4],[1/3],[1/2],[1/1]"
#define kWaveForms "S5,[Rnd],[Sin],[Tri],[Sqr],[Saw]"
#define kTuning "S49,[-24],[-23],[-22],[-21],[-20],[-19],[-18],[-17],[-16],[-15],[-14],[-13],[-12],[-11],[-10],[-09],[-08],[-07],[-06],[-05],[-04],[-03],[-02],[-01],[ 00],[+01],[+02],[+03],[+04],[+05],[+06],[+07],[+08],[+09],[+10],[+11],[+12],[+13],[+14],[+15],[+16],[+17],[+18],[+19],[+20],[+21],[+22],[+23],[+24]"

// kind, x, y, width, height, name, default, controller, bitmaps 1-3, positions,
// frame size, offset x, offset y, stepped, display format or default file name
inline constexpr ParamDesc kVocoderParams[kNumEntries] = {
    {kKindKnob, 536, 440, 32, 32, "Volume", 0.8f, 7, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 496, 440, 32, 32, "Pan", 0.5f, 10, 228, 141, 142, 0, 32, 0, 0, 0, "P"},
    {kKindVerticalSlider, 56, 320, 16, 112, "ModSrc", 1.0f, 41, 0, 0, 230, 5, 16, 0, 0, 0, "S5,[Source1],[Source2],[Source3],[Source4],[Soucr]"},
    {kKindKnob, 328, 200, 32, 32, "BndRng", 1.0f, 14, 224, 141, 142, 0, 32, 0, 0, 0, "S13,0,1,2,3,4,5,6,7,8,9,10,11,12"},
    {kKindWaveKnob, 40, 104, 32, 32, "Osc1Frm", 0.5f, 20, 232, 232, 137, 5, 32, 0, 0, 1, kWaveForms},
    {kKindKnob, 80, 104, 32, 32, "Osc1Tun", 0.5f, 21, 228, 141, 142, 0, 32, 0, 0, 0, kTuning},
    {kKindKnob, 120, 104, 32, 32, "Detun1", 0.5f, 22, 228, 141, 142, 0, 32, 0, 0, 0, "C"},
    {kKindKnob, 160, 104, 32, 32, "Osc1PW", 0.75f, 23, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindWaveKnob, 40, 168, 32, 32, "Osc2Frm", 0.5f, 24, 232, 232, 137, 5, 32, 0, 0, 1, kWaveForms},
    {kKindKnob, 80, 168, 32, 32, "Osc2Tun", 0.5f, 25, 228, 141, 142, 0, 32, 0, 0, 0, kTuning},
    {kKindKnob, 120, 168, 32, 32, "Detun2", 0.5f, 26, 228, 141, 142, 0, 32, 0, 0, 0, "C"},
    {kKindKnob, 160, 168, 32, 32, "Osc2PW", 0.75f, 27, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 200, 136, 32, 32, "OscMix", 0.5f, 28, 238, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindWaveKnob, 40, 232, 32, 32, "LfoForm", 0.5f, 29, 234, 234, 137, 6, 32, 0, 0, 1, "S6,[Rnd],[Sin],[Tri],[Sqr],[Ramp],[Saw]"},
    {kKindSwitch, 88, 240, 16, 16, "LfoSync", 0.0f, 30, 229, 0, 0, 0, 16, 0, 0, 0, "MLfoFreq:G:S10," kNoteValues},
    {kKindKnob, 120, 232, 32, 32, "LfoFreq", 0.5f, 31, 224, 141, 142, 0, 32, 0, 0, 0, "ILfoSync?S10," kNoteValues ":G"},
    {kKindKnob, 160, 232, 32, 32, "LfoFM", 0.0f, 32, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 200, 232, 32, 32, "LfoPWM", 0.0f, 33, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 240, 232, 32, 32, "LfoAM", 0.0f, 34, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 280, 232, 32, 32, "LfoFiltMod", 0.0f, 35, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 240, 104, 32, 32, "Cutoff", 1.0f, 36, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 280, 104, 32, 32, "Reso", 0.0f, 37, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 240, 168, 32, 32, "Attack", 0.0f, 38, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 280, 168, 32, 32, "Release", 0.0f, 39, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindSwitch, 336, 104, 16, 16, "Mono", 0.0f, 40, 229, 0, 0, 0, 16, 0, 0, 0, nullptr},
    {kKindKnob, 328, 144, 32, 32, "Glide", 0.0f, 5, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 416, 80, 32, 32, "FollowA", 0.5f, 42, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 416, 144, 32, 32, "FollowD", 0.5f, 43, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 456, 80, 32, 32, "ShiftA", 0.5f, 44, 228, 141, 142, 0, 32, 0, 0, 0, "C"},
    {kKindKnob, 456, 144, 32, 32, "ShiftD", 0.5f, 45, 228, 141, 142, 0, 32, 0, 0, 0, "C"},
    {kKindKnob, 496, 80, 32, 32, "Bands", 1.0f, 46, 224, 141, 142, 21, 32, 0, 0, 0, "S21,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21"},
    {kKindKnob, 496, 144, 32, 32, "Mangle", 0.0f, 47, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 536, 112, 32, 32, "AnaDigi", 0.5f, 48, 238, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindVerticalSlider, 432, 200, 16, 64, "Eq1", 0.5f, 49, 0, 0, 202, 0, 20, 0, 0, 0, nullptr},
    {kKindVerticalSlider, 456, 200, 16, 64, "Eq2", 0.5f, 50, 0, 0, 202, 0, 20, 0, 0, 0, nullptr},
    {kKindVerticalSlider, 480, 200, 16, 64, "Eq3", 0.5f, 51, 0, 0, 202, 0, 20, 0, 0, 0, nullptr},
    {kKindVerticalSlider, 504, 200, 16, 64, "Eq4", 0.5f, 52, 0, 0, 202, 0, 20, 0, 0, 0, nullptr},
    {kKindVerticalSlider, 528, 200, 16, 64, "Eq5", 0.5f, 53, 0, 0, 202, 0, 20, 0, 0, 0, nullptr},
    {kKindVerticalSlider, 552, 200, 16, 64, "Eq6", 0.5f, 54, 0, 0, 202, 0, 20, 0, 0, 0, nullptr},
    {kKindSwitch, 248, 448, 16, 16, "Freeze", 0.0f, 55, 229, 0, 0, 0, 16, 0, 0, 0, nullptr},
    {kKindKnob, 288, 440, 32, 32, "BufSize", 0.0f, 56, 224, 141, 142, 0, 32, 0, 0, 0, "S10," kNoteValues},
    {kKindSwitch, 56, 56, 16, 16, "CarCap", 0.0f, 57, 229, 0, 0, 0, 16, 0, 0, 0, nullptr},
    {kKindChannelSelector, 152, 416, 96, 16, "ModCh", 0.0f, 58, 235, 0, 0, 0, 16, 0, 0, 0, nullptr},
    {kKindChannelSelector, 152, 56, 96, 16, "CarCh", 0.0f, 59, 235, 0, 0, 0, 16, 0, 0, 0, nullptr},
    {kKindSwitch, 256, 56, 16, 16, "CarSt", 0.0f, 60, 229, 0, 0, 0, 16, 0, 0, 0, nullptr},
    {kKindKnob, 376, 376, 32, 32, "DlyTime", 0.0f, 61, 224, 141, 142, 0, 32, 0, 0, 0, "S10," kNoteValues},
    {kKindKnob, 416, 376, 32, 32, "DlyFbk", 0.0f, 62, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 456, 376, 32, 32, "DlyLv", 0.0f, 63, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 376, 312, 32, 32, "ChrsRat", 0.5f, 64, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 416, 312, 32, 32, "ChrsLv", 0.2f, 65, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 376, 440, 32, 32, "RevTime", 0.2f, 66, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 456, 440, 32, 32, "RevLevel", 0.2f, 67, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 416, 440, 32, 32, "RevStereo", 0.5f, 68, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 496, 312, 32, 32, "MixCar", 0.0f, 69, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 536, 312, 32, 32, "MixMod", 0.0f, 70, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindKnob, 518, 360, 32, 32, "MixVoc", 0.5f, 71, 224, 141, 142, 0, 32, 0, 0, 0, nullptr},
    {kKindFileButton, 296, 392, 15, 10, "SetFil1", 0.0f, 0, 236, 0, 0, 0, 10, 0, 0, 0, "File1"},
    {kKindFileButton, 296, 368, 15, 10, "SetFil2", 0.0f, 0, 236, 0, 0, 0, 10, 0, 0, 0, "File2"},
    {kKindFileButton, 296, 344, 15, 10, "SetFil3", 0.0f, 0, 236, 0, 0, 0, 10, 0, 0, 0, "File3"},
    {kKindFileButton, 296, 320, 15, 10, "SetFil4", 0.0f, 0, 236, 0, 0, 0, 10, 0, 0, 0, "File4"},
    {kKindFileName, 80, 392, 208, 16, "File1", 0.0f, 0, 237, 0, 0, 0, 0, 0, 0, 0, ".\\drumloop.wav"},
    {kKindFileName, 80, 368, 208, 16, "File2", 0.0f, 0, 237, 0, 0, 0, 0, 0, 0, 0, ".\\someone.wav"},
    {kKindFileName, 80, 344, 208, 16, "File3", 0.0f, 0, 237, 0, 0, 0, 0, 0, 0, 0, ".\\testing1-2-3.wav"},
    {kKindFileName, 80, 320, 208, 16, "File4", 0.0f, 0, 237, 0, 0, 0, 0, 0, 0, 0, ".\\speech.wav"},
};

// clang-format on
#undef kNoteValues
#undef kWaveForms
#undef kTuning

// Reached only while evaluating a name that is not in the table: not being constexpr, it
// turns that evaluation, and so the build, into an error that names it.
void unknownParameterName();

consteval int32_t paramIndex(std::string_view name) {
    for (int32_t i = 0; i < kNumEntries; ++i)
        if (name == kVocoderParams[i].name) return i;
    unknownParameterName();
    return -1;
}

// An entry named in code, checked when compiled: `bindParameter("Cutoff")`.
struct ParamId {
    int32_t index;
    consteval ParamId(const char* name) : index(paramIndex(name)) {}
};

constexpr int kNumAutomatable = paramIndex("SetFil1");  // the entries the host sees
constexpr int kFirstFileButton = paramIndex("SetFil1");
constexpr int kFirstFileEntry = paramIndex("File1");
