// The engine's PcbApi_ entry points as a table of function pointers, for host
// code that reads boards: harrow fills it by name from the loaded engine
// (never linking it); a test that links the engine fills it directly.
#pragma once

#include "host/sdk/PcbApi.h"

#include <stdexcept>
#include <string>

namespace Harrow {

struct PcbApiTable {
#define HARROW_PCBAPI_FUNCTION_SLOT(R, N, D, P, A) decltype(&::N) N = nullptr;
#define HARROW_PCBAPI_PROCEDURE_SLOT(N, P, A) decltype(&::N) N = nullptr;
    PCBAPI_FUNCTIONS(HARROW_PCBAPI_FUNCTION_SLOT)
    PCBAPI_PROCEDURES(HARROW_PCBAPI_PROCEDURE_SLOT)
#undef HARROW_PCBAPI_FUNCTION_SLOT
#undef HARROW_PCBAPI_PROCEDURE_SLOT
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
    return table;
}

} // namespace Harrow
