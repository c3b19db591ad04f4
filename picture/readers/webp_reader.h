#pragma once

#include "reader.h"

namespace mok::picture {

// Decodes a WebP through libwebp, from the file mapped into memory: a still
// picture scaled while it is decoded, or the first frame of an animation as
// it shows on the canvas; alpha over black, shrunk as a JPEG is.
ReadResult readWebp(Source &file, PreviewTarget &target);

} // namespace mok::picture
