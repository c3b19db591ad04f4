#include "reasons.h"

#include "file_formats.h"
#include "load_limits.h"

namespace mok::picture::reason {

QString notFound()
{
    return QStringLiteral(u"ファイルが見つかりません。");
}

QString nameNotRepresentable()
{
    return QStringLiteral(u"ファイル名に、このシステムで表せない文字が含まれています。");
}

QString notAFile()
{
    return QStringLiteral(u"ファイルではありません（フォルダーや特殊なファイルは開けません）。");
}

QString emptyFile()
{
    return QStringLiteral(u"ファイルが空です（0 バイト）。");
}

QString noPermission()
{
    return QStringLiteral(u"ファイルを読み取る権限がありません。");
}

QString cannotOpen()
{
    return QStringLiteral(u"ファイルを開けません。");
}

QString readFailed()
{
    return QStringLiteral(u"ファイルを最後まで読み取れませんでした。");
}

QString fileTooLarge()
{
    return QStringLiteral(u"ファイルが大きすぎます（%1 MB まで）。").arg(kMaxFileBytes >> 20);
}

QString notAPicture()
{
    return formatNames(QStringLiteral(u"・")) +
           QStringLiteral(u" のピクチャとして読み込めません。");
}

QString unsupportedJpeg()
{
    return QStringLiteral(u"この種類の JPEG（12 ビット、ロスレスなど）には対応していません。");
}

QString unreadableBmp()
{
    return QStringLiteral(
        u"この BMP は読み込めません（対応していない形式か、データが壊れています）。");
}

QString noStillImage()
{
    return QStringLiteral(
        u"このファイルには動画（連続した画像）しかなく、静止画が入っていません。");
}

QString codecMissing()
{
    return QStringLiteral(
        u"このピクチャの圧縮方式を読み込むためのデコーダーが、このシステムにありません。");
}

QString broken()
{
    return QStringLiteral(u"ピクチャのデータが壊れています。");
}

QString outOfMemory()
{
    return QStringLiteral(u"ピクチャを読み込むためのメモリーが足りません。");
}

QString tooLarge(QSize size)
{
    return QStringLiteral(u"ピクチャが大きすぎます（%1 × %2 ピクセル）。")
        .arg(size.width())
        .arg(size.height());
}

QString tooSmall(QSize size)
{
    return QStringLiteral(u"ピクチャが小さすぎます（%1 × %2 ピクセル）。")
        .arg(size.width())
        .arg(size.height());
}

QString threadsRefused()
{
    return QStringLiteral(u"システムの制限（プロセス数の上限など）で、ピクチャを読み込むためのスレ"
                          u"ッドを開始できません。");
}

QString tooSlow()
{
    return QStringLiteral(u"ピクチャの読み込みに時間がかかりすぎるため、中止しました。");
}

QString decoderUnavailable()
{
    return QStringLiteral(u"ピクチャを読み込むためのプロセスを起動できませんでした。");
}

QString forCode(Reason reason, PixelSize size)
{
    const QSize qsize(size.width, size.height);
    switch (reason) {
    case Reason::None:
        break;
    case Reason::ReadFailed:
        return readFailed();
    case Reason::NotAPicture:
        return notAPicture();
    case Reason::UnsupportedJpeg:
        return unsupportedJpeg();
    case Reason::UnreadableBmp:
        return unreadableBmp();
    case Reason::NoStillImage:
        return noStillImage();
    case Reason::CodecMissing:
        return codecMissing();
    case Reason::Broken:
        return broken();
    case Reason::OutOfMemory:
        return outOfMemory();
    case Reason::TooLarge:
        return tooLarge(qsize);
    case Reason::TooSmall:
        return tooSmall(qsize);
    case Reason::ThreadsRefused:
        return threadsRefused();
    }
    return {};
}

} // namespace mok::picture::reason
