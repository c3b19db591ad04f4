#pragma once

#include "reader.h"

namespace mok::picture {

// A strict BMP reader: OS/2 1.x and 2.x headers, Windows headers of 40, 52,
// 56, 108 and 124 bytes; 1, 4 and 8 bits with a colour table, 16, 24 and
// 32 bits with the default or given channel masks; 8- and 4-bit run-length
// coding; rows stored bottom-up or top-down. The declared size is held
// against the limits before anything is allocated. Pixel data that ends
// early, starts past the end of the file, or runs or moves outside the
// picture makes the file broken. An alpha channel the file gives is laid
// over black.
ReadResult readBmp(Source &file, PreviewTarget &target);

} // namespace mok::picture
