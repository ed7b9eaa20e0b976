// Rule scopes: which scope a rule block of each kind of object opens, that a
// scope is found again for the same owner, what the rules read through it
// are told as their query expressions, and what a dropped owner leaves.
#include "support/DesignText.h"
#include "support/ParserTestSupport.h"

#include "rules/RuleScopes.h"
#include "rules/SpecctraNetRltd.h"
#include "rules/SpecctraRules.h"
#include "specctra/SpecctraParser2.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using TStrings = std::vector<std::string>;

// A rule that reads its block to the end and keeps the words it held; a word BAD makes it fail.
class TTestRule : public TSpecctraAbstractRule {
public:
    TTestRule(TSpecctraObject* owner, uint8_t kind) : TSpecctraAbstractRule(owner, kind) {}
    bool ImportFromFile() override {
        bool result = true;
        for (int depth = 1; depth > 0 && !StopParsing();) {
            const int32_t id = Parser->NextToken();
            depth += id == eTok_OpenParen ? 1 : id == eTok_CloseParen ? -1 : 0;
            if (id != eTok_OpenParen && id != eTok_CloseParen) {
                Words.push_back(Parser->TokenString());
                result = result && Words.back() != "BAD";
            }
        }
        return result;
    }
    TStrings Words;
};

// Reads each rule block into one width rule (kind 40) and each circuit block
// into one circuit descriptor (kind 1), kept when read without error.
class TTestRuleReader : public IRuleBlockReader {
public:
    bool ReadRuleBlock(TSpecctraRuleScopeBase& scope, bool) const override {
        return Read(scope, 40);
    }
    bool ReadCircuitBlock(TSpecctraRuleScopeBase& scope) const override { return Read(scope, 1); }

private:
    static bool Read(TSpecctraRuleScopeBase& scope, uint8_t kind) {
        auto rule = std::make_unique<TTestRule>(scope.Owner, kind);
        rule->FScope = &scope;
        const bool read = rule->ImportFromFile();
        if (read)
            scope.GetRuleCollection()->AddRule(std::move(rule));
        return read;
    }
};

// A design read with the test rule reader installed.
struct TRulesDesign {
    TTestRuleReader Reader;
    std::unique_ptr<TReadDesign> Read;

    // The reader must be in place before the network is read.
    explicit TRulesDesign(const std::string& network) {
        Read = std::make_unique<TReadDesign>("");
        Read->Design.reset(); // it refers to the parser replaced below
        ResetTranslationState();
        Read->Parser = MakeParser(WithNetwork(network));
        Read->Design = std::make_unique<TSpecctraDesign>("t.dsn", Read->Parser.get(), nullptr, 0);
        Read->Design->GetRuleCollection()->SetRuleBlockReader(&Reader);
        Read->Result = Read->Design->ImportFromFile();
    }
    TSpecctraRuleCollection& Rules() const { return *Read->Design->GetRuleCollection(); }
    template <class T> static std::vector<T*> Items(TSpecctraList& list) {
        std::vector<T*> items;
        for (int32_t i = 0; i < list.Count(); ++i)
            items.push_back(static_cast<T*>(list.GetState_SpecctraObject(i)));
        return items;
    }
    // The scopes in the order they were opened; the rules of a kind in the order read.
    auto Scopes() const { return Items<TAbstractRuleScope>(Rules().RuleScopes()); }
    auto RulesOf(int kind) const { return Items<TTestRule>(*Rules().GetState_RuleList(kind)); }
    TAbstractRuleScope* ScopeOf(const std::string& ownerName, TSpecctraRuleScopeKind kind) const {
        for (TAbstractRuleScope* scope : Scopes())
            if (scope->Owner && scope->Owner->NameID == ownerName && scope->GetState_Kind() == kind)
                return scope;
        return nullptr;
    }
};

std::string Unary(TSpecctraRuleScopeBase* scope) {
    std::string e;
    scope->UnaryRuleExpression(e);
    return e;
}

TStrings Binary(TSpecctraRuleScopeBase* scope) {
    std::string a, b;
    scope->BinaryRuleExpression(a, b);
    return {a, b};
}

TEST(RuleScopes, ClassRulesAndLayerRules) {
    TRulesDesign d("(class C N1 N2 (rule (width 8)) (layer_rule L1 L2 (rule (width 5)))\n"
                   "  (circuit (use_via V1)))");
    TAbstractRuleScope* plain = d.ScopeOf("C", eClassScope);
    TAbstractRuleScope* onLayer = d.ScopeOf("C", eClassOnLayerScope);
    ASSERT_TRUE(plain && onLayer);
    EXPECT_EQ(plain->BuildExpression1(), "All");
    EXPECT_EQ(Unary(plain), "InNetClass('C')");
    EXPECT_EQ(Binary(plain), (TStrings{"InNetClass('C')", "InNetClass('C')"}));
    EXPECT_EQ(Unary(onLayer), "InNetClass('C') And (OnLayer('L1') Or OnLayer('L2'))");
    EXPECT_EQ(onLayer->BuildExpression2(), "All");
    EXPECT_EQ(Binary(onLayer)[1], "InNetClass('C') And (OnLayer('L1') Or OnLayer('L2'))");
    // The circuit block went into the class's plain scope.
    EXPECT_EQ(plain->RuleBlockCount, 2);
    ASSERT_EQ(d.RulesOf(1).size(), 1u);
    EXPECT_EQ(d.RulesOf(1)[0]->FScope, plain);
}

TEST(RuleScopes, ClassPairsNameTheirClasses) {
    TRulesDesign d(
        "(class_class (classes A B) (rule (width 1)) (layer_rule TOP (rule (width 2))))\n"
        "(class_class (classes A B C) (rule (width 3)))");
    TSpecctraList& pairs = *d.Read->Network().ClassPairs;
    auto scopes = d.Scopes();
    ASSERT_EQ(scopes.size(), 3u);
    EXPECT_EQ(scopes[0]->Owner, pairs.GetState_SpecctraObject(0));
    EXPECT_EQ(Unary(scopes[0]), "InNetClass('A')");
    EXPECT_EQ(Binary(scopes[0]), (TStrings{"InNetClass('A')", "InNetClass('B')"}));
    EXPECT_EQ(scopes[1]->GetState_Kind(), eClassVsClassOnLayerScope);
    EXPECT_EQ(Binary(scopes[1]), (TStrings{"OnLayer('TOP') And InNetClass('A')",
                                           "OnLayer('TOP') And InNetClass('B')"}));
    const std::string all = "(InNetClass('A') Or InNetClass('B') Or InNetClass('C'))";
    EXPECT_EQ(Binary(scopes[2]), (TStrings{all, all}));
}

TEST(RuleScopes, GroupsGroupSetsAndFromTosAreAllEverywhere) {
    TRulesDesign d(
        "(net N (pins U1-1 U2-1) (fromto U1-1 U2-1 (rule (width 4)))\n"
        "  (layer_rule L1 (rule (width 3))))\n"
        "(group G (fromto U1-1 U2-1) (rule (width 5)) (layer_rule L1 (rule (width 6))))\n"
        "(group_set S G (rule (width 7)))");
    std::vector<TSpecctraRuleScopeKind> kinds;
    for (TAbstractRuleScope* scope : d.Scopes()) {
        kinds.push_back(scope->GetState_Kind());
        EXPECT_EQ(Unary(scope), "All") << scope->ClassName();
        EXPECT_EQ(Binary(scope), (TStrings{"All", "All"})) << scope->ClassName();
    }
    EXPECT_EQ(kinds,
              (std::vector<TSpecctraRuleScopeKind>{eFromToScope, eNetOnLayerScope, eGroupScope,
                                                   eGroupOnLayerScope, eGroupSetScope}));
}

TEST(RuleScopes, ADroppedOwnerTakesItsScopesAndRulesAlong) {
    TRulesDesign d("(net A (pins U1-1) (rule (width 2)))\n"
                   "(net B (pins U2-1) (rule (width 3)) (fromto U2-1 U3-1 (rule (width 9))) X)\n"
                   "(class K A (rule (width 4)) (rule (width BAD)))");
    // The failed width rule of K is not kept; K itself stays.
    EXPECT_EQ(d.Rules().GetState_RuleList(40)->Count(), 4);
    d.Rules().ExportToPCB();
    EXPECT_EQ(d.Rules().GetState_RuleList(40)->Count(), 2);
    EXPECT_EQ(d.Rules().RuleScopes().Count(), 2);
    EXPECT_NE(d.ScopeOf("K", eClassScope), nullptr);
    // A net's rules are scoped by the net.
    TAbstractRuleScope* a = d.ScopeOf("A", eNetScope);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Unary(a), "InNet('A')");
    EXPECT_EQ(Binary(a), (TStrings{"InNet('A')", "InNet('A')"}));
    EXPECT_EQ(a->BuildExpression2(), "InNet('A')");
    const TTestRule* rule = d.RulesOf(40).at(0);
    EXPECT_EQ(rule->FScope, a);
    EXPECT_EQ(rule->Owner, d.Read->Network().GetState_NetByName("A"));
    EXPECT_EQ(rule->Words, (TStrings{"WIDTH", "2"}));
}

TEST(RuleScopes, APadstacksRuleBlockGivesItsRulesWithThePadstackScope) {
    TReadDesign read("(pcb t (parser (string_quote \"))\n"
                     "(library\n"
                     " (padstack P (shape (circle signal 20)) (rule (width 7) (clearance 5)))\n"
                     " (padstack Q (rule (width 3)) (shape (circle signal 20)) WRONG))\n"
                     ")\n");
    EXPECT_FALSE(read.Has("WARNING: Skipped block between lines: 3-3, from keyword: RULE"));
    TSpecctraRuleCollection& rules = *read.Design->GetRuleCollection();
    ASSERT_EQ(rules.RuleScopes().Count(), 2) << "one for P, one for the padstack left out";
    auto* scope = static_cast<TAbstractRuleScope*>(rules.RuleScopes().GetState_SpecctraObject(0));
    EXPECT_EQ(scope->GetState_Kind(), ePadstackScope);
    ASSERT_NE(scope->Owner, nullptr);
    EXPECT_EQ(scope->Owner->NameID, "P");
    EXPECT_EQ(Unary(scope), "All");
    EXPECT_EQ(Binary(scope), (TStrings{"All", "All"}));
    ASSERT_NE(scope->ClearanceRule, nullptr);
    EXPECT_EQ(rules.GetState_RuleList(eClearance_Rule)->Count(), 1);
    // Q failed to read and is left out: its rules go with it.
    rules.ExportToPCB();
    const auto widths =
        TRulesDesign::Items<TSpecctraAbstractRule>(*rules.GetState_RuleList(eWidth_Rule));
    ASSERT_EQ(widths.size(), 1u);
    EXPECT_EQ(widths[0]->FScope, scope);
    EXPECT_EQ(rules.RuleScopes().Count(), 1);
}

TEST(RuleScopes, FactoryFollowsOwnerAndKeyword) {
    TDsnRuleScopeFactory factory;
    TSpecctraObject root(nullptr);
    TSpecctraDSNStructureDescriptor structure(&root);
    TSpecctraDsnNetworkDescriptor network(&root);
    TSpecctraNet net(&network);
    TSpecctraObject plain(&root);
    EXPECT_EQ(factory.ScopeKindFor(eTok_rule, structure), ePcbScope);
    EXPECT_EQ(factory.ScopeKindFor(eTok_layer_rule, structure), ePcbScope);
    EXPECT_EQ(factory.ScopeKindFor(eTok_circuit, net), eNetScope);
    EXPECT_EQ(factory.ScopeKindFor(eTok_layer_rule, net), eNetOnLayerScope);
    EXPECT_EQ(factory.ScopeKindFor(eTok_rule, plain), eNoneScope);
    for (int kind = ePcbScope; kind <= eClassVsClassInRegionScope; ++kind) {
        auto scope = factory.CreateScope(kind, net);
        ASSERT_NE(scope, nullptr);
        EXPECT_EQ(scope->RuleScopeKind(), kind);
        EXPECT_EQ(scope->Owner, &net);
    }
    EXPECT_EQ(factory.CreateScope(0, net), nullptr);
}

TEST(RuleScopes, ScopeLookUpStaysLinearWithARuleInEveryNet) {
    auto seconds = [](int nets) {
        std::string network;
        for (int i = 0; i < nets; ++i)
            network += "(net N" + std::to_string(i) + " (pins U" + std::to_string(i) +
                       "-1) (rule (width 1)) (rule (width 2)))\n";
        const auto start = std::chrono::steady_clock::now();
        TRulesDesign d(network);
        EXPECT_EQ(d.Rules().RuleScopes().Count(), nets);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const double small = seconds(4000);
    const double large = seconds(32000);
    // Eight times the nets: linear is ~8x, a scan of all scopes ~64x.
    EXPECT_LT(large, small * 24 + 0.5) << small << " s vs " << large << " s";
}

} // namespace

namespace {

// A region of the structure: its region_net, region_class, region_class_class
// and rule blocks open region scopes.
class TTestRegion : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    int RuleScopeOwner() const override { return eRuleOwnerRegion; }
};

TEST(RuleScopes, RegionBlocksOpenRegionScopes) {
    TTestRuleReader reader;
    TReadDesign read("");
    TSpecctraRuleCollection& rules = *read.Design->GetRuleCollection();
    rules.SetRuleBlockReader(&reader);
    auto parser = MakeParser("(region_net GND (rule (width 5) (clearance 2)))\n"
                             "(region_class_class (classes A B) (rule (width 6)))\n"
                             "(region_class C (rule (width 7)))\n"
                             "(rule (width 8))\n"
                             "(region_class_class (oops) (rule (width 9)))");
    TTestRegion region(read.Design.get());
    region.NameID = "R1";
    region.Parser = parser.get();
    std::vector<bool> results;
    for (int block = 0; block < 5; ++block) {
        parser->NextToken();
        ++region.SectionsOpen;
        parser->NextToken();
        results.push_back(region.ImportRuleScope());
    }
    EXPECT_EQ(results, (std::vector<bool>{true, true, true, true, false}));
    EXPECT_EQ(region.SectionsOpen, 1);
    auto* net =
        static_cast<TNetInRegionRuleScope*>(rules.FindRuleScope(&region, eNetInRegionScope));
    ASSERT_NE(net, nullptr);
    EXPECT_EQ(net->NetIDRef, "GND");
    auto* pair = static_cast<TClassVsClassInRegionRuleScope*>(
        rules.FindRuleScope(&region, eClassVsClassInRegionScope));
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->NetClass1, "A");
    EXPECT_EQ(pair->NetClass2, "B");
    ASSERT_NE(rules.FindRuleScope(&region, eClassInRegionScope), nullptr);
    auto* plain = rules.FindRuleScope(&region, eRegionScope);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(Unary(plain), "All");
    EXPECT_EQ(Binary(net), (TStrings{"All", "All"}));
    // One rule per rule block read; the failed class pair block made none.
    EXPECT_EQ(rules.GetState_RuleList(40)->Count(), 4);
    EXPECT_EQ(rules.RuleScopes().Count(), 4);
}

TEST(FromTo, WithoutADesignThereIsNoComponentList) {
    TRecordingSink sink;
    auto parser = MakeParser("U1-1 U2-1)");
    TSpecctraObject root(nullptr);
    root.Parser = parser.get();
    root.ReportManager = &sink;
    TSpecctraFromTo fromTo(&root);
    EXPECT_FALSE(fromTo.ImportFromFile());
    EXPECT_FALSE(fromTo.IsValid());
    EXPECT_EQ(sink.Lines, (TStrings{"ERROR: Cannot create from-to, component list not loaded."}));
}

} // namespace
