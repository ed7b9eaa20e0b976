#include "host/BoardLock.h"

#include "host/Outcome.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Harrow {

BoardLock::BoardLock(const std::string& path, double waitSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(waitSeconds);
    bool told = false;
    while (true) {
        // O_NONBLOCK: the document may be anything until it is checked; a
        // FIFO must not stop the run here.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return; // not there (or not readable): opening it says why
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat now {};
            if (::stat(path.c_str(), &now) == 0 && now.st_dev == opened.st_dev &&
                now.st_ino == opened.st_ino) {
                fd_ = fd;
                if (told)
                    std::cerr << "harrow: " << ShownPath(path) << " is free again" << std::endl;
                return;
            }
            // Saved by the other run while this one waited: lock the new file.
            ::close(fd);
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK && error != EINTR)
            return; // a file system without locks: nothing to hold
        if (Clock::now() >= deadline)
            throw HostError(ShownPath(path) +
                            " is held by another harrow; it was not changed (--wait SECONDS "
                            "waits longer)");
        if (!told) {
            std::cerr << "harrow: waiting for " << ShownPath(path)
                      << ", held by another harrow (up to " << waitSeconds << " s)" << std::endl;
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

BoardLock::~BoardLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace Harrow
