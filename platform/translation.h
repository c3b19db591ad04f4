#pragma once

class QCoreApplication;

namespace mok::platform {

// Installs Qt's own Japanese translation on the application, so the file
// dialog, its warnings and the message boxes' buttons read in Japanese
// whatever the desktop's locale. Returns false when Qt's translation files
// are not installed; the game then runs with Qt's English texts.
bool installJapaneseTranslation(QCoreApplication &app);

} // namespace mok::platform
