// Engine binding and wrapper throughput against the engine loaded into the
// process: bound call cost, object write/read rate, stored-data rate.
#include "board/PCBProcs.h"
#include "board/Pcbclass.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "sdk/CorvaneEngine.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

struct Engine {
    intptr_t board = 0;
    decltype(&Corvane_CloseBoard) close = nullptr;
    Engine() {
        const char* env = std::getenv("DSNLINK_ENGINE_LIBRARY");
        const std::string path = env ? env : std::string(DSNLINK_BIN_DIR) + "/libcorvane.so";
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (module == nullptr)
            return;
        auto make =
            reinterpret_cast<decltype(&Corvane_NewBoard)>(dlsym(module, "Corvane_NewBoard"));
        close = reinterpret_cast<decltype(close)>(dlsym(module, "Corvane_CloseBoard"));
        char error[256] = {};
        if (make != nullptr)
            board = make("bench.pcbdoc", error, sizeof error);
    }
};

Engine& engine() {
    static Engine e;
    return e;
}

void BM_BoundProcedureCall(benchmark::State& state) {
    if (engine().board == 0 || !PCBProcs::BindEngine()) {
        state.SkipWithError("engine library not loaded");
        return;
    }
    for (auto _ : state)
        PCBProcs::PcbApi_Percent_Update();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BoundProcedureCall);

void BM_UnboundFunctionCall(benchmark::State& state) {
    PCBProcs::SetEngineModuleName("libdsnlink-absent.so");
    for (auto _ : state)
        benchmark::DoNotOptimize(PCBProcs::PcbApi_GetCurrentBoardHandle());
    state.SetItemsProcessed(state.iterations());
    PCBProcs::SetEngineModuleName("libcorvane.so");
}
BENCHMARK(BM_UnboundFunctionCall);

void BM_TrackMakeAndRead(benchmark::State& state) {
    const intptr_t board = engine().board;
    if (board == 0 || !PCBProcs::BindEngine()) {
        state.SkipWithError("engine library not loaded");
        return;
    }
    const TPcbBoard host(board);
    int32_t i = 0;
    for (auto _ : state) {
        TPcbTrack track(PCBProcs::PcbApi_CreateObject(eTrackObject));
        track.QueryDatabase(1);
        track.x1 = ++i;
        track.x2 = i + 1000;
        track.Width = 100;
        track.SetState_Layer(eV6_TopLayer);
        track.QueryDatabase(0);
        host.AddObject(track.ObjectHandle);
        TPcbTrack back(track.ObjectHandle);
        back.QueryDatabase(1);
        benchmark::DoNotOptimize(back.x2);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrackMakeAndRead);

void BM_StoredDataRoundTrip(benchmark::State& state) {
    const intptr_t board = engine().board;
    if (board == 0 || !PCBProcs::BindEngine()) {
        state.SkipWithError("engine library not loaded");
        return;
    }
    const std::string payload(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        TEmbeddedStorageWrapper writer(board, "Type=Bench");
        writer.SetState_StorageString(payload);
        writer.WriteToBoard();
        TEmbeddedStorageWrapper reader(board, "Type=Bench");
        reader.ReadFromBoard();
        benchmark::DoNotOptimize(reader.GetState_StorageString().size());
        state.PauseTiming();
        DeleteEmbeddedObjects(board);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StoredDataRoundTrip)->Arg(1 << 20);

} // namespace

BENCHMARK_MAIN();
