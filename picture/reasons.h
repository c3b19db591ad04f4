#pragma once

#include "outcome.h"

#include <QSize>
#include <QString>

// Why a file gave no picture, in Japanese and fit to show the player. The
// readers say why with a number (Reason), which only the game turns into
// words, here, so one cause always reads the same.
namespace mok::picture::reason {

QString notFound();
QString nameNotRepresentable();
QString notAFile();
QString emptyFile();
QString noPermission();
QString cannotOpen();
QString readFailed();
QString fileTooLarge();
QString notAPicture();
QString unsupportedJpeg();
QString unreadableBmp();
QString noStillImage();
QString codecMissing();
QString broken();
QString outOfMemory();
QString tooLarge(QSize size);
QString tooSmall(QSize size);
QString threadsRefused();
QString tooSlow();
QString decoderUnavailable();

// The words for a reason the decoding helper gave as a number, with the size
// it names; nothing for a number that is no reason.
QString forCode(Reason reason, PixelSize size);

} // namespace mok::picture::reason
