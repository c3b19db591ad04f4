#pragma once

// HEIC, AVIF and WebP files made at test time through the libraries' own
// encoders, and those files' own pixels as the libraries decode them whole.
#include <QByteArray>
#include <QImage>

namespace modern {

enum class Codec { Hevc, Av1 };

// A HEIC (HEVC) or AVIF (AV1) of `picture`, with its alpha if it has any,
// stored with this EXIF-style orientation (1 upright, 6 turned 90° clockwise
// to be shown, ...), which libheif writes as rotation and mirror properties.
QByteArray encodeHeif(const QImage &picture, Codec codec, int quality, int orientation = 1,
                      const char *chroma = nullptr);

// A lossy WebP of `picture`, with its alpha if it has any; lossless when
// quality is negative.
QByteArray encodeWebp(const QImage &picture, int quality);

// The whole picture as libheif or libwebp decode it, upright, alpha composed
// over black, as RGB32; null when the library refuses the file.
QImage decodeHeif(const QByteArray &file);

// A picture composed over black, as the board shows it, as RGB32.
QImage overBlack(const QImage &picture);
QImage decodeWebp(const QByteArray &file);

// The libheif the tests run with, as major * 100 + minor (1.15 is 115).
int heifVersion();

} // namespace modern
