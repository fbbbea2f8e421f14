#include "gui/CBitmap.h"

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <string>

#include "gui/CDrawContext.h"
#include "platform/Resources.h"

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t position;
};

// Cairo's stream callback; a read past the end is an error, so truncated data fails
// cleanly instead of reading beyond the buffer.
cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->position) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

CBitmap::CBitmap(int32_t id, double scale) : resourceId(id) {
    long percent = std::lround(scale * 100.0);
    if (percent != 100) {
        std::string type = "PNG@" + std::to_string(percent);
        platform::Resource resource = platform::findResource(type.c_str(), id);
        load(resource.data, resource.size, percent / 100.0);
        if (surface) return;
    }
    platform::Resource resource = platform::findResource("PNG", id);
    load(resource.data, resource.size, 1.0);
}

CBitmap::CBitmap(const unsigned char* png, size_t size) { load(png, size, 1.0); }

CBitmap::~CBitmap() {
    if (surface) cairo_surface_destroy(surface);
}

void CBitmap::forget() {
    if (--references == 0) delete this;
}

void CBitmap::load(const unsigned char* png, size_t size, double scale) {
    if (!png || size == 0) return;
    PngReader reader{png, size, 0};
    cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(decoded);
        return;
    }
    surface = decoded;
    // Drawn with this device scale, the pixels land one to one on a back buffer of the
    // same scale.
    cairo_surface_set_device_scale(surface, scale, scale);
    width = static_cast<int32_t>(std::lround(cairo_image_surface_get_width(surface) / scale));
    height = static_cast<int32_t>(std::lround(cairo_image_surface_get_height(surface) / scale));
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) const {
    if (context) context->drawBitmap(*this, rect, offset);
}
