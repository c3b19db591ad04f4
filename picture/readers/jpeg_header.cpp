#include "jpeg_header.h"

#include "load_limits.h"

#include <algorithm>
#include <cstring>

namespace mok::picture {

namespace {

bool isFrameHeader(int marker)
{
    return (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) ||
           marker == 0xF7; // JPEG-LS
}

Orientation fromExif(int value)
{
    return value >= 1 && value <= 8 ? Orientation(value) : Orientation::Upright;
}

std::uint32_t read16(const std::uint8_t *p, bool bigEndian)
{
    return bigEndian ? std::uint32_t(p[0] << 8 | p[1]) : std::uint32_t(p[1] << 8 | p[0]);
}

std::uint32_t read32(const std::uint8_t *p, bool bigEndian)
{
    return bigEndian ? read16(p, true) << 16 | read16(p + 2, true)
                     : read16(p + 2, false) << 16 | read16(p, false);
}

void readFrame(const std::vector<std::uint8_t> &sof, int marker, JpegHeader &header)
{
    const std::uint8_t *p = sof.data();
    header.frameMarker = marker;
    header.precision = p[0];
    header.height = int(read16(p + 1, true));
    header.width = int(read16(p + 3, true));
    header.components = p[5];
    for (int c = 0; c < header.components && std::size_t(6 + 3 * c + 2) < sof.size(); ++c) {
        const int sampling = p[6 + 3 * c + 1];
        header.maxHSampling = std::max(header.maxHSampling, std::clamp(sampling >> 4, 1, 4));
        header.maxVSampling = std::max(header.maxVSampling, std::clamp(sampling & 15, 1, 4));
    }
}

} // namespace

bool JpegHeader::plausible() const
{
    switch (frameMarker) {
    case 0xC0: // baseline
        return precision == 8;
    case 0xC1: // extended, progressive, and their hierarchical and arithmetic kin
    case 0xC2:
    case 0xC5:
    case 0xC6:
    case 0xC9:
    case 0xCA:
    case 0xCD:
    case 0xCE:
        return precision == 8 || precision == 12;
    case 0xC3: // lossless
    case 0xC7:
    case 0xCB:
    case 0xCF:
    case 0xF7:
        return precision >= 2 && precision <= 16;
    default:
        return false;
    }
}

bool JpegHeader::decodable() const
{
    const bool process = frameMarker == 0xC0 || frameMarker == 0xC1 || frameMarker == 0xC2 ||
                         frameMarker == 0xC9 || frameMarker == 0xCA;
    return process && precision == 8 && height > 0;
}

std::int64_t JpegHeader::minimumCodedUnits() const
{
    const std::int64_t unitW = 8 * maxHSampling;
    const std::int64_t unitH = 8 * maxVSampling;
    return ((width + unitW - 1) / unitW) * ((height + unitH - 1) / unitH);
}

namespace {

bool startsWithExifMark(const std::vector<std::uint8_t> &bytes)
{
    return bytes.size() >= 6 && std::memcmp(bytes.data(), "Exif\0\0", 6) == 0;
}

} // namespace

Orientation exifOrientation(const std::vector<std::uint8_t> &exif)
{
    // "Exif\0\0", then a TIFF header: byte order, 42, offset of the first IFD.
    if (exif.size() < 14 || !startsWithExifMark(exif))
        return Orientation::Upright;
    const std::uint8_t *tiff = exif.data() + 6;
    const std::int64_t size = std::int64_t(exif.size()) - 6;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return Orientation::Upright;
    if (read16(tiff + 2, big) != 42)
        return Orientation::Upright;
    const std::int64_t ifd = read32(tiff + 4, big);
    if (ifd < 8 || ifd + 2 > size)
        return Orientation::Upright;
    const int entries = int(read16(tiff + ifd, big));
    for (int i = 0; i < entries; ++i) {
        const std::int64_t at = ifd + 2 + 12 * std::int64_t(i);
        if (at + 12 > size)
            break;
        const std::uint8_t *entry = tiff + at;
        if (read16(entry, big) != 0x0112) // Orientation
            continue;
        if (read16(entry + 2, big) != 3 || read32(entry + 4, big) != 1) // one SHORT
            return Orientation::Upright;
        return fromExif(int(read16(entry + 8, big)));
    }
    return Orientation::Upright;
}

std::optional<JpegHeader> readJpegHeader(Source &file)
{
    if (!file.seek(0) || file.getByte() != 0xFF || file.getByte() != 0xD8)
        return std::nullopt;
    JpegHeader header;
    bool exifSeen = false;
    // However many segments come first, only so many bytes of them are
    // walked: a comment may be split into as many segments as it likes.
    while (file.pos() < kMaxJpegHeaderBytes) {
        if (file.getByte() != 0xFF)
            return std::nullopt;
        int marker = 0;
        do {
            marker = file.getByte();
            if (marker < 0)
                return std::nullopt;
        } while (marker == 0xFF); // fill bytes
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a length
        if (marker == 0xD9 || marker == 0xDA)
            return std::nullopt; // end of image, or a scan before any frame header
        const std::vector<std::uint8_t> lengthBytes = file.read(2);
        if (lengthBytes.size() != 2)
            return std::nullopt;
        const int length = int(read16(lengthBytes.data(), true));
        if (length < 2)
            return std::nullopt;
        if (isFrameHeader(marker)) {
            const std::vector<std::uint8_t> sof =
                file.read(std::size_t(std::min(length - 2, 6 + 3 * 4)));
            if (sof.size() < 6)
                return std::nullopt;
            readFrame(sof, marker, header);
            return header;
        }
        if (marker == 0xE1 && !exifSeen) {
            // Only the first Exif block counts; a segment is at most 64 KB.
            const std::vector<std::uint8_t> body = file.read(std::size_t(length - 2));
            if (startsWithExifMark(body)) {
                header.orientation = exifOrientation(body);
                exifSeen = true;
            }
            continue;
        }
        if (!file.seek(file.pos() + length - 2))
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace mok::picture
