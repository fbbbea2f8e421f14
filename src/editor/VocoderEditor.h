// The editor of Zorvek2: a 608 x 512 window showing bitmap 227 with one control per
// entry of the parameter table, chosen by the entry's kind. It writes parameters through
// the plug-in's setParameterAutomated, follows every parameter change (delivered to
// idle, so the audio thread never touches a view) and lets the user choose WAV files
// for the four file slots through the desktop's file chooser.
#pragma once

#include <string>

#include "framework/ParamDesc.h"
#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "platform/FileDialog.h"

class CBitmap;
class CTextEdit;
class VocoderPlugin;

class VocoderEditor : public AEffGUIEditor, public CControlListener {
public:
    static constexpr int32_t kBackgroundBitmap = 227;

    // Loads the window picture; the controls are built at each open.
    explicit VocoderEditor(VocoderPlugin* plugin);
    ~VocoderEditor() override;

    // The size at the scale the editor will open with (the user's menu choice, else the
    // screen's density).
    int32_t getRect(ERect** rect) override;
    int32_t open(void* parentWindow) override;
    void close() override;
    // Parameter changes, the file chooser's answer, file names a chunk has set, redraws.
    void idle() override;

    // User-interface thread: a control changed by the user.
    void valueChanged(CDrawContext* context, CControl* control) override;

    // A right click on the panel opens the scale menu.
    bool onBackgroundMouseDown(const CPoint& where, int32_t buttons) override;
    // The menu's choice, in percent: saved, then the editor is built anew at that scale
    // at the next idle and the host asked for the new size.
    void chooseScale(int32_t percent);

    bool isOpen() const { return opened; }
    // The file field waiting for the chooser's answer, -1 when none is open.
    int32_t pendingFileField() const { return dialogField; }

protected:
    void parameterChanged(int32_t index, float value, bool sawNonZero) override;

private:
    double wantedScale() const;
    CControl* buildControl(int32_t index);
    CBitmap* sharedBitmap(int32_t id);
    void releaseSharedBitmaps();
    void applySwitchRule(int32_t index);
    CTextEdit* fileField(int32_t entry) const;
    void startFileSelection(int32_t buttonIndex);
    void pollFileSelection();
    void followFileEntries();

    VocoderPlugin* plugin;
    CBitmap* background;
    double backgroundScale = 1.0;
    int32_t unitWidth, unitHeight;
    bool opened = false;
    int32_t sessionScale = 0;  // percent chosen from the menu while this instance lives
    bool rebuildPending = false;

    // Pictures loaded once per open and shared by the controls built from them.
    struct Loaded {
        int32_t id;
        CBitmap* bitmap;
    };
    Loaded loaded[32] = {};
    int loadedCount = 0;

    platform::FileDialog dialog;
    int32_t dialogField = -1;
    // Each file entry's text as the field last took it: a chunk that loads another file
    // changes the entry, and the field follows.
    std::string shownEntryText[kNumFileSlots];
};
