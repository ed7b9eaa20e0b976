// Shared by the fuzz targets: a scratch folder of the process (in memory when
// /dev/shm is there), whole-file helpers and the check that an input left no
// object behind in the engine.
#pragma once

#include "sdk/CorvaneEngine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzzsupport {

inline const std::string& ScratchFolder() {
    // Kept until the very end: the clean-up at exit still needs it.
    static const std::string& folder = *new std::string([] {
        struct stat st {};
        const std::string base = ::stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
        std::string path = base + "/dsnlink-fuzz-" + std::to_string(::getpid());
        ::mkdir(path.c_str(), 0700);
        return path;
    }());
    static const bool cleanUp =
        std::atexit([] {
            const std::string cmd = "rm -rf '" + ScratchFolder() + "'";
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", ScratchFolder().c_str());
        }) == 0;
    (void)cleanUp;
    return folder;
}

inline std::string ScratchPath(const std::string& name) {
    return ScratchFolder() + "/" + name;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Ends the run (libFuzzer saves the input) with a message.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

// Counts the engine's live objects around one input: every object the input
// made must be gone when it is done.
class TObjectLeakCheck {
public:
    TObjectLeakCheck() : FBefore(Corvane_LiveObjectCount()) {}
    ~TObjectLeakCheck() {
        const int64_t after = Corvane_LiveObjectCount();
        if (after > FBefore)
            Fail("the engine holds " + std::to_string(after - FBefore) +
                 " more objects than before the input");
    }
    TObjectLeakCheck(const TObjectLeakCheck&) = delete;
    TObjectLeakCheck& operator=(const TObjectLeakCheck&) = delete;

private:
    int64_t FBefore;
};

} // namespace fuzzsupport
