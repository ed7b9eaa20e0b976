// One board document through the engine as a host uses it: open, dump, save
// under another name, close, open the saved copy, dump again. A document the
// engine opens must save, reopen and dump to the same bytes; a document it
// refuses must leave nothing behind.
#pragma once

#include "fuzz/FuzzSupport.h"

#include <string>

namespace fuzzsupport {

inline void DocumentRoundTrip(const std::string& path) {
    const TObjectLeakCheck leaks;
    char error[1024] = {};
    CorvaneBoard board = Corvane_OpenBoard(path.c_str(), error, sizeof error);
    if (!board) {
        if (!error[0])
            Fail("a refused document without a reason");
        return;
    }
    const std::string firstJson = ScratchPath("first.json");
    const std::string copy = ScratchPath("copy.pcbdoc");
    if (!Corvane_DumpBoardJson(board, firstJson.c_str(), error, sizeof error))
        Fail(std::string("dump failed: ") + error);
    if (!Corvane_SaveBoard(board, copy.c_str(), error, sizeof error))
        Fail(std::string("save failed: ") + error);
    Corvane_CloseBoard(board);
    board = Corvane_OpenBoard(copy.c_str(), error, sizeof error);
    if (!board)
        Fail(std::string("the saved copy does not open: ") + error);
    const std::string secondJson = ScratchPath("second.json");
    if (!Corvane_DumpBoardJson(board, secondJson.c_str(), error, sizeof error))
        Fail(std::string("dump of the copy failed: ") + error);
    Corvane_CloseBoard(board);
    if (ReadFile(firstJson) != ReadFile(secondJson))
        Fail("the saved copy dumps differently from the document");
}

} // namespace fuzzsupport
