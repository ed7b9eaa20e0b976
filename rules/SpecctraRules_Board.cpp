// The rules on the board: each rule of a design file as a host rule of its
// kind, scoped by the rule's owner, and the circuit's via styles and routing
// layers taken from the design's library and layer stack.
#include "rules/SpecctraRules.h"

#include "board/BoardFacade.h"
#include "board/BoardRules.h"
#include "board/RuleConstraints.h"
#include "design/Layers.h"
#include "design/LibrarySection.h"
#include "geometry/DesignAccess.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "rules/RuleScopes.h"
#include "specctra/SpecctraHelpers.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

// What a circuit asks of its design: the layer stack's layers and the
// library's via padstacks.
bool DesignLayer(TSpecctraObject& rule, const std::string& name, TCircuitLayerInfo& info) {
    const TSpecctraLayer* layer = DesignAccess::LayerByName(DesignAccess::LayerStack(rule), name);
    if (!layer)
        return false;
    info.SignalOrMixed = DesignAccess::IsSignalOrMixed(*layer);
    info.HostLayer = DesignAccess::HostLayer(*layer);
    info.DirectionCode = layer->GetState_Direction() == eDirection_None
                             ? TCircuitLayerInfo::kToggleDirection
                             : HostRoutingDirection(layer->GetState_Direction());
    return true;
}

bool DesignHasLibrary(TSpecctraObject& rule) {
    return DesignAccess::Library(rule) != nullptr;
}

bool DesignViaStyle(TSpecctraObject& rule, const std::string& name, const std::string& prefix,
                    const std::string& scope) {
    TSpecctraDSNLibraryDescriptor* library = DesignAccess::Library(rule);
    TSpecctraPadstack* padstack = library ? library->GetState_PadStackByName(name) : nullptr;
    if (!padstack)
        return false;
    padstack->ExportToPcb_AsRoutingViaRule(prefix, scope);
    return true;
}

TCircuitDesignLinks DesignLinks() {
    return {&DesignLayer, &DesignHasLibrary, &DesignViaStyle};
}

TCircuitDesignLinks& CircuitLinks() {
    static TCircuitDesignLinks links = DesignLinks();
    return links;
}

const char* const kPad = "IsPad";

const char* const kSmd = "IsSMTPin";

const char* const kVia = "IsVia";

const char* const kWire = "(IsTrack Or IsArc)";

const char* const kArea = "(IsKeepout Or IsFill Or InPolygon)";

const char* const kTestPoint = "(TestPointTop Or TestPointBottom)";

const char* const kDrilled = "((IsPad Or IsVia) And (HoleSize>0))";

const std::pair<const char*, const char*> kClearanceFilters[kClearanceTypeCount] = {
    {kPad, kPad},
    {kPad, kSmd},
    {kPad, kVia},
    {kPad, kWire},
    {kPad, kArea},
    {kPad, kTestPoint},
    {kSmd, kSmd},
    {kSmd, kVia},
    {kSmd, kWire},
    {kSmd, "IsKeepout"},
    {kSmd, kTestPoint},
    {kVia, kVia},
    {kVia, kWire},
    {kVia, kArea},
    {kVia, kTestPoint},
    {kWire, kWire},
    {kWire, kArea},
    {kWire, kTestPoint},
    {kArea, kArea},
    {kArea, kTestPoint},
    {kTestPoint, kTestPoint},
    {kSmd, kVia},
    {kVia, kVia},
    {"", ""},
    {"", ""},
    {"", ""},
    {"", ""},
    {kDrilled, kDrilled},
};

// Appends a filter to a filter text joined by "Or", unless the text holds it.
void AddFilter(std::string& text, const char* filter) {
    if (*filter == '\0' || text.find(filter) != std::string::npos)
        return;
    text = JoinWithOperator(text, filter, "Or");
}

std::string Narrowed(const std::string& scope, const std::string& filter) {
    if (filter.empty())
        return scope.empty() ? "All" : scope;
    if (scope.empty())
        return filter;
    return scope + " And " + Parenthesised(filter);
}

} // namespace

const char* ClearanceFirstFilter(int index) {
    return index >= 0 && index < kClearanceTypeCount ? kClearanceFilters[index].first : "";
}

const char* ClearanceSecondFilter(int index) {
    return index >= 0 && index < kClearanceTypeCount ? kClearanceFilters[index].second : "";
}

const char* HostRuleKindName(int32_t hostKind) {
    switch (hostKind) {
    case eRule_Clearance:
        return "Clearance";
    case eRule_ParallelSegment:
        return "ParallelSegment";
    case eRule_MaxMinWidth:
        return "Width";
    case eRule_DaisyChainStubLength:
        return "StubLength";
    case eRule_RoutingTopology:
        return "RoutingTopology";
    case eRule_RoutingLayers:
        return "RoutingLayers";
    case eRule_ViasUnderSMD:
        return "ViasUnderSMD";
    case eRule_MaximumViaCount:
        return "MaximumViaCount";
    case eRule_SMDToCorner:
        return "SMDToCorner";
    default:
        return "";
    }
}

bool IsTwoScopeHostRuleKind(int32_t hostKind) {
    return hostKind == 0 || hostKind == 1 || hostKind == 15 || hostKind == 21 || hostKind == 24;
}

// ------------------------------------------------------------------ scopes

std::string ScopeUnaryExpression(TSpecctraRuleScopeBase* scope) {
    std::string expression = "All";
    if (scope)
        scope->UnaryRuleExpression(expression);
    return expression;
}

void ScopeBinaryExpressions(TSpecctraRuleScopeBase* scope, std::string& expression1,
                            std::string& expression2) {
    expression1 = expression2 = "All";
    if (scope)
        scope->BinaryRuleExpression(expression1, expression2);
}

// --------------------------------------------------------------- host rule

bool TSpecctraHostRule::ExportToPCB_Scope(TPcbRuleEx* rule) {
    if (!rule)
        return false;
    if (IsTwoScopeHostRuleKind(rule->GetState_Kind())) {
        std::string expression1, expression2;
        ScopeBinaryExpressions(FScope, expression1, expression2);
        rule->SetState_Scope1Expression(expression1);
        rule->SetState_Scope2Expression(expression2);
    } else {
        rule->SetState_Scope1Expression(ScopeUnaryExpression(FScope));
    }
    return Board::Write(*rule);
}

std::string TSpecctraHostRule::HostRuleName(const TPcbRuleEx* rule) const {
    if (!rule)
        return "ERROR: Invalid Rule Name";
    return std::string(HostRuleKindName(rule->GetState_Kind())) + " " + OwnerName();
}

std::string TSpecctraHostRule::OwnerName() const {
    return Owner ? Owner->NameID : std::string();
}

bool TSpecctraHostRule::ToHostLength(double value, const char* what, int32_t& converted) {
    const double limit = static_cast<double>(std::numeric_limits<int32_t>::max());
    const int32_t host = FileToBoard(value);
    if (!std::isfinite(value) || std::fabs(static_cast<double>(host)) >= limit) {
        ReportError(std::string("Value out of range for ") + what + " rule of " + OwnerName() +
                    ", rule not translated.");
        return false;
    }
    converted = host;
    return true;
}

bool TSpecctraHostRule::MakeHostRule(TPcbRuleEx& rule, int32_t hostKind) {
    rule.SetState_Kind(static_cast<TRuleKind>(hostKind));
    if (!Board::Make(rule))
        return false;
    if (!ExportToPCB_Scope(&rule)) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        rule.SetState_ObjectHandle(0);
        return false;
    }
    rule.SetState_Name(HostRuleName(&rule));
    return true;
}

bool TSpecctraHostRule::AddHostRule(TPcbRuleEx& rule) {
    return Board::AddTo(GetBoard(), rule);
}

bool TSpecctraWidthRule::ExportToPCB() {
    if (Value <= 0.0) {
        ReportError("Invalid width " + std::to_string(Value) + " for " + OwnerName() +
                    ", rule not translated.");
        return true;
    }
    RuleConstraints::TWidth width;
    if (!ToHostLength(Value * 1.2, "width", width.Max) ||
        !ToHostLength(Value * 0.8, "width", width.Min) ||
        !ToHostLength(Value, "width", width.Preferred))
        return true;
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_MaxMinWidth))
        return false;
    if (!Board::Write(rule) || !RuleConstraints::WriteWidth(rule.GetState_ObjectHandle(), width)) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        return false;
    }
    return AddHostRule(rule);
}

void TSpecctraClearanceRule::ConstraintExpressions(const TClearanceConstraint& constraint,
                                                   const std::string& scope1,
                                                   const std::string& scope2,
                                                   std::string& expression1,
                                                   std::string& expression2) {
    std::string first, second;
    for (int index = 0; index < kClearanceTypeCount; ++index) {
        if (!constraint.Contains(index) || (index >= 23 && index <= 26))
            continue;
        AddFilter(first, ClearanceFirstFilter(index));
        AddFilter(second, ClearanceSecondFilter(index));
    }
    expression1 = Narrowed(IsAllScope(scope1) ? std::string() : scope1, first);
    expression2 = Narrowed(IsAllScope(scope2) ? std::string() : scope2, second);
}

bool TSpecctraClearanceRule::WriteClearance(double value, const std::string& expression1,
                                            const std::string& expression2, bool sameNet) {
    int32_t gap = 0;
    if (!ToHostLength(value, "clearance", gap))
        return true;
    TPcbRuleEx rule(0);
    rule.SetState_Kind(eRule_Clearance);
    if (!Board::Make(rule))
        return false;
    const intptr_t handle = rule.GetState_ObjectHandle();
    RuleConstraints::TAttributes attributes{};
    RuleConstraints::ReadAttributes(handle, attributes);
    rule.SetState_Scope1Expression(expression1);
    rule.SetState_Scope2Expression(expression2);
    rule.SetState_Name(HostRuleName(&rule));
    attributes[1] = sameNet ? 1 : 0;
    if (!RuleConstraints::WriteClearance(handle, gap) ||
        !RuleConstraints::WriteAttributes(handle, attributes)) {
        Board::FreeObject(handle);
        return false;
    }
    return AddHostRule(rule);
}

bool TSpecctraClearanceRule::ExportToPCB() {
    std::string scope1, scope2;
    ScopeBinaryExpressions(FScope, scope1, scope2);
    bool result = true;
    if (UniformValue > 0.0)
        result = WriteClearance(UniformValue, scope1, scope2, false);
    else if (FUniformRead)
        ReportWarning("Skipped translation of clearance rule with value " +
                      std::to_string(UniformValue) + " for " + OwnerName());
    for (int32_t i = 0; i < Constraints.Count() && result; ++i) {
        const TClearanceConstraint& constraint = Constraints.At(i);
        if (constraint.Value <= 0.0) {
            ReportWarning("Skipped translation of clearance rule with value " +
                          std::to_string(constraint.Value) + " for " + OwnerName());
            continue;
        }
        std::string expression1, expression2;
        ConstraintExpressions(constraint, scope1, scope2, expression1, expression2);
        result = WriteClearance(constraint.Value, expression1, expression2,
                                constraint.Contains(21) || constraint.Contains(22));
    }
    if (result && SMDToTurnGap != -1.0) {
        int32_t distance = 0;
        if (SMDToTurnGap < 0.0)
            ReportWarning("Skipped translation of SMD to turn gap with value " +
                          std::to_string(SMDToTurnGap) + " for " + OwnerName());
        else if (ToHostLength(SMDToTurnGap, "SMD to turn gap", distance)) {
            TPcbRuleEx rule(0);
            rule.SetState_Kind(eRule_SMDToCorner);
            if (Board::Make(rule)) {
                rule.SetState_Scope1Expression(ScopeUnaryExpression(FScope));
                rule.SetState_Name(HostRuleName(&rule));
                if (Board::Write(rule) &&
                    RuleConstraints::WriteSMDToCorner(rule.GetState_ObjectHandle(), distance))
                    result = AddHostRule(rule);
                else
                    Board::FreeObject(rule.GetState_ObjectHandle());
            }
        }
    }
    return result;
}

bool TSpecctraStubLengthRule::ExportToPCB() {
    int32_t length = 0;
    if (Value < 0.0) {
        ReportError("Invalid stub length " + std::to_string(Value) + " for " + OwnerName() +
                    ", rule not translated.");
        return true;
    }
    if (!ToHostLength(Value, "stub length", length))
        return true;
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_DaisyChainStubLength))
        return false;
    if (!Board::Write(rule) ||
        !RuleConstraints::WriteStubLength(rule.GetState_ObjectHandle(), length)) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        return false;
    }
    return AddHostRule(rule);
}

bool TSpecctraMaxViaCountRule::ExportToPCB() {
    if (Value < 0) {
        ReportError("Invalid maximum via count " + std::to_string(Value) + " for " + OwnerName() +
                    ", rule not translated.");
        return true;
    }
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_MaximumViaCount))
        return false;
    const intptr_t handle = rule.GetState_ObjectHandle();
    int32_t current = 0;
    RuleConstraints::ReadMaximumViaCount(handle, current);
    if (!Board::Write(rule) || !RuleConstraints::WriteMaximumViaCount(handle, Value) ||
        !AddHostRule(rule)) {
        if (rule.GetState_ObjectHandle() != 0)
            Board::FreeObject(handle);
        ReportError("Error adding Max Via count rule to the board for " + OwnerName());
        return false;
    }
    return true;
}

bool TSpecctraParallelSegmentRule::ExportToPCB() {
    if (Gap == 0.0 && Limit == 0.0) {
        ReportEvent("Skipped translation of parallel segment rule with zero values for " +
                    OwnerName());
        return true;
    }
    int32_t gap = 0, limit = 0;
    if (Gap < 0.0 || Limit < 0.0) {
        ReportError("Invalid parallel segment values for " + OwnerName() +
                    ", rule not translated.");
        return true;
    }
    if (!ToHostLength(Gap, "parallel segment", gap) ||
        !ToHostLength(Limit, "parallel segment", limit))
        return true;
    TPcbRuleEx rule(0);
    rule.SetState_LayerKind(eRuleLayerKind_SameLayer);
    if (!MakeHostRule(rule, eRule_ParallelSegment))
        return false;
    rule.SetState_LayerKind(eRuleLayerKind_SameLayer);
    if (!Board::Write(rule) ||
        !RuleConstraints::WriteParallelSegment(rule.GetState_ObjectHandle(), gap, limit)) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        return false;
    }
    return AddHostRule(rule);
}

bool TSpecctraTandemSegmentRule::ExportToPCB() {
    int32_t gap = 0, limit = 0;
    if (Gap < 0.0 || Limit < 0.0) {
        ReportError("Invalid tandem segment values for " + OwnerName() + ", rule not translated.");
        return true;
    }
    if (!ToHostLength(Gap, "tandem segment", gap) || !ToHostLength(Limit, "tandem segment", limit))
        return true;
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_ParallelSegment))
        return false;
    rule.SetState_LayerKind(eRuleLayerKind_AdjacentLayer);
    if (!Board::Write(rule) ||
        !RuleConstraints::WriteParallelSegment(rule.GetState_ObjectHandle(), gap, limit)) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        return false;
    }
    return AddHostRule(rule);
}

// ---------------------------------------------------------------- reorder

int32_t TSpecctraRouteOrderRule::TopologyCode(TSpecctraRoutingOrder order) {
    switch (order) {
    case eDaisySimple:
    case eDaisyMidDriven:
        return 4;
    case eDaisyBalanced:
        return 5;
    default:
        return 0;
    }
}

bool TSpecctraRouteOrderRule::ExportToPCB() {
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_RoutingTopology))
        return false;
    if (!Board::Write(rule) ||
        !RuleConstraints::WriteTopology(rule.GetState_ObjectHandle(), TopologyCode(OrderType))) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        return false;
    }
    return AddHostRule(rule);
}

bool TSpecctraViaAtSmdRule::ExportToPCB() {
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_ViasUnderSMD))
        return false;
    const intptr_t handle = rule.GetState_ObjectHandle();
    bool current = false;
    RuleConstraints::ReadViasUnderSMD(handle, current);
    if (!Board::Write(rule) || !RuleConstraints::WriteViasUnderSMD(handle, Allowed)) {
        Board::FreeObject(handle);
        return false;
    }
    return AddHostRule(rule);
}

// ---------------------------------------------------------------- circuit

void SetCircuitDesignLinks(TCircuitDesignLinks links) {
    CircuitLinks() =
        links.Layer || links.HasLibrary || links.ViaStyle ? std::move(links) : DesignLinks();
}

void TSpecctraCircuitDescriptor::WriteViaStyles() {
    if (UsedVias.empty())
        return;
    const TCircuitDesignLinks& links = CircuitLinks();
    if (!links.HasLibrary || !links.HasLibrary(*this)) {
        ReportError("Invalid library reference returned, while tryng to create board level "
                    "routing via styles.");
        return;
    }
    const std::string scope = ScopeUnaryExpression(FScope);
    for (const std::string& name : UsedVias)
        if (!links.ViaStyle || !links.ViaStyle(*this, name, OwnerName(), scope))
            ReportError("Invalid padstack reference returned for: " + name +
                        ", while tryng to create board level routing via styles.");
}

void TSpecctraCircuitDescriptor::WriteRoutingLayers() {
    if (UsedLayers.empty())
        return;
    TPcbRuleEx rule(0);
    if (!MakeHostRule(rule, eRule_RoutingLayers)) {
        ReportError("Error adding routing layers rule for: " + OwnerName());
        return;
    }
    const intptr_t handle = rule.GetState_ObjectHandle();
    RuleConstraints::TRoutingLayers codes{};
    RuleConstraints::ReadRoutingLayers(handle, codes);
    codes.fill(0);
    int32_t last = 2;
    const TCircuitDesignLinks& links = CircuitLinks();
    for (const std::string& name : UsedLayers) {
        TCircuitLayerInfo info;
        if (!links.Layer || !links.Layer(*this, name, info) || !info.SignalOrMixed ||
            info.HostLayer < 1 || info.HostLayer > PCBAPI_ROUTING_LAYER_COUNT)
            continue;
        int32_t code = info.DirectionCode;
        if (code == TCircuitLayerInfo::kToggleDirection)
            code = last != 1 ? 1 : 2;
        codes[info.HostLayer - 1] = code;
        if (code == 1 || code == 2)
            last = code;
    }
    if (!Board::Write(rule) || !RuleConstraints::WriteRoutingLayers(handle, codes) ||
        !AddHostRule(rule)) {
        if (rule.GetState_ObjectHandle() != 0)
            Board::FreeObject(handle);
        ReportError("Error adding routing layers rule for: " + OwnerName());
    }
}

bool TSpecctraCircuitDescriptor::ExportToPCB() {
    WriteViaStyles();
    WriteRoutingLayers();
    return true;
}
