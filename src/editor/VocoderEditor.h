// The editor of Zorvek2: a 608 x 512 window (in editor units, scaled to the screen)
// showing bitmap 227 with one control per entry of the parameter table, chosen by the
// entry's kind. It writes parameters through the plug-in's setParameterAutomated,
// follows every parameter change (delivered to idle, so the audio thread never touches a
// view) and lets the user choose WAV files for the four file slots through the desktop's
// file chooser or by typing a path. While open it shows the vocoder's band levels live,
// and a value (or a file slot's trouble) when the pointer rests on a control.
#pragma once

#include <chrono>
#include <string>

#include "framework/ParamDesc.h"
#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "platform/FileDialog.h"

class BandDisplay;
class CBitmap;
class CParamDisplay;
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
    // Why file slot 0..3 plays nothing although it names a file; "" when it plays.
    const std::string& fileTrouble(int slot) const { return trouble[slot]; }
    BandDisplay* getBandDisplay() const { return bandDisplay; }
    // The value box shown for a resting pointer, null when none is shown.
    CParamDisplay* getHoverBox() const { return hoverBox; }

    // Where the band display sits: the free part of the modulator group, below the
    // freeze row's rule and left of its captions.
    static constexpr CRect kBandDisplayRect{28, 443, 204, 491};
    static constexpr int32_t kBandFramesPerSecond = 30;
    // How long the pointer rests on a control before its value shows.
    static constexpr std::chrono::milliseconds kHoverDelay{500};

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
    void followFileStates();
    void followHover();
    void showHoverBox(CControl* control);
    void hideHoverBox();
    // The hover box's text: the reason of a file field, else the value in its format.
    static void hoverString(float value, char* text, const void* editor);

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
    std::string trouble[kNumFileSlots];
    std::string checkedText[kNumFileSlots];  // the path trouble was judged for

    BandDisplay* bandDisplay = nullptr;
    std::chrono::steady_clock::time_point lastBandFrame;
    CView* hoverCandidate = nullptr;
    std::chrono::steady_clock::time_point hoverSince;
    CParamDisplay* hoverBox = nullptr;
    CControl* hoverControl = nullptr;
    const char* hoverFormat = nullptr;
    std::string hoverText;  // shown instead of the value when not empty
};
