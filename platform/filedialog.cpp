#include "filedialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeData>
#include <QMimeDatabase>
#include <QStringList>
#include <QTreeView>
#include <QUrl>

namespace mok::platform {

namespace {

// Qt leaves the size, type and date columns a few letters wide, too few for
// a Japanese file type or a date, which it cuts short. They are fitted to
// what they show each time a folder has been read.
void fitDetailColumns(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    auto *model = dialog.findChild<QFileSystemModel *>();
    if (!view || !model)
        return;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
        for (int column = 1; column < view->model()->columnCount(); ++column)
            view->resizeColumnToContents(column);
    });
}

QString askForFile(QWidget *owner, const QString &title, const QList<FileFilter> &filters)
{
    // Qt reads the patterns from the last parenthesised group, separated by
    // blanks. Each entry therefore carries its patterns twice: the text the
    // player reads, then the blank-separated group, which HideNameFilterDetails
    // keeps out of sight.
    QStringList nameFilters;
    for (const FileFilter &filter : filters) {
        QString patterns = filter.patterns;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        nameFilters << filter.description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }

    QFileDialog dialog(owner, title);
    dialog.setObjectName(QStringLiteral("mdlOpen"));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog.selectNameFilter(nameFilters.first());
    fitDetailColumns(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

QString openFileDialog(QWidget *owner, const QString &title, const QList<FileFilter> &filters)
{
    return askForFile(owner, title, filters);
}

QString droppedPicture(const QMimeData *data, const QStringList &mimeTypes)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().first();
    if (!url.isLocalFile())
        return {};
    const QFileInfo file(url.toLocalFile());
    if (!file.isFile())
        return {};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
    for (const QString &picture : mimeTypes) {
        if (type.inherits(picture))
            return file.absoluteFilePath();
    }
    return {};
}

} // namespace mok::platform
