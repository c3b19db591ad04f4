#include "gif_reader.h"

#include "load_limits.h"

#include <algorithm>
#include <array>
#include <vector>

namespace mok::picture {

namespace {

// The file's bytes one at a time, through a buffer; reading past the end
// gives 0 and sets `ended`.
class ByteSource {
public:
    explicit ByteSource(Source &file) : m_file(file) {}

    int next()
    {
        if (m_at == m_buffer.size()) {
            m_buffer = m_file.read(64 * 1024);
            m_at = 0;
            if (m_buffer.empty()) {
                ended = true;
                return 0;
            }
        }
        return m_buffer[m_at++];
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
    Source &m_file;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_at = 0;
};

// A colour table of 2 << (packed & 7) entries, when the packed field has one.
std::vector<Rgb> readColourTable(ByteSource &in, int packed)
{
    std::vector<Rgb> table;
    if (!(packed & 0x80))
        return table;
    table.resize(size_t(2) << (packed & 7));
    for (Rgb &c : table) {
        const int r = in.next();
        const int g = in.next();
        c = rgb(unsigned(r), unsigned(g), unsigned(in.next()));
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
            m_suffix[size_t(c)] = m_first[size_t(c)] = std::uint16_t(c);
        }
        reset();
    }

    // The next row of indices, or nothing when the data stops before it is
    // full: cut short, an end code, or a code the table does not hold yet.
    const std::vector<std::uint16_t> *nextRow()
    {
        size_t filled = 0;
        while (filled < m_row.size()) {
            if (m_pendingAt < m_pending.size()) {
                const size_t n = std::min(m_pending.size() - m_pendingAt, m_row.size() - filled);
                std::copy_n(m_pending.begin() + std::ptrdiff_t(m_pendingAt), n,
                            m_row.begin() + std::ptrdiff_t(filled));
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
            m_bits |= std::uint32_t(m_in.next()) << m_bitCount;
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
            m_prefix[entry] = std::int16_t(m_previous);
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
    std::array<std::int16_t, 4096> m_prefix{};
    std::array<std::uint16_t, 4096> m_suffix{};
    std::array<std::uint16_t, 4096> m_first{};
    std::uint32_t m_bits = 0;
    int m_bitCount = 0;
    int m_blockLeft = 0;
    std::vector<std::uint16_t> m_pending;
    size_t m_pendingAt = 0;
    std::vector<std::uint16_t> m_row;
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

ReadResult readGif(Source &file, PreviewTarget &target)
{
    if (!file.seek(0))
        return refused(Reason::ReadFailed);
    ByteSource in(file);
    in.skip(6); // signature, checked by the caller
    const int screenW = in.next16();
    const PixelSize screen{screenW, in.next16()};
    const int screenPacked = in.next();
    const int background = in.next();
    in.next(); // aspect ratio
    if (in.ended || screen.isEmpty())
        return refused(Reason::Broken);
    if (exceedsDecodeLimit(screen))
        return refused(Reason::TooLarge, screen);
    const PixelSize preview = target.previewSize(screen);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, screen);
    const std::vector<Rgb> global = readColourTable(in, screenPacked);

    int transparent = -1;
    for (;;) {
        const int introducer = in.next();
        if (in.ended || (introducer != 0x21 && introducer != 0x2C))
            return refused(Reason::Broken); // no image: the trailer, or garbage
        if (introducer == 0x2C)
            break;
        readExtension(in, transparent);
    }
    const int left = in.next16();
    const int top = in.next16();
    const int frameW = in.next16();
    const int frameH = in.next16();
    const int packed = in.next();
    const std::vector<Rgb> local = readColourTable(in, packed);
    const int minCodeSize = in.next();
    if (in.ended || frameW == 0 || frameH == 0 || minCodeSize < 1 || minCodeSize > 11)
        return refused(Reason::Broken);

    // The part of the frame the screen shows; the rest is never drawn. A
    // large screen that is mostly background (a few dozen bytes declaring
    // 8192 x 8192) is no picture.
    const int shownW = std::clamp(screen.width - left, 0, frameW);
    const int shownH = std::clamp(screen.height - top, 0, frameH);
    const std::int64_t screenArea = std::int64_t(screen.width) * screen.height;
    if (screenArea > (std::int64_t(1) << 22) && std::int64_t(shownW) * shownH * 4 < screenArea)
        return refused(Reason::Broken);
    // Rows are decoded whole, and only up to the last one shown: an
    // interlaced frame taller than the screen needs its earlier passes too.
    const std::vector<int> order = storedRowOrder(frameH, packed & 0x40);
    std::int64_t rowsToDecode = 0;
    for (std::int64_t i = 0; i < std::int64_t(order.size()); ++i) {
        if (order[size_t(i)] < shownH)
            rowsToDecode = i + 1;
    }
    // A code is at least two bits and stands for at most 4096 pixels, so a
    // file too short for the rows it must give is broken before the screen
    // is allocated.
    const std::int64_t pixelsToDecode = rowsToDecode * frameW;
    if (pixelsToDecode > kMaxGifDecodedPixels || pixelsToDecode > file.size() * 4 * 4096)
        return refused(Reason::Broken);

    // As Qt drew it: the screen in the background colour, unless that is
    // the transparent one; transparent pixels, and indices past the colour
    // table, leave what is underneath.
    Image canvas = Image::allocate(screen);
    if (canvas.isNull())
        return refused(Reason::OutOfMemory);
    const bool backgroundShown = background < int(global.size()) && background != transparent;
    canvas.fill(backgroundShown ? global[size_t(background)] : kBlack);
    const std::vector<Rgb> &colours = (packed & 0x80) ? local : global;
    LzwRows rows(in, minCodeSize, frameW);
    for (std::int64_t i = 0; i < rowsToDecode; ++i) {
        const std::vector<std::uint16_t> *row = rows.nextRow();
        if (!row)
            return refused(Reason::Broken);
        const int y = order[size_t(i)];
        if (y >= shownH)
            continue;
        Rgb *out = canvas.row(top + y) + left;
        for (int x = 0; x < shownW; ++x) {
            const int index = (*row)[size_t(x)];
            if (index != transparent && index < int(colours.size()))
                out[x] = colours[size_t(index)];
        }
    }

    if (!writePreview(canvas, preview, Orientation::Upright, target.memory))
        return refused(Reason::OutOfMemory);
    return {Reason::None, screen};
}

} // namespace mok::picture
