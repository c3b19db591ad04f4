// The about window: where every control stands, its two hover effects, the
// links' deferred press, the read-only boxes and the Close label.
#include "desktop.h"
#include "frmversion.h"
#include "imagebutton.h"
#include "modalwatcher.h"
#include "outlineshape.h"
#include "shownpixels.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QUrl>
#include <QtTest>

#include <memory>

using mok::frmVersion;
using mok::ImageButton;
using mok::OutlineShape;
using namespace Qt::StringLiterals;

class TestFrmVersion : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowIsAFixedWhiteDialogInTheCentre();
    void controlsStandWhereTheDesignPutsThem_data();
    void controlsStandWhereTheDesignPutsThem();
    void rowsShowTheProductAndTheMaker();
    void closeLightsUpUnderThePointer();
    void closeKeepsItsLightOnTheWayToAnotherControl();
    void completionShowsTheDateUnderThePointer();
    void linkOpensOnceOneTickAfterQuickClicks();
    void bothLinksPressedInOneTickOpenBoth();
    void aLinkThatCannotOpenSaysWhich();
    void textBoxesShowNoCaret();
    void closeClosesWithoutEndingTheProgram();

private:
    template <typename T = QWidget> T *find(const char *name)
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    // Moves the pointer over the window, as the window system reports it:
    // the widget under the pointer gets the motion.
    void pointAt(QPoint p) { QTest::mouseMove(m_window->windowHandle(), p); }
    QColor textColor(const char *label)
    {
        return find(label)->palette().color(QPalette::WindowText);
    }
    QColor shownAt(QPoint p) { return QColor(m_window->grab().toImage().pixel(p)); }

    std::unique_ptr<frmVersion> m_window;
    QList<QUrl> m_opened;
    bool m_openSucceeds = true;
    mok::platform::DesktopOpener m_previousOpener;
};

namespace {

const QColor kGrey(0x60, 0x60, 0x60);
const QColor kBlue(0, 0, 255);
const QColor kOrange(255, 0x80, 0);
const QColor kFrameGrey(0xA0, 0xA0, 0xA0);

// Points on the window at 15 twips a pixel.
const QPoint kBackground(140, 20); // between the logo and Close
const QPoint kOnClose(196, 16);
const QPoint kOnCloseFrameOnly(196, 6); // the frame's top rows, above the label
const QPoint kOnCompletion(370, 32);
const QPoint kOnCompany(340, 12);
const QPoint kOnLogo(40, 20);
const QPoint kOnTextBox(150, 85);        // txtInfo3, the version
const QPoint kBetweenFrameAndBox(6, 60); // inside shpInfo0, outside txtInfo0

} // namespace

void TestFrmVersion::init()
{
    m_opened.clear();
    m_openSucceeds = true;
    m_previousOpener = mok::platform::setDesktopOpener([this](const QUrl &url) {
        m_opened << url;
        return m_openSucceeds;
    });
    m_window = std::make_unique<frmVersion>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestFrmVersion::cleanup()
{
    m_window.reset();
    mok::platform::setDesktopOpener(m_previousOpener);
}

void TestFrmVersion::windowIsAFixedWhiteDialogInTheCentre()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral(u"バージョン情報"));
    // 5925 x 2550 twips.
    QCOMPARE(m_window->size(), QSize(395, 170));
    QCOMPARE(m_window->minimumSize(), QSize(395, 170));
    QCOMPARE(m_window->maximumSize(), QSize(395, 170));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(m_window->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(m_window->geometry().center().y() - screen.center().y()) <= 1);
    const Qt::WindowFlags flags = m_window->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!m_window->isModal());
    QCOMPARE(shownAt(kBackground), QColor(Qt::white));
    QCOMPARE(shownAt({393, 100}), QColor(Qt::white));
    QCOMPARE(m_window->font().families().first(), QStringLiteral("MS UI Gothic"));
    QCOMPARE(m_window->font().pointSize(), 9);
}

void TestFrmVersion::controlsStandWhereTheDesignPutsThem_data()
{
    // The laid-out twips at 15 twips a pixel.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels");
    QTest::addRow("imgTM") << u"imgTM"_s << QRect(8, 8, 101, 32);        // 120, 120, 1515, 480
    QTest::addRow("lblClose") << u"lblClose"_s << QRect(176, 8, 41, 17); // 2640, 120, 615, 255
    QTest::addRow("shpClose") << u"shpClose"_s << QRect(176, 5, 41, 17); // 2640, 75, 615, 255
    // lblCompletion (4800, 360, 975, 255) may grow to the left to fit its
    // caption: completionShowsTheDateUnderThePointer checks it.
    QTest::addRow("lblCompany") << u"lblCompany"_s << QRect(296, 8, 89, 17); // 4440, 120, 1335
    QTest::addRow("imgMail0") << u"imgMail0"_s << QRect(268, 122, 120, 18); // 4020, 1830, 1800, 270
    QTest::addRow("imgURL0") << u"imgURL0"_s << QRect(268, 146, 120, 18);   // 4020, 2190
    // Rows at 795, 1155, 1515, 1875, 2235 twips; frames 75 twips higher.
    const int boxTops[] = {53, 77, 101, 125, 149};
    const int frameTops[] = {48, 72, 96, 120, 144};
    const int valueWidths[] = {288, 288, 288, 168, 168}; // 4320 or 2520 twips
    for (int r = 0; r < 5; ++r) {
        QTest::addRow("txtInfo%d", 2 * r)
            << u"txtInfo%1"_s.arg(2 * r) << QRect(10, boxTops[r], 73, 16); // 150, 1095, 240
        QTest::addRow("txtInfo%d", 2 * r + 1)
            << u"txtInfo%1"_s.arg(2 * r + 1) << QRect(97, boxTops[r], valueWidths[r], 16); // 1455
        QTest::addRow("shpInfo%d", 2 * r)
            << u"shpInfo%1"_s.arg(2 * r) << QRect(4, frameTops[r], 85, 22); // 60, 1275, 330
        QTest::addRow("shpInfo%d", 2 * r + 1)
            << u"shpInfo%1"_s.arg(2 * r + 1) << QRect(91, frameTops[r], 300, 22); // 1365, 4500
    }
}

void TestFrmVersion::controlsStandWhereTheDesignPutsThem()
{
    QFETCH(QString, control);
    QFETCH(QRect, pixels);
    QWidget *widget = m_window->findChild<QWidget *>(control);
    QVERIFY2(widget, qPrintable(control));
    QCOMPARE(widget->geometry(), pixels);
    QVERIFY(widget->isVisible());
}

void TestFrmVersion::rowsShowTheProductAndTheMaker()
{
    const QStringList texts = {u"ソフトウェア名"_s, u"Mok (モク）"_s,
                               u"バージョン"_s,     u"1.57"_s,
                               u"作者"_s,           u"Mok 開発チーム"_s,
                               u"メール"_s,         u"mok@example.org"_s,
                               u"ホームページ"_s,   u"https://mok.example.org/"_s};
    for (int i = 0; i < 10; ++i) {
        auto *box = find<QLineEdit>(qPrintable(u"txtInfo%1"_s.arg(i)));
        QCOMPARE(box->text(), texts[i]);
        QVERIFY(box->isReadOnly());
        QVERIFY(!box->hasFrame());
        QCOMPARE(box->palette().color(QPalette::Text), kGrey);
        auto *frame = find<OutlineShape>(qPrintable(u"shpInfo%1"_s.arg(i)));
        QVERIFY(!frame->fillColor().isValid());
        // The frame's border shows round the box.
        QCOMPARE(shownAt(frame->geometry().topLeft() + QPoint(5, 0)), kFrameGrey);
    }
    // The version is the one the build defines.
    QCOMPARE(find<QLineEdit>("txtInfo3")->text(), QStringLiteral(MOK_VERSION));
    // The maker's data stay on reserved example domains.
    QVERIFY(frmVersion::maker().mail.endsWith(u"@example.org"_s));
    QVERIFY(QUrl(frmVersion::maker().homePage).host().endsWith(u"example.org"_s));
    QCOMPARE(find<QLabel>("lblCompany")->text(), frmVersion::maker().credit);
    QCOMPARE(textColor("lblCompany"), kGrey);
    QCOMPARE(find<QLabel>("lblCompany")->alignment(), Qt::AlignRight | Qt::AlignTop);
    QCOMPARE(find<QLabel>("lblCompletion")->alignment(), Qt::AlignRight | Qt::AlignTop);
    QCOMPARE(find<QLabel>("lblClose")->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    QCOMPARE(find<QLabel>("lblClose")->toolTip(), u"閉じる"_s);
    QCOMPARE(find<QLabel>("imgTM")->pixmap().size(), QSize(101, 32));
    QCOMPARE(shownPixels(find<QLabel>("imgTM")->pixmap()), shownPixels(QPixmap(u":/logo.png"_s)));
    for (const char *link : {"imgMail0", "imgURL0"})
        QCOMPARE(find<ImageButton>(link)->picture().size(), QSize(120, 18));
}

void TestFrmVersion::closeLightsUpUnderThePointer()
{
    auto *shape = find<OutlineShape>("shpClose");
    pointAt(kBackground);
    QCOMPARE(textColor("lblClose"), kGrey);
    QCOMPARE(shape->fillColor(), QColor(Qt::white));

    pointAt(kOnClose);
    QCOMPARE(textColor("lblClose"), QColor(Qt::white));
    QCOMPARE(shape->fillColor(), kBlue);
    QCOMPARE(shownAt(shape->geometry().topLeft() + QPoint(2, 2)), kBlue);

    // Back on the window: the light goes out.
    pointAt(kBackground);
    QCOMPARE(textColor("lblClose"), kGrey);
    QCOMPARE(shape->fillColor(), QColor(Qt::white));
    QCOMPARE(shownAt(shape->geometry().topLeft() + QPoint(2, 2)), QColor(Qt::white));

    // The frame's rows above the label are only drawn on the window: they
    // count as the window, and put the light out too.
    pointAt(kOnClose);
    QCOMPARE(shape->fillColor(), kBlue);
    pointAt(kOnCloseFrameOnly);
    QCOMPARE(shape->fillColor(), QColor(Qt::white));
    QCOMPARE(textColor("lblClose"), kGrey);
}

void TestFrmVersion::closeKeepsItsLightOnTheWayToAnotherControl()
{
    auto *shape = find<OutlineShape>("shpClose");
    for (const QPoint other : {kOnCompany, kOnLogo, kOnTextBox}) {
        pointAt(kOnClose);
        QCOMPARE(shape->fillColor(), kBlue);
        // Straight onto another control, never touching the window.
        pointAt(other);
        QCOMPARE(shape->fillColor(), kBlue);
        QCOMPARE(textColor("lblClose"), QColor(Qt::white));
        pointAt(kBackground);
        QCOMPARE(shape->fillColor(), QColor(Qt::white));
    }
    // The space between a row's frame and its box is the window.
    pointAt(kOnClose);
    pointAt(kBetweenFrameAndBox);
    QCOMPARE(shape->fillColor(), QColor(Qt::white));
}

void TestFrmVersion::completionShowsTheDateUnderThePointer()
{
    auto *label = find<QLabel>("lblCompletion");
    // 4800, 360, 975, 255 twips; where the fallback font draws the caption
    // wider than 65 pixels, the label grows to the left so all of it shows.
    const auto designPlace = [label] {
        const int width = qMax(65, label->fontMetrics().horizontalAdvance(label->text()));
        return QRect(320 + 65 - width, 24, width, 17);
    };
    pointAt(kBackground);
    QCOMPARE(label->text(), u"Completion"_s);
    QCOMPARE(textColor("lblCompletion"), kGrey);
    QCOMPARE(label->geometry(), designPlace());

    pointAt(kOnCompletion);
    QCOMPARE(label->text(), u"2001/06/13"_s);
    QCOMPARE(textColor("lblCompletion"), kOrange);
    QCOMPARE(label->geometry(), designPlace());

    // Onto another control: the date stays.
    pointAt(kOnCompany);
    QCOMPARE(label->text(), u"2001/06/13"_s);
    pointAt(kOnClose);
    QCOMPARE(label->text(), u"2001/06/13"_s);

    pointAt(kBackground);
    QCOMPARE(label->text(), u"Completion"_s);
    QCOMPARE(textColor("lblCompletion"), kGrey);
    QCOMPARE(label->geometry(), designPlace());
}

void TestFrmVersion::linkOpensOnceOneTickAfterQuickClicks()
{
    auto *mail = find<ImageButton>("imgMail0");
    auto *timer = find<QTimer>("tmrButton");
    QCOMPARE(timer->interval(), 100);
    QVERIFY(!timer->isActive());
    const QImage normal = mail->picture().toImage();

    QTest::mouseClick(mail, Qt::LeftButton);
    // Only the pressed face, and the timer armed.
    QVERIFY(mail->picture().toImage() != normal);
    QCOMPARE(shownPixels(mail->picture()), shownPixels(QImage(u":/faces/mail_pressed.png"_s)));
    QVERIFY(timer->isActive());
    QVERIFY(m_opened.isEmpty());
    QTest::qWait(30);
    QVERIFY(m_opened.isEmpty());
    QTest::mouseClick(mail, Qt::LeftButton); // a second click before the tick
    QVERIFY(m_opened.isEmpty());
    // The tick stays the first click's: the second does not put it off.
    QVERIFY2(timer->remainingTime() <= 85, qPrintable(QString::number(timer->remainingTime())));

    QTRY_COMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened.first(), QUrl(u"mailto:mok@example.org"_s));
    QCOMPARE(m_opened.first().scheme(), u"mailto"_s);
    QCOMPARE(mail->picture().toImage(), normal);
    QVERIFY(!timer->isActive());
    QTest::qWait(300);
    QCOMPARE(m_opened.size(), 1);

    // The home page the same way.
    QTest::mouseClick(find<ImageButton>("imgURL0"), Qt::LeftButton);
    QTRY_COMPARE(m_opened.size(), 2);
    QCOMPARE(m_opened.last(), QUrl(u"https://mok.example.org/"_s));
    // A right click is not a click.
    QTest::mouseClick(mail, Qt::RightButton);
    QVERIFY(!timer->isActive());
}

void TestFrmVersion::bothLinksPressedInOneTickOpenBoth()
{
    // The addresses are the maker's, whatever the boxes happen to show.
    find<QLineEdit>("txtInfo7")->setText(u"someone@example.com"_s);
    find<QLineEdit>("txtInfo9")->setText(u"https://example.com/"_s);
    QTest::mouseClick(find<ImageButton>("imgURL0"), Qt::LeftButton);
    QTest::mouseClick(find<ImageButton>("imgMail0"), Qt::LeftButton);
    QTRY_COMPARE(m_opened.size(), 2);
    // Mail is served first, whatever the order of the clicks.
    QCOMPARE(m_opened[0], QUrl(u"mailto:"_s + frmVersion::maker().mail));
    QCOMPARE(m_opened[1], QUrl(frmVersion::maker().homePage));
}

void TestFrmVersion::aLinkThatCannotOpenSaysWhich()
{
    m_openSucceeds = false;
    ModalWatcher watcher;
    QTest::mouseClick(find<ImageButton>("imgMail0"), Qt::LeftButton);
    QTRY_COMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen()[0].title, u"開く"_s);
    QCOMPARE(watcher.seen()[0].text,
             u"メールソフトを起動できませんでした。\nmok@example.org\n"
             u"このアドレスへは、お使いのメールソフトから送ってください。"_s);
    QTest::mouseClick(find<ImageButton>("imgURL0"), Qt::LeftButton);
    QTRY_COMPARE(watcher.seen().size(), 2);
    QCOMPARE(watcher.seen()[1].text,
             u"次のアドレスを開くことができませんでした。\nhttps://mok.example.org/\n"
             u"ブラウザーで直接開いてください。"_s);
}

void TestFrmVersion::textBoxesShowNoCaret()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    for (const char *name : {"txtInfo7", "txtInfo0"}) {
        auto *box = find<QLineEdit>(name);
        const QImage unfocused = box->grab().toImage();
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        box->setCursorPosition(3);
        // Over more than one blink of a caret, the box looks as it did
        // without focus: no caret is ever drawn.
        const int flash = qMax(QApplication::cursorFlashTime(), 200);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < flash * 3 / 2) {
            QCOMPARE(box->grab().toImage(), unfocused);
            QTest::qWait(flash / 8);
        }
    }
}

void TestFrmVersion::closeClosesWithoutEndingTheProgram()
{
    // Like the program's: an about window that deletes itself on closing.
    frmVersion *window = m_window.release();
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmVersion> alive(window);
    // Closing it never ends the game, whose window may be waiting in the
    // notification area (tst_realwindow closes it so on the real program).
    QVERIFY(!window->testAttribute(Qt::WA_QuitOnClose));
    auto *close = window->findChild<QLabel *>(u"lblClose"_s);
    // Pressed on Close but released elsewhere is no click.
    QTest::mousePress(close, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(60, 5));
    QVERIFY(alive && window->isVisible());
    QTest::mouseClick(close, Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(alive && window->isVisible());

    QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_VERIFY(!alive);
}

QTEST_MAIN(TestFrmVersion)
#include "tst_frmversion.moc"
