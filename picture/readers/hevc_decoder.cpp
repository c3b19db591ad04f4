#include "hevc_decoder.h"

#include "shared_library.h"
#include "threads.h"

#include <libde265/de265.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace mok::picture {

namespace {

#define MOK_DE265_FUNCTIONS(X)                                                                     \
    X(de265_new_decoder)                                                                           \
    X(de265_free_decoder)                                                                          \
    X(de265_start_worker_threads)                                                                  \
    X(de265_push_NAL)                                                                              \
    X(de265_flush_data)                                                                            \
    X(de265_decode)                                                                                \
    X(de265_isOK)                                                                                  \
    X(de265_peek_next_picture)                                                                     \
    X(de265_release_next_picture)                                                                  \
    X(de265_get_chroma_format)                                                                     \
    X(de265_get_image_width)                                                                       \
    X(de265_get_image_height)                                                                      \
    X(de265_get_bits_per_pixel)                                                                    \
    X(de265_get_image_plane)

struct Libde265 {
#define MOK_DE265_POINTER(name) decltype(&::name) name = nullptr;
    MOK_DE265_FUNCTIONS(MOK_DE265_POINTER)
#undef MOK_DE265_POINTER
};

// Both set once, by openThreadedHevcDecoder(), before any picture is read.
Libde265 de265;
HeifImageFunctions heif;
int workerThreads = 0;

// Above libheif's own HEVC decoder (100), so that libheif picks this one.
constexpr int kPriority = 200;
// A picture's rows of blocks go to the workers in turn; past four they wait
// on each other more than they decode.
constexpr int kMostWorkers = 4;

heif_error failure(heif_error_code code, heif_suberror_code subcode, const char *message)
{
    return {code, subcode, message};
}

const heif_error kOk{heif_error_Ok, heif_suberror_Unspecified, ""};

struct Decoder {
    de265_decoder_context *context = nullptr;
    bool flushed = false;
};

// No more data comes: libde265 decodes what it holds.
heif_error flushData(void *d)
{
    auto *decoder = static_cast<Decoder *>(d);
    if (!decoder->flushed)
        de265.de265_flush_data(decoder->context);
    decoder->flushed = true;
    return kOk;
}

de265_decoder_context *newContext()
{
    de265_decoder_context *context = de265.de265_new_decoder();
    if (context && workerThreads > 0)
        de265.de265_start_worker_threads(context, workerThreads);
    return context;
}

const char *pluginName()
{
    return "Mok's libde265 decoder with worker threads";
}

void noOp() {}

int supportsFormat(heif_compression_format format)
{
    return format == heif_compression_HEVC ? kPriority : 0;
}

heif_error newDecoder(void **out)
{
    auto *decoder = new (std::nothrow) Decoder;
    if (decoder)
        decoder->context = newContext();
    if (!decoder || !decoder->context) {
        delete decoder;
        return failure(heif_error_Memory_allocation_error, heif_suberror_Unspecified,
                       "no memory for the HEVC decoder");
    }
    *out = decoder;
    return kOk;
}

void freeDecoder(void *d)
{
    auto *decoder = static_cast<Decoder *>(d);
    de265.de265_free_decoder(decoder->context);
    delete decoder;
}

// libheif hands over the parameter sets and then the picture's data, each
// unit behind its length in four bytes.
heif_error pushData(void *d, const void *data, size_t size)
{
    auto *decoder = static_cast<Decoder *>(d);
    const auto *at = static_cast<const unsigned char *>(data);
    const unsigned char *end = at + size;
    while (end - at >= 4) {
        const size_t length =
            size_t(at[0]) << 24 | size_t(at[1]) << 16 | size_t(at[2]) << 8 | at[3];
        at += 4;
        if (length > size_t(end - at) || length > size_t(INT32_MAX))
            break;
        if (!de265.de265_isOK(de265.de265_push_NAL(decoder->context, at, int(length), 0, nullptr)))
            return failure(heif_error_Memory_allocation_error, heif_suberror_Unspecified,
                           "no memory for the HEVC data");
        at += length;
    }
    if (at != end)
        return failure(heif_error_Decoder_plugin_error, heif_suberror_End_of_data,
                       "HEVC data cut short");
    return kOk;
}

constexpr heif_channel kChannels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};

// Copies the decoded planes into a picture of libheif's, as libheif's own
// decoder does.
heif_error handOver(const de265_image *decoded, heif_image **out)
{
    const auto chroma = static_cast<heif_chroma>(de265.de265_get_chroma_format(decoded));
    const bool grey = chroma == heif_chroma_monochrome;
    heif_image *image = nullptr;
    heif_error error = heif.create(
        de265.de265_get_image_width(decoded, 0), de265.de265_get_image_height(decoded, 0),
        grey ? heif_colorspace_monochrome : heif_colorspace_YCbCr, chroma, &image);
    for (int c = 0; c < (grey ? 1 : 3) && error.code == heif_error_Ok; ++c) {
        const int width = de265.de265_get_image_width(decoded, c);
        const int height = de265.de265_get_image_height(decoded, c);
        const int bits = de265.de265_get_bits_per_pixel(decoded, c);
        error = heif.addPlane(image, kChannels[c], width, height, bits);
        if (error.code != heif_error_Ok)
            break;
        int from = 0;
        int to = 0;
        const uint8_t *in = de265.de265_get_image_plane(decoded, c, &from);
        uint8_t *row = heif.plane(image, kChannels[c], &to);
        const size_t bytes = size_t(width) * (bits > 8 ? 2 : 1);
        for (int y = 0; y < height; ++y, in += from, row += to)
            std::memcpy(row, in, bytes);
    }
    if (error.code != heif_error_Ok && image)
        heif.release(image);
    else
        *out = image;
    return error;
}

heif_error decodeImage(void *d, heif_image **out)
{
    auto *decoder = static_cast<Decoder *>(d);
    flushData(decoder);
    const de265_image *decoded = nullptr;
    int more = 1;
    while (more && !decoded) {
        const de265_error error = de265.de265_decode(decoder->context, &more);
        if (error == DE265_ERROR_OUT_OF_MEMORY)
            return failure(heif_error_Memory_allocation_error, heif_suberror_Unspecified,
                           "no memory to decode HEVC");
        if (!de265.de265_isOK(error) && error != DE265_ERROR_WAITING_FOR_INPUT_DATA)
            return failure(heif_error_Decoder_plugin_error, heif_suberror_Unspecified,
                           "HEVC data broken");
        decoded = de265.de265_peek_next_picture(decoder->context);
    }
    if (!decoded)
        return failure(heif_error_Decoder_plugin_error, heif_suberror_Unspecified,
                       "HEVC data holds no picture");
    const heif_error error = handOver(decoded, out);
    de265.de265_release_next_picture(decoder->context);
    return error;
}

void setStrictDecoding(void *, int) {}

// libheif 1.21 and later take only decoders of their fifth version, which
// are handed the data and asked for the picture through calls of their own.
#if defined(heif_decoder_plugin_minimum_version) && heif_decoder_plugin_minimum_version >= 5
constexpr int kPluginVersion = 5;

int supportsFormat2(const heif_decoder_plugin_compressed_format_description *format)
{
    return supportsFormat(format->format);
}

heif_error newDecoder2(void **out, const heif_decoder_plugin_options *)
{
    return newDecoder(out);
}

heif_error pushData2(void *d, const void *data, size_t size, uintptr_t)
{
    return pushData(d, data, size);
}

heif_error decodeNextImage(void *d, heif_image **out, const heif_security_limits *)
{
    return decodeImage(d, out);
}

heif_error decodeNextImage2(void *d, heif_image **out, uintptr_t *userData,
                            const heif_security_limits *)
{
    if (userData)
        *userData = 0;
    return decodeImage(d, out);
}

void addLaterCalls(heif_decoder_plugin &p)
{
    p.decode_next_image = decodeNextImage;
    p.does_support_format2 = supportsFormat2;
    p.new_decoder2 = newDecoder2;
    p.push_data2 = pushData2;
    p.flush_data = flushData;
    p.decode_next_image2 = decodeNextImage2;
}
#else
constexpr int kPluginVersion = 3;

void addLaterCalls(heif_decoder_plugin &) {}
#endif

heif_decoder_plugin plugin()
{
    heif_decoder_plugin p{};
    p.plugin_api_version = kPluginVersion;
    p.get_plugin_name = pluginName;
    p.init_plugin = noOp;
    p.deinit_plugin = noOp;
    p.does_support_format = supportsFormat;
    p.new_decoder = newDecoder;
    p.free_decoder = freeDecoder;
    p.push_data = pushData;
    p.decode_image = decodeImage;
    p.set_strict_decoding = setStrictDecoding;
    p.id_name = "mok-libde265";
    addLaterCalls(p);
    return p;
}

} // namespace

int hevcWorkerThreads()
{
    const int count = processorsToRunOn();
    return count > 1 ? std::min(count, kMostWorkers) : 0;
}

void useHevcWorkerThreads(int count)
{
    workerThreads = count;
}

const heif_decoder_plugin *openThreadedHevcDecoder(const HeifImageFunctions &functions)
{
    const bool opened = openLibrary("libde265.so.0", [](auto find) {
#define MOK_DE265_FIND(name) find(de265.name, #name);
        MOK_DE265_FUNCTIONS(MOK_DE265_FIND)
#undef MOK_DE265_FIND
    });
    if (!opened)
        return nullptr;
    heif = functions;
    static const heif_decoder_plugin decoder = plugin();
    return &decoder;
}

} // namespace mok::picture
