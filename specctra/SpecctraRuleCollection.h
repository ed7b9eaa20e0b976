// The base of every routing rule and the collection that holds a design's
// rules and the scopes that read them.
#pragma once

#include "specctra/SpecctraList.h"
#include "specctra/SpecctraObject.h"
#include "specctra/SpecctraRuleScope.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// Base of every routing rule: its scope and kind (1 .. 40; 0 for the abstract
// rule).
class TSpecctraAbstractRule : public TSpecctraObject {
public:
    explicit TSpecctraAbstractRule(TSpecctraObject* owner, uint8_t ruleKind = 0)
        : TSpecctraObject(owner), RuleKind(ruleKind) {}
    const char* ClassName() const override { return "TSpecctraAbstractRule"; }

    TSpecctraRuleScopeBase* FScope = nullptr; // the scope that read the rule
    uint8_t RuleKind = 0;
};

// All rules of a design, one owning list per rule kind 1 .. 40, and the rule
// scopes that read them (owned too).
class TSpecctraRuleCollection : public TSpecctraObject {
public:
    static constexpr int RuleKindCount = 40;
    explicit TSpecctraRuleCollection(TSpecctraObject* owner);
    ~TSpecctraRuleCollection() override;
    const char* ClassName() const override { return "TSpecctraRuleCollection"; }

    // Takes the rule into the list of its kind and answers it; a rule of no
    // valid kind, or none, is dropped and the answer is none.
    TSpecctraAbstractRule* AddRule(std::unique_ptr<TSpecctraAbstractRule> rule);
    // True when the rule is already held (by identity).
    bool Contains(const TSpecctraAbstractRule* rule) const;
    // The list of a kind (1 .. 40), or none.
    TSpecctraList* GetState_RuleList(int kind) const;
    TSpecctraList& RuleScopes() { return *FScopes; }

    // The factory that picks scope classes, and the reader of rule blocks;
    // the design root registers both. Without a factory every rule block is
    // skipped where it stands; without a reader a scope skips its blocks.
    void SetScopeFactory(const IRuleScopeFactory* factory) { FScopeFactory = factory; }
    const IRuleScopeFactory* ScopeFactory() const { return FScopeFactory; }
    void SetRuleBlockReader(const IRuleBlockReader* reader) { FRuleBlockReader = reader; }
    const IRuleBlockReader* RuleBlockReader() const { return FRuleBlockReader; }

    // The scope of an owner and a kind, or none (hashed by owner).
    TSpecctraRuleScopeBase* FindRuleScope(const TSpecctraObject* owner, int kind) const;
    // Whether the owner has any scope (hashed by owner).
    bool HasRuleScopes(const TSpecctraObject* owner) const {
        return FScopesByOwner.find(owner) != FScopesByOwner.end();
    }
    // Takes a new scope into the list and the index; answers it.
    TSpecctraRuleScopeBase* AddRuleScope(std::unique_ptr<TSpecctraRuleScopeBase> scope);
    // Marks the scopes of an owner that is being dropped, so that neither
    // they nor their rules reach the board, and takes them out of the index.
    void DropRuleScopesOf(const TSpecctraObject* owner);
    // Frees the scopes marked dropped and their rules (once, in one pass).
    void PurgeDroppedScopes();

    // Removes from the board the rules an earlier translation wrote (their
    // extended attributes begin with 0 or 2), once per collection: the design
    // calls it before its sections write their own rules, so that rules made
    // by this translation stay.
    void ClearBoardRules();

    bool ExportToPCB() override;

private:
    bool FBoardRulesCleared = false;
    std::unique_ptr<TSpecctraList> FRules[RuleKindCount + 1];
    std::unique_ptr<TSpecctraList> FScopes;
    std::unordered_map<const TSpecctraObject*, std::vector<TSpecctraRuleScopeBase*>> FScopesByOwner;
    const IRuleScopeFactory* FScopeFactory = nullptr;
    const IRuleBlockReader* FRuleBlockReader = nullptr;
    bool FHasDropped = false;
};
