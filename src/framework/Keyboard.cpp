#include "framework/Keyboard.h"

#include <cmath>

#include "dsp/ExpTables.h"

const ParamValue Keyboard::unitBendRange{1.0f};

Keyboard::Keyboard() : bendRangeParam(&unitBendRange) {}

void Keyboard::zero() {
    mono = 0;
    for (int v = 0; v < kVoices; ++v) {
        age[v] = 0;
        targetPitch[v] = 0.0f;
        currentPitch[v] = 0.0f;
    }
}

float Keyboard::notePitch(int n) {
    float p = static_cast<float>(n) * 0.008333334f + 0.003135971f;
    return p > 1.0f ? 1.0f : p;
}

void Keyboard::noteOn(int n, int velocity) {
    int32_t newMono = static_cast<int32_t>(readParam(monoParam) + 0.5f);
    if (newMono != mono) {
        // A mode change restarts every pitch from the bottom.
        for (int v = 0; v < kVoices; ++v) {
            age[v] = 0;
            targetPitch[v] = 0.0f;
            currentPitch[v] = 0.0f;
        }
        mono = newMono;
    }
    float p = notePitch(n);
    float vel = static_cast<float>(velocity) * 0.007874016f;
    if (mono) {
        note[0] = n;
        targetPitch[0] = p;
        keyVelocity[0] = vel;
        gateVelocities.v[0] = vel;
        active[0] = 1;
        return;
    }
    int chosen = -1;
    for (int v = kVoices - 1; v >= 0; --v) {
        if (active[v] == 0) {
            chosen = v;
            break;
        }
    }
    if (chosen < 0) {
        // Reuse the released voice whose key went up longest ago.
        for (int v = kVoices - 1; v >= 0; --v) {
            if (keyVelocity[v] == 0.0f && (chosen < 0 || age[v] > age[chosen])) chosen = v;
        }
    }
    if (chosen < 0) return;  // every key is held
    active[chosen] = 1;
    note[chosen] = n;
    targetPitch[chosen] = p;
    keyVelocity[chosen] = vel;
    gateVelocities.v[chosen] = vel;
}

void Keyboard::noteOff(int n) {
    if (mono) {
        if (note[0] == n) {
            keyVelocity[0] = 0.0f;
            if (!sustain) gateVelocities.v[0] = 0.0f;
        }
        return;
    }
    for (int v = 0; v < kVoices; ++v) {
        if (keyVelocity[v] == 0.0f) {
            ++age[v];
        } else if (note[v] == n) {
            keyVelocity[v] = 0.0f;
            age[v] = 0;
            if (!sustain) gateVelocities.v[v] = 0.0f;
        }
    }
}

void Keyboard::sustainPedal(int value) {
    sustain = value & 0x40;
    if (sustain) return;
    for (int v = 0; v < kVoices; ++v)
        if (keyVelocity[v] == 0.0f) gateVelocities.v[v] = 0.0f;
}

void Keyboard::resetPitches() {
    for (int v = 0; v < kVoices; ++v) {
        age[v] = 0;
        targetPitch[v] = 0.0f;
        currentPitch[v] = 0.0f;
    }
}

void Keyboard::pitchBend(int value) {
    bend = (static_cast<float>(value) * (1.0f / 16384.0f) - 0.5f) * readParam(bendRangeParam) * 0.2f;
}

void Keyboard::controlUpdate(int32_t tick) {
    if (!tick) return;
    // k = 10^(-3 x Glide): 1 (no glide) at 0, 0.001 at 1.
    float k = 1.0f / fastExp10(readParam(glideParam) * 3.0f);
    for (int v = kVoices - 1; v >= 0; --v) {
        currentPitch[v] += (targetPitch[v] - currentPitch[v]) * k;
        pitchValues.v[v] = currentPitch[v] + bend;
        if (envelopeLevel->v[v] == 0.0f) active[v] = 0;
    }
}
