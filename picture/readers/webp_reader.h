#pragma once

#include "reader.h"

#include <cstddef>
#include <cstdint>

namespace mok::picture {

// Whether a file starting with `head` (`size` bytes) is a WebP: RIFF, then
// "WEBP".
bool isWebpFile(const std::uint8_t *head, std::size_t size);

// Decodes a WebP through libwebp, from the file mapped into memory: a still
// picture scaled while it is decoded, or the first frame of an animation as
// it shows on the canvas; alpha over black, shrunk as a JPEG is.
ReadResult readWebp(Source &file, PreviewTarget &target);

} // namespace mok::picture
