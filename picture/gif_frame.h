#pragma once

#include <QIODevice>
#include <QSize>

#include <optional>

namespace mok::picture {

// The first image of a GIF as its data stands: the logical screen it is
// drawn on, its own size, and how many pixels its compressed data really
// yields (found by running the LZW decoder without keeping a pixel).
struct GifFirstFrame {
    QSize screen;
    QSize frame;
    qint64 pixelsInData = 0;

    // Whether the data holds every pixel of the frame. A file cut short, or
    // one whose codes stop early, does not.
    bool complete() const;
    // A large screen with a small frame on it: a picture of nothing but
    // background, which is what a few dozen bytes declaring 8192 x 8192 are.
    bool mostlyEmptyScreen() const;
};

// Nothing when the file is not a GIF; an empty frame when it has no image.
std::optional<GifFirstFrame> readGifFirstFrame(QIODevice &device);

} // namespace mok::picture
