#pragma once

#include "reader.h"

namespace mok::picture {

// The first image of a GIF, drawn onto its logical screen, as an opaque
// picture of the screen's size. It is decoded row by row straight from
// `file`, and decoding stops at the last row the screen shows: neither a
// frame far larger than the screen nor data that goes on after the frame is
// full costs more than the screen's pixels, and nothing after that row is
// read. Data that stops before the shown part of the frame is complete makes
// the file broken; a file that only lacks what follows its last pixel is
// whole.
//
// Our own decoder rather than giflib: giflib keeps pixels in bytes and so
// refuses LZW code sizes above 8, which valid files use and Qt read.
ReadResult readGif(Source &file, PreviewTarget &target);

} // namespace mok::picture
