// The Corvane engine's host-side C interface: what the host shell calls to
// manage board documents and to receive progress. The board database itself is
// reached through the PcbApi_ entry points (see PcbApi.h).
//
// Conventions: handles are pointer-sized integers, 0 for none. Text is 8-bit
// (one byte a character). Functions that can fail take an error buffer and its
// capacity in bytes and write a one-line, NUL-terminated reason there; a null
// buffer is allowed. No function throws.
#pragma once

#include <cstdint>

extern "C" {

typedef intptr_t CorvaneBoard;

// Progress hooks: the engine's PcbApi_Percent_* entry points forward here.
// `context` is handed back unchanged. Passing null callbacks silences progress.
typedef void (*CorvanePercentInit)(void* context, const char* caption, int32_t steps);
typedef void (*CorvanePercentUpdate)(void* context);
typedef void (*CorvanePercentFinish)(void* context);
void Corvane_SetProgressHooks(CorvanePercentInit init, CorvanePercentUpdate update,
                              CorvanePercentFinish finish, void* context);

// A new, empty, modified board (two-layer stack) named `fileName`, not yet on
// disk. Returns 0 when a board with that file name is already open.
CorvaneBoard Corvane_NewBoard(const char* fileName, char* error, int32_t errorCapacity);

// Opens a saved board document (.pcbdoc). A missing, corrupt or foreign file
// gives 0 and a reason. Opening a file that is already open returns that board.
CorvaneBoard Corvane_OpenBoard(const char* fileName, char* error, int32_t errorCapacity);

// Saves the board to its own file name (or to `fileName` when not null, which
// then becomes its name) in one transaction: a failure or a kill during the
// save leaves the previous file whole. Returns 1 on success, 0 with a reason.
int32_t Corvane_SaveBoard(CorvaneBoard board, const char* fileName, char* error,
                          int32_t errorCapacity);

// Closes the board without saving; its handle and every object handle of it
// become stale.
void Corvane_CloseBoard(CorvaneBoard board);

// The current (focused) board; PcbApi_GetCurrentBoardHandle answers it.
void Corvane_SetCurrentBoard(CorvaneBoard board);

// Modified flag: set by every change made through the PcbApi_ entry points,
// cleared by a save; the host may set or clear it.
int32_t Corvane_IsBoardModified(CorvaneBoard board);
void Corvane_SetBoardModified(CorvaneBoard board, int32_t modified);

// The board's file name into `buffer` (capacity in bytes); returns its length,
// or -1 for an unknown board.
int32_t Corvane_GetBoardFileName(CorvaneBoard board, char* buffer, int32_t capacity);

// What a host keeps with a board for itself (names, notes of its own), by
// key: saved with the document, never read or dumped by the engine. Setting
// marks the board modified; a null `value` removes the key. Get copies at most
// `capacity` bytes of the value into `buffer` (which may be null) and returns
// the value's whole length, or -1 when the key is absent or the board unknown.
// Keys and values are byte strings of the given lengths.
int32_t Corvane_SetHostData(CorvaneBoard board, const char* key, const char* value, int64_t length);
int64_t Corvane_GetHostData(CorvaneBoard board, const char* key, char* buffer, int64_t capacity);

// A pad's true copper where its per-layer entries cannot hold the shape (a
// polygon, a path with corners): pieces, each on one entry of the pad's
// per-layer table (the entry its mode reads a layer by: 1 for every layer of
// a simple pad; 1, 2 and 32 for top, middle and bottom; the layer itself in a
// full stack), each a point, a segment or a polygon of `count` corners grown
// by `radius`, in host units about the pad's centre before its rotation. An
// entry with pieces has that copper instead of the entry's own shape; the
// pad's record stays as it is. Setting replaces the pad's whole outline (no
// pieces: none); the outline turns and flips with the pad. Returns 1, or 0
// for an object that is not a pad or a piece that is not valid.
typedef struct CorvanePadOutlinePiece {
    int32_t entry;
    int32_t count;
    double radius;
    const int32_t* xy; // count pairs
} CorvanePadOutlinePiece;
int32_t Corvane_SetPadOutline(intptr_t pad, const CorvanePadOutlinePiece* pieces, int32_t count);
// Piece number `piece` of the pad's outline on board layer `layer` (1..32)
// where the pad lies: its radius, and up to `capacity` corners into `xy` (x
// and y in turn, host units). Returns the piece's number of corners, or -1
// when it has no such piece (piece 0: the layer has the pad's own shape).
int32_t Corvane_GetPadOutline(intptr_t pad, int32_t layer, int32_t piece, double* radius,
                              double* xy, int32_t capacity);

// The number of objects alive in the engine, on every board or free; a
// diagnostic for hosts and tests that look for objects nobody frees.
int64_t Corvane_LiveObjectCount(void);

// The number of objects of `kind` on the board, the primitives of its
// components among them (every kind for 0): what a walk of the board by that
// kind finds, without the walk. -1 for a board that is not open or a kind
// out of range.
int64_t Corvane_BoardObjectCount(CorvaneBoard board, int32_t kind);

// Primitives without a net (tracks, arcs, vias, fills) that touch a pad with
// a net on a shared copper layer take that net, and hand it on to the
// net-less primitives that touch them. Returns the number of primitives
// given a net, or -1 for an unknown board.
int32_t Corvane_UpdateFreePrimitiveNets(CorvaneBoard board);

// Writes the whole board as JSON to `path` ("-" for standard output). Returns 1
// on success, 0 with a reason.
int32_t Corvane_DumpBoardJson(CorvaneBoard board, const char* path, char* error,
                              int32_t errorCapacity);
// The same of the board's rules alone: {"Objects":{"Rule":[...]}} with each
// rule as the whole dump writes it ({} when it has none); cheap on a board of
// any size.
int32_t Corvane_DumpRulesJson(CorvaneBoard board, const char* path, char* error,
                              int32_t errorCapacity);
}
