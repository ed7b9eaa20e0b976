#include "rules/RuleScopes.h"

#include "rules/SpecctraNetRltd.h"
#include "specctra/SpecctraParser2.h"

namespace {

// Function name, apostrophes and parentheses: InNet('GND').
std::string Term(const char* function, const std::string& name) {
    return function + QuotedParenthesised(name);
}

std::string OwnerName(const TSpecctraObject* owner) {
    return owner ? owner->NameID : std::string();
}

// The class expression of a class pair: with exactly two classes the first
// (or second) class alone; otherwise every listed class joined by Or, in
// parentheses, on both sides. Empty when the owner is no class pair.
std::string ClassPairExpression(const TSpecctraObject* owner, std::size_t side) {
    const auto* pair = dynamic_cast<const TSpecctraClassToClass*>(owner);
    if (!pair)
        return std::string();
    if (pair->Classes.size() == 2)
        return Term("InNetClass", pair->Classes[side]);
    std::string list;
    for (const std::string& name : pair->Classes)
        list = JoinWithOperator(list, Term("InNetClass", name), "Or");
    return Parenthesised(list);
}

} // namespace

// ---------------------------------------------------------------------------
// TAbstractRuleScope

TAbstractRuleScope::TAbstractRuleScope(TSpecctraObject* owner, TSpecctraRuleScopeKind kind)
    : TSpecctraRuleScopeBase(owner, kind) {}

TAbstractRuleScope::~TAbstractRuleScope() = default;

std::string TAbstractRuleScope::BuildExpression1() {
    return "All";
}

std::string TAbstractRuleScope::BuildExpression2() {
    return "All";
}

void TAbstractRuleScope::UnaryRuleExpression(std::string& expression) {
    expression = "All";
}

void TAbstractRuleScope::BinaryRuleExpression(std::string& expression1, std::string& expression2) {
    expression1 = "All";
    expression2 = "All";
}

void TAbstractRuleScope::AddScopeLayerName(const std::string& name) {
    ReportWarning("Layer " + name + " of a layer rule of " + ClassName() +
                  " is ignored: the rule applies to every layer. Line: " +
                  std::to_string(Parser ? Parser->LineNumber() : 0));
}

bool TAbstractRuleScope::ReadRuleBlock(bool clearanceAndWidthOnly) {
    ++RuleBlockCount;
    TSpecctraRuleCollection* rules = GetRuleCollection();
    const IRuleBlockReader* reader = rules ? rules->RuleBlockReader() : nullptr;
    if (!reader) {
        SkipCurrentBlock();
        return true;
    }
    return reader->ReadRuleBlock(*this, clearanceAndWidthOnly);
}

bool TAbstractRuleScope::ImportFromFile() {
    return ReadRuleBlock(false);
}

bool TAbstractRuleScope::ImportCircuitDescriptor() {
    ++RuleBlockCount;
    TSpecctraRuleCollection* rules = GetRuleCollection();
    const IRuleBlockReader* reader = rules ? rules->RuleBlockReader() : nullptr;
    if (!reader) {
        SkipCurrentBlock();
        return true;
    }
    return reader->ReadCircuitBlock(*this);
}

// ---------------------------------------------------------------------------
// Expressions

std::string TAbstractRuleScopeWithLayer::LayerList() const {
    std::string list;
    for (const std::string& layer : Layers)
        list = JoinWithOperator(list, Term("OnLayer", layer), "Or");
    return list;
}

void TLayerRuleScope::BinaryRuleExpression(std::string& expression1, std::string& expression2) {
    expression1 = Term("OnLayer", OwnerName(Owner));
    expression2 = expression1;
}

void TClassRuleScope::UnaryRuleExpression(std::string& expression) {
    expression = Term("InNetClass", OwnerName(Owner));
}

void TClassRuleScope::BinaryRuleExpression(std::string& expression1, std::string& expression2) {
    UnaryRuleExpression(expression1);
    expression2 = expression1;
}

std::string TClassOnLayerRuleScope::BuildExpression1() {
    std::string expression = Term("InNetClass", OwnerName(Owner));
    if (!Layers.empty())
        expression += " And " + Parenthesised(LayerList());
    return expression;
}

void TClassOnLayerRuleScope::UnaryRuleExpression(std::string& expression) {
    expression = BuildExpression1();
}

void TClassOnLayerRuleScope::BinaryRuleExpression(std::string& expression1,
                                                  std::string& expression2) {
    expression1 = BuildExpression1();
    expression2 = expression1;
}

std::string TNetRuleScope::BuildExpression1() {
    return Term("InNet", OwnerName(Owner));
}

std::string TNetRuleScope::BuildExpression2() {
    return BuildExpression1();
}

void TNetRuleScope::UnaryRuleExpression(std::string& expression) {
    expression = BuildExpression1();
}

void TNetRuleScope::BinaryRuleExpression(std::string& expression1, std::string& expression2) {
    expression1 = BuildExpression1();
    expression2 = expression1;
}

std::string TClassVsClassRuleScope::BuildExpression1() {
    return ClassPairExpression(Owner, 0);
}

std::string TClassVsClassRuleScope::BuildExpression2() {
    return ClassPairExpression(Owner, 1);
}

void TClassVsClassRuleScope::UnaryRuleExpression(std::string& expression) {
    expression = BuildExpression1();
}

void TClassVsClassRuleScope::BinaryRuleExpression(std::string& expression1,
                                                  std::string& expression2) {
    expression1 = BuildExpression1();
    expression2 = BuildExpression2();
}

std::string TClassVsClassOnLayerRuleScope::BuildExpression1() {
    return JoinWithOperator(LayerList(), ClassPairExpression(Owner, 0), "And");
}

std::string TClassVsClassOnLayerRuleScope::BuildExpression2() {
    return JoinWithOperator(LayerList(), ClassPairExpression(Owner, 1), "And");
}

void TClassVsClassOnLayerRuleScope::UnaryRuleExpression(std::string& expression) {
    expression = BuildExpression1();
}

void TClassVsClassOnLayerRuleScope::BinaryRuleExpression(std::string& expression1,
                                                         std::string& expression2) {
    expression1 = BuildExpression1();
    expression2 = BuildExpression2();
}

// ---------------------------------------------------------------------------
// Region scopes

bool TRegionRuleScope::ImportFromFile() {
    // The scope is read again for every block of its owner: count afresh.
    SectionsOpen = 1;
    bool result = true;
    bool afterOpen = false;
    while (SectionsOpen > 0 && !StopParsing()) {
        const int32_t id = Parser->NextToken();
        const bool subBlock = afterOpen;
        afterOpen = id == eTok_OpenParen;
        bool ok = true;
        if (id == eTok_OpenParen || id == eTok_CloseParen) {
            HandleStructureToken();
        } else if (!subBlock) {
            ok = ReadName(Parser->TokenString());
        } else if (id == eTok_rule) {
            // The reader counts the rule block's levels itself.
            const int32_t level = SectionsOpen;
            ok = ReadRuleBlock(true);
            SectionsOpen = level - 1;
        } else {
            ok = ReadOtherBlock(id);
        }
        result = ok && result;
    }
    return result;
}

bool TRegionRuleScope::ReadName(const std::string&) {
    return HandleStructureToken();
}

bool TRegionRuleScope::ReadOtherBlock(int32_t) {
    return HandleStructureToken();
}

bool TClassInRegionRuleScope::ReadName(const std::string& name) {
    NameID = name;
    return true;
}

bool TNetInRegionRuleScope::ReadName(const std::string& name) {
    NetIDRef = name;
    return true;
}

bool TClassVsClassInRegionRuleScope::ReadOtherBlock(int32_t token) {
    if (token != eTok_classes) {
        SkipCurrentBlock();
        --SectionsOpen;
        return false;
    }
    NetClass1 = Parser->NextString();
    NetClass2 = Parser->NextString();
    const bool closed = Parser->ExpectToken(eTok_CloseParen);
    --SectionsOpen;
    return closed;
}

// ---------------------------------------------------------------------------
// Factory

int TDsnRuleScopeFactory::ScopeKindFor(int32_t token, const TSpecctraObject& owner) const {
    const bool onLayer = token == eTok_layer_rule;
    switch (owner.RuleScopeOwner()) {
    case eRuleOwnerStructure:
        return ePcbScope;
    case eRuleOwnerLayer:
        return eLayerScope;
    case eRuleOwnerNetClass:
        return onLayer ? eClassOnLayerScope : eClassScope;
    case eRuleOwnerGroupSet:
        return onLayer ? eGroupSetOnLayerScope : eGroupSetScope;
    case eRuleOwnerNet:
        return onLayer ? eNetOnLayerScope : eNetScope;
    case eRuleOwnerGroup:
        return onLayer ? eGroupOnLayerScope : eGroupScope;
    case eRuleOwnerFromTo:
        return onLayer ? eFromToOnLayerScope : eFromToScope;
    case eRuleOwnerClassPair:
        return onLayer ? eClassVsClassOnLayerScope : eClassVsClassScope;
    case eRuleOwnerPadstack:
        return ePadstackScope;
    case eRuleOwnerRegion:
        switch (token) {
        case eTok_region_class:
            return eClassInRegionScope;
        case eTok_region_class_class:
            return eClassVsClassInRegionScope;
        case eTok_region_net:
            return eNetInRegionScope;
        default:
            return eRegionScope;
        }
    default:
        return eNoneScope;
    }
}

std::unique_ptr<TSpecctraRuleScopeBase>
TDsnRuleScopeFactory::CreateScope(int kind, TSpecctraObject& owner) const {
    switch (kind) {
    case ePcbScope:
        return std::make_unique<TPCBRuleScope>(&owner);
    case eLayerScope:
        return std::make_unique<TLayerRuleScope>(&owner);
    case eClassScope:
        return std::make_unique<TClassRuleScope>(&owner);
    case eClassOnLayerScope:
        return std::make_unique<TClassOnLayerRuleScope>(&owner);
    case eGroupSetScope:
        return std::make_unique<TGroupSetRuleScope>(&owner);
    case eGroupSetOnLayerScope:
        return std::make_unique<TGroupSetOnLayerRuleScope>(&owner);
    case eNetScope:
        return std::make_unique<TNetRuleScope>(&owner);
    case eNetOnLayerScope:
        return std::make_unique<TNetOnLayerRuleScope>(&owner);
    case eGroupScope:
        return std::make_unique<TGroupRuleScope>(&owner);
    case eGroupOnLayerScope:
        return std::make_unique<TGroupOnLayerRuleScope>(&owner);
    case eFromToScope:
        return std::make_unique<TFromToRuleScope>(&owner);
    case eFromToOnLayerScope:
        return std::make_unique<TFromToOnLayerRuleScope>(&owner);
    case eClassVsClassScope:
        return std::make_unique<TClassVsClassRuleScope>(&owner);
    case eClassVsClassOnLayerScope:
        return std::make_unique<TClassVsClassOnLayerRuleScope>(&owner);
    case ePadstackScope:
        return std::make_unique<TPadstackRuleScope>(&owner);
    case eRegionScope:
        return std::make_unique<TRegionRuleScope>(&owner);
    case eClassInRegionScope:
        return std::make_unique<TClassInRegionRuleScope>(&owner);
    case eNetInRegionScope:
        return std::make_unique<TNetInRegionRuleScope>(&owner);
    case eClassVsClassInRegionScope:
        return std::make_unique<TClassVsClassInRegionRuleScope>(&owner);
    default:
        return nullptr;
    }
}

void RegisterRuleScopes(TSpecctraRuleCollection& rules) {
    static const TDsnRuleScopeFactory factory;
    rules.SetScopeFactory(&factory);
}
