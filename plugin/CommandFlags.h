// The command flags: set by a command before it starts a translation, kept
// from one command to the next. The translation's own state (the stop
// request, the offset, whether nets need an update) lives in the translation
// state of the model.
#pragma once

#include <cstdint>

struct TCommandFlags {
    // When true the report of a translation is written and shown.
    bool ReportEnabled = false;
    // True while a file is read into a board, false while files are written
    // from it.
    bool ImportDirection = true;
    // 0 for a design import, 3 for a route or session export.
    uint8_t FileKind = 0;
};

// The plug-in's one set of command flags.
TCommandFlags& CommandFlags();
