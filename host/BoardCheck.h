// harrow's rule check of a board: the engine's check (sdk/CorvaneCheck.h)
// printed as lines or as one JSON object.
#pragma once

#include "boardapi/PcbApiTable.h"
#include "host/EngineLibrary.h"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace Harrow {

// Checks `board` with the engine's check, prints the open connections, the
// violations and a summary line (to `out`, or JSON with `json`), and answers
// true when the board is clean. Raises HostError when the check fails.
bool PrintBoardCheck(std::ostream& out, EngineLibrary& engine, const PcbApiTable& api,
                     intptr_t board, const std::string& shownPath, const std::string& wholePath,
                     bool json);

} // namespace Harrow
