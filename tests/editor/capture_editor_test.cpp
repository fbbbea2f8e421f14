// The capture editor on an offscreen frame over a real CapturePlugin.
#include <gtest/gtest.h>

#include <memory>

#include "capture/CapturePlugin.h"
#include "editor/CaptureEditor.h"
#include "editor/editor_rig.h"

using editorrig::centre;
using editorrig::click;
using testhost::automations;

namespace {

class CaptureEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        editorrig::installArtwork("capture");
        testhost::host().clear();
        plugin = std::make_unique<CapturePlugin>(testhost::callback);
        editor = new CaptureEditor(plugin.get());
        plugin->setEditor(editor);
    }

    CFrame* openEditor() {
        editor->open(nullptr);
        return editor->getFrame();
    }
    CRect rectOf(int32_t index) { return editor->control(index)->getViewSize(); }
    std::string display(int32_t index) {
        char text[kVstMaxParamStrLen + 1] = {};
        plugin->getParameterDisplay(index, text);
        return text;
    }

    std::unique_ptr<CapturePlugin> plugin;
    CaptureEditor* editor = nullptr;  // owned by the plug-in
};

TEST_F(CaptureEditorTest, RectangleAndControlsOfAFreshInstance) {
    ERect* rect = nullptr;
    ASSERT_EQ(editor->getRect(&rect), 1);
    EXPECT_EQ(rect->bottom, 60);
    EXPECT_EQ(rect->right, 200);
    EXPECT_NE(plugin->getAeffect()->flags & effFlagsHasEditor, 0);

    openEditor();
    EXPECT_EQ(rectOf(CapturePlugin::kMute), CRect(128, 8, 144, 24));
    EXPECT_EQ(rectOf(CapturePlugin::kChannel), CRect(84, 32, 180, 48));
    EXPECT_EQ(editor->control(CapturePlugin::kMute)->getValue(), 1.0f) << "a fresh instance is muted";
    EXPECT_EQ(editor->control(CapturePlugin::kChannel)->getValue(), 0.0f);
    editor->close();
    EXPECT_EQ(editor->control(CapturePlugin::kMute), nullptr);
}

TEST_F(CaptureEditorTest, SwitchClicksSendMuteToPluginAndHost) {
    CFrame* frame = openEditor();
    click(frame, centre(rectOf(CapturePlugin::kMute)));
    EXPECT_EQ(plugin->getParameter(CapturePlugin::kMute), 0.0f);
    EXPECT_EQ(display(CapturePlugin::kMute), "Off");
    click(frame, centre(rectOf(CapturePlugin::kMute)), kLButton | kControl);  // no default: toggles
    EXPECT_EQ(plugin->getParameter(CapturePlugin::kMute), 1.0f);
    ASSERT_EQ(automations().size(), 2u);
    EXPECT_EQ(automations()[0].index, CapturePlugin::kMute);
    EXPECT_EQ(automations()[0].value, 0.0f);
    EXPECT_EQ(automations()[1].value, 1.0f);
}

TEST_F(CaptureEditorTest, DraggingAcrossTheSelectorSendsEveryChannel) {
    CFrame* frame = openEditor();
    plugin->setParameter(CapturePlugin::kChannel, 1.0f);
    editor->idle();
    automations().clear();
    const CRect r = rectOf(CapturePlugin::kChannel);
    CPoint where(r.left, r.top + 8);
    frame->onMouseDown(where, kLButton);
    for (int x = r.left + 1; x < r.right; ++x) {
        CPoint move(x, r.top + 8);
        frame->onMouseMoved(move, kLButton);
    }
    frame->onMouseUp(where, 0);
    // Each position once, as the pointer reaches it.
    ASSERT_EQ(automations().size(), 4u);
    EXPECT_EQ(automations()[0].value, 0.0f);
    EXPECT_FLOAT_EQ(automations()[1].value, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(automations()[2].value, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(automations()[3].value, 1.0f);
    EXPECT_EQ(display(CapturePlugin::kChannel), "4");

    // Control-click restores the selector's default 0.5: channel 3.
    click(frame, centre(r), kLButton | kControl);
    EXPECT_EQ(automations().back().value, 0.5f);
    EXPECT_EQ(display(CapturePlugin::kChannel), "3");
}

TEST_F(CaptureEditorTest, HostAutomationShowsWhileOpen) {
    openEditor();
    plugin->setParameter(CapturePlugin::kChannel, 1.0f);
    plugin->setParameter(CapturePlugin::kMute, 0.2f);
    EXPECT_EQ(editor->control(CapturePlugin::kChannel)->getValue(), 0.0f);
    editor->idle();
    EXPECT_FLOAT_EQ(editor->control(CapturePlugin::kChannel)->getValue(), 1.0f);
    EXPECT_EQ(editor->control(CapturePlugin::kMute)->getValue(), 0.0f);
    EXPECT_FALSE(editor->control(CapturePlugin::kMute)->isDirty()) << "redrawn by idle";
}

TEST_F(CaptureEditorTest, OffscreenRender) {
    CFrame* frame = openEditor();
    plugin->setParameter(CapturePlugin::kChannel, 2.0f / 3.0f);
    editor->idle();
    editorrig::saveArtefact(frame, "capture-editor");
    // The third channel's segment is lit, the first one's not.
    uint32_t third = testimages::pixel(frame->getBackBuffer(), 84 + 2 * 24 + 4, 36);
    uint32_t first = testimages::pixel(frame->getBackBuffer(), 84 + 4, 36);
    EXPECT_NE(third, first);
}

}  // namespace
