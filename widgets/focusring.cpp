#include "focusring.h"

#include <QPainter>
#include <QWidget>

namespace mok {

bool showsFocusRing(const QWidget *widget)
{
    return widget->hasFocus() && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void noteKeyboardUse(QWidget *widget)
{
    QWidget *window = widget->window();
    if (window->testAttribute(Qt::WA_KeyboardFocusChange))
        return;
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    if (QWidget *focused = window->focusWidget())
        focused->update();
}

void paintFocusRing(QPainter &painter, const QRect &rect)
{
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect.adjusted(1, 1, -2, -2));
    painter.restore();
}

} // namespace mok
