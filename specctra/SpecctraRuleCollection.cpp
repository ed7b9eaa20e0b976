#include "specctra/SpecctraRuleCollection.h"

#include "board/BoardRules.h"

#include <vector>

namespace {

// Display names of the Specctra rule kinds 0 .. 40.
const char* const kRuleKindNames[] = {
    "Abstract",
    "Circuit Descriptor",
    "Clearance",
    "Effective Via Length",
    "Inter Layer Clearance",
    "Junction Type",
    "Length Amplitude",
    "Length Factor",
    "Length Gap",
    "Limit Bends",
    "Limit Crossing",
    "Limit Vias",
    "Limit Way",
    "Max Noise",
    "Max Stagger",
    "Max Stub",
    "Max Total Vias",
    "Parallel Noise",
    "Parallel Segment",
    "Pin Width Taper",
    "Power Fanout",
    "Redundant Wiring",
    "Reorder",
    "Restricted Layer Length Factor",
    "Saturation Length",
    "Shield Gap",
    "Shield Loop",
    "Shield Tie Down Interval",
    "Shield Width",
    "Stack Via",
    "Stack Via Depth",
    "Tandem Noise",
    "Tandem Segment",
    "Tandem Shield Overhang",
    "Testpoint",
    "Time Length Factor",
    "T Junction",
    "Track Id",
    "Via At Smd",
    "Via Pattern",
    "Width",
};

} // namespace

// TSpecctraRuleCollection

TSpecctraRuleCollection::TSpecctraRuleCollection(TSpecctraObject* owner)
    : TSpecctraObject(owner), FScopes(std::make_unique<TSpecctraList>(false)) {
    for (int kind = 1; kind <= RuleKindCount; ++kind)
        FRules[kind] = std::make_unique<TSpecctraList>(false);
}

TSpecctraRuleCollection::~TSpecctraRuleCollection() {
    // Rules refer to their scopes: free them first.
    for (auto& list : FRules)
        if (list)
            list->Clear();
    FScopes->Clear();
}

TSpecctraAbstractRule*
TSpecctraRuleCollection::AddRule(std::unique_ptr<TSpecctraAbstractRule> rule) {
    if (!rule || rule->RuleKind < 1 || rule->RuleKind > RuleKindCount)
        return nullptr;
    TSpecctraList& list = *FRules[rule->RuleKind];
    if (list.IndexOf(rule.get()) >= 0)
        return rule.release(); // already held: keep the one entry
    return list.AddNew(std::move(rule));
}

bool TSpecctraRuleCollection::Contains(const TSpecctraAbstractRule* rule) const {
    if (!rule || rule->RuleKind < 1 || rule->RuleKind > RuleKindCount)
        return false;
    return FRules[rule->RuleKind]->IndexOf(rule) >= 0;
}

TSpecctraRuleScopeBase* TSpecctraRuleCollection::FindRuleScope(const TSpecctraObject* owner,
                                                               int kind) const {
    auto it = FScopesByOwner.find(owner);
    if (it == FScopesByOwner.end())
        return nullptr;
    for (TSpecctraRuleScopeBase* scope : it->second)
        if (scope->RuleScopeKind() == kind)
            return scope;
    return nullptr;
}

TSpecctraRuleScopeBase*
TSpecctraRuleCollection::AddRuleScope(std::unique_ptr<TSpecctraRuleScopeBase> scope) {
    if (!scope)
        return nullptr;
    TSpecctraRuleScopeBase* raw = scope.get();
    FScopes->Add(std::move(scope));
    FScopesByOwner[raw->Owner].push_back(raw);
    return raw;
}

void TSpecctraRuleCollection::DropRuleScopesOf(const TSpecctraObject* owner) {
    auto it = FScopesByOwner.find(owner);
    if (it == FScopesByOwner.end())
        return;
    for (TSpecctraRuleScopeBase* scope : it->second)
        scope->Dropped = true;
    FScopesByOwner.erase(it);
    FHasDropped = true;
}

namespace {

// Keeps the objects of a list for which `keep` holds, in their order, and
// frees the others.
template <class TKeep> void KeepOnly(TSpecctraList& list, TKeep&& keep) {
    std::vector<std::unique_ptr<TSpecctraObject>> kept;
    kept.reserve(static_cast<std::size_t>(list.Count()));
    while (list.Count() > 0) {
        std::unique_ptr<TSpecctraObject> object = list.Extract(list.Count() - 1);
        if (keep(*object))
            kept.push_back(std::move(object));
    }
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        list.Add(std::move(*it));
}

} // namespace

void TSpecctraRuleCollection::PurgeDroppedScopes() {
    if (!FHasDropped)
        return;
    for (int kind = 1; kind <= RuleKindCount; ++kind)
        KeepOnly(*FRules[kind], [](TSpecctraObject& object) {
            const auto& rule = static_cast<TSpecctraAbstractRule&>(object);
            return !rule.FScope || !rule.FScope->Dropped;
        });
    KeepOnly(*FScopes, [](TSpecctraObject& object) {
        return !static_cast<TSpecctraRuleScopeBase&>(object).Dropped;
    });
    FHasDropped = false;
}

TSpecctraList* TSpecctraRuleCollection::GetState_RuleList(int kind) const {
    if (kind < 1 || kind > RuleKindCount)
        return nullptr;
    return FRules[kind].get();
}

void TSpecctraRuleCollection::ClearBoardRules() {
    if (FBoardRulesCleared)
        return;
    FBoardRulesCleared = true;
    DeleteRulesMadeBy(GetBoard(), 0);
    DeleteRulesMadeBy(GetBoard(), 2);
}

bool TSpecctraRuleCollection::ExportToPCB() {
    PurgeDroppedScopes();
    // Rules this translator wrote before (and those of the other maker mark)
    // go first, so that a repeated import does not pile rules up.
    ClearBoardRules();
    // Rules are written grouped by the kind of scope that read them, scope
    // kinds 1 .. 19, each group in rule-kind order and list order.
    for (int scopeKind = 1; scopeKind <= 19; ++scopeKind) {
        std::vector<TSpecctraAbstractRule*> group;
        for (int kind = 1; kind <= RuleKindCount; ++kind) {
            TSpecctraList& list = *FRules[kind];
            for (int32_t i = 0; i < list.Count(); ++i) {
                auto* rule = static_cast<TSpecctraAbstractRule*>(list.GetState_SpecctraObject(i));
                if (rule->FScope && rule->FScope->RuleScopeKind() == scopeKind)
                    group.push_back(rule);
            }
        }
        for (TSpecctraAbstractRule* rule : group)
            if (!rule->ExportToPCB())
                break;
    }
    return true;
}

std::string RuleDisplayName(int ruleKind, const TSpecctraAbstractRule* rule) {
    if (!rule)
        return "ERROR: Invalid Rule Name";
    const char* kind = ruleKind >= 0 && ruleKind <= TSpecctraRuleCollection::RuleKindCount
                           ? kRuleKindNames[ruleKind]
                           : "Unknown";
    return std::string(kind) + " " + rule->NameID;
}
