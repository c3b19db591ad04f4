#include "row_sink.h"

namespace mok::picture {

RowSink::RowSink(QSize decoded, QSize wanted) : m_height(decoded.height())
{
    // The shrinker reduces in both directions at once and nothing else; a
    // picture smaller one way only is left to the loader's smooth scale,
    // whose pixels the shrinker matches.
    if (!wanted.isEmpty() && wanted.width() < decoded.width() &&
        wanted.height() < decoded.height()) {
        m_shrinker.emplace(decoded, wanted);
        if (m_shrinker->isValid())
            m_row.resize(std::size_t(decoded.width()));
    } else {
        m_image = QImage(decoded, QImage::Format_RGB32);
    }
}

bool RowSink::isValid() const
{
    return m_shrinker ? m_shrinker->isValid() && !m_row.empty() : !m_image.isNull();
}

QRgb *RowSink::nextRow()
{
    if (m_shrinker)
        return m_row.data();
    return reinterpret_cast<QRgb *>(m_image.scanLine(m_rows));
}

void RowSink::rowDone()
{
    if (m_shrinker)
        m_shrinker->addRow(m_row.data());
    ++m_rows;
}

QImage RowSink::take()
{
    if (m_rows < m_height)
        return {};
    if (m_shrinker)
        return m_shrinker->image();
    return std::move(m_image);
}

} // namespace mok::picture
