#include "bmp_reader.h"

#include "load_limits.h"
#include "reasons.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>

namespace mok::picture {

namespace {

constexpr QRgb kBlack = 0xFF000000u;

enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// The file header, the largest info header and four channel masks.
constexpr int kHeadBytes = 14 + 124 + 16;

// Little-endian; 0 for bytes past the end of `data`.
quint32 le(const QByteArray &data, int at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | (at + i < data.size() ? uchar(data.at(at + i)) : 0u);
    return value;
}

// One colour channel given by a bit mask, scaled to 0-255.
class Channel {
public:
    explicit Channel(quint32 mask = 0) : m_mask(mask)
    {
        if (mask == 0)
            return;
        while (!((mask >> m_shift) & 1))
            ++m_shift;
        m_max = mask >> m_shift;
    }
    bool present() const { return m_max != 0; }
    int operator()(quint32 pixel) const
    {
        if (m_max == 0)
            return 0;
        return int((quint64((pixel & m_mask) >> m_shift) * 255 + m_max / 2) / m_max);
    }

private:
    quint32 m_mask = 0;
    int m_shift = 0;
    quint32 m_max = 0;
};

struct Header {
    QSize size;
    bool topDown = false;
    int bitsPerPixel = 0;
    quint32 compression = Rgb;
    std::array<quint32, 4> masks{}; // red, green, blue, alpha
    qint64 paletteOffset = 0;
    qint64 paletteEntries = 0;
    int entryBytes = 4;
    qint64 pixelOffset = 0;

    bool runLength() const { return compression == Rle8 || compression == Rle4; }
};

bool bitsFitCompression(int bits, quint32 compression, bool os2)
{
    switch (compression) {
    case Rgb:
        return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case Rle8:
        return bits == 8;
    case Rle4:
        return bits == 4;
    case BitFields: // OS/2 2.x uses 3 for Huffman coding
    case AlphaBitFields:
        return !os2 && (bits == 16 || bits == 32);
    default: // embedded JPEG or PNG, OS/2 RLE24
        return false;
    }
}

// Reads the headers; an empty string when the file is a BMP we read, or
// the reason it is not. Only what the header says is checked here.
QString parseHeader(const QByteArray &head, Header &h)
{
    if (head.size() < 18)
        return reason::broken();
    const int infoSize = int(std::min<quint32>(le(head, 14, 4), 1024));
    const bool core = infoSize == 12;
    const bool os2 = infoSize == 16 || infoSize == 64;
    const bool windows =
        infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    if (!core && !os2 && !windows)
        return reason::unreadableBmp();
    if (head.size() < 14 + infoSize)
        return reason::broken();
    h.pixelOffset = le(head, 10, 4);
    qint64 width = 0;
    qint64 height = 0;
    int planes = 0;
    quint32 coloursUsed = 0;
    if (core) {
        width = le(head, 18, 2);
        height = le(head, 20, 2);
        planes = int(le(head, 22, 2));
        h.bitsPerPixel = int(le(head, 24, 2));
        h.entryBytes = 3;
    } else {
        width = qint32(le(head, 18, 4));
        height = qint32(le(head, 22, 4));
        planes = int(le(head, 26, 2));
        h.bitsPerPixel = int(le(head, 28, 2));
        h.compression = infoSize >= 20 ? le(head, 30, 4) : Rgb;
        coloursUsed = infoSize >= 36 ? le(head, 46, 4) : 0;
    }
    if (planes != 1 || width <= 0 || height == 0 || height == INT_MIN ||
        !bitsFitCompression(h.bitsPerPixel, h.compression, os2))
        return reason::unreadableBmp();
    // Run-length data should be stored bottom-up, but Qt read it top-down too.
    h.topDown = height < 0;
    h.size = QSize(int(width), int(std::abs(height)));

    h.paletteOffset = 14 + infoSize;
    if (h.compression == BitFields || h.compression == AlphaBitFields) {
        // After a 40-byte header the masks follow it; longer headers hold them.
        const bool withAlpha = h.compression == AlphaBitFields || infoSize >= 56;
        if (infoSize == 40)
            h.paletteOffset += withAlpha ? 16 : 12;
        if (head.size() < h.paletteOffset)
            return reason::broken();
        h.masks = {le(head, 54, 4), le(head, 58, 4), le(head, 62, 4),
                   withAlpha ? le(head, 66, 4) : 0u};
    } else if (h.bitsPerPixel == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bitsPerPixel == 32) {
        h.masks = {0xFF0000, 0xFF00, 0xFF, 0};
    }
    if (h.bitsPerPixel <= 8) {
        if (coloursUsed > (1u << 16))
            return reason::unreadableBmp();
        const qint64 most = qint64(1) << h.bitsPerPixel;
        h.paletteEntries = coloursUsed == 0 ? most : std::min<qint64>(coloursUsed, most);
        // A table cut short by where the pixels start (OS/2 files do this).
        if (h.pixelOffset >= h.paletteOffset)
            h.paletteEntries =
                std::min(h.paletteEntries, (h.pixelOffset - h.paletteOffset) / h.entryBytes);
    }
    return {};
}

// Colours by index; an index past the table shows black.
std::optional<std::array<QRgb, 256>> readPalette(QIODevice &file, const Header &h)
{
    std::array<QRgb, 256> palette;
    palette.fill(kBlack);
    if (h.paletteEntries == 0)
        return palette;
    if (!file.seek(h.paletteOffset))
        return std::nullopt;
    const QByteArray table = file.read(h.paletteEntries * h.entryBytes);
    if (table.size() != h.paletteEntries * h.entryBytes)
        return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(table.constData());
    for (qint64 i = 0; i < h.paletteEntries; ++i, p += h.entryBytes)
        palette[size_t(i)] = qRgb(p[2], p[1], p[0]);
    return palette;
}

class RowConverter {
public:
    RowConverter(const Header &h, const std::array<QRgb, 256> &palette)
        : m_bits(h.bitsPerPixel), m_palette(palette), m_red(h.masks[0]), m_green(h.masks[1]),
          m_blue(h.masks[2]), m_alpha(h.masks[3])
    {
    }
    bool hasAlpha() const { return m_alpha.present(); }

    void convert(const uchar *in, QRgb *out, int width) const
    {
        switch (m_bits) {
        case 1:
        case 4:
        case 8: {
            const int perByte = 8 / m_bits;
            const int mask = (1 << m_bits) - 1;
            for (int x = 0; x < width; ++x) {
                const int shift = 8 - m_bits * (x % perByte + 1);
                out[x] = m_palette[size_t((in[x / perByte] >> shift) & mask)];
            }
            break;
        }
        case 24:
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = qRgb(in[2], in[1], in[0]);
            break;
        case 16:
            for (int x = 0; x < width; ++x, in += 2)
                out[x] = masked(quint32(in[0]) | quint32(in[1]) << 8);
            break;
        default:
            for (int x = 0; x < width; ++x, in += 4)
                out[x] = masked(quint32(in[0]) | quint32(in[1]) << 8 | quint32(in[2]) << 16 |
                                quint32(in[3]) << 24);
            break;
        }
    }

private:
    QRgb masked(quint32 v) const
    {
        return qRgba(m_red(v), m_green(v), m_blue(v), m_alpha.present() ? m_alpha(v) : 255);
    }

    int m_bits;
    const std::array<QRgb, 256> &m_palette;
    Channel m_red, m_green, m_blue, m_alpha;
};

// Rows of a fixed size: the file must hold them all, though the last row
// may lack its padding.
QString readRows(QIODevice &file, const Header &h, const RowConverter &converter, QImage &image)
{
    const qint64 width = h.size.width();
    const qint64 height = h.size.height();
    const qint64 rowBits = width * h.bitsPerPixel;
    const qint64 stride = (rowBits + 31) / 32 * 4;
    const qint64 rowBytes = (rowBits + 7) / 8;
    if (h.pixelOffset + stride * (height - 1) + rowBytes > file.size())
        return reason::broken();
    if (!file.seek(h.pixelOffset))
        return reason::readFailed();
    QByteArray row(stride, '\0');
    for (qint64 r = 0; r < height; ++r) {
        const qint64 wanted = r + 1 == height ? rowBytes : stride;
        if (file.read(row.data(), wanted) != wanted)
            return reason::readFailed();
        const int y = int(h.topDown ? r : height - 1 - r);
        converter.convert(reinterpret_cast<const uchar *>(row.constData()),
                          reinterpret_cast<QRgb *>(image.scanLine(y)), int(width));
    }
    return {};
}

// The file's bytes one at a time, through a buffer.
class ByteReader {
public:
    explicit ByteReader(QIODevice &device) : m_device(device) {}
    bool next(int &value)
    {
        if (m_at == m_buffer.size()) {
            m_buffer = m_device.read(64 * 1024);
            m_at = 0;
            if (m_buffer.isEmpty())
                return false;
        }
        value = uchar(m_buffer[m_at++]);
        return true;
    }

private:
    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_at = 0;
};

// Run-length data: runs and literal stretches, end of line, a move, and end
// of picture. Pixels it skips show colour 0. Every run, stretch and move must
// stay inside the picture, and the data must reach its end marker, or at
// least the picture's last pixel.
QString readRuns(QIODevice &file, const Header &h, const std::array<QRgb, 256> &palette,
                 QImage &image)
{
    if (!file.seek(h.pixelOffset))
        return reason::readFailed();
    const bool four = h.compression == Rle4;
    const int width = h.size.width();
    const int height = h.size.height();
    image.fill(palette[0]);
    ByteReader in(file);
    int x = 0;
    int y = 0; // counted in the order the rows are stored
    const auto line = [&] {
        return reinterpret_cast<QRgb *>(image.scanLine(h.topDown ? y : height - 1 - y));
    };
    for (;;) {
        int count = 0;
        int value = 0;
        if (!in.next(count) || !in.next(value)) {
            const bool full = y >= height || (y == height - 1 && x >= width);
            return full ? QString() : reason::broken();
        }
        if (count > 0) { // a run of one index, or of two alternating ones
            if (y >= height || count > width - x)
                return reason::broken();
            QRgb *out = line() + x;
            for (int i = 0; i < count; ++i)
                out[i] = palette[size_t(four ? (i & 1 ? value & 15 : value >> 4) : value)];
            x += count;
            continue;
        }
        if (value == 0) { // end of line
            if (y >= height)
                return reason::broken();
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return {};
        } else if (value == 2) { // move right, and on by rows
            int dx = 0;
            int dy = 0;
            if (!in.next(dx) || !in.next(dy))
                return reason::broken();
            x += dx;
            y += dy;
            if (x > width || y > height)
                return reason::broken();
        } else { // `value` indices as they are, padded to a 16-bit boundary
            if (y >= height || value > width - x)
                return reason::broken();
            const int bytes = four ? (value + 1) / 2 : value;
            QRgb *out = line() + x;
            int byte = 0;
            for (int i = 0; i < value; ++i) {
                if ((!four || i % 2 == 0) && !in.next(byte))
                    return reason::broken();
                out[i] = palette[size_t(four ? (i & 1 ? byte & 15 : byte >> 4) : byte)];
            }
            x += value;
            if (bytes % 2 == 1)
                in.next(byte); // a missing pad byte shows at the next read
        }
    }
}

} // namespace

Decoded readBmp(QIODevice &file)
{
    if (!file.seek(0))
        return refused(reason::readFailed());
    Header header;
    if (const QString why = parseHeader(file.read(kHeadBytes), header); !why.isEmpty())
        return refused(why);
    if (exceedsDecodeLimit(header.size))
        return refused(reason::tooLarge(header.size));
    if (header.pixelOffset < header.paletteOffset || header.pixelOffset >= file.size())
        return refused(reason::broken());
    const std::optional<std::array<QRgb, 256>> palette = readPalette(file, header);
    if (!palette)
        return refused(reason::broken());

    const RowConverter converter(header, *palette);
    const bool alpha = !header.runLength() && header.bitsPerPixel >= 16 && converter.hasAlpha();
    QImage image(header.size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return refused(reason::outOfMemory());
    const QString why = header.runLength() ? readRuns(file, header, *palette, image)
                                           : readRows(file, header, converter, image);
    if (!why.isEmpty())
        return refused(why);
    Decoded decoded;
    decoded.image = std::move(image);
    decoded.fullSize = header.size;
    return decoded;
}

} // namespace mok::picture
