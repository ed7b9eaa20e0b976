// The short summary of a board that `harrow show` prints: counts of layers
// and of each kind of board object, read from the engine's JSON dump.
#pragma once

#include <iosfwd>
#include <string>

namespace Harrow {

void PrintBoardSummary(std::ostream& out, const std::string& boardPath, const std::string& json,
                       bool modified);

} // namespace Harrow
