#include "frmstart.h"

#include "asset_pixmap.h"
#include "desktop.h"
#include "geometry.h"
#include "picturebox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace mok {

frmStart::frmStart(Clock clock, QWidget *parent) : QWidget(parent), m_clock(std::move(clock))
{
    // A thin fixed frame and nothing else: no caption, no buttons. Where no
    // window manager draws it, the window draws it round its client area.
    setObjectName(QStringLiteral("frmStart"));
    setWindowTitle(QString());
    if (!mok::platform::askForThinFrame(this))
        m_ownFrame = kOwnFrameWidth;
    setContentsMargins(m_ownFrame, m_ownFrame, m_ownFrame, m_ownFrame);
    setFont(mok::platform::uiFont(9));
    setAttribute(Qt::WA_OpaquePaintEvent);

    const mok::Screen s = mok::platform::primaryScreen();
    const QRect client = mok::toPixels(RectF{0, 0, 1710, 810}, s);
    setFixedSize(client.size().grownBy(contentsMargins()));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    const QPoint origin = contentsRect().topLeft();

    imgTM = new QLabel(this);
    imgTM->setObjectName(QStringLiteral("imgTM"));
    imgTM->setPixmap(mok::assetPixmap(QStringLiteral("logo")));
    imgTM->setGeometry(mok::toPixels(RectF{120, 180, 1515, 480}, s).translated(origin));

    const RectF bar{0, 750, 1695, 60};
    picLoading = new PictureBox(this);
    picLoading->setObjectName(QStringLiteral("picLoading"));
    picLoading->setGeometry(mok::toPixels(bar, s).translated(origin));
    picLoading->setScaleWidth(bar.width); // in twips
    picLoading->setScaleHeight(bar.height);

    // Idle until Form_Load gives it its interval.
    tmrLoading = new QTimer(this);
    tmrLoading->setObjectName(QStringLiteral("tmrLoading"));
    connect(tmrLoading, &QTimer::timeout, this, &frmStart::tmrLoading_Timer);

    Form_Load();
}

int frmStart::secondsDigit() const
{
    return m_clock().second() % 10;
}

void frmStart::Form_Load()
{
    pbLoading.setTarget(picLoading);
    pbLoading.setValueShow(false);
    pbLoading.setUnit(QString()); // no number, no unit: a bare bar
    tmrLoading->setInterval(1 + secondsDigit());
    // The bar runs from the splash's first paint, so it is always seen, even
    // when ticks of a millisecond would outrun the window's first exposure.
    // A splash that is never exposed (mapped on another desktop) still runs
    // after a second.
    connect(this, &frmStart::firstPainted, this, &frmStart::startLoading);
    QTimer::singleShot(1000, this, &frmStart::startLoading);
}

void frmStart::startLoading()
{
    if (m_loadingStarted)
        return;
    m_loadingStarted = true;
    tmrLoading->start();
}

void frmStart::tmrLoading_Timer()
{
    pbLoading.setValue(secondsDigit() + pbLoading.value() + 8);
    if (pbLoading.value() != 100)
        return;
    tmrLoading->stop();
    emit loaded();
}

void frmStart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (m_ownFrame > 0) {
        painter.setPen(
            QPen(kOwnFrameColour, m_ownFrame, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        const qreal half = m_ownFrame / 2.0;
        painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
    }
    if (!m_painted) {
        m_painted = true;
        QMetaObject::invokeMethod(this, &frmStart::firstPainted, Qt::QueuedConnection);
    }
}

} // namespace mok
