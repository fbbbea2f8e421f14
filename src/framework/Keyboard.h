// Eight-voice note assignment with glide, pitch bend and sustain. Its pitch values,
// gate velocities and voice active flags drive the synthesizer and the vocoder.
// Audio thread only, apart from construction and binding.
#pragma once

#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/ParamValue.h"

class Keyboard {
public:
    Keyboard();

    void noteOn(int note, int velocity);
    void noteOff(int note);
    void sustainPedal(int value);
    void resetPitches();
    // 14-bit bend value, 0x2000 is the centre.
    void pitchBend(int value);
    // Glide and the voice-activity test; does work only when tick is nonzero.
    void controlUpdate(int32_t tick);
    void zero();

    static float notePitch(int note);

    int32_t mono = 0;
    int32_t note[kVoices] = {};
    int32_t age[kVoices] = {};
    float targetPitch[kVoices] = {};
    float currentPitch[kVoices] = {};
    float bend = 0.0f;
    int32_t sustain = 0;
    float keyVelocity[kVoices] = {};
    int32_t active[kVoices] = {};
    VoiceVector pitchValues;
    VoiceVector gateVelocities;

    // Bound by the plug-in assembly.
    const VoiceVector* envelopeLevel = &zeros::voiceVector;
    const ParamValue* monoParam = &zeros::param;
    const ParamValue* glideParam = &zeros::param;
    const ParamValue* bendRangeParam;

private:
    static const ParamValue unitBendRange;
};
