// Small value types shared by the Specctra model.
#pragma once

#include <cstdint>

// A point of the Specctra text, in the file's own unit until converted.
struct TVertex {
    double X = 0.0;
    double Y = 0.0;
};

// Dimension unit of a model object; eDimNotSet means "ask the owner".
enum TDimensionUnit : uint8_t {
    eDimNotSet = 0,
    eDimInch = 1,
    eDimMil = 2,
    eDimCm = 3,
    eDimMm = 4,
    eDimUm = 5,
};
