#include "picture_decoder.h"

#include "answer_check.h"
#include "fd_messages.h"
#include "reasons.h"
#include "source_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace mok::picture {

namespace {

using protocol::kSanitized;

using protocol::Answer;
using protocol::Request;

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
    if (fd > protocol::kHelperSocket)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, protocol::kHelperSocket + 1);
    ::close(fd);
    return moved;
}

// The helper's whole environment: nothing of the player's session reaches
// it but where libheif's codecs live and, in checked builds, what the
// sanitizers are told.
std::vector<QByteArray> helperEnvironment()
{
    std::vector<QByteArray> environment;
    for (const char *name :
         {"LIBHEIF_PLUGIN_PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char *value = std::getenv(name))
            environment.push_back(QByteArray(name) + '=' + value);
    }
    return environment;
}

// Why a helper that ended without an answer ended. The CPU limit is told
// by the time it used: the kernel ends the process with SIGXCPU at the soft
// limit and SIGKILL at the hard one. A helper the game itself ended (one
// that hung on after closing its socket) was misbehaving.
QString whyItEnded(int status, qint64 cpuMs, qint64 cpuLimitMs, bool endedByGame)
{
    if (endedByGame)
        return reason::broken();
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
    bool endedByGame = false;
    // Its answer, once one for this load has come, and the memfd beside it.
    bool answered = false;
    Answer answer;
    int memory = -1;

    ~Helper()
    {
        reap();
        if (memory >= 0)
            ::close(memory); // a mapping keeps what it needs
    }

    static std::unique_ptr<Helper> spawn(const QString &program);
    bool send(const Request &request, int file);
    // Waits a moment for a helper that has closed its socket to end by
    // itself, as an honest one does at once.
    void awaitEnd();
    void reap();
};

std::unique_ptr<PictureDecoder::Helper> PictureDecoder::Helper::spawn(const QString &program)
{
    int ends[2];
    if (program.isEmpty() || ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
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
    // Whatever a decoder has to say goes nowhere; a checked build keeps the
    // sanitizers' reports.
    if (!kSanitized)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childEnd, protocol::kHelperSocket);
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
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> environment = helperEnvironment();
    std::vector<char *> envp;
    for (QByteArray &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    char name[] = "mok-decode";
    char *argv[] = {name, nullptr};
    const int failed =
        posix_spawn(&helper->pid, path.constData(), &actions, &attributes, argv, envp.data());
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
    return sendWithFd(socket, &request, sizeof request, file);
}

void PictureDecoder::Helper::awaitEnd()
{
    for (int i = 0; i < 100 && pid > 0; ++i) {
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PictureDecoder::Helper::reap()
{
    if (socket >= 0) {
        ::close(socket);
        socket = -1;
    }
    if (pid <= 0)
        return;
    // A helper that has answered or gone quiet has nothing left to do.
    endedByGame = ::wait4(pid, &status, WNOHANG, &usage) != pid;
    if (endedByGame) {
        ::kill(pid, SIGKILL);
        while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
    }
    pid = -1;
}

PictureDecoder::PictureDecoder(QObject *parent)
    : QObject(parent), m_program(installedHelper()), m_timeout(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, &PictureDecoder::onTimeout);
}

PictureDecoder::~PictureDecoder()
{
    cancel();
}

QString PictureDecoder::installedHelper()
{
    if (!QCoreApplication::instance())
        return {};
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &place :
         {QStringLiteral("mok-decode"), QStringLiteral(MOK_HELPER_FROM_BINARY "/mok-decode")}) {
        const QFileInfo helper(here.filePath(place));
        if (helper.isFile() && helper.isExecutable())
            return helper.absoluteFilePath();
    }
    return {};
}

void PictureDecoder::prepare()
{
    if (!m_idle)
        m_idle = Helper::spawn(m_program);
}

bool PictureDecoder::isLoading() const
{
    return m_working != nullptr;
}

quint64 PictureDecoder::load(const QString &path, const Screen &screen, double devicePixelRatio)
{
    cancel();
    m_cost = {};
    m_screen = screen;
    m_devicePixelRatio = devicePixelRatio;
    const quint64 load = ++m_load;
    QFile file;
    if (const QString why = openPictureFile(path, file); !why.isEmpty()) {
        finishLater(failure(why));
        return load;
    }
    Request request;
    request.cpuSeconds = m_limits.cpuSeconds;
    request.load = load;
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
        return load;
    }
    m_answerNotifier = new QSocketNotifier(m_working->socket, QSocketNotifier::Read, this);
    connect(m_answerNotifier, &QSocketNotifier::activated, this, &PictureDecoder::onAnswerReady);
    m_timeout->start(m_limits.answerTimeoutMs);
    return load;
}

void PictureDecoder::finishLater(PictureLoadResult result)
{
    // Told from the event loop, as every other outcome is; a load that is
    // cancelled, or replaced, before then never hears of it.
    m_working = std::make_unique<Helper>();
    QMetaObject::invokeMethod(
        this,
        [this, load = m_load, result = std::move(result)]() mutable {
            if (m_load == load && m_working)
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

// The helper's answer is taken once its socket has been shut behind it: an
// honest helper shuts it (or ends) right after its one answer, so that the
// game sees at once that nothing else is coming, and a second message is a
// lie, however late it comes.
void PictureDecoder::onAnswerReady()
{
    Helper &helper = *m_working;
    for (;;) {
        if (!helper.answered) {
            int memory = -1;
            const ssize_t got = receiveWithFd(helper.socket, &helper.answer, sizeof helper.answer,
                                              memory, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (got <= 0) {
                helper.awaitEnd();
                endLoad();
                finish(failure(whyItEnded(helper.status, m_cost.cpuMs,
                                          qint64(m_limits.cpuSeconds) * 1000, helper.endedByGame)));
                return;
            }
            const bool whole = got == ssize_t(sizeof helper.answer) &&
                               helper.answer.magic == protocol::kAnswerMagic;
            if (whole && helper.answer.load != m_load) {
                // Not this load's: dropped, and the helper may still answer.
                if (memory >= 0)
                    ::close(memory);
                continue;
            }
            helper.memory = memory;
            helper.answered = true;
            if (!whole)
                return finishWith(failure(reason::broken()));
            continue;
        }
        char more;
        const ssize_t next = ::recv(helper.socket, &more, 1, MSG_PEEK | MSG_DONTWAIT);
        if (next < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (next > 0)
            return finishWith(failure(reason::broken())); // a second answer
        return finishWith(checkAnswer(helper.answer, helper.memory, m_screen, m_devicePixelRatio));
    }
}

void PictureDecoder::finishWith(PictureLoadResult result)
{
    endLoad();
    finish(std::move(result));
}

void PictureDecoder::onTimeout()
{
    finishWith(failure(reason::tooSlow()));
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
    emit finished(m_load, result);
}

} // namespace mok::picture
