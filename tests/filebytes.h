#pragma once

// Picture files put together byte by byte, for what no writer makes: sizes
// declared far beyond the pixels held, OS/2 headers, channel masks,
// run-length data that runs off the picture.
#include <QByteArray>
#include <QList>
#include <QRgb>

// A little-endian number of `bytes` bytes at `at`.
inline quint32 getLE(const QByteArray &b, int at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | uchar(b.at(at + i));
    return v;
}

inline void putLE(QByteArray &b, int at, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

// A 24-bit BMP of 54 bytes of header and `pixelBytes` bytes of pixels,
// whatever size it declares.
inline QByteArray bmpDeclaring(qint32 width, qint32 height, int pixelBytes = 0)
{
    QByteArray b(54 + pixelBytes, '\0');
    b[0] = 'B';
    b[1] = 'M';
    putLE(b, 2, quint32(b.size()), 4);
    putLE(b, 10, 54, 4); // pixel data offset
    putLE(b, 14, 40, 4); // BITMAPINFOHEADER
    putLE(b, 18, quint32(width), 4);
    putLE(b, 22, quint32(height), 4);
    putLE(b, 26, 1, 2);  // planes
    putLE(b, 28, 24, 2); // bits per pixel
    return b;
}

// A BMP put together by hand: file header, an info header of `infoSize`
// bytes (12: OS/2 1.x), channel masks after a 40-byte header, the colour
// table (three bytes an entry after an OS/2 1.x header) and `pixels`.
inline QByteArray handMadeBmp(int infoSize, int w, int h, int bits, quint32 compression,
                              const QList<quint32> &masks, const QList<QRgb> &palette,
                              const QByteArray &pixels)
{
    QByteArray b(14 + infoSize, '\0');
    b[0] = 'B';
    b[1] = 'M';
    putLE(b, 14, quint32(infoSize), 4);
    if (infoSize == 12) {
        putLE(b, 18, quint32(w), 2);
        putLE(b, 20, quint32(h), 2);
        putLE(b, 22, 1, 2);
        putLE(b, 24, quint32(bits), 2);
    } else {
        putLE(b, 18, quint32(w), 4);
        putLE(b, 22, quint32(h), 4);
        putLE(b, 26, 1, 2);
        putLE(b, 28, quint32(bits), 2);
        putLE(b, 30, compression, 4);
        putLE(b, 46, quint32(palette.size()), 4);
    }
    for (int i = 0; i < masks.size(); ++i) {
        if (54 + 4 * i + 4 > b.size())
            b.resize(54 + 4 * i + 4);
        putLE(b, 54 + 4 * i, masks[i], 4);
    }
    for (const QRgb c : palette) {
        b += char(qBlue(c));
        b += char(qGreen(c));
        b += char(qRed(c));
        if (infoSize != 12)
            b += '\0';
    }
    putLE(b, 10, quint32(b.size()), 4);
    b += pixels;
    putLE(b, 2, quint32(b.size()), 4);
    return b;
}
