// The opening banner: the slogan rotating in the middle of the window once
// per run of the game, then settling in the centre.
#include "frmmain.h"

#include "imagebutton.h"

#include <QLabel>
#include <QTextBoundaryFinder>
#include <QTimer>

namespace mok {

namespace {

// How many characters the caption has: the ticks it takes to go once round.
int characterCount(const QString &caption)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, caption);
    int count = 0;
    while (characters.toNextBoundary() > 0)
        ++count;
    return count;
}

} // namespace

void frmMain::startBanner()
{
    imgOpen->setEnabled(false); // a disabled button takes no click at all
    lblOpening->show();
    m_scrollTicks = 0;
    tmrScroll->start();
}

void frmMain::tmrScroll_Timer()
{
    lblOpening->setText(rotatedCaption(lblOpening->text()));
    // One character a tick: once round, the caption is back in order.
    if (++m_scrollTicks < characterCount(lblOpening->text()))
        return;
    tmrScroll->stop();
    settleBanner();
    imgOpen->setEnabled(true);
    emit bannerSettled();
}

QString frmMain::rotatedCaption(const QString &caption)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, caption);
    const qsizetype first = characters.toNextBoundary();
    if (first <= 0)
        return caption;
    return caption.mid(first) + caption.left(first);
}

void frmMain::settleBanner()
{
    QFont banner = lblOpening->font();
    banner.setPointSizeF(20);
    lblOpening->setFont(banner);
    lblOpening->adjustSize();
    const mok::Screen s = screenTwips();
    RectF &r = twipsOf(lblOpening);
    r.width = static_cast<float>(lblOpening->width()) * s.tppX;
    r.height = static_cast<float>(lblOpening->height()) * s.tppY;
    r.top = static_cast<float>(height()) * s.tppY / 2 - r.height / 2;
    r.left = static_cast<float>(width()) * s.tppX / 2 - r.width / 2;
    applyTwips(lblOpening);
    lblOpening->show();
}

} // namespace mok
