// Where the import time of a folder of designs goes: the reading of the
// file into the model and the writing of the model to the board, each summed
// over every design (best of N runs per design), with the designs that take
// the longest per byte.
//
//   bench_phases [--repeat N] [--top K] [--read-only] [FOLDER]
//
// --read-only stops after the reading (no board is written), for profiling
// the reader alone.
#include "ImportRun.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TPhases {
    double Read = 1e300;
    double Write = 1e300;
};

// One import of `text` into a fresh board, its two phases timed apart.
TPhases ImportOnce(TBenchEngine& engine, const std::string& name, const std::string& text,
                   bool readOnly) {
    char error[256] = {};
    const intptr_t board = engine.NewBoard("bench-phases", error, sizeof error);
    TPhases phases;
    const double start = CpuSeconds();
    ResetTranslationState();
    double read = 0.0;
    {
        TSpecctraParser parser(std::make_unique<TInputFile>(name, text, TInputFile::TInPlace{}));
        parser.RegisterKeywords();
        TSpecctraDesign design(name, &parser, nullptr, board);
        const bool imported = design.ImportFromFile();
        read = CpuSeconds();
        if (imported && !readOnly)
            design.ExportToPCB();
    }
    const double end = CpuSeconds();
    phases.Read = read - start;
    phases.Write = end - read;
    engine.CloseBoard(board);
    return phases;
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    std::size_t top = 10;
    bool readOnly = false;
    std::string folder = DSNLINK_CORPUS_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--top" && i + 1 < argc)
            top = static_cast<std::size_t>(std::max(0, std::atoi(argv[++i])));
        else if (arg == "--read-only")
            readOnly = true;
        else if (arg == "--help") {
            std::printf("usage: bench_phases [--repeat N] [--top K] [--read-only] [FOLDER]\n");
            return 0;
        } else
            folder = arg;
    }
    const std::vector<fs::path> files = DesignsUnder(folder, "bench_phases");
    if (files.empty())
        return 2;
    TBenchEngine engine;
    if (!engine.Load(argv[0]))
        return 2;
    struct TRow {
        double Seconds;
        double Bytes;
        TPhases Phases;
        std::string Name;
    };
    std::vector<TRow> rows;
    double bytes = 0.0, read = 0.0, write = 0.0;
    for (const fs::path& file : files) {
        const std::string text = FileText(file);
        TPhases best;
        for (int run = 0; run < repeat; ++run) {
            const TPhases phases = ImportOnce(engine, file.string(), text, readOnly);
            if (phases.Read + phases.Write < best.Read + best.Write)
                best = phases;
        }
        bytes += static_cast<double>(text.size());
        read += best.Read;
        write += best.Write;
        rows.push_back(
            {best.Read + best.Write, static_cast<double>(text.size()), best, file.string()});
    }
    std::sort(rows.begin(), rows.end(),
              [](const TRow& a, const TRow& b) { return a.Seconds > b.Seconds; });
    for (std::size_t i = 0; i < std::min(top, rows.size()); ++i)
        std::printf("  %.4f s (read %.4f, write %.4f) %6.1f MB/s %s\n", rows[i].Seconds,
                    rows[i].Phases.Read, rows[i].Phases.Write,
                    rows[i].Bytes / 1e6 / rows[i].Seconds, rows[i].Name.c_str());
    const double total = read + write;
    std::printf("%zu designs, %.2f MB: read %.3f s (%.1f MB/s), write %.3f s, total %.3f s: "
                "%.1f MB/s\n",
                files.size(), bytes / 1e6, read, bytes / 1e6 / read, write, total,
                bytes / 1e6 / total);
    return 0;
}
