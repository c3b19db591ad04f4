// The progress bar as it paints, judged on the pixels of its box.
#include "clsprogressbar.h"
#include "picturebox.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

const QRgb kPaleBlue = qRgb(0xD0, 0xD0, 0xFF);
const QRgb kWhite = qRgb(255, 255, 255);

QRgb pixel(const PictureBox &box, int x, int y)
{
    return box.image().pixel(x, y) | 0xff000000u;
}

QRgb notXor(QRgb pen, QRgb screen)
{
    return ~(pen ^ screen) | 0xff000000u;
}

std::unique_ptr<PictureBox> makeBox(int w, int h)
{
    auto box = std::make_unique<PictureBox>();
    box->resize(w, h);
    return box;
}

// The columns in row y that have colour c.
QList<int> columnsOf(const PictureBox &box, int y, QRgb c)
{
    QList<int> columns;
    for (int x = 0; x < box.width(); ++x)
        if (pixel(box, x, y) == c)
            columns << x;
    return columns;
}

} // namespace

class TestProgressBar : public QObject {
    Q_OBJECT
private slots:
    void valueIsClampedAndFillsFromTheLeft_data();
    void valueIsClampedAndFillsFromTheLeft();
    void textUnderTheBarIsInverted();
    void verticalStyleRisesFromTheBottom();
    void otherStylesDrawNoBar();
    void rebindingResetsTheValue();
    void writingWithNoBoxBoundThrows();
};

void TestProgressBar::valueIsClampedAndFillsFromTheLeft_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("stored");
    QTest::addRow("-5") << -5 << 0;
    QTest::addRow("0") << 0 << 0;
    QTest::addRow("37") << 37 << 37;
    QTest::addRow("100") << 100 << 100;
    QTest::addRow("150") << 150 << 100;
}

void TestProgressBar::valueIsClampedAndFillsFromTheLeft()
{
    QFETCH(int, written);
    QFETCH(int, stored);
    const auto box = makeBox(200, 10);
    clsProgressBar bar;
    bar.setTarget(box.get());
    bar.setValueShow(false);
    bar.setUnit(QString());
    // A dark back colour shows exactly where the rest lies: not-xor over
    // white leaves it as it is.
    const QRgb back = qRgb(0x20, 0x40, 0x60);
    bar.setBackColor(back);
    bar.setValue(written);
    QCOMPARE(bar.value(), stored);
    // 100 units over 200 pixels: the filled part is 2 pixels a unit.
    for (int y : {0, 9}) {
        for (int x = 0; x < 200; ++x)
            QCOMPARE(pixel(*box, x, y), x < 2 * stored ? kPaleBlue : back);
    }
}

void TestProgressBar::textUnderTheBarIsInverted()
{
    const auto box = makeBox(200, 30);
    clsProgressBar bar;
    bar.setTarget(box.get());
    bar.setValue(50);
    QCOMPARE(bar.barColor(), QColor(kPaleBlue));
    QCOMPARE(bar.unit(), QStringLiteral("%"));

    // The same text, as a bar at 0 draws it: on white, nothing filled.
    const auto plain = makeBox(200, 30);
    clsProgressBar reference;
    reference.setTarget(plain.get());
    reference.setValueShow(false);
    reference.setUnit(QStringLiteral("50%"));
    QRect ink;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (pixel(*plain, x, y) != kWhite)
                ink |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!ink.isEmpty());
    QVERIFY2(qAbs(ink.center().x() - 100) <= 3, qPrintable(QString::number(ink.center().x())));
    QVERIFY2(qAbs(ink.center().y() - 15) <= 3, qPrintable(QString::number(ink.center().y())));
    QVERIFY(!columnsOf(*plain, ink.center().y(), kPaleBlue).isEmpty());

    // Left of the middle the bar inverts what lies under it (the text turns
    // white on pale blue); right of it the text stays pale blue on white.
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QRgb under = pixel(*plain, x, y);
            QCOMPARE(pixel(*box, x, y), x < 100 ? notXor(kPaleBlue, under) : under);
        }
    }
}

void TestProgressBar::verticalStyleRisesFromTheBottom()
{
    const auto box = makeBox(10, 200);
    clsProgressBar bar;
    bar.setTarget(box.get());
    QCOMPARE(box->scaleWidth(), 100.0f);
    QCOMPARE(box->scaleHeight(), 200.0f); // as the box had it
    bar.setValueShow(false);
    bar.setUnit(QString());
    bar.setStyle(clsProgressBar::Vertical);
    QCOMPARE(box->scaleWidth(), 100.0f);
    QCOMPARE(box->scaleHeight(), 100.0f);
    bar.setValue(30);
    for (int y = 0; y < 200; ++y) {
        QCOMPARE(pixel(*box, 0, y), y >= 140 ? kPaleBlue : kWhite);
        QCOMPARE(pixel(*box, 9, y), y >= 140 ? kPaleBlue : kWhite);
    }
    bar.setValue(0);
    QCOMPARE(columnsOf(*box, 199, kWhite).size(), 10);
}

void TestProgressBar::otherStylesDrawNoBar()
{
    const auto box = makeBox(100, 10);
    clsProgressBar bar;
    bar.setTarget(box.get());
    bar.setValueShow(false);
    bar.setUnit(QString());
    bar.setBackColor(Qt::black);
    bar.setStyle(2);
    bar.setValue(60);
    QCOMPARE(bar.value(), 60);
    for (int y = 0; y < 10; ++y)
        QCOMPARE(columnsOf(*box, y, kWhite).size(), 100);
}

void TestProgressBar::rebindingResetsTheValue()
{
    const auto first = makeBox(100, 10);
    const auto second = makeBox(300, 10);
    second->setScaleHeight(7);
    clsProgressBar bar;
    bar.setTarget(first.get());
    bar.setValueShow(false);
    bar.setUnit(QString());
    bar.setValue(70);
    bar.setTarget(second.get());
    QCOMPARE(bar.value(), 0);
    QCOMPARE(second->scaleWidth(), 100.0f);
    QCOMPARE(second->scaleHeight(), 7.0f);
    QVERIFY(columnsOf(*second, 0, kPaleBlue).isEmpty());
    // The first box keeps what was drawn on it.
    QCOMPARE(columnsOf(*first, 0, kPaleBlue).size(), 70);
}

void TestProgressBar::writingWithNoBoxBoundThrows()
{
    clsProgressBar bar;
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setValue(150));
    QCOMPARE(bar.value(), 100); // stored and clamped before the paint failed
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setMax(40));
    QCOMPARE(bar.max(), 40);
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setUnit(QStringLiteral("pt")));
    QCOMPARE(bar.unit(), QStringLiteral("pt"));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setStyle(1));
    QCOMPARE(bar.style(), 1);
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setTarget(nullptr));

    // A box that has gone counts as none.
    auto box = makeBox(50, 5);
    bar.setTarget(box.get());
    box.reset();
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bar.setValueShow(false));
    QCOMPARE(bar.valueShow(), false);
}

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
