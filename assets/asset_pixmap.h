#pragma once

#include <QPixmap>
#include <QString>

namespace mok {

// A picture the game shows of its own (":/logo.png", ":/faces/open.png",
// ...), or a null pixmap for a name it does not have. They are baked into
// the program at build time, so showing them loads no PNG decoder and
// keeps no decoded copy: the buttons' faces are read from the program's
// own pages.
QPixmap assetPixmap(const QString &resource);

} // namespace mok
