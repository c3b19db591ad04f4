#include "decode_helper.h"

#include "decode_protocol.h"
#include "fd_messages.h"
#include "reasons.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace mok::picture {

namespace {

using protocol::kHelperSocket;

#ifdef MOK_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Address space: the largest decode the limits allow (libjpeg's working
// memory, or one picture decoded whole) with the preview beside it and the
// program's own libraries mapped. AddressSanitizer reserves terabytes of
// shadow memory, so its builds go without this fence.
constexpr rlim_t kAddressSpaceBytes = rlim_t(700) << 20;
// At the soft CPU limit the kernel sends SIGXCPU, which ends the process;
// the hard limit is the backstop.
constexpr rlim_t kCpuSeconds = protocol::kCpuSeconds;

bool limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit value{soft, hard};
    return ::setrlimit(resource, &value) == 0;
}

bool applyResourceLimits()
{
    return (kSanitized || limit(RLIMIT_AS, kAddressSpaceBytes, kAddressSpaceBytes)) &&
           limit(RLIMIT_CPU, kCpuSeconds, kCpuSeconds + 2) && limit(RLIMIT_CORE, 0, 0);
}

// Everything a decode needs once the file is open, and nothing that reaches
// outside the process: no open(), no sockets of its own, no exec, no new
// processes (threads, which Qt's image conversions may start, are allowed).
// Anything else ends the process at once.
bool applySyscallFilter()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter)
        return false;
    bool ok = true;
    const auto allow = [&](int call) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    };
    const auto allowIf = [&](int call, scmp_arg_cmp condition) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, condition) == 0;
    };
    // Reading the picture, and the answer.
    for (int call :
         {SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(lseek), SCMP_SYS(fstat),
          SCMP_SYS(close), SCMP_SYS(memfd_create), SCMP_SYS(ftruncate), SCMP_SYS(fcntl)})
        allow(call);
    // fstat() is newfstatat() on an empty path in today's C library, and Qt
    // asks statx() the same way; a path of its own is not allowed.
    allowIf(SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    allowIf(SCMP_SYS(statx), SCMP_A2(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    allowIf(SCMP_SYS(recvmsg), SCMP_A0(SCMP_CMP_EQ, kHelperSocket));
    allowIf(SCMP_SYS(sendmsg), SCMP_A0(SCMP_CMP_EQ, kHelperSocket));
    if (kSanitized)
        allow(SCMP_SYS(write));
    else
        allowIf(SCMP_SYS(write), SCMP_A0(SCMP_CMP_EQ, STDERR_FILENO));
    // Memory.
    for (int call : {SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
                     SCMP_SYS(madvise), SCMP_SYS(brk)})
        allow(call);
    // Threads and the C library's own bookkeeping.
    allowIf(SCMP_SYS(clone), SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    // clone3() passes its flags in memory a filter cannot read; the C library
    // falls back to clone() when it is missing.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    allowIf(SCMP_SYS(prctl), SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME));
    // Each of Qt's threads makes an event descriptor for its dispatcher.
    allow(SCMP_SYS(eventfd2));
    for (int call :
         {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
          SCMP_SYS(sched_getaffinity), SCMP_SYS(gettid), SCMP_SYS(getpid), SCMP_SYS(clock_gettime),
          SCMP_SYS(clock_nanosleep), SCMP_SYS(getrandom), SCMP_SYS(rt_sigaction),
          SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(exit), SCMP_SYS(exit_group)})
        allow(call);
    if (kSanitized) {
        // The sanitizers' runtime looks after its own stacks and limits, and
        // tests whether memory is readable by writing it into a pipe.
        for (int call :
             {SCMP_SYS(sigaltstack), SCMP_SYS(prlimit64), SCMP_SYS(getrlimit), SCMP_SYS(pipe2)})
            allow(call);
    }
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

void ignoreMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Waits for the game's request; returns the picture's descriptor, or -1
// when the game went away or sent something else.
int receiveRequest(protocol::Request &request)
{
    int fd = -1;
    const ssize_t got = receiveWithFd(kHelperSocket, &request, sizeof request, fd);
    if (got == ssize_t(sizeof request) && request.magic == protocol::kRequestMagic)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Gives the pages wholly inside [from, to) back to the system. Their
// contents are gone; only memory that is never read again may be given.
void release(const uchar *from, const uchar *to)
{
    const auto page = quintptr(::sysconf(_SC_PAGESIZE));
    const quintptr first = (quintptr(from) + page - 1) & ~(page - 1);
    const quintptr end = quintptr(to) & ~(page - 1);
    if (end > first)
        ::madvise(reinterpret_cast<void *>(first), end - first, MADV_DONTNEED);
}

// The preview in a sealed memfd: the game maps it read-only, and the seals
// promise that nothing can change or shrink it under that mapping. The
// preview is handed over here and never read again, so its rows are given
// back to the system as soon as they are copied: the picture is never held
// twice in full.
int previewMemory(QImage preview)
{
    const qsizetype rowBytes = qsizetype(preview.width()) * 4;
    const qsizetype bytes = rowBytes * preview.height();
    const int fd = ::memfd_create("mok-preview", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    void *data = MAP_FAILED;
    if (::ftruncate(fd, bytes) == 0)
        data = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        ::close(fd);
        return -1;
    }
    const bool owned = preview.isDetached();
    constexpr int kRowsAtATime = 64;
    for (int top = 0; top < preview.height(); top += kRowsAtATime) {
        const int bottom = std::min(top + kRowsAtATime, preview.height());
        for (int y = top; y < bottom; ++y)
            std::memcpy(static_cast<char *>(data) + y * rowBytes, preview.constScanLine(y),
                        size_t(rowBytes));
        if (owned)
            release(preview.constScanLine(top),
                    preview.constScanLine(bottom - 1) + preview.bytesPerLine());
    }
    ::munmap(data, size_t(bytes));
    if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendAnswer(PictureLoadResult result)
{
    protocol::Answer answer;
    int memory = -1;
    QString why = result.error;
    if (result.ok) {
        answer.width = result.picture.preview.width();
        answer.height = result.picture.preview.height();
        memory = previewMemory(std::exchange(result.picture.preview, QImage()));
        if (memory < 0)
            why = reason::outOfMemory();
    }
    if (why.isEmpty()) {
        answer.fullWidth = result.picture.fullSize.width();
        answer.fullHeight = result.picture.fullSize.height();
        answer.divisor = result.picture.divisor;
    } else {
        const QByteArray text = why.toUtf8().left(protocol::kMaxReasonBytes);
        answer.reasonBytes = quint32(text.size());
        std::memcpy(answer.reason, text.constData(), size_t(text.size()));
    }
    sendWithFd(kHelperSocket, &answer, sizeof answer, memory);
}

} // namespace

bool isDecodeHelperCall(int argc, char **argv)
{
    return argc == 2 && std::strcmp(argv[1], protocol::kHelperOption) == 0;
}

int runDecodeHelper(HelperDecode decode)
{
    // Nothing the helper has to say would reach anyone, and Qt's logging
    // would look for a terminal and the journal behind the fences.
    qInstallMessageHandler(ignoreMessages);
    // Named for what it is in a process list, not for the path it was
    // started through.
    ::prctl(PR_SET_NAME, "mok-decode");
    // A game that dies, however it dies, takes its helper with it.
    // (One that died before this line leaves the socket closed behind it,
    // and the helper ends when it finds no request there.)
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Only the socket and the standard streams are the helper's business.
    ::close_range(kHelperSocket + 1, ~0U, 0);
    // One malloc arena: each further one would reserve 64 MB of the address
    // space the fence allows.
    ::mallopt(M_ARENA_MAX, 1);
    prepareReaders();
    if (!applyResourceLimits() || !applySyscallFilter())
        return EXIT_FAILURE;

    protocol::Request request;
    const int fd = receiveRequest(request);
    if (fd < 0)
        return EXIT_FAILURE;
    const Screen screen{request.widthTwips, request.heightTwips, request.tppX, request.tppY};
    PictureLoadResult result;
    {
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            result.error = reason::readFailed();
        } else {
            try {
                result = decode(file, screen, request.devicePixelRatio);
            } catch (const std::bad_alloc &) {
                result = {};
                result.error = reason::outOfMemory();
            }
        }
    }
    sendAnswer(std::move(result));
    // Straight out: no destructors or exit handlers run behind the fences.
    std::_Exit(EXIT_SUCCESS);
}

} // namespace mok::picture
