// The reference for the game's start-up: the least a Qt Widgets program can
// do to show a window the size of the game's, one empty widget over the
// whole screen. It reports its first frame the way the game does.
//
// With --text it also shows one line of Japanese, the game's banner, drawn
// with the font's own hints as the game draws its text: the least any window
// that shows Japanese holds at rest (fontconfig, FreeType, HarfBuzz, the
// font's pages and Qt's text code), which the empty window never loads.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool text = QApplication::arguments().contains(QStringLiteral("--text"));
    if (text) {
        QFont font = QGuiApplication::font();
        font.setHintingPreference(QFont::PreferFullHinting);
        QGuiApplication::setFont(font);
    }
    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint, true);
    if (text) {
        auto *line = new QLabel(QStringLiteral(u"いろんなピクチャでジグソーパズル！"), &window);
        line->move(640, 520);
    }
    window.showFullScreen();
    return QApplication::exec();
}
