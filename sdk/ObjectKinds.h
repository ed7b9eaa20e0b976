// The object kinds of the engine (TObjectId ordinals), the one numbering the
// engine and the plug-in share: kinds travel as int32_t through every entry
// point that creates, walks or reads objects. Kind 0 stands for no kind (an
// iterator over every kind, a bad handle).
#pragma once

#include <cstdint>

// X(Name, Ordinal)
#define PCBAPI_OBJECT_KINDS(X)                                                                     \
    X(Ignore, 0)                                                                                   \
    X(Arc, 1)                                                                                      \
    X(Pad, 2)                                                                                      \
    X(Via, 3)                                                                                      \
    X(Track, 4)                                                                                    \
    X(Text, 5)                                                                                     \
    X(Fill, 6)                                                                                     \
    X(FromTo, 7)                                                                                   \
    X(Net, 8)                                                                                      \
    X(Component, 9)                                                                                \
    X(Polygon, 10)                                                                                 \
    X(Region, 11)                                                                                  \
    X(ComponentBody, 12)                                                                           \
    X(Dimension, 13)                                                                               \
    X(Coordinate, 14)                                                                              \
    X(Class, 15)                                                                                   \
    X(Rule, 16)                                                                                    \
    X(ManualFromTo, 17)                                                                            \
    X(DifferentialPair, 18)                                                                        \
    X(Violation, 19)                                                                               \
    X(Embedded, 20)                                                                                \
    X(EmbeddedBoard, 21)                                                                           \
    X(SplitPlane, 22)                                                                              \
    X(Trace, 23)                                                                                   \
    X(SpareVia, 24)                                                                                \
    X(Board, 25)                                                                                   \
    X(BoardOutline, 26)

// Kinds 0 .. PCBAPI_OBJECT_KIND_COUNT - 1.
#define PCBAPI_OBJECT_KIND_COUNT 27
