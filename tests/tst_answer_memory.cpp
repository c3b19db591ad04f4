// The preview's memory in the decoding helper, whose pages a thread of its
// own makes while the reader is already writing rows into them.
#include "answer_memory.h"

#include <QtTest>

#include <sys/mman.h>
#include <unistd.h>

using mok::PixelSize;
using mok::picture::AnswerMemory;
using mok::picture::Rgb;

namespace {

Rgb pixelAt(std::size_t i)
{
    return Rgb(i * 2654435761u) | mok::picture::kOpaque;
}

} // namespace

class TestAnswerMemory : public QObject {
    Q_OBJECT

private slots:
    void rowsWrittenAheadOfThePagesAreKept_data();
    void rowsWrittenAheadOfThePagesAreKept();
};

void TestAnswerMemory::rowsWrittenAheadOfThePagesAreKept_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("sealed");
    QTest::newRow("one pixel") << 1 << 1 << true;
    QTest::newRow("a preview on a 1080 screen") << 1201 << 801 << true;
    QTest::newRow("rows across pages") << 333 << 77 << true;
    // A reader that fails leaves the memory unsealed; the thread making its
    // pages must be waited for, not left running on freed memory.
    QTest::newRow("given up half-way") << 1201 << 801 << false;
}

// The rows are written the moment the memory is had, racing the thread that
// makes its pages: every row written must be in the sealed memory as written.
void TestAnswerMemory::rowsWrittenAheadOfThePagesAreKept()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, sealed);
    const std::size_t count = std::size_t(width) * std::size_t(height);
    for (int round = 0; round < 10; ++round) {
        AnswerMemory memory;
        Rgb *pixels = memory.allocate(PixelSize{width, height});
        QVERIFY(pixels);
        for (std::size_t i = 0; i < (sealed ? count : count / 2); ++i)
            pixels[i] = pixelAt(i);
        if (!sealed)
            continue;
        const int fd = memory.seal();
        QVERIFY(fd >= 0);
        void *data = ::mmap(nullptr, count * sizeof(Rgb), PROT_READ, MAP_PRIVATE, fd, 0);
        QVERIFY(data != MAP_FAILED);
        const auto *kept = static_cast<const Rgb *>(data);
        std::size_t wrong = 0;
        while (wrong < count && kept[wrong] == pixelAt(wrong))
            ++wrong;
        ::munmap(data, count * sizeof(Rgb));
        QCOMPARE(wrong, count); // the first pixel not as written, if any
    }
}

QTEST_GUILESS_MAIN(TestAnswerMemory)
#include "tst_answer_memory.moc"
