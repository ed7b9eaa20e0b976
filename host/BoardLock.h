// Holding a board document while a run reads, changes and saves it: an
// advisory lock (flock) on the document itself, so that a second harrow that
// would write the same board waits for the first instead of saving over its
// work.
#pragma once

#include <string>

namespace Harrow {

class BoardLock {
public:
    // Takes the lock on the document at `path` when it exists (a board not
    // made yet has nothing to lose). While another harrow holds it, says so
    // once on stderr and waits, up to `waitSeconds`; then raises HostError
    // naming the board. A document replaced while waiting (a save renames a
    // new file over it) is locked again under its new identity.
    BoardLock(const std::string& path, double waitSeconds);
    ~BoardLock();
    BoardLock(const BoardLock&) = delete;
    BoardLock& operator=(const BoardLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace Harrow
