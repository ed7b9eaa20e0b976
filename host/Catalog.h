// What harrow knows of the plug-in's commands: what each does, the
// parameters it reads, and what counts as done when `harrow run` reports its
// outcome. The plug-in registers the names; this table explains them.
#pragma once

#include <string>
#include <vector>

namespace Harrow {

struct CommandParameter {
    const char* name;
    const char* meaning;
};

struct CommandEntry {
    const char* name;
    const char* summary;
    std::vector<CommandParameter> parameters;
    // The command ends without effect when no board is current.
    bool needsBoard = false;
    // The command's work is a file or a board: when it wrote none, nothing
    // was translated. `outputParameter`, when set, makes this depend on that
    // parameter being given.
    bool writes = false;
    const char* outputParameter = nullptr;
    // The command's work is a board: done only when a board was saved.
    bool makesBoard = false;
};

// The entry of `name` (compared without regard to ASCII case), or null.
const CommandEntry* FindCommand(const std::string& name);

// "name=value" listings for `commands --params`, and the same as JSON.
std::string DescribeCommands(const std::vector<std::string>& names, bool parameters);
std::string DescribeCommandsJson(const std::vector<std::string>& names);

} // namespace Harrow
