// harrow's command line: the help texts, the options of every verb (before
// or after the verb and the command name, "--opt=value", "--"), and the
// checks of values that travel inside a parameter string.
#pragma once

#include "host/Session.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Harrow {

struct CommandLine {
    std::string verb;
    std::vector<std::string> positional;
    SessionOptions session;
    bool help = false, version = false, quiet = false, json = false;
    bool autoroute = false, remove = false, params = false, svg = false, canvas = false;
    bool literal = false; // the translator's own bytes, nothing rewritten for the CAD system
    std::optional<std::string> merge, rte, ses, file, output;
    std::optional<std::string> routeEffort; // low, normal or high; with autoroute
};

// Reads the arguments; raises HostError for an unknown option, an option the
// verb does not take, or a missing or unwanted value.
CommandLine Parse(int argc, char** argv);

// The general help, and one verb's (raises HostError for an unknown verb).
const char* GeneralHelp();
void PrintVerbHelp(const std::string& verb);

// Raises HostError with the usage unless `count` arguments were given.
void Expect(const CommandLine& line, std::size_t count, const char* usage);

// Refuses a value that cannot travel inside a parameter string.
std::string ParameterValue(const std::string& what, const std::string& value);
// Every piece of the string must be name=value with a name and one "=".
void CheckParameterString(const std::string& parameters);

} // namespace Harrow
