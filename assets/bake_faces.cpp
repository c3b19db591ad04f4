// Build step: turns the PNG faces, icon and logo into pixel arrays compiled
// into the game, premultiplied ARGB32 as the screen takes them. The game then
// shows them straight from its own read-only pages, with no PNG decoder
// loaded and no decoded copy on the heap.
//
// Usage: mok_bake_faces OUTPUT.cpp SOURCE_DIR NAME...  (NAME relative to
// SOURCE_DIR, e.g. faces/open.png or faces/open@1.5x.png; the game asks for
// "faces/open", at a density).
#include <QFile>
#include <QImage>
#include <QString>
#include <QTextStream>

#include <cstdio>

namespace {

void writePixels(QTextStream &out, int index, const QImage &image)
{
    out << "alignas(16) const std::uint32_t kPixels" << index << "[] = {";
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            out << ((x % 8) ? " " : "\n    ") << "0x" << Qt::hex << line[x] << Qt::dec << "u,";
    }
    out << "\n};\n";
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp SOURCE_DIR NAME...\n", argv[0]);
        return 2;
    }
    const QString sourceDir = QString::fromLocal8Bit(argv[2]);
    QString table;
    QString text;
    QTextStream out(&text);
    out << "// Made by mok_bake_faces from the PNGs in assets/; do not edit.\n"
           "#include \"baked_faces.h\"\n\nnamespace mok::baked {\n\nnamespace {\n\n";
    for (int i = 3; i < argc; ++i) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        const QImage image = QImage(sourceDir + QLatin1Char('/') + name)
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            std::fprintf(stderr, "mok_bake_faces: cannot read %s\n", qPrintable(name));
            return 1;
        }
        writePixels(out, i, image);
        // "faces/open@1.5x.png" is faces/open drawn at 1.5 times the size.
        QString base = name;
        base.chop(4); // ".png"
        QString density = QStringLiteral("1");
        if (const qsizetype at = base.indexOf(QLatin1Char('@')); at >= 0) {
            density = base.mid(at + 1);
            density.chop(1); // "x"
            base.truncate(at);
        }
        table += QStringLiteral("    {\"%1\", %2, %3, %4, kPixels%5},\n")
                     .arg(base, density)
                     .arg(image.width())
                     .arg(image.height())
                     .arg(i);
    }
    out << "\n} // namespace\n\nconst Face kFaces[] = {\n"
        << table << "};\n\nconst std::size_t kFaceCount = " << (argc - 3)
        << ";\n\n} // namespace mok::baked\n";
    out.flush();

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) {
        std::fprintf(stderr, "mok_bake_faces: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
