#pragma once

#include "decoded.h"

#include <QByteArray>
#include <QIODevice>

namespace mok::picture {

// Whether a file starting with `head` (its first 64 bytes or all of a
// shorter file) is an ISO media file of a brand libheif reads: HEIF with
// HEVC (a phone's HEIC), AVIF, or the generic image brands.
bool isHeifFile(const QByteArray &head);

// Decodes HEIC/HEIF and AVIF through libheif, from the whole file read into
// memory: the primary (still) image, turned and mirrored as its rotation and
// mirror properties say, alpha over black, shrunk as a JPEG is.
Decoded readHeif(QIODevice &file, const PreviewSizer &previewSize);

} // namespace mok::picture
