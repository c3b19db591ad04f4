#pragma once

#include <QPixmap>
#include <QWidget>

// A button that is only a picture: it shows whatever face it is given and
// reports a click (press and release over it with the left button). What a
// click does to the face is up to the owner.
class ImageButton : public QWidget {
    Q_OBJECT
public:
    explicit ImageButton(QWidget *parent = nullptr);

    void setPicture(const QPixmap &picture);
    const QPixmap &picture() const { return m_picture; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_picture;
    bool m_pressed = false;
};
