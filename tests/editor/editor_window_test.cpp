// Both plug-ins' editors in real X11 windows, reached as a host reaches them: the built
// libraries, the editor opcodes and a parent window of the host's own. Runs on an Xvfb
// server the test starts (or the session's display); skipped when there is neither.
#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/LoadedPlugin.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "support/DisplayTest.h"

namespace {

class EditorWindowTest : public xtest::DisplayTest {
protected:
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

}  // namespace
