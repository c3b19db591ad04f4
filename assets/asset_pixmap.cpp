#include "asset_pixmap.h"

#include "baked_faces.h"

#include <QImage>

namespace mok {

QPixmap assetPixmap(const QString &resource)
{
    for (std::size_t i = 0; i < baked::kFaceCount; ++i) {
        const baked::Face &face = baked::kFaces[i];
        if (resource != QLatin1String(face.resource))
            continue;
        // The image reads the baked pixels in place; the pixmap shares them
        // as long as nothing paints on it, which nothing does.
        const QImage image(reinterpret_cast<const uchar *>(face.pixels), face.width, face.height,
                           face.width * 4, QImage::Format_ARGB32_Premultiplied);
        return QPixmap::fromImage(image);
    }
    return {};
}

} // namespace mok
