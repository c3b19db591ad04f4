#include "decode.h"

#include "bmp_reader.h"
#include "gif_reader.h"
#include "heif_reader.h"
#include "jpeg_reader.h"
#include "png_reader.h"
#include "preview_size.h"
#include "webp_reader.h"

#include <string>
#include <vector>

namespace mok::picture {

namespace {

bool startsWith(const std::uint8_t *head, std::size_t size, const std::string &signature)
{
    if (size < signature.size())
        return false;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        if (signature[i] != '?' && std::uint8_t(signature[i]) != head[i])
            return false;
    }
    return true;
}

bool isOf(const PictureFormat &format, const std::uint8_t *head, std::size_t size)
{
    for (const std::string &signature : format.signatures) {
        if (startsWith(head, size, signature))
            return true;
    }
    return !format.brands.empty() && claimsBrand(head, size, format.brands);
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
    for (const PictureFormat &format : pictureFormats()) {
        if (isOf(format, head, size))
            return format.reader;
    }
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
