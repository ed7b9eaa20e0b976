// Constraint values of host rules. A rule's values are not fields of its
// wrapper: each kind exchanges them through an entry point of its own. Every
// call answers true on success; a rule of another kind, a stale handle or a
// missing engine answers false and leaves the out values alone.
#pragma once

#include "sdk/PcbApi.h"

#include <array>
#include <cstdint>

namespace RuleConstraints {

// Extended attributes: byte 0 tells who made the rule, byte 1 is the
// same-net flag of a clearance rule.
using TAttributes = std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT>;
bool ReadAttributes(intptr_t rule, TAttributes& attributes);
bool WriteAttributes(intptr_t rule, const TAttributes& attributes);

bool ReadClearance(intptr_t rule, int32_t& gap);
bool WriteClearance(intptr_t rule, int32_t gap);

struct TWidth {
    int32_t Max = 0;
    int32_t Min = 0;
    int32_t Preferred = 0;
};
bool ReadWidth(intptr_t rule, TWidth& width);
bool WriteWidth(intptr_t rule, const TWidth& width);

bool WriteParallelSegment(intptr_t rule, int32_t gap, int32_t limit);
bool WriteStubLength(intptr_t rule, int32_t length);
bool WriteTopology(intptr_t rule, int32_t topology);

// One direction code per signal layer: entry i for host layer i + 1.
using TRoutingLayers = std::array<int32_t, PCBAPI_ROUTING_LAYER_COUNT>;
bool ReadRoutingLayers(intptr_t rule, TRoutingLayers& codes);
bool WriteRoutingLayers(intptr_t rule, const TRoutingLayers& codes);

bool ReadViasUnderSMD(intptr_t rule, bool& allowed);
bool WriteViasUnderSMD(intptr_t rule, bool allowed);

bool ReadMaximumViaCount(intptr_t rule, int32_t& count);
bool WriteMaximumViaCount(intptr_t rule, int32_t count);

bool WriteSMDToCorner(intptr_t rule, int32_t distance);

} // namespace RuleConstraints
