// The progress bar as it paints, judged on the pixels of its box.
#include "clsprogressbar.h"
#include "picturebox.h"

#include <QtTest>

#include <stdexcept>

using mok::clsProgressBar;
using mok::PictureBox;

namespace {

const QRgb kPaleBlue = qRgb(0xD0, 0xD0, 0xFF);
const QRgb kWhite = qRgb(255, 255, 255);

// A bar bound to a box of its own; `bare` switches its text off.
struct Bar {
    PictureBox box;
    clsProgressBar bar;

    Bar(int w, int h, bool bare)
    {
        box.resize(w, h);
        bar.setTarget(&box);
        if (bare) {
            bar.setValueShow(false);
            bar.setUnit(QString());
        }
    }
    QRgb at(int x, int y) const { return box.image().pixel(x, y) | 0xff000000u; }
};

} // namespace

class TestProgressBar : public QObject {
    Q_OBJECT
private slots:
    void valueIsClampedAndFillsFromTheLeft_data();
    void valueIsClampedAndFillsFromTheLeft();
    void textUnderTheBarIsInverted();
    void verticalStyleRisesFromTheBottom();
    void rebindingResetsTheValue();
    void writingWithNoBoxBoundThrows();
};

void TestProgressBar::valueIsClampedAndFillsFromTheLeft_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("stored");
    QTest::addRow("-5") << -5 << 0;
    QTest::addRow("0, nothing filled") << 0 << 0;
    QTest::addRow("37") << 37 << 37;
    QTest::addRow("150") << 150 << 100;
}

void TestProgressBar::valueIsClampedAndFillsFromTheLeft()
{
    QFETCH(int, written);
    QFETCH(int, stored);
    Bar b(200, 10, true);
    // Not-xor over white leaves a back colour as it is: a dark one shows
    // exactly where the rest lies.
    const QRgb back = qRgb(0x20, 0x40, 0x60);
    b.bar.setBackColor(back);
    b.bar.setValue(written);
    QCOMPARE(b.bar.value(), stored);
    for (int y : {0, 9}) // 100 units over 200 pixels
        for (int x = 0; x < 200; ++x)
            QCOMPARE(b.at(x, y), x < 2 * stored ? kPaleBlue : back);
}

void TestProgressBar::textUnderTheBarIsInverted()
{
    Bar half(200, 30, false);
    half.bar.setValue(50); // the defaults: "50%" in pale blue
    // The same text as a bar at 0 draws it: on white, with nothing filled.
    Bar plain(200, 30, false);
    plain.bar.setValueShow(false);
    plain.bar.setUnit(QStringLiteral("50%"));
    QRect ink;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 200; ++x)
            if (plain.at(x, y) != kWhite)
                ink |= QRect(x, y, 1, 1);
    QVERIFY(ink.left() > 60 && ink.right() < 140); // centred
    QVERIFY(qAbs(ink.center().x() - 100) <= 3);
    // Left of the middle the bar inverts what lies under it, so the text is
    // white on pale blue; right of it the text stays pale blue on white.
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QRgb under = plain.at(x, y);
            QCOMPARE(half.at(x, y), x < 100 ? (~(kPaleBlue ^ under) | 0xff000000u) : under);
        }
    }
}

void TestProgressBar::verticalStyleRisesFromTheBottom()
{
    Bar b(10, 200, true);
    QCOMPARE(b.box.scaleWidth(), 100.0f);
    QCOMPARE(b.box.scaleHeight(), 200.0f); // as the box had it
    b.bar.setStyle(clsProgressBar::Vertical);
    QCOMPARE(b.box.scaleHeight(), 100.0f);
    b.bar.setValue(30);
    for (int y = 0; y < 200; ++y)
        for (int x : {0, 9})
            QCOMPARE(b.at(x, y), y >= 140 ? kPaleBlue : kWhite);
}

void TestProgressBar::rebindingResetsTheValue()
{
    Bar b(100, 10, true);
    b.bar.setValue(70);
    PictureBox other;
    other.resize(300, 10);
    other.setScaleHeight(7);
    b.bar.setTarget(&other);
    QCOMPARE(b.bar.value(), 0);
    QCOMPARE(other.scaleWidth(), 100.0f);
    QCOMPARE(other.scaleHeight(), 7.0f);
    QCOMPARE(other.image().pixel(0, 0) | 0xff000000u, kWhite);
    QCOMPARE(b.at(69, 0), kPaleBlue); // the first box keeps its drawing
}

void TestProgressBar::writingWithNoBoxBoundThrows()
{
    clsProgressBar bar;
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setValue(150));
    QCOMPARE(bar.value(), 100); // stored, clamped, before the paint failed
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setStyle(1));
    QCOMPARE(bar.style(), 1);
    // A box that has gone counts as none.
    auto box = std::make_unique<PictureBox>();
    bar.setTarget(box.get());
    box.reset();
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setMax(40));
}

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
