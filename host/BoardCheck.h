// harrow's rule check of a board: the engine's check (host/sdk/CorvaneCheck.h)
// printed as lines or as one JSON object.
#pragma once

#include "host/PcbApiTable.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace Harrow {

// Checks `board` with the engine's entry points found by `symbol`, prints the
// open connections, the violations and a summary line (to `out`, or JSON with
// `json`), and answers true when the board is clean. Raises HostError when the
// engine has no check.
bool PrintBoardCheck(std::ostream& out, const std::function<void*(const char*)>& symbol,
                     const PcbApiTable& api, intptr_t board, const std::string& shownPath,
                     const std::string& wholePath, bool json);

} // namespace Harrow
