// Shared by the import benchmarks: the engine loaded as the host loads it,
// and one whole design import (read, model, board) into a fresh board.
#pragma once

#include "board/PCBProcs.h"
#include "design/SpecctraDesign.h"
#include "sdk/CorvaneEngine.h"
#include "specctra/SpecctraParser2.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// Processor time of this process so far (user and system), in seconds.
inline double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Processor time this process spent in the system on its behalf (page
// faults, mostly), in seconds.
inline double SystemSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
}

struct TBenchEngine {
    decltype(&Corvane_NewBoard) NewBoard = nullptr;
    decltype(&Corvane_CloseBoard) CloseBoard = nullptr;
    // Of the last import's processor time, what the system spent (mostly
    // giving the process fresh memory).
    double LastSystemSeconds = 0.0;

    // Loads libcorvane.so beside the program; false with a message on stderr.
    bool Load(const char* argv0) {
        const std::string path = std::filesystem::path(argv0).parent_path() / "libcorvane.so";
        void* engine = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (!engine) {
            std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
            return false;
        }
        NewBoard = reinterpret_cast<decltype(NewBoard)>(dlsym(engine, "Corvane_NewBoard"));
        CloseBoard = reinterpret_cast<decltype(CloseBoard)>(dlsym(engine, "Corvane_CloseBoard"));
        if (!NewBoard || !CloseBoard || !PCBProcs::BindEngine()) {
            std::fprintf(stderr, "the engine lacks its entry points\n");
            return false;
        }
        return true;
    }

    // Imports the input into a new board and answers the processor seconds
    // it took (board creation and closing not counted): on a machine shared
    // with other work the wall clock says more about the neighbours than about
    // the import. `inspect` sees the board before it is closed.
    template <class TInspect>
    double Import(std::unique_ptr<TInputFile> input, const std::string& name, TInspect&& inspect) {
        char error[256] = {};
        static int serial = 0;
        const intptr_t board =
            NewBoard(("bench-" + std::to_string(++serial)).c_str(), error, sizeof error);
        const double start = CpuSeconds();
        const double systemStart = SystemSeconds();
        ResetTranslationState();
        {
            TSpecctraParser parser(std::move(input));
            parser.RegisterKeywords();
            TSpecctraDesign design(name, &parser, nullptr, board);
            if (design.ImportFromFile()) {
                parser.ReleaseInput();
                design.ExportToPCB();
            }
        }
        const double seconds = CpuSeconds() - start;
        LastSystemSeconds = SystemSeconds() - systemStart;
        inspect(board);
        CloseBoard(board);
        return seconds;
    }
};

// Peak resident memory of the process so far, in megabytes.
inline double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The designs (.dsn files) under a folder and its subfolders, sorted; with a
// message on stderr, naming `program`, when there are none.
inline std::vector<std::filesystem::path> DesignsUnder(const std::string& folder,
                                                       const char* program) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file() && entry.path().extension() == ".dsn")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty())
        std::fprintf(stderr, "%s: no designs under %s\n", program, folder.c_str());
    return files;
}

// The whole text of a file (empty when it cannot be read).
inline std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}
