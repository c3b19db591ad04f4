#pragma once

#include "reader.h"

namespace mok::picture {

// Decodes a PNG through libpng row by row, straight into the preview (or
// the shrinker on the way to it), as a JPEG is: a PNG costs what its
// preview costs, however large it is. An interlaced picture is decoded
// whole, within the limits. 16-bit channels are rounded to 8, palettes and
// grey expanded, and alpha (or a transparent colour) laid over black.
// Only the chunks that decide the pixels are read: text, colour profiles
// and the like are skipped unopened. The picture must declare no more than
// its compressed data can hold.
ReadResult readPng(Source &file, PreviewTarget &target);

} // namespace mok::picture
