// The frame in a real X11 child window: drawing, a click sent by the X server, and a
// clean close. Runs on an Xvfb server the test starts itself (or the session's display
// when there is no Xvfb); skipped when neither exists.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "gui/CBitmap.h"
#include "gui/COnOffButton.h"
#include "gui/TestHost.h"
#include "gui/TestImages.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "support/DisplayTest.h"

namespace {

using xtest::openDescriptors;
using xtest::waitFor;

struct Clicks : CControlListener {
    int count = 0;
    void valueChanged(CDrawContext*, CControl*) override { ++count; }
};

class WindowTest : public xtest::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        host = hostWindow(608, 512);
    }

    void sendButton(Window window, int type, int x, int y, unsigned int state) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.display = display;
        event.xbutton.window = window;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.state = state;
        event.xbutton.same_screen = True;
        XSendEvent(display, window, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
        XFlush(display);
    }
    void click(Window window, int x, int y) {
        sendButton(window, ButtonPress, x, y, 0);
        sendButton(window, ButtonRelease, x, y, Button1Mask);
    }

    Window host = 0;
};

}  // namespace

TEST_F(WindowTest, ChildWindowDrawsTakesAClickAndClosesCleanly) {
    int descriptors = openDescriptors();
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    Clicks clicks;
    auto png = testimages::makePng(16, 32, [](int, int y) { return y < 16 ? 0xFF00FF00u : 0xFFFF0000u; });
    CBitmap* picture = new CBitmap(png.data(), png.size());

    editor.open(reinterpret_cast<void*>(host));
    CFrame* frame = editor.getFrame();
    ASSERT_TRUE(frame->isWindowOpen());
    Window child = frame->getSystemWindow();
    auto* button = new COnOffButton(CRect(10, 10, 26, 26), &clicks, 0, picture);
    picture->forget();
    frame->addView(button);
    EXPECT_EQ(childCount(host), 1u);

    ASSERT_TRUE(waitFor([&] {
        editor.idle();
        return pixelOf(child, 12, 12) == 0x00FF00;
    })) << "the off picture never appeared";
    EXPECT_EQ(pixelOf(child, 100, 100), 0x404040u);

    click(child, 12, 12);
    ASSERT_TRUE(waitFor([&] {
        editor.idle();
        return clicks.count == 1;
    }));
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_TRUE(waitFor([&] {
        editor.idle();
        return pixelOf(child, 12, 12) == 0xFF0000;
    }));

    // A click still queued when the editor closes is never handled.
    click(child, 12, 12);
    XSync(display, False);
    editor.close();
    EXPECT_EQ(clicks.count, 1);
    XSync(display, False);
    EXPECT_EQ(childCount(host), 0u);
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(WindowTest, ReopensAndSurvivesAParentDestroyedFirst) {
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    for (int i = 0; i < 3; ++i) {
        editor.open(reinterpret_cast<void*>(host));
        EXPECT_TRUE(editor.getFrame()->isWindowOpen());
        editor.idle();
        editor.close();
    }
    XSync(display, False);
    EXPECT_EQ(childCount(host), 0u);

    editor.open(reinterpret_cast<void*>(host));
    XDestroyWindow(display, host);
    XSync(display, False);
    host = 0;
    editor.getFrame()->invalidate(CRect(0, 0, 608, 512));
    editor.idle();
    editor.close();

    // Still usable afterwards (a default Xlib error handler would have ended the process).
    host = hostWindow(608, 512);
    XMapWindow(display, host);
    XSync(display, False);
    editor.open(reinterpret_cast<void*>(host));
    EXPECT_TRUE(editor.getFrame()->isWindowOpen());
    XSync(display, False);
    EXPECT_EQ(childCount(host), 1u);
    editor.close();
}

TEST_F(WindowTest, AParentThatIsNoWindowLeavesTheFrameOffscreen) {
    int descriptors = openDescriptors();
    testhost::Effect effect;
    testhost::Editor editor(&effect);
    editor.open(reinterpret_cast<void*>(uintptr_t{0x3fffff1}));
    EXPECT_FALSE(editor.getFrame()->isWindowOpen());
    editor.idle();
    editor.close();
    EXPECT_EQ(openDescriptors(), descriptors);
}
