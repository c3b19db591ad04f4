#pragma once

#include <QLockFile>

#include <memory>

namespace mok {

// One running copy of the game per user. The claim is a lock file in the
// user's runtime folder (XDG_RUNTIME_DIR, or Qt's private fallback for it),
// so other users' copies never see it. QLockFile records the owner's process
// and recognises a lock whose owner has died, so a crashed copy never locks
// the player out.
class SingleInstance {
public:
    // True when no other copy of this user runs; the claim then lasts as
    // long as this object. Where no lock can be made at all, the game runs.
    bool claim();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace mok
