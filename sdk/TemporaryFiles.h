// Temporary files that must not outlive what they are made for: a document
// being saved, a report being written. While one is written, the signals that
// end a process by default (and Ctrl-C) are held, so the file is finished and
// put in its place, or removed, before a kill takes effect; and names that
// carry the writing process's id let a later writer remove what a process
// killed outright (SIGKILL, a crash) left behind.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace HostSdk {

class THeldSignals {
public:
    THeldSignals() {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&held, sig);
        ::pthread_sigmask(SIG_BLOCK, &held, &FPrevious);
    }
    ~THeldSignals() { ::pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr); }
    THeldSignals(const THeldSignals&) = delete;
    THeldSignals& operator=(const THeldSignals&) = delete;

private:
    sigset_t FPrevious;
};

// Removes the files of `folder` named `prefix` + <pid> + "-" + anything whose
// process no longer runs. Answers how many were removed.
inline int RemoveStaleTemporaryFiles(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string rest = name.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == std::string::npos || dash == 0 || dash > 9 ||
            rest.substr(0, dash).find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(rest.substr(0, dash).c_str()));
        if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH &&
            ::unlink((folder + "/" + name).c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace HostSdk
