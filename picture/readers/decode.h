#pragma once

#include "formats.h"
#include "outcome.h"
#include "row_sink.h"
#include "source.h"
#include "twips.h"

#include <cstddef>
#include <cstdint>

namespace mok::picture {

// How many bytes of a file's start formatOf() looks at (enough for a
// HEIF's brands).
constexpr std::size_t kFormatHeadBytes = 64;

// The reader for a file starting with `head`, by its content as the table
// of formats tells it, whatever the file is called: a PNG renamed .jpg, or
// a BMP renamed .gif, opens as what it really is.
Format formatOf(const std::uint8_t *head, std::size_t size);

// Loads what reading this format needs from the file system (libheif and
// its codecs), once per process; a process that fences off the file system
// calls it before its fences.
void prepareReader(Format format);

// One picture decoded: its size upright, the board's divisor for it and
// the preview's size in device pixels, with the preview in the memory the
// caller gave; or the reason there is none, with the size the reason names.
struct DecodeOutcome {
    Reason reason = Reason::None;
    PixelSize size;
    int divisor = 0;
    PixelSize preview;
};

// Decodes the picture in `file` for a board on `screen` at
// `devicePixelRatio` (every rule stays logical; only the preview's pixels
// follow the ratio), holding memory and time within the limits whatever
// the file claims. What the decoding helper runs behind its fences.
DecodeOutcome decodePicture(Source &file, const Screen &screen, double devicePixelRatio,
                            PreviewMemory &memory);

} // namespace mok::picture
