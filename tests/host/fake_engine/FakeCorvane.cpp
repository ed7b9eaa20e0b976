// A stand-in for the Corvane engine with just enough of its host interface and
// board look-ups for the host and plug-in tests: boards are named records, and
// a saved board is a small text file starting "FAKE-CORVANE-BOARD".
#include "host/sdk/CorvaneEngine.h"
#include "host/sdk/PcbApi.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

constexpr const char* kMagic = "FAKE-CORVANE-BOARD";

struct Board {
    std::string fileName;
    bool modified = false;
};

std::map<CorvaneBoard, Board> g_boards;
CorvaneBoard g_next = 1;
CorvaneBoard g_current = 0;

void Fail(char* error, int32_t capacity, const std::string& reason) {
    if (error != nullptr && capacity > 0)
        std::snprintf(error, static_cast<std::size_t>(capacity), "%s", reason.c_str());
}

CorvaneBoard FindByName(const std::string& name) {
    for (const auto& [handle, board] : g_boards)
        if (board.fileName == name)
            return handle;
    return 0;
}

} // namespace

extern "C" {

void Corvane_SetProgressHooks(CorvanePercentInit, CorvanePercentUpdate, CorvanePercentFinish,
                              void*) {}

CorvaneBoard Corvane_NewBoard(const char* fileName, char* error, int32_t capacity) {
    if (FindByName(fileName) != 0) {
        Fail(error, capacity, "already open");
        return 0;
    }
    g_boards[g_next] = Board{fileName, true};
    return g_next++;
}

CorvaneBoard Corvane_OpenBoard(const char* fileName, char* error, int32_t capacity) {
    if (CorvaneBoard open = FindByName(fileName))
        return open;
    std::ifstream in(fileName, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first) || first != kMagic) {
        Fail(error, capacity, "not a board document");
        return 0;
    }
    g_boards[g_next] = Board{fileName, false};
    return g_next++;
}

int32_t Corvane_SaveBoard(CorvaneBoard handle, const char* fileName, char* error,
                          int32_t capacity) {
    auto it = g_boards.find(handle);
    if (it == g_boards.end()) {
        Fail(error, capacity, "unknown board");
        return 0;
    }
    if (fileName != nullptr)
        it->second.fileName = fileName;
    std::ofstream out(it->second.fileName, std::ios::binary | std::ios::trunc);
    out << kMagic << "\nsaved\n";
    if (!out) {
        Fail(error, capacity, "cannot write");
        return 0;
    }
    it->second.modified = false;
    return 1;
}

void Corvane_CloseBoard(CorvaneBoard handle) {
    g_boards.erase(handle);
    if (g_current == handle)
        g_current = 0;
}

void Corvane_SetCurrentBoard(CorvaneBoard handle) {
    g_current = g_boards.count(handle) != 0 ? handle : 0;
}

int32_t Corvane_IsBoardModified(CorvaneBoard handle) {
    auto it = g_boards.find(handle);
    return it != g_boards.end() && it->second.modified ? 1 : 0;
}

void Corvane_SetBoardModified(CorvaneBoard handle, int32_t modified) {
    auto it = g_boards.find(handle);
    if (it != g_boards.end())
        it->second.modified = modified != 0;
}

int32_t Corvane_GetBoardFileName(CorvaneBoard handle, char* buffer, int32_t capacity) {
    auto it = g_boards.find(handle);
    if (it == g_boards.end())
        return -1;
    if (buffer != nullptr && capacity > 0)
        std::snprintf(buffer, static_cast<std::size_t>(capacity), "%s",
                      it->second.fileName.c_str());
    return static_cast<int32_t>(it->second.fileName.size());
}

int32_t Corvane_DumpBoardJson(CorvaneBoard handle, const char* path, char* error,
                              int32_t capacity) {
    auto it = g_boards.find(handle);
    if (it == g_boards.end()) {
        Fail(error, capacity, "unknown board");
        return 0;
    }
    std::ostringstream json;
    json << "{\"fileName\":\"" << it->second.fileName
         << "\",\"tracks\":[{\"w\":1},{\"w\":2}],\"vias\":[]}\n";
    if (std::strcmp(path, "-") == 0) {
        std::fputs(json.str().c_str(), stdout);
        std::fflush(stdout);
        return 1;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << json.str();
    return out ? 1 : 0;
}

intptr_t PcbApi_GetCurrentBoardHandle(void) {
    return g_current;
}

intptr_t PcbApi_GetBoardHandleFromFileName(const char* fileName) {
    return fileName == nullptr ? 0 : FindByName(fileName);
}

int32_t PcbApi_QueryBoard(int32_t mode, intptr_t board, intptr_t*, char* fileName, int32_t*,
                          int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, PcbApiDielectric*,
                          PcbApiDielectric*, int32_t*, int32_t*, intptr_t*) {
    auto it = g_boards.find(board);
    if (mode != 1 || it == g_boards.end() || fileName == nullptr)
        return 0;
    std::snprintf(fileName, PCBAPI_TEXT_CAPACITY, "%s", it->second.fileName.c_str());
    return 1;
}
}
