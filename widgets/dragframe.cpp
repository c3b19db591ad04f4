#include "dragframe.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <array>

namespace {

constexpr int kDash = 6;
constexpr int kGap = 3;

// Top, bottom, left and right sides of `frame`, the corners in the first two.
std::array<QRect, 4> sidesOf(const QRect &frame)
{
    const int t = DragFrame::kThickness;
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

// One period of the dash pattern: kDash black pixels, then kGap white.
QBrush dashes(bool across)
{
    QImage period(across ? kDash + kGap : 1, across ? 1 : kDash + kGap, QImage::Format_RGB32);
    for (int i = 0; i < kDash + kGap; ++i)
        period.setPixel(across ? i : 0, across ? 0 : i, i < kDash ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return QBrush(period);
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

void DragFrame::begin(const QRect &frame)
{
    m_frame = frame;
    update(borderOf(m_frame));
}

void DragFrame::moveTo(const QPoint &topLeft)
{
    if (m_frame.isNull() || topLeft == m_frame.topLeft())
        return;
    const QRegion old = borderOf(m_frame);
    m_frame.moveTopLeft(topLeft);
    update(old.united(borderOf(m_frame)));
}

void DragFrame::end()
{
    update(borderOf(m_frame));
    m_frame = QRect();
}

void DragFrame::paintEvent(QPaintEvent *event)
{
    if (m_frame.isNull())
        return;
    // Black dashes on white, so the outline shows over any picture and over
    // the gradient alike. The dashes are counted from the frame's corner, so
    // they move with it: the brush's pattern starts there. One patterned
    // fill per side puts them exactly on the outline's pixels, which a
    // dashed pen's joins do not, and costs far less than a fill per dash.
    static const QBrush across = dashes(true);
    static const QBrush down = dashes(false);
    QPainter painter(this);
    painter.setBrushOrigin(m_frame.topLeft());
    const QRect exposed = event->rect();
    for (const QRect &side : sidesOf(m_frame)) {
        if (!side.intersects(exposed))
            continue;
        // Each side as its own clip: see paintRectByRect for why.
        painter.setClipRect(side);
        painter.fillRect(side, side.width() > side.height() ? across : down);
    }
}
