#pragma once

#include <QtGlobal>

// What the game and its decoding helper say to each other over their socket
// pair. Each side sends exactly one message, and SOCK_SEQPACKET keeps it
// whole. The game's message carries the picture file's descriptor; the
// helper's carries a sealed memfd holding the preview when there is one.
// Both structs are plain bytes: the game checks every field of the answer,
// since the helper has read whatever the player handed us.
namespace mok::picture::protocol {

// The descriptor the helper finds its end of the socket pair on.
constexpr int kHelperSocket = 3;

// Tells a helper start from any other command line.
constexpr char kHelperOption[] = "--decode-helper";

// The helper's CPU time limit. The slowest honest pictures within the limits
// of load_limits.h take a second or two here (a 12-megapixel HEIC about 1.8 s),
// and a player's computer may be a few times slower; the window stays the
// player's meanwhile, so the limit errs on the generous side. Sanitized
// builds run several times slower.
#ifdef MOK_SANITIZED
constexpr int kCpuSeconds = 24;
#else
constexpr int kCpuSeconds = 6;
#endif

constexpr quint32 kRequestMagic = 0x4D4F4B71; // "MOKq"
constexpr quint32 kAnswerMagic = 0x4D4F4B61;  // "MOKa"

struct Request {
    quint32 magic = kRequestMagic;
    // The screen the board is laid out on (twips), and the window's device
    // pixel ratio: the helper shrinks straight to the size the board shows.
    float widthTwips = 0;
    float heightTwips = 0;
    float tppX = 15;
    float tppY = 15;
    double devicePixelRatio = 1;
};

// The longest reason the helper may give, in UTF-8 bytes.
constexpr int kMaxReasonBytes = 1024;

struct Answer {
    quint32 magic = kAnswerMagic;
    // The picture's size upright, and the divisor the helper shrank it by.
    qint32 fullWidth = 0;
    qint32 fullHeight = 0;
    qint32 divisor = 0;
    // The preview in the memfd: RGB32 rows of width * 4 bytes, no padding.
    qint32 width = 0;
    qint32 height = 0;
    // Why there is no picture; empty when there is one.
    quint32 reasonBytes = 0;
    char reason[kMaxReasonBytes] = {};
};

} // namespace mok::picture::protocol
