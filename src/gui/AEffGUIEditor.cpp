#include "gui/AEffGUIEditor.h"

#include <cmath>

#include "gui/CFrame.h"
#include "gui/InputCodes.h"
#include "host/AudioEffectX.h"

std::atomic<int32_t> AEffGUIEditor::knobMode{kCircularMode};

AEffGUIEditor::AEffGUIEditor(AudioEffectX* owner, int32_t parameterCount) : effect(owner), pending(parameterCount) {}

// Without close the derived editor, the views' listener, is already gone: the frame
// goes without ending a gesture.
AEffGUIEditor::~AEffGUIEditor() { delete frame; }

int32_t AEffGUIEditor::getRect(ERect** out) {
    if (!out) return 0;
    *out = &rect;
    return 1;
}

int32_t AEffGUIEditor::open(void* parentWindow) {
    systemWindow = parentWindow;
    // The controls are built from the current values: older news is stale.
    pending.clear();
    return 1;
}

void AEffGUIEditor::close() {
    if (frame) frame->endGesture();
    delete frame;
    frame = nullptr;
    systemWindow = nullptr;
}

void AEffGUIEditor::idle() {
    if (!frame) {
        pending.clear();
        return;
    }
    pending.collect([this](int32_t index, float value, bool sawNonZero) {
        if (frame) parameterChanged(index, value, sawNonZero);
    });
    if (frame) frame->idle();
}

int32_t AEffGUIEditor::onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) {
    if (!frame) return 0;
    VstKeyCode key;
    key.character = character;
    key.virt = static_cast<uint8_t>(virtualKey);
    key.modifier = static_cast<uint8_t>(modifiers);
    return frame->onKeyDown(key) == 1 ? 1 : 0;
}

int32_t AEffGUIEditor::onKeyUp(int32_t, int32_t, int32_t) { return 0; }

int32_t AEffGUIEditor::setKnobMode(int32_t mode) {
    knobMode.store(mode, std::memory_order_relaxed);
    return 1;
}

int32_t AEffGUIEditor::getKnobMode() { return knobMode.load(std::memory_order_relaxed); }

void AEffGUIEditor::setParameter(int32_t index, float value) { pending.post(index, value); }

void AEffGUIEditor::beginEdit(int32_t index) {
    if (effect) effect->callHost(audioMasterBeginEdit, index);
}

void AEffGUIEditor::endEdit(int32_t index) {
    if (effect) effect->callHost(audioMasterEndEdit, index);
}

void AEffGUIEditor::setSize(int32_t unitWidth, int32_t unitHeight, double newScale) {
    scale = newScale;
    rect = ERect{0, 0, static_cast<int16_t>(std::ceil(unitHeight * scale)),
                 static_cast<int16_t>(std::ceil(unitWidth * scale))};
}

void AEffGUIEditor::requestHostSize() {
    if (sizeHandler)
        sizeHandler(sizeContext, rect.right, rect.bottom);
    else if (effect)
        effect->callHost(audioMasterSizeWindow, rect.right, rect.bottom);
}
