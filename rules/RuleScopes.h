// Rule scopes: the object a rule block of a net, class, class pair, group,
// group set, from-to, layer, padstack, region or the structure is read into,
// with the host query expressions that say whom its rules apply to.
#pragma once

#include "specctra/SpecctraClasses1.h"
#include "specctra/SpecctraRuleScope.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TSpecctraRuleScopeKind : uint8_t {
    eNoneScope = 0,
    ePcbScope = 1,
    eLayerScope = 2,
    eClassScope = 3,
    eClassOnLayerScope = 4,
    eGroupSetScope = 5,
    eGroupSetOnLayerScope = 6,
    eNetScope = 7,
    eNetOnLayerScope = 8,
    eGroupScope = 9,
    eGroupOnLayerScope = 10,
    eFromToScope = 11,
    eFromToOnLayerScope = 12,
    eClassVsClassScope = 13,
    eClassVsClassOnLayerScope = 14,
    ePadstackScope = 15,
    eRegionScope = 16,
    eClassInRegionScope = 17,
    eNetInRegionScope = 18,
    eClassVsClassInRegionScope = 19,
};

class TSpecctraClearanceRule;

// The base of the scope classes: has its rule blocks read into rules (by the
// rule collection's rule-block reader) and answers the query expressions.
class TAbstractRuleScope : public TSpecctraRuleScopeBase {
public:
    TAbstractRuleScope(TSpecctraObject* owner, TSpecctraRuleScopeKind kind);
    ~TAbstractRuleScope() override;
    const char* ClassName() const override { return "TAbstractRuleScope"; }

    TSpecctraRuleScopeKind GetState_Kind() const {
        return static_cast<TSpecctraRuleScopeKind>(FKind);
    }

    // The scope's one clearance rule, made on the first clear or clearance
    // block; owned by the rule collection.
    TSpecctraClearanceRule* ClearanceRule = nullptr;
    // The number of rule and circuit blocks the scope was given.
    int RuleBlockCount = 0;

    virtual std::string BuildExpression1();
    virtual std::string BuildExpression2();
    void UnaryRuleExpression(std::string& expression) override;
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;

    // Reads a rule block whose keyword has been read.
    bool ImportFromFile() override;
    bool ImportCircuitDescriptor() override;
    // A scope without a layer list reports the names and ignores them.
    void AddScopeLayerName(const std::string& name) override;

protected:
    // Has the registered reader read the current rule block (skipped with a
    // warning when none is registered).
    bool ReadRuleBlock(bool clearanceAndWidthOnly);
};

// A scope that keeps the layer names of its layer_rule blocks.
class TAbstractRuleScopeWithLayer : public TAbstractRuleScope {
public:
    using TAbstractRuleScope::TAbstractRuleScope;
    const char* ClassName() const override { return "TAbstractRuleScopeWithLayer"; }
    std::vector<std::string> Layers;
    void AddScopeLayerName(const std::string& name) override { Layers.push_back(name); }

protected:
    // OnLayer('L1') Or OnLayer('L2') ...; empty without layers.
    std::string LayerList() const;
};

class TPCBRuleScope : public TAbstractRuleScope {
public:
    explicit TPCBRuleScope(TSpecctraObject* owner) : TAbstractRuleScope(owner, ePcbScope) {}
    const char* ClassName() const override { return "TPCBRuleScope"; }
};

class TLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eLayerScope) {}
    const char* ClassName() const override { return "TLayerRuleScope"; }
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;
};

class TClassRuleScope : public TAbstractRuleScope {
public:
    explicit TClassRuleScope(TSpecctraObject* owner) : TAbstractRuleScope(owner, eClassScope) {}
    const char* ClassName() const override { return "TClassRuleScope"; }
    void UnaryRuleExpression(std::string& expression) override;
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;
};

class TClassOnLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TClassOnLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eClassOnLayerScope) {}
    const char* ClassName() const override { return "TClassOnLayerRuleScope"; }
    std::string BuildExpression1() override;
    void UnaryRuleExpression(std::string& expression) override;
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;
};

class TGroupSetRuleScope : public TAbstractRuleScope {
public:
    explicit TGroupSetRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScope(owner, eGroupSetScope) {}
    const char* ClassName() const override { return "TGroupSetRuleScope"; }
};

class TGroupSetOnLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TGroupSetOnLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eGroupSetOnLayerScope) {}
    const char* ClassName() const override { return "TGroupSetOnLayerRuleScope"; }
};

class TNetRuleScope : public TAbstractRuleScope {
public:
    explicit TNetRuleScope(TSpecctraObject* owner) : TAbstractRuleScope(owner, eNetScope) {}
    const char* ClassName() const override { return "TNetRuleScope"; }
    std::string BuildExpression1() override;
    std::string BuildExpression2() override;
    void UnaryRuleExpression(std::string& expression) override;
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;
};

class TNetOnLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TNetOnLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eNetOnLayerScope) {}
    const char* ClassName() const override { return "TNetOnLayerRuleScope"; }
};

class TGroupRuleScope : public TAbstractRuleScope {
public:
    explicit TGroupRuleScope(TSpecctraObject* owner) : TAbstractRuleScope(owner, eGroupScope) {}
    const char* ClassName() const override { return "TGroupRuleScope"; }
};

class TGroupOnLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TGroupOnLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eGroupOnLayerScope) {}
    const char* ClassName() const override { return "TGroupOnLayerRuleScope"; }
};

class TFromToRuleScope : public TAbstractRuleScope {
public:
    explicit TFromToRuleScope(TSpecctraObject* owner) : TAbstractRuleScope(owner, eFromToScope) {}
    const char* ClassName() const override { return "TFromToRuleScope"; }
};

class TFromToOnLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TFromToOnLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eFromToOnLayerScope) {}
    const char* ClassName() const override { return "TFromToOnLayerRuleScope"; }
};

class TClassVsClassRuleScope : public TAbstractRuleScope {
public:
    explicit TClassVsClassRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScope(owner, eClassVsClassScope) {}
    const char* ClassName() const override { return "TClassVsClassRuleScope"; }
    std::string BuildExpression1() override;
    std::string BuildExpression2() override;
    void UnaryRuleExpression(std::string& expression) override;
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;
};

class TClassVsClassOnLayerRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TClassVsClassOnLayerRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScopeWithLayer(owner, eClassVsClassOnLayerScope) {}
    const char* ClassName() const override { return "TClassVsClassOnLayerRuleScope"; }
    std::string BuildExpression1() override;
    std::string BuildExpression2() override;
    void UnaryRuleExpression(std::string& expression) override;
    void BinaryRuleExpression(std::string& expression1, std::string& expression2) override;
};

class TPadstackRuleScope : public TAbstractRuleScope {
public:
    explicit TPadstackRuleScope(TSpecctraObject* owner)
        : TAbstractRuleScope(owner, ePadstackScope) {}
    const char* ClassName() const override { return "TPadstackRuleScope"; }
};

// The scope of a region's rules: names, then rule blocks that hold only
// clearance and width rules.
class TRegionRuleScope : public TAbstractRuleScopeWithLayer {
public:
    explicit TRegionRuleScope(TSpecctraObject* owner, TSpecctraRuleScopeKind kind = eRegionScope)
        : TAbstractRuleScopeWithLayer(owner, kind) {}
    const char* ClassName() const override { return "TRegionRuleScope"; }
    bool ImportFromFile() override;

protected:
    // A plain token of the block (a name before the rules).
    virtual bool ReadName(const std::string& name);
    // A sub-block other than rule.
    virtual bool ReadOtherBlock(int32_t token);
};

class TClassInRegionRuleScope : public TRegionRuleScope {
public:
    explicit TClassInRegionRuleScope(TSpecctraObject* owner)
        : TRegionRuleScope(owner, eClassInRegionScope) {}
    const char* ClassName() const override { return "TClassInRegionRuleScope"; }

protected:
    bool ReadName(const std::string& name) override;
};

class TNetInRegionRuleScope : public TRegionRuleScope {
public:
    explicit TNetInRegionRuleScope(TSpecctraObject* owner)
        : TRegionRuleScope(owner, eNetInRegionScope) {}
    const char* ClassName() const override { return "TNetInRegionRuleScope"; }
    std::string NetIDRef;

protected:
    bool ReadName(const std::string& name) override;
};

class TClassVsClassInRegionRuleScope : public TRegionRuleScope {
public:
    explicit TClassVsClassInRegionRuleScope(TSpecctraObject* owner)
        : TRegionRuleScope(owner, eClassVsClassInRegionScope) {}
    const char* ClassName() const override { return "TClassVsClassInRegionRuleScope"; }
    std::string NetClass1;
    std::string NetClass2;

protected:
    bool ReadOtherBlock(int32_t token) override;
};

// The scope classes of a design: picks the class by the owner's kind and the
// block's keyword, and makes it.
class TDsnRuleScopeFactory : public IRuleScopeFactory {
public:
    int ScopeKindFor(int32_t token, const TSpecctraObject& owner) const override;
    std::unique_ptr<TSpecctraRuleScopeBase> CreateScope(int kind,
                                                        TSpecctraObject& owner) const override;
};

// Registers the design's scope factory with its rule collection. Called by
// the design root when it makes its rule collection.
void RegisterRuleScopes(TSpecctraRuleCollection& rules);
