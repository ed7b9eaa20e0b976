// For the document tests: why a document is refused, and a large save run by
// the document helper tool in a child process, for the tests that end a save
// half-way.
#pragma once

#include "sdk/CorvaneEngine.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace enginetest {

// The reason the document is refused, or empty when it opens.
inline std::string OpenError(const std::filesystem::path& doc) {
    char error[512] = {};
    CorvaneBoard board = Corvane_OpenBoard(doc.c_str(), error, sizeof error);
    if (board) {
        Corvane_CloseBoard(board);
        return {};
    }
    return error;
}

// The temporary files of saves in `folder`.
inline int SavingFiles(const std::filesystem::path& folder) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        n += e.path().filename().string().find(".saving-") != std::string::npos;
    return n;
}

struct SaveInChild {
    pid_t pid = -1;
    bool started = false; // its temporary file appeared
};

// Starts `tool bigsave doc tracks` and waits (up to 20 s) for the save's
// temporary file to appear beside the document.
inline SaveInChild StartBigSave(const std::string& tool, const std::filesystem::path& doc,
                                const char* tracks) {
    SaveInChild save;
    save.pid = fork();
    if (save.pid == 0) {
        execl(tool.c_str(), tool.c_str(), "bigsave", doc.c_str(), tracks,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 20000 && save.pid > 0 && !save.started; ++i) {
        save.started = SavingFiles(doc.parent_path()) > 0;
        if (!save.started)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return save;
}

} // namespace enginetest
