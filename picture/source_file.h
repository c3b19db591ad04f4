#pragma once

#include <QFile>
#include <QString>

namespace mok::picture {

// Opens exactly `path` for reading as a regular file of at most
// kMaxFileBytes, or says why not (a reason:: text). Returns an empty string
// on success.
QString openPictureFile(const QString &path, QFile &file);

} // namespace mok::picture
