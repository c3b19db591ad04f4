#include "labelbutton.h"

#include "accessiblebutton.h"
#include "focusring.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace mok {

LabelButton::LabelButton(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    installAccessibleButtons();
    setFocusPolicy(Qt::TabFocus);
}

void LabelButton::click()
{
    if (isEnabled())
        emit clicked();
}

void LabelButton::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (showsFocusRing(this)) {
        QPainter painter(this);
        paintFocusRing(painter, rect());
    }
}

void LabelButton::mousePressEvent(QMouseEvent *event)
{
    m_mouseDown = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LabelButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool isClick = m_mouseDown && event->button() == Qt::LeftButton &&
                         rect().contains(event->position().toPoint());
    m_mouseDown = false;
    QLabel::mouseReleaseEvent(event);
    if (isClick)
        click();
}

void LabelButton::keyPressEvent(QKeyEvent *event)
{
    noteKeyboardUse(this);
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            click();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

} // namespace mok
