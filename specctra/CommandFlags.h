// Module-wide command flags. A command sets them before it starts a
// translation; they keep their values from one command to the next.
#pragma once

#include <cstdint>

// When true the report of a translation is written and shown.
inline bool ReportEnabled = false;
// True while a file is read into a board, false while files are written from it.
inline bool ImportDirection = true;
// 0 for a design import, 3 for a route or session export.
inline uint8_t FileKind = 0;
// Set while a design is read when an image holds conductors or vias, so that
// free primitives need their nets refreshed afterwards.
inline bool NetsNeedUpdate = false;
