#pragma once

#include <QPixmap>
#include <QString>

namespace mok {

// A picture compiled into the game (":/logo.png", ":/faces/open.png", ...).
// They are all PNG, and are read as PNG without Qt asking every image-format
// plugin whether it knows the file: that probe loads each plugin library, and
// they then stay mapped for the whole game only for the player's own picture.
QPixmap assetPixmap(const QString &resource);

} // namespace mok
