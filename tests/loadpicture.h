#pragma once

// Loads a picture exactly as the game does: the file opened with the game's
// checks, decoded by the real mok-decode behind its fences, the answer
// checked and mapped. The test programs sit beside the game and its helper.
#include "picture_decoder.h"

#include <QEventLoop>
#include <QTimer>

inline mok::picture::PictureLoadResult loadPicture(const QString &path, const mok::Screen &screen,
                                                   double devicePixelRatio = 1)
{
    mok::picture::PictureDecoder decoder;
    mok::picture::PictureLoadResult result;
    result.error = QStringLiteral("no answer in time");
    QEventLoop waiting;
    QObject::connect(&decoder, &mok::picture::PictureDecoder::finished, &waiting,
                     [&](quint64, const mok::picture::PictureLoadResult &r) {
                         result = r;
                         waiting.quit();
                     });
    QTimer::singleShot(60000, &waiting, &QEventLoop::quit);
    decoder.load(path, screen, devicePixelRatio);
    waiting.exec();
    return result;
}
