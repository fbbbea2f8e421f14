// Test pictures: PNG bytes made with cairo, an in-memory resource table the tests'
// platform::findResource answers from, and pixel reading from offscreen surfaces.
#pragma once

#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Resources.h"

namespace testimages {

// Colours as 0xAARRGGBB, not premultiplied.
inline uint32_t argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

inline std::vector<unsigned char> makePng(int width, int height, const std::function<uint32_t(int, int)>& color) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t c = color(x, y);
            uint32_t a = c >> 24;
            // The image stores premultiplied alpha.
            auto channel = [&](int shift) { return ((c >> shift) & 0xFF) * a / 255; };
            uint32_t premultiplied = (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
            std::memcpy(data + y * stride + x * 4, &premultiplied, 4);
        }
    cairo_surface_mark_dirty(surface);
    std::vector<unsigned char> png;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* bytes, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), bytes, bytes + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(surface);
    return png;
}

inline std::vector<unsigned char> solidPng(int width, int height, uint32_t color) {
    return makePng(width, height, [color](int, int) { return color; });
}

inline std::map<int, std::vector<unsigned char>>& resources() {
    static std::map<int, std::vector<unsigned char>> table;
    return table;
}

inline void addResource(int id, std::vector<unsigned char> png) { resources()[id] = std::move(png); }

// Resources of any other type (pictures of the larger editor scales as PNG@<percent>,
// the factory bank as FXB), by type and id.
inline std::map<std::pair<std::string, int>, std::vector<unsigned char>>& typedResources() {
    static std::map<std::pair<std::string, int>, std::vector<unsigned char>> table;
    return table;
}

inline platform::Resource findResource(const char* type, int id) {
    if (std::strcmp(type, "PNG") != 0) {
        auto it = typedResources().find({type, id});
        if (it == typedResources().end()) return {};
        return {it->second.data(), it->second.size()};
    }
    auto it = resources().find(id);
    if (it == resources().end()) return {};
    return {it->second.data(), it->second.size()};
}

// The pixel at (x, y) of an ARGB32 image as 0xAARRGGBB (premultiplied, as stored).
inline uint32_t pixel(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    uint32_t value;
    std::memcpy(&value, data + y * stride + x * 4, 4);
    return value;
}

// Text drawing fills process-wide font caches of cairo and fontconfig (whose parsed
// configuration is otherwise never freed); emptied at the end of the test program so
// that the leak checker sees only our own allocations. Fontconfig comes in with cairo,
// so its clean-up is looked up rather than linked.
class FontCacheCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
    }
};

}  // namespace testimages
