// Toolkit controls driven by synthetic events on an offscreen frame, and what they draw.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CHorizontalSwitch.h"
#include "gui/CKnob.h"
#include "gui/COnOffButton.h"
#include "gui/CParamDisplay.h"
#include "gui/CSlider.h"
#include "gui/CTextEdit.h"
#include "gui/TestImages.h"

using testimages::argb;
using testimages::pixel;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr uint32_t kFrameGrey = 0xFF404040;

struct Recorder : CControlListener {
    std::vector<std::pair<int32_t, float>> calls;
    void valueChanged(CDrawContext*, CControl* control) override {
        calls.emplace_back(control->getTag(), control->getValue());
    }
};

CBitmap* bitmapOf(const std::vector<unsigned char>& png) { return new CBitmap(png.data(), png.size()); }

// Owns a bitmap reference for the test's scope.
struct Picture {
    CBitmap* bitmap;
    explicit Picture(const std::vector<unsigned char>& png) : bitmap(bitmapOf(png)) {}
    ~Picture() { bitmap->forget(); }
};

void press(CFrame& frame, int x, int y, int32_t buttons = kLButton) {
    CPoint p(x, y);
    frame.onMouseDown(p, buttons);
}
void move(CFrame& frame, int x, int y, int32_t buttons = kLButton) {
    CPoint p(x, y);
    frame.onMouseMoved(p, buttons);
}
void release(CFrame& frame, int x, int y) {
    CPoint p(x, y);
    frame.onMouseUp(p, 0);
}

}  // namespace

TEST(Bitmap, DecodesPngWithSizeAndRejectsBrokenData) {
    auto png = testimages::solidPng(7, 5, kRed);
    Picture good(png);
    EXPECT_TRUE(good.bitmap->isLoaded());
    EXPECT_EQ(good.bitmap->getWidth(), 7);
    EXPECT_EQ(good.bitmap->getHeight(), 5);

    std::vector<unsigned char> truncated(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
    Picture half(truncated);
    EXPECT_FALSE(half.bitmap->isLoaded());
    EXPECT_EQ(half.bitmap->getWidth(), 0);

    std::vector<unsigned char> garbage(300, 0xA5);
    Picture noise(garbage);
    EXPECT_FALSE(noise.bitmap->isLoaded());

    CBitmap* missing = new CBitmap(987654);
    EXPECT_FALSE(missing->isLoaded());
    missing->forget();

    testimages::addResource(4242, testimages::solidPng(3, 2, kBlue));
    CBitmap* embedded = new CBitmap(4242);
    EXPECT_TRUE(embedded->isLoaded());
    EXPECT_EQ(embedded->getWidth(), 3);
    embedded->forget();
}

TEST(Control, BounceClampsAndDirtyFollowsTheLastDrawnValue) {
    CFrame frame(CRect(0, 0, 40, 40), nullptr, nullptr);
    auto* button = new COnOffButton(CRect(0, 0, 10, 10), nullptr, 1, nullptr);
    frame.addView(button);
    frame.redrawDirty();
    EXPECT_FALSE(button->isDirty());
    button->setValue(1.5f);
    EXPECT_TRUE(button->isDirty());
    button->bounceValue();
    EXPECT_EQ(button->getValue(), 1.0f);
    button->setValue(-0.5f);
    button->bounceValue();
    EXPECT_EQ(button->getValue(), 0.0f);
    frame.redrawDirty();
    EXPECT_FALSE(button->isDirty());
    EXPECT_EQ(button->getDefaultValue(), 0.5f);
}

TEST(Frame, DrawsBackgroundThenViewsAndRedrawsDirtyViewsAtIdle) {
    CFrame frame(CRect(0, 0, 40, 30), nullptr, nullptr);
    Picture back(testimages::solidPng(40, 30, kBlue));
    // Off picture green, on picture red, 10 x 10 each.
    Picture onOff(testimages::makePng(10, 20, [](int, int y) { return y < 10 ? kGreen : kRed; }));
    frame.setBackground(back.bitmap);
    auto* button = new COnOffButton(CRect(5, 5, 15, 15), nullptr, 0, onOff.bitmap);
    frame.addView(button);
    frame.idle();
    cairo_surface_t* image = frame.getBackBuffer();
    EXPECT_EQ(pixel(image, 0, 0), kBlue);
    EXPECT_EQ(pixel(image, 5, 5), kGreen);
    EXPECT_EQ(pixel(image, 14, 14), kGreen);
    EXPECT_EQ(pixel(image, 15, 15), kBlue);

    button->setValue(1.0f);
    EXPECT_EQ(pixel(image, 5, 5), kGreen);  // nothing drawn before idle
    frame.idle();
    EXPECT_EQ(pixel(image, 5, 5), kRed);

    frame.removeView(button);
    frame.idle();
    EXPECT_EQ(pixel(image, 5, 5), kBlue);
    EXPECT_EQ(frame.getNbViews(), 0);
}

TEST(Frame, AlphaPicturesBlendOverWhatLiesBeneathWithoutPilingUp) {
    CFrame frame(CRect(0, 0, 20, 20), nullptr, nullptr);
    Picture back(testimages::solidPng(20, 20, kWhite));
    // Half-transparent black in both pictures.
    Picture onOff(testimages::solidPng(10, 20, argb(128, 0, 0, 0)));
    frame.setBackground(back.bitmap);
    auto* button = new COnOffButton(CRect(0, 0, 10, 10), nullptr, 0, onOff.bitmap);
    frame.addView(button);
    frame.idle();
    uint32_t once = pixel(frame.getBackBuffer(), 2, 2);
    EXPECT_NEAR(static_cast<int>(once & 0xFF), 127, 1);
    // Each redraw starts from the background, so the shade stays the same.
    for (int i = 0; i < 3; ++i) {
        button->setValue(i % 2 ? 0.0f : 1.0f);
        frame.idle();
    }
    EXPECT_EQ(pixel(frame.getBackBuffer(), 2, 2), once);
}

TEST(Knob, WheelAndArrowKeysStepByATenthOrAHundredthWithShift) {
    Recorder listener;
    CFrame frame(CRect(0, 0, 100, 100), nullptr, nullptr);
    auto* knob = new CKnob(CRect(10, 10, 42, 42), &listener, 7, nullptr, nullptr);
    frame.addView(knob);
    knob->setValue(0.5f);
    frame.onWheel(CPoint(20, 20), 1.0f, 0);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    frame.onWheel(CPoint(20, 20), -2.0f, kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.58f);
    frame.onWheel(CPoint(90, 90), 1.0f, 0);  // not over the knob
    EXPECT_FLOAT_EQ(knob->getValue(), 0.58f);
    knob->setValue(0.95f);
    frame.onWheel(CPoint(20, 20), 1.0f, 0);
    EXPECT_EQ(knob->getValue(), 1.0f);
    ASSERT_FALSE(listener.calls.empty());
    EXPECT_EQ(listener.calls.back(), std::make_pair(7, 1.0f));

    // Keys go to the focus view, which a press on the knob makes it.
    VstKeyCode up;
    up.virt = VKEY_UP;
    EXPECT_EQ(frame.onKeyDown(up), -1);
    press(frame, 20, 20);
    release(frame, 20, 20);
    knob->setValue(0.3f);
    EXPECT_EQ(frame.onKeyDown(up), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.4f);
    VstKeyCode left;
    left.virt = VKEY_LEFT;
    left.modifier = MODIFIER_SHIFT;
    frame.onKeyDown(left);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.39f);
}

TEST(Knob, LinearDragAndZoomWithShift) {
    CFrame frame(CRect(0, 0, 400, 400), nullptr, nullptr);
    auto* knob = new CKnob(CRect(10, 10, 42, 42), nullptr, 0, nullptr, nullptr);
    frame.addView(knob);
    knob->setValue(0.2f);
    press(frame, 20, 20);
    move(frame, 60, 20);  // 40 right
    EXPECT_NEAR(knob->getValue(), 0.4f, 1e-6);
    move(frame, 60, 50);  // 30 down
    EXPECT_NEAR(knob->getValue(), 0.25f, 1e-6);
    move(frame, 90, 50, kLButton | kShift);  // 30 right, 1.5 times finer
    EXPECT_NEAR(knob->getValue(), 0.35f, 1e-6);
    release(frame, 90, 50);
    EXPECT_EQ(knob->getZoomFactor(), 1.5f);

    press(frame, 20, 20, kLButton | kControl);
    EXPECT_EQ(knob->getValue(), 0.5f);  // the toolkit's default value
}

TEST(Knob, DrawsItsHandleLineTowardsTheValue) {
    CFrame frame(CRect(0, 0, 40, 40), nullptr, nullptr);
    auto* knob = new CKnob(CRect(0, 0, 40, 40), nullptr, 0, nullptr, nullptr);
    frame.addView(knob);
    knob->setValue(0.5f);  // straight up
    frame.idle();
    EXPECT_EQ(pixel(frame.getBackBuffer(), 20, 6), kWhite);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 20, 34), kFrameGrey);
    knob->setValue(0.0f);  // towards the lower left
    frame.idle();
    EXPECT_EQ(pixel(frame.getBackBuffer(), 20, 6), kFrameGrey);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 10, 30), kWhite);
}

namespace {

// A vertical slider of 16 x 112 at (56, 320) with a 16 x 16 handle, zero at the bottom.
struct SliderFixture {
    Recorder listener;
    CFrame frame{CRect(0, 0, 200, 500), nullptr, nullptr};
    Picture handle{testimages::solidPng(16, 16, kRed)};
    Picture back{testimages::solidPng(16, 112, kBlue)};
    CVerticalSlider* slider;
    SliderFixture() {
        slider = new CVerticalSlider(CRect(56, 320, 72, 432), &listener, 2, 320, 320 + 112 - 16 - 1, handle.bitmap,
                                     back.bitmap, CPoint(), kBottom);
        frame.addView(slider);
    }
};

}  // namespace

TEST(VerticalSlider, FreeClickPutsTheHandleCentreUnderThePointer) {
    SliderFixture f;
    // Range 95 pixels; the centre of the handle is 7 pixels below its top.
    press(f.frame, 60, 320 + 7);
    EXPECT_EQ(f.slider->getValue(), 1.0f);
    move(f.frame, 60, 320 + 7 + 95);
    EXPECT_EQ(f.slider->getValue(), 0.0f);
    move(f.frame, 60, 320 + 7 + 38);
    EXPECT_NEAR(f.slider->getValue(), 0.6f, 1e-6);
    move(f.frame, 60, 500);
    EXPECT_EQ(f.slider->getValue(), 0.0f);
    release(f.frame, 60, 500);
    ASSERT_FALSE(f.listener.calls.empty());
    EXPECT_EQ(f.listener.calls.front(), std::make_pair(2, 1.0f));
    EXPECT_EQ(f.listener.calls.back(), std::make_pair(2, 0.0f));
}

TEST(VerticalSlider, ShiftMovesTenTimesFinerFromWhereItWas) {
    SliderFixture f;
    press(f.frame, 60, 320 + 7 + 38);  // 0.6
    move(f.frame, 60, 320 + 7 + 38, kLButton | kShift);
    EXPECT_NEAR(f.slider->getValue(), 0.6f, 1e-6);
    move(f.frame, 60, 320 + 7 + 38 + 19, kLButton | kShift);  // 0.2 of travel, shown as 0.02
    EXPECT_NEAR(f.slider->getValue(), 0.58f, 1e-6);
    release(f.frame, 60, 400);
    f.slider->setDefaultValue(0.25f);
    press(f.frame, 60, 400, kLButton | kControl);
    EXPECT_EQ(f.slider->getValue(), 0.25f);
}

TEST(VerticalSlider, DrawsTheHandleAtItsPosition) {
    SliderFixture f;
    f.slider->setValue(0.0f);
    f.frame.idle();
    cairo_surface_t* image = f.frame.getBackBuffer();
    // Handle top at 320 + 95 = 415, through 430; the background below and above.
    EXPECT_EQ(pixel(image, 60, 414), kBlue);
    EXPECT_EQ(pixel(image, 60, 415), kRed);
    EXPECT_EQ(pixel(image, 60, 430), kRed);
    EXPECT_EQ(pixel(image, 60, 431), kBlue);
    f.slider->setValue(1.0f);
    f.frame.idle();
    EXPECT_EQ(pixel(image, 60, 320), kRed);
    EXPECT_EQ(pixel(image, 60, 336), kBlue);
    EXPECT_EQ(pixel(image, 60, 420), kBlue);
}

TEST(HorizontalSlider, ValueZeroAtTheLeft) {
    CFrame frame(CRect(0, 0, 300, 100), nullptr, nullptr);
    Picture handle(testimages::solidPng(10, 20, kRed));
    Picture back(testimages::solidPng(150, 20, kBlue));
    auto* slider =
        new CHorizontalSlider(CRect(100, 10, 250, 30), nullptr, 0, 100, 250 - 10 - 1, handle.bitmap, back.bitmap);
    frame.addView(slider);
    slider->setValue(0.5f);
    frame.idle();
    // Left edge of the handle at 100 + trunc(0.5 x 139) = 169.
    EXPECT_EQ(pixel(frame.getBackBuffer(), 168, 20), kBlue);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 169, 20), kRed);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 178, 20), kRed);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 179, 20), kBlue);
    press(frame, 100 + 4, 20);
    EXPECT_EQ(slider->getValue(), 0.0f);
}

namespace {

// Four pictures of 96 x 16 in a 96 x 64 bitmap, red, green, blue, white from the top.
std::vector<unsigned char> selectorPng() {
    return testimages::makePng(96, 64, [](int, int y) {
        const uint32_t colors[] = {kRed, kGreen, kBlue, kWhite};
        return colors[y / 16];
    });
}

}  // namespace

TEST(HorizontalSwitch, DragAcrossVisitsEveryPositionAndShowsItsPicture) {
    Recorder listener;
    CFrame frame(CRect(0, 0, 200, 60), nullptr, nullptr);
    Picture bitmap(selectorPng());
    auto* selector = new CHorizontalSwitch(CRect(84, 32, 180, 48), &listener, 1, 4, 16, 4, bitmap.bitmap);
    frame.addView(selector);
    selector->setValue(0.5f);  // picture trunc(3 x 0.5 + 0.5) = 2
    frame.idle();
    EXPECT_EQ(pixel(frame.getBackBuffer(), 100, 40), kBlue);

    press(frame, 84, 40);
    for (int x = 85; x < 180; ++x) move(frame, x, 40);
    move(frame, 300, 40);  // beyond the right edge
    release(frame, 300, 40);
    std::vector<float> sent;
    for (auto& call : listener.calls) sent.push_back(call.second);
    EXPECT_EQ(sent, (std::vector<float>{0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f}));
    EXPECT_EQ(pixel(frame.getBackBuffer(), 100, 40), kWhite);

    press(frame, 90, 40, kLButton | kControl);
    EXPECT_EQ(selector->getValue(), 0.5f);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 100, 40), kBlue);
}

TEST(HorizontalSwitch, StopsFollowingWhenTheButtonsChange) {
    CFrame frame(CRect(0, 0, 200, 60), nullptr, nullptr);
    Picture bitmap(selectorPng());
    auto* selector = new CHorizontalSwitch(CRect(84, 32, 180, 48), nullptr, 1, 4, 16, 4, bitmap.bitmap);
    frame.addView(selector);
    press(frame, 84, 40);
    move(frame, 120, 40, kLButton | kShift);
    EXPECT_EQ(selector->getValue(), 0.0f);
}

TEST(OnOffButton, ClickSwitchesBelowOneOnAndOneOffEvenWithControl) {
    Recorder listener;
    CFrame frame(CRect(0, 0, 50, 50), nullptr, nullptr);
    Picture bitmap(testimages::makePng(16, 32, [](int, int y) { return y < 16 ? kGreen : kRed; }));
    auto* button = new COnOffButton(CRect(10, 10, 26, 26), &listener, 0, bitmap.bitmap);
    frame.addView(button);
    button->setValue(0.7f);
    frame.idle();
    EXPECT_EQ(pixel(frame.getBackBuffer(), 12, 12), kRed);  // any value but 0 shows "on"
    press(frame, 12, 12);
    EXPECT_EQ(button->getValue(), 1.0f);
    press(frame, 12, 12, kLButton | kControl);
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 12, 12), kGreen);
    press(frame, 12, 12, kRButton);
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(listener.calls, (std::vector<std::pair<int32_t, float>>{{0, 1.0f}, {0, 0.0f}}));
}

TEST(ParamDisplay, ShowsTheConvertedTextOnItsBackground) {
    CFrame frame(CRect(0, 0, 100, 30), nullptr, nullptr);
    Picture back(testimages::solidPng(80, 20, kWhite));
    auto* display = new CParamDisplay(CRect(10, 5, 90, 25), back.bitmap);
    display->setFontColor(kBlackCColor);
    static float seenValue;
    static const void* seenData;
    static const char kTag[] = "tag";
    display->setStringConvert(
        [](float value, char* text, const void* data) {
            seenValue = value;
            seenData = data;
            std::snprintf(text, 256, "%s", "8888");
        },
        kTag);
    frame.addView(display);
    display->setValue(0.25f);
    frame.idle();
    EXPECT_EQ(seenValue, 0.25f);
    EXPECT_EQ(seenData, kTag);
    int dark = 0;
    for (int y = 5; y < 25; ++y)
        for (int x = 10; x < 90; ++x) dark += (pixel(frame.getBackBuffer(), x, y) & 0xFF) < 128;
    EXPECT_GT(dark, 20);  // glyphs were drawn
    EXPECT_EQ(pixel(frame.getBackBuffer(), 11, 6), kWhite);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 5, 5), kFrameGrey);
}

TEST(TextEdit, TypingThenReturnAcceptsAndEscapeRestores) {
    Recorder listener;
    CFrame frame(CRect(0, 0, 300, 40), nullptr, nullptr);
    auto* field = new CTextEdit(CRect(10, 10, 218, 26), &listener, 61, "./someone.wav");
    frame.addView(field);
    auto key = [&](int32_t character, uint8_t virt = 0) {
        VstKeyCode code;
        code.character = character;
        code.virt = virt;
        return frame.onKeyDown(code);
    };
    EXPECT_EQ(key('x'), -1);  // not editing yet
    press(frame, 20, 15);
    EXPECT_TRUE(field->isEditing());
    for (int i = 0; i < 11; ++i) key(0, VKEY_BACK);
    key('a');
    key('.');
    key('w');
    EXPECT_EQ(key(7), -1);  // control characters are not text
    EXPECT_STREQ(field->getText(), "./someone.wav");
    EXPECT_EQ(key(0, VKEY_RETURN), 1);
    EXPECT_FALSE(field->isEditing());
    EXPECT_STREQ(field->getText(), "./a.w");
    EXPECT_EQ(listener.calls.size(), 1u);

    press(frame, 20, 15);
    key('z');
    key(0, VKEY_ESCAPE);
    EXPECT_STREQ(field->getText(), "./a.w");

    // A click elsewhere accepts what was typed.
    press(frame, 20, 15);
    key('v');
    press(frame, 250, 35);
    EXPECT_STREQ(field->getText(), "./a.wv");
    EXPECT_EQ(listener.calls.size(), 2u);
}

TEST(TextEdit, KeepsAtMostItsMaximumLength) {
    CFrame frame(CRect(0, 0, 300, 40), nullptr, nullptr);
    std::string longText(400, 'q');
    auto* field = new CTextEdit(CRect(10, 10, 218, 26), nullptr, 0, longText.c_str());
    frame.addView(field);
    EXPECT_EQ(std::string(field->getText()).size(), CTextEdit::kMaxLength);
    press(frame, 20, 15);
    VstKeyCode code;
    code.character = 'r';
    frame.onKeyDown(code);
    frame.setFocusView(nullptr);
    EXPECT_EQ(std::string(field->getText()), std::string(CTextEdit::kMaxLength, 'q'));
    // Latin-1 text draws without breaking later drawing.
    field->setText("caf\xe9.wav");
    frame.idle();
    field->setText("ok");
    frame.idle();
    EXPECT_EQ(cairo_surface_status(frame.getBackBuffer()), CAIRO_STATUS_SUCCESS);
}
