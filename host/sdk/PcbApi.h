// The Corvane engine's PcbApi_ entry points: the board database as the plug-in
// sees it. The engine (libcorvane.so) exports every name below with C linkage;
// the plug-in never links the engine but binds these names at run time from the
// already loaded library (board/PCBProcs.h).
//
// Conventions
// - Handles (boards, objects, iterators) are pointer-sized integers, 0 for none.
//   A stale, zero or foreign handle is refused with the entry point's failure
//   value; the engine never dereferences it.
// - Lengths are int32_t host units, 10000 per mil. Angles are doubles, degrees.
// - Layers are TV6_Layer bytes passed as int32_t.
// - Kinds are TObjectId / TRuleKind ordinals passed as int32_t.
// - A text field is a char buffer of PCBAPI_TEXT_CAPACITY bytes holding
//   NUL-terminated 8-bit text: filled on a read (mode 1), read on a write (mode 0).
// - Query entry points take (mode, handle, field addresses...): mode 1 reads the
//   object's record into the fields, mode 0 writes the fields into the object.
//   They answer 1 on success, 0 on failure.
//
// Every entry point is listed once, in one of the two X-macro tables below:
//   PCBAPI_FUNCTIONS(X):  X(ReturnType, Name, UnboundResult, (params), (args))
//   PCBAPI_PROCEDURES(X): X(Name, (params), (args))
// UnboundResult is what the plug-in's binding answers while the engine is
// absent (0 for nearly all).
#pragma once

#include <cstdint>

#define PCBAPI_TEXT_CAPACITY 8192

// clang-format off
#define PCBAPI_FUNCTIONS(X) \
    X(intptr_t, PcbApi_GetCurrentBoardHandle, 0, (void), ())

#define PCBAPI_PROCEDURES(X) \
    X(PcbApi_Percent_Init, (const char* caption, int32_t steps), (caption, steps)) \
    X(PcbApi_Percent_Update, (void), ()) \
    X(PcbApi_Percent_Finish, (void), ())
// clang-format on

#define PCBAPI_DECLARE_FUNCTION(R, N, D, P, A) R N P;
#define PCBAPI_DECLARE_PROCEDURE(N, P, A) void N P;
extern "C" {
PCBAPI_FUNCTIONS(PCBAPI_DECLARE_FUNCTION)
PCBAPI_PROCEDURES(PCBAPI_DECLARE_PROCEDURE)
}
