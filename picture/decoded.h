#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace mok::picture {

// What a reader gives back: the picture upright (any orientation tag applied)
// and its full size, or a reason:: text in `error`. `image` may already be
// shrunk to previewSize(fullSize) when the format can decode small directly;
// otherwise it is the whole picture.
struct Decoded {
    QImage image;
    QSize fullSize;
    QString error;
};

// The size the board shows a picture of this (upright) size at; empty when
// the picture would shrink to nothing.
using PreviewSizer = std::function<QSize(QSize fullSize)>;

inline Decoded refused(const QString &why)
{
    Decoded d;
    d.error = why;
    return d;
}

} // namespace mok::picture
