#pragma once

#include <QPixmap>
#include <QString>

namespace mok {

// A picture the game shows of its own, named by its PNG's path under assets/
// without the extension ("logo", "faces/open", ...), or a null pixmap for a
// name it does not have. They are baked into
// the program at build time, so showing them loads no PNG decoder and
// keeps no decoded copy: the buttons' faces are read from the program's
// own pages.
// Drawn for the application's screens: on a high-density screen the
// picture drawn at that density (1.25, 1.5 or 2 times the size), with its device
// pixel ratio set, so it shows at the same logical size, every pixel the
// screen's own. At 1x, the picture itself.
QPixmap assetPixmap(const QString &name);
// The same for a screen of `devicePixelRatio`: the picture drawn at the
// nearest density.
QPixmap assetPixmap(const QString &name, double devicePixelRatio);

} // namespace mok
