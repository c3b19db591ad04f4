#pragma once

#include <QLabel>

namespace mok {

// A caption that is a button: to the eye a label, drawn exactly as one; a
// left click, Space or Return presses it, and assistive technology reads it
// as a push button named by its caption, with one press action. Tab reaches
// it; the mouse does not move the focus.
class LabelButton : public QLabel {
    Q_OBJECT
public:
    explicit LabelButton(const QString &text, QWidget *parent = nullptr);

public slots:
    void click();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_mouseDown = false;
};

} // namespace mok
