// The splash window: its looks, how its bar steps with the clock, and the
// hand-over to the main window with its opening banner.
#include "appcontroller.h"
#include "frmstart.h"
#include "imagebutton.h"
#include "modalwatcher.h"
#include "picturebox.h"

#include <QLabel>
#include <QtTest>

#include <deque>

namespace {

// A clock that reads out the given seconds one by one, then stays on the
// last.
frmStart::Clock secondsClock(QList<int> seconds)
{
    auto left = std::make_shared<std::deque<int>>(seconds.begin(), seconds.end());
    return [left] {
        const int s = left->front();
        if (left->size() > 1)
            left->pop_front();
        return QTime(12, 34, s);
    };
}

// What a window looked like the moment it was first shown.
class FirstShow : public QObject {
public:
    explicit FirstShow(std::function<void()> look) : m_look(std::move(look)) {}
    bool seen = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !seen) {
            seen = true;
            m_look();
        }
        return false;
    }

private:
    std::function<void()> m_look;
};

} // namespace

class TestFrmStart : public QObject {
    Q_OBJECT
private slots:
    void barStepsWithTheClock_data();
    void barStepsWithTheClock();
    void splashShowsTheLogoAndABareBar();
    void handOverShowsTheMainWindowWithTheBanner();
};

void TestFrmStart::barStepsWithTheClock_data()
{
    // The clock is read once at load (the interval), then once a tick.
    QTest::addColumn<QList<int>>("seconds");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QList<int>>("values");
    QTest::addRow("seconds ending in 9")
        << QList<int>{39} << 10 << QList<int>{17, 34, 51, 68, 85, 100};
    QTest::addRow("seconds ending in 0")
        << QList<int>{50} << 1 << QList<int>{8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96, 100};
    QTest::addRow("a new minute while loading") << QList<int>{59, 59, 0, 1, 2, 3, 4, 5, 6, 7} << 10
                                                << QList<int>{17, 25, 34, 44, 55, 67, 80, 94, 100};
}

void TestFrmStart::barStepsWithTheClock()
{
    QFETCH(QList<int>, seconds);
    QFETCH(int, interval);
    QFETCH(QList<int>, values);
    frmStart splash(secondsClock(seconds));
    auto *timer = splash.findChild<QTimer *>(QStringLiteral("tmrLoading"));
    QCOMPARE(timer->interval(), interval);
    QCOMPARE(splash.progress().value(), 0);
    QSignalSpy loaded(&splash, &frmStart::loaded);

    QList<int> seen;
    for (int i = 0; i < values.size(); ++i) {
        QCOMPARE(loaded.count(), 0);
        splash.tmrLoading_Timer();
        seen << splash.progress().value();
    }
    QCOMPARE(seen, values);
    QCOMPARE(loaded.count(), 1);
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), interval); // never changed after load
}

void TestFrmStart::splashShowsTheLogoAndABareBar()
{
    // Ticks are stepped by hand: the event loop never runs here.
    frmStart splash(secondsClock({10}));
    // 1710 x 810 twips, centred on the 1024 x 768 screen; no caption.
    QCOMPARE(splash.geometry(), QRect(455, 357, 114, 54));
    QVERIFY(!splash.windowFlags().testFlag(Qt::WindowTitleHint));
    QVERIFY(!splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    auto *logo = splash.findChild<QLabel *>(QStringLiteral("imgTM"));
    QCOMPARE(logo->geometry(), QRect(8, 12, 101, 32));
    QCOMPARE(
        logo->pixmap().toImage(),
        QImage(QStringLiteral(":/logo.png")).convertToFormat(logo->pixmap().toImage().format()));
    auto *bar = splash.findChild<PictureBox *>(QStringLiteral("picLoading"));
    QCOMPARE(bar->geometry(), QRect(0, 50, 113, 4));

    const QImage shown = splash.grab().toImage();
    QCOMPARE(QColor(shown.pixel(2, 2)), QColor(Qt::white));
    QCOMPARE(QColor(shown.pixel(113, 30)), QColor(Qt::white));

    // Three ticks at seconds ending in 0 fill 24 of 100: the first 27 of
    // 113 pixels (27.12) are pale blue and the rest white, with no text.
    for (int i = 0; i < 3; ++i)
        splash.tmrLoading_Timer();
    QCOMPARE(splash.progress().value(), 24);
    const QImage filled = bar->grab().toImage();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 113; ++x) {
            const QColor want = x < 27 ? QColor(0xD0, 0xD0, 0xFF) : QColor(Qt::white);
            QCOMPARE(QColor(filled.pixel(x, y)), want);
        }
    }
}

void TestFrmStart::handOverShowsTheMainWindowWithTheBanner()
{
    AppController host;
    bool splashHidden = false, openEnabled = true, bannerVisible = false, scrolling = false;
    QPointer<frmStart> splash;
    std::unique_ptr<FirstShow> firstShow;
    connect(&host, &AppController::windowCreated, this, [&](frmMain *window) {
        firstShow = std::make_unique<FirstShow>([&, window] {
            splashHidden = !splash || splash->isHidden();
            openEnabled = window->findChild<ImageButton *>(QStringLiteral("imgOpen"))->isEnabled();
            bannerVisible = !window->findChild<QLabel *>(QStringLiteral("lblOpening"))->isHidden();
            scrolling = window->findChild<QTimer *>(QStringLiteral("tmrScroll"))->isActive();
        });
        window->installEventFilter(firstShow.get());
    });
    QVERIFY(host.start());
    splash = host.splash();
    QVERIFY(splash);
    QVERIFY(!host.window()); // nothing of the main window yet
    QTRY_VERIFY_WITH_TIMEOUT(firstShow && firstShow->seen, 20000);
    QVERIFY(splashHidden);
    QVERIFY(!openEnabled);
    QVERIFY(bannerVisible);
    QVERIFY(scrolling);
    QTRY_VERIFY(splash.isNull()); // unloaded

    // The banner settles once and Open comes alive.
    frmMain *window = host.window();
    auto *open = window->findChild<ImageButton *>(QStringLiteral("imgOpen"));
    QTRY_VERIFY_WITH_TIMEOUT(open->isEnabled(), 20000);
    auto *banner = window->findChild<QLabel *>(QStringLiteral("lblOpening"));
    QCOMPARE(banner->text(), QStringLiteral(u"いろんなピクチャでジグソーパズル！"));
    QCOMPARE(banner->font().pointSizeF(), 20.0);

    // A window made again by Open shows the banner at rest: it runs once.
    ModalWatcher cancel([](QDialog *) { return false; });
    QSignalSpy created(&host, &AppController::windowCreated);
    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY(created.wait(5000));
    frmMain *again = host.window();
    QVERIFY(again != window);
    QVERIFY(again->findChild<ImageButton *>(QStringLiteral("imgOpen"))->isEnabled());
    QVERIFY(!again->findChild<QTimer *>(QStringLiteral("tmrScroll"))->isActive());
    QCOMPARE(again->findChild<QLabel *>(QStringLiteral("lblOpening"))->font().pointSizeF(), 20.0);
    QTRY_COMPARE(cancel.seen().size(), 1);
}

QTEST_MAIN(TestFrmStart)
#include "tst_frmstart.moc"
