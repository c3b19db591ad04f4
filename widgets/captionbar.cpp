#include "captionbar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace mok {

namespace {
constexpr int kPadding = 4;
} // namespace

CaptionBar::CaptionBar(QWidget *parent) : QWidget(parent)
{
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The title it shows is the window's, and changes there.
    window()->installEventFilter(this);
}

QSize CaptionBar::sizeHint() const
{
    return {window()->width(), fontMetrics().height() + 2 * kPadding};
}

bool CaptionBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window() && event->type() == QEvent::WindowTitleChange)
        update();
    return QWidget::eventFilter(watched, event);
}

bool CaptionBar::event(QEvent *event)
{
    // The window passes its activation on to its children.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        update();
    return QWidget::event(event);
}

void CaptionBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), isActiveWindow() ? kActive : kInactive);
    painter.setPen(Qt::white);
    const QRect text = rect().adjusted(kPadding, 0, -kPadding, 0);
    painter.drawText(
        text, Qt::AlignLeft | Qt::AlignVCenter,
        fontMetrics().elidedText(window()->windowTitle(), Qt::ElideRight, text.width()));
}

void CaptionBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    window()->activateWindow();
    // The window manager moves the window as it moves any other; where
    // there is none that takes the request, the bar follows the pointer.
    QWindow *handle = window()->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    m_grab = window()->pos() - event->globalPosition().toPoint();
}

void CaptionBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_grab)
        window()->move(event->globalPosition().toPoint() + *m_grab);
}

void CaptionBar::mouseReleaseEvent(QMouseEvent *)
{
    m_grab.reset();
}

} // namespace mok
