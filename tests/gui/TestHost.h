// An effect on the test host's callback, and a minimal editor on the toolkit base whose
// frame is offscreen unless a parent window is given.
#pragma once

#include <tuple>
#include <utility>
#include <vector>

#include "gui/AEffGUIEditor.h"
#include "gui/CFrame.h"
#include "host/AudioEffectX.h"
#include "support/HostCallback.h"

namespace testhost {

class Effect : public AudioEffectX {
public:
    Effect() : AudioEffectX(callback, 1, 64) {}
};

class Editor : public AEffGUIEditor {
public:
    static constexpr int32_t kWidth = 608, kHeight = 512;

    explicit Editor(AudioEffectX* effect, int32_t parameters = 64) : AEffGUIEditor(effect, parameters) {
        rect = ERect{0, 0, kHeight, kWidth};
    }
    int32_t open(void* parent) override {
        AEffGUIEditor::open(parent);
        frame = new CFrame(CRect(0, 0, kWidth, kHeight), parent, this);
        return 1;
    }
    // (index, value, sawNonZero) of every delivered change.
    std::vector<std::tuple<int32_t, float, bool>> delivered;

protected:
    void parameterChanged(int32_t index, float value, bool sawNonZero) override {
        delivered.emplace_back(index, value, sawNonZero);
    }
};

}  // namespace testhost
