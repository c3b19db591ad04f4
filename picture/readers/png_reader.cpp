#include "png_reader.h"

#include "load_limits.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <optional>

namespace mok::picture {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t be32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// What the chunk headers say, walked before libpng sees a byte.
struct PngScan {
    PixelSize size;
    int bitsPerPixel = 0;
    std::int64_t idatBytes = 0;
};

int bitsPerPixel(int depth, int colourType)
{
    switch (colourType) {
    case 0:
    case 3:
        return depth;
    case 2:
        return 3 * depth;
    case 4:
        return 2 * depth;
    case 6:
        return 4 * depth;
    default:
        return 0;
    }
}

// Walks the chunks up to the end marker; nothing when the file stops being
// a PNG before its header.
std::optional<PngScan> scanChunks(Source &file)
{
    PngScan scan;
    if (!file.seek(0))
        return std::nullopt;
    const std::vector<std::uint8_t> signature = file.read(8);
    if (signature.size() != 8 || std::memcmp(signature.data(), kSignature, 8) != 0)
        return std::nullopt;
    bool headerSeen = false;
    while (!file.atEnd()) {
        const std::vector<std::uint8_t> head = file.read(8);
        if (head.size() < 8)
            break; // cut inside a chunk header: libpng will say what is missing
        const std::int64_t length = be32(head.data());
        if (length > 0x7FFFFFFF)
            return std::nullopt;
        const char *type = reinterpret_cast<const char *>(head.data()) + 4;
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13) {
            const std::vector<std::uint8_t> body = file.read(13);
            if (body.size() < 13)
                break;
            scan.size = {int(std::min<std::uint32_t>(be32(body.data()), 0x7FFFFFFF)),
                         int(std::min<std::uint32_t>(be32(body.data() + 4), 0x7FFFFFFF))};
            scan.bitsPerPixel = bitsPerPixel(body[8], body[9]);
            headerSeen = true;
            if (!file.seek(std::min(file.pos() + length - 13 + 4, file.size())))
                break;
            continue;
        }
        if (std::memcmp(type, "IDAT", 4) == 0)
            scan.idatBytes += std::min(length, file.size() - file.pos());
        if (std::memcmp(type, "IEND", 4) == 0)
            break;
        if (!file.seek(std::min(file.pos() + length + 4, file.size())))
            break;
    }
    if (!headerSeen)
        return std::nullopt;
    return scan;
}

// Deflate never packs more than 1032 bytes into one; the filtered rows of a
// complete picture need at least this much compressed data.
bool idatCanHold(const PngScan &scan)
{
    const std::optional<std::int64_t> bits = checkedProduct(scan.size.width, scan.bitsPerPixel);
    if (!bits)
        return false;
    const std::optional<std::int64_t> raw = checkedProduct(1 + (*bits + 7) / 8, scan.size.height);
    return raw && scan.idatBytes * 1032 + 64 >= *raw;
}

// Everything libpng's callbacks reach, off the stack so that it survives
// the longjmp out of an error.
struct PngSession {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Source *file = nullptr;
    Reason why = Reason::Broken;

    ~PngSession() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

PngSession &sessionOf(png_structp png)
{
    return *static_cast<PngSession *>(png_get_error_ptr(png));
}

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    // libpng says it ran out of memory only in words.
    if (message && std::strstr(message, "memory"))
        sessionOf(png).why = Reason::OutOfMemory;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep into, png_size_t count)
{
    PngSession &s = *static_cast<PngSession *>(png_get_io_ptr(png));
    const std::int64_t got = s.file->read(into, std::int64_t(count));
    if (got != std::int64_t(count)) {
        s.why = got < 0 ? Reason::ReadFailed : Reason::Broken;
        png_longjmp(png, 1);
    }
}

// Known chunks that do not decide the pixels. libpng would inflate text
// and colour profiles however large they are; as unknown chunks they are
// skipped unread, like every chunk libpng does not know.
constexpr png_byte kSkipped[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";

// Every format to 8-bit blue, green, red, alpha in memory: an Rgb.
void requestRgb(png_structp png, png_infop info)
{
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png); // palettes, low-bit grey and tRNS
    png_set_scale_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
}

// A row as libpng gave it, alpha laid over black.
void composeOverBlack(Rgb *row, int width)
{
    for (int x = 0; x < width; ++x)
        row[x] = overBlack(row[x]);
}

// Rows straight into the sink, one decoded at a time.
bool readRows(PngSession &s, PixelSize size, bool alpha, RowSink &sink)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    for (int y = 0; y < size.height; ++y) {
        Rgb *row = sink.nextRow();
        png_read_row(s.png, reinterpret_cast<png_bytep>(row), nullptr);
        if (alpha)
            composeOverBlack(row, size.width);
        sink.rowDone();
    }
    return true;
}

// An interlaced picture's passes each cover the whole picture, so it is
// decoded whole before its rows go on.
bool readInterlaced(PngSession &s, int passes, Image &whole)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < whole.height(); ++y)
            png_read_row(s.png, reinterpret_cast<png_bytep>(whole.row(y)), nullptr);
    }
    return true;
}

} // namespace

ReadResult readPng(Source &file, PreviewTarget &target)
{
    const std::optional<PngScan> scan = scanChunks(file);
    if (!scan || scan->size.isEmpty())
        return refused(Reason::Broken);
    if (exceedsPixelLimit(scan->size))
        return refused(Reason::TooLarge, scan->size);
    if (!idatCanHold(*scan))
        return refused(Reason::Broken);
    const PixelSize preview = target.previewSize(scan->size);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, scan->size);
    if (!file.seek(0))
        return refused(Reason::ReadFailed);

    auto s = std::make_unique<PngSession>();
    s->file = &file;
    s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s.get(), onError, onWarning);
    if (!s->png)
        return refused(Reason::OutOfMemory);
    s->info = png_create_info_struct(s->png);
    if (!s->info)
        return refused(Reason::OutOfMemory);
    if (setjmp(png_jmpbuf(s->png)))
        return refused(s->why);
    png_set_read_fn(s->png, s.get(), onRead);
    png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof kSkipped / 5));
    // The scan above has held the size against the limits; libpng's own
    // limit on a side is larger than any we let through.
    png_set_user_limits(s->png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(s->png, s->info);
    const PixelSize size{int(png_get_image_width(s->png, s->info)),
                         int(png_get_image_height(s->png, s->info))};
    if (size != scan->size)
        return refused(Reason::Broken);
    const int colourType = png_get_color_type(s->png, s->info);
    const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 ||
                       png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
    requestRgb(s->png, s->info);
    const int passes = png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    if (png_get_rowbytes(s->png, s->info) != std::size_t(size.width) * 4)
        return refused(Reason::Broken);

    if (passes > 1) {
        if (exceedsDecodeLimit(size))
            return refused(Reason::TooLarge, size);
        Image whole = Image::allocate(size);
        if (whole.isNull())
            return refused(Reason::OutOfMemory);
        if (!readInterlaced(*s, passes, whole))
            return refused(s->why);
        if (alpha)
            composeOverBlack(whole.row(0), size.width * size.height);
        if (!writePreview(whole, preview, Orientation::Upright, target.memory))
            return refused(Reason::OutOfMemory);
        return {Reason::None, size};
    }
    RowSink sink(size, preview, Orientation::Upright, target.memory);
    if (!sink.isValid())
        return refused(Reason::OutOfMemory);
    if (!readRows(*s, size, alpha, sink))
        return refused(s->why);
    if (!sink.finish())
        return refused(Reason::OutOfMemory);
    return {Reason::None, size};
}

} // namespace mok::picture
