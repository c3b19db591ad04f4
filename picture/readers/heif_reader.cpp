#include "heif_reader.h"

#include "load_limits.h"

#include <libheif/heif.h>

#include <dlfcn.h>

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
    X(heif_have_decoder_for_format)                                                                \
    X(heif_context_alloc)                                                                          \
    X(heif_context_free)                                                                           \
    X(heif_context_set_maximum_image_size_limit)                                                   \
    X(heif_context_set_max_decoding_threads)                                                       \
    X(heif_context_read_from_memory_without_copy)                                                  \
    X(heif_context_get_primary_image_handle)                                                       \
    X(heif_image_handle_release)                                                                   \
    X(heif_image_handle_get_width)                                                                 \
    X(heif_image_handle_get_height)                                                                \
    X(heif_image_handle_has_alpha_channel)                                                         \
    X(heif_decoding_options_alloc)                                                                 \
    X(heif_decoding_options_free)                                                                  \
    X(heif_decode_image)                                                                           \
    X(heif_image_release)                                                                          \
    X(heif_image_get_primary_width)                                                                \
    X(heif_image_get_primary_height)                                                               \
    X(heif_image_get_plane_readonly)                                                               \
    X(heif_image_get_bits_per_pixel)                                                               \
    X(heif_image_is_premultiplied_alpha)

struct Libheif {
#define MOK_HEIF_POINTER(name) decltype(&::name) name = nullptr;
    MOK_HEIF_FUNCTIONS(MOK_HEIF_POINTER)
#undef MOK_HEIF_POINTER
};

// Set once by prepareHeif(); null when libheif is not installed.
const Libheif *heif = nullptr;

const Libheif *openLibheif()
{
    void *library = dlopen("libheif.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static Libheif functions;
    bool complete = true;
#define MOK_HEIF_FIND(name)                                                                        \
    functions.name = reinterpret_cast<decltype(functions.name)>(dlsym(library, #name));            \
    complete = complete && functions.name;
    MOK_HEIF_FUNCTIONS(MOK_HEIF_FIND)
#undef MOK_HEIF_FIND
    if (!complete)
        return nullptr;
    // Registers the built-in decoders and loads any plug-ins it finds in its
    // folder (or LIBHEIF_PLUGIN_PATH). Never undone: the decoders stay ready
    // for the life of the process.
    functions.heif_init(nullptr);
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

// The types of every item the file lists ("hvc1", "av01", "grid", "Exif",
// ...), from its item information box; empty when it has none.
std::vector<FourCc> itemTypes(Bytes data)
{
    std::vector<FourCc> types;
    const std::optional<Box> meta = metaBox(data);
    if (!meta || meta->body + 4 > meta->end)
        return types;
    // after version and flags, then a 16-bit count in version 0, 32-bit after
    const std::optional<Box> iinf = childBox(data, meta->body + 4, meta->end, "iinf");
    if (!iinf || iinf->body + 8 > iinf->end)
        return types;
    for (std::size_t at = iinf->body + (data.data[iinf->body] == 0 ? 6 : 8); at < iinf->end;) {
        const std::optional<Box> infe = childBox(data, at, iinf->end, "infe");
        if (!infe)
            break;
        // version 2 and 3: version and flags, the item's number (16 or 32
        // bits), its protection index, then its type
        const int version = data.data[infe->body];
        const std::size_t typeAt = infe->body + 4 + (version == 3 ? 4 : 2) + 2;
        if (version >= 2 && typeAt + 4 <= infe->end)
            types.push_back(fourCcAt(data, typeAt));
        at = infe->end;
    }
    return types;
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
    const std::vector<FourCc> types = itemTypes(data);
    return std::any_of(types.begin(), types.end(), [&](const FourCc &type) {
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
            const PixelSize declared = largestDeclaredSize(data);
            return declared.isEmpty() ? refused(Reason::Broken)
                                      : refused(Reason::TooLarge, declared);
        }
        return refused(Reason::OutOfMemory);
    case heif_error_Unsupported_feature:
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

// Turns libheif's interleaved 8-bit rows into opaque rows, alpha composed
// over black as for every other format.
bool copyRows(const heif_image *image, bool alpha, RowSink &sink)
{
    int stride = 0;
    const uint8_t *plane =
        heif->heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!plane ||
        heif->heif_image_get_bits_per_pixel(image, heif_channel_interleaved) != (alpha ? 32 : 24))
        return false;
    const int width = heif->heif_image_get_primary_width(image);
    const int height = heif->heif_image_get_primary_height(image);
    const bool premultiplied =
        heif->heif_image_is_premultiplied_alpha(const_cast<heif_image *>(image));
    for (int y = 0; y < height; ++y) {
        const uint8_t *in = plane + std::ptrdiff_t(y) * stride;
        Rgb *out = sink.nextRow();
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
        sink.rowDone();
    }
    return sink.finish();
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
    const MappedFile mapped(file);
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
    std::unique_ptr<heif_context, ContextFree> context(heif->heif_context_alloc());
    if (!context)
        return refused(Reason::OutOfMemory);
    // libheif refuses a picture with a side this long before it reads its
    // pixels; the area checks below do the rest. Grids are put together on
    // this thread: the helper that decodes wants as few threads as can be.
    heif->heif_context_set_maximum_image_size_limit(context.get(), kMaxHeifSide);
    heif->heif_context_set_max_decoding_threads(context.get(), 0);
    heif_error error = heif->heif_context_read_from_memory_without_copy(context.get(), data.data,
                                                                        data.size, nullptr);
    if (error.code != heif_error_Ok)
        return reasonForInvalid(error, data);

    heif_image_handle *rawHandle = nullptr;
    error = heif->heif_context_get_primary_image_handle(context.get(), &rawHandle);
    std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);
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

    const bool alpha = heif->heif_image_handle_has_alpha_channel(handle.get()) != 0;
    std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif->heif_decoding_options_alloc());
    if (!options)
        return refused(Reason::OutOfMemory);
    options->convert_hdr_to_8bit = 1; // rotation, mirror and crop stay applied
    heif_image *rawImage = nullptr;
    error = heif->heif_decode_image(
        handle.get(), &rawImage, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<heif_image, ImageFree> image(rawImage);
    if (error.code != heif_error_Ok || !image)
        return lacksDecoder(data) ? refused(Reason::CodecMissing) : reasonFor(error, data);
    const PixelSize decoded{heif->heif_image_get_primary_width(image.get()),
                            heif->heif_image_get_primary_height(image.get())};
    if (decoded != full)
        return refused(Reason::Broken);

    RowSink sink(decoded, preview, Orientation::Upright, target.memory);
    if (!sink.isValid())
        return refused(Reason::OutOfMemory);
    if (!copyRows(image.get(), alpha, sink))
        return refused(Reason::Broken);
    return {Reason::None, full};
}

} // namespace mok::picture
