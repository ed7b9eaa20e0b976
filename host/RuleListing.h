// The rule listing of `harrow show`: every rule of a board with its kind,
// name, scope and values, lengths in mil and mm.
#pragma once

#include <ostream>
#include <string>

namespace Harrow {

// Prints the rules found in a board's JSON dump (the engine's DumpBoardJson
// text). Prints nothing when the board holds no rule.
void PrintRuleListing(std::ostream& out, const std::string& boardJson);

// The display name of a host rule kind (0 .. 66), or "Kind <n>".
std::string HostRuleKindDisplayName(long kind);

} // namespace Harrow
