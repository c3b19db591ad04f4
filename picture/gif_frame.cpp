#include "gif_frame.h"

#include "load_limits.h"

#include <array>
#include <vector>

namespace mok::picture {

namespace {

// Reads the file a byte at a time through a buffer; 0 past the end.
class ByteSource {
public:
    explicit ByteSource(QIODevice &device) : m_device(device) {}

    bool atEnd()
    {
        refill();
        return m_at >= m_buffer.size();
    }
    int next()
    {
        refill();
        return m_at < m_buffer.size() ? uchar(m_buffer[m_at++]) : 0;
    }
    int next16()
    {
        const int low = next();
        return low | (next() << 8);
    }
    void skip(qint64 count)
    {
        while (count-- > 0 && !atEnd())
            ++m_at;
    }

private:
    void refill()
    {
        if (m_at < m_buffer.size())
            return;
        m_buffer = m_device.read(64 * 1024);
        m_at = 0;
    }

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_at = 0;
};

void skipColourTable(ByteSource &in, int packed)
{
    if (packed & 0x80)
        in.skip(3 * (qint64(2) << (packed & 7)));
}

void skipSubBlocks(ByteSource &in)
{
    for (int size = in.next(); size != 0 && !in.atEnd(); size = in.next())
        in.skip(size);
}

// Counts the pixels the LZW data yields, stopping at `wanted`, at the end
// code, at an impossible code or where the data runs out.
qint64 countLzwPixels(ByteSource &in, int minCodeSize, qint64 wanted)
{
    if (minCodeSize < 1 || minCodeSize > 11)
        return 0;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::vector<quint16> length(4096, 1);
    int codeSize = minCodeSize + 1;
    int next = end + 1;
    int previous = -1;
    qint64 pixels = 0;
    quint32 bits = 0;
    int bitCount = 0;
    for (int block = in.next(); block != 0 && !in.atEnd(); block = in.next()) {
        for (int i = 0; i < block; ++i) {
            bits |= quint32(in.next()) << bitCount;
            bitCount += 8;
            while (bitCount >= codeSize) {
                const int code = int(bits & ((1u << codeSize) - 1));
                bits >>= codeSize;
                bitCount -= codeSize;
                if (code == clear) {
                    codeSize = minCodeSize + 1;
                    next = end + 1;
                    previous = -1;
                    continue;
                }
                if (code == end || code > next || (code == next && previous < 0))
                    return pixels;
                if (previous >= 0 && next < 4096) {
                    length[next] = quint16(length[previous] + 1);
                    ++next;
                    if (next == (1 << codeSize) && codeSize < 12)
                        ++codeSize;
                }
                pixels += code < clear ? 1 : length[code];
                previous = code;
                if (pixels >= wanted)
                    return pixels;
            }
        }
    }
    return pixels;
}

} // namespace

bool GifFirstFrame::complete() const
{
    const std::optional<qint64> area = pixelCount(frame);
    return area && *area > 0 && pixelsInData >= *area;
}

bool GifFirstFrame::mostlyEmptyScreen() const
{
    const qint64 screenArea = pixelCount(screen).value_or(0);
    const qint64 frameArea = pixelCount(frame).value_or(0);
    return screenArea > (qint64(1) << 22) && frameArea * 4 < screenArea;
}

std::optional<GifFirstFrame> readGifFirstFrame(QIODevice &device)
{
    if (!device.seek(0))
        return std::nullopt;
    const QByteArray signature = device.read(6);
    if (signature != "GIF87a" && signature != "GIF89a")
        return std::nullopt;
    ByteSource in(device);
    GifFirstFrame result;
    const int screenW = in.next16();
    result.screen = QSize(screenW, in.next16());
    const int packed = in.next();
    in.skip(2); // background colour, aspect ratio
    skipColourTable(in, packed);
    while (!in.atEnd()) {
        const int introducer = in.next();
        if (introducer == 0x21) { // extension: label, then sub-blocks
            in.next();
            skipSubBlocks(in);
        } else if (introducer == 0x2C) { // image descriptor
            in.skip(4);                  // position on the screen
            const int frameW = in.next16();
            result.frame = QSize(frameW, in.next16());
            skipColourTable(in, in.next());
            const int minCodeSize = in.next();
            result.pixelsInData =
                countLzwPixels(in, minCodeSize, pixelCount(result.frame).value_or(0));
            return result;
        } else {
            break; // trailer before any image, or garbage
        }
    }
    return result; // no image: an empty frame
}

} // namespace mok::picture
