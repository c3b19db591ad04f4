#include "asset_pixmap.h"

#include "baked_faces.h"

#include <QGuiApplication>
#include <QImage>

#include <cmath>

namespace mok {

namespace {

QPixmap bakedPixmap(const QString &name, double density)
{
    for (std::size_t i = 0; i < baked::kFaceCount; ++i) {
        const baked::Face &face = baked::kFaces[i];
        if (face.density != density || name != QLatin1String(face.name))
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

QPixmap assetPixmap(const QString &name, double devicePixelRatio)
{
    // The nearest density drawn.
    double density = 1;
    for (const double drawn : {1.25, 1.5, 2.0})
        if (std::abs(devicePixelRatio - drawn) < std::abs(devicePixelRatio - density))
            density = drawn;
    if (density != 1) {
        QPixmap pixmap = bakedPixmap(name, density);
        if (!pixmap.isNull()) {
            pixmap.setDevicePixelRatio(density);
            return pixmap;
        }
    }
    return bakedPixmap(name, 1);
}

QPixmap assetPixmap(const QString &name)
{
    // The highest ratio of the application's screens (Qt's scale factor
    // included): a window on a lower-density screen shrinks the face.
    return assetPixmap(name, qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
}

} // namespace mok
