// Base of the plug-ins' editors on this toolkit: window rectangle, the frame while the
// editor is open, idle handling, key forwarding, the knob mode, begin/end of edits,
// and parameter changes from any thread delivered to the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "gui/CRect.h"
#include "gui/ParameterMailbox.h"
#include "host/AEffEditor.h"

class AudioEffectX;
class CFrame;

enum CKnobMode : int32_t { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

class AEffGUIEditor : public AEffEditor {
public:
    // parameterCount: how many parameter indices setParameter accepts.
    AEffGUIEditor(AudioEffectX* effect, int32_t parameterCount);
    ~AEffGUIEditor() override;

    int32_t getRect(ERect** rect) override;
    // Derived editors call this first, then create the frame with the parent window.
    int32_t open(void* parentWindow) override;
    // Ends a gesture in progress, then destroys the frame with its views; derived
    // editors call it while they can still hear from their controls.
    void close() override;
    // Delivers pending parameter changes, handles window events, redraws.
    void idle() override;
    int32_t onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) override;
    int32_t onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers) override;
    // The knob mode is one setting for every editor in the process.
    int32_t setKnobMode(int32_t mode) override;
    static int32_t getKnobMode();

    // Any thread, lock-free: the change reaches parameterChanged at the next idle,
    // which also redraws every view it made dirty.
    void setParameter(int32_t index, float value) override;

    // A gesture on a parameter starts or ends (host calls begin/end edit).
    void beginEdit(int32_t index);
    void endEdit(int32_t index);

    // Editor units to pixels: 1 is the size the layout is drawn for.
    double getScale() const { return scale; }
    // A format adapter that sizes the editor's parent window itself learns here of each
    // new size (pixels); without one the host is asked through audioMasterSizeWindow.
    using SizeHandler = void (*)(void* context, int32_t width, int32_t height);
    void setSizeHandler(SizeHandler handler, void* context) {
        sizeHandler = handler;
        sizeContext = context;
    }

    // A press on the frame where no control is; true when the editor used it.
    virtual bool onBackgroundMouseDown(const CPoint& where, int32_t buttons) {
        (void)where;
        (void)buttons;
        return false;
    }

    AudioEffectX* getEffect() const { return effect; }
    CFrame* getFrame() const { return frame; }
    void* getSystemWindow() const { return systemWindow; }

protected:
    // User-interface thread, from idle, only while the frame exists: the latest value
    // posted for index, and whether any value other than 0 was posted since the last
    // delivery.
    virtual void parameterChanged(int32_t index, float value, bool sawNonZero) {
        (void)index;
        (void)value;
        (void)sawNonZero;
    }

    // Sets the window rectangle to units x scale pixels.
    void setSize(int32_t unitWidth, int32_t unitHeight, double newScale);
    // Asks the adapter (or the host) to give the parent window the rectangle's size.
    void requestHostSize();

    AudioEffectX* effect;
    CFrame* frame = nullptr;
    ERect rect{};
    double scale = 1.0;
    void* systemWindow = nullptr;

private:
    ParameterMailbox pending;
    SizeHandler sizeHandler = nullptr;
    void* sizeContext = nullptr;
    static std::atomic<int32_t> knobMode;
};
