#pragma once

#include <cstddef>
#include <cstdint>

// The pictures the game shows of its own, baked at build time into
// premultiplied ARGB32 pixels (see bake_faces.cpp).
namespace mok::baked {

struct Face {
    const char *resource; // the name the game asks for, e.g. ":/faces/open.png"
    int width;
    int height;
    const std::uint32_t *pixels; // width * height, row by row
};

extern const Face kFaces[];
extern const std::size_t kFaceCount;

} // namespace mok::baked
