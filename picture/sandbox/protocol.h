#pragma once

#include <cstdint>

// What the game and its decoding helper, mok-decode, say to each other.
//
// The round trip of one picture:
//  1. The game starts a helper while the player is still choosing, or at
//     the load itself for a picture dropped or named on the command line
//     (PictureDecoder::prepare, Helper::spawn): mok-decode from
//     beside the game, its end of a SOCK_SEQPACKET pair on descriptor 3,
//     /dev/null for the standard streams and a short, fixed environment.
//  2. The helper, still one thread, enters new user, network, mount and IPC
//     namespaces where the kernel allows them (enterNamespaces) and waits
//     for the game's one request (receiveRequest).
//  3. The game opens the player's file itself, with every check and reason
//     of openPictureFile, and sends a Request carrying the descriptor and
//     the load's number (PictureDecoder::load, Helper::send).
//  4. The helper reads the file's first bytes to tell its format (formatOf)
//     and loads what that format needs from disk (prepareReader). Then it
//     puts up its fences: an empty root (enterEmptyRoot), resource limits
//     (applyResourceLimits) and a system-call filter on every thread that
//     checks each call's arguments (applySyscallFilter).
//  5. It decodes straight into a memfd exactly the preview's size
//     (decodePicture into AnswerMemory, whose pages a thread of its own
//     makes meanwhile: populateAside), seals it, sends an Answer of
//     numbers only with the memfd beside it (sendAnswer) and exits.
//  6. The game takes the answer only for its load, holds every number
//     against its own rules and the memfd against the size and seals it must
//     have, and maps it private and read-only (checkAnswer). A helper that
//     says nothing, dies, overruns its time or lies gives a reason instead
//     (whyItEnded). finished(load, result) tells the window.
//
// Both structs are plain numbers; SOCK_SEQPACKET keeps each message whole.
// No text crosses: a refusal is a Reason, which the game words itself.
namespace mok::picture::protocol {

// The descriptor the helper finds its end of the socket pair on.
constexpr int kHelperSocket = 3;

constexpr std::uint32_t kRequestMagic = 0x4D4F4B71; // "MOKq"
constexpr std::uint32_t kAnswerMagic = 0x4D4F4B61;  // "MOKa"

// Whether this is a checked build (AddressSanitizer and
// UndefinedBehaviorSanitizer): their runtime needs more of the system than
// a decoder does, reserves terabytes of address space and runs several
// times slower, so some fences are lifted or widened there.
#ifdef MOK_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The helper's CPU time by default. The slowest honest pictures within the
// limits take a second or two here (a 12-megapixel HEIC about 1.8 s), and a
// player's computer may be a few times slower; the window stays the
// player's meanwhile, so the limit errs on the generous side.
constexpr std::uint32_t kCpuSeconds = kSanitized ? 24 : 6;

struct Request {
    std::uint32_t magic = kRequestMagic;
    // The CPU seconds the helper may spend (at most kCpuSeconds).
    std::uint32_t cpuSeconds = kCpuSeconds;
    // The game's number for this load; the answer must carry it back.
    std::uint64_t load = 0;
    // The screen the board is laid out on (twips), and the window's device
    // pixel ratio: the helper shrinks straight to the size the board shows.
    float widthTwips = 0;
    float heightTwips = 0;
    float tppX = 15;
    float tppY = 15;
    double devicePixelRatio = 1;
};

struct Answer {
    std::uint32_t magic = kAnswerMagic;
    // A picture::Reason; 0 when the memfd holds the preview.
    std::uint32_t reason = 0;
    std::uint64_t load = 0;
    // The picture's size upright, or the size the reason names.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // The divisor the helper shrank by, and the preview's size in device
    // pixels: rows of previewWidth * 4 bytes, no padding, in the memfd.
    std::int32_t divisor = 0;
    std::int32_t previewWidth = 0;
    std::int32_t previewHeight = 0;
};

} // namespace mok::picture::protocol
