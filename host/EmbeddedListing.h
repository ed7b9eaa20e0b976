// harrow embedded: the translation data a board keeps, listed, written to a
// file or deleted, through the plug-in's own commands.
#pragma once

#include "host/CommandLine.h"

namespace Harrow {

// embedded BOARD [--file OUT] [--delete]; the exit status.
int Embedded(CommandLine& line);

} // namespace Harrow
