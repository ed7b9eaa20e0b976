// Helper process for the document tests:
//   corvane_doc_tool dump <document> <json>      open a document, dump it
//   corvane_doc_tool bigsave <document> <tracks> build a large board, save it
//   corvane_doc_tool sample <document>           the sample board and a pad of
//                                                its own size on every copper
//                                                layer, saved (the fixtures of
//                                                older document versions)
#include "tests/support/SampleBoard.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Exit code 0, or 1 with the engine's reason on standard error.
int Outcome(bool ok, const char* error) {
    if (!ok)
        std::fprintf(stderr, "%s\n", error);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    char error[512] = {};
    if (argc == 4 && std::strcmp(argv[1], "dump") == 0) {
        CorvaneBoard board = Corvane_OpenBoard(argv[2], error, sizeof error);
        return Outcome(board && Corvane_DumpBoardJson(board, argv[3], error, sizeof error), error);
    }
    if (argc == 4 && std::strcmp(argv[1], "bigsave") == 0) {
        std::string name = std::string(argv[2]) + ".scratch";
        CorvaneBoard board = Corvane_NewBoard(name.c_str(), error, sizeof error);
        enginetest::FillTracks(board, std::atoll(argv[3]), 1000);
        return Outcome(Corvane_SaveBoard(board, argv[2], error, sizeof error), error);
    }
    if (argc == 3 && std::strcmp(argv[1], "sample") == 0) {
        CorvaneBoard board = Corvane_NewBoard(argv[2], error, sizeof error);
        enginetest::FillSampleBoard(board);
        intptr_t pad = PcbApi_CreateObject(2);
        int32_t mode = 2; // per layer
        PcbApi_QueryPadStackMode(0, pad, &mode);
        for (int32_t layer = 1; layer <= 32; ++layer) {
            PcbApi_SetPadShapeOnLayer(pad, layer, 1 + layer % 3);
            PcbApi_SetPadSizeOnLayer(pad, layer, 1000 * layer, 500 * layer);
        }
        PcbApi_AddObjectToContainer(board, pad);
        return Outcome(Corvane_SaveBoard(board, nullptr, error, sizeof error), error);
    }
    std::fprintf(stderr,
                 "usage: corvane_doc_tool dump DOC JSON | bigsave DOC TRACKS | sample DOC\n");
    return 2;
}
