#include "helper.h"

#include "fd_messages.h"
#include "fences.h"
#include "policy.h"

#include <csignal>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace mok::picture {

namespace {

using protocol::kHelperSocket;

// Waits for the game's request; returns the picture's descriptor, or -1
// when the game went away or sent something else.
int receiveRequest(protocol::Request &request)
{
    int fd = -1;
    const ssize_t got = receiveWithFd(kHelperSocket, &request, sizeof request, fd);
    if (got == ssize_t(sizeof request) && request.magic == protocol::kRequestMagic && fd >= 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Loads what the file's format needs while the file system can still be
// reached: only a HEIF or AVIF costs a library and its codecs.
void prepareFor(const Source &file)
{
    std::uint8_t head[kFormatHeadBytes];
    const ssize_t got = ::pread(file.fd(), head, sizeof head, 0);
    if (got > 0)
        prepareReader(formatOf(head, std::size_t(got)));
}

} // namespace

protocol::Answer answerFor(std::uint64_t load, const DecodeOutcome &outcome, AnswerMemory &memory,
                           int &preview)
{
    protocol::Answer answer;
    answer.load = load;
    answer.reason = std::uint32_t(outcome.reason);
    answer.width = outcome.size.width;
    answer.height = outcome.size.height;
    preview = -1;
    if (outcome.reason == Reason::None) {
        preview = memory.seal();
        if (preview < 0) {
            answer.reason = std::uint32_t(Reason::OutOfMemory);
            answer.width = answer.height = 0;
        } else {
            answer.divisor = outcome.divisor;
            answer.previewWidth = outcome.preview.width;
            answer.previewHeight = outcome.preview.height;
        }
    }
    return answer;
}

DecodeOutcome decodeRequest(Source &file, const protocol::Request &request, PreviewMemory &memory)
{
    const Screen screen{request.widthTwips, request.heightTwips, request.tppX, request.tppY};
    return decodePicture(file, screen, request.devicePixelRatio, memory);
}

int runHelper(HelperDecode decode)
{
    // A game that dies, however it dies, takes its helper with it. (One that
    // died before this line leaves the socket closed behind it, and the
    // helper ends when it finds no request there.)
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Only the socket and the standard streams are the helper's business.
    ::close_range(kHelperSocket + 1, ~0U, 0);
    // One malloc arena: each further one would reserve 64 MB of the address
    // space the fence allows.
    ::mallopt(M_ARENA_MAX, 1);
    // While the helper is still one thread; refused quietly where the
    // system does not allow them.
    const bool isolated = fences::enterNamespaces();

    protocol::Request request;
    const int fd = receiveRequest(request);
    if (fd < 0)
        return EXIT_FAILURE;
    Source file(fd);
    prepareFor(file);
    if (isolated)
        fences::enterEmptyRoot();
    if (!fences::applyResourceLimits(request) || !policy::applySyscallFilter(fd))
        return EXIT_FAILURE;

    AnswerMemory memory;
    DecodeOutcome outcome;
    try {
        outcome = decode(file, request, memory);
    } catch (const std::bad_alloc &) {
        outcome = {};
        outcome.reason = Reason::OutOfMemory;
    }
    int preview = -1;
    const protocol::Answer answer = answerFor(request.load, outcome, memory, preview);
    sendWithFd(kHelperSocket, &answer, sizeof answer, preview);
    // Nothing more will come: the game need not wait for the process to end
    // to know it.
    ::shutdown(kHelperSocket, SHUT_WR);
    // Straight out: no destructors or exit handlers run behind the fences.
    std::_Exit(EXIT_SUCCESS);
}

} // namespace mok::picture
