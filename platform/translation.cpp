#include "translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace mok::platform {

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
    return QCoreApplication::installTranslator(translator);
}

} // namespace mok::platform
