#include "file_formats.h"

#include "formats.h"

#include <vector>

namespace mok::picture {

namespace {

// "*.jpg;*.jpeg" for these formats' extensions.
QString patternsOf(const std::vector<const PictureFormat *> &formats)
{
    QStringList patterns;
    for (const PictureFormat *format : formats) {
        for (const std::string &extension : format->extensions)
            patterns.append(QStringLiteral("*.") + QString::fromStdString(extension));
    }
    return patterns.join(u';');
}

std::pair<QString, QString> filter(const QString &name,
                                   const std::vector<const PictureFormat *> &formats)
{
    const QString patterns = patternsOf(formats);
    return {name + u'(' + patterns + u')', patterns};
}

} // namespace

QStringList pictureMimeTypes()
{
    QStringList types;
    for (const PictureFormat &format : pictureFormats()) {
        for (const std::string &type : format.mimeTypes)
            types.append(QString::fromStdString(type));
    }
    return types;
}

QString formatNames(const QString &separator)
{
    QStringList names;
    for (const PictureFormat &format : pictureFormats())
        names.append(QString::fromStdString(format.name));
    return names.join(separator);
}

QList<std::pair<QString, QString>> dialogFilterTexts()
{
    std::vector<const PictureFormat *> own;
    std::vector<const PictureFormat *> others;
    for (const PictureFormat &format : pictureFormats())
        (format.filter.empty() ? others : own).push_back(&format);
    QList<std::pair<QString, QString>> filters{filter(QStringLiteral(u"画像ファイル"), own)};
    for (const PictureFormat *format : own)
        filters.append(filter(QString::fromStdString(format->filter), {format}));
    filters.append(filter(QStringLiteral(u"その他のピクチャ"), others));
    return filters;
}

} // namespace mok::picture
