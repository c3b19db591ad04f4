#pragma once

#include <cstddef>
#include <cstdint>

// The pictures the game shows of its own, baked at build time into
// premultiplied ARGB32 pixels (see bake_faces.cpp).
namespace mok::baked {

struct Face {
    const char *name; // the PNG's path under assets/ without ".png" or density: "faces/open"
    double density;   // 1, or the density it was drawn at (faces/open@1.5x.png: 1.5)
    int width;
    int height;
    const std::uint32_t *pixels; // width * height, row by row
};

extern const Face kFaces[];
extern const std::size_t kFaceCount;

} // namespace mok::baked
