#include "board/RuleConstraints.h"

#include "board/PCBProcs.h"

namespace RuleConstraints {
namespace {

constexpr int32_t kRead = 1;
constexpr int32_t kWrite = 0;

// Rule entry points answer 0 on success; an unbound one answers 0 too, so a
// rule handle of 0 (no engine) is refused here.
bool Done(intptr_t rule, int32_t code) {
    return rule != 0 && code == 0;
}

} // namespace

bool ReadAttributes(intptr_t rule, TAttributes& attributes) {
    TAttributes read{};
    if (!Done(rule, PCBProcs::PcbApi_QueryRuleExt(kRead, rule, read.data())))
        return false;
    attributes = read;
    return true;
}

bool WriteAttributes(intptr_t rule, const TAttributes& attributes) {
    TAttributes copy = attributes;
    return Done(rule, PCBProcs::PcbApi_QueryRuleExt(kWrite, rule, copy.data()));
}

bool ReadClearance(intptr_t rule, int32_t& gap) {
    int32_t value = gap;
    if (!Done(rule, PCBProcs::PcbApi_QueryRuleClearanceConstraint(kRead, rule, &value)))
        return false;
    gap = value;
    return true;
}

bool WriteClearance(intptr_t rule, int32_t gap) {
    return Done(rule, PCBProcs::PcbApi_QueryRuleClearanceConstraint(kWrite, rule, &gap));
}

bool ReadWidth(intptr_t rule, TWidth& width) {
    TWidth value = width;
    if (!Done(rule, PCBProcs::PcbApi_QueryRuleMaxMinWidthConstraintExt(
                        kRead, rule, &value.Max, &value.Min, &value.Preferred)))
        return false;
    width = value;
    return true;
}

bool WriteWidth(intptr_t rule, const TWidth& width) {
    TWidth value = width;
    return Done(rule, PCBProcs::PcbApi_QueryRuleMaxMinWidthConstraintExt(
                          kWrite, rule, &value.Max, &value.Min, &value.Preferred));
}

bool WriteParallelSegment(intptr_t rule, int32_t gap, int32_t limit) {
    return Done(rule,
                PCBProcs::PcbApi_QueryRuleParallelSegmentConstraint(kWrite, rule, &gap, &limit));
}

bool WriteStubLength(intptr_t rule, int32_t length) {
    return Done(rule,
                PCBProcs::PcbApi_QueryRuleDaisyChainStubLengthConstraint(kWrite, rule, &length));
}

bool WriteTopology(intptr_t rule, int32_t topology) {
    return Done(rule, PCBProcs::PcbApi_QueryRuleRoutingTopologyRule(kWrite, rule, &topology));
}

bool ReadRoutingLayers(intptr_t rule, TRoutingLayers& codes) {
    TRoutingLayers value = codes;
    if (!Done(rule, PCBProcs::PcbApi_QueryRuleRoutingLayersRule(kRead, rule, value.data())))
        return false;
    codes = value;
    return true;
}

bool WriteRoutingLayers(intptr_t rule, const TRoutingLayers& codes) {
    TRoutingLayers value = codes;
    return Done(rule, PCBProcs::PcbApi_QueryRuleRoutingLayersRule(kWrite, rule, value.data()));
}

bool ReadViasUnderSMD(intptr_t rule, bool& allowed) {
    int32_t value = allowed ? 1 : 0;
    if (!Done(rule, PCBProcs::PcbApi_QueryRuleViasUnderSMDConstraint(kRead, rule, &value)))
        return false;
    allowed = value != 0;
    return true;
}

bool WriteViasUnderSMD(intptr_t rule, bool allowed) {
    int32_t value = allowed ? 1 : 0;
    return Done(rule, PCBProcs::PcbApi_QueryRuleViasUnderSMDConstraint(kWrite, rule, &value));
}

bool ReadMaximumViaCount(intptr_t rule, int32_t& count) {
    int32_t value = count;
    if (!Done(rule, PCBProcs::PcbApi_QueryRuleMaximumViaCountRule(kRead, rule, &value)))
        return false;
    count = value;
    return true;
}

bool WriteMaximumViaCount(intptr_t rule, int32_t count) {
    return Done(rule, PCBProcs::PcbApi_QueryRuleMaximumViaCountRule(kWrite, rule, &count));
}

bool WriteSMDToCorner(intptr_t rule, int32_t distance) {
    return Done(rule, PCBProcs::PcbApi_QueryRuleSMDToCorner(kWrite, rule, &distance));
}

} // namespace RuleConstraints
