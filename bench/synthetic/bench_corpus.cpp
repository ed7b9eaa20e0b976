// Import speed over a whole folder of designs (by default the corpus), in one
// process, N passes over the folder with the designs' texts loaded first
// (and read where they lie, as the peer below reads its strings):
// the first pass on the wall clock (a batch run over every design, from a
// cold start), and each design's fastest pass in processor time (a figure a
// busy machine disturbs less). Where another project's reader is installed
// (the npm package dsn-converter under PEER_DIR, by default
// $DSNLINK_PEER_DIR or /tmp/peer), it reads the same folder the same way
// (peer_corpus.mjs, through node), and the ratios of the two are printed:
// the yardstick is its whole reading of a design into its circuit model;
// its parsing alone, the cheaper first half, is printed beside it. Designs
// the peer refuses (it throws) are counted in both totals as they ran; the
// ratios over the designs it reads are printed too.
//
//   bench_corpus [--repeat N] [--peer PEER_DIR | --no-peer] [FOLDER]
#include "ImportRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace {

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What one reader did with every design of the folder, by the design's path
// under the folder.
struct TReaderTimes {
    double FirstPassWall = 0;
    std::vector<double> PassWalls;
    struct TDesign {
        double Cpu = 1e300; // its fastest pass
        double FirstWall = 0;
        bool Refused = false;
    };
    std::unordered_map<std::string, TDesign> Designs;

    // Sums over the designs; with `readBy`, over those that reader read.
    double CpuSum(const TReaderTimes* readBy = nullptr) const {
        return Sum(readBy, [](const TDesign& d) { return d.Cpu; });
    }
    double WallSum(const TReaderTimes* readBy = nullptr) const {
        return Sum(readBy, [](const TDesign& d) { return d.FirstWall; });
    }

private:
    template <class TValue> double Sum(const TReaderTimes* readBy, TValue value) const {
        double sum = 0;
        for (const auto& [path, design] : Designs) {
            if (readBy != nullptr) {
                const auto found = readBy->Designs.find(path);
                if (found == readBy->Designs.end() || found->second.Refused)
                    continue;
            }
            sum += value(design);
        }
        return sum;
    }
};

// The peer's times for the folder with one of its two readings, or false when
// it could not be run.
bool PeerTimes(const std::string& peerDir, const std::string& folder, int repeat, const char* read,
               TReaderTimes& times) {
    const std::string command = "node '" DSNLINK_PEER_SCRIPT "' '" + peerDir + "' '" + folder +
                                "' " + std::to_string(repeat) + " " + read;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return false;
    std::string line;
    char chunk[4096];
    while (std::fgets(chunk, sizeof chunk, pipe.get())) {
        line += chunk;
        if (line.empty() || line.back() != '\n')
            continue;
        line.pop_back();
        int pass = 0, refused = 0, consumed = 0;
        double wall = 0, cpu = 0;
        if (std::sscanf(line.c_str(), "pass %d %lf", &pass, &wall) == 2) {
            times.PassWalls.push_back(wall);
            if (pass == 0)
                times.FirstPassWall = wall;
        } else if (std::sscanf(line.c_str(), "design %lf %lf %d %n", &cpu, &wall, &refused,
                               &consumed) == 3 &&
                   consumed > 0) {
            times.Designs[line.substr(static_cast<std::size_t>(consumed))] = {cpu, wall,
                                                                              refused != 0};
        }
        line.clear();
    }
    return !times.PassWalls.empty() && !times.Designs.empty();
}

std::string Passes(const std::vector<double>& walls) {
    std::string text;
    for (const double wall : walls) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%.2f", text.empty() ? "" : " / ", wall);
        text += number;
    }
    return text;
}

void PrintPeer(const char* what, const TReaderTimes& peer, const TReaderTimes& ours,
               double megabytes, int repeat) {
    std::size_t refused = 0;
    for (const auto& entry : peer.Designs)
        refused += entry.second.Refused;
    const double peerCpu = peer.CpuSum();
    std::printf("peer, %s, refuses %zu of %zu: first pass %.3f s wall (%.1f MB/s), passes %s s; "
                "fastest of %d each %.3f s processor time (%.1f MB/s)\n",
                what, refused, peer.Designs.size(), peer.FirstPassWall,
                megabytes / peer.FirstPassWall, Passes(peer.PassWalls).c_str(), repeat, peerCpu,
                megabytes / peerCpu);
    std::printf("  this import runs %.2fx the peer on the wall clock (first passes), %.2fx in "
                "processor time; over the %zu designs the peer reads, %.2fx and %.2fx\n",
                peer.FirstPassWall / ours.FirstPassWall, peerCpu / ours.CpuSum(),
                peer.Designs.size() - refused, peer.WallSum(&peer) / ours.WallSum(&peer),
                peer.CpuSum(&peer) / ours.CpuSum(&peer));
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
    std::vector<std::string> texts, names;
    double bytes = 0.0;
    for (const fs::path& file : files) {
        texts.push_back(FileText(file));
        names.push_back(file.lexically_relative(folder).string());
        bytes += static_cast<double>(texts.back().size());
    }
    const double megabytes = bytes / 1e6;
    TReaderTimes ours;
    for (int pass = 0; pass < repeat; ++pass) {
        const double passStart = WallSeconds();
        for (std::size_t i = 0; i < files.size(); ++i) {
            const double start = WallSeconds();
            const double cpu = engine.Import(
                std::make_unique<TInputFile>(files[i].string(), texts[i], TInputFile::TInPlace{}),
                files[i].string(), [](intptr_t) {});
            TReaderTimes::TDesign& design = ours.Designs[names[i]];
            design.Cpu = std::min(design.Cpu, cpu);
            if (pass == 0)
                design.FirstWall = WallSeconds() - start;
        }
        ours.PassWalls.push_back(WallSeconds() - passStart);
    }
    ours.FirstPassWall = ours.PassWalls.front();
    std::vector<std::pair<double, std::string>> slowest;
    for (const auto& [name, design] : ours.Designs)
        slowest.emplace_back(design.Cpu, name);
    std::sort(slowest.rbegin(), slowest.rend());
    for (std::size_t i = 0; i < std::min<std::size_t>(5, slowest.size()); ++i)
        std::printf("  slowest: %.4f s %s\n", slowest[i].first, slowest[i].second.c_str());
    const double total = ours.CpuSum();
    std::printf("%zu designs, %.2f MB: first pass %.3f s wall (%.1f MB/s), passes %s s; "
                "fastest of %d each %.3f s processor time: %.1f MB/s\n",
                files.size(), megabytes, ours.FirstPassWall, megabytes / ours.FirstPassWall,
                Passes(ours.PassWalls).c_str(), repeat, total, megabytes / total);
    std::error_code error;
    if (peerDir.empty() ||
        !fs::exists(fs::path(peerDir) / "node_modules" / "dsn-converter" / "package.json", error)) {
        std::printf("peer: not installed%s%s\n", peerDir.empty() ? "" : " under ", peerDir.c_str());
        return 0;
    }
    struct TPeerRead {
        const char* Read;
        const char* What;
    };
    for (const TPeerRead& peerRead :
         {TPeerRead{"circuit", "dsn-converter reading into its circuit model"},
          TPeerRead{"parse", "dsn-converter parsing alone (no circuit model)"}}) {
        TReaderTimes peer;
        if (!PeerTimes(peerDir, folder, repeat, peerRead.Read, peer)) {
            std::printf("peer: dsn-converter under %s could not be run (node %s %s %s %d %s "
                        "shows why)\n",
                        peerDir.c_str(), DSNLINK_PEER_SCRIPT, peerDir.c_str(), folder.c_str(),
                        repeat, peerRead.Read);
            return 0;
        }
        PrintPeer(peerRead.What, peer, ours, megabytes, repeat);
    }
    return 0;
}
