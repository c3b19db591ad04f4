#pragma once

#include "pixels.h"

namespace mok::picture {

// Scales a whole picture to `target` into `output` (target.width *
// target.height pixels), pixel for pixel as Qt's smooth scaling of an RGB32
// picture does, whichever way each axis goes: the board looks the same as it
// did when Qt did this in the game. Alpha is ignored and every output pixel
// is opaque. False when the memory for the work could not be had.
//
// A picture shrunk both ways is better shrunk while its rows arrive
// (RowShrinker, which gives the same pixels); this is for the rest: pictures
// made larger for a high-density screen, and those whose size only rounding
// changed.
bool smoothScale(const Image &source, PixelSize target, Rgb *output);

} // namespace mok::picture
