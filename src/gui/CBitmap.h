// A picture with alpha, decoded from PNG bytes: the plug-in's embedded resources or
// bytes given by the caller. Reference counted: whoever keeps a bitmap calls
// remember(), and forget() releases it (the creator holds the first reference).
// Sizes are in editor units; at a scale above 1 the picture holds scale x as many
// pixels each way, drawn from the vectors at that density (resource type
// PNG@<percent>), so a scaled editor shows it sharp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gui/CRect.h"

typedef struct _cairo_surface cairo_surface_t;
class CDrawContext;

class CBitmap {
public:
    // The resource of type "PNG" with this id, or at a scale other than 1 the one of
    // type "PNG@<percent>" (the plain one, enlarged, when that is missing); empty when
    // missing or undecodable.
    explicit CBitmap(int32_t resourceId, double scale = 1.0);
    CBitmap(const unsigned char* png, size_t size);

    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    void remember() { ++references; }
    void forget();

    bool isLoaded() const { return surface != nullptr; }
    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    int32_t getResourceId() const { return resourceId; }
    cairo_surface_t* getSurface() const { return surface; }

    // Draws the part of the picture that starts at offset into rect.
    void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint()) const;

private:
    ~CBitmap();
    void load(const unsigned char* png, size_t size, double scale);

    cairo_surface_t* surface = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t resourceId = 0;
    int references = 1;
};
