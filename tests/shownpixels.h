#pragma once

#include <QColorSpace>
#include <QImage>
#include <QPixmap>

// What a picture shows, as comparable values: its pixels in one format and
// no colour space. The game draws pixels as they are, so the colour space a
// PNG declares (and the baked faces do not) makes no difference on screen.
inline QImage shownPixels(const QImage &image)
{
    QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    pixels.setColorSpace(QColorSpace());
    return pixels;
}

inline QImage shownPixels(const QPixmap &pixmap)
{
    return shownPixels(pixmap.toImage());
}
