#pragma once

#include "decoded.h"

#include <QIODevice>

// BMP, GIF and PNG are decoded whole by Qt's own handlers. Before a handler
// sees a file, its header is held against what the file can possibly hold,
// so that a few hundred bytes cannot pass for a picture of millions of
// pixels, and PNG text and metadata (which libpng would inflate however large)
// are left out.
namespace mok::picture {

Decoded readBmp(QIODevice &file);
Decoded readGif(QIODevice &file);
Decoded readPng(QIODevice &file);

} // namespace mok::picture
