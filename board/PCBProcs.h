// Binding of the engine's PcbApi_ entry points.
//
// The plug-in never links the engine. The first call of any entry point looks
// for the engine among the modules already loaded in the process and resolves
// every name of the table once. While the engine is absent every call looks
// again; an unbound function answers its table's unbound result and an unbound
// procedure does nothing. Once bound, a call costs one atomic load and an
// indirect call.
#pragma once

#include "sdk/CorvaneEngine.h"
#include "sdk/PcbApi.h"

#include <cstdint>
#include <string>

namespace PCBProcs {

#define PCBPROCS_DECLARE_FUNCTION(R, N, D, P, A) R N P;
#define PCBPROCS_DECLARE_PROCEDURE(N, P, A) void N P;
PCBAPI_FUNCTIONS(PCBPROCS_DECLARE_FUNCTION)
PCBAPI_PROCEDURES(PCBPROCS_DECLARE_PROCEDURE)
#undef PCBPROCS_DECLARE_FUNCTION
#undef PCBPROCS_DECLARE_PROCEDURE

// The engine's extension that keeps a pad's true copper outline beside its
// record; false when the engine lacks it or refuses the outline.
bool SetPadOutline(intptr_t pad, const CorvanePadOutlinePiece* pieces, int32_t count);

// Whether the bound engine copies pads (PcbApi_CopyPad).
bool CanCopyPads();

// Looks for the engine now and resolves every entry point when it is loaded.
// Answers whether the engine is bound afterwards. Never loads the engine.
bool BindEngine();

// True once the engine module was found and its entry points resolved.
bool IsEngineBound();

// The module the binding looks for ("libcorvane.so" unless changed).
std::string EngineModuleName();

// Test seam: look for another module name from now on. Drops the current
// binding; the next call looks again.
void SetEngineModuleName(const std::string& moduleName);

} // namespace PCBProcs
