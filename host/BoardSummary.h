// The short summary of a board that `harrow show` prints: counts of layers
// and of each kind of board object, read from the engine's JSON dump.
#pragma once

#include <iosfwd>
#include <map>
#include <string>

namespace Harrow {

void PrintBoardSummary(std::ostream& out, const std::string& boardPath, const std::string& json,
                       bool modified);
// The same from counts already made: "LayerStack", "LayerPairs" and
// "Objects/KIND" (the dump's kind names) for each kind present.
void PrintBoardSummary(std::ostream& out, const std::string& boardPath,
                       std::map<std::string, long> counts, bool modified);

} // namespace Harrow
