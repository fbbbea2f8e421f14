// The editor base: parameter changes from other threads reach idle, gestures reach the
// host, keys reach the focus view.
#include <gtest/gtest.h>

#include <thread>

#include "gui/CKnob.h"
#include "gui/TestHost.h"

namespace {

using Delivery = std::tuple<int32_t, float, bool>;

}  // namespace

TEST(EditorBase, RectIsTheEditorsWindowSize) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    ERect* rect = nullptr;
    EXPECT_EQ(editor.getRect(&rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom, 512);
    EXPECT_EQ(rect->right, 608);
    EXPECT_EQ(editor.getRect(nullptr), 0);
}

TEST(EditorBase, ChangesArriveAtIdleOnlyWhileOpen) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    editor.setParameter(3, 0.5f);  // closed: dropped
    editor.idle();
    EXPECT_TRUE(editor.delivered.empty());
    editor.setParameter(4, 0.5f);
    editor.open(nullptr);  // older news is stale once the controls are built
    editor.idle();
    EXPECT_TRUE(editor.delivered.empty());

    editor.setParameter(10, 0.25f);
    editor.setParameter(2, 0.0f);
    editor.setParameter(10, 0.75f);
    editor.setParameter(64, 1.0f);  // outside the table
    editor.setParameter(-1, 1.0f);
    EXPECT_TRUE(editor.delivered.empty());  // nothing before idle
    editor.idle();
    EXPECT_EQ(editor.delivered, (std::vector<Delivery>{{2, 0.0f, false}, {10, 0.75f, true}}));
    editor.idle();
    EXPECT_EQ(editor.delivered.size(), 2u);
    editor.close();
    editor.setParameter(1, 1.0f);
    editor.idle();
    EXPECT_EQ(editor.delivered.size(), 2u);
}

TEST(EditorBase, AMomentaryOneBeforeZeroIsNotLost) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    editor.open(nullptr);
    editor.setParameter(56, 1.0f);
    editor.setParameter(56, 0.0f);
    editor.idle();
    EXPECT_EQ(editor.delivered, (std::vector<Delivery>{{56, 0.0f, true}}));
}

// Run under ThreadSanitizer this also shows that posting needs no lock.
TEST(EditorBase, PostsFromAnotherThreadEndWithTheLastValue) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    editor.open(nullptr);
    constexpr int kPosts = 20000;
    std::thread audio([&] {
        for (int i = 1; i <= kPosts; ++i) editor.setParameter(i % 8, static_cast<float>(i) / kPosts);
    });
    while (editor.delivered.size() < 4) editor.idle();
    audio.join();
    editor.idle();
    float last[8] = {};
    for (auto& [index, value, nonZero] : editor.delivered) {
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 8);
        EXPECT_GE(value, last[index]);  // never older than what was already delivered
        last[index] = value;
    }
    for (int i = 0; i < 8; ++i) EXPECT_EQ(last[i], static_cast<float>(kPosts - ((kPosts - i) % 8)) / kPosts) << i;
}

TEST(EditorBase, KnobGesturesReachTheHostAndKeysTheFocusView) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    editor.open(nullptr);
    auto* knob = new CKnob(CRect(10, 10, 42, 42), nullptr, 9, nullptr, nullptr);
    editor.getFrame()->addView(knob);
    testhost::gestures().clear();
    CPoint at(20, 20);
    editor.getFrame()->onMouseDown(at, kLButton);
    editor.getFrame()->onMouseUp(at, 0);
    EXPECT_EQ(testhost::gestures(),
              (std::vector<std::pair<int32_t, int32_t>>{{audioMasterBeginEdit, 9}, {audioMasterEndEdit, 9}}));
    knob->setValue(0.5f);
    EXPECT_EQ(editor.onKeyDown(0, VKEY_RIGHT, 0), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    EXPECT_EQ(editor.onKeyDown('a', 0, 0), 0);
    editor.close();
    EXPECT_EQ(editor.onKeyDown(0, VKEY_RIGHT, 0), 0);
}

TEST(EditorBase, KnobModeIsSharedByAllEditors) {
    testhost::Effect effect;
    testhost::Editor first(&effect), second(&effect);
    EXPECT_EQ(first.setKnobMode(kLinearMode), 1);
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), kLinearMode);
    second.setKnobMode(kCircularMode);
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), kCircularMode);
}
