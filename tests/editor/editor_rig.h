// Shared by the editor tests: the real artwork (drawn by the build) in the test
// program's resource table, offscreen renders kept as artefacts, and mouse and key
// gestures on a frame. The plug-ins talk to the recording host of support/.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gui/CFrame.h"
#include "gui/InputCodes.h"
#include "gui/TestImages.h"
#include "host/Vst2.h"
#include "support/HostCallback.h"

namespace editorrig {

// Puts the pictures the build drew for one plug-in ("vocoder" or "capture") into the
// test program's resource table, replacing those of the other plug-in.
inline void installArtwork(const char* plugin) {
    testimages::resources().clear();
    testimages::typedResources().clear();
    std::filesystem::path folder = std::filesystem::path(ZORVEK_BINARY_DIR) / "artwork";
    std::string prefix = std::string(plugin) + "-";
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        std::string name = file.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || file.path().extension() != ".png") continue;
        size_t used = 0;
        int id = std::stoi(name.substr(prefix.size()), &used);
        std::ifstream in(file.path(), std::ios::binary);
        std::vector<unsigned char> png(std::istreambuf_iterator<char>(in), {});
        // vocoder-<id>@<percent>.png: the picture drawn for a larger scale.
        std::string rest = file.path().stem().string().substr(prefix.size() + used);
        if (rest.empty())
            testimages::addResource(id, std::move(png));
        else
            testimages::typedResources()[{"PNG" + rest, id}] = std::move(png);
    }
}

// Puts the factory bank the build made into the test program's resource table: a
// VocoderPlugin built afterwards loads its programs.
inline void installFactoryBank() {
    std::ifstream in(std::filesystem::path(ZORVEK_BINARY_DIR) / "resources" / "factory-bank.fxb", std::ios::binary);
    testimages::typedResources()[{"FXB", 218}] = std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// Writes the frame's back buffer to build/artefacts/<name>.png and answers the path.
inline std::string saveArtefact(CFrame* frame, const std::string& name) {
    std::filesystem::path folder = std::filesystem::path(ZORVEK_BINARY_DIR) / "artefacts";
    std::filesystem::create_directories(folder);
    std::filesystem::path path = folder / (name + ".png");
    frame->drawRect(frame->getDrawContext(), CRect(0, 0, frame->getViewSize().width(), frame->getViewSize().height()));
    cairo_surface_flush(frame->getBackBuffer());
    EXPECT_EQ(cairo_surface_write_to_png(frame->getBackBuffer(), path.c_str()), CAIRO_STATUS_SUCCESS);
    return path.string();
}

inline CPoint centre(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

inline void click(CFrame* frame, CPoint where, int32_t buttons = kLButton) {
    CPoint down = where;
    frame->onMouseDown(down, buttons);
    CPoint up = where;
    frame->onMouseUp(up, 0);
}

inline void typeKey(CFrame* frame, int32_t character, uint8_t virtualKey = 0) {
    VstKeyCode key;
    key.character = character;
    key.virt = virtualKey;
    frame->onKeyDown(key);
}

}  // namespace editorrig
