#pragma once

#include "pixel_size.h"

#include <cstdint>

namespace mok::picture {

// Why a file gave no picture, as a number: it is what crosses from the
// decoding helper to the game, which alone turns it into words. The values
// are part of that exchange and never change meaning.
enum class Reason : std::uint32_t {
    None = 0,        // there is a picture
    ReadFailed = 1,  // the file could not be read to its end
    NotAPicture = 2, // no format we read
    UnsupportedJpeg = 3,
    UnreadableBmp = 4,
    NoStillImage = 5, // a HEIF or AVIF holding only a moving picture
    CodecMissing = 6, // coded in a way no installed decoder reads
    Broken = 7,
    OutOfMemory = 8,
    TooLarge = 9,        // with the picture's size
    TooSmall = 10,       // with the picture's size
    ThreadsRefused = 11, // the system let the decoder start no thread
};

// The highest value a helper may send.
constexpr Reason kLastReason = Reason::ThreadsRefused;

// What a reader made of a file: the picture's size upright when it gave the
// preview, or the reason it did not, with the size the reason names.
struct ReadResult {
    Reason reason = Reason::None;
    PixelSize size;

    bool ok() const { return reason == Reason::None; }
};

inline ReadResult refused(Reason why, PixelSize size = {})
{
    return {why, size};
}

} // namespace mok::picture
