// Whole design import (read the file, build the model, write the board) into a
// fresh board of the engine loaded as the host loads it. Prints MB/s.
//
//   bench_import [--repeat N] [FILE...]
// Without files it imports the largest design of the corpus.
#include "bench/synthetic/ImportRun.h"
#include "board/PCBProcs.h"
#include "design/SpecctraDesign.h"
#include "sdk/CorvaneEngine.h"
#include "specctra/SpecctraParser2.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string LargestCorpusDesign() {
    std::string best;
    std::uintmax_t bestSize = 0;
    std::error_code error;
    if (!fs::is_directory(DSNLINK_CORPUS_DIR, error))
        return best;
    for (const auto& entry : fs::recursive_directory_iterator(DSNLINK_CORPUS_DIR, error))
        if (entry.is_regular_file() && entry.path().extension() == ".dsn" &&
            entry.file_size() > bestSize) {
            bestSize = entry.file_size();
            best = entry.path().string();
        }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--help") {
            std::printf("usage: bench_import [--repeat N] [FILE...]\n");
            return 0;
        } else
            files.push_back(arg);
    }
    if (files.empty()) {
        const std::string largest = LargestCorpusDesign();
        if (largest.empty()) {
            std::fprintf(stderr, "bench_import: no file given and no corpus at %s\n",
                         DSNLINK_CORPUS_DIR);
            return 2;
        }
        files.push_back(largest);
    }
    for (const std::string& file : files) {
        std::error_code error;
        if (!fs::is_regular_file(file, error)) {
            std::fprintf(stderr, "bench_import: cannot read %s: %s\n", file.c_str(),
                         error ? error.message().c_str() : "not a regular file");
            return 2;
        }
    }
    TBenchEngine engine;
    if (!engine.Load(argv[0]))
        return 2;
    const auto newBoard = engine.NewBoard;
    const auto closeBoard = engine.CloseBoard;

    // A design whose reading ends by an exception (a resolution out of
    // range) is named, not left to abort the run.
    std::string current;
    try {
        for (const std::string& file : files) {
            current = file;
            const double megabytes = static_cast<double>(fs::file_size(file)) / 1e6;
            double best = 1e300;
            for (int run = 0; run < repeat; ++run) {
                char error[256] = {};
                const intptr_t board =
                    newBoard(("bench-" + std::to_string(run)).c_str(), error, sizeof error);
                const auto start = std::chrono::steady_clock::now();
                ResetTranslationState();
                {
                    TSpecctraParser parser(file);
                    parser.RegisterKeywords();
                    TSpecctraDesign design(file, &parser, nullptr, board);
                    if (design.ImportFromFile()) {
                        parser.ReleaseInput(); // as the plug-in does
                        design.ExportToPCB();
                    }
                }
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                best = std::min(best, seconds);
                closeBoard(board);
            }
            std::printf("%s: %.2f MB, best of %d: %.4f s, %.1f MB/s\n", file.c_str(), megabytes,
                        repeat, best, megabytes / best);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_import: %s: %s\n", current.c_str(), error.what());
        return 2;
    }
    return 0;
}
