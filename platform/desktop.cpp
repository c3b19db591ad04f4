#include "desktop.h"

#include "statusnotifieritem.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVarLengthArray>
#include <QWidget>
#include <QWindow>

#ifdef MOK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

#include <utility>

namespace mok::platform {

namespace {

DesktopOpener &desktopOpener()
{
    static DesktopOpener opener;
    return opener;
}

// What the player reads when the desktop could not open `url`: what was to
// be opened, and where, so it can be opened by hand.
QString cannotOpenMessage(const QUrl &url)
{
    if (url.isLocalFile())
        return QStringLiteral(u"次のファイルを開くことができませんでした。\n") +
               QDir::toNativeSeparators(url.toLocalFile()) +
               QStringLiteral(u"\nブラウザーなどで直接開いてください。");
    if (url.scheme() == u"mailto")
        return QStringLiteral(u"メールソフトを起動できませんでした。\n") + url.path() +
               QStringLiteral(u"\nこのアドレスへは、お使いのメールソフトから送ってください。");
    return QStringLiteral(u"次のアドレスを開くことができませんでした。\n") + url.toString() +
           QStringLiteral(u"\nブラウザーで直接開いてください。");
}

#ifdef MOK_HAVE_XCB
struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

// The window a root or check window names in _NET_SUPPORTING_WM_CHECK, or
// XCB_NONE.
xcb_window_t supportingWmCheck(xcb_connection_t *c, xcb_window_t window, xcb_atom_t atom)
{
    const std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return XCB_NONE;
    return *static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
}

// An EWMH window manager names a window of its own on the root window, and
// that window names itself; a stale name left by a window manager that has
// gone points nowhere.
bool x11WindowManagerRunning(xcb_connection_t *c)
{
    static const char name[] = "_NET_SUPPORTING_WM_CHECK";
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr));
    if (!atom || atom->atom == XCB_NONE)
        return false;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        const xcb_window_t check = supportingWmCheck(c, it.data->root, atom->atom);
        if (check != XCB_NONE && supportingWmCheck(c, check, atom->atom) == check)
            return true;
    }
    return false;
}

// Motif's window-manager hints, which every X11 window manager still reads
// for the decorations it draws round a window.
void setMotifBorderOnly(xcb_connection_t *c, xcb_window_t window)
{
    static const char name[] = "_MOTIF_WM_HINTS";
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr));
    if (!atom || atom->atom == XCB_NONE)
        return;
    enum : uint32_t {
        HintsFunctions = 1u << 0,
        HintsDecorations = 1u << 1,
        FuncMove = 1u << 2,
        DecorBorder = 1u << 1,
    };
    // flags, functions, decorations, input mode, status: moved, never
    // resized or closed by the frame; a border and no title bar.
    const uint32_t hints[5] = {HintsFunctions | HintsDecorations, FuncMove, DecorBorder, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom->atom, atom->atom, 32, 5, hints);
    xcb_flush(c);
}

// Qt writes "start iconic" into a window's WM_HINTS when it minimises it,
// and leaves it there when the window manager gives the window back; shown
// again after it was hidden, the window would come up iconic, out of sight.
void startNormal(xcb_connection_t *c, xcb_window_t window)
{
    const std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 12)
        return;
    const auto *value = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    QVarLengthArray<uint32_t, 9> hints(value,
                                       value + xcb_get_property_value_length(reply.get()) / 4);
    enum : uint32_t { StateHint = 1u << 1, NormalState = 1 };
    if ((hints[0] & StateHint) && hints[2] == NormalState)
        return;
    hints[0] |= StateHint;
    hints[2] = NormalState;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                        uint32_t(hints.size()), hints.data());
}

// The X11 connection when the game runs on X11, else null.
xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != u"xcb")
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Whether an XEmbed notification area holds its selection now. Qt remembers
// one it has found even after it has gone, and would dock the icon into
// nothing.
bool x11TrayOwned(xcb_connection_t *c)
{
    int screen = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem;
         xcb_screen_next(&it), ++screen) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> atom(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr));
        if (!atom || atom->atom == XCB_NONE)
            continue;
        const std::unique_ptr<xcb_get_selection_owner_reply_t, FreeDeleter> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
        if (owner && owner->owner != XCB_NONE)
            return true;
    }
    return false;
}

#endif

} // namespace

float twipsPerPixel(const QScreen *screen)
{
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<float>(1440.0 / (dpi > 0 ? dpi : 96.0));
}

Screen primaryScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    const float tpp = twipsPerPixel(screen);
    return Screen::fromPixels(size.width(), size.height(), tpp, tpp);
}

void coverPrimaryScreen(QWidget *window)
{
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    // Without a window manager a full-screen request alone leaves a small
    // window, so the geometry is set as well.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->setGeometry(screen->geometry());
    window->setWindowState(window->windowState() | Qt::WindowFullScreen);
}

void setTopmost(QWidget *window, bool topmost)
{
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != topmost)
        window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost); // hides a shown window
#ifdef MOK_HAVE_XCB
    if (xcb_connection_t *c = x11Connection(); c && window->isHidden() && window->windowHandle())
        startNormal(c, static_cast<xcb_window_t>(window->windowHandle()->winId()));
#endif
    window->show();
}

void keepOnTop(QWidget *window)
{
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

bool askForThinFrame(QWidget *window)
{
#ifdef MOK_HAVE_XCB
    // Qt has no flags for a border without a title bar; the window manager
    // is asked directly, once Qt has made the window and set its own hints.
    if (xcb_connection_t *c = x11Connection(); c && canMinimise()) {
        window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
        setMotifBorderOnly(c, static_cast<xcb_window_t>(window->winId()));
        return true;
    }
#endif
    window->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    return false;
}

OwnFrame askForTitleOnlyFrame(QWidget *window)
{
    if (!canMinimise()) {
        window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        return {};
    }
    return {true, askForThinFrame(window) ? 0 : 1};
}

void messageBox(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void messageBoxOnTop(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

DesktopOpener setDesktopOpener(DesktopOpener opener)
{
    return std::exchange(desktopOpener(), std::move(opener));
}

bool openWithDesktop(QWidget *parent, const QUrl &url)
{
    const DesktopOpener &opener = desktopOpener();
    const bool opened = opener ? opener(url) : QDesktopServices::openUrl(url);
    if (!opened)
        messageBox(parent, cannotOpenMessage(url), QStringLiteral(u"開く"));
    return opened;
}

QStringList programFileCandidates(const QString &name, const QString &programDir)
{
    const QDir dir(programDir);
    return {QDir::cleanPath(dir.filePath(name)),
            QDir::cleanPath(dir.filePath(QStringLiteral("../share/mok/")) + u'/' + name)};
}

QString findProgramFile(const QString &name, QStringList *lookedIn)
{
    const QStringList candidates =
        programFileCandidates(name, QCoreApplication::applicationDirPath());
    if (lookedIn)
        *lookedIn = candidates;
    for (const QString &path : candidates) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool hasNotificationArea()
{
    // Qt's own answer (QSystemTrayIcon::isSystemTrayAvailable) is not asked:
    // asking makes Qt settle for good which kind of icon the program uses.
    if (StatusNotifierItem::hostRunning())
        return true;
#ifdef MOK_HAVE_XCB
    if (xcb_connection_t *c = x11Connection())
        return x11TrayOwned(c);
#endif
    return false;
}

bool canMinimise()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == u"xcb") {
#ifdef MOK_HAVE_XCB
        if (xcb_connection_t *c = x11Connection())
            return x11WindowManagerRunning(c);
#endif
        return false;
    }
    // No one to give a window back on these; every other desktop has its
    // window manager built in.
    return platform != u"offscreen" && platform != u"minimal" && platform != u"vnc" &&
           platform != u"linuxfb" && platform != u"eglfs";
}

bool minimise(QWidget *window)
{
    const bool wasActive = window->isActiveWindow();
    window->showMinimized();
    // An X11 window manager unmaps a window it minimises; a Wayland
    // compositor, which never says so, takes the focus away from it. The
    // answer comes within moments; nothing the player does meanwhile is
    // taken before it.
    const auto minimised = [window, wasActive] {
        const QWindow *handle = window->windowHandle();
        return !handle || !handle->isExposed() || (wasActive && !window->isActiveWindow());
    };
    QTimer wake;
    wake.start(10);
    for (const QDeadlineTimer deadline(kMinimiseAnswerMs); !minimised();) {
        if (deadline.hasExpired()) {
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QFont uiFont(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral(u"MS UI Gothic"), QStringLiteral(u"IPAPGothic"),
                      QStringLiteral(u"IPAGothic"), QStringLiteral(u"Noto Sans CJK JP"),
                      QStringLiteral(u"VL PGothic")});
    font.setPointSizeF(pointSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void useFontHints()
{
    QFont font = QGuiApplication::font();
    font.setHintingPreference(QFont::PreferFullHinting);
    QGuiApplication::setFont(font);
}

} // namespace mok::platform
