// Session export of a synthetic routed board: N track segments spread over
// nets of 100 segments, with one via a net, on the engine loaded as the host
// loads it. Prints track segments per second of processor time for the
// board-to-text part and for the whole export with the file saved, and the
// ratio of each size's whole time to the previous size's.
//
//   bench_export [--repeat N] [--per-net N] [--out FILE] [SEGMENTS...]
// Without sizes it runs 10000, 100000 and 1000000 segments.
#include "bench/synthetic/ImportRun.h"
#include "board/BoardFacade.h"
#include "board/PCBProcs.h"
#include "design/SpecctraRoutes.h"
#include "sdk/CorvaneEngine.h"
#include "specctra/SpecctraWriter.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int segmentsPerNet = 100;

// A board with `segments` tracks: nets of 100 segments, each a zigzag path on
// alternating layers, with one via a net.
void FillBoard(intptr_t board, int segments) {
    intptr_t net = 0;
    for (int i = 0; i < segments; ++i) {
        if (i % segmentsPerNet == 0) {
            TPcbNet record(0);
            std::string name(1, 'N');
            name.append(std::to_string(i / segmentsPerNet));
            net = Board::MakeAndAdd(board, record, [&](TPcbNet& n) { n.SetState_Name(name); });
            TPcbVia via(0);
            Board::MakeAndAdd(board, via, [&](TPcbVia& v) {
                v.SetState_x1(1000000 + i * 1000);
                v.SetState_y1(2000000);
                v.SetState_Size(250000);
                v.SetState_Net(net);
            });
        }
        TPcbTrack track(0);
        Board::MakeAndAdd(board, track, [&](TPcbTrack& t) {
            const int32_t x = 1000000 + (i % 5000) * 12700;
            const int32_t y = 1000000 + (i / 5000) * 12700;
            t.SetState_x1(x);
            t.SetState_y1(y);
            t.SetState_x2(x + 12700);
            t.SetState_y2(y + (i % 2 ? 12700 : 0));
            t.SetState_Width(100000);
            t.SetState_Layer(i % 2 ? eV6_BottomLayer : eV6_TopLayer);
            t.SetState_Net(net);
            t.SetState_Moveable(i % 3 != 0);
        });
    }
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    std::string out = (fs::temp_directory_path() / "bench_export.ses").string();
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--per-net" && i + 1 < argc)
            segmentsPerNet = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--out" && i + 1 < argc)
            out = argv[++i];
        else if (arg == "--help") {
            std::printf(
                "usage: bench_export [--repeat N] [--per-net N] [--out FILE] [SEGMENTS...]\n");
            return 0;
        } else
            sizes.push_back(std::max(1, std::atoi(arg.c_str())));
    }
    if (sizes.empty())
        sizes = {10000, 100000, 1000000};
    TBenchEngine engine;
    if (!engine.Load(argv[0]))
        return 2;
    const auto newBoard = engine.NewBoard;
    const auto closeBoard = engine.CloseBoard;
    int previousSegments = 0;
    double previousWhole = 0;
    for (int segments : sizes) {
        char error[256] = {};
        const intptr_t board =
            newBoard(("bench-export-" + std::to_string(segments)).c_str(), error, sizeof error);
        if (board == 0) {
            std::fprintf(stderr, "bench_export: %s\n", error);
            return 2;
        }
        FillBoard(board, segments);
        double bestRead = 1e300;
        double bestText = 1e300;
        double bestWhole = 1e300;
        std::size_t bytes = 0;
        for (int run = 0; run < repeat; ++run) {
            const double start = CpuSeconds();
            ResetTranslationState();
            TSpecctraWriter writer(out);
            {
                TSpecctraSessionFile session(out, nullptr, &writer, board);
                session.ImportFromPcb();
                bestRead = std::min(bestRead, CpuSeconds() - start);
                session.ExportToFile();
                bestText = std::min(bestText, CpuSeconds() - start);
                writer.Flush();
            }
            bytes = writer.Size();
            bestWhole = std::min(bestWhole, CpuSeconds() - start);
        }
        closeBoard(board);
        std::printf("%d segments (processor time, best of %d): board read %.4f s, text %.4f s "
                    "(%.0f segments/s), with save %.4f s (%.0f segments/s), %.1f MB",
                    segments, repeat, bestRead, bestText, segments / bestText, bestWhole,
                    segments / bestWhole, static_cast<double>(bytes) / 1e6);
        if (previousSegments > 0)
            std::printf("; %.2fx the time of the previous size for %.2fx the segments",
                        bestWhole / previousWhole,
                        static_cast<double>(segments) / previousSegments);
        std::printf("\n");
        previousSegments = segments;
        previousWhole = bestWhole;
    }
    std::remove(out.c_str());
    return 0;
}
