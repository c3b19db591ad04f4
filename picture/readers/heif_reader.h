#pragma once

#include "reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mok::picture {

// Whether a file starting with `head` (its first 64 bytes, or all of a
// shorter file) is an ISO media file whose file type box claims one of
// `brands` ("heic", "avif", ...).
bool claimsBrand(const std::uint8_t *head, std::size_t size,
                 const std::vector<std::string> &brands);

// Loads libheif and lets it find its codecs, once per process: what a HEIF
// or AVIF read needs from the file system. The decoding helper does it
// before its fences go up, and only for a file that is one of these.
void prepareHeif();

// Decodes HEIC/HEIF and AVIF through libheif, from the file mapped into
// memory: the primary (still) image, turned and mirrored as its rotation and
// mirror properties say, alpha over black, shrunk as a JPEG is.
ReadResult readHeif(Source &file, PreviewTarget &target);

} // namespace mok::picture
