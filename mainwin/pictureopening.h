#pragma once

#include "twips.h"

#include <QObject>
#include <QString>

class QWidget;

namespace mok::picture {
class PictureDecoder;
struct LoadedPicture;
struct PictureLoadResult;
} // namespace mok::picture

namespace mok {

// Opening a picture for the game window: the file dialog, the load in the
// decoding helper while the window goes on as usual under the busy cursor,
// and the player told why a file cannot be used. Nothing of the window
// changes until a picture has arrived with every check passed, so a file
// that cannot be used leaves the window as a cancelled dialog would.
class PictureOpening : public QObject {
    Q_OBJECT
public:
    explicit PictureOpening(QWidget *window);
    ~PictureOpening() override;

    // Where pictures are decoded. It outlives the window, so that a helper
    // can wait ready across windows.
    void setDecoder(mok::picture::PictureDecoder *decoder) { m_decoder = decoder; }

    // The file dialog; a chosen file is opened.
    void askForPicture(const Screen &screen);
    // Starts loading `path` for a board on `screen`.
    void open(const QString &path, const Screen &screen);
    bool isLoading() const { return !m_path.isNull(); }
    // Ends the load under way; arrived() and refused() do not follow.
    void cancel();

    // The box that says why `path` cannot be used.
    void refuse(const QString &path, const QString &why);

signals:
    // A picture has come for the board.
    void arrived(const QString &path, const mok::picture::LoadedPicture &picture);
    // A load has ended without a picture; the player has been told why.
    void refused();

private:
    void onDecoded(quint64 load, const mok::picture::PictureLoadResult &result);

    QWidget *m_window;
    mok::picture::PictureDecoder *m_decoder = nullptr;
    // The file being loaded and the decoder's number for its load; the path
    // is null while no load runs.
    QString m_path;
    quint64 m_load = 0;
};

} // namespace mok
