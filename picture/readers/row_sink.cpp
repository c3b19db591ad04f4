#include "row_sink.h"

#include "smooth_scale.h"

#include <new>

namespace mok::picture {

namespace {

PixelSize storedSize(PixelSize preview, Orientation orientation)
{
    return turnsSideways(orientation) ? preview.transposed() : preview;
}

} // namespace

bool writePreview(const Image &decoded, PixelSize preview, Orientation orientation,
                  PreviewMemory &memory)
{
    Rgb *output = memory.allocate(preview);
    if (!output || decoded.isNull())
        return false;
    if (orientation == Orientation::Upright)
        return smoothScale(decoded, preview, output);
    Image stored = Image::allocate(storedSize(preview, orientation));
    if (stored.isNull() || !smoothScale(decoded, stored.size(), stored.row(0)))
        return false;
    writeUpright(stored, orientation, output);
    return true;
}

RowSink::RowSink(PixelSize decoded, PixelSize preview, Orientation orientation,
                 PreviewMemory &memory)
    : m_decoded(decoded), m_preview(preview), m_orientation(orientation), m_memory(memory)
{
    const PixelSize stored = storedSize(preview, orientation);
    if (decoded.isEmpty() || stored.isEmpty())
        return;
    const bool shrinks = stored.width < decoded.width && stored.height < decoded.height;
    const bool direct = stored == decoded && orientation == Orientation::Upright;
    if (!shrinks && !direct) {
        // Grown, or changed one way only: a picture no larger than the
        // screen, scaled whole at the end.
        m_whole = Image::allocate(decoded);
        m_valid = !m_whole.isNull();
        return;
    }
    m_output = memory.allocate(preview);
    if (!m_output)
        return;
    Rgb *shrunk = m_output;
    if (orientation != Orientation::Upright) {
        m_stored = Image::allocate(stored);
        if (m_stored.isNull())
            return;
        shrunk = m_stored.row(0);
    }
    if (shrinks) {
        m_shrinker.emplace(decoded, stored, shrunk);
        try {
            m_row.resize(std::size_t(decoded.width));
        } catch (const std::bad_alloc &) {
            return;
        }
        m_valid = m_shrinker->isValid();
        return;
    }
    m_valid = true; // rows go straight into place
}

Rgb *RowSink::nextRow()
{
    if (!m_whole.isNull())
        return m_whole.row(m_rows);
    if (m_shrinker)
        return m_row.data();
    Rgb *base = m_stored.isNull() ? m_output : m_stored.row(0);
    return base + std::size_t(m_rows) * std::size_t(m_decoded.width);
}

Rgb *RowSink::wholeDestination()
{
    if (!m_valid || m_shrinker || m_rows != 0)
        return nullptr;
    return nextRow();
}

void RowSink::rowDone()
{
    if (m_shrinker)
        m_shrinker->addRow(m_row.data());
    ++m_rows;
}

bool RowSink::finish()
{
    if (!m_valid || m_rows < m_decoded.height)
        return false;
    if (!m_whole.isNull())
        return writePreview(m_whole, m_preview, m_orientation, m_memory);
    if (!m_stored.isNull())
        writeUpright(m_stored, m_orientation, m_output);
    return true;
}

} // namespace mok::picture
