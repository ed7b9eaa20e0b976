// Scaling of the whole design import over synthetic designs: N components on
// a grid with their nets (optionally pre-routed wires and vias, or nets of one
// pin each). Prints time,
// MB/s and components/s per size and the time ratio between consecutive
// sizes; the peak resident memory at the end. The time the system spent for
// the import (giving it fresh memory, mostly) is shown apart: on a virtual
// machine it can grow faster than the memory asked for. With --repeat, each size is
// imported R times and the fastest counts: on a shared machine one slow run
// says more about the neighbours than about the import.
//
//   bench_synthetic [--wires] [--vias] [--one-pin-nets] [--repeat R] [--write FILE] [N...]
// Without sizes: 10000 100000 1000000.
#include "ImportRun.h"
#include "SyntheticDesign.h"

#include "board/Pcbclass.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

int main(int argc, char** argv) {
    TSyntheticOptions options;
    std::vector<int64_t> sizes;
    std::string writeTo;
    int repeat = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wires")
            options.Wires = true;
        else if (arg == "--vias")
            options.Vias = true;
        else if (arg == "--one-pin-nets")
            options.OnePinNets = true;
        else if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--write" && i + 1 < argc)
            writeTo = argv[++i];
        else if (arg == "--help") {
            std::printf("usage: bench_synthetic [--wires] [--vias] [--one-pin-nets] [--repeat R] "
                        "[--write FILE] [N...]\n");
            return 0;
        } else
            sizes.push_back(std::atoll(arg.c_str()));
    }
    if (sizes.empty())
        sizes = {10000, 100000, 1000000};
    TBenchEngine engine;
    if (!engine.Load(argv[0]))
        return 2;
    double previous = 0.0;
    for (int64_t n : sizes) {
        options.Components = n;
        TSyntheticCounts counts;
        std::string text = MakeSyntheticDesign(options, &counts);
        if (!writeTo.empty())
            std::ofstream(writeTo, std::ios::binary) << text;
        const double megabytes = static_cast<double>(text.size()) / 1e6;
        std::size_t components = 0, pads = 0;
        double seconds = 1e300, system = 0.0;
        for (int run = 0; run < repeat; ++run) {
            const double time = engine.Import(
                std::make_unique<TInputFile>("synthetic.dsn", text, TInputFile::TInPlace{}),
                "synthetic.dsn", [&](intptr_t board) {
                    components = CollectItems(board, eComponentObject).size();
                    pads = CollectItems(board, ePadObject).size();
                });
            if (time < seconds) {
                seconds = time;
                system = engine.LastSystemSeconds;
            }
        }
        std::printf("%lld components (%.1f MB): %.3f s processor time%s (%.3f s of it in the "
                    "system), %.1f MB/s, %.0f "
                    "components/s; on the "
                    "board %zu components, %zu pads (expected %lld, %lld)",
                    static_cast<long long>(n), megabytes, seconds,
                    repeat > 1 ? " (fastest run)" : "", system, megabytes / seconds,
                    static_cast<double>(n) / seconds, components, pads,
                    static_cast<long long>(counts.Components), static_cast<long long>(counts.Pads));
        if (previous > 0.0)
            std::printf("; %.2fx the time of the previous size", seconds / previous);
        std::printf("\n");
        std::fflush(stdout);
        previous = seconds;
    }
    std::printf("peak resident memory: %.0f MB\n", PeakMegabytes());
    return 0;
}
