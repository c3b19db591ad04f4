#include "answer_check.h"

#include "load_limits.h"
#include "preview_size.h"
#include "reasons.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace mok::picture {

namespace {

PictureLoadResult failure(const QString &why)
{
    PictureLoadResult result;
    result.error = why;
    return result;
}

struct Mapping {
    void *address;
    size_t length;
};

void unmap(void *info)
{
    const auto *mapping = static_cast<Mapping *>(info);
    ::munmap(mapping->address, mapping->length);
    delete mapping;
}

// Whether every pixel of the rows is opaque, as RGB32 promises and the
// helper must send: anything that later reads the preview with alpha would
// see holes.
bool allOpaque(const uchar *pixels, size_t bytes)
{
    quint32 all = 0xFF000000u;
    const auto *p = reinterpret_cast<const quint32 *>(pixels);
    for (size_t i = 0, n = bytes / 4; i < n; ++i)
        all &= p[i];
    return (all >> 24) == 0xFF;
}

// The preview in `memory`, mapped private and read-only without a copy.
// Only a memfd of exactly this size, sealed against writing, shrinking and
// growing, is taken: nothing can change it under the mapping, and the
// helper cannot hand over more memory than the preview needs.
QImage mappedPreview(int memory, QSize size)
{
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    const qsizetype bytes = rowBytes * size.height();
    constexpr int kNeeded = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    const int seals = ::fcntl(memory, F_GET_SEALS);
    struct stat st {};
    if (seals < 0 || (seals & kNeeded) != kNeeded || ::fstat(memory, &st) != 0 ||
        st.st_size != bytes)
        return {};
    void *data = ::mmap(nullptr, size_t(bytes), PROT_READ, MAP_PRIVATE, memory, 0);
    if (data == MAP_FAILED)
        return {};
    QImage preview(static_cast<const uchar *>(data), size.width(), size.height(), rowBytes,
                   QImage::Format_RGB32, unmap, new Mapping{data, size_t(bytes)});
    if (!allOpaque(preview.constBits(), size_t(bytes)))
        return {};
    return preview;
}

QString refusal(const protocol::Answer &answer, int memory)
{
    const QString why =
        answer.reason <= quint32(kLastReason)
            ? reason::forCode(Reason(answer.reason), PixelSize{answer.width, answer.height})
            : QString();
    // A refusal carries no memory, and a size only where its words name one.
    const bool sized =
        Reason(answer.reason) == Reason::TooLarge || Reason(answer.reason) == Reason::TooSmall;
    if (why.isEmpty() || memory >= 0 || (sized && (answer.width < 0 || answer.height < 0)))
        return reason::broken();
    return why;
}

} // namespace

PictureLoadResult checkAnswer(const protocol::Answer &answer, int memory, const Screen &screen,
                              double devicePixelRatio)
{
    if (answer.magic != protocol::kAnswerMagic)
        return failure(reason::broken());
    if (answer.reason != 0)
        return failure(refusal(answer, memory));
    const PixelSize full{answer.width, answer.height};
    if (memory < 0 || full.isEmpty() || exceedsPixelLimit(full))
        return failure(reason::broken());
    const PreviewGeometry geometry = previewGeometry(full, screen, devicePixelRatio);
    if (geometry.size.isEmpty() || geometry.divisor != answer.divisor ||
        geometry.size != PixelSize{answer.previewWidth, answer.previewHeight})
        return failure(reason::broken());
    PictureLoadResult result;
    result.picture.preview =
        mappedPreview(memory, QSize(geometry.size.width, geometry.size.height));
    if (result.picture.preview.isNull())
        return failure(reason::broken());
    result.picture.preview.setDevicePixelRatio(devicePixelRatio);
    result.ok = true;
    result.picture.fullSize = QSize(full.width, full.height);
    result.picture.divisor = geometry.divisor;
    return result;
}

} // namespace mok::picture
