#include "singleinstance.h"

#include <QStandardPaths>

namespace mok {

bool SingleInstance::claim()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return true;
    m_lock = std::make_unique<QLockFile>(folder + QStringLiteral("/mok.lock"));
    // A lock is stale only when its owner is gone, never for its age: a game
    // may be left running for days.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    // Refuse only for a copy that really runs; a folder we cannot write is
    // no reason to keep the player out.
    return m_lock->error() != QLockFile::LockFailedError;
}

} // namespace mok
