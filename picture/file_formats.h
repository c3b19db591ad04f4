#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The table of formats (formats.h) in the game's own terms: the open-file
// dialog's filters, the MIME types a dropped file may have, the names the
// player reads.
namespace mok::picture {

QStringList pictureMimeTypes();

// "BMP・GIF・…", the names joined by `separator`.
QString formatNames(const QString &separator);

// The dialog's filters, each a description and its patterns
// ("JPEG 形式(*.jpg;*.jpeg)", "*.jpg;*.jpeg"): the formats with a filter of
// their own first, together and then one by one, as the game has always
// offered them; then the others, together.
QList<std::pair<QString, QString>> dialogFilterTexts();

// The same in whatever {description, patterns} type the dialog takes:
// picture/ knows no dialog.
template <typename Filter> QList<Filter> dialogFilters()
{
    QList<Filter> filters;
    for (const auto &[description, patterns] : dialogFilterTexts())
        filters.append({description, patterns});
    return filters;
}

} // namespace mok::picture
