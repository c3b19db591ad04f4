#include "asset_pixmap.h"

#include "baked_faces.h"

#include <QGuiApplication>
#include <QImage>

#include <cmath>

namespace mok {

namespace {

QPixmap bakedPixmap(const QString &resource)
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

} // namespace

QPixmap assetPixmap(const QString &resource, double devicePixelRatio)
{
    // The nearest density drawn.
    double density = 1;
    for (const double drawn : {1.25, 1.5, 2.0})
        if (std::abs(devicePixelRatio - drawn) < std::abs(devicePixelRatio - density))
            density = drawn;
    if (density != 1 && resource.endsWith(QLatin1String(".png"))) {
        QString dense = resource;
        dense.insert(dense.size() - 4, QStringLiteral("@%1x").arg(density));
        QPixmap pixmap = bakedPixmap(dense);
        if (!pixmap.isNull()) {
            pixmap.setDevicePixelRatio(density);
            return pixmap;
        }
    }
    return bakedPixmap(resource);
}

QPixmap assetPixmap(const QString &resource)
{
    // The highest ratio of the application's screens (Qt's scale factor
    // included): a window on a lower-density screen shrinks the face.
    return assetPixmap(resource, qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
}

} // namespace mok
