// Import speed over a whole folder of designs (by default the corpus): total
// bytes over total import time, best of N runs per file.
//
//   bench_corpus [--repeat N] [FOLDER]
#include "ImportRun.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    int repeat = 3;
    std::string folder = DSNLINK_CORPUS_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--help") {
            std::printf("usage: bench_corpus [--repeat N] [FOLDER]\n");
            return 0;
        } else
            folder = arg;
    }
    const std::vector<fs::path> files = DesignsUnder(folder, "bench_corpus");
    if (files.empty())
        return 2;
    TBenchEngine engine;
    if (!engine.Load(argv[0]))
        return 2;
    double bytes = 0.0, total = 0.0;
    std::vector<std::pair<double, std::string>> slowest;
    for (const fs::path& file : files) {
        const std::string text = FileText(file);
        double best = 1e300;
        for (int run = 0; run < repeat; ++run)
            best = std::min(best, engine.Import(std::make_unique<TInputFile>(file.string(), text),
                                                file.string(), [](intptr_t) {}));
        bytes += static_cast<double>(text.size());
        total += best;
        slowest.emplace_back(best, file.string());
    }
    std::sort(slowest.rbegin(), slowest.rend());
    for (std::size_t i = 0; i < std::min<std::size_t>(5, slowest.size()); ++i)
        std::printf("  slowest: %.4f s %s\n", slowest[i].first, slowest[i].second.c_str());
    std::printf("%zu designs, %.2f MB in %.3f s processor time: %.1f MB/s\n", files.size(),
                bytes / 1e6, total, bytes / 1e6 / total);
    return 0;
}
