// The vocoder editor on an offscreen frame, built on a real VocoderPlugin with the
// artwork the build drew; scripted file choosers stand in for the desktop's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/BandDisplay.h"
#include "editor/FileButton.h"
#include "editor/PopupKnob.h"
#include "editor/SteppedSlider.h"
#include "editor/ToggleButton.h"
#include "editor/ValueFormat.h"
#include "editor/VocoderEditor.h"
#include "editor/editor_rig.h"
#include "framework/VocoderPlugin.h"
#include "support/EventList.h"
#include "vocoder/BandLevels.h"
#include "gui/CHorizontalSwitch.h"
#include "gui/CParamDisplay.h"
#include "gui/CTextEdit.h"
#include "platform/ModulePath.h"
#include "support/TempFolder.h"
#include "vocoder/WavReader.h"
#include "support/ParamIndex.h"

namespace fs = std::filesystem;
using editorrig::centre;
using editorrig::click;

namespace {

using namespace param;

void writeWav(const fs::path& path, int frames) {
    std::ofstream out(path, std::ios::binary);
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    out.write("RIFF", 4);
    put(36 + 2 * frames, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(44100, 4);
    put(88200, 4);
    put(2, 2);
    put(16, 2);
    out.write("data", 4);
    put(2 * frames, 4);
    for (int i = 0; i < frames; ++i) put(static_cast<uint32_t>((i % 100) * 300), 2);
}

class VocoderEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        editorrig::installArtwork("vocoder");
        testhost::host().clear();
        // The user's own saved editor scale stays out of the tests.
        setenv("XDG_CONFIG_HOME", scripts.c_str(), 1);
        plugin = std::make_unique<VocoderPlugin>(testhost::callback);
        editor = new VocoderEditor(plugin.get());
        plugin->setEditor(editor);
    }
    void TearDown() override {
        plugin.reset();
        unsetenv("ZORVEK_FILE_CHOOSER");
        unsetenv("XDG_CONFIG_HOME");
    }

    CFrame* openEditor() {
        editor->open(nullptr);
        return editor->getFrame();
    }
    CControl* control(int32_t index) { return plugin->parameter(index).control; }
    CRect rectOf(int32_t index) { return control(index)->getViewSize(); }

    // A chooser script; it also writes the path it was offered to <scripts>/offered.
    void useChooser(const std::string& body) {
        fs::path path = scripts / "chooser";
        std::ofstream(path) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (scripts / "offered").string() << "'\n"
                            << body << "\n";
        chmod(path.c_str(), 0755);
        setenv("ZORVEK_FILE_CHOOSER", path.c_str(), 1);
    }
    std::string offered() {
        std::ifstream in(scripts / "offered");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Idles like a host until the chooser has answered (at most 10 s).
    void idleUntilChosen() {
        for (int i = 0; i < 1000 && editor->pendingFileField() >= 0; ++i) {
            editor->idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        editor->idle();
        EXPECT_EQ(editor->pendingFileField(), -1) << "the chooser never answered";
    }
    std::string fieldText(int32_t index) { return static_cast<CTextEdit*>(control(index))->getText(); }

    std::unique_ptr<VocoderPlugin> plugin;
    VocoderEditor* editor = nullptr;  // owned by the plug-in
    TempFolder temp;
    const fs::path scripts{temp.path};
};

TEST_F(VocoderEditorTest, RectangleIsTheWindowPicture) {
    ERect* rect = nullptr;
    ASSERT_EQ(editor->getRect(&rect), 1);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 512);
    EXPECT_EQ(rect->right, 608);
    EXPECT_NE(plugin->getAeffect()->flags & effFlagsHasEditor, 0);
}

TEST_F(VocoderEditorTest, EveryEntryHasItsControlAtItsRectangleWithItsTag) {
    CFrame* frame = openEditor();
    ASSERT_EQ(frame->getNbViews(), kNumEntries + 1) << "the controls and the band display";
    EXPECT_EQ(frame->getView(kNumEntries), static_cast<CView*>(editor->getBandDisplay()));
    for (int32_t i = 0; i < kNumEntries; ++i) {
        SCOPED_TRACE(plugin->parameter(i).name);
        ASSERT_NE(control(i), nullptr);
        EXPECT_EQ(frame->getView(i), control(i)) << "creation order is table order";
        EXPECT_EQ(control(i)->getTag(), i);
        const Parameter& entry = plugin->parameter(i);
        const CRect r = rectOf(i);
        EXPECT_EQ(r.left, entry.x);
        EXPECT_EQ(r.top, entry.y);
        switch (entry.kind) {
            case kKindSwitch:
                EXPECT_NE(dynamic_cast<ToggleButton*>(control(i)), nullptr);
                break;
            case kKindVerticalSlider:
                EXPECT_NE(dynamic_cast<SteppedSlider*>(control(i)), nullptr);
                break;
            case kKindKnob:
                EXPECT_EQ(dynamic_cast<PopupKnob*>(control(i))->getMode(), 1);
                break;
            case kKindWaveKnob:
                EXPECT_EQ(dynamic_cast<PopupKnob*>(control(i))->getMode(), 3);
                break;
            case kKindFileButton:
                EXPECT_NE(dynamic_cast<FileButton*>(control(i)), nullptr);
                break;
            case kKindFileName:
                EXPECT_NE(dynamic_cast<CTextEdit*>(control(i)), nullptr);
                break;
            case kKindChannelSelector:
                EXPECT_NE(dynamic_cast<CHorizontalSwitch*>(control(i)), nullptr);
                break;
            default:
                ADD_FAILURE() << "kind " << entry.kind;
        }
    }
    // Sizes come from the pictures where the table's own size is not the control's.
    auto expectRect = [&](int32_t index, int l, int t, int r, int b) {
        EXPECT_EQ(rectOf(index), CRect(l, t, r, b)) << plugin->parameter(index).name;
    };
    expectRect(0, 536, 440, 568, 472);  // Volume
    expectRect(2, 56, 320, 72, 432);    // ModSrc
    expectRect(4, 40, 104, 72, 136);    // Osc1Frm
    expectRect(kLfoSync, 88, 240, 104, 256);
    expectRect(38, 552, 200, 568, 264);  // Eq6
    expectRect(kModCh, 152, 416, 248, 432);
    expectRect(kSetFil1, 296, 392, 320, 408);  // 24 x 16: one picture of bitmap 236
    expectRect(kFile4, 80, 320, 288, 336);
    // The table's colour unless the slot's file failed to load.
    EXPECT_EQ(static_cast<CTextEdit*>(control(kFile1))->getFontColor() == (CColor{200, 180, 180, 255}),
              editor->fileTrouble(0).empty());

    editor->close();
    EXPECT_EQ(editor->getFrame(), nullptr);
    for (int32_t i = 0; i < kNumEntries; ++i) EXPECT_EQ(control(i), nullptr) << "no pointer to a destroyed control";
}

TEST_F(VocoderEditorTest, ControlsStartFromCurrentValuesAndDefaults) {
    plugin->setParameter(kCutoff, 0.25f);  // host automation while closed
    editor->idle();
    EXPECT_EQ(control(kCutoff), nullptr);
    openEditor();
    EXPECT_EQ(control(kCutoff)->getValue(), 0.25f);
    EXPECT_EQ(control(kCutoff)->getDefaultValue(), 1.0f);
    EXPECT_EQ(control(0)->getDefaultValue(), plugin->parameter(0).defaultValue);
    // A stepped knob shows its value on a step: Osc1Frm 0.6 is stored as 0.5.
    plugin->setParameter(4, 0.6f);
    editor->idle();
    EXPECT_EQ(control(4)->getValue(), 0.5f);
}

TEST_F(VocoderEditorTest, ParameterChangesFromAnyThreadShowAtTheNextIdle) {
    openEditor();
    std::thread automation([&] { plugin->setParameter(kReso, 0.75f); });
    automation.join();
    EXPECT_EQ(control(kReso)->getValue(), 0.0f) << "views change only on the user-interface thread";
    editor->idle();
    EXPECT_EQ(control(kReso)->getValue(), 0.75f);
    EXPECT_FALSE(control(kReso)->isDirty()) << "idle redrew it";
}

TEST_F(VocoderEditorTest, UserChangesReachThePluginAndTheHost) {
    CFrame* frame = openEditor();
    click(frame, centre(rectOf(kMono)));
    EXPECT_EQ(plugin->getParameter(kMono), 1.0f);
    ASSERT_FALSE(testhost::automations().empty());
    EXPECT_EQ(testhost::automations().back().index, kMono);
    EXPECT_EQ(testhost::automations().back().value, 1.0f);
}

TEST_F(VocoderEditorTest, LfoSyncSwapsTheRateFormatWhileOpenAndReopeningRestoresTheFallback) {
    CFrame* frame = openEditor();
    auto* rate = dynamic_cast<PopupKnob*>(control(kLfoFreq));
    ASSERT_NE(rate, nullptr);
    char text[kFormatTextSize];
    formatValue(0.5f, text, rate->getFormat());
    EXPECT_STREQ(text, "0.50");

    click(frame, centre(rectOf(kLfoSync)));  // on
    editor->idle();
    EXPECT_EQ(stepCount(rate->getFormat()), 10);
    formatValue(0.5f, text, rate->getFormat());
    EXPECT_STREQ(text, "[1/6]");
    // The next press snaps the rate to a note value: 0.5 becomes 5/9.
    CPoint press = centre(rectOf(kLfoFreq));
    frame->onMouseDown(press, kLButton);
    EXPECT_FLOAT_EQ(plugin->getParameter(kLfoFreq), 5.0f / 9.0f);
    frame->onMouseUp(press, 0);

    click(frame, centre(rectOf(kLfoSync)));  // off
    editor->idle();
    formatValue(0.5f, text, rate->getFormat());
    EXPECT_STREQ(text, "5.1Hz");

    editor->close();
    openEditor();
    rate = dynamic_cast<PopupKnob*>(control(kLfoFreq));
    formatValue(0.5f, text, rate->getFormat());
    EXPECT_STREQ(text, "0.50") << "the swapped format lived in the closed control";
}

TEST_F(VocoderEditorTest, ControlClickOnTheChannelSelectorRestoresTheFirstChannel) {
    CFrame* frame = openEditor();
    plugin->setParameter(kModCh, 1.0f);
    editor->idle();
    ASSERT_EQ(control(kModCh)->getValue(), 1.0f);
    click(frame, centre(rectOf(kModCh)), kLButton | kControl);
    EXPECT_EQ(plugin->getParameter(kModCh), 0.0f);
    EXPECT_EQ(testhost::automations().back().index, kModCh);
}

TEST_F(VocoderEditorTest, FileButtonLoadsTheChosenFileWithAPathRelativeToThePluginFolder) {
    const fs::path loops = fs::path(platform::moduleDirectory()) / "loops";
    fs::create_directories(loops);
    writeWav(loops / "name.wav", 4410);
    useChooser("echo '" + (loops / "name.wav").string() + "'");
    CFrame* frame = openEditor();
    const std::string before = fieldText(kFile2);

    click(frame, centre(rectOf(kSetFil2)));
    editor->idle();
    EXPECT_EQ(editor->pendingFileField(), kFile2) << "the chooser runs while the host goes on";
    idleUntilChosen();

    EXPECT_EQ(offered(), resolveWavPath(before.c_str(), platform::moduleDirectory()));
    EXPECT_EQ(fieldText(kFile2), "./loops/name.wav");
    EXPECT_STREQ(plugin->fileSlotPath(1), "./loops/name.wav");
    EXPECT_EQ(plugin->getParameter(kSetFil2), 0.0f) << "the button ends released";
    fs::remove_all(loops);
}

TEST_F(VocoderEditorTest, CancelledChooserChangesNothing) {
    useChooser("exit 1");
    CFrame* frame = openEditor();
    const std::string text = fieldText(kFile2);
    const std::string slot = plugin->fileSlotPath(1);
    click(frame, centre(rectOf(kSetFil2)));
    editor->idle();
    idleUntilChosen();
    EXPECT_EQ(fieldText(kFile2), text);
    EXPECT_EQ(plugin->fileSlotPath(1), slot);
}

TEST_F(VocoderEditorTest, FileWithoutRelativePathKeepsItsAbsolutePath) {
    // A top-level folder the plug-in folder does not share.
    const std::string elsewhere = platform::moduleDirectory().rfind("/proc", 0) == 0 ? "/dev/null.wav" : "/proc/x.wav";
    useChooser("echo " + elsewhere);
    CFrame* frame = openEditor();
    click(frame, centre(rectOf(kSetFil1)));
    editor->idle();
    idleUntilChosen();
    EXPECT_EQ(fieldText(kFile1), elsewhere);
    EXPECT_EQ(plugin->fileSlotPath(0), elsewhere);
}

TEST_F(VocoderEditorTest, AFileFieldLoadsOnEnterAndRestoresOnEscapeOrFocusLoss) {
    writeWav(fs::path(platform::moduleDirectory()) / "zorvek-typed.wav", 500);
    enum class End { Enter, Escape, ClickElsewhere, WindowLosesKeys };
    struct Case {
        const char* typed;
        End end;
        bool loads;
    };
    const Case cases[] = {
        {"./zorvek-typed.wav", End::Enter, true},
        {"./zorvek-typed.wav", End::Escape, false},
        {"./zorvek-typed.wav", End::ClickElsewhere, false},
        {"./zorvek-typed.wav", End::WindowLosesKeys, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.end));
        CFrame* frame = openEditor();
        const std::string before = plugin->fileSlotPath(2);
        const std::string shown = fieldText(kFile3);
        click(frame, centre(rectOf(kFile3)));
        for (size_t i = fieldText(kFile3).size(); i > 0; --i) editorrig::typeKey(frame, 0, VKEY_BACK);
        for (char ch : std::string(c.typed)) editorrig::typeKey(frame, ch);
        if (c.end == End::Enter) editorrig::typeKey(frame, 0, VKEY_RETURN);
        if (c.end == End::Escape) editorrig::typeKey(frame, 0, VKEY_ESCAPE);
        if (c.end == End::ClickElsewhere) click(frame, CPoint(380, 200));
        if (c.end == End::WindowLosesKeys) frame->onFocusOut();
        editor->idle();
        EXPECT_EQ(plugin->fileSlotPath(2), c.loads ? c.typed : before);
        EXPECT_EQ(fieldText(kFile3), c.loads ? c.typed : shown) << "the field names what plays";
        EXPECT_FALSE(static_cast<CTextEdit*>(control(kFile3))->isEditing());
        EXPECT_EQ(plugin->getParameter(kFile3), 0.0f);
        editor->close();
    }
    fs::remove(fs::path(platform::moduleDirectory()) / "zorvek-typed.wav");
}

TEST_F(VocoderEditorTest, ASlotWhoseFileFailedShowsItInColourWithTheReasonOnHover) {
    const fs::path folder = platform::moduleDirectory();
    std::ofstream(folder / "zorvek-not-a-wav.wav") << "plain text, not RIFF";
    writeWav(folder / "zorvek-good.wav", 500);
    struct Case {
        const char* typed;
        const char* reason;  // "" when the slot plays
    };
    const Case cases[] = {
        {"./zorvek-missing.wav", "File not found: "},
        {"./zorvek-good.wav", ""},
        {"./zorvek-not-a-wav.wav", "Not a WAV file"},
    };
    CFrame* frame = openEditor();
    auto* field = static_cast<CTextEdit*>(control(kFile2));
    std::vector<CColor> colours;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        click(frame, centre(rectOf(kFile2)));
        for (size_t i = fieldText(kFile2).size(); i > 0; --i) editorrig::typeKey(frame, 0, VKEY_BACK);
        for (char ch : std::string(c.typed)) editorrig::typeKey(frame, ch);
        editorrig::typeKey(frame, 0, VKEY_RETURN);
        editor->idle();
        EXPECT_EQ(plugin->fileSlotLoaded(1), *c.reason == '\0');
        EXPECT_EQ(editor->fileTrouble(1).rfind(c.reason, 0), 0u) << editor->fileTrouble(1);
        EXPECT_EQ(editor->fileTrouble(1).empty(), *c.reason == '\0');
        colours.push_back(field->getFontColor());
        // A resting pointer shows the reason, beside the field rather than over it.
        frame->setHoverPoint(centre(rectOf(kFile2)));
        editor->idle();
        std::this_thread::sleep_for(VocoderEditor::kHoverDelay + std::chrono::milliseconds(20));
        editor->idle();
        if (*c.reason) {
            ASSERT_NE(editor->getHoverBox(), nullptr);
            EXPECT_FALSE(editor->getHoverBox()->getViewSize().intersects(rectOf(kFile2)));
        } else {
            EXPECT_EQ(editor->getHoverBox(), nullptr);
        }
        frame->setHoverPoint(CPoint(-1, -1));
        editor->idle();
        EXPECT_EQ(editor->getHoverBox(), nullptr);
    }
    EXPECT_EQ(colours[0], colours[2]);
    EXPECT_NE(colours[0], colours[1]);
    fs::remove(folder / "zorvek-not-a-wav.wav");
    fs::remove(folder / "zorvek-good.wav");
}

TEST_F(VocoderEditorTest, AFileSetByAChunkShowsInItsField) {
    openEditor();
    static const char chunk[] = "4221File4=./loops/other.wav\0\0\0";
    plugin->setChunk(const_cast<char*>(chunk), sizeof chunk, true);
    editor->idle();
    EXPECT_EQ(fieldText(kFile4), "./loops/other.wav");
    editor->close();
    openEditor();
    EXPECT_EQ(fieldText(kFile4), "./loops/other.wav") << "the next opening shows the slot's path";
}

TEST_F(VocoderEditorTest, ClosingTheEditorClosesItsChooser) {
    useChooser("exec sleep 60");
    CFrame* frame = openEditor();
    click(frame, centre(rectOf(kSetFil1)));
    editor->idle();
    ASSERT_EQ(editor->pendingFileField(), kFile1);
    editor->close();
    EXPECT_EQ(editor->pendingFileField(), -1);
    EXPECT_TRUE(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD) << "the chooser was reaped";
}

TEST_F(VocoderEditorTest, OffscreenRenderShowsPanelAndControls) {
    CFrame* frame = openEditor();
    editor->idle();
    std::string path = editorrig::saveArtefact(frame, "vocoder-editor");
    cairo_surface_t* panel =
        cairo_image_surface_create_from_png((fs::path(ZORVEK_BINARY_DIR) / "artwork" / "vocoder-227.png").c_str());
    ASSERT_EQ(cairo_surface_status(panel), CAIRO_STATUS_SUCCESS);
    // Where no control sits the panel shows; where one sits its picture covers it.
    EXPECT_EQ(testimages::pixel(frame->getBackBuffer(), 380, 200), testimages::pixel(panel, 380, 200));
    EXPECT_NE(testimages::pixel(frame->getBackBuffer(), 552, 452), testimages::pixel(panel, 552, 452)) << "Volume";
    EXPECT_NE(testimages::pixel(frame->getBackBuffer(), 90, 400), testimages::pixel(panel, 90, 400)) << "File1";
    cairo_surface_destroy(panel);

    // A knob held down shows its pop-up slider and value box.
    CPoint press = centre(rectOf(0));
    frame->onMouseDown(press, kLButton);
    EXPECT_EQ(frame->getNbViews(), kNumEntries + 3);
    editorrig::saveArtefact(frame, "vocoder-editor-popup");
    frame->onMouseUp(press, 0);
    EXPECT_EQ(frame->getNbViews(), kNumEntries + 1);
    RecordProperty("render", path);
}

// A phrase plays (a held chord vocoded by speech) while the editor idles as a host
// makes it: the band display shows levels, and nothing is copied for it while closed.
// Leaves band-display-100.png and band-display-200.png among the artefacts.
TEST_F(VocoderEditorTest, BandDisplayFollowsAPlayingPhraseOnlyWhileOpen) {
    plugin->setSampleRate(44100.0f);
    for (int slot = 0; slot < kNumFileSlots; ++slot)
        plugin->fileSelected(kFile1 + slot, ZORVEK_SOURCE_DIR "/resources/wav/speech.wav");
    EventList chord(4);
    const int keys[] = {48, 55, 60, 64};
    for (int i = 0; i < 4; ++i) chord.events[i] = EventList::midi(0x90, keys[i], 100, 0);
    plugin->processEvents(chord.build(4));
    float left[512], right[512];
    float* outputs[2] = {left, right};
    auto play = [&](int blocks, bool idle) {
        for (int b = 0; b < blocks; ++b) {
            plugin->processReplacing(nullptr, outputs, 512);
            if (!idle) continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 / VocoderEditor::kBandFramesPerSecond + 2));
            editor->idle();
        }
    };
    BandLevels* levels = plugin->bandLevels();
    ASSERT_NE(levels, nullptr);
    play(20, false);
    EXPECT_EQ(levels->bandCount(), 0) << "closed: nothing copied";

    openEditor();
    play(30, true);
    BandDisplay* display = editor->getBandDisplay();
    ASSERT_NE(display, nullptr);
    EXPECT_GT(levels->bandCount(), 0);
    EXPECT_EQ(display->shownBands(), levels->bandCount());
    float loudestBand = 0.0f, loudestColumn = 0.0f;
    for (int i = 0; i < display->shownBands(); ++i) loudestBand = std::max(loudestBand, display->shownBand(i));
    for (int c = 0; c < BandDisplay::kColumns; ++c) loudestColumn = std::max(loudestColumn, display->shownColumn(c));
    EXPECT_GT(loudestBand, 0.2f);
    EXPECT_GT(loudestColumn, 0.2f);
    editorrig::saveArtefact(editor->getFrame(), "band-display-100");

    editor->chooseScale(200);
    play(30, true);
    ASSERT_EQ(editor->getScale(), 2.0);
    editorrig::saveArtefact(editor->getFrame(), "band-display-200");

    editor->close();
    EXPECT_FALSE(levels->watched());
}

// A reset goes to the factory "Default" program's sound, which differs from the
// table's defaults for a few parameters (the pulse widths among them).
TEST_F(VocoderEditorTest, ResetsRestoreTheDefaultProgramNotTheTableDefault) {
    editorrig::installFactoryBank();
    plugin = std::make_unique<VocoderPlugin>(testhost::callback);
    editor = new VocoderEditor(plugin.get());
    plugin->setEditor(editor);
    CFrame* frame = openEditor();
    const int32_t osc1PW = 7, cutoff = 20, modSrc = 2;
    ASSERT_NE(plugin->defaultProgramValue(osc1PW), plugin->parameter(osc1PW).defaultValue);
    for (int32_t index : {osc1PW, cutoff, modSrc}) {
        for (int32_t buttons : {kLButton | kDoubleClick, kLButton | kControl}) {
            SCOPED_TRACE(plugin->parameter(index).name);
            plugin->setParameter(index, 0.25f);
            editor->idle();
            CPoint at = centre(rectOf(index));
            frame->onMouseDown(at, buttons);
            frame->onMouseUp(at, 0);
            EXPECT_EQ(plugin->getParameter(index), plugin->defaultProgramValue(index));
        }
    }
}

}  // namespace
