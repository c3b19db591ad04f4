#pragma once

#include "decoded.h"

#include <QByteArray>
#include <QIODevice>

namespace mok::picture {

// Whether a file starting with `head` is a WebP (RIFF, then "WEBP").
bool isWebpFile(const QByteArray &head);

// Decodes a WebP through libwebp, from the whole file read into memory: a
// still picture scaled while it is decoded, or the first frame of an
// animation as it shows on the canvas; alpha over black, shrunk as a JPEG
// is.
Decoded readWebp(QIODevice &file, const PreviewSizer &previewSize);

} // namespace mok::picture
