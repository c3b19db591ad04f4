#include "heif_reader.h"

#include "hevc_decoder.h"
#include "load_limits.h"
#include "shared_library.h"
#include "threads.h"

#include <libheif/heif.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mok::picture {

namespace {

// libheif is opened when a picture needs it (in the decoding helper, before
// its fences), not when the helper starts: with the codecs it brings (x265,
// libaom, dav1d, libde265) it would be megabytes of every waiting helper's
// memory and milliseconds of its start, for a format most games never open.
#define MOK_HEIF_FUNCTIONS(X)                                                                      \
    X(heif_init)                                                                                   \
    X(heif_get_version_number)                                                                     \
    X(heif_have_decoder_for_format)                                                                \
    X(heif_context_alloc)                                                                          \
    X(heif_context_free)                                                                           \
    X(heif_context_set_maximum_image_size_limit)                                                   \
    X(heif_context_set_max_decoding_threads)                                                       \
    X(heif_context_read_from_memory_without_copy)                                                  \
    X(heif_context_get_primary_image_handle)                                                       \
    X(heif_context_get_image_handle)                                                               \
    X(heif_image_handle_release)                                                                   \
    X(heif_image_handle_get_width)                                                                 \
    X(heif_image_handle_get_height)                                                                \
    X(heif_image_handle_has_alpha_channel)                                                         \
    X(heif_image_handle_get_luma_bits_per_pixel)                                                   \
    X(heif_image_handle_get_chroma_bits_per_pixel)                                                 \
    X(heif_decoding_options_alloc)                                                                 \
    X(heif_decoding_options_free)                                                                  \
    X(heif_decode_image)                                                                           \
    X(heif_image_release)                                                                          \
    X(heif_image_get_primary_width)                                                                \
    X(heif_image_get_primary_height)                                                               \
    X(heif_image_get_plane_readonly)                                                               \
    X(heif_image_get_bits_per_pixel)                                                               \
    X(heif_image_is_premultiplied_alpha)                                                           \
    X(heif_image_create)                                                                           \
    X(heif_image_add_plane)                                                                        \
    X(heif_image_get_plane)                                                                        \
    X(heif_register_decoder_plugin)

struct Libheif {
#define MOK_HEIF_POINTER(name) decltype(&::name) name = nullptr;
    MOK_HEIF_FUNCTIONS(MOK_HEIF_POINTER)
#undef MOK_HEIF_POINTER
};

// Set once by prepareHeif(); null when libheif is not installed.
const Libheif *heif = nullptr;
// Whether HEVC is decoded by our decoder with worker threads (hevc_decoder.h).
bool threadedHevc = false;

const Libheif *openLibheif()
{
    static Libheif functions;
    const bool opened = openLibrary("libheif.so.1", [](auto find) {
#define MOK_HEIF_FIND(name) find(functions.name, #name);
        MOK_HEIF_FUNCTIONS(MOK_HEIF_FIND)
#undef MOK_HEIF_FIND
    });
    if (!opened)
        return nullptr;
    // Registers the built-in decoders and loads any plug-ins it finds in its
    // folder (or LIBHEIF_PLUGIN_PATH). Never undone: the decoders stay ready
    // for the life of the process.
    functions.heif_init(nullptr);
    // Decoders are built for the calls of one libheif: ours only goes in
    // beside the libheif it was built with.
    const HeifImageFunctions images{functions.heif_image_create, functions.heif_image_add_plane,
                                    functions.heif_image_get_plane, functions.heif_image_release};
    const bool builtWith =
        functions.heif_get_version_number() >> 16 == LIBHEIF_NUMERIC_VERSION >> 16;
    if (const heif_decoder_plugin *hevc = builtWith ? openThreadedHevcDecoder(images) : nullptr)
        threadedHevc = functions.heif_register_decoder_plugin(hevc).code == heif_error_Ok;
    return &functions;
}

// Of the brands HEIF and AVIF are recognised by (formats.cpp), those of
// the sequences (moving pictures) that may carry a still one beside them.
constexpr const char *kSequenceBrands[] = {"hevc", "hevx", "hevm", "hevs", "msf1", "avis"};

// The file's bytes, as far as they go.
struct Bytes {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};

using FourCc = std::string;

FourCc fourCcAt(Bytes bytes, std::size_t at)
{
    return FourCc(reinterpret_cast<const char *>(bytes.data) + at, 4);
}

template <std::size_t N> bool isOneOf(const FourCc &brand, const char *const (&list)[N])
{
    return std::any_of(std::begin(list), std::end(list),
                       [&](const char *b) { return brand == FourCc(b, 4); });
}

std::uint32_t be32(Bytes data, std::size_t at)
{
    const std::uint8_t *p = data.data + at;
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint32_t be16(Bytes data, std::size_t at)
{
    return std::uint32_t(data.data[at]) << 8 | data.data[at + 1];
}

// An item number, 16 or 32 bits wide.
std::uint32_t idAt(Bytes data, std::size_t at, bool wide)
{
    return wide ? be32(data, at) : be16(data, at);
}

struct Box {
    FourCc type;
    std::size_t body = 0; // where the content starts, after the header
    std::size_t end = 0;  // one past its last byte, within the data
};

// The box at `at`, its end clipped to the data; nothing when no header fits.
std::optional<Box> boxAt(Bytes data, std::size_t at)
{
    if (at + 8 > data.size)
        return std::nullopt;
    Box box;
    box.type = fourCcAt(data, at + 4);
    std::uint64_t size = be32(data, at);
    box.body = at + 8;
    if (size == 1) {
        if (at + 16 > data.size)
            return std::nullopt;
        size = std::uint64_t(be32(data, at + 8)) << 32 | be32(data, at + 12);
        box.body = at + 16;
    } else if (size == 0) {
        size = data.size - at;
    }
    if (size < box.body - at)
        return std::nullopt;
    box.end = size > data.size - at ? data.size : at + std::size_t(size);
    return box;
}

// The brands a file claims, major first; empty when it starts with no
// file type box.
std::vector<FourCc> brandsOf(Bytes data)
{
    std::vector<FourCc> brands;
    const std::optional<Box> ftyp = boxAt(data, 0);
    if (!ftyp || ftyp->type != "ftyp")
        return brands;
    for (std::size_t at = ftyp->body; at + 4 <= ftyp->end; at += 4) {
        if (at == ftyp->body + 4)
            continue; // the minor version
        brands.push_back(fourCcAt(data, at));
    }
    return brands;
}

// The top-level meta box, where every still picture of the file is listed.
std::optional<Box> metaBox(Bytes data)
{
    for (std::size_t at = 0;;) {
        const std::optional<Box> box = boxAt(data, at);
        if (!box || box->end <= at)
            return std::nullopt;
        if (box->type == "meta")
            return box;
        at = box->end;
    }
}

// The first box of this type among those from `begin` to `end`.
std::optional<Box> childBox(Bytes data, std::size_t begin, std::size_t end, const char *type)
{
    for (std::size_t at = begin; at < end;) {
        const std::optional<Box> box = boxAt(data, at);
        if (!box || box->end <= at || box->end > end)
            return std::nullopt;
        if (box->type == type)
            return box;
        at = box->end;
    }
    return std::nullopt;
}

// A box of the top-level meta box, after its version and flags.
std::optional<Box> metaChild(Bytes data, const char *type)
{
    const std::optional<Box> meta = metaBox(data);
    if (!meta || meta->body + 4 > meta->end)
        return std::nullopt;
    return childBox(data, meta->body + 4, meta->end, type);
}

// One item the file lists: its number, its type ("hvc1", "av01", "grid",
// "Exif", ...) and the byte of its flags that holds the bit hiding it.
struct Item {
    std::uint32_t id = 0;
    FourCc type;
    std::size_t hiddenAt = 0;
};

// Every item of the file's item information box; empty when it has none.
std::vector<Item> itemsOf(Bytes data)
{
    std::vector<Item> items;
    const std::optional<Box> iinf = metaChild(data, "iinf");
    if (!iinf || iinf->body + 8 > iinf->end)
        return items;
    // after version and flags, then a 16-bit count in version 0, 32-bit after
    for (std::size_t at = iinf->body + (data.data[iinf->body] == 0 ? 6 : 8); at < iinf->end;) {
        const std::optional<Box> infe = childBox(data, at, iinf->end, "infe");
        if (!infe)
            break;
        // version 2 and 3: version and flags, the item's number (16 or 32
        // bits), its protection index, then its type
        const int version = data.data[infe->body];
        const bool wide = version == 3;
        const std::size_t typeAt = infe->body + 4 + (wide ? 4 : 2) + 2;
        if (version >= 2 && typeAt + 4 <= infe->end)
            items.push_back(
                {idAt(data, infe->body + 4, wide), fourCcAt(data, typeAt), infe->body + 3});
        at = infe->end;
    }
    return items;
}

// The item the file shows first, from its primary item box.
std::optional<std::uint32_t> primaryItem(Bytes data)
{
    const std::optional<Box> pitm = metaChild(data, "pitm");
    if (!pitm || pitm->body + 4 >= pitm->end)
        return std::nullopt;
    const bool wide = data.data[pitm->body] != 0;
    if (pitm->body + 4 + (wide ? 4 : 2) > pitm->end)
        return std::nullopt;
    return idAt(data, pitm->body + 4, wide);
}

// The items `from` refers to by references of `type`, in order.
std::vector<std::uint32_t> referencedBy(Bytes data, std::uint32_t from, const char *type)
{
    const std::optional<Box> iref = metaChild(data, "iref");
    if (!iref || iref->body + 4 > iref->end)
        return {};
    const bool wide = data.data[iref->body] != 0;
    const std::size_t idBytes = wide ? 4 : 2;
    for (std::size_t at = iref->body + 4; at < iref->end;) {
        const std::optional<Box> box = boxAt(data, at);
        if (!box || box->end <= at || box->end > iref->end)
            break;
        at = box->end;
        if (box->type != type || box->body + idBytes + 2 > box->end ||
            idAt(data, box->body, wide) != from)
            continue;
        const std::size_t count = be16(data, box->body + idBytes);
        const std::size_t first = box->body + idBytes + 2;
        if (count == 0 || (box->end - first) / idBytes < count)
            return {};
        std::vector<std::uint32_t> ids(count);
        for (std::size_t i = 0; i < count; ++i)
            ids[i] = idAt(data, first + i * idBytes, wide);
        return ids;
    }
    return {};
}

// Whether any picture of the file carries a property of this type.
bool hasProperty(Bytes data, const char *type)
{
    const std::optional<Box> iprp = metaChild(data, "iprp");
    const std::optional<Box> ipco =
        iprp ? childBox(data, iprp->body, iprp->end, "ipco") : std::nullopt;
    return ipco && childBox(data, ipco->body, ipco->end, type);
}

// The tiles of the primary picture, in rows from the top, when it is a grid
// of coded pictures shown as they are put together (not turned, mirrored or
// cropped); nothing otherwise.
std::optional<std::vector<Item>> plainGridTiles(Bytes data)
{
    const std::optional<std::uint32_t> primary = primaryItem(data);
    const std::vector<Item> items = itemsOf(data);
    const auto item = [&](std::uint32_t id) {
        return std::find_if(items.begin(), items.end(), [&](const Item &i) { return i.id == id; });
    };
    if (!primary || item(*primary) == items.end() || item(*primary)->type != "grid" ||
        hasProperty(data, "irot") || hasProperty(data, "imir") || hasProperty(data, "clap"))
        return std::nullopt;
    std::vector<Item> tiles;
    for (const std::uint32_t id : referencedBy(data, *primary, "dimg")) {
        const auto tile = item(id);
        if (tile == items.end() || tile->type == "grid" || tile->type == "iovl")
            return std::nullopt;
        tiles.push_back(*tile);
    }
    if (tiles.empty())
        return std::nullopt;
    return tiles;
}

// Whether a picture of the file is coded in a way no installed decoder
// reads: a compression libheif knows but has no decoder for here, or one it
// does not know at all. libheif says so itself for some, and for others
// only that the picture is missing parts.
bool lacksDecoder(Bytes data)
{
    const std::pair<const char *, heif_compression_format> codecs[] = {
        {"hvc1", heif_compression_HEVC},    {"av01", heif_compression_AV1},
        {"avc1", heif_compression_AVC},     {"jpeg", heif_compression_JPEG},
        {"vvc1", heif_compression_VVC},     {"evc1", heif_compression_EVC},
        {"j2k1", heif_compression_JPEG2000}};
    // Pictures made of others, and metadata.
    const char *const uncoded[] = {"grid", "iovl", "iden", "Exif", "mime", "uri "};
    const std::vector<Item> items = itemsOf(data);
    return std::any_of(items.begin(), items.end(), [&](const Item &item) {
        const FourCc &type = item.type;
        if (isOneOf(type, uncoded))
            return false;
        for (const auto &[name, format] : codecs) {
            if (type == name)
                return !heif->heif_have_decoder_for_format(format);
        }
        return true;
    });
}

// The largest picture size the file's spatial extent properties declare:
// what libheif refused when it said a picture is too large.
PixelSize largestDeclaredSize(Bytes data)
{
    const std::optional<Box> meta = metaBox(data);
    PixelSize largest;
    if (!meta)
        return largest;
    std::uint64_t most = 0;
    for (std::size_t at = meta->body; at + 16 <= meta->end; ++at) {
        if (std::memcmp(data.data + at, "ispe", 4) != 0)
            continue;
        // type, then version and flags, then width and height
        const std::uint32_t w = be32(data, at + 8);
        const std::uint32_t h = be32(data, at + 12);
        if (std::uint64_t(w) * h >= most) {
            most = std::uint64_t(w) * h;
            largest = {int(std::min<std::uint32_t>(w, INT_MAX)),
                       int(std::min<std::uint32_t>(h, INT_MAX))};
        }
    }
    return largest;
}

ReadResult reasonFor(const heif_error &error, Bytes data)
{
    switch (error.code) {
    case heif_error_Ok:
        return {};
    case heif_error_Memory_allocation_error:
        if (error.subcode == heif_suberror_Security_limit_exceeded) {
            // libheif's limits hold the picture's size, but also the data of
            // one item, the count of extents, properties and references: a
            // file past those is built wrong, not a large picture.
            const PixelSize declared = largestDeclaredSize(data);
            const bool tooLarge = declared.width > kMaxHeifSide || declared.height > kMaxHeifSide ||
                                  exceedsPixelLimit(declared);
            return tooLarge ? refused(Reason::TooLarge, declared) : refused(Reason::Broken);
        }
        return refused(Reason::OutOfMemory);
    case heif_error_Unsupported_feature:
        // Every conversion asked for here is one libheif has; it says it has
        // none when the memory for one could not be had.
        if (error.subcode == heif_suberror_Unsupported_color_conversion)
            return refused(Reason::OutOfMemory);
        // A compression (JPEG 2000, VVC, ...) or kind of picture for which
        // no decoder is installed; libheif says which in English only.
        return refused(Reason::CodecMissing);
    default:
        return refused(Reason::Broken);
    }
}

// libheif tells of a compression it has no decoder for at different steps,
// by its version and by which libheif wrote the file. 1.23 (Debian 13)
// fails to give the primary picture's handle, or to decode it, as invalid
// input naming a missing box ("No 'av1C' box" for a VVC item, "No j2kH box
// found" for a JPEG 2000 one); 1.15 (Debian 12) may fail the read itself,
// as invalid input ("'pitm' box references a non-existing image", the item
// it skipped). So invalid input at any step asks the file itself before
// calling the picture broken.
ReadResult reasonForInvalid(const heif_error &error, Bytes data)
{
    if (error.code == heif_error_Invalid_input && lacksDecoder(data))
        return refused(Reason::CodecMissing);
    return reasonFor(error, data);
}

struct ContextFree {
    void operator()(heif_context *c) const { heif->heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle *h) const { heif->heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image *i) const { heif->heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options *o) const { heif->heif_decoding_options_free(o); }
};

using HandlePtr = std::unique_ptr<heif_image_handle, HandleFree>;
using ImagePtr = std::unique_ptr<heif_image, ImageFree>;

// Why a picture of the file could not be decoded.
ReadResult decodeFailure(const heif_error &error, const heif_image_handle *handle, Bytes data)
{
    // A luma and chroma of different depths is valid, but libheif reads it
    // as a colour conversion it does not have.
    const int chromaBits = heif->heif_image_handle_get_chroma_bits_per_pixel(handle);
    if (lacksDecoder(data) ||
        (chromaBits > 0 && chromaBits != heif->heif_image_handle_get_luma_bits_per_pixel(handle)))
        return refused(Reason::CodecMissing);
    return reasonFor(error, data);
}

// Decodes a picture of the file to interleaved 8-bit rows: straight to the
// 8 bits the preview shows, whatever depth it is coded at. Of the
// conversions libheif offers, this one keeps the fewest bytes while it
// converts (a deep picture to 8-bit YCbCr takes more).
heif_error decodeRgb(const heif_image_handle *handle, bool alpha, ImagePtr &image)
{
    std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif->heif_decoding_options_alloc());
    if (!options)
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, ""};
    options->convert_hdr_to_8bit = 1; // rotation, mirror and crop stay applied
    heif_image *raw = nullptr;
    const heif_error error = heif->heif_decode_image(
        handle, &raw, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    image.reset(raw);
    return error;
}

// The interleaved plane of a picture decodeRgb() gave, checked to be what
// was asked for at `size`.
const uint8_t *rgbPlane(const heif_image *image, bool alpha, PixelSize size, int &stride)
{
    if (heif->heif_image_get_primary_width(image) != size.width ||
        heif->heif_image_get_primary_height(image) != size.height ||
        heif->heif_image_get_bits_per_pixel(image, heif_channel_interleaved) != (alpha ? 32 : 24))
        return nullptr;
    return heif->heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
}

// One of libheif's interleaved 8-bit rows as opaque pixels, alpha composed
// over black as for every other format.
void convertRow(const uint8_t *in, Rgb *out, int width, bool alpha, bool premultiplied)
{
    if (!alpha) {
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = rgb(in[0], in[1], in[2]);
    } else if (premultiplied) {
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = rgb(in[0], in[1], in[2]);
    } else {
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = overBlack(argb(in[3], in[0], in[1], in[2]));
    }
}

// The threads the file's decoders must start: libheif's AV1 decoder one for
// each processor it may run on (as dav1d counts them), libheif's own HEVC
// decoder one worker. Ours needs none: it decodes on this thread where its
// workers cannot start.
unsigned decoderThreads(Bytes data)
{
    const std::vector<Item> items = itemsOf(data);
    const bool av1 = std::any_of(items.begin(), items.end(),
                                 [](const Item &item) { return item.type == "av01"; });
    if (!av1)
        return threadedHevc ? 0 : 1;
    return unsigned(std::max(1, processorsToRunOn()));
}

// A grid put together tile by tile: a row of tiles decoded at a time and
// its rows passed on, so the grid is never held whole at any depth.
// Nothing when the tiles do not make a plain grid, which libheif then
// decodes whole.
std::optional<ReadResult> readTiles(heif_context *context, const std::vector<Item> &items,
                                    PixelSize full, PixelSize preview, Bytes data,
                                    PreviewMemory &memory)
{
    std::vector<HandlePtr> tiles;
    for (const Item &item : items) {
        heif_image_handle *raw = nullptr;
        const heif_error error = heif->heif_context_get_image_handle(context, item.id, &raw);
        tiles.emplace_back(raw);
        if (error.code != heif_error_Ok || !raw)
            return std::nullopt;
    }
    const PixelSize tile{heif->heif_image_handle_get_width(tiles[0].get()),
                         heif->heif_image_handle_get_height(tiles[0].get())};
    if (tile.isEmpty())
        return refused(Reason::Broken);
    const int columns = int((std::int64_t(full.width) + tile.width - 1) / tile.width);
    const int rows = int((std::int64_t(full.height) + tile.height - 1) / tile.height);
    const bool sameSize = std::all_of(tiles.begin(), tiles.end(), [&](const HandlePtr &h) {
        return heif->heif_image_handle_get_width(h.get()) == tile.width &&
               heif->heif_image_handle_get_height(h.get()) == tile.height &&
               !heif->heif_image_handle_has_alpha_channel(h.get());
    });
    // A row of tiles decoded at 3 bytes a pixel must fit where one whole
    // picture would.
    if (!sameSize || std::int64_t(columns) * rows != std::int64_t(tiles.size()) ||
        exceedsDecodeLimit({tile.width * columns, tile.height}, 3))
        return std::nullopt;

    RowSink sink(full, preview, Orientation::Upright, memory);
    if (!sink.isValid())
        return refused(Reason::OutOfMemory);
    // The decoded tiles of one row, left to right.
    struct Decoded {
        ImagePtr image;
        const uint8_t *plane = nullptr;
        int stride = 0;
    };
    std::vector<Decoded> band(static_cast<std::size_t>(columns));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const heif_image_handle *handle = tiles[std::size_t(row * columns + column)].get();
            Decoded &decoded = band[std::size_t(column)];
            decoded.image.reset();
            if (const heif_error error = decodeRgb(handle, false, decoded.image);
                error.code != heif_error_Ok || !decoded.image)
                return decodeFailure(error, handle, data);
            decoded.plane = rgbPlane(decoded.image.get(), false, tile, decoded.stride);
            if (!decoded.plane)
                return refused(Reason::Broken);
        }
        // The last row and column of tiles may reach past the picture.
        const int height = std::min(tile.height, full.height - row * tile.height);
        for (int y = 0; y < height; ++y) {
            Rgb *out = sink.nextRow();
            for (int column = 0; column < columns; ++column) {
                const Decoded &decoded = band[std::size_t(column)];
                const int x = column * tile.width;
                convertRow(decoded.plane + std::ptrdiff_t(y) * decoded.stride, out + x,
                           std::min(tile.width, full.width - x), false, false);
            }
            sink.rowDone();
        }
    }
    if (!sink.finish())
        return refused(Reason::OutOfMemory);
    return ReadResult{Reason::None, full};
}

// The primary picture decoded whole by libheif, then passed on row by row.
ReadResult readWhole(const heif_image_handle *handle, PixelSize full, PixelSize preview, Bytes data,
                     PreviewMemory &memory)
{
    const bool alpha = heif->heif_image_handle_has_alpha_channel(handle) != 0;
    ImagePtr image;
    if (const heif_error error = decodeRgb(handle, alpha, image);
        error.code != heif_error_Ok || !image)
        return decodeFailure(error, handle, data);
    int stride = 0;
    const uint8_t *plane = rgbPlane(image.get(), alpha, full, stride);
    if (!plane)
        return refused(Reason::Broken);
    const bool premultiplied = heif->heif_image_is_premultiplied_alpha(image.get());
    RowSink sink(full, preview, Orientation::Upright, memory);
    if (!sink.isValid())
        return refused(Reason::OutOfMemory);
    for (int y = 0; y < full.height; ++y) {
        convertRow(plane + std::ptrdiff_t(y) * stride, sink.nextRow(), full.width, alpha,
                   premultiplied);
        sink.rowDone();
    }
    if (!sink.finish())
        return refused(Reason::OutOfMemory);
    return {Reason::None, full};
}

} // namespace

void prepareHeif()
{
    static std::once_flag once;
    std::call_once(once, [] { heif = openLibheif(); });
}

bool claimsBrand(const std::uint8_t *head, std::size_t size, const std::vector<std::string> &brands)
{
    const std::vector<FourCc> claimed = brandsOf({head, size});
    return std::any_of(claimed.begin(), claimed.end(), [&](const FourCc &b) {
        return std::find(brands.begin(), brands.end(), b) != brands.end();
    });
}

ReadResult readHeif(Source &file, PreviewTarget &target)
{
    // The helper's own copy: a grid's tiles are shown to libheif below.
    const MappedFile mapped(file, MappedFile::Access::CopyOnWrite);
    if (!mapped.isValid())
        return refused(Reason::ReadFailed);
    const Bytes data{mapped.data(), mapped.size()};
    if (!metaBox(data)) {
        // Nothing but tracks: a moving picture with no still one beside it.
        const std::vector<FourCc> brands = brandsOf(data);
        const bool sequence = std::any_of(brands.begin(), brands.end(), [](const FourCc &b) {
            return isOneOf(b, kSequenceBrands);
        });
        return refused(sequence ? Reason::NoStillImage : Reason::Broken);
    }

    prepareHeif();
    if (!heif)
        return refused(Reason::CodecMissing);
    // Cameras hide a grid's tiles, and libheif before 1.16 hands out only
    // the pictures a file shows: cleared here, the hidden flags let the
    // tiles be decoded one by one. Nothing else reads them.
    const std::optional<std::vector<Item>> tiles = plainGridTiles(data);
    if (tiles) {
        for (const Item &tile : *tiles)
            mapped.writableData()[tile.hiddenAt] &= ~1u;
    }
    std::unique_ptr<heif_context, ContextFree> context(heif->heif_context_alloc());
    if (!context)
        return refused(Reason::OutOfMemory);
    // libheif refuses a picture with a side this long before it reads its
    // pixels; the area checks below do the rest. A grid libheif puts
    // together is put together on this thread: the helper that decodes
    // wants as few threads as can be.
    heif->heif_context_set_maximum_image_size_limit(context.get(), kMaxHeifSide);
    heif->heif_context_set_max_decoding_threads(context.get(), 0);
    heif_error error = heif->heif_context_read_from_memory_without_copy(context.get(), data.data,
                                                                        data.size, nullptr);
    if (error.code != heif_error_Ok)
        return reasonForInvalid(error, data);

    heif_image_handle *rawHandle = nullptr;
    error = heif->heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const HandlePtr handle(rawHandle);
    if (error.code != heif_error_Ok || !handle)
        return reasonForInvalid(error, data);

    // The handle's size is the picture's as shown: cropped, and turned when
    // its rotation property says so.
    const PixelSize full{heif->heif_image_handle_get_width(handle.get()),
                         heif->heif_image_handle_get_height(handle.get())};
    if (full.isEmpty())
        return refused(Reason::Broken);
    if (exceedsPixelLimit(full) || exceedsDecodeLimit(full))
        return refused(Reason::TooLarge, full);
    const PixelSize preview = target.previewSize(full);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, full);
    if (!threadsCanStart(decoderThreads(data)))
        return refused(Reason::ThreadsRefused);
    if (threadedHevc) {
        const int workers = hevcWorkerThreads();
        useHevcWorkerThreads(threadsCanStart(unsigned(workers)) ? workers : 0);
    }

    if (tiles && !heif->heif_image_handle_has_alpha_channel(handle.get())) {
        if (const std::optional<ReadResult> result =
                readTiles(context.get(), *tiles, full, preview, data, target.memory))
            return *result;
    }
    return readWhole(handle.get(), full, preview, data, target.memory);
}

} // namespace mok::picture
