#pragma once

#include "decoded.h"

#include <QIODevice>

// PNG is decoded whole by Qt's own handler. Before it sees a file, the header
// is held against what the file can possibly hold, so that a few hundred
// bytes cannot pass for a picture of millions of pixels, and text and
// metadata (which libpng would inflate however large) are left out.
namespace mok::picture {

Decoded readPng(QIODevice &file);

} // namespace mok::picture
