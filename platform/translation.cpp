#include "translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <utility>

namespace mok::platform {

namespace {

// Texts Qt 6.4's Japanese catalogue lacks: the file dialog's Type column
// comes from a class renamed in Qt 6 whose texts were never translated, so
// a folder showed as "Folder" among Japanese file types.
class MissingQtTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const std::pair<const char *, const char16_t *> kTexts[] = {
            {"Folder", u"フォルダー"},
            {"Drive", u"ドライブ"},
            {"Shortcut", u"ショートカット"},
            {"Unknown", u"不明"},
        };
        for (const auto &[english, japanese] : kTexts) {
            if (qstrcmp(sourceText, english) == 0)
                return QString::fromUtf16(japanese);
        }
        return {};
    }
};

} // namespace

bool installJapaneseTranslation(QCoreApplication &app)
{
    // The game speaks Japanese only, so Qt's dialogs must too: the locale
    // is set as well as the translation, for dates and sizes in the file
    // dialog's columns.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto *translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
        delete translator;
        return false;
    }
    // Installed last, so asked first; it answers for its few texts only.
    return QCoreApplication::installTranslator(translator) &&
           QCoreApplication::installTranslator(new MissingQtTexts(&app));
}

} // namespace mok::platform
