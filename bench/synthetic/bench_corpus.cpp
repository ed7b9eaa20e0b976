// Import speed over a whole folder of designs (by default the corpus): total
// bytes over total import time, best of N runs per file. Where another
// project's reader is installed (the npm package dsn-converter under PEER_DIR,
// by default $DSNLINK_PEER_DIR or /tmp/peer), the same folder is parsed by it
// in the same run (peer_corpus.mjs, through node) and the ratio of the two
// speeds is printed.
//
//   bench_corpus [--repeat N] [--peer PEER_DIR | --no-peer] [FOLDER]
#include "ImportRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The peer's processor seconds for the folder (best of `repeat` per design),
// or a negative number when it could not be run; `failed`: the designs it
// refused (with an exception, often at once).
double PeerSeconds(const std::string& peerDir, const std::string& folder, int repeat, int& failed) {
    const std::string command = "node '" DSNLINK_PEER_SCRIPT "' '" + peerDir + "' '" + folder +
                                "' " + std::to_string(repeat);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return -1;
    char line[256] = {};
    double seconds = -1, bytes = 0, designs = 0;
    while (std::fgets(line, sizeof line, pipe.get()))
        std::sscanf(line, "peer %lf %lf %lf %d", &seconds, &bytes, &designs, &failed);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    std::string folder = DSNLINK_CORPUS_DIR;
    const char* peerEnvironment = std::getenv("DSNLINK_PEER_DIR");
    std::string peerDir = peerEnvironment ? peerEnvironment : "/tmp/peer";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--peer" && i + 1 < argc)
            peerDir = argv[++i];
        else if (arg == "--no-peer")
            peerDir.clear();
        else if (arg == "--help") {
            std::printf(
                "usage: bench_corpus [--repeat N] [--peer PEER_DIR | --no-peer] [FOLDER]\n");
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
    std::error_code error;
    if (peerDir.empty() ||
        !fs::exists(fs::path(peerDir) / "node_modules" / "dsn-converter" / "package.json", error)) {
        std::printf("peer: not installed%s%s\n", peerDir.empty() ? "" : " under ", peerDir.c_str());
        return 0;
    }
    int failed = 0;
    const double peer = PeerSeconds(peerDir, folder, repeat, failed);
    if (peer <= 0) {
        std::printf("peer: dsn-converter under %s could not be run (node %s %s %s shows why)\n",
                    peerDir.c_str(), DSNLINK_PEER_SCRIPT, peerDir.c_str(), folder.c_str());
        return 0;
    }
    std::printf("peer (dsn-converter, same designs, best of %d each, %d of them refused): "
                "%.3f s processor time, %.1f MB/s; this import runs %.2fx the peer\n",
                repeat, failed, peer, bytes / 1e6 / peer, peer / total);
    return 0;
}
