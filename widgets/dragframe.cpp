#include "dragframe.h"

#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int kDash = 6;
constexpr int kGap = 3;

// One side of the outline. It paints the part of the whole outline that
// falls inside it, so the dashes run on round the corners.
class Strip : public QWidget {
public:
    Strip(const DragFrame &owner, QWidget *parent) : QWidget(parent), m_owner(owner)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // The pens below cover every pixel of a strip.
        setAttribute(Qt::WA_OpaquePaintEvent);
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        // White under black dashes, so the outline shows over any picture
        // and over the gradient alike. The dashes are counted from the
        // frame's corner, so they move with it and run on round the corners.
        // Filled rectangles, not a dashed pen: stroking dashes costs more
        // than all the rest of a drag step.
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        const QRect frame = m_owner.frame();
        const QRect strip = geometry();
        const bool across = strip.width() > strip.height();
        const int from = across ? frame.left() : frame.top();
        const int to = across ? frame.right() : frame.bottom();
        for (int d = from; d <= to; d += kDash + kGap) {
            const QRect dash = across ? QRect(d, strip.top(), kDash, strip.height())
                                      : QRect(strip.left(), d, strip.width(), kDash);
            const QRect r = dash.intersected(strip);
            if (!r.isEmpty())
                painter.fillRect(r.translated(-strip.topLeft()), Qt::black);
        }
    }

private:
    const DragFrame &m_owner;
};

// Top, bottom, left and right sides of `frame`, the corners in the first two.
std::array<QRect, 4> sidesOf(const QRect &frame)
{
    const int t = DragFrame::kThickness;
    const int w = frame.width();
    const int h = frame.height();
    const int across = std::min(t, h);
    const int down = std::max(0, h - 2 * t);
    return {QRect(frame.left(), frame.top(), w, across),
            QRect(frame.left(), frame.bottom() - across + 1, w, across),
            QRect(frame.left(), frame.top() + t, std::min(t, w), down),
            QRect(frame.right() - std::min(t, w) + 1, frame.top() + t, std::min(t, w), down)};
}

} // namespace

DragFrame::DragFrame(QWidget *parent) : QObject(parent)
{
    for (QWidget *&strip : m_strips)
        strip = new Strip(*this, parent);
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
    placeStrips();
    for (QWidget *strip : m_strips) {
        strip->raise();
        strip->setVisible(!strip->geometry().isEmpty());
    }
}

void DragFrame::moveTo(const QPoint &topLeft)
{
    if (m_frame.isNull() || topLeft == m_frame.topLeft())
        return;
    m_frame.moveTopLeft(topLeft);
    placeStrips();
}

void DragFrame::end()
{
    for (QWidget *strip : m_strips)
        strip->hide();
    m_frame = QRect();
}

void DragFrame::placeStrips()
{
    const std::array<QRect, 4> sides = sidesOf(m_frame);
    for (std::size_t i = 0; i < sides.size(); ++i)
        m_strips[i]->setGeometry(sides[i]);
}
