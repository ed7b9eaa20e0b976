// The rule-scope hooks of the object base: the abstract scope a rule block is
// read into, and the factory that picks a scope class for a block. The rules
// layer implements both; the design root registers its factory with the
// design's rule collection.
#pragma once

#include "specctra/SpecctraObject.h"

#include <cstdint>
#include <memory>
#include <string>

class TSpecctraRuleScopeBase;

// Base of every rule scope: one per rule-bearing object and kind of rule
// block. Its owner is the object whose block opened it; its kind (1 .. 19)
// is fixed by the class.
class TSpecctraRuleScopeBase : public TSpecctraObject {
public:
    TSpecctraRuleScopeBase(TSpecctraObject* owner, int kind)
        : TSpecctraObject(owner), FKind(kind) {}
    const char* ClassName() const override { return "TSpecctraRuleScopeBase"; }

    int RuleScopeKind() const { return FKind; }
    // Reads a "circuit" block (its keyword read) into a circuit descriptor.
    virtual bool ImportCircuitDescriptor() = 0;
    // Keeps a layer name of a "layer_rule" block.
    virtual void AddScopeLayerName(const std::string& name) = 0;
    // The scope expression of a one-scope rule, and the two of a two-scope
    // rule.
    virtual void UnaryRuleExpression(std::string& expression) = 0;
    virtual void BinaryRuleExpression(std::string& expression1, std::string& expression2) = 0;

    // Set when the scope's owner was dropped after reading: the scope and its
    // rules are left out of the board.
    bool Dropped = false;

protected:
    int FKind;
};

// Picks and makes scope classes.
class IRuleScopeFactory {
public:
    virtual ~IRuleScopeFactory() = default;
    // The scope kind (1 .. 19) of a rule block opened by the keyword `token`
    // inside `owner`, or 0 when no scope class fits.
    virtual int ScopeKindFor(int32_t token, const TSpecctraObject& owner) const = 0;
    virtual std::unique_ptr<TSpecctraRuleScopeBase> CreateScope(int kind,
                                                                TSpecctraObject& owner) const = 0;
};

// Reads the rule blocks of scopes into rules, each owned by the design's
// rule collection with the scope as its scope. The routing rules implement
// it; the design root registers it.
class IRuleBlockReader {
public:
    virtual ~IRuleBlockReader() = default;
    // A "rule" block (its keyword read) up to its closing parenthesis; a
    // region's scope takes only clearance and width rules.
    virtual bool ReadRuleBlock(TSpecctraRuleScopeBase& scope, bool clearanceAndWidthOnly) const = 0;
    // A "circuit" block (its keyword read) up to its closing parenthesis.
    virtual bool ReadCircuitBlock(TSpecctraRuleScopeBase& scope) const = 0;
};
