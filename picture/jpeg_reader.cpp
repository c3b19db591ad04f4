#include "jpeg_reader.h"

#include "jpeg_header.h"
#include "load_limits.h"
#include "reasons.h"
#include "row_shrinker.h"

#include <QTransform>

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
    QIODevice *device = nullptr;
    JOCTET buffer[kReadChunk]{};
    Phase phase = Phase::Header;
    QString why; // set by our own checks before they stop libjpeg
    int scansCounted = 0;
    qint64 blockVisits = 0;
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
        sessionOf(cinfo).why = reason::broken();
        stop(cinfo);
    }
}

void onOutputMessage(j_common_ptr) {} // nothing is printed

void onError(j_common_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    if (s.why.isEmpty()) {
        switch (cinfo->err->msg_code) {
        case JERR_NO_BACKING_STORE: // over max_memory_to_use
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            s.why = reason::tooLarge(QSize(int(s.cinfo.image_width), int(s.cinfo.image_height)));
            break;
        case JERR_OUT_OF_MEMORY:
            s.why = reason::outOfMemory();
            break;
        default:
            s.why = reason::broken();
        }
    }
    stop(cinfo);
}

// Blocks of the scan being read; for an interleaved scan this leaves out the
// padding blocks, which is close enough for a budget.
qint64 blocksInScan(const jpeg_decompress_struct &cinfo)
{
    qint64 blocks = 0;
    for (int i = 0; i < cinfo.comps_in_scan; ++i)
        blocks += qint64(cinfo.cur_comp_info[i]->width_in_blocks) *
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
        s.why = reason::broken();
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
    const qint64 n = s.device->read(reinterpret_cast<char *>(s.buffer), kReadChunk);
    if (n > 0) {
        s.src.next_input_byte = s.buffer;
        s.src.bytes_in_buffer = size_t(n);
        return TRUE;
    }
    if (n < 0) {
        s.why = reason::readFailed();
        stop(reinterpret_cast<j_common_ptr>(cinfo));
    }
    if (dataStoppedInsidePicture(s)) {
        s.why = reason::broken();
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
    const qint64 beyond = qint64(count) - qint64(s.src.bytes_in_buffer);
    s.src.bytes_in_buffer = 0;
    if (!s.device->seek(std::min(s.device->pos() + beyond, s.device->size())))
        onFillInput(cinfo);
}

void attach(JpegSession &s, QIODevice &device)
{
    s.device = &device;
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
qint64 coefficientBytes(const jpeg_decompress_struct &cinfo)
{
    if (!jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo)))
        return 0;
    qint64 blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &comp = cinfo.comp_info[c];
        const qint64 w = (qint64(comp.width_in_blocks) + comp.h_samp_factor - 1) /
                         comp.h_samp_factor * comp.h_samp_factor;
        const qint64 h = (qint64(comp.height_in_blocks) + comp.v_samp_factor - 1) /
                         comp.v_samp_factor * comp.v_samp_factor;
        blocks += w * h;
    }
    return blocks * qint64(sizeof(JBLOCK));
}

// The output the picture can be shown from; anything else (two channels,
// four that are not CMYK) has no sensible colours.
QImage::Format outputFormat(const jpeg_decompress_struct &cinfo)
{
    if (cinfo.out_color_space == JCS_GRAYSCALE && cinfo.output_components == 1)
        return QImage::Format_Grayscale8;
    if (cinfo.output_components == 3)
        return QImage::Format_RGB32;
    if (cinfo.out_color_space == JCS_CMYK && cinfo.output_components == 4)
        return QImage::Format_RGB32;
    return QImage::Format_Invalid;
}

// Asks libjpeg to shrink by M/8 with the smallest M that still gives at least
// `wanted`; the rest of the way is a smooth scale. Sizes are as stored.
void requestScale(jpeg_decompress_struct &cinfo, QSize wanted)
{
    const double f = std::min(double(cinfo.image_width) / wanted.width(),
                              double(cinfo.image_height) / wanted.height());
    cinfo.scale_num = JDIMENSION(std::clamp(int(std::ceil(8 / f)), 1, 8));
    cinfo.scale_denom = 8;
}

// Header, limits and scale. Returns false with s.why set when libjpeg or a
// limit refused.
bool startDecoding(JpegSession &s, QSize wanted)
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
        s.why = reason::tooLarge(QSize(int(s.cinfo.image_width), int(s.cinfo.image_height)));
        return false;
    }
    if (wanted.isValid())
        requestScale(s.cinfo, wanted);
    jpeg_calc_output_dimensions(&s.cinfo);
    return true;
}

// libjpeg-turbo's colour space whose pixels lie in memory as a QRgb does.
constexpr J_COLOR_SPACE kQRgbColorSpace =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// Decodes every row into `image`, already allocated at the output size; or,
// with a shrinker, into the one row of `image` and on to the shrinker. Rows
// for the shrinker come from libjpeg as QRgb already, sparing a pass.
bool decodeRows(JpegSession &s, QImage &image, RowShrinker *shrinker)
{
    if (setjmp(s.jump))
        return false;
    j_decompress_ptr cinfo = &s.cinfo;
    const bool straightToQRgb = shrinker && cinfo->out_color_space == JCS_RGB;
    if (straightToQRgb)
        cinfo->out_color_space = kQRgbColorSpace;
    JSAMPARRAY row =
        (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                    cinfo->output_width * JDIMENSION(cinfo->output_components), 1);
    s.phase = Phase::Start;
    jpeg_start_decompress(cinfo);
    s.phase = Phase::Scanlines;
    const int width = int(cinfo->output_width);
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = shrinker ? 0 : int(cinfo->output_scanline);
        if (cinfo->output_components == 1 || straightToQRgb) {
            JSAMPROW line = image.scanLine(y);
            jpeg_read_scanlines(cinfo, &line, 1);
            if (shrinker)
                shrinker->addRow(reinterpret_cast<const QRgb *>(line));
            continue;
        }
        jpeg_read_scanlines(cinfo, row, 1);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        const JSAMPLE *in = row[0];
        if (cinfo->output_components == 3) {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = qRgb(in[0], in[1], in[2]);
        } else {
            // Adobe writes CMYK inverted; k * c / 255 gives the colour.
            for (int x = 0; x < width; ++x, in += 4) {
                const int k = in[3];
                out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            }
        }
        if (shrinker)
            shrinker->addRow(out);
    }
    // The data after the last row does not matter: a missing end marker or
    // trailing junk leaves the picture whole.
    s.phase = Phase::Finish;
    jpeg_abort_decompress(cinfo);
    return true;
}

// A colour picture libjpeg could only bring part of the way down is shrunk
// the rest of the way as its rows arrive, so that it never exists at the
// larger size. The shrinker reduces in both directions at once and nothing
// else; every other case keeps Qt's smooth scale, whose pixels it matches.
bool shrinksWhileDecoding(QImage::Format format, QSize output, QSize wanted)
{
    return format == QImage::Format_RGB32 && !wanted.isEmpty() && wanted.width() < output.width() &&
           wanted.height() < output.height();
}

QImage turnedUpright(const QImage &image, QImageIOHandler::Transformations orientation)
{
    if (orientation == QImageIOHandler::TransformationNone)
        return image;
    if (orientation == QImageIOHandler::TransformationRotate270)
        return image.transformed(QTransform().rotate(270));
    QImage turned = image.mirrored(orientation.testFlag(QImageIOHandler::TransformationMirror),
                                   orientation.testFlag(QImageIOHandler::TransformationFlip));
    if (orientation.testFlag(QImageIOHandler::TransformationRotate90))
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

// Refuses what the header alone shows cannot or must not be decoded.
QString checkHeader(const JpegHeader &header, QSize upright, qint64 fileBytes)
{
    if (!header.plausible() || header.components == 0)
        return reason::broken();
    if (!header.decodable())
        return reason::unsupportedJpeg();
    if (header.width == 0)
        return reason::broken();
    if (header.width > kMaxJpegSide || header.height > kMaxJpegSide || exceedsPixelLimit(upright))
        return reason::tooLarge(upright);
    // A Huffman code is at least one bit, and every unit of blocks needs one:
    // a 12 KB file cannot hold a 30000 x 30000 picture.
    if (!header.arithmetic() && fileBytes < header.minimumCodedUnits() / 8)
        return reason::broken();
    return {};
}

} // namespace

Decoded readJpeg(QIODevice &file, const PreviewSizer &previewSize)
{
    const std::optional<JpegHeader> header = readJpegHeader(file);
    if (!header)
        return refused(reason::broken());
    const bool turned = header->orientation.testFlag(QImageIOHandler::TransformationRotate90);
    const QSize stored(header->width, header->height);
    const QSize full = turned ? stored.transposed() : stored;
    if (const QString why = checkHeader(*header, full, file.size()); !why.isEmpty())
        return refused(why);
    const QSize preview = previewSize(full);
    if (preview.isEmpty())
        return refused(reason::tooSmall(full));
    // Decoded at the board's size when that is smaller; libjpeg scales before
    // the picture is turned, so the size is given the way it is stored.
    const QSize wanted = preview != full ? (turned ? preview.transposed() : preview) : QSize();
    if (!wanted.isValid() && exceedsDecodeLimit(full))
        return refused(reason::tooLarge(full));

    if (!file.seek(0))
        return refused(reason::readFailed());
    auto session = std::make_unique<JpegSession>();
    attach(*session, file);
    if (!startDecoding(*session, wanted))
        return refused(session->why);
    const QImage::Format format = outputFormat(session->cinfo);
    if (format == QImage::Format_Invalid)
        return refused(reason::broken());
    const QSize output(int(session->cinfo.output_width), int(session->cinfo.output_height));
    std::optional<RowShrinker> shrinker;
    if (shrinksWhileDecoding(format, output, wanted))
        shrinker.emplace(output, wanted);
    if (shrinker && !shrinker->isValid())
        return refused(reason::outOfMemory());
    QImage image(output.width(), shrinker ? 1 : output.height(), format);
    if (image.isNull())
        return refused(reason::outOfMemory());
    if (!decodeRows(*session, image, shrinker ? &*shrinker : nullptr))
        return refused(session->why);
    session.reset();

    if (shrinker)
        image = shrinker->image();
    else if (wanted.isValid() && image.size() != wanted)
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Decoded decoded;
    decoded.image = turnedUpright(image, header->orientation);
    decoded.fullSize = full;
    return decoded;
}

} // namespace mok::picture
