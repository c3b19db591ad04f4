#include "picturebox.h"
#include "twips.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace mok {

namespace {

// The scale's numbers are rounded as the game rounds every conversion.
int nearestPixel(qreal v)
{
    return mok::roundHalfEven(v);
}

} // namespace

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // the image covers every pixel
}

float PictureBox::scaleWidth() const
{
    return m_scaleWidth > 0 ? m_scaleWidth : static_cast<float>(width());
}

float PictureBox::scaleHeight() const
{
    return m_scaleHeight > 0 ? m_scaleHeight : static_cast<float>(height());
}

void PictureBox::setScaleWidth(float width)
{
    m_scaleWidth = width;
}

void PictureBox::setScaleHeight(float height)
{
    m_scaleHeight = height;
}

void PictureBox::setBackColor(const QColor &color)
{
    m_backColor = color;
}

QImage &PictureBox::image()
{
    fitSurface();
    return m_image;
}

void PictureBox::clear()
{
    image().fill(m_backColor);
    update();
}

QPointF PictureBox::toPixels(QPointF point) const
{
    return {point.x() * width() / scaleWidth(), point.y() * height() / scaleHeight()};
}

QRect PictureBox::pixelRect(QPointF corner1, QPointF corner2) const
{
    const QPointF a = toPixels(corner1), b = toPixels(corner2);
    const int left = nearestPixel(std::min(a.x(), b.x()));
    const int right = nearestPixel(std::max(a.x(), b.x()));
    const int top = nearestPixel(std::min(a.y(), b.y()));
    const int bottom = nearestPixel(std::max(a.y(), b.y()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QSizeF PictureBox::textSize(const QString &text) const
{
    const QFontMetricsF metrics(font());
    const qreal w = width() > 0 ? metrics.horizontalAdvance(text) * scaleWidth() / width() : 0;
    const qreal h = height() > 0 ? metrics.height() * scaleHeight() / height() : 0;
    return {w, h};
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), m_image, event->rect());
}

void PictureBox::resizeEvent(QResizeEvent *)
{
    fitSurface();
}

void PictureBox::fitSurface()
{
    if (m_image.size() == size())
        return;
    // What was drawn stays where it was; new area shows the back colour.
    QImage resized(size(), QImage::Format_RGB32);
    resized.fill(m_backColor);
    if (!m_image.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, m_image);
    }
    m_image = resized;
}

} // namespace mok
