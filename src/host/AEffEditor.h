// Interface between the host adapter and a plug-in's editor window.
#pragma once

#include <cstdint>

#include "host/Vst2.h"

class AEffEditor {
public:
    virtual ~AEffEditor() = default;
    // All operations run on the host's user-interface thread.
    virtual int32_t getRect(ERect** rect) = 0;
    virtual int32_t open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
    virtual int32_t onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) = 0;
    virtual int32_t onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers) = 0;
    virtual int32_t setKnobMode(int32_t mode) = 0;
    // A parameter changed (any thread, the audio thread for MIDI controllers): an
    // editor that shows it updates its control.
    virtual void setParameter(int32_t index, float value) {
        (void)index;
        (void)value;
    }
};
