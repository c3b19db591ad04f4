// A decoding helper that a file has taken over: the real helper's life and
// fences (runHelper), but files that start "MOK-FENCE-TEST <order>" make it
// do, once fenced, what a hostile decoder would. Every other file is decoded
// as mok-decode decodes it.
//
// An order whose call the fence lets through and that succeeds answers
// "too large (666 x 666)", which no test expects; one whose call fails
// answers "broken", as does a helper the filter ends.
#include "answer_memory.h"
#include "fd_messages.h"
#include "helper.h"
#include "preview_size.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using mok::PixelSize;
using mok::picture::AnswerMemory;
using mok::picture::DecodeOutcome;
using mok::picture::PreviewMemory;
using mok::picture::Reason;
using mok::picture::Source;
namespace protocol = mok::picture::protocol;

DecodeOutcome outcomeOf(bool breached)
{
    DecodeOutcome outcome;
    outcome.reason = breached ? Reason::TooLarge : Reason::Broken;
    if (breached)
        outcome.size = {666, 666};
    return outcome;
}

[[noreturn]] void runForever()
{
    for (volatile unsigned spin = 0;; spin = spin + 1) {
    }
}

// Takes memory 64 MiB at a time, as a decoder trusting a header would,
// until the address-space fence says no (new throws). The fence counts what
// is reserved, touched or not, so only a block's first page is written:
// writing them all would time the machine's page faults (whole CPU seconds
// on a busy or emulated one) rather than the fence.
[[noreturn]] void takeAllMemory()
{
    std::vector<char *> blocks;
    for (;;) {
        char *block = new char[64 << 20];
        block[0] = 1;
        blocks.push_back(block);
    }
}

// An answer of our own making: `pixels` of `size` (rows of white, or of
// holes), `bytes` long, sealed or not, for `load`.
[[noreturn]] void answerWith(std::uint64_t load, PixelSize full, int divisor, PixelSize preview,
                             std::size_t bytes, bool holes, bool sealed, int times)
{
    const int fd = ::memfd_create("lie", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const bool made = fd >= 0 && ::ftruncate(fd, off_t(bytes)) == 0;
    if (made) {
        void *data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data != MAP_FAILED) {
            std::memset(data, holes ? 0x7F : 0xFF, bytes);
            ::munmap(data, bytes);
        }
        if (sealed)
            ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    }
    protocol::Answer answer;
    answer.load = load;
    answer.width = full.width;
    answer.height = full.height;
    answer.divisor = divisor;
    answer.previewWidth = preview.width;
    answer.previewHeight = preview.height;
    for (int i = 0; i < times; ++i)
        mok::picture::sendWithFd(protocol::kHelperSocket, &answer, sizeof answer, fd);
    std::_Exit(0);
}

// A lie about a 2000 x 1000 picture, honest but for what `order` names.
[[noreturn]] void lie(const std::string &order, const protocol::Request &request)
{
    const mok::Screen screen{request.widthTwips, request.heightTwips, request.tppX, request.tppY};
    const PixelSize full{2000, 1000};
    const mok::PreviewGeometry honest = mok::previewGeometry(full, screen);
    PixelSize preview = honest.size;
    std::size_t bytes = std::size_t(preview.width) * std::size_t(preview.height) * 4;
    if (order == "lie size")
        preview.height -= 1;
    if (order == "lie memory")
        bytes += 4096;
    if (order == "lie reason") {
        protocol::Answer answer;
        answer.load = request.load;
        answer.reason = 999;
        mok::picture::sendWithFd(protocol::kHelperSocket, &answer, sizeof answer, -1);
        std::_Exit(0);
    }
    const std::uint64_t load = order == "lie load" ? request.load + 1 : request.load;
    answerWith(load, full, honest.divisor, preview, bytes, order == "lie alpha",
               order != "lie unsealed", order == "lie twice" ? 2 : 1);
}

// What the filter should stop: each returns whether the call succeeded.
bool attack(const std::string &order)
{
    if (order == "open")
        return ::syscall(SYS_openat, AT_FDCWD, "/etc/hostname", O_RDONLY) >= 0;
    if (order == "stat path") {
        struct stat st = {};
        return ::syscall(SYS_newfstatat, AT_FDCWD, "/etc/hostname", &st, AT_EMPTY_PATH) == 0;
    }
    if (order == "setown") {
        const bool owner = ::fcntl(protocol::kHelperSocket, F_SETOWN, ::getppid()) == 0;
        ::fcntl(protocol::kHelperSocket, F_SETSIG, SIGKILL);
        return owner;
    }
    if (order == "setfl")
        return ::fcntl(protocol::kHelperSocket, F_SETFL, O_ASYNC | O_NONBLOCK) == 0;
    if (order == "socket")
        return ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0;
    if (order == "connect") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, "mok-test", 8);
        return ::connect(protocol::kHelperSocket, reinterpret_cast<sockaddr *>(&address),
                         sizeof(sa_family_t) + 9) == 0;
    }
    if (order == "exec memory")
        return ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED;
    if (order == "mprotect exec") {
        void *page =
            ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return page != MAP_FAILED && ::mprotect(page, 4096, PROT_READ | PROT_EXEC) == 0;
    }
    if (order == "kill parent")
        return ::kill(::getppid(), SIGKILL) == 0;
    if (order == "ptrace")
        return ::ptrace(PTRACE_ATTACH, ::getppid(), nullptr, nullptr) == 0;
    if (order == "fork")
        return ::fork() >= 0;
    if (order == "oversized memory") {
        const int fd = ::memfd_create("big", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        return fd >= 0 && ::ftruncate(fd, off_t(1) << 30) == 0;
    }
    if (order == "flood stderr") {
        static char chunk[1 << 20];
        std::memset(chunk, 'x', sizeof chunk);
        for (int i = 0; i < 256; ++i)
            if (::write(STDERR_FILENO, chunk, sizeof chunk) < 0)
                return false;
        return false; // the flood is allowed; where it goes is the test
    }
    return false;
}

DecodeOutcome takenOver(Source &file, const protocol::Request &request, PreviewMemory &memory)
{
    char head[64] = {};
    const ssize_t got = ::pread(file.fd(), head, sizeof head - 1, 0);
    const std::string text(head, size_t(std::max<ssize_t>(got, 0)));
    const std::string mark = "MOK-FENCE-TEST ";
    if (text.rfind(mark, 0) != 0)
        return mok::picture::decodeRequest(file, request, memory);
    std::string order = text.substr(mark.size());
    order = order.substr(0, order.find('\n'));
    if (order == "cpu")
        runForever();
    if (order == "sleep")
        for (;;)
            ::usleep(100000);
    if (order == "memory")
        takeAllMemory();
    if (order.rfind("lie", 0) == 0)
        lie(order, request);
    return outcomeOf(attack(order));
}

} // namespace

int main()
{
    return mok::picture::runHelper(takenOver);
}
