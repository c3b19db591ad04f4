#include "picture_decoder.h"

#include "decode_protocol.h"
#include "fd_messages.h"
#include "load_limits.h"
#include "reasons.h"
#include "source_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace mok::picture {

namespace {

using picture::protocol::Answer;
using picture::protocol::Request;
namespace reason = picture::reason;

PictureLoadResult failure(const QString &why)
{
    PictureLoadResult result;
    result.error = why;
    return result;
}

qint64 milliseconds(const timeval &t)
{
    return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000;
}

// The fd as a fresh descriptor above the standard three and the helper's
// own slot, so that moving it into that slot in the child always copies it
// (a dup2() onto itself would keep its close-on-exec flag).
int movedClearOfHelperSlot(int fd)
{
    if (fd > picture::protocol::kHelperSocket)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, picture::protocol::kHelperSocket + 1);
    ::close(fd);
    return moved;
}

struct Mapping {
    void *address;
    size_t length;
};

void unmap(void *info)
{
    const auto *mapping = static_cast<Mapping *>(info);
    ::munmap(mapping->address, mapping->length);
    delete mapping;
}

// The preview the helper left in `memory`, mapped read-only without a copy.
// Only a memfd sealed against writes and shrinking can be mapped safely: the
// helper could otherwise still change it, or cut it short under the mapping.
QImage mappedPreview(int memory, QSize size)
{
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    const qsizetype bytes = rowBytes * size.height();
    const int seals = ::fcntl(memory, F_GET_SEALS);
    const int needed = F_SEAL_SHRINK | F_SEAL_WRITE;
    struct stat st = {};
    if (seals < 0 || (seals & needed) != needed || ::fstat(memory, &st) != 0 || st.st_size < bytes)
        return {};
    void *data = ::mmap(nullptr, size_t(bytes), PROT_READ, MAP_SHARED, memory, 0);
    if (data == MAP_FAILED)
        return {};
    QImage preview(static_cast<const uchar *>(data), size.width(), size.height(), rowBytes,
                   QImage::Format_RGB32, unmap, new Mapping{data, size_t(bytes)});
    // RGB32 promises opaque pixels, and the helper promised to send only
    // those; a picture that breaks the promise is not used.
    QRgb all = 0xFF000000u;
    for (int y = 0; y < size.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(preview.constScanLine(y));
        for (int x = 0; x < size.width(); ++x)
            all &= line[x];
    }
    if (qAlpha(all) != 0xFF)
        return {};
    return preview;
}

// Everything the helper says is checked: it has read whatever the player
// handed us, and may have been turned by it.
PictureLoadResult resultOf(const Answer &answer, int memory, const Screen &screen,
                           double devicePixelRatio)
{
    if (answer.magic != picture::protocol::kAnswerMagic)
        return failure(reason::broken());
    if (answer.reasonBytes > 0) {
        if (answer.reasonBytes > sizeof answer.reason)
            return failure(reason::broken());
        const QString why = QString::fromUtf8(answer.reason, qsizetype(answer.reasonBytes));
        return failure(reason::isKnown(why) ? why : reason::broken());
    }
    const QSize full(answer.fullWidth, answer.fullHeight);
    if (memory < 0 || full.isEmpty() || picture::exceedsPixelLimit(full))
        return failure(reason::broken());
    const PreviewGeometry geometry = previewGeometry(full, screen, devicePixelRatio);
    if (geometry.size.isEmpty() || geometry.divisor != answer.divisor ||
        geometry.size != QSize(answer.width, answer.height))
        return failure(reason::broken());
    PictureLoadResult result;
    result.picture.preview = mappedPreview(memory, geometry.size);
    if (result.picture.preview.isNull())
        return failure(reason::broken());
    result.picture.preview.setDevicePixelRatio(devicePixelRatio);
    result.ok = true;
    result.picture.fullSize = full;
    result.picture.divisor = geometry.divisor;
    return result;
}

// Why a helper that ended without an answer ended. The CPU limit is told
// by the time it used: the kernel ends the process with SIGXCPU at the soft
// limit and SIGKILL at the hard one.
QString whyItEnded(int status, qint64 cpuMs)
{
    const qint64 cpuLimitMs = qint64(picture::protocol::kCpuSeconds) * 1000;
    if (WIFEXITED(status))
        return WEXITSTATUS(status) == 0 ? reason::broken() : reason::decoderUnavailable();
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (signal == SIGXCPU || (signal == SIGKILL && cpuMs >= cpuLimitMs))
        return reason::tooSlow();
    if (signal == SIGKILL)
        return reason::outOfMemory(); // what else kills a decoder outright
    return reason::broken();
}

} // namespace

// One helper process and the game's end of its socket. Whoever drops it
// ends the process and reaps it.
struct PictureDecoder::Helper {
    pid_t pid = -1;
    int socket = -1;
    int status = 0;
    rusage usage{};

    ~Helper() { reap(); }

    static std::unique_ptr<Helper> spawn();
    bool send(const Request &request, int file);
    void reap();
};

std::unique_ptr<PictureDecoder::Helper> PictureDecoder::Helper::spawn()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return nullptr;
    auto helper = std::make_unique<Helper>();
    helper->socket = ends[0];
    const int childEnd = movedClearOfHelperSlot(ends[1]);
    if (childEnd < 0)
        return nullptr;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childEnd, picture::protocol::kHelperSocket);
    // Signals as a fresh program has them: SIGXCPU must end the helper even
    // if the game has set it aside.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    // The running program itself, even when its file has since been
    // replaced by an upgrade.
    const QByteArray name = QCoreApplication::instance()
                                ? QFile::encodeName(QCoreApplication::applicationFilePath())
                                : QByteArrayLiteral("mok");
    char option[sizeof picture::protocol::kHelperOption];
    std::memcpy(option, picture::protocol::kHelperOption, sizeof option);
    char *argv[] = {const_cast<char *>(name.constData()), option, nullptr};
    const int failed =
        posix_spawn(&helper->pid, "/proc/self/exe", &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(childEnd);
    if (failed != 0) {
        helper->pid = -1;
        return nullptr;
    }
    return helper;
}

bool PictureDecoder::Helper::send(const Request &request, int file)
{
    return picture::sendWithFd(socket, &request, sizeof request, file);
}

void PictureDecoder::Helper::reap()
{
    if (socket >= 0) {
        ::close(socket);
        socket = -1;
    }
    if (pid <= 0)
        return;
    // A helper that has answered or gone quiet has nothing left to do; one
    // already ending keeps the status it is ending with.
    ::kill(pid, SIGKILL);
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    pid = -1;
}

PictureDecoder::PictureDecoder(QObject *parent) : QObject(parent), m_timeout(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    m_timeout->setInterval(kAnswerTimeoutMs);
    connect(m_timeout, &QTimer::timeout, this, &PictureDecoder::onTimeout);
}

PictureDecoder::~PictureDecoder()
{
    cancel();
}

void PictureDecoder::prepare()
{
    if (!m_idle)
        m_idle = Helper::spawn();
}

bool PictureDecoder::isLoading() const
{
    return m_working != nullptr;
}

void PictureDecoder::load(const QString &path, const Screen &screen, double devicePixelRatio)
{
    cancel();
    m_result = {};
    m_cost = {};
    m_screen = screen;
    m_devicePixelRatio = devicePixelRatio;
    QFile file;
    if (const QString why = picture::openPictureFile(path, file); !why.isEmpty()) {
        finishLater(failure(why));
        return;
    }
    Request request;
    request.widthTwips = screen.widthTwips;
    request.heightTwips = screen.heightTwips;
    request.tppX = screen.tppX;
    request.tppY = screen.tppY;
    request.devicePixelRatio = devicePixelRatio;
    // The waiting helper may have gone (killed from outside, or it could
    // not put up its fences); a fresh one gets one more try.
    for (int attempt = 0; attempt < 2 && !m_working; ++attempt) {
        prepare();
        std::unique_ptr<Helper> helper = std::move(m_idle);
        if (helper && helper->send(request, file.handle()))
            m_working = std::move(helper);
    }
    if (!m_working) {
        finishLater(failure(reason::decoderUnavailable()));
        return;
    }
    m_answerNotifier = new QSocketNotifier(m_working->socket, QSocketNotifier::Read, this);
    connect(m_answerNotifier, &QSocketNotifier::activated, this, &PictureDecoder::onAnswerReady);
    m_timeout->start();
}

void PictureDecoder::finishLater(PictureLoadResult result)
{
    // Told from the event loop, as every other outcome is; a load that is
    // cancelled, or replaced, before then never hears of it.
    m_working = std::make_unique<Helper>();
    QMetaObject::invokeMethod(
        this,
        [this, load = m_working.get(), result = std::move(result)]() mutable {
            if (m_working.get() == load)
                finish(std::move(result));
        },
        Qt::QueuedConnection);
}

void PictureDecoder::cancel()
{
    m_timeout->stop();
    delete m_answerNotifier;
    m_answerNotifier = nullptr;
    // A queued outcome checks for its load, so it dies with it.
    m_working.reset();
}

void PictureDecoder::onAnswerReady()
{
    Answer answer;
    int memory = -1;
    const ssize_t got =
        picture::receiveWithFd(m_working->socket, &answer, sizeof answer, memory, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    const bool answered = got == ssize_t(sizeof answer);
    PictureLoadResult result;
    if (answered)
        result = resultOf(answer, memory, m_screen, m_devicePixelRatio);
    if (memory >= 0)
        ::close(memory); // a mapping keeps what it needs
    endLoad();
    if (!answered)
        result = failure(whyItEnded(m_working->status, m_cost.cpuMs));
    finish(std::move(result));
}

void PictureDecoder::onTimeout()
{
    endLoad();
    finish(failure(reason::tooSlow()));
}

void PictureDecoder::endLoad()
{
    m_timeout->stop();
    delete m_answerNotifier;
    m_answerNotifier = nullptr;
    m_working->reap();
    m_cost.peakKb = m_working->usage.ru_maxrss;
    m_cost.cpuMs =
        milliseconds(m_working->usage.ru_utime) + milliseconds(m_working->usage.ru_stime);
}

void PictureDecoder::finish(PictureLoadResult result)
{
    m_working.reset();
    m_result = std::move(result);
    // The next helper starts once the board has been drawn, not while it is.
    QTimer::singleShot(kRespawnDelayMs, this, &PictureDecoder::prepare);
    emit finished();
}

} // namespace mok::picture
