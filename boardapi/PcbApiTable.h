// The engine's PcbApi_ entry points as a table of function pointers, for host
// code that reads boards: harrow fills it by name from the loaded engine
// (never linking it); a test that links the engine fills it directly.
#pragma once

#include "sdk/CorvaneEngine.h"
#include "sdk/PcbApi.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace Harrow {

struct PcbApiTable {
#define HARROW_PCBAPI_FUNCTION_SLOT(R, N, D, P, A) decltype(&::N) N = nullptr;
#define HARROW_PCBAPI_PROCEDURE_SLOT(N, P, A) decltype(&::N) N = nullptr;
    PCBAPI_FUNCTIONS(HARROW_PCBAPI_FUNCTION_SLOT)
    PCBAPI_PROCEDURES(HARROW_PCBAPI_PROCEDURE_SLOT)
#undef HARROW_PCBAPI_FUNCTION_SLOT
#undef HARROW_PCBAPI_PROCEDURE_SLOT
    // The engine's own extension for the true copper of pads whose shapes the
    // per-layer entries cannot hold; null when the engine lacks it.
    decltype(&::Corvane_GetPadOutline) Corvane_GetPadOutline = nullptr;
};

// Every slot from `lookup(name)`; raises std::runtime_error naming the first
// entry point the lookup does not find.
template <typename Lookup> PcbApiTable BindPcbApi(Lookup lookup) {
    PcbApiTable table;
#define HARROW_PCBAPI_BIND(N)                                                                      \
    if (void* symbol = lookup(#N))                                                                 \
        table.N = reinterpret_cast<decltype(table.N)>(symbol);                                     \
    else                                                                                           \
        throw std::runtime_error(std::string("engine lacks ") + #N);
#define HARROW_PCBAPI_BIND_FUNCTION(R, N, D, P, A) HARROW_PCBAPI_BIND(N)
#define HARROW_PCBAPI_BIND_PROCEDURE(N, P, A) HARROW_PCBAPI_BIND(N)
    PCBAPI_FUNCTIONS(HARROW_PCBAPI_BIND_FUNCTION)
    PCBAPI_PROCEDURES(HARROW_PCBAPI_BIND_PROCEDURE)
#undef HARROW_PCBAPI_BIND_FUNCTION
#undef HARROW_PCBAPI_BIND_PROCEDURE
#undef HARROW_PCBAPI_BIND
    table.Corvane_GetPadOutline =
        reinterpret_cast<decltype(table.Corvane_GetPadOutline)>(lookup("Corvane_GetPadOutline"));
    return table;
}

// One piece of a pad's true copper on a layer where the pad lies: a point, a
// segment or a polygon (x and y in turn, host units) grown by `radius`.
struct PadOutlinePiece {
    double radius = 0;
    std::vector<double> xy;
};

// The pieces of the pad's true copper on `layer`; none where the pad's own
// shape holds (or the engine keeps no outlines).
inline std::vector<PadOutlinePiece> PadOutlineOnLayer(const PcbApiTable& api, intptr_t pad,
                                                      int32_t layer) {
    std::vector<PadOutlinePiece> pieces;
    if (!api.Corvane_GetPadOutline)
        return pieces;
    // The count first: most pads have no outline, and their look costs
    // no allocation.
    for (int32_t i = 0;; ++i) {
        PadOutlinePiece piece;
        const int32_t n = api.Corvane_GetPadOutline(pad, layer, i, &piece.radius, nullptr, 0);
        if (n < 0)
            break;
        piece.xy.resize(2 * static_cast<std::size_t>(n));
        api.Corvane_GetPadOutline(pad, layer, i, nullptr, piece.xy.data(), n);
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

} // namespace Harrow
