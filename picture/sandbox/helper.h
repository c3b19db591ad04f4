#pragma once

#include "answer_memory.h"
#include "decode.h"
#include "protocol.h"

// The decoding helper's life, from its start to its one answer: mok-decode's
// main() is runHelper(decodeRequest). See protocol.h for the round trip.
namespace mok::picture {

// One decode as the helper runs it, behind its fences. A test helper passes
// a function of its own, to play a decoder that a file has taken over.
using HelperDecode = DecodeOutcome (*)(Source &file, const protocol::Request &request,
                                       PreviewMemory &memory);

// What mok-decode does with a request: decodePicture() for its screen.
DecodeOutcome decodeRequest(Source &file, const protocol::Request &request, PreviewMemory &memory);

// The answer to send for an outcome: the numbers, and in `preview` the
// sealed memfd holding the preview (or -1 for a refusal).
protocol::Answer answerFor(std::uint64_t load, const DecodeOutcome &outcome, AnswerMemory &memory,
                           int &preview);

// Enters the namespaces, waits for the game's request, puts up the fences,
// decodes with `decode` and answers. Returns the process's exit code when
// it never got as far as decoding; otherwise it ends the process itself.
int runHelper(HelperDecode decode);

} // namespace mok::picture
