// Both plug-ins' editors in real X11 windows, reached as a host reaches them: the built
// libraries, the editor opcodes and a parent window of the host's own. Runs on an Xvfb
// server the test starts (or the session's display); skipped when there is neither.
#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/LoadedPlugin.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "support/DisplayTest.h"
#include "support/TempFolder.h"

namespace {

class EditorWindowTest : public xtest::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The editor's scale comes from the screen unless a test chooses one; a scale the
        // user saved stays out.
        setDpi(0);
        setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        if (display) setDpi(0);
        DisplayTest::TearDown();
    }

    // The window's pixels as the X server shows them, kept as a PNG artefact; answers
    // the pixel at (x, y) as 0xRRGGBB.
    unsigned long screenshot(Window window, int width, int height, const std::string& name, int x, int y) {
        XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
        if (!image) return 0xDEADBEEF;
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        unsigned char* data = cairo_image_surface_get_data(surface);
        int stride = cairo_image_surface_get_stride(surface);
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                uint32_t rgb = static_cast<uint32_t>(XGetPixel(image, column, row) & 0xFFFFFF);
                std::memcpy(data + row * stride + column * 4, &rgb, 4);
            }
        cairo_surface_mark_dirty(surface);
        std::filesystem::path folder = std::filesystem::path(ZORVEK_BINARY_DIR) / "artefacts";
        std::filesystem::create_directories(folder);
        EXPECT_EQ(cairo_surface_write_to_png(surface, (folder / (name + ".png")).c_str()), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(surface);
        unsigned long value = XGetPixel(image, x, y) & 0xFFFFFF;
        XDestroyImage(image);
        return value;
    }
    // Idles the editor until the window shows something other than black at (x, y).
    bool idleUntilDrawn(LoadedPlugin& plugin, Window window, int x, int y) {
        return xtest::waitFor([&] {
            plugin.dispatch(effEditIdle);
            const unsigned long value = pixelOf(window, x, y);
            return value != 0 && value != 0xDEADBEEF;
        });
    }

    // Sets the screen's Xft.dpi resource as a desktop does (0: none).
    void setDpi(int dpi) {
        Window root = DefaultRootWindow(display);
        Atom resources = XInternAtom(display, "RESOURCE_MANAGER", False);
        if (dpi > 0) {
            std::string text = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
            XChangeProperty(display, root, resources, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text.c_str()), static_cast<int>(text.size()));
        } else {
            XDeleteProperty(display, root, resources);
        }
        XSync(display, False);
    }
    Window onlyChild(Window window) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, window, &root, &parent, &children, &count);
        Window child = count == 1 ? children[0] : 0;
        if (children) XFree(children);
        return child;
    }
    void windowSize(Window window, unsigned int& width, unsigned int& height) {
        Window root;
        int x, y;
        unsigned int border, depth;
        width = height = 0;
        XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth);
    }
    // Runs xdotool with the arguments (real input through the XTEST extension), then
    // lets the editor handle what arrived.
    void xdotool(LoadedPlugin& plugin, const std::string& arguments) {
        ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
        XSync(display, False);
        idleFor(plugin, 60);
    }
    void idleFor(LoadedPlugin& plugin, int milliseconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            plugin.dispatch(effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < end);
    }
    // The program chunk's line of a file slot, "File<n>=<path>".
    std::string chunkLine(LoadedPlugin& plugin, int slot) {
        char* chunk = nullptr;
        intptr_t size = plugin.dispatch(effGetChunk, 1, 0, &chunk);
        if (!chunk || size <= 0) return "";
        std::string text(chunk, static_cast<size_t>(size));
        std::string key = std::string(1, '\0') + "File" + std::to_string(slot + 1) + "=";
        size_t at = text.find(key);
        return at == std::string::npos ? "" : std::string(text.c_str() + at + 1);
    }

    TempFolder config;
};

TEST_F(EditorWindowTest, VocoderEditorShowsItsPanelInTheHostWindow) {
    LoadedPlugin plugin("Zorvek2.so");
    ASSERT_NE(plugin.effect(), nullptr);
    ERect* rect = nullptr;
    ASSERT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom - rect->top, 512);
    EXPECT_EQ(rect->right - rect->left, 608);

    Window host = hostWindow(608, 512);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    EXPECT_EQ(childCount(host), 1u);
    ASSERT_TRUE(idleUntilDrawn(plugin, host, 100, 470));
    unsigned long panel = screenshot(host, 608, 512, "vocoder-window", 100, 470);
    EXPECT_NE(panel, 0u);
    plugin.dispatch(effEditClose);
    EXPECT_EQ(childCount(host), 0u);
    XDestroyWindow(display, host);
}

TEST_F(EditorWindowTest, CaptureEditorShowsItsPanelInTheHostWindow) {
    LoadedPlugin plugin("ZorvekCapture.so");
    ASSERT_NE(plugin.effect(), nullptr);
    ERect* rect = nullptr;
    ASSERT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->bottom, 60);
    EXPECT_EQ(rect->right, 200);
    Window host = hostWindow(200, 60);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    ASSERT_TRUE(idleUntilDrawn(plugin, host, 100, 55));
    screenshot(host, 200, 60, "capture-window", 0, 0);
    plugin.dispatch(effEditClose);
    EXPECT_EQ(childCount(host), 0u);
    XDestroyWindow(display, host);
}

// A hundred editor sessions while audio and automation run on another thread: no X
// connection, window or descriptor is left behind (memory: the sanitizer build).
TEST_F(EditorWindowTest, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
    LoadedPlugin plugin("Zorvek2.so");
    ASSERT_NE(plugin.effect(), nullptr);
    plugin.start();
    Window host = hostWindow(608, 512);
    // The first session loads fonts and caches that stay for the process's life.
    plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    plugin.dispatch(effEditIdle);
    plugin.dispatch(effEditClose);
    const int descriptors = xtest::openDescriptors();

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> left, right;
        AEffect* effect = plugin.effect();
        for (int block = 0; !stop.load(); ++block) {
            // Automation on the audio thread reaches the editor as it runs.
            effect->setParameter(effect, 20, static_cast<float>(block % 100) / 100.0f);
            plugin.render(left, right, 256, 256);
        }
    });
    for (int session = 0; session < 100; ++session) {
        ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
        ASSERT_EQ(childCount(host), 1u);
        for (int i = 0; i < 3; ++i) plugin.dispatch(effEditIdle);
        plugin.dispatch(effEditClose);
        ASSERT_EQ(childCount(host), 0u) << "session " << session;
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(xtest::openDescriptors(), descriptors) << "an X connection or descriptor leaked";
    XDestroyWindow(display, host);
}

// The editor's size follows the screen's Xft.dpi (nearest quarter, 1 to 2) and then
// the panel's right-click menu, which the next instance remembers.
TEST_F(EditorWindowTest, EditorSizeFollowsTheScreenDensityAndTheScaleMenu) {
    if (!xtest::onPath("xdotool")) GTEST_SKIP() << "no xdotool";
    struct Density {
        int dpi;
        int width, height;
    };
    for (const Density& d : {Density{0, 608, 512}, Density{96, 608, 512}, Density{120, 760, 640},
                             Density{144, 912, 768}, Density{192, 1216, 1024}, Density{400, 1216, 1024}}) {
        SCOPED_TRACE(d.dpi);
        setDpi(d.dpi);
        LoadedPlugin plugin("Zorvek2.so");
        ERect* rect = nullptr;
        ASSERT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
        EXPECT_EQ(rect->right, d.width);
        EXPECT_EQ(rect->bottom, d.height);
        Window host = hostWindow(d.width, d.height);
        ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
        unsigned int width, height;
        windowSize(onlyChild(host), width, height);
        EXPECT_EQ(static_cast<int>(width), d.width);
        EXPECT_EQ(static_cast<int>(height), d.height);
        plugin.dispatch(effEditClose);
        XDestroyWindow(display, host);
    }

    setDpi(96);
    LoadedPlugin plugin("Zorvek2.so");
    Window host = hostWindow(608, 512);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    double scale = 1.0;
    // A right click on bare panel (left of the oscillator group), then the menu's item.
    const int menuX = 10, menuY = 150;
    const int items[] = {100, 125, 150, 200};
    for (int item : {1, 2, 3, 0}) {
        SCOPED_TRACE(items[item]);
        Window child = onlyChild(host);
        auto at = [&](int x, int y) {
            return std::to_string(static_cast<int>(x * scale)) + " " + std::to_string(static_cast<int>(y * scale));
        };
        xdotool(plugin, "mousemove --window " + std::to_string(child) + " " + at(menuX, menuY) + " click 3");
        xdotool(plugin, "mousemove --window " + std::to_string(child) + " " +
                            at(menuX + 30, menuY + 2 + item * 18 + 9) + " click 1");
        idleFor(plugin, 100);
        scale = items[item] / 100.0;
        const int width = static_cast<int>(608 * scale), height = static_cast<int>(512 * scale);
        ASSERT_FALSE(plugin.sizeRequests.empty());
        EXPECT_EQ(plugin.sizeRequests.back().width, width);
        EXPECT_EQ(plugin.sizeRequests.back().height, height);
        ERect* rect = nullptr;
        plugin.dispatch(effEditGetRect, 0, 0, &rect);
        EXPECT_EQ(rect->right, width);
        EXPECT_EQ(rect->bottom, height);
        unsigned int shownWidth, shownHeight;
        windowSize(onlyChild(host), shownWidth, shownHeight);
        EXPECT_EQ(static_cast<int>(shownWidth), width);
        EXPECT_EQ(static_cast<int>(shownHeight), height);
        if (item == 3) {
            // Remembered: a new instance on a 96 dpi screen opens at the chosen scale.
            LoadedPlugin next("Zorvek2.so");
            ERect* nextRect = nullptr;
            next.dispatch(effEditGetRect, 0, 0, &nextRect);
            EXPECT_EQ(nextRect->right, 1216);
        }
    }
    EXPECT_EQ(plugin.sizeRequests.size(), 4u);
    plugin.dispatch(effEditClose);
    XDestroyWindow(display, host);
}

// Mouse and keys as a musician uses them, as real X events on the editor's window.
TEST_F(EditorWindowTest, GesturesThroughRealInput) {
    if (!xtest::onPath("xdotool")) GTEST_SKIP() << "no xdotool";
    LoadedPlugin plugin("Zorvek2.so");
    Window host = hostWindow(608, 512);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    const std::string window = "--window " + std::to_string(onlyChild(host));
    enum { kOsc1Frm = 4, kCutoff = 20, kModSrc = 2 };
    // Presses more than the double-click time apart.
    auto pause = [&] { idleFor(plugin, 450); };

    // Double click resets to what control-click restores.
    plugin.setParameter(kCutoff, 0.3f);
    xdotool(plugin, "mousemove " + window + " 256 120 keydown ctrl click 1 keyup ctrl");
    const float reset = plugin.getParameter(kCutoff);
    EXPECT_NE(reset, 0.3f);
    pause();
    plugin.setParameter(kCutoff, 0.3f);
    xdotool(plugin, "mousemove " + window + " 256 120 click --repeat 2 --delay 60 1");
    EXPECT_EQ(plugin.getParameter(kCutoff), reset);

    // Forty pixels to the right: a fifth of the range, a fiftieth with shift.
    struct Drag {
        const char* keys;
        float moved;
    };
    for (const Drag& drag : {Drag{"", 0.2f}, Drag{"shift", 0.02f}}) {
        SCOPED_TRACE(drag.keys);
        pause();
        plugin.setParameter(kCutoff, 0.5f);
        std::string down = *drag.keys ? std::string(" keydown ") + drag.keys : "";
        std::string up = *drag.keys ? std::string(" keyup ") + drag.keys : "";
        xdotool(plugin, "mousemove " + window + " 250 112" + down + " mousedown 1 mousemove " + window +
                            " 270 112 mousemove " + window + " 290 112 mouseup 1" + up);
        EXPECT_NEAR(plugin.getParameter(kCutoff) - 0.5f, drag.moved, 1e-5f);
    }

    // The wheel moves a stepped control by exactly one step, and no further than its ends.
    struct Wheel {
        int index;
        int x, y;
        float start;
        const char* buttons;
        float expected;
    };
    for (const Wheel& w :
         {Wheel{kOsc1Frm, 56, 120, 0.25f, "4", 0.5f}, Wheel{kOsc1Frm, 56, 120, 0.25f, "5 click 5", 0.0f},
          Wheel{kModSrc, 64, 380, 0.5f, "4", 0.75f}, Wheel{kModSrc, 64, 380, 1.0f, "4", 1.0f}}) {
        SCOPED_TRACE(w.index);
        plugin.setParameter(w.index, w.start);
        idleFor(plugin, 30);
        xdotool(plugin,
                "mousemove " + window + " " + std::to_string(w.x) + " " + std::to_string(w.y) + " click " + w.buttons);
        EXPECT_EQ(plugin.getParameter(w.index), w.expected);
    }

    // A typed path loads on Enter only; Escape and losing the keyboard keep what plays.
    struct Ending {
        std::string keys;
        bool loads;
    };
    const std::string before = chunkLine(plugin, 2);
    for (const Ending& e : {Ending{"key Escape", false}, Ending{"windowfocus " + std::to_string(host), false},
                            Ending{"key Return", true}}) {
        SCOPED_TRACE(e.keys);
        pause();
        xdotool(plugin, "mousemove " + window + " 184 352 click 1");
        xdotool(plugin, "key --delay 5 --repeat 40 BackSpace type --delay 5 ./zorvek-typed.wav");
        xdotool(plugin, e.keys);
        EXPECT_EQ(chunkLine(plugin, 2), e.loads ? "File3=./zorvek-typed.wav" : before);
    }
    plugin.dispatch(effEditClose);
    XDestroyWindow(display, host);
}

}  // namespace
