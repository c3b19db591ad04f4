#include "dragframe.h"

#include "devicepixels.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <array>

namespace mok {

namespace {

constexpr int kDash = 6;
constexpr int kGap = 3;

// Top, bottom, left and right sides of `frame`, `t` pixels thick, the
// corners in the first two.
std::array<QRect, 4> sidesOf(const QRect &frame, int t = DragFrame::kThickness)
{
    const int w = frame.width();
    const int h = frame.height();
    const int across = std::min(t, h);
    const int thick = std::min(t, w);
    const int down = std::max(0, h - 2 * t);
    return {QRect(frame.left(), frame.top(), w, across),
            QRect(frame.left(), frame.bottom() - across + 1, w, across),
            QRect(frame.left(), frame.top() + t, thick, down),
            QRect(frame.right() - thick + 1, frame.top() + t, thick, down)};
}

// A side of the outline, `length` pixels long and `thickness` across, in
// dashes counted from `phase` pixels past the frame's corner: `dash` black
// pixels, then `gap` white.
QImage dashedSide(int length, int thickness, int phase, Qt::Orientation along, int dash = kDash,
                  int gap = kGap)
{
    if (length <= 0 || thickness <= 0)
        return {};
    const bool across = along == Qt::Horizontal;
    QImage side(across ? length : thickness, across ? thickness : length, QImage::Format_RGB32);
    for (int i = 0; i < length; ++i) {
        const QRgb colour = (i + phase) % (dash + gap) < dash ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        for (int j = 0; j < thickness; ++j)
            side.setPixel(across ? i : j, across ? j : i, colour);
    }
    return side;
}

} // namespace

DragFrame::DragFrame(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(parent->rect());
    parent->installEventFilter(this);
}

bool DragFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return false;
}

QRegion DragFrame::borderOf(const QRect &frame)
{
    QRegion border;
    for (const QRect &side : sidesOf(frame))
        border += side;
    return border;
}

QRegion DragFrame::dirtyRegion(const QRect &frame) const
{
    // On a high-density screen the outline is whole device pixels thick,
    // which may reach into the next logical pixel.
    if (devicePixelRatioF() == 1.0)
        return borderOf(frame);
    QRegion border;
    for (const QRect &side : sidesOf(frame, kThickness + 1))
        border += side;
    return border;
}

void DragFrame::makeSides(const QRect &frame, int thickness, double ratio)
{
    if (frame.size() == m_sidesFor && thickness == m_sidesThickness)
        return;
    // The dashes are counted from the frame's corner, so they move with it:
    // the sides are drawn once per size and copied wherever it goes.
    const std::array<QRect, 4> sides = sidesOf(frame, thickness);
    const int dash = std::max(1, static_cast<int>(kDash * ratio + 0.5));
    const int gap = std::max(1, static_cast<int>(kGap * ratio + 0.5));
    m_across = dashedSide(sides[0].width(), sides[0].height(), 0, Qt::Horizontal, dash, gap);
    m_down = dashedSide(sides[2].height(), sides[2].width(), sides[2].top() - frame.top(),
                        Qt::Vertical, dash, gap);
    m_sidesFor = frame.size();
    m_sidesThickness = thickness;
}

void DragFrame::begin(const QRect &frame)
{
    m_frame = frame;
    if (devicePixelRatioF() == 1.0)
        makeSides(frame, kThickness, 1.0);
    update(dirtyRegion(m_frame));
}

void DragFrame::moveTo(const QPoint &topLeft)
{
    if (m_frame.isNull() || topLeft == m_frame.topLeft())
        return;
    const QRegion old = dirtyRegion(m_frame);
    m_frame.moveTopLeft(topLeft);
    update(old.united(dirtyRegion(m_frame)));
}

void DragFrame::end()
{
    update(dirtyRegion(m_frame));
    m_frame = QRect();
}

void DragFrame::paintEvent(QPaintEvent *event)
{
    if (m_frame.isNull())
        return;
    // Black dashes on white, so the outline shows over any picture and over
    // the gradient alike, exactly on the outline's pixels (a dashed pen's
    // joins are not). Each side is copied under a clip of its own: see
    // paintRectByRect for why.
    // On a high-density screen it is drawn in device pixels, so that each
    // side is equally thick wherever the frame lies.
    QPainter painter(this);
    QRect frame = m_frame;
    QRect exposed = event->rect();
    int thickness = kThickness;
    if (painter.device()->devicePixelRatioF() != 1.0) {
        const DevicePixels device(painter, this);
        frame = device.rect(m_frame);
        exposed = device.rect(exposed).adjusted(-1, -1, 1, 1);
        thickness = device.line(kThickness);
        makeSides(frame, thickness, device.ratio());
    }
    const std::array<QRect, 4> sides = sidesOf(frame, thickness);
    for (std::size_t i = 0; i < sides.size(); ++i) {
        const QRect &side = sides[i];
        if (side.isEmpty() || !side.intersects(exposed))
            continue;
        painter.setClipRect(side);
        painter.drawImage(side.topLeft(), i < 2 ? m_across : m_down);
    }
}

} // namespace mok
