#pragma once

#include <QColor>
#include <QWidget>

// A rectangle drawn as a one-pixel border, transparent inside and to the
// mouse: clicks and drops go to whatever lies beneath it.
class OutlineShape : public QWidget {
    Q_OBJECT
public:
    explicit OutlineShape(QColor borderColor, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_borderColor;
};
