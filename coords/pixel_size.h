#pragma once

namespace mok {

// A picture's size in pixels. Plain, so that the decoding helper, which
// links no Qt, and the game speak of sizes alike.
struct PixelSize {
    int width = 0;
    int height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    PixelSize transposed() const { return {height, width}; }
    friend bool operator==(PixelSize a, PixelSize b)
    {
        return a.width == b.width && a.height == b.height;
    }
    friend bool operator!=(PixelSize a, PixelSize b) { return !(a == b); }
};

} // namespace mok
