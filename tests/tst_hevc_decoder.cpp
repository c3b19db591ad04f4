// Our HEVC decoder for libheif, with and without worker threads, against
// libheif's own: the same pixels, to the byte, whatever the picture's size
// and chroma.
#include "hevc_decoder.h"
#include "modern_files.h"

#include <QtTest>

#include <libheif/heif.h>

namespace {

// Colour that changes at every pixel in both directions, so that a plane
// copied at the wrong size or stride shows.
QImage scene(QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 37 + y * 11) & 0xff, (x * 5 + y * 29) & 0xff, x ^ y));
    return picture;
}

} // namespace

class TestHevcDecoder : public QObject {
    Q_OBJECT
private slots:
    void sameAsLibheif_data();
    void sameAsLibheif();
};

// The references are decoded here, before any row puts our decoder in.
void TestHevcDecoder::sameAsLibheif_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("libheifs");
    QTest::addColumn<int>("workers");
    struct Case {
        const char *name;
        QSize size;
        const char *chroma;
    };
    for (const Case &c :
         {Case{"4:2:0", {96, 64}, "420"}, Case{"4:2:0 of odd sides", {33, 17}, "420"},
          Case{"4:2:2 of odd sides", {33, 17}, "422"}, Case{"4:4:4", {40, 24}, "444"}}) {
        const QByteArray file =
            modern::encodeHeif(scene(c.size), modern::Codec::Hevc, 90, 1, c.chroma);
        const QImage libheifs = modern::decodeHeif(file);
        for (const int workers : {0, 2})
            QTest::addRow("%s, %d workers", c.name, workers) << file << libheifs << workers;
    }
}

void TestHevcDecoder::sameAsLibheif()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, libheifs);
    QFETCH(int, workers);
    QVERIFY(!libheifs.isNull());
    static const bool registered = [] {
        const mok::picture::HeifImageFunctions images{heif_image_create, heif_image_add_plane,
                                                      heif_image_get_plane, heif_image_release};
        const heif_decoder_plugin *ours = mok::picture::openThreadedHevcDecoder(images);
        return ours && heif_register_decoder_plugin(ours).code == heif_error_Ok;
    }();
    QVERIFY2(registered, "libde265 could not be opened");
    mok::picture::useHevcWorkerThreads(workers);
    QCOMPARE(modern::decodeHeif(file), libheifs);
}

QTEST_GUILESS_MAIN(TestHevcDecoder)
#include "tst_hevc_decoder.moc"
