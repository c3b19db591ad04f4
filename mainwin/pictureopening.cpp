#include "pictureopening.h"

#include "desktop.h"
#include "file_formats.h"
#include "filedialog.h"
#include "picture_decoder.h"
#include "reasons.h"

#include <QWidget>

#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace mok {

PictureOpening::PictureOpening(QWidget *window) : QObject(window), m_window(window) {}

PictureOpening::~PictureOpening()
{
    // A decoder shared with later windows must not go on with this one's load.
    cancel();
}

void PictureOpening::askForPicture(const Screen &screen)
{
    // The helper that will decode the picture starts while the player
    // chooses it.
    if (m_decoder)
        m_decoder->prepare();
    const QString path =
        mok::platform::openFileDialog(m_window, QStringLiteral(u"ファイルを開く"),
                                      mok::picture::dialogFilters<mok::platform::FileFilter>());
#ifdef __GLIBC__
    // The dialog's folder model, icons and watcher leave megabytes of freed
    // heap behind, which glibc keeps for later. The preview and the board's
    // pieces come next, more than that at once, in blocks of their own: hand
    // the heap back first, so opening does not cost the dialog and the
    // picture together.
    malloc_trim(0);
#endif
    if (!path.isEmpty())
        open(path, screen);
}

void PictureOpening::open(const QString &path, const Screen &screen)
{
    if (!m_decoder) {
        refuse(path, mok::picture::reason::decoderUnavailable());
        emit refused();
        return;
    }
    m_path = path;
    m_window->setCursor(Qt::WaitCursor);
    connect(m_decoder, &mok::picture::PictureDecoder::finished, this, &PictureOpening::onDecoded,
            Qt::UniqueConnection);
    m_load = m_decoder->load(path, screen, m_window->devicePixelRatioF());
}

void PictureOpening::cancel()
{
    if (!isLoading())
        return;
    m_decoder->cancel();
    m_path = QString();
    m_window->unsetCursor();
}

void PictureOpening::refuse(const QString &path, const QString &why)
{
    mok::platform::messageBox(m_window,
                              QStringLiteral(u"ピクチャファイルを開けませんでした。\n") + path +
                                  QStringLiteral(u"\n") + why,
                              QStringLiteral(u"ファイルを開く"));
}

void PictureOpening::onDecoded(quint64 load, const mok::picture::PictureLoadResult &result)
{
    if (!isLoading() || load != m_load)
        return; // another window's load on a shared decoder
    const QString path = std::exchange(m_path, QString());
    m_window->unsetCursor();
    if (!result.ok) {
        refuse(path, result.error);
        emit refused();
        return;
    }
    emit arrived(path, result.picture);
}

} // namespace mok
