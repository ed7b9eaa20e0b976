// bench_engine [N_TRACKS] [N_NETS]: objects per second for the engine's main
// steps on a board of N_TRACKS tracks spread over N_NETS nets.
// bench_engine --open DOC [SAVE_AS]: the time to open a saved board document
// (and to save it again as SAVE_AS), with the peak resident memory.
#include "sdk/CorvaneEngine.h"
#include "sdk/ObjectKinds.h"
#include "sdk/PcbApi.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this process so far: on a shared machine the wall clock
// says more about the neighbours than about the engine.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Report(const char* step, int64_t objects, Clock::time_point start, double cpuStart = -1) {
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-22s %10lld objects %8.3f s %12.0f objects/s", step,
                static_cast<long long>(objects), s, s > 0 ? objects / s : 0.0);
    if (cpuStart >= 0)
        std::printf(" (%.3f s processor time)", CpuSeconds() - cpuStart);
    std::printf("\n");
}

int OpenDocument(const char* path, const char* saveAs) {
    char error[512] = {};
    auto start = Clock::now();
    double cpu = CpuSeconds();
    CorvaneBoard board = Corvane_OpenBoard(path, error, sizeof error);
    if (!board) {
        std::fprintf(stderr, "%s\n", error);
        return 1;
    }
    int64_t objects = 0;
    for (int32_t kind = 1; kind < PCBAPI_OBJECT_KIND_COUNT; ++kind) {
        intptr_t it = PcbApi_CreateIterator(board, kind, 0, 0);
        for (intptr_t h = PcbApi_GetFirstObject(it); h; h = PcbApi_GetNextObject(it))
            ++objects;
        PcbApi_DestroyIterator(it);
    }
    Report("open", objects, start, cpu);
    if (saveAs) {
        start = Clock::now();
        cpu = CpuSeconds();
        if (!Corvane_SaveBoard(board, saveAs, error, sizeof error)) {
            std::fprintf(stderr, "%s\n", error);
            return 1;
        }
        Report("save", objects, start, cpu);
    }
    Corvane_CloseBoard(board);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.0f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--open")
        return OpenDocument(argv[2], argc > 3 ? argv[3] : nullptr);
    const int64_t tracks = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const int64_t nets = argc > 2 ? std::atoll(argv[2]) : 100000;
    if (tracks <= 0 || nets <= 0) {
        std::fprintf(stderr, "usage: bench_engine [N_TRACKS] [N_NETS]\n");
        return 2;
    }
    std::string path = "/tmp/bench_engine_" + std::to_string(getpid()) + ".pcbdoc";
    char error[512] = {};
    CorvaneBoard board = Corvane_NewBoard(path.c_str(), error, sizeof error);
    if (!board) {
        std::fprintf(stderr, "%s\n", error);
        return 1;
    }

    auto start = Clock::now();
    std::vector<intptr_t> netHandles;
    char name[PCBAPI_TEXT_CAPACITY];
    int32_t visible = 1, color = 0;
    for (int64_t n = 0; n < nets; ++n) {
        intptr_t net = PcbApi_CreateObject(8);
        std::snprintf(name, sizeof name, "NET%lld", static_cast<long long>(n));
        PcbApi_QueryNet(0, net, name, &visible, &color);
        PcbApi_AddObjectToContainer(board, net);
        netHandles.push_back(net);
    }
    for (int64_t i = 0; i < tracks; ++i) {
        intptr_t h = PcbApi_CreateObject(4);
        uint16_t bits = 0, index = 0;
        int32_t layer = i % 2 ? 1 : 32, moveable = 1, x1 = static_cast<int32_t>(i), y1 = 0;
        int32_t x2 = x1 + 1000, y2 = 500, width = 2500;
        intptr_t net = netHandles[i % nets], comp = 0, poly = 0, coord = 0, dim = 0;
        PcbApi_QueryTrack(0, h, &bits, &index, &layer, &net, &moveable, &comp, &x1, &y1, &x2, &y2,
                          &width, &poly, &coord, &dim);
        PcbApi_AddObjectToContainer(board, h);
    }
    Report("create+add", tracks + nets, start);

    start = Clock::now();
    int64_t seen = 0;
    intptr_t it = PcbApi_CreateIterator(board, 4, 0, 0);
    for (intptr_t h = PcbApi_GetFirstObject(it); h; h = PcbApi_GetNextObject(it))
        ++seen;
    PcbApi_DestroyIterator(it);
    Report("iterate all tracks", seen, start);

    start = Clock::now();
    int64_t walked = 0;
    for (intptr_t net : netHandles) {
        intptr_t ni = PcbApi_CreateIterator(board, 4, net, 0);
        for (intptr_t h = PcbApi_GetFirstObject(ni); h; h = PcbApi_GetNextObject(ni))
            ++walked;
        PcbApi_DestroyIterator(ni);
    }
    Report("walk each net", walked, start);

    start = Clock::now();
    if (!Corvane_SaveBoard(board, nullptr, error, sizeof error)) {
        std::fprintf(stderr, "%s\n", error);
        return 1;
    }
    Report("save", tracks + nets, start);
    Corvane_CloseBoard(board);

    start = Clock::now();
    board = Corvane_OpenBoard(path.c_str(), error, sizeof error);
    if (!board) {
        std::fprintf(stderr, "%s\n", error);
        return 1;
    }
    Report("reopen", tracks + nets, start);
    Corvane_CloseBoard(board);
    unlink(path.c_str());
    return seen == tracks && walked == tracks ? 0 : 1;
}
