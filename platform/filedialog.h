#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QMimeData;
class QWidget;

namespace mok::platform {

// One entry of the dialog's file-type list: what the player reads, and the
// patterns it stands for, separated by ';' ("*.jpg;*.jpeg").
struct FileFilter {
    QString description;
    QString patterns;
};

// The open-file dialog: only existing files can be chosen, the first filter
// is preselected. Returns the chosen full path, or an empty string when the
// player cancels. Paths are Unicode and of any length.
QString openFileDialog(QWidget *owner, const QString &title, const QList<FileFilter> &filters);

// The picture a drag from a file manager carries: the full path when it is
// exactly one local file of one of `mimeTypes` (by name or content), else
// an empty string.
QString droppedPicture(const QMimeData *data, const QStringList &mimeTypes);

} // namespace mok::platform
