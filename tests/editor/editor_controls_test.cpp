// The editor's own controls driven by synthetic mouse events on an offscreen frame.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "dsp/ExpTables.h"
#include "editor/FileButton.h"
#include "editor/PopupKnob.h"
#include "editor/SteppedSlider.h"
#include "editor/ToggleButton.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CParamDisplay.h"
#include "gui/CSlider.h"
#include "gui/TestHost.h"
#include "gui/TestImages.h"

using testimages::argb;
using testimages::pixel;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr uint32_t kFrameGrey = 0xFF404040;
const char* const kWaveList = "S5,[Rnd],[Sin],[Tri],[Sqr],[Saw]";
const CRect kVolumeRect(536, 440, 568, 472);
const CRect kOsc1FrmRect(40, 104, 72, 136);

struct Recorder : CControlListener {
    std::vector<float> values;
    void valueChanged(CDrawContext*, CControl* control) override { values.push_back(control->getValue()); }
};

// Picture i of a strip is opaque with red = 8 i, so the picture drawn can be read back.
uint32_t stripColor(int i) { return argb(255, static_cast<uint8_t>(8 * i), 0, static_cast<uint8_t>(255 - 8 * i)); }

std::vector<unsigned char> stripPng(int frames, int size, bool horizontal) {
    return testimages::makePng(horizontal ? frames * size : size, horizontal ? size : frames * size,
                               [=](int x, int y) { return stripColor((horizontal ? x : y) / size); });
}

int pictureAt(cairo_surface_t* image, int x, int y) { return static_cast<int>((pixel(image, x, y) >> 16) & 0xFF) / 8; }

class EditorControls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ExpTables::fill();
        testimages::addResource(PopupKnob::kValueBoxBitmap, testimages::solidPng(80, 20, kWhite));
        testimages::addResource(141, testimages::solidPng(150, 20, kBlue));
        testimages::addResource(142, testimages::solidPng(10, 20, kRed));
        testimages::addResource(232, stripPng(5, 32, true));
        testimages::addResource(137, testimages::solidPng(30, 30, kGreen));
    }

    void TearDown() override {
        for (CBitmap* bitmap : bitmaps) bitmap->forget();
    }

    CBitmap* bitmap(const std::vector<unsigned char>& png) {
        bitmaps.push_back(new CBitmap(png.data(), png.size()));
        return bitmaps.back();
    }

    // A knob of the table's usual kind: 31-picture strip, pop-up below.
    PopupKnob* addKnob(const CRect& rect, const char* format, int32_t mode = 1) {
        auto* knob = new PopupKnob(rect, &listener, 0, 31, 32, bitmap(stripPng(31, 32, mode & 1)), 141, 142, CPoint(),
                                   format, mode);
        frame.addView(knob);
        return knob;
    }

    void press(int x, int y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        frame.onMouseDown(p, buttons);
    }
    void move(int x, int y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        frame.onMouseMoved(p, buttons);
    }
    void release(int x, int y) {
        CPoint p(x, y);
        frame.onMouseUp(p, 0);
    }

    Recorder listener;
    CFrame frame{CRect(0, 0, 608, 512), nullptr, nullptr};
    std::vector<CBitmap*> bitmaps;
};

}  // namespace

TEST_F(EditorControls, KnobDraggedRightAddsHalfAndRightPlusDownCancels) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    knob->setValue(0.25f);
    press(550, 455);
    EXPECT_EQ(frame.getNbViews(), 3);  // pop-up slider and value box
    move(650, 455);
    EXPECT_NEAR(knob->getValue(), 0.75f, 1e-6);
    release(650, 455);
    EXPECT_EQ(frame.getNbViews(), 1);
    ASSERT_FALSE(listener.values.empty());
    EXPECT_NEAR(listener.values.back(), 0.75f, 1e-6);

    knob->setValue(0.4f);
    press(550, 455);
    move(650, 455);
    EXPECT_NEAR(knob->getValue(), 0.9f, 1e-6);
    move(650, 555);
    EXPECT_EQ(knob->getValue(), 0.4f);
    move(900, 455);  // far right: clamped
    EXPECT_EQ(knob->getValue(), 1.0f);
    release(900, 455);
}

TEST_F(EditorControls, ShiftInTheMiddleOfADragDoesNotJumpAndIsFiner) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    knob->setValue(0.2f);
    press(550, 455);
    move(600, 455);
    EXPECT_NEAR(knob->getValue(), 0.45f, 1e-6);
    move(601, 455, kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.455f, 1e-6);  // one more pixel, no jump
    move(631, 455, kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.47f, 1e-6);  // 30 pixels of 2000: ten times finer
    // Releasing shift rebases too: the pixel of that move still counts at 1/2000.
    move(632, 455);
    EXPECT_NEAR(knob->getValue(), 0.47f + 1.0f / 2000.0f, 1e-6);
    move(652, 455);
    EXPECT_NEAR(knob->getValue(), 0.57f + 1.0f / 2000.0f, 1e-6);
    release(652, 455);
}

TEST_F(EditorControls, ShiftHeldAtThePressUsesTwoThousandPixels) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    knob->setValue(0.0f);
    press(550, 455, kLButton | kShift);
    move(610, 455, kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.03f, 1e-6);
    release(610, 455);
}

TEST_F(EditorControls, ControlClickRestoresTheDefaultWithoutPopup) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    knob->setDefaultValue(0.8f);
    knob->setValue(0.3f);
    press(550, 455, kLButton | kControl);
    EXPECT_EQ(knob->getValue(), 0.8f);
    EXPECT_EQ(listener.values, std::vector<float>{0.8f});
    EXPECT_EQ(frame.getNbViews(), 1);
    press(550, 455, kLButton | kControl | kShift);  // not a control-click: a drag starts
    EXPECT_EQ(frame.getNbViews(), 3);
    release(550, 455);
}

TEST_F(EditorControls, SteppedKnobStoresAndDragsOnSteps) {
    PopupKnob* knob = addKnob(kOsc1FrmRect, kWaveList, 3);
    knob->setValue(0.6f);
    EXPECT_EQ(knob->getValue(), 0.5f);  // trunc(2.9) = 2, 2/4
    press(50, 120);
    move(80, 120);  // 0.5 + 0.15 lies nearest to step 3
    EXPECT_EQ(knob->getValue(), 0.75f);
    release(80, 120);
    for (float v : listener.values) EXPECT_EQ(v * 4.0f, static_cast<float>(static_cast<int>(v * 4.0f)));

    // The wheel moves by exactly one step, with or without shift, and stops at the ends.
    frame.onWheel(CPoint(50, 120), -1.0f, 0);
    EXPECT_EQ(knob->getValue(), 0.5f);
    frame.onWheel(CPoint(50, 120), 1.0f, kShift);
    EXPECT_EQ(knob->getValue(), 0.75f);
    for (int i = 0; i < 3; ++i) frame.onWheel(CPoint(50, 120), 1.0f, 0);
    EXPECT_EQ(knob->getValue(), 1.0f);
}

TEST_F(EditorControls, SwappedFormatSnapsAtTheFirstPassOfTheNextPress) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    knob->setValue(0.6f);
    frame.idle();
    knob->setFormat(kWaveList);
    EXPECT_EQ(knob->getValue(), 0.6f);  // nothing changes at the swap
    press(550, 455);
    EXPECT_EQ(knob->getValue(), 0.5f);
    EXPECT_EQ(listener.values, std::vector<float>{0.5f});
    release(550, 455);
}

TEST_F(EditorControls, StripPictureIsTruncatedFromTheValue) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    auto shown = [&](float value) {
        knob->setValue(value);
        frame.idle();
        int picture = pictureAt(frame.getBackBuffer(), 540, 450);
        // The whole rectangle shows one picture, starting at its left edge.
        EXPECT_EQ(pixel(frame.getBackBuffer(), 536, 440), stripColor(picture));
        EXPECT_EQ(pixel(frame.getBackBuffer(), 567, 471), stripColor(picture));
        return picture;
    };
    EXPECT_EQ(shown(0.5f), 15);
    EXPECT_EQ(shown(1.0f), 30);
    EXPECT_EQ(shown(0.999f), 29);
    EXPECT_EQ(shown(0.0f), 0);
    EXPECT_EQ(shown(0.0334f), 1);  // trunc(32.06) = 32: the second picture
    EXPECT_EQ(pixel(frame.getBackBuffer(), 535, 440), kFrameGrey);
}

TEST_F(EditorControls, VerticalStripInModeZero) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr, 0);
    knob->setValue(0.5f);
    frame.idle();
    EXPECT_EQ(pictureAt(frame.getBackBuffer(), 540, 441), 15);
    EXPECT_EQ(pictureAt(frame.getBackBuffer(), 566, 470), 15);
}

TEST_F(EditorControls, PopupPlacementBelowAndToTheRight) {
    CRect slider, box;
    const CRect window(0, 0, 608, 512);
    PopupKnob::placePopup(kVolumeRect, 150, 20, window, 1, slider, box);
    EXPECT_EQ(slider, CRect(378, 472, 528, 492));  // pushed left from 477 by the right edge
    EXPECT_EQ(box, CRect(528, 472, 608, 492));
    PopupKnob::placePopup(CRect(0, 10, 32, 42), 150, 20, window, 1, slider, box);
    EXPECT_EQ(slider, CRect(0, 42, 150, 62));  // not past the left edge
    PopupKnob::placePopup(CRect(240, 104, 272, 136), 150, 20, window, 1, slider, box);
    EXPECT_EQ(slider, CRect(181, 136, 331, 156));
    PopupKnob::placePopup(kOsc1FrmRect, 160, 32, window, 3, slider, box);
    EXPECT_EQ(slider, CRect(72, 104, 232, 136));
    EXPECT_EQ(box, CRect(232, 104, 312, 124));
    PopupKnob::placePopup(CRect(40, 490, 72, 512), 160, 32, window, 3, slider, box);
    EXPECT_EQ(slider, CRect(72, 480, 232, 512));  // pushed up by the bottom edge
    PopupKnob::placePopup(CRect(40, 0, 72, 10), 160, 32, window, 3, slider, box);
    EXPECT_EQ(slider.top, 0);
}

TEST_F(EditorControls, PopupFollowsTheKnobAndVanishesOnRelease) {
    PopupKnob* knob = addKnob(kVolumeRect, nullptr);
    knob->setValue(0.0f);
    frame.idle();
    press(550, 455);
    ASSERT_EQ(frame.getNbViews(), 3);
    auto* slider = dynamic_cast<CSlider*>(frame.getView(1));
    auto* box = dynamic_cast<CParamDisplay*>(frame.getView(2));
    ASSERT_NE(slider, nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(slider->getViewSize(), CRect(378, 472, 528, 492));
    EXPECT_EQ(box->getViewSize(), CRect(528, 472, 608, 492));
    cairo_surface_t* image = frame.getBackBuffer();
    // Handle (10 wide) at the left end; its travel is 378 to 528 - 10 - 1 = 517.
    EXPECT_EQ(pixel(image, 378, 480), kRed);
    EXPECT_EQ(pixel(image, 388, 480), kBlue);
    EXPECT_EQ(pixel(image, 530, 473), kWhite);

    move(650, 455);
    EXPECT_NEAR(slider->getValue(), 0.5f, 1e-6);
    EXPECT_NEAR(box->getValue(), 0.5f, 1e-6);
    EXPECT_EQ(pixel(image, 378, 480), kBlue);
    EXPECT_EQ(pixel(image, 378 + 69, 480), kRed);  // trunc(0.5 x 139) = 69

    release(650, 455);
    EXPECT_EQ(frame.getNbViews(), 1);
    EXPECT_EQ(pixel(image, 378 + 69, 480), kFrameGrey);
    EXPECT_EQ(pixel(image, 530, 473), kFrameGrey);
}

TEST_F(EditorControls, ClosingDuringADragEndsTheEditAndDropsThePopup) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    editor.open(nullptr);
    CFrame* editorFrame = editor.getFrame();
    auto* knob = new PopupKnob(kVolumeRect, &listener, 7, 31, 32, bitmap(stripPng(31, 32, true)), 141, 142, CPoint(),
                               nullptr, 1);
    editorFrame->addView(knob);
    testhost::gestures().clear();
    CPoint at(550, 455);
    editorFrame->onMouseDown(at, kLButton);
    EXPECT_EQ(editorFrame->getNbViews(), 3);
    editor.close();
    EXPECT_EQ(testhost::gestures(),
              (std::vector<std::pair<int32_t, int32_t>>{{audioMasterBeginEdit, 7}, {audioMasterEndEdit, 7}}));
}

TEST_F(EditorControls, SteppedSliderSnapsSetAndDraggedValues) {
    // The ModSrc slider: 16 x 112 at (56, 320), 16 x 16 handle, drawn on the window
    // picture with the background offset of its position.
    CBitmap* windowPicture = bitmap(testimages::makePng(608, 512, [](int x, int y) {
        return argb(255, static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0);
    }));
    CBitmap* handle = bitmap(testimages::solidPng(16, 16, kWhite));
    auto* slider = new SteppedSlider(CRect(56, 320, 72, 432), &listener, 2, 320, 320 + 112 - 16 - 1, handle,
                                     windowPicture, CPoint(56, 320), kBottom,
                                     "S5,[Source1],[Source2],[Source3],"
                                     "[Source4],[Soucr]");
    frame.addView(slider);
    EXPECT_EQ(slider->getSteps(), 5);
    EXPECT_EQ(slider->getZoomFactor(), 10.0f);
    EXPECT_TRUE(slider->getFreeClick());
    slider->setValue(0.6f);
    EXPECT_EQ(slider->getValue(), 0.5f);

    frame.idle();
    cairo_surface_t* image = frame.getBackBuffer();
    EXPECT_EQ(pixel(image, 60, 330), argb(255, 60, static_cast<uint8_t>(330), 0));  // the picture beneath
    EXPECT_EQ(pixel(image, 60, 320 + 47), kWhite);  // handle top at 320 + trunc(0.5 x 95)

    press(60, 327 + 38);  // raw 0.6
    EXPECT_EQ(slider->getValue(), 0.5f);
    for (int y = 300; y < 450; y += 3) move(60, y);
    move(60, 327 + 38);
    move(60, 327 + 38, kLButton | kShift);
    move(60, 327, kLButton | kShift);  // 0.4 of travel, a tenth of it: 0.54
    EXPECT_EQ(slider->getValue(), 0.5f);
    move(60, 327 - 133, kLButton | kShift);  // 1.8 of travel: 0.68
    EXPECT_EQ(slider->getValue(), 0.75f);
    release(60, 327);
    ASSERT_GT(listener.values.size(), 4u);
    for (float v : listener.values) EXPECT_EQ(v * 4.0f, static_cast<float>(static_cast<int>(v * 4.0f)));
}

TEST_F(EditorControls, ToggleSwitchesOnFromAnyValueBelowOne) {
    CBitmap* picture = bitmap(testimages::makePng(16, 32, [](int, int y) { return y < 16 ? kGreen : kRed; }));
    auto* toggle = new ToggleButton(CRect(88, 240, 104, 256), &listener, 14, picture);
    frame.addView(toggle);
    toggle->setValue(0.7f);
    frame.idle();
    EXPECT_EQ(pixel(frame.getBackBuffer(), 90, 250), kRed);
    press(90, 250);
    EXPECT_EQ(toggle->getValue(), 1.0f);
    press(90, 250);
    EXPECT_EQ(toggle->getValue(), 0.0f);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 90, 250), kGreen);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 90, 256), kFrameGrey);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
}

TEST_F(EditorControls, FileButtonClickSendsOneThenZero) {
    CBitmap* picture = bitmap(testimages::makePng(24, 32, [](int, int y) { return y < 16 ? kGreen : kRed; }));
    auto* button = new FileButton(CRect(296, 392, 320, 408), &listener, 56, picture);
    frame.addView(button);
    press(300, 400);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 300, 400), kRed);  // held: the lower picture
    release(300, 400);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(pixel(frame.getBackBuffer(), 300, 400), kGreen);

    listener.values.clear();
    press(300, 400, kLButton | kShift);  // with a modifier: no hold
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
}

TEST_F(EditorControls, FileButtonReleasedOutsideStillEndsWithZero) {
    CBitmap* picture = bitmap(testimages::solidPng(24, 32, kGreen));
    auto* button = new FileButton(CRect(296, 392, 320, 408), &listener, 57, picture);
    frame.addView(button);
    press(300, 400);
    move(320, 408);  // the edges count as inside
    EXPECT_EQ(button->getValue(), 1.0f);
    move(321, 408);
    EXPECT_EQ(button->getValue(), 0.0f);
    move(310, 400);
    EXPECT_EQ(button->getValue(), 1.0f);
    move(400, 450);
    release(400, 450);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f, 1.0f, 0.0f, 0.0f}));

    // Another button during the hold ends it at once.
    listener.values.clear();
    press(300, 400);
    move(300, 400, kLButton | kRButton);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    release(300, 400);
    EXPECT_EQ(listener.values.size(), 2u);
}

TEST_F(EditorControls, AFrameDestroyedMidGestureTellsNoListener) {
    // As when a host deletes the plug-in without closing the editor: the listener may
    // already be gone.
    auto* own = new CFrame(CRect(0, 0, 608, 512), nullptr, nullptr);
    own->addView(new FileButton(CRect(296, 392, 320, 408), &listener, 56, bitmap(testimages::solidPng(24, 32, kRed))));
    own->addView(new PopupKnob(kVolumeRect, &listener, 0, 31, 32, bitmap(stripPng(31, 32, true)), 141, 142, CPoint(),
                               nullptr, 1));
    CPoint at(300, 400);
    own->onMouseDown(at, kLButton);
    EXPECT_EQ(listener.values, std::vector<float>{1.0f});
    delete own;
    EXPECT_EQ(listener.values, std::vector<float>{1.0f});
}
