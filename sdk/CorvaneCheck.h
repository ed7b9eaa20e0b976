// The Corvane engine's connectivity and rule check, as a C interface: which
// copper of a board touches which (per net, on which layers), the connections
// still open, and the clearance, short, board-outline, keep-out and
// hole-to-hole violations. harrow's "drc" verb, the netlist service and the router use it.
//
// Conventions as in CorvaneEngine.h: handles are pointer-sized integers, 0 for
// none; lengths and coordinates are host units (10000 per mil); layers are
// TV6_Layer numbers; object kinds are the ObjectKinds.h ordinals. No function
// throws.
//
// Use: Corvane_CheckBoard, read the counts and the entries, Corvane_FreeCheck.
// A check is a snapshot: it does not follow later changes of the board, and
// its object handles go stale when those objects are deleted.
#pragma once

#include <cstdint>

extern "C" {

typedef intptr_t CorvaneBoardCheck;

// What a check looks at (bits of `flags`; 0 means everything).
#define CORVANE_CHECK_OPENS 0x1     // connectivity and open connections
#define CORVANE_CHECK_CLEARANCE 0x2 // clearances and shorts between nets
#define CORVANE_CHECK_OUTLINE 0x4   // copper outside or too near the outline
#define CORVANE_CHECK_KEEPOUT 0x8   // copper inside a keep-out of its layer
#define CORVANE_CHECK_EVERYTHING 0xF
// Without this bit a clearance may fall short by up to 600 host units
// (0.06 mil, about 1.5 um): designs store coordinates and widths rounded to
// a few significant digits, and 45-degree routing loses that much. With it
// the check allows only 10 host units (for boards made by this system).
#define CORVANE_CHECK_STRICT 0x10

// Violation kinds.
#define CORVANE_VIOLATION_CLEARANCE 1 // copper of two nets closer than the rule
#define CORVANE_VIOLATION_SHORT 2     // copper of two nets touching
#define CORVANE_VIOLATION_OUTLINE 3   // copper outside, or too near, the outline
#define CORVANE_VIOLATION_KEEPOUT 4   // copper inside a keep-out of its layer
#define CORVANE_VIOLATION_HOLE 5      // two drilled holes nearer than the drill-to-drill gap

// One object taking part in an open connection or a violation.
typedef struct CorvaneCheckObject {
    intptr_t object; // engine handle; 0 for none (e.g. the outline of a board without one)
    int32_t kind;    // ObjectKinds.h ordinal (Pad, Track, Arc, Via, Fill, Region, ...)
    int32_t net;     // index into the check's nets (Corvane_CheckNetName), -1 for no net
} CorvaneCheckObject;

// A connection still to be made: one edge of the minimum spanning tree over a
// net's connected groups of copper, between the nearest pads (or, for a group
// without a pad, the nearest copper) of two groups.
typedef struct CorvaneOpenConnection {
    int32_t net;    // net index
    int32_t x1, y1; // the end in the first group
    int32_t layer1; // a copper layer of that end
    int32_t x2, y2; // the end in the second group
    int32_t layer2;
    int32_t length; // straight distance between the ends
    CorvaneCheckObject from, to;
} CorvaneOpenConnection;

typedef struct CorvaneViolation {
    int32_t kind;     // CORVANE_VIOLATION_*
    int32_t layer;    // the copper layer where it happens
    int32_t x, y;     // a point of it (between the nearest points of the two objects)
    int32_t actual;   // the gap found (0 for a short, an overlap or copper outside)
    int32_t required; // the gap the rules ask for (0 for a keep-out)
    CorvaneCheckObject first, second; // second: the other net's copper, the outline
                                      // (kind BoardOutline) or the keep-out object
} CorvaneViolation;

typedef struct CorvaneCheckSummary {
    int32_t nets;          // nets on the board
    int32_t netsWithPads;  // nets with at least one pad
    int32_t netsConnected; // nets with copper in one connected group
    int32_t groups;        // connected groups of netted copper, over every net
    int32_t opens;         // open connections
    int32_t violations;    // every violation
    int32_t clearances, shorts, outlines, keepouts; // by kind
    int32_t copperObjects;    // pads, tracks, arcs, vias, fills, polygons looked at
    int32_t defaultClearance; // the board's clearance when no narrower rule applies
    int32_t holes;            // hole violations (checked with the clearances)
    int32_t holeGap;          // the board's gap between the edges of two holes
} CorvaneCheckSummary;

// Checks the board; 0 for an unknown board (with a reason in `error`).
// Deterministic: the same board gives the same entries in the same order.
CorvaneBoardCheck Corvane_CheckBoard(intptr_t board, int32_t flags, char* error,
                                     int32_t errorCapacity);
void Corvane_FreeCheck(CorvaneBoardCheck check);

// Each answers 1 when filled, 0 for a bad check or index.
int32_t Corvane_CheckSummaryOf(CorvaneBoardCheck check, CorvaneCheckSummary* summary);
int32_t Corvane_CheckOpen(CorvaneBoardCheck check, int32_t index, CorvaneOpenConnection* open);
int32_t Corvane_CheckViolation(CorvaneBoardCheck check, int32_t index, CorvaneViolation* violation);
// The net's name into `buffer` (capacity in bytes, NUL-terminated); returns
// the name's length, or -1 for a bad check or index.
int32_t Corvane_CheckNetName(CorvaneBoardCheck check, int32_t net, char* buffer, int32_t capacity);
// The connected group of copper an object belongs to (groups are numbered per
// check from 0; objects of one net with the same group touch through copper),
// or -1 for an object that is no copper of the board.
int32_t Corvane_CheckGroupOf(CorvaneBoardCheck check, intptr_t object);
}
