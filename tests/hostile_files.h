#pragma once

// Files made to hurt a picture loader, built on the spot: each declares far
// more than it holds, or makes a decoder work or allocate far beyond what its
// size suggests.
#include "filebytes.h" // bmpDeclaring, a hostile file too

#include <QByteArray>
#include <QImage>

namespace hostile {

// Encodes with Qt's writers.
QByteArray encode(const QImage &image, const char *format, bool progressive = false);

// The frame header's size rewritten in place (the first SOFn found).
QByteArray withJpegFrameSize(QByteArray jpeg, int width, int height);
// The frame header's sample precision rewritten.
QByteArray withJpegPrecision(QByteArray jpeg, int precision);

// A small progressive JPEG whose header declares width x height.
QByteArray progressiveJpegDeclaring(int width, int height);
// An arithmetic-coded JPEG of 16 x 16 whose header declares width x height.
QByteArray arithmeticJpegDeclaring(int width, int height);
// A flat grey progressive JPEG of side x side whose last scan is repeated
// `repeats` times: each repeat is a few dozen bytes, and each makes a decoder
// visit every block of the picture again.
QByteArray jpegWithRepeatedScans(int side, int repeats);

// A PNG carrying `chunks` compressed text chunks (zTXt, or iTXt when `itxt`),
// each inflating to `inflatedMB` megabytes of zeros.
QByteArray pngWithTextBomb(int chunks, int inflatedMB, bool itxt);

// A small 16-bit PNG whose header declares width x height (Qt holds such a
// picture at 8 bytes a pixel).
QByteArray deepPngDeclaring(int width, int height);

// An 8-bit RGB PNG of width x height, a grey ramp down its rows, whose data
// is stored, not compressed: a file of 3 bytes a pixel.
QByteArray storedPng(int width, int height);

// A GIF of a few dozen bytes: a 1 x 1 image on a logical screen of
// screenW x screenH, or (frameFillsScreen) an image declaring the whole
// screen whose data holds one pixel.
QByteArray tinyGif(int screenW, int screenH, bool frameFillsScreen);

// A GIF whose first frame of frameW x frameH sits on a screen of
// screenW x screenH and whose codes hold `pixels` pixels of one colour, as
// compressed as LZW allows (about 2500 pixels a byte), so `pixels` may run
// far past the frame's end. `extensionBefore` goes before the image.
QByteArray gifWithPixels(int screenW, int screenH, int frameW, int frameH, qint64 pixels,
                         const QByteArray &extensionBefore = {});

// A JPEG of 16 x 16 with `count` comment segments before its frame header.
QByteArray jpegWithComments(int count);

// An 8-bit run-length BMP of 8 x 8 with two colours, whose pixel data is
// `runs`, starting `pixelOffset` bytes into the file (0: right after the
// colour table).
QByteArray rle8Bmp(const QByteArray &runs, quint32 pixelOffset = 0);

// A 32-bit BMP of 4 x 4 whose pixels are read through these channel masks.
QByteArray bmpWithMasks(quint32 red, quint32 green, quint32 blue);

// A small HEIC whose spatial extent properties declare width x height.
QByteArray heifDeclaring(int width, int height);

// A small AVIF whose coded picture is overwritten with bytes that are no
// AV1 at all; its boxes are intact.
QByteArray avifWithBrokenStream();

// A small lossy WebP whose frame header declares width x height (at most
// 16383 each, all the format can say).
QByteArray webpDeclaring(int width, int height);

// A lossless WebP of 34 bytes: width x height pixels of one colour, each
// coded in no bits at all.
QByteArray losslessWebpDeclaring(int width, int height);

// An animated WebP on a canvas of 16383 x 16383 whose one frame is a
// lossless 16 x 16 picture.
QByteArray animatedWebp();

} // namespace hostile
