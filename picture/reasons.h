#pragma once

#include <QSize>
#include <QString>

// Why a file gave no picture, in Japanese and fit to show the player. Every
// reader says why through these, so one cause always reads the same.
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
QString tooSlow();
QString decoderUnavailable();

// Whether `text` is one of the reasons above, word for word: the decoding
// helper's reasons are shown only when they are.
bool isKnown(const QString &text);

} // namespace mok::picture::reason
