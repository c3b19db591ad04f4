#pragma once

#include "loaded_picture.h"
#include "protocol.h"
#include "twips.h"

// The game's reading of a helper's answer. The helper has read whatever the
// player handed us and may have been turned by it, so nothing in the answer
// is taken on trust: this is the one check every answer passes, in the game
// and in the fuzz target alike.
namespace mok::picture {

// The result an answer stands for on this screen: a picture whose every
// number agrees with the game's own rules, mapped from a memfd of exactly
// the right size sealed against every change; or the reason the helper gave
// in the game's words; or "broken" for anything else. `memory` stays the
// caller's to close (a mapping keeps what it needs).
PictureLoadResult checkAnswer(const protocol::Answer &answer, int memory, const Screen &screen,
                              double devicePixelRatio);

} // namespace mok::picture
