#include "bmp_reader.h"

#include "load_limits.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>

namespace mok::picture {

namespace {

enum Compression : std::uint32_t {
    Plain = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    AlphaBitFields = 6
};

// The file header, the largest info header and four channel masks.
constexpr int kHeadBytes = 14 + 124 + 16;

using Bytes = std::vector<std::uint8_t>;

// Little-endian; 0 for bytes past the end of `data`.
std::uint32_t le(const Bytes &data, int at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | (std::size_t(at + i) < data.size() ? data[std::size_t(at + i)] : 0u);
    return value;
}

// One colour channel given by a bit mask, scaled to 0-255.
class Channel {
public:
    explicit Channel(std::uint32_t mask = 0) : m_mask(mask)
    {
        if (mask == 0)
            return;
        while (!((mask >> m_shift) & 1))
            ++m_shift;
        m_max = mask >> m_shift;
    }
    bool present() const { return m_max != 0; }
    unsigned operator()(std::uint32_t pixel) const
    {
        if (m_max == 0)
            return 0;
        return unsigned((std::uint64_t((pixel & m_mask) >> m_shift) * 255 + m_max / 2) / m_max);
    }

private:
    std::uint32_t m_mask = 0;
    int m_shift = 0;
    std::uint32_t m_max = 0;
};

struct Header {
    PixelSize size;
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = Plain;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::int64_t paletteOffset = 0;
    std::int64_t paletteEntries = 0;
    int entryBytes = 4;
    std::int64_t pixelOffset = 0;

    bool runLength() const { return compression == Rle8 || compression == Rle4; }
};

bool bitsFitCompression(int bits, std::uint32_t compression, bool os2)
{
    switch (compression) {
    case Plain:
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

// Whether channel masks can show a picture: some colour bit inside the
// pixel, and no bit shared by two channels. Masks of zero would show every
// file black, and shared bits mix channels no writer means to mix.
bool masksGiveColour(const std::array<std::uint32_t, 4> &masks, int bitsPerPixel)
{
    const std::uint32_t inPixel = bitsPerPixel >= 32 ? ~0u : (1u << bitsPerPixel) - 1;
    std::uint32_t seen = 0;
    for (const std::uint32_t mask : masks) {
        if (mask & seen)
            return false;
        seen |= mask;
    }
    return ((masks[0] | masks[1] | masks[2]) & inPixel) != 0;
}

// Reads the headers; no reason when the file is a BMP we read, or the
// reason it is not. Only what the header says is checked here.
Reason parseHeader(const Bytes &head, Header &h)
{
    if (head.size() < 18)
        return Reason::Broken;
    const int infoSize = int(std::min<std::uint32_t>(le(head, 14, 4), 1024));
    const bool core = infoSize == 12;
    const bool os2 = infoSize == 16 || infoSize == 64;
    const bool windows =
        infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    if (!core && !os2 && !windows)
        return Reason::UnreadableBmp;
    if (head.size() < std::size_t(14 + infoSize))
        return Reason::Broken;
    h.pixelOffset = le(head, 10, 4);
    std::int64_t width = 0;
    std::int64_t height = 0;
    int planes = 0;
    std::uint32_t coloursUsed = 0;
    if (core) {
        width = le(head, 18, 2);
        height = le(head, 20, 2);
        planes = int(le(head, 22, 2));
        h.bitsPerPixel = int(le(head, 24, 2));
        h.entryBytes = 3;
    } else {
        width = std::int32_t(le(head, 18, 4));
        height = std::int32_t(le(head, 22, 4));
        planes = int(le(head, 26, 2));
        h.bitsPerPixel = int(le(head, 28, 2));
        h.compression = infoSize >= 20 ? le(head, 30, 4) : Plain;
        coloursUsed = infoSize >= 36 ? le(head, 46, 4) : 0;
    }
    if (planes != 1 || width <= 0 || height == 0 || height == INT_MIN ||
        !bitsFitCompression(h.bitsPerPixel, h.compression, os2))
        return Reason::UnreadableBmp;
    // Run-length data should be stored bottom-up, but Qt read it top-down too.
    h.topDown = height < 0;
    h.size = PixelSize{int(width), int(std::abs(height))};

    h.paletteOffset = 14 + infoSize;
    if (h.compression == BitFields || h.compression == AlphaBitFields) {
        // After a 40-byte header the masks follow it; longer headers hold them.
        const bool withAlpha = h.compression == AlphaBitFields || infoSize >= 56;
        if (infoSize == 40)
            h.paletteOffset += withAlpha ? 16 : 12;
        if (std::int64_t(head.size()) < h.paletteOffset)
            return Reason::Broken;
        h.masks = {le(head, 54, 4), le(head, 58, 4), le(head, 62, 4),
                   withAlpha ? le(head, 66, 4) : 0u};
        if (!masksGiveColour(h.masks, h.bitsPerPixel))
            return Reason::UnreadableBmp;
    } else if (h.bitsPerPixel == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bitsPerPixel == 32) {
        h.masks = {0xFF0000, 0xFF00, 0xFF, 0};
    }
    if (h.bitsPerPixel <= 8) {
        if (coloursUsed > (1u << 16))
            return Reason::UnreadableBmp;
        const std::int64_t most = std::int64_t(1) << h.bitsPerPixel;
        h.paletteEntries = coloursUsed == 0 ? most : std::min<std::int64_t>(coloursUsed, most);
        // A table cut short by where the pixels start (OS/2 files do this).
        if (h.pixelOffset >= h.paletteOffset)
            h.paletteEntries =
                std::min(h.paletteEntries, (h.pixelOffset - h.paletteOffset) / h.entryBytes);
    }
    return Reason::None;
}

// Colours by index; an index past the table shows black.
std::optional<std::array<Rgb, 256>> readPalette(Source &file, const Header &h)
{
    std::array<Rgb, 256> palette;
    palette.fill(kBlack);
    if (h.paletteEntries == 0)
        return palette;
    if (!file.seek(h.paletteOffset))
        return std::nullopt;
    const Bytes table = file.read(std::size_t(h.paletteEntries * h.entryBytes));
    if (std::int64_t(table.size()) != h.paletteEntries * h.entryBytes)
        return std::nullopt;
    const std::uint8_t *p = table.data();
    for (std::int64_t i = 0; i < h.paletteEntries; ++i, p += h.entryBytes)
        palette[size_t(i)] = rgb(p[2], p[1], p[0]);
    return palette;
}

class RowConverter {
public:
    RowConverter(const Header &h, const std::array<Rgb, 256> &palette)
        : m_bits(h.bitsPerPixel), m_palette(palette), m_red(h.masks[0]), m_green(h.masks[1]),
          m_blue(h.masks[2]), m_alpha(h.masks[3])
    {
    }

    void convert(const std::uint8_t *in, Rgb *out, int width) const
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
                out[x] = rgb(in[2], in[1], in[0]);
            break;
        case 16:
            for (int x = 0; x < width; ++x, in += 2)
                out[x] = masked(std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8);
            break;
        default:
            for (int x = 0; x < width; ++x, in += 4)
                out[x] = masked(std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 |
                                std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24);
            break;
        }
    }

private:
    // The pixel's colour, laid over black when the file gives it alpha.
    Rgb masked(std::uint32_t v) const
    {
        if (!m_alpha.present())
            return rgb(m_red(v), m_green(v), m_blue(v));
        return overBlack(argb(m_alpha(v), m_red(v), m_green(v), m_blue(v)));
    }

    int m_bits;
    const std::array<Rgb, 256> &m_palette;
    Channel m_red, m_green, m_blue, m_alpha;
};

// Rows of a fixed size, stored `stride` bytes apart.
std::int64_t strideOf(const Header &h)
{
    return (std::int64_t(h.size.width) * h.bitsPerPixel + 31) / 32 * 4;
}
std::int64_t rowBytesOf(const Header &h)
{
    return (std::int64_t(h.size.width) * h.bitsPerPixel + 7) / 8;
}

// Whether the file holds every row, though the last may lack its padding.
// Run-length data can say a whole picture in a few bytes, so it is held to
// its end marker while it is read instead.
bool holdsRows(const Source &file, const Header &h)
{
    return h.runLength() ||
           h.pixelOffset + strideOf(h) * (h.size.height - 1) + rowBytesOf(h) <= file.size();
}

Reason readRows(Source &file, const Header &h, const RowConverter &converter, Image &image)
{
    const std::int64_t width = h.size.width;
    const std::int64_t height = h.size.height;
    const std::int64_t stride = strideOf(h);
    const std::int64_t rowBytes = rowBytesOf(h);
    if (!file.seek(h.pixelOffset))
        return Reason::ReadFailed;
    Bytes row(std::size_t(stride), 0);
    for (std::int64_t r = 0; r < height; ++r) {
        const std::int64_t wanted = r + 1 == height ? rowBytes : stride;
        if (file.read(row.data(), wanted) != wanted)
            return Reason::ReadFailed;
        const int y = int(h.topDown ? r : height - 1 - r);
        converter.convert(row.data(), image.row(y), int(width));
    }
    return Reason::None;
}

// The file's bytes one at a time, through a buffer.
class ByteReader {
public:
    explicit ByteReader(Source &file) : m_file(file) {}
    bool next(int &value)
    {
        if (m_at == m_buffer.size()) {
            m_buffer = m_file.read(64 * 1024);
            m_at = 0;
            if (m_buffer.empty())
                return false;
        }
        value = m_buffer[m_at++];
        return true;
    }

private:
    Source &m_file;
    Bytes m_buffer;
    std::size_t m_at = 0;
};

// Run-length data: runs and literal stretches, end of line, a move, and end
// of picture. Pixels it skips show colour 0. Every run, stretch and move must
// stay inside the picture, and the data must reach its end marker, or at
// least the picture's last pixel.
Reason readRuns(Source &file, const Header &h, const std::array<Rgb, 256> &palette, Image &image)
{
    if (!file.seek(h.pixelOffset))
        return Reason::ReadFailed;
    const bool four = h.compression == Rle4;
    const int width = h.size.width;
    const int height = h.size.height;
    image.fill(palette[0]);
    ByteReader in(file);
    int x = 0;
    int y = 0; // counted in the order the rows are stored
    const auto line = [&] { return image.row(h.topDown ? y : height - 1 - y); };
    for (;;) {
        int count = 0;
        int value = 0;
        if (!in.next(count) || !in.next(value)) {
            const bool full = y >= height || (y == height - 1 && x >= width);
            return full ? Reason::None : Reason::Broken;
        }
        if (count > 0) { // a run of one index, or of two alternating ones
            if (y >= height || count > width - x)
                return Reason::Broken;
            Rgb *out = line() + x;
            for (int i = 0; i < count; ++i)
                out[i] = palette[size_t(four ? (i & 1 ? value & 15 : value >> 4) : value)];
            x += count;
            continue;
        }
        if (value == 0) { // end of line
            if (y >= height)
                return Reason::Broken;
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return Reason::None;
        } else if (value == 2) { // move right, and on by rows
            int dx = 0;
            int dy = 0;
            if (!in.next(dx) || !in.next(dy))
                return Reason::Broken;
            x += dx;
            y += dy;
            if (x > width || y > height)
                return Reason::Broken;
        } else { // `value` indices as they are, padded to a 16-bit boundary
            if (y >= height || value > width - x)
                return Reason::Broken;
            const int bytes = four ? (value + 1) / 2 : value;
            Rgb *out = line() + x;
            int byte = 0;
            for (int i = 0; i < value; ++i) {
                if ((!four || i % 2 == 0) && !in.next(byte))
                    return Reason::Broken;
                out[i] = palette[size_t(four ? (i & 1 ? byte & 15 : byte >> 4) : byte)];
            }
            x += value;
            if (bytes % 2 == 1)
                in.next(byte); // a missing pad byte shows at the next read
        }
    }
}

} // namespace

ReadResult readBmp(Source &file, PreviewTarget &target)
{
    if (!file.seek(0))
        return refused(Reason::ReadFailed);
    Header header;
    if (const Reason why = parseHeader(file.read(kHeadBytes), header); why != Reason::None)
        return refused(why);
    if (exceedsDecodeLimit(header.size))
        return refused(Reason::TooLarge, header.size);
    // Before anything is allocated for them.
    if (header.pixelOffset < header.paletteOffset || header.pixelOffset >= file.size() ||
        !holdsRows(file, header))
        return refused(Reason::Broken);
    const PixelSize preview = target.previewSize(header.size);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, header.size);
    const std::optional<std::array<Rgb, 256>> palette = readPalette(file, header);
    if (!palette)
        return refused(Reason::Broken);

    const RowConverter converter(header, *palette);
    Image image = Image::allocate(header.size);
    if (image.isNull())
        return refused(Reason::OutOfMemory);
    const Reason why = header.runLength() ? readRuns(file, header, *palette, image)
                                          : readRows(file, header, converter, image);
    if (why != Reason::None)
        return refused(why);
    if (!writePreview(image, preview, Orientation::Upright, target.memory))
        return refused(Reason::OutOfMemory);
    return {Reason::None, header.size};
}

} // namespace mok::picture
