#include "clsprogressbar.h"

#include "picturebox.h"
#include "twips.h"

#include <QPainter>

#include <stdexcept>

namespace mok {

PictureBox &clsProgressBar::target() const
{
    if (!m_target)
        throw std::logic_error("clsProgressBar: a property was written with no target bound");
    return *m_target;
}

void clsProgressBar::setTarget(PictureBox *box)
{
    m_target = box;
    if (box) {
        box->clear();
        box->setScaleWidth(static_cast<float>(m_max));
    }
    setValue(0);
}

QString clsProgressBar::text() const
{
    return m_valueShow ? QString::number(m_value) + m_unit : m_unit;
}

void clsProgressBar::setValue(int value)
{
    if (value < 0)
        value = 0;
    if (value > m_max)
        value = m_max;
    m_value = value;

    PictureBox &box = target();
    const int W = roundHalfEven(box.scaleWidth());
    const int fullH = roundHalfEven(box.scaleHeight());
    box.clear();
    QPainter painter(&box.image());
    painter.setFont(box.font());

    // White ground, then the text in the bar's colour, both drawn as they are.
    painter.fillRect(box.pixelRect({0, 0}, {qreal(W), qreal(fullH)}), Qt::white);
    const QString caption = text();
    const QSizeF size = box.textSize(caption);
    const QPointF at(m_max / 2.0 - size.width() / 2, (fullH - size.height()) / 2);
    painter.setPen(m_barColor);
    painter.drawText(QRectF(box.toPixels(at), QSizeF(1, 1)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, caption);

    // The two parts go on under not-xor: the bar's colour over white stays
    // itself, over text in the bar's colour turns white; a white back colour
    // leaves the rest as it is.
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    const int H = m_value == 0 ? 0 : fullH; // nothing is filled at 0
    const qreal v = m_value;
    switch (m_style) {
    case Horizontal:
        painter.fillRect(box.pixelRect({0, 0}, {v, qreal(H)}), m_barColor);
        painter.fillRect(box.pixelRect({v, 0}, {qreal(W), box.scaleHeight()}), m_backColor);
        break;
    case Vertical:
        painter.fillRect(box.pixelRect({0, qreal(H)}, {qreal(W), H - v}), m_barColor);
        painter.fillRect(box.pixelRect({0, 0}, {qreal(W), fullH - v}), m_backColor);
        break;
    default:
        break;
    }
    painter.end();
    box.refresh();
}

void clsProgressBar::setBarColor(const QColor &color)
{
    m_barColor = color;
    Redraw();
}

void clsProgressBar::setMax(int max)
{
    m_max = max;
    PictureBox &box = target();
    box.setScaleWidth(static_cast<float>(max));
    box.setScaleHeight(static_cast<float>(max));
    Redraw();
}

void clsProgressBar::setUnit(const QString &unit)
{
    m_unit = unit;
    Redraw();
}

void clsProgressBar::setValueShow(bool show)
{
    m_valueShow = show;
    Redraw();
}

void clsProgressBar::setBackColor(const QColor &color)
{
    m_backColor = color;
    Redraw();
}

void clsProgressBar::setStyle(int style)
{
    m_style = style;
    setMax(m_max);
    Redraw();
}

} // namespace mok
