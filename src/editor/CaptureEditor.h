// The editor of ZorvekCapture: a 200 x 60 window (bitmap 140) with an on/off switch for
// Mute and a four-position selector for Channel. It follows the plug-in's parameter
// changes while open, host automation included (delivered to idle).
#pragma once

#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"

class CBitmap;
class CapturePlugin;

class CaptureEditor : public AEffGUIEditor, public CControlListener {
public:
    static constexpr int32_t kBackgroundBitmap = 140;
    static constexpr int32_t kSwitchBitmap = 141;
    static constexpr int32_t kSelectorBitmap = 142;

    explicit CaptureEditor(CapturePlugin* plugin);
    ~CaptureEditor() override;

    int32_t open(void* parentWindow) override;
    void close() override;
    void valueChanged(CDrawContext* context, CControl* control) override;

    bool isOpen() const { return opened; }
    // The mute switch and the channel selector while open, else null.
    CControl* control(int32_t index) const;

protected:
    void parameterChanged(int32_t index, float value, bool sawNonZero) override;

private:
    CapturePlugin* plugin;
    CBitmap* background;
    CBitmap* switchPicture;
    CBitmap* selectorPicture;
    CControl* controls[2] = {};
    bool opened = false;
};
