// A fixture for tests that open real windows: its suite starts an Xvfb server (or uses
// the session's display), each test runs with DISPLAY pointing there and an open
// connection `display`, and is skipped when there is neither.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/XServer.h"

namespace xtest {

class DisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new XServer;
        serverUp = server->start();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    // A fixture that adds to this returns at once when IsSkipped() or HasFatalFailure().
    void SetUp() override {
        if (!serverUp) GTEST_SKIP() << "no Xvfb and no DISPLAY";
        const char* previous = std::getenv("DISPLAY");
        hadDisplay = previous != nullptr;
        if (previous) savedDisplay = previous;
        changedDisplay = true;
        setenv("DISPLAY", server->display().c_str(), 1);
        display = XOpenDisplay(server->display().c_str());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (display) XCloseDisplay(display);
        if (!changedDisplay) return;
        if (hadDisplay)
            setenv("DISPLAY", savedDisplay.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

    // A mapped top-level window, as a host's own.
    Window hostWindow(int width, int height) {
        Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
        return window;
    }
    unsigned int childCount(Window window) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, window, &root, &parent, &children, &count);
        if (children) XFree(children);
        return count;
    }
    // The pixel the server shows at (x, y) as 0xRRGGBB; 0xDEADBEEF when unreadable.
    unsigned long pixelOf(Window window, int x, int y) {
        XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0xDEADBEEF;
        unsigned long value = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
        return value;
    }

    static inline XServer* server = nullptr;
    static inline bool serverUp = false;
    Display* display = nullptr;

private:
    std::string savedDisplay;
    bool hadDisplay = false;
    bool changedDisplay = false;
};

}  // namespace xtest
