#pragma once

#include <QObject>
#include <QPointer>

#include "frmmain.h"
#include "frmstart.h"
#include "frmversion.h"
#include "mdltask.h"
#include "picture_decoder.h"
#include "singleinstance.h"

namespace mok {

// The application controller. Owns what outlives a main window: the claim
// to be the one running copy, the splash and its hand-over, the
// notification-area icon the window moves out of the way into, the about
// window, and the main window across its lives: every Open makes it afresh,
// so the game held by the old window is gone, and only the level choice
// carries over. It shows the windows it makes.
class AppController : public QObject {
    Q_OBJECT
public:
    explicit AppController(QObject *parent = nullptr);
    // Tests state the desktop the icon lives on.
    explicit AppController(mdlTask::Desktop desktop, QObject *parent = nullptr);
    ~AppController() override;

    // Starts the game with the splash. When another copy of this user runs,
    // says so and returns false: the caller then ends without a window.
    // A picture given on the command line is opened, as if chosen in the
    // file dialog, once the opening banner has settled.
    bool start(const QString &picture = {});
    frmStart *splash() const { return m_splash; }
    frmMain *window() const { return m_window; }
    mdlTask &task() { return m_task; }
    mok::picture::PictureDecoder &decoder() { return m_decoder; }
    // The about window while it is open.
    frmVersion *about() const { return m_about; }

signals:
    // A new window has been made; it is shown right after (tests follow the
    // window through reloads).
    void windowCreated(frmMain *window);

private:
    enum class Banner { Run, AtRest };

    void handOver();
    // The level is its last piece index, as the level list holds it; a
    // negative one leaves the window's own choice.
    void showWindow(frmMain *window, int lastIndex, Banner banner);
    // Makes the window afresh with this level, then opens `path`, or asks
    // for a picture when it is empty.
    void reopen(int lastIndex, const QString &path);
    void showFreshWindow(int lastIndex, const QString &path);
    // Exit: every window goes at once, and the program ends.
    void exitProgram();

    void showAbout();
    // Puts the about window above the main window where that stayed shown.
    void stackAbout();

    SingleInstance m_instance;
    mdlTask m_task;
    // Decodes every window's pictures, with a helper waiting ready.
    mok::picture::PictureDecoder m_decoder;
    QPointer<frmStart> m_splash;
    QPointer<frmMain> m_window;
    QPointer<frmVersion> m_about;
    QString m_pictureAtStart;
};

} // namespace mok
