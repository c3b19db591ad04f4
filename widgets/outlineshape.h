#pragma once

#include <QColor>
#include <QWidget>

namespace mok {

// A rectangle drawn as a one-pixel border, transparent inside unless given a
// fill colour, and always transparent to the mouse: clicks, drops and
// pointer motion go to whatever lies beneath it.
class OutlineShape : public QWidget {
    Q_OBJECT
public:
    explicit OutlineShape(QColor borderColor, QWidget *parent = nullptr);

    // An invalid colour (the default) leaves the inside transparent.
    void setFillColor(const QColor &color);
    QColor fillColor() const { return m_fillColor; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_borderColor;
    QColor m_fillColor;
};

} // namespace mok
