#pragma once

#include "clsprogressbar.h"

#include <QColor>
#include <QTime>
#include <QWidget>

#include <functional>

class QLabel;
class QTimer;

namespace mok {

class PictureBox;

// The splash window the game starts with: the logo above a thin loading
// bar that fills in uneven steps taken from the clock. Nothing is loaded
// meanwhile; at 100 it says so, and its owner takes it down and brings up
// the main window.
class frmStart : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<QTime()>;

    explicit frmStart(Clock clock = &QTime::currentTime, QWidget *parent = nullptr);

    // One step of the bar; at 100 the timer stops and loaded() is emitted.
    void tmrLoading_Timer();

    const clsProgressBar &progress() const { return pbLoading; }

    // The frame the window draws round its client area when no window
    // manager draws one.
    static constexpr int kOwnFrameWidth = 1;
    static inline const QColor kOwnFrameColour{0x40, 0x40, 0x40};
    // The width of the frame it draws itself: 0 when the window manager
    // draws it.
    int ownFrame() const { return m_ownFrame; }

signals:
    void loaded();
    // The splash has been painted for the first time (queued after the
    // paint, so it is on its way to the screen).
    void firstPainted();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Binds the bar and gives tmrLoading its interval; runs once, from the
    // constructor, before the window is shown.
    void Form_Load();
    // The last digit of the clock's seconds, 0 to 9.
    int secondsDigit() const;
    void startLoading();

    Clock m_clock;
    QLabel *imgTM = nullptr;
    PictureBox *picLoading = nullptr;
    QTimer *tmrLoading = nullptr;
    clsProgressBar pbLoading;
    int m_ownFrame = 0;
    bool m_painted = false;
    bool m_loadingStarted = false;
};

} // namespace mok
