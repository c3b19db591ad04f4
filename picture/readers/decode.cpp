#include "decode.h"

#include "bmp_reader.h"
#include "gif_reader.h"
#include "heif_reader.h"
#include "jpeg_reader.h"
#include "png_reader.h"
#include "preview_size.h"
#include "webp_reader.h"

#include <cstring>
#include <vector>

namespace mok::picture {

namespace {

bool startsWith(const std::uint8_t *head, std::size_t size, const char *magic)
{
    const std::size_t n = std::strlen(magic);
    return size >= n && std::memcmp(head, magic, n) == 0;
}

Reader readerFor(Format format)
{
    switch (format) {
    case Format::Jpeg:
        return readJpeg;
    case Format::Gif:
        return readGif;
    case Format::Bmp:
        return readBmp;
    case Format::Png:
        return readPng;
    case Format::Webp:
        return readWebp;
    case Format::Heif:
        return readHeif;
    case Format::Unknown:
        break;
    }
    return nullptr;
}

} // namespace

Format formatOf(const std::uint8_t *head, std::size_t size)
{
    if (startsWith(head, size, "\xFF\xD8"))
        return Format::Jpeg;
    if (startsWith(head, size, "GIF87a") || startsWith(head, size, "GIF89a"))
        return Format::Gif;
    if (startsWith(head, size, "BM"))
        return Format::Bmp;
    if (startsWith(head, size, "\x89PNG\r\n\x1A\n"))
        return Format::Png;
    if (isWebpFile(head, size))
        return Format::Webp;
    if (isHeifFile(head, size))
        return Format::Heif;
    return Format::Unknown;
}

void prepareReader(Format format)
{
    if (format == Format::Heif)
        prepareHeif();
}

DecodeOutcome decodePicture(Source &file, const Screen &screen, double devicePixelRatio,
                            PreviewMemory &memory)
{
    DecodeOutcome outcome;
    file.seek(0);
    const std::vector<std::uint8_t> head = file.read(kFormatHeadBytes);
    const Reader read = readerFor(formatOf(head.data(), head.size()));
    if (!read) {
        outcome.reason = Reason::NotAPicture;
        return outcome;
    }
    PreviewTarget target{[&](PixelSize full) {
                             const PreviewGeometry g =
                                 previewGeometry(full, screen, devicePixelRatio);
                             outcome.divisor = g.divisor;
                             outcome.preview = g.size;
                             return g.size;
                         },
                         memory};
    const ReadResult result = read(file, target);
    outcome.reason = result.reason;
    outcome.size = result.size;
    return outcome;
}

} // namespace mok::picture
