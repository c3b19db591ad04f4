#include "jpeg_reader.h"

#include "jpeg_header.h"
#include "load_limits.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <memory>
#include <optional>

extern "C" {
#include <jpeglib.h> // first: it says which messages jerror.h defines

#include <jerror.h>
}

namespace mok::picture {

namespace {

constexpr int kReadChunk = 64 * 1024;

enum class Phase { Header, Start, Scanlines, Finish };

// Everything libjpeg's callbacks reach, kept off the stack so that it
// survives the longjmp out of an error.
struct JpegSession {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    jpeg_source_mgr src{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    Source *file = nullptr;
    JOCTET buffer[kReadChunk]{};
    Phase phase = Phase::Header;
    ReadResult why; // set by our own checks before they stop libjpeg
    int scansCounted = 0;
    std::int64_t blockVisits = 0;
    bool created = false;

    ~JpegSession()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

JpegSession &sessionOf(j_common_ptr cinfo)
{
    return *static_cast<JpegSession *>(cinfo->client_data);
}

[[noreturn]] void stop(j_common_ptr cinfo)
{
    std::longjmp(sessionOf(cinfo).jump, 1);
}

// Warnings that mean the pixels are not all there: the data stopped inside a
// scan, a code could not be decoded, or the scans do not build a picture.
// libjpeg would go on and paint grey; the player is better told the truth.
bool isFatalWarning(int code)
{
    switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_MUST_RESYNC:
        return true;
    default:
        return false;
    }
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && isFatalWarning(cinfo->err->msg_code)) {
        sessionOf(cinfo).why = refused(Reason::Broken);
        stop(cinfo);
    }
}

void onOutputMessage(j_common_ptr) {} // nothing is printed

void onError(j_common_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    if (s.why.ok()) {
        switch (cinfo->err->msg_code) {
        case JERR_NO_BACKING_STORE: // over max_memory_to_use
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            s.why =
                refused(Reason::TooLarge, {int(s.cinfo.image_width), int(s.cinfo.image_height)});
            break;
        case JERR_OUT_OF_MEMORY:
            s.why = refused(Reason::OutOfMemory);
            break;
        default:
            s.why = refused(Reason::Broken);
        }
    }
    stop(cinfo);
}

// Blocks of the scan being read; for an interleaved scan this leaves out the
// padding blocks, which is close enough for a budget.
std::int64_t blocksInScan(const jpeg_decompress_struct &cinfo)
{
    std::int64_t blocks = 0;
    for (int i = 0; i < cinfo.comps_in_scan; ++i)
        blocks += std::int64_t(cinfo.cur_comp_info[i]->width_in_blocks) *
                  cinfo.cur_comp_info[i]->height_in_blocks;
    return blocks;
}

// Called as the input is read; counts each scan once, when it is first seen.
void onProgress(j_common_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    const auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number == s.scansCounted)
        return;
    s.scansCounted = d->input_scan_number;
    s.blockVisits += blocksInScan(*d);
    if (s.scansCounted > kMaxJpegScans || s.blockVisits > kMaxJpegBlockVisits) {
        s.why = refused(Reason::Broken);
        stop(cinfo);
    }
}

void onInitSource(j_decompress_ptr) {}
void onTermSource(j_decompress_ptr) {}

// Whether rows are still to come, counted generously: libjpeg reads ahead
// into the last two rows of blocks, so a file that only lacks its end marker
// may run dry there.
bool rowsStillToCome(const jpeg_decompress_struct &cinfo)
{
    const JDIMENSION rowsPerBand =
        JDIMENSION(cinfo.max_v_samp_factor) * JDIMENSION(cinfo.min_DCT_scaled_size);
    return cinfo.output_scanline + 2 * rowsPerBand < cinfo.output_height;
}

bool dataStoppedInsidePicture(const JpegSession &s)
{
    return s.phase == Phase::Scanlines && rowsStillToCome(s.cinfo);
}

boolean onFillInput(j_decompress_ptr cinfo)
{
    JpegSession &s = sessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    const std::int64_t n = s.file->read(s.buffer, kReadChunk);
    if (n > 0) {
        s.src.next_input_byte = s.buffer;
        s.src.bytes_in_buffer = size_t(n);
        return TRUE;
    }
    if (n < 0) {
        s.why = refused(Reason::ReadFailed);
        stop(reinterpret_cast<j_common_ptr>(cinfo));
    }
    if (dataStoppedInsidePicture(s)) {
        s.why = refused(Reason::Broken);
        stop(reinterpret_cast<j_common_ptr>(cinfo));
    }
    // The end of the file without an end marker: give libjpeg one, as its
    // own readers do. Whether pixels were missing is for the decoder to say.
    s.buffer[0] = 0xFF;
    s.buffer[1] = JPEG_EOI;
    s.src.next_input_byte = s.buffer;
    s.src.bytes_in_buffer = 2;
    return TRUE;
}

void onSkipInput(j_decompress_ptr cinfo, long count)
{
    JpegSession &s = sessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (count <= 0)
        return;
    if (size_t(count) <= s.src.bytes_in_buffer) {
        s.src.next_input_byte += count;
        s.src.bytes_in_buffer -= size_t(count);
        return;
    }
    const std::int64_t beyond = std::int64_t(count) - std::int64_t(s.src.bytes_in_buffer);
    s.src.bytes_in_buffer = 0;
    if (!s.file->seek(std::min(s.file->pos() + beyond, s.file->size())))
        onFillInput(cinfo);
}

void attach(JpegSession &s, Source &file)
{
    s.file = &file;
    s.cinfo.err = jpeg_std_error(&s.err);
    s.err.error_exit = onError;
    s.err.emit_message = onMessage;
    s.err.output_message = onOutputMessage;
    s.cinfo.client_data = &s;
    s.src.init_source = onInitSource;
    s.src.fill_input_buffer = onFillInput;
    s.src.skip_input_data = onSkipInput;
    s.src.resync_to_restart = jpeg_resync_to_restart;
    s.src.term_source = onTermSource;
    s.progress.progress_monitor = onProgress;
}

// Bytes libjpeg keeps for the coefficients of the whole picture when it must
// see every scan before it can give out a row.
std::int64_t coefficientBytes(const jpeg_decompress_struct &cinfo)
{
    if (!jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo)))
        return 0;
    std::int64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &comp = cinfo.comp_info[c];
        const std::int64_t w = (std::int64_t(comp.width_in_blocks) + comp.h_samp_factor - 1) /
                               comp.h_samp_factor * comp.h_samp_factor;
        const std::int64_t h = (std::int64_t(comp.height_in_blocks) + comp.v_samp_factor - 1) /
                               comp.v_samp_factor * comp.v_samp_factor;
        blocks += w * h;
    }
    return blocks * std::int64_t(sizeof(JBLOCK));
}

// The colours the picture can be shown from; anything else (two channels,
// four that are not CMYK) has no sensible colours.
enum class Colours { Invalid, Grey, Rgb, Cmyk };

Colours coloursOf(const jpeg_decompress_struct &cinfo)
{
    if (cinfo.out_color_space == JCS_GRAYSCALE && cinfo.output_components == 1)
        return Colours::Grey;
    if (cinfo.output_components == 3)
        return Colours::Rgb;
    if (cinfo.out_color_space == JCS_CMYK && cinfo.output_components == 4)
        return Colours::Cmyk;
    return Colours::Invalid;
}

// Asks libjpeg to shrink by M/8 with the smallest M that still gives at least
// `wanted`; the rest of the way is a smooth scale. Sizes are as stored.
void requestScale(jpeg_decompress_struct &cinfo, PixelSize wanted)
{
    const double f = std::min(double(cinfo.image_width) / wanted.width,
                              double(cinfo.image_height) / wanted.height);
    cinfo.scale_num = JDIMENSION(std::clamp(int(std::ceil(8 / f)), 1, 8));
    cinfo.scale_denom = 8;
}

// Header, limits and scale. Returns false with s.why set when libjpeg or a
// limit refused.
bool startDecoding(JpegSession &s, PixelSize wanted)
{
    if (setjmp(s.jump))
        return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.cinfo.src = &s.src;
    s.cinfo.progress = &s.progress;
    s.cinfo.mem->max_memory_to_use = kMaxJpegWorkingBytes;
    s.phase = Phase::Header;
    jpeg_read_header(&s.cinfo, TRUE);
    if (coefficientBytes(s.cinfo) > kMaxJpegWorkingBytes) {
        s.why = refused(Reason::TooLarge, {int(s.cinfo.image_width), int(s.cinfo.image_height)});
        return false;
    }
    requestScale(s.cinfo, wanted);
    jpeg_calc_output_dimensions(&s.cinfo);
    return true;
}

// libjpeg-turbo's colour space whose pixels lie in memory as an Rgb does.
constexpr J_COLOR_SPACE kRgbInMemory =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// Decodes every row into the sink. Colour rows come from libjpeg as Rgb
// already, straight into the preview when it is shown at the decoded size;
// grey and CMYK rows are converted on the way.
bool decodeRows(JpegSession &s, Colours colours, RowSink &sink)
{
    if (setjmp(s.jump))
        return false;
    j_decompress_ptr cinfo = &s.cinfo;
    if (colours == Colours::Rgb)
        cinfo->out_color_space = kRgbInMemory;
    JSAMPARRAY row =
        (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                    cinfo->output_width * JDIMENSION(cinfo->output_components), 1);
    s.phase = Phase::Start;
    jpeg_start_decompress(cinfo);
    s.phase = Phase::Scanlines;
    const int width = int(cinfo->output_width);
    while (cinfo->output_scanline < cinfo->output_height) {
        Rgb *out = sink.nextRow();
        if (colours == Colours::Rgb) {
            auto *line = reinterpret_cast<JSAMPROW>(out);
            jpeg_read_scanlines(cinfo, &line, 1);
        } else {
            jpeg_read_scanlines(cinfo, row, 1);
            const JSAMPLE *in = row[0];
            if (colours == Colours::Grey) {
                for (int x = 0; x < width; ++x)
                    out[x] = rgb(in[x], in[x], in[x]);
            } else {
                // Adobe writes CMYK inverted; k * c / 255 gives the colour.
                for (int x = 0; x < width; ++x, in += 4) {
                    const unsigned k = in[3];
                    out[x] = rgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
                }
            }
        }
        sink.rowDone();
    }
    // The data after the last row does not matter: a missing end marker or
    // trailing junk leaves the picture whole.
    s.phase = Phase::Finish;
    jpeg_abort_decompress(cinfo);
    return true;
}

// Refuses what the header alone shows cannot or must not be decoded.
ReadResult checkHeader(const JpegHeader &header, PixelSize upright, std::int64_t fileBytes)
{
    if (!header.plausible() || header.components == 0)
        return refused(Reason::Broken);
    if (!header.decodable())
        return refused(Reason::UnsupportedJpeg);
    if (header.width == 0)
        return refused(Reason::Broken);
    if (header.width > kMaxJpegSide || header.height > kMaxJpegSide || exceedsPixelLimit(upright))
        return refused(Reason::TooLarge, upright);
    // A Huffman code is at least one bit, and every unit of blocks needs one:
    // a 12 KB file cannot hold a 30000 x 30000 picture.
    if (!header.arithmetic() && fileBytes < header.minimumCodedUnits() / 8)
        return refused(Reason::Broken);
    return {};
}

} // namespace

ReadResult readJpeg(Source &file, PreviewTarget &target)
{
    const std::optional<JpegHeader> header = readJpegHeader(file);
    if (!header)
        return refused(Reason::Broken);
    const bool sideways = turnsSideways(header->orientation);
    const PixelSize stored{header->width, header->height};
    const PixelSize full = sideways ? stored.transposed() : stored;
    if (const ReadResult why = checkHeader(*header, full, file.size()); !why.ok())
        return why;
    const PixelSize preview = target.previewSize(full);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, full);
    if (preview == full && exceedsDecodeLimit(full))
        return refused(Reason::TooLarge, full);

    if (!file.seek(0))
        return refused(Reason::ReadFailed);
    auto session = std::make_unique<JpegSession>();
    attach(*session, file);
    // Decoded at the board's size when that is smaller; libjpeg scales before
    // the picture is turned, so the size is given the way it is stored.
    if (!startDecoding(*session, sideways ? preview.transposed() : preview))
        return session->why;
    const Colours colours = coloursOf(session->cinfo);
    if (colours == Colours::Invalid)
        return refused(Reason::Broken);
    const PixelSize output{int(session->cinfo.output_width), int(session->cinfo.output_height)};
    RowSink sink(output, preview, header->orientation, target.memory);
    if (!sink.isValid())
        return refused(Reason::OutOfMemory);
    if (!decodeRows(*session, colours, sink))
        return session->why;
    session.reset();
    if (!sink.finish())
        return refused(Reason::OutOfMemory);
    return {Reason::None, full};
}

} // namespace mok::picture
