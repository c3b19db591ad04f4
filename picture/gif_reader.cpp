#include "gif_reader.h"

#include "load_limits.h"
#include "reasons.h"

#include <algorithm>
#include <array>
#include <vector>

namespace mok::picture {

namespace {

constexpr QRgb kBlack = 0xFF000000u;

// The file's bytes one at a time, through a buffer; reading past the end
// gives 0 and sets `ended`.
class ByteSource {
public:
    explicit ByteSource(QIODevice &device) : m_device(device) {}

    int next()
    {
        if (m_at == m_buffer.size()) {
            m_buffer = m_device.read(64 * 1024);
            m_at = 0;
            if (m_buffer.isEmpty()) {
                ended = true;
                return 0;
            }
        }
        return uchar(m_buffer[m_at++]);
    }
    int next16()
    {
        const int low = next();
        return low | (next() << 8);
    }
    void skip(int count)
    {
        while (count-- > 0 && !ended)
            next();
    }

    bool ended = false;

private:
    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_at = 0;
};

// A colour table of 2 << (packed & 7) entries, when the packed field has one.
std::vector<QRgb> readColourTable(ByteSource &in, int packed)
{
    std::vector<QRgb> table;
    if (!(packed & 0x80))
        return table;
    table.resize(size_t(2) << (packed & 7));
    for (QRgb &c : table) {
        const int r = in.next();
        const int g = in.next();
        c = qRgb(r, g, in.next());
    }
    return table;
}

// An extension is its label, then sub-blocks up to the first empty one,
// whatever the label. The graphic control extension's first sub-block gives
// the transparent index.
void readExtension(ByteSource &in, int &transparent)
{
    const int label = in.next();
    for (int size = in.next(), first = 1; size != 0 && !in.ended; size = in.next(), first = 0) {
        if (label == 0xF9 && first && size >= 4) {
            const int packed = in.next();
            in.skip(2); // delay
            const int index = in.next();
            transparent = (packed & 1) ? index : -1;
            in.skip(size - 4);
        } else {
            in.skip(size);
        }
    }
}

// GIF's LZW code stream, read from the image's sub-blocks and handed out a
// row at a time. It reads nothing past the last row asked for.
class LzwRows {
public:
    LzwRows(ByteSource &in, int minCodeSize, int width)
        : m_in(in), m_minCodeSize(minCodeSize), m_clear(1 << minCodeSize), m_row(size_t(width))
    {
        for (int c = 0; c < m_clear; ++c) {
            m_prefix[size_t(c)] = -1;
            m_suffix[size_t(c)] = m_first[size_t(c)] = quint16(c);
        }
        reset();
    }

    // The next row of indices, or nothing when the data stops before it is
    // full: cut short, an end code, or a code the table does not hold yet.
    const std::vector<quint16> *nextRow()
    {
        size_t filled = 0;
        while (filled < m_row.size()) {
            if (m_pendingAt < m_pending.size()) {
                const size_t n = std::min(m_pending.size() - m_pendingAt, m_row.size() - filled);
                std::copy_n(m_pending.begin() + qsizetype(m_pendingAt), n,
                            m_row.begin() + qsizetype(filled));
                m_pendingAt += n;
                filled += n;
                continue;
            }
            if (!decodeCode())
                return nullptr;
        }
        return &m_row;
    }

private:
    void reset()
    {
        m_codeSize = m_minCodeSize + 1;
        m_next = m_clear + 2;
        m_previous = -1;
    }

    // The next code, or -1 when the sub-blocks end first.
    int readCode()
    {
        while (m_bitCount < m_codeSize) {
            if (m_blockLeft == 0) {
                m_blockLeft = m_in.next();
                if (m_blockLeft == 0 || m_in.ended)
                    return -1;
            }
            m_bits |= quint32(m_in.next()) << m_bitCount;
            m_bitCount += 8;
            --m_blockLeft;
            if (m_in.ended)
                return -1;
        }
        const int code = int(m_bits & ((1u << m_codeSize) - 1));
        m_bits >>= m_codeSize;
        m_bitCount -= m_codeSize;
        return code;
    }

    // Decodes one code into m_pending; false when the data stops.
    bool decodeCode()
    {
        const int code = readCode();
        if (code < 0 || code == m_clear + 1)
            return false;
        if (code == m_clear) {
            reset();
            return true;
        }
        if (code > m_next || (code == m_next && m_previous < 0))
            return false;
        if (m_previous >= 0 && m_next < 4096) {
            const size_t entry = size_t(m_next);
            m_prefix[entry] = qint16(m_previous);
            m_first[entry] = m_first[size_t(m_previous)];
            m_suffix[entry] = code < m_next ? m_first[size_t(code)] : m_first[size_t(m_previous)];
            ++m_next;
            if (m_next == (1 << m_codeSize) && m_codeSize < 12)
                ++m_codeSize;
        }
        m_previous = code;
        m_pending.clear();
        for (int c = code; c >= 0; c = m_prefix[size_t(c)])
            m_pending.push_back(m_suffix[size_t(c)]);
        std::reverse(m_pending.begin(), m_pending.end());
        m_pendingAt = 0;
        return true;
    }

    ByteSource &m_in;
    const int m_minCodeSize;
    const int m_clear;
    int m_codeSize = 0;
    int m_next = 0;
    int m_previous = -1;
    std::array<qint16, 4096> m_prefix{};
    std::array<quint16, 4096> m_suffix{};
    std::array<quint16, 4096> m_first{};
    quint32 m_bits = 0;
    int m_bitCount = 0;
    int m_blockLeft = 0;
    std::vector<quint16> m_pending;
    size_t m_pendingAt = 0;
    std::vector<quint16> m_row;
};

// The frame's rows in the order the file stores them: top to bottom, or in
// the four passes of an interlaced image.
std::vector<int> storedRowOrder(int height, bool interlaced)
{
    std::vector<int> order;
    order.reserve(size_t(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            order.push_back(y);
        return order;
    }
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            order.push_back(y);
    }
    return order;
}

} // namespace

Decoded readGif(QIODevice &file)
{
    if (!file.seek(0))
        return refused(reason::readFailed());
    ByteSource in(file);
    in.skip(6); // signature, checked by the caller
    const int screenW = in.next16();
    const QSize screen(screenW, in.next16());
    const int screenPacked = in.next();
    const int background = in.next();
    in.next(); // aspect ratio
    if (in.ended || screen.isEmpty())
        return refused(reason::broken());
    if (exceedsDecodeLimit(screen))
        return refused(reason::tooLarge(screen));
    const std::vector<QRgb> global = readColourTable(in, screenPacked);

    int transparent = -1;
    for (;;) {
        const int introducer = in.next();
        if (in.ended || (introducer != 0x21 && introducer != 0x2C))
            return refused(reason::broken()); // no image: the trailer, or garbage
        if (introducer == 0x2C)
            break;
        readExtension(in, transparent);
    }
    const int left = in.next16();
    const int top = in.next16();
    const int frameW = in.next16();
    const int frameH = in.next16();
    const int packed = in.next();
    const std::vector<QRgb> local = readColourTable(in, packed);
    const int minCodeSize = in.next();
    if (in.ended || frameW == 0 || frameH == 0 || minCodeSize < 1 || minCodeSize > 11)
        return refused(reason::broken());

    // The part of the frame the screen shows; the rest is never drawn. A
    // large screen that is mostly background (a few dozen bytes declaring
    // 8192 x 8192) is no picture.
    const int shownW = std::clamp(screen.width() - left, 0, frameW);
    const int shownH = std::clamp(screen.height() - top, 0, frameH);
    const qint64 screenArea = qint64(screen.width()) * screen.height();
    if (screenArea > (qint64(1) << 22) && qint64(shownW) * shownH * 4 < screenArea)
        return refused(reason::broken());
    // Rows are decoded whole, and only up to the last one shown: an
    // interlaced frame taller than the screen needs its earlier passes too.
    const std::vector<int> order = storedRowOrder(frameH, packed & 0x40);
    qint64 rowsToDecode = 0;
    for (qint64 i = 0; i < qint64(order.size()); ++i) {
        if (order[size_t(i)] < shownH)
            rowsToDecode = i + 1;
    }
    // A code is at least two bits and stands for at most 4096 pixels, so a
    // file too short for the rows it must give is broken before the screen
    // is allocated.
    const qint64 pixelsToDecode = rowsToDecode * frameW;
    if (pixelsToDecode > kMaxGifDecodedPixels || pixelsToDecode > file.size() * 4 * 4096)
        return refused(reason::broken());

    // As Qt drew it: the screen in the background colour, unless that is
    // the transparent one; transparent pixels, and indices past the colour
    // table, leave what is underneath.
    QImage canvas(screen, QImage::Format_RGB32);
    if (canvas.isNull())
        return refused(reason::outOfMemory());
    const bool backgroundShown = background < int(global.size()) && background != transparent;
    canvas.fill(backgroundShown ? global[size_t(background)] : kBlack);
    const std::vector<QRgb> &colours = (packed & 0x80) ? local : global;
    LzwRows rows(in, minCodeSize, frameW);
    for (qint64 i = 0; i < rowsToDecode; ++i) {
        const std::vector<quint16> *row = rows.nextRow();
        if (!row)
            return refused(reason::broken());
        const int y = order[size_t(i)];
        if (y >= shownH)
            continue;
        auto *out = reinterpret_cast<QRgb *>(canvas.scanLine(top + y)) + left;
        for (int x = 0; x < shownW; ++x) {
            const int index = (*row)[size_t(x)];
            if (index != transparent && index < int(colours.size()))
                out[x] = colours[size_t(index)];
        }
    }

    Decoded decoded;
    decoded.image = std::move(canvas);
    decoded.fullSize = screen;
    return decoded;
}

} // namespace mok::picture
