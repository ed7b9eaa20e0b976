// The PcbApi_ entry points of nets, from-tos, classes and rules.
#include "engine/PcbApiShared.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace corvane;
using namespace corvane::pcbapi;

extern "C" {

// ----------------------------------------------------------------- nets etc.

int32_t PcbApi_QueryNet(int32_t mode, intptr_t object, char* name, int32_t* connectsVisible,
                        int32_t* pwrGndColor) {
    uint32_t slot = SlotOf<kNet>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(name, connectsVisible, pwrGndColor))
        return 0;
    NetBody& b = BodyOf<NetBody>(slot);
    Ex ex{IsRead(mode)};
    if (ex.read)
        PutText(name, b.name);
    else if (!S().RenameNet(slot, GetText(name)))
        return 0;
    NetShared shared = b.shared.get();
    ex.Bool(connectsVisible, shared.connectsVisible);
    ex(pwrGndColor, shared.pwrGndColor);
    b.shared.set(shared);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_QueryManualFromTo(int32_t mode, intptr_t object, char* fromPad, char* toPad,
                                 char* netName, int32_t* color) {
    uint32_t slot = SlotOf<kManualFromTo, kFromTo>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(fromPad, toPad, netName, color))
        return 0;
    FromToBody& b = BodyOf<FromToBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Text(fromPad, b.fromPad);
    ex.Text(toPad, b.toPad);
    ex.Text(netName, b.netName);
    ex(color, b.color);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_QueryEmbedded(int32_t mode, intptr_t object, char* name, char* description) {
    uint32_t slot = SlotOf<kEmbedded>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(name, description))
        return 0;
    EmbeddedBody& b = BodyOf<EmbeddedBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Text(name, b.name);
    ex.Text(description, b.description);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

// ----------------------------------------------------------------- classes

int32_t PcbApi_QueryClass(int32_t mode, intptr_t object, char* name, int32_t* memberKind,
                          int32_t* superClass) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(name, memberKind, superClass))
        return 0;
    if (IsWrite(mode) && (*memberKind < 0 || *memberKind > 8))
        return 0;
    ClassBody& b = BodyOf<ClassBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Text(name, b.name);
    ex(memberKind, b.memberKind);
    ex.Bool(superClass, b.superClass);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_AddMemberToClass(intptr_t object, const char* memberName) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone || !memberName)
        return 1;
    ClassBody& b = BodyOf<ClassBody>(slot);
    b.AddMember(TextView(memberName));
    S().MarkModified(S().At(slot));
    return 0;
}

int32_t PcbApi_GetMemberFromClassAt(intptr_t object, int32_t memberIndex, char* memberName) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone || !memberName || memberIndex < 0)
        return 1;
    ClassBody& b = BodyOf<ClassBody>(slot);
    if (memberIndex >= static_cast<int32_t>(b.members.size()))
        return 1;
    PutText(memberName, b.members[memberIndex]);
    return 0;
}

int32_t PcbApi_RemoveAllMembersFromClass(intptr_t object) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone)
        return 1;
    ClassBody& b = BodyOf<ClassBody>(slot);
    b.ClearMembers();
    S().MarkModified(S().At(slot));
    return 0;
}

// ----------------------------------------------------------------- rules

int32_t PcbApi_QueryRuleEx(int32_t mode, intptr_t object, int32_t* ruleKind, int32_t* netScope,
                           int32_t* priority, int32_t* layerKind, char* scope1Expression,
                           char* scope2Expression) {
    RuleBody* r = RuleOf(object, -1);
    if (!r || !ValidMode(mode) ||
        !AllSet(ruleKind, netScope, priority, layerKind, scope1Expression, scope2Expression))
        return kRuleFail;
    Ex ex{IsRead(mode)};
    if (ex.read)
        *ruleKind = r->ruleKind;
    ex(netScope, r->netScope);
    ex(priority, r->priority);
    ex(layerKind, r->layerKind);
    ex.Text(scope1Expression, r->scope1);
    ex.Text(scope2Expression, r->scope2);
    if (!ex.read)
        S().MarkModified(S().At(S().ObjectSlot(object)));
    return kRuleOk;
}

int32_t PcbApi_QueryRuleExtEx(int32_t mode, intptr_t object, char* name) {
    RuleBody* r = RuleOf(object, -1);
    if (!r || !ValidMode(mode) || !name)
        return kRuleFail;
    Ex{IsRead(mode)}.Text(name, r->name);
    if (IsWrite(mode))
        S().MarkModified(S().At(S().ObjectSlot(object)));
    return kRuleOk;
}

int32_t PcbApi_QueryRuleExt(int32_t mode, intptr_t object, uint8_t* attributes) {
    RuleBody* r = RuleOf(object, -1);
    if (!r || !ValidMode(mode) || !attributes)
        return kRuleFail;
    if (IsRead(mode))
        std::copy(r->attributes.begin(), r->attributes.end(), attributes);
    else {
        std::copy_n(attributes, r->attributes.size(), r->attributes.begin());
        S().MarkModified(S().At(S().ObjectSlot(object)));
    }
    return kRuleOk;
}

int32_t PcbApi_QueryRuleClearanceConstraint(int32_t mode, intptr_t object, int32_t* gap) {
    return RuleValues(mode, object, 0, gap);
}

int32_t PcbApi_QueryRuleHoleToHoleClearance(int32_t mode, intptr_t object, int32_t* gap) {
    return RuleValues(mode, object, kHoleToHoleRule, gap);
}

int32_t PcbApi_QueryRuleParallelSegmentConstraint(int32_t mode, intptr_t object, int32_t* gap,
                                                  int32_t* limit) {
    return RuleValues(mode, object, 1, gap, limit);
}

int32_t PcbApi_QueryRuleMaxMinWidthConstraintExt(int32_t mode, intptr_t object, int32_t* maxWidth,
                                                 int32_t* minWidth, int32_t* preferredWidth) {
    return RuleValues(mode, object, 2, maxWidth, minWidth, preferredWidth);
}

int32_t PcbApi_QueryRuleDaisyChainStubLengthConstraint(int32_t mode, intptr_t object,
                                                       int32_t* length) {
    return RuleValues(mode, object, 5, length);
}

int32_t PcbApi_QueryRuleRoutingTopologyRule(int32_t mode, intptr_t object, int32_t* topology) {
    return RuleValues(mode, object, 7, topology);
}

int32_t PcbApi_QueryRuleRoutingLayersRule(int32_t mode, intptr_t object, int32_t* layerCodes) {
    RuleBody* r = RuleOf(object, 9);
    if (!r || !ValidMode(mode) || !layerCodes)
        return kRuleFail;
    r->values.resize(PCBAPI_ROUTING_LAYER_COUNT, 0);
    if (IsRead(mode))
        std::copy(r->values.begin(), r->values.end(), layerCodes);
    else {
        std::copy_n(layerCodes, PCBAPI_ROUTING_LAYER_COUNT, r->values.begin());
        S().MarkModified(S().At(S().ObjectSlot(object)));
    }
    return kRuleOk;
}

int32_t PcbApi_QueryRuleRoutingViaStyleRuleExt(int32_t mode, intptr_t object, int32_t* minHoleWidth,
                                               int32_t* minWidth, int32_t* maxHoleWidth,
                                               int32_t* maxWidth, int32_t* preferredHoleWidth,
                                               int32_t* preferredWidth) {
    return RuleValues(mode, object, 11, minHoleWidth, minWidth, maxHoleWidth, maxWidth,
                      preferredHoleWidth, preferredWidth);
}

int32_t PcbApi_QueryRuleViasUnderSMDConstraint(int32_t mode, intptr_t object, int32_t* allowed) {
    return RuleValues(mode, object, 17, allowed);
}

int32_t PcbApi_QueryRuleMaximumViaCountRule(int32_t mode, intptr_t object, int32_t* count) {
    return RuleValues(mode, object, 18, count);
}

int32_t PcbApi_QueryRuleSMDToCorner(int32_t mode, intptr_t object, int32_t* distance) {
    return RuleValues(mode, object, 23, distance);
}

} // extern "C"
