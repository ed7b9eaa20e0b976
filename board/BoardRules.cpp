#include "board/BoardRules.h"

#include "board/PCBProcs.h"
#include "board/Pcbclass.h"
#include "sdk/Parameters.h"

#include <vector>

bool IsAllScope(std::string_view scope) {
    return HostSdk::SameTextAscii(scope, "All");
}

namespace {

bool IsTwoScopeRuleKind(int32_t kind) {
    return kind == 0 || kind == 1 || kind == 15 || kind == 21 || kind == 24;
}

// Every rule of the board, kind and scopes read.
template <typename Visit> void ForEachBoardRule(intptr_t board, Visit visit) {
    for (intptr_t handle : CollectItems(board, eRuleObject)) {
        TPcbRuleEx rule(handle);
        if (rule.QueryDatabase(1) == 0 && !visit(handle, rule))
            return;
    }
}

void RemoveRule(intptr_t board, intptr_t rule) {
    // The board frees an object deleted from it; a rule it does not hold is
    // destroyed here.
    if (TPcbBoard(board).DeleteObject(rule) != 0)
        PCBProcs::PcbApi_DestroyObject(rule);
}

} // namespace

intptr_t FindDefaultRule(intptr_t board, int32_t ruleKind) {
    intptr_t found = 0;
    ForEachBoardRule(board, [&](intptr_t handle, const TPcbRuleEx& rule) {
        if (static_cast<int32_t>(rule.GetState_Kind()) != ruleKind ||
            !IsAllScope(rule.GetState_Scope1Expression()))
            return true;
        if (IsTwoScopeRuleKind(ruleKind) && !IsAllScope(rule.GetState_Scope2Expression()))
            return true;
        found = handle;
        return false;
    });
    return found;
}

void DeleteRulesOfKind(int32_t ruleKind, intptr_t board) {
    std::vector<intptr_t> doomed;
    ForEachBoardRule(board, [&](intptr_t handle, const TPcbRuleEx& rule) {
        if (static_cast<int32_t>(rule.GetState_Kind()) == ruleKind)
            doomed.push_back(handle);
        return true;
    });
    for (intptr_t handle : doomed)
        RemoveRule(board, handle);
}

int DeleteRulesMadeBy(intptr_t board, uint8_t firstByte) {
    std::vector<intptr_t> doomed;
    for (intptr_t handle : CollectItems(board, eRuleObject)) {
        uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {};
        if (PCBProcs::PcbApi_QueryRuleExt(1, handle, attributes) == 0 && attributes[0] == firstByte)
            doomed.push_back(handle);
    }
    for (intptr_t handle : doomed)
        RemoveRule(board, handle);
    return static_cast<int>(doomed.size());
}

bool SetRuleMaker(intptr_t rule, uint8_t maker) {
    uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {};
    if (rule == 0 || PCBProcs::PcbApi_QueryRuleExt(1, rule, attributes) != 0)
        return false;
    attributes[0] = maker;
    return PCBProcs::PcbApi_QueryRuleExt(0, rule, attributes) == 0;
}

std::string NetNameOf(intptr_t object) {
    intptr_t net = object;
    if (GetObjectKind(object) != eNetObject) {
        switch (GetObjectKind(object)) {
        case eTrackObject: {
            TPcbTrack track(object);
            track.QueryDatabase(1);
            net = track.GetState_Net();
            break;
        }
        case eViaObject: {
            TPcbVia via(object);
            via.QueryDatabase(1);
            net = via.GetState_Net();
            break;
        }
        case ePadObject: {
            TPcbPad pad(object);
            pad.QueryDatabase(1);
            net = pad.GetState_Net();
            break;
        }
        case eArcObject: {
            TPcbArc arc(object);
            arc.QueryDatabase(1);
            net = arc.GetState_Net();
            break;
        }
        case eFillObject: {
            TPcbFill fill(object);
            fill.QueryDatabase(1);
            net = fill.GetState_Net();
            break;
        }
        default:
            return std::string();
        }
    }
    if (net == 0)
        return std::string();
    TPcbNet record(net);
    if (record.QueryDatabase(1) == 0)
        return std::string();
    return record.GetState_Name();
}

std::string LayerNameOf(intptr_t board, int32_t layer) {
    TLayerObject record(board, static_cast<TV6_Layer>(layer));
    if (record.QueryDatabase(1) == 0)
        return std::string();
    return record.GetState_Name();
}
