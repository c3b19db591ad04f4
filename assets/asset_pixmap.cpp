#include "asset_pixmap.h"

#include <QImageReader>

namespace mok {

QPixmap assetPixmap(const QString &resource)
{
    QImageReader reader(resource, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace mok
