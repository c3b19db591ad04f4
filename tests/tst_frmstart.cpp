// The splash window: how its bar steps with the clock, its looks, and the
// hand-over to the main window with its opening banner.
#include "appcontroller.h"
#include "imagebutton.h"
#include "modalwatcher.h"

#include <QLabel>
#include <QtTest>

using mok::AppController;
using mok::frmMain;
using mok::frmStart;
using mok::ImageButton;

namespace {

// A clock that reads out the given seconds one by one, then stays on the
// last.
frmStart::Clock secondsClock(QList<int> seconds)
{
    return [seconds]() mutable {
        const int s = seconds.size() > 1 ? seconds.takeFirst() : seconds.first();
        return QTime(12, 34, s);
    };
}

// Runs `look` when the watched window is first shown.
struct OnFirstShow : QObject {
    std::function<void()> look;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show && look)
            std::exchange(look, nullptr)();
        return false;
    }
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
    // Ticks are stepped by hand: the event loop never runs here.
    frmStart splash(secondsClock(seconds));
    auto *timer = splash.findChild<QTimer *>(QStringLiteral("tmrLoading"));
    QCOMPARE(timer->interval(), interval);
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
    QCOMPARE(timer->interval(), interval); // set once, at load
}

void TestFrmStart::splashShowsTheLogoAndABareBar()
{
    frmStart splash(secondsClock({10}));
    // No window manager here to draw the frame: the window draws its own,
    // one pixel round a client area of 1710 x 810 twips, centred on the
    // 1024 x 768 screen, with no caption.
    QCOMPARE(splash.ownFrame(), 1);
    QCOMPARE(splash.contentsRect(), QRect(1, 1, 114, 54));
    QCOMPARE(splash.geometry(), QRect(454, 356, 116, 56));
    QVERIFY(!splash.windowFlags().testFlag(Qt::WindowTitleHint));
    QCOMPARE(splash.findChild<QLabel *>(QStringLiteral("imgTM"))->geometry(),
             QRect(9, 13, 101, 32));
    // Three ticks at seconds ending in 0 fill 24 of 100: 27 of 113 pixels
    // pale blue, the rest white, and no text.
    for (int i = 0; i < 3; ++i)
        splash.tmrLoading_Timer();
    const QImage shown = splash.grab().toImage();
    QCOMPARE(QColor(shown.pixel(3, 3)), QColor(Qt::white));
    for (int y = 51; y < 55; ++y)
        for (int x = 1; x < 114; ++x)
            QCOMPARE(QColor(shown.pixel(x, y)), x < 28 ? QColor(0xD0, 0xD0, 0xFF) : Qt::white);
    // The frame: every pixel of the outermost ring, and nothing inside it.
    for (int x = 0; x < 116; ++x)
        for (const int y : {0, 55})
            QCOMPARE(QColor(shown.pixel(x, y)), frmStart::kOwnFrameColour);
    for (int y = 0; y < 56; ++y)
        for (const int x : {0, 115})
            QCOMPARE(QColor(shown.pixel(x, y)), frmStart::kOwnFrameColour);
    QCOMPARE(QColor(shown.pixel(1, 1)), QColor(Qt::white));
}

void TestFrmStart::handOverShowsTheMainWindowWithTheBanner()
{
    AppController host;
    bool shown = false, splashHidden = false, openEnabled = true, running = false;
    OnFirstShow onShow;
    connect(&host, &AppController::windowCreated, this, [&](frmMain *window) {
        onShow.look = [&, window] {
            shown = true;
            splashHidden = !host.splash() || host.splash()->isHidden();
            openEnabled = window->findChild<ImageButton *>(QStringLiteral("imgOpen"))->isEnabled();
            running = window->findChild<QLabel *>(QStringLiteral("lblOpening"))->isVisible() &&
                      window->findChild<QTimer *>(QStringLiteral("tmrScroll"))->isActive();
        };
        window->installEventFilter(&onShow);
    });
    QVERIFY(host.start());
    QVERIFY(host.splash()->isVisible());
    QVERIFY(!host.window()); // nothing of the main window yet
    QTRY_VERIFY_WITH_TIMEOUT(shown, 20000);
    QVERIFY(splashHidden);
    QVERIFY(!openEnabled);
    QVERIFY(running);
    QTRY_VERIFY(!host.splash()); // unloaded

    // The banner settles once and Open comes alive; a window made again by
    // Open shows the banner at rest.
    auto *open = host.window()->findChild<ImageButton *>(QStringLiteral("imgOpen"));
    QTRY_VERIFY_WITH_TIMEOUT(open->isEnabled(), 20000);
    ModalWatcher cancel([](QDialog *) { return false; });
    QSignalSpy created(&host, &AppController::windowCreated);
    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY(created.wait(5000));
    QVERIFY(!host.window()->findChild<QTimer *>(QStringLiteral("tmrScroll"))->isActive());
    QVERIFY(host.window()->findChild<ImageButton *>(QStringLiteral("imgOpen"))->isEnabled());
    QTRY_COMPARE(cancel.seen().size(), 1);
}

QTEST_MAIN(TestFrmStart)
#include "tst_frmstart.moc"
