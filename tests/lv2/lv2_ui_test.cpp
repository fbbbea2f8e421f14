// The editor as an LV2 X11 UI, instantiated as a host does: embedded in the host's
// window on the plug-in instance, sized through the resize feature, and edits reported
// to the host's control ports at idle.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "capture/ScopedCaptureObject.h"
#include "gui/TestImages.h"
#include "host/AudioEffectX.h"
#include "support/Lv2Host.h"
#include "support/XServer.h"

namespace {

// The editor draws text: the font caches are emptied before the leak checker looks.
[[maybe_unused]] const auto* fontCleanup = ::testing::AddGlobalTestEnvironment(new testimages::FontCacheCleanup);

struct HostSide {
    std::vector<std::pair<uint32_t, float>> writes;
    int width = 0, height = 0;
};

void writePort(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
    float value = 0.0f;
    if (size == sizeof value && protocol == 0) std::memcpy(&value, buffer, sizeof value);
    static_cast<HostSide*>(controller)->writes.emplace_back(port, value);
}

int resize(LV2UI_Feature_Handle handle, int width, int height) {
    auto* host = static_cast<HostSide*>(handle);
    host->width = width;
    host->height = height;
    return 0;
}

TEST(Lv2Ui, EditorOpensInTheHostWindowAndReportsEditsToThePorts) {
    ScopedCaptureObject shm("lv2ui");
    xtest::XServer server;
    if (!server.start()) GTEST_SKIP() << "no Xvfb and no DISPLAY";
    setenv("DISPLAY", server.display().c_str(), 1);
    Display* display = XOpenDisplay(server.display().c_str());
    ASSERT_NE(display, nullptr);
    Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 560, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);

    Lv2Instance lv2("urn:drennak:zorvek2");
    ASSERT_TRUE(lv2.ok());
    void* library = dlopen(ZORVEK_BINARY_DIR "/lv2/Zorvek2.lv2/Zorvek2.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr);
    auto uiEntry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(uiEntry, nullptr);
    const LV2UI_Descriptor* descriptor = uiEntry(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->URI, "urn:drennak:zorvek2#ui");
    EXPECT_EQ(uiEntry(1), nullptr);
    auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    HostSide host;
    LV2UI_Resize resizeData{&host, resize};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature instanceFeature{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(lv2.lilv())};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resizeData};
    const LV2_Feature* withoutInstance[] = {&parentFeature, &resizeFeature, nullptr};
    const LV2_Feature* features[] = {&parentFeature, &instanceFeature, &resizeFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    // Without the instance there is nothing to show.
    EXPECT_EQ(descriptor->instantiate(descriptor, "urn:drennak:zorvek2", "", writePort, &host, &widget,
                                      withoutInstance),
              nullptr);

    LV2UI_Handle ui =
        descriptor->instantiate(descriptor, "urn:drennak:zorvek2", "", writePort, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, parent, &root, &up, &children, &count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(reinterpret_cast<Window>(widget), children[0]);
    XFree(children);
    ERect* rect = nullptr;
    lv2.effect()->dispatcher(effEditGetRect, 0, 0, &rect, 0.0f);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(host.width, rect->right - rect->left);
    EXPECT_EQ(host.height, rect->bottom - rect->top);

    // An edit in the editor reaches the host at the next idle, once.
    lv2.effect()->setParameterAutomated(5, 0.25f);
    lv2.effect()->setParameterAutomated(30, 0.75f);
    EXPECT_EQ(idle->idle(ui), 0);
    EXPECT_EQ(host.writes, (std::vector<std::pair<uint32_t, float>>{{5, 0.25f}, {30, 0.75f}}));
    EXPECT_EQ(idle->idle(ui), 0);
    EXPECT_EQ(host.writes.size(), 2u);

    descriptor->cleanup(ui);
    XQueryTree(display, parent, &root, &up, &children, &count);
    if (children) XFree(children);
    EXPECT_EQ(count, 0u);
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
    unsetenv("DISPLAY");
}

}  // namespace
