// The rule check of a board, for code inside the engine library (and for
// programs that link it): the same result that the C interface of
// sdk/CorvaneCheck.h hands out entry by entry.
#pragma once

#include "sdk/CorvaneCheck.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane {

struct BoardCheck {
    CorvaneCheckSummary summary{};
    std::vector<std::string> netNames; // by net index
    std::vector<intptr_t> netHandles;  // by net index
    std::vector<CorvaneOpenConnection> opens;
    std::vector<CorvaneViolation> violations;
    std::unordered_map<intptr_t, int32_t> groupOf; // copper object -> connected group
    bool Clean() const { return opens.empty() && violations.empty(); }
};

// Checks the board (`flags`: CORVANE_CHECK_* bits, 0 for everything). An
// unknown board gives `ok` false and an empty check.
BoardCheck CheckBoard(intptr_t board, int32_t flags, bool& ok);

} // namespace corvane
