#pragma once

#include "reader.h"

namespace mok::picture {

// Decodes a JPEG through libjpeg itself, which lets the limits sit where the
// memory and time are spent: libjpeg's working memory is capped, progressive
// scans are counted, data that ends inside the picture is an error rather
// than grey, and a picture larger than the board is decoded shrunk.
ReadResult readJpeg(Source &file, PreviewTarget &target);

} // namespace mok::picture
