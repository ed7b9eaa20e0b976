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

// The board's rules alone out of its JSON dump, as a dump of a board that
// holds nothing else ("{}" when it has none): a large board's whole dump is
// too big to read into a tree for the rule listing.
std::string RulesOfDump(const std::string& json);

} // namespace Harrow
