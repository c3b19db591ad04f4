// Fuzz target for picture loading: any bytes, decoded as the helper decodes
// them (the same readers, straight into a sealed memfd, the same answer),
// must give an answer that the game's own check takes: a picture that keeps
// every promise, or a reason in words. Never a crash, a hang or an
// allocation without bound, and never an honest answer the game refuses.
//
// Built with clang and -DMOK_FUZZ=ON this is a libFuzzer target; otherwise
// replay_main.cpp turns it into a program that replays files, which the
// ordinary tests run over the regression corpus.
#include "answer_check.h"
#include "helper.h"
#include "reasons.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const mok::Screen kScreen = mok::Screen::fromPixels(1024, 768);

[[noreturn]] void brokenPromise(const char *what)
{
    std::fprintf(stderr, "picture loading broke a promise: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // As the decoding helper does before it fences itself in.
    mok::picture::prepareReader(mok::picture::Format::Heif);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace mok::picture;
    const int input = ::memfd_create("input", MFD_CLOEXEC);
    if (input < 0 || ::write(input, data, size) != ssize_t(size))
        std::abort();
    Source file(input);
    AnswerMemory memory;
    protocol::Request request;
    request.widthTwips = kScreen.widthTwips;
    request.heightTwips = kScreen.heightTwips;
    DecodeOutcome outcome;
    try {
        outcome = decodeRequest(file, request, memory);
    } catch (const std::bad_alloc &) {
        outcome.reason = Reason::OutOfMemory;
    }
    int preview = -1;
    const protocol::Answer answer = answerFor(request.load, outcome, memory, preview);
    const PictureLoadResult result = checkAnswer(answer, preview, kScreen, 1);
    if (outcome.reason == Reason::None && !result.ok)
        brokenPromise("the game refused an honest picture");
    if (!result.ok && result.error.isEmpty())
        brokenPromise("refused without a reason");
    if (!result.ok && outcome.reason != Reason::None &&
        result.error != reason::forCode(outcome.reason, outcome.size))
        brokenPromise("the reason was not worded as given");
    ::close(input);
    return 0;
}
