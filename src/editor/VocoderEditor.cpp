#include "editor/VocoderEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>

#include "editor/FileButton.h"
#include "editor/BandDisplay.h"
#include "editor/EditorSettings.h"
#include "editor/PopupKnob.h"
#include "editor/PopupPlacement.h"
#include "editor/ScaleMenu.h"
#include "editor/SteppedSlider.h"
#include "editor/ToggleButton.h"
#include "editor/ValueFormat.h"
#include "framework/VocoderPlugin.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CHorizontalSwitch.h"
#include "gui/CParamDisplay.h"
#include "gui/CTextEdit.h"
#include "gui/X11Window.h"
#include "platform/MessageBox.h"
#include "platform/ModulePath.h"
#include "vocoder/BandLevels.h"
#include "vocoder/WavReader.h"

namespace {

// The window's size when its picture is missing.
constexpr int32_t kWidth = 608;
constexpr int32_t kHeight = 512;
constexpr CColor kFileNameColour{200, 180, 180, 255};
// A slot whose file did not load.
constexpr CColor kFileTroubleColour{255, 96, 64, 255};
constexpr CColor kHoverTextColour{230, 232, 236, 255};
constexpr CColor kHoverBackColour{15, 18, 21, 235};

int32_t popupMode(ControlKind kind) {
    return kind == kKindKnob ? PopupKnob::kHorizontalStrip : PopupKnob::kHorizontalStrip | PopupKnob::kPopupRight;
}

}  // namespace

VocoderEditor::VocoderEditor(VocoderPlugin* owner)
    : AEffGUIEditor(owner, kNumEntries), plugin(owner), background(new CBitmap(kBackgroundBitmap)) {
    for (int32_t i = 0; i < kNumEntries; ++i) plugin->parameter(i).control = nullptr;
    unitWidth = background->isLoaded() ? background->getWidth() : kWidth;
    unitHeight = background->isLoaded() ? background->getHeight() : kHeight;
    setSize(unitWidth, unitHeight, 1.0);
}

double VocoderEditor::wantedScale() const {
    if (sessionScale) return sessionScale / 100.0;
    if (int32_t saved = editorsettings::savedScale()) return saved / 100.0;
    return X11Window::screenScale();
}

int32_t VocoderEditor::getRect(ERect** out) {
    if (!frame) setSize(unitWidth, unitHeight, wantedScale());
    return AEffGUIEditor::getRect(out);
}

VocoderEditor::~VocoderEditor() {
    // The plug-in's entries may be gone already (the adapter deletes its editor last):
    // only the frame and the pictures are released here.
    opened = false;
    dialog.cancel();
    delete frame;
    frame = nullptr;
    background->forget();
}

CBitmap* VocoderEditor::sharedBitmap(int32_t id) {
    for (int i = 0; i < loadedCount; ++i)
        if (loaded[i].id == id) return loaded[i].bitmap;
    if (id == kBackgroundBitmap) return background;
    auto* bitmap = new CBitmap(id, scale);
    if (loadedCount < static_cast<int>(std::size(loaded))) loaded[loadedCount++] = {id, bitmap};
    return bitmap;
}

void VocoderEditor::releaseSharedBitmaps() {
    for (int i = 0; i < loadedCount; ++i) loaded[i].bitmap->forget();
    loadedCount = 0;
}

int32_t VocoderEditor::open(void* parentWindow) {
    // Opened again without a close (a host moving the editor to another window): the
    // old frame goes first, as at a close.
    if (frame) close();
    AEffGUIEditor::open(parentWindow);
    setSize(unitWidth, unitHeight, wantedScale());
    if (backgroundScale != scale) {
        background->forget();
        background = new CBitmap(kBackgroundBitmap, scale);
        backgroundScale = scale;
    }
    frame = new CFrame(CRect(0, 0, unitWidth, unitHeight), parentWindow, this, scale);
    frame->setBackground(background);
    // Creation order is drawing order.
    for (int32_t i = 0; i < kNumEntries; ++i) {
        CControl* control = buildControl(i);
        if (!control) continue;
        Parameter& entry = plugin->parameter(i);
        if (entry.kind != kKindFileName) {
            control->setValue(plugin->getParameter(i));
            // A reset (double click, control-click) returns to the factory "Default" sound.
            control->setDefaultValue(i < kNumAutomatable ? plugin->defaultProgramValue(i) : entry.defaultValue);
        }
        frame->addView(control);
        entry.control = control;
    }
    releaseSharedBitmaps();
    for (int s = 0; s < kNumFileSlots; ++s) {
        const char* text = plugin->parameter(kFirstFileEntry + s).text.load(std::memory_order_relaxed);
        shownEntryText[s] = text ? text : "";
    }
    bandDisplay = new BandDisplay(kBandDisplayRect, plugin->bandLevels());
    frame->addView(bandDisplay);
    if (BandLevels* levels = plugin->bandLevels()) levels->setWatched(true);
    for (std::string& reason : trouble) reason.clear();
    followFileStates();
    // Changes that arrive from here on are shown.
    opened = true;
    return 1;
}

CControl* VocoderEditor::buildControl(int32_t index) {
    const Parameter& entry = plugin->parameter(index);
    const char* text = entry.text.load(std::memory_order_relaxed);
    const int32_t x = entry.x, y = entry.y;
    const CRect size(x, y, x + entry.width, y + entry.height);
    switch (entry.kind) {
        case kKindSwitch: {
            CBitmap* bitmap = sharedBitmap(entry.bitmap1);
            return new ToggleButton(CRect(x, y, x + bitmap->getWidth(), y + bitmap->getHeight() / 2), this, index,
                                    bitmap);
        }
        case kKindVerticalSlider: {
            CBitmap* handle = sharedBitmap(entry.bitmap3);
            int32_t handleHeight = handle->getHeight();
            if (entry.bitmap1 == 0)
                // The slider shows the part of the window picture beneath it.
                return new SteppedSlider(size, this, index, y, y + entry.height - handleHeight - 1, handle, background,
                                         CPoint(x, y), kBottom, text);
            CBitmap* own = sharedBitmap(entry.bitmap1);
            return new SteppedSlider(size, this, index, y, y + own->getHeight() - handleHeight - 1, handle, own,
                                     CPoint(entry.offsetX, entry.offsetY), kBottom, text);
        }
        case kKindKnob:
        case kKindWaveKnob: {
            CBitmap* strip = sharedBitmap(entry.bitmap1);
            int32_t frames = entry.frameSize > 0 ? std::max(1, strip->getWidth() / entry.frameSize) : 1;
            return new PopupKnob(size, this, index, frames, entry.frameSize, strip, entry.bitmap2, entry.bitmap3,
                                 CPoint(entry.offsetX, entry.offsetY), text, popupMode(entry.kind), scale);
        }
        case kKindFileButton: {
            CBitmap* bitmap = sharedBitmap(entry.bitmap1);
            return new FileButton(CRect(x, y, x + bitmap->getWidth(), y + bitmap->getHeight() / 2), this, index,
                                  bitmap);
        }
        case kKindFileName: {
            auto* field = new CTextEdit(size, this, index, text, sharedBitmap(entry.bitmap1));
            field->setFontColor(kFileNameColour);
            // Clicking elsewhere gives the field back the path of the file that plays.
            field->setAcceptOnFocusLoss(false);
            return field;
        }
        case kKindChannelSelector: {
            CBitmap* bitmap = sharedBitmap(entry.bitmap1);
            int32_t pictures = entry.frameSize > 0 ? std::max(1, bitmap->getHeight() / entry.frameSize) : 1;
            return new CHorizontalSwitch(size, this, index, pictures, entry.frameSize, pictures, bitmap, CPoint(0, 0));
        }
        default:
            return nullptr;
    }
}

void VocoderEditor::close() {
    opened = false;
    // Nothing is copied for the display while nobody looks.
    if (BandLevels* levels = plugin->bandLevels()) levels->setWatched(false);
    bandDisplay = nullptr;
    hoverBox = nullptr;
    hoverControl = nullptr;
    hoverCandidate = nullptr;
    // The user closed the editor: the choice no longer has a field to go to.
    dialog.cancel();
    dialogField = -1;
    AEffGUIEditor::close();
    for (int32_t i = 0; i < kNumEntries; ++i) plugin->parameter(i).control = nullptr;
}

bool VocoderEditor::onBackgroundMouseDown(const CPoint& where, int32_t buttons) {
    if (!frame || (buttons & (kLButton | kMButton | kRButton)) != kRButton) return false;
    auto* menu =
        new ScaleMenu(where, CRect(0, 0, unitWidth, unitHeight), static_cast<int32_t>(std::lround(scale * 100)),
                      [this](int32_t percent) { chooseScale(percent); });
    frame->addView(menu);
    frame->setFocusView(menu);
    return true;
}

void VocoderEditor::chooseScale(int32_t percent) {
    sessionScale = percent;
    editorsettings::saveScale(percent);
    // Not now: the menu's click is still being handled by the frame this replaces.
    if (std::lround(scale * 100) != percent) rebuildPending = true;
}

void VocoderEditor::idle() {
    if (rebuildPending && frame) {
        rebuildPending = false;
        void* parent = systemWindow;
        close();
        open(parent);
        requestHostSize();
    }
    if (opened) {
        pollFileSelection();
        followFileEntries();
        followFileStates();
        followHover();
        auto now = std::chrono::steady_clock::now();
        if (bandDisplay && now - lastBandFrame >= std::chrono::milliseconds(1000 / kBandFramesPerSecond)) {
            lastBandFrame = now;
            bandDisplay->refresh();
        }
    }
    // Delivers parameter changes and redraws whatever became dirty.
    AEffGUIEditor::idle();
}

void VocoderEditor::parameterChanged(int32_t index, float, bool sawNonZero) {
    if (!opened || index < 0 || index >= kNumEntries) return;
    Parameter& entry = plugin->parameter(index);
    CControl* control = entry.control;
    if (!control) return;
    switch (entry.kind) {
        case kKindSwitch:
            control->setValue(plugin->getParameter(index));
            applySwitchRule(index);
            break;
        case kKindVerticalSlider:
        case kKindKnob:
        case kKindWaveKnob:
        case kKindChannelSelector:
            control->setValue(plugin->getParameter(index));
            break;
        case kKindFileButton:
            // A press reports 1.0 and then 0.0; both may arrive before this idle.
            if (sawNonZero) startFileSelection(index);
            break;
        default:
            break;
    }
}

void VocoderEditor::applySwitchRule(int32_t index) {
    const char* format = plugin->parameter(index).text.load(std::memory_order_relaxed);
    SwitchRule rule;
    if (!format || format[0] != 'M' || !resolveSwitchRule(format, plugin->getParameter(index), rule)) return;
    Parameter* target = plugin->findParameter(rule.target);
    if (!target) return;
    // Only knobs carry a format that can change; the table's own text stays as it is.
    if (auto* knob = dynamic_cast<PopupKnob*>(target->control)) knob->setFormat(rule.format);
}

void VocoderEditor::valueChanged(CDrawContext* context, CControl* control) {
    int32_t tag = control->getTag();
    if (tag < 0 || tag >= kNumEntries) return;
    if (plugin->parameter(tag).kind != kKindFileName) {
        plugin->setParameterAutomated(tag, control->getValue());
    } else if (auto* field = dynamic_cast<CTextEdit*>(control)) {
        // Enter in a file field loads the typed path; relative paths resolve against
        // the plug-in's folder, as the chooser's choices do.
        plugin->fileSelected(tag, field->getText());
        followFileStates();
    }
    control->update(context);
}

CTextEdit* VocoderEditor::fileField(int32_t entry) const {
    if (entry < kFirstFileEntry || entry >= kFirstFileEntry + kNumFileSlots) return nullptr;
    return dynamic_cast<CTextEdit*>(plugin->parameter(entry).control);
}

void VocoderEditor::startFileSelection(int32_t buttonIndex) {
    if (dialog.isRunning()) return;  // one chooser at a time
    const char* fieldName = plugin->parameter(buttonIndex).text.load(std::memory_order_relaxed);
    int32_t field = fieldName ? plugin->findParameterIndex(fieldName) : -1;
    CTextEdit* edit = fileField(field);
    if (!edit) return;
    // The chooser opens on the field's current file, made absolute.
    std::string initial = resolveWavPath(edit->getText(), platform::moduleDirectory());
    dialog.start("Choose a WAV file", initial);
    dialogField = field;
}

void VocoderEditor::pollFileSelection() {
    platform::FileDialog::State state = dialog.poll();
    if (state == platform::FileDialog::State::Running || state == platform::FileDialog::State::Idle) return;
    int32_t field = dialogField;
    dialogField = -1;
    CTextEdit* edit = fileField(field);
    if (state != platform::FileDialog::State::Chosen || !edit) return;
    std::string stored = platform::pathForStorage(dialog.path(), platform::moduleDirectory());
    if (stored.size() >= platform::kPathSize) {
        // Cut short it would name another file: keep the slot as it is.
        platform::showMessage("Path too long", stored.c_str());
        return;
    }
    edit->setText(stored.c_str());
    plugin->fileSelected(field, edit->getText());
}

void VocoderEditor::followFileEntries() {
    for (int s = 0; s < kNumFileSlots; ++s) {
        const char* text = plugin->parameter(kFirstFileEntry + s).text.load(std::memory_order_relaxed);
        if (!text || shownEntryText[s] == text) continue;
        shownEntryText[s] = text;
        if (CTextEdit* edit = fileField(kFirstFileEntry + s)) edit->setText(text);
    }
}

void VocoderEditor::followFileStates() {
    for (int s = 0; s < kNumFileSlots; ++s) {
        CTextEdit* field = fileField(kFirstFileEntry + s);
        const char* text = plugin->fileSlotPath(s);
        bool failed = text && *text && !plugin->fileSlotLoaded(s);
        // Judged again only when the slot's path or its state changed.
        if (failed == !trouble[s].empty() && (!failed || checkedText[s] == text)) continue;
        checkedText[s] = text ? text : "";
        if (failed) {
            std::string path = resolveWavPath(text, platform::moduleDirectory());
            std::error_code error;
            if (path.empty() || !std::filesystem::is_regular_file(path, error))
                trouble[s] = "File not found: " + (path.empty() ? std::string(text) : path);
            else
                trouble[s] = "Not a WAV file the vocoder can read";
        } else {
            trouble[s].clear();
        }
        if (field) {
            field->setFontColor(failed ? kFileTroubleColour : kFileNameColour);
            field->setDirty(true);
        }
    }
}

void VocoderEditor::followHover() {
    CView* hover = frame ? frame->getHoverView() : nullptr;
    auto now = std::chrono::steady_clock::now();
    if (hover != hoverCandidate) {
        hoverCandidate = hover;
        hoverSince = now;
        hideHoverBox();
        return;
    }
    if (hoverBox) {
        // The value may change under a resting pointer (automation, the wheel).
        if (hoverControl && hoverBox->getValue() != hoverControl->getValue())
            hoverBox->setValue(hoverControl->getValue());
        return;
    }
    if (hover && now - hoverSince >= kHoverDelay)
        if (auto* control = dynamic_cast<CControl*>(hover)) showHoverBox(control);
}

void VocoderEditor::hoverString(float value, char* out, const void* data) {
    const auto* editor = static_cast<const VocoderEditor*>(data);
    if (!editor->hoverText.empty())
        std::snprintf(out, kFormatTextSize, "%s", editor->hoverText.c_str());
    else
        popupValueText(value, out, editor->hoverFormat);
}

void VocoderEditor::showHoverBox(CControl* control) {
    int32_t tag = control->getTag();
    if (tag < 0 || tag >= kNumEntries) return;
    const Parameter& entry = plugin->parameter(tag);
    int32_t width = PopupKnob::kValueBoxWidth;
    hoverText.clear();
    hoverFormat = nullptr;
    if (entry.kind == kKindFileName) {
        const std::string& reason = trouble[tag - kFirstFileEntry];
        if (reason.empty()) return;
        hoverText = reason;
        width = entry.width;
    } else if (auto* knob = dynamic_cast<PopupKnob*>(control)) {
        hoverFormat = knob->getFormat();
    } else if (entry.kind == kKindVerticalSlider) {
        hoverFormat = entry.text.load(std::memory_order_relaxed);
    } else {
        return;
    }
    const CRect& c = control->getViewSize();
    const int32_t height = PopupKnob::kValueBoxHeight;
    const int32_t centre = (c.left + c.right) / 2 - width / 2;
    const int32_t middle = (c.top + c.bottom) / 2 - height / 2;
    CRect place = leastCovering(frame, {CRect(centre, c.bottom, centre + width, c.bottom + height),
                                        CRect(centre, c.top - height, centre + width, c.top),
                                        CRect(c.right, middle, c.right + width, middle + height),
                                        CRect(c.left - width, middle, c.left, middle + height)});
    hoverBox = new CParamDisplay(place);
    hoverBox->setBackColor(kHoverBackColour);
    hoverBox->setFontColor(kHoverTextColour);
    hoverBox->setFontSize(hoverText.empty() ? 11.0 : 9.0);
    hoverBox->setStringConvert(hoverString, this);
    hoverBox->setValue(control->getValue());
    hoverControl = control;
    frame->addView(hoverBox);
}

void VocoderEditor::hideHoverBox() {
    if (hoverBox && frame) frame->removeView(hoverBox);
    hoverBox = nullptr;
    hoverControl = nullptr;
}
