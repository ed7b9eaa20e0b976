// Rules written to a board of the engine loaded as the host loads it: kinds,
// names, both scope expressions, values in host units, and what makes nothing.
#include "support/EngineFixture.h"
#include "support/RuleTestSupport.h"

#include "board/BoardFacade.h"
#include "board/BoardRules.h"
#include "board/Pcbclass.h"
#include "board/RuleConstraints.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using ruletest::TRuleBench;

struct THostRule {
    intptr_t Handle = 0;
    int32_t Kind = -1;
    std::string Name, Scope1, Scope2;
    int32_t LayerKind = 0;
    uint8_t Maker = 0, SameNet = 0;
};

class RulesOnBoard : public enginetest::EngineBoardTest {
protected:
    std::vector<THostRule> BoardRules() {
        std::vector<THostRule> rules;
        for (intptr_t handle : CollectItems(board, eRuleObject)) {
            TPcbRuleEx rule(handle);
            rule.QueryDatabase(1);
            RuleConstraints::TAttributes attributes{};
            RuleConstraints::ReadAttributes(handle, attributes);
            rules.push_back({handle, rule.GetState_Kind(), rule.GetState_Name(),
                             rule.GetState_Scope1Expression(), rule.GetState_Scope2Expression(),
                             rule.GetState_LayerKind(), attributes[0], attributes[1]});
        }
        return rules;
    }
    // Reads one rule block into the scope and writes the design's rules.
    std::vector<THostRule> Write(TRuleBench& bench, ruletest::TTestScope& scope,
                                 bool readResult = true) {
        EXPECT_EQ(bench.Read(scope), readResult);
        EXPECT_TRUE(bench.design->GetRuleCollection()->ExportToPCB());
        return BoardRules();
    }
};

TEST_F(RulesOnBoard, WidthOnANetInMil) {
    TRuleBench bench("(rule (width 10))", board);
    auto rules = Write(bench, bench.NetScope("N"));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Kind, eRule_MaxMinWidth);
    EXPECT_EQ(rules[0].Name, "Width N");
    EXPECT_EQ(rules[0].Scope1, "InNet('N')");
    RuleConstraints::TWidth width;
    ASSERT_TRUE(RuleConstraints::ReadWidth(rules[0].Handle, width));
    EXPECT_EQ(width.Preferred, 100000);
    EXPECT_EQ(width.Min, 80000);
    EXPECT_EQ(width.Max, 120000);
}

TEST_F(RulesOnBoard, WidthInMillimetres) {
    TRuleBench bench("(rule (width 0.25))", board, eDimMm);
    auto rules = Write(bench, bench.NetScope("N"));
    ASSERT_EQ(rules.size(), 1u);
    RuleConstraints::TWidth width;
    ASSERT_TRUE(RuleConstraints::ReadWidth(rules[0].Handle, width));
    EXPECT_EQ(width.Preferred, 98425); // 0.25 mm = 9.8425 mil
    EXPECT_EQ(width.Min, 78740);
    EXPECT_EQ(width.Max, 118110);
}

TEST_F(RulesOnBoard, ClearanceAtBoardLevelHasAllOnBothSides) {
    TRuleBench bench("(rule (clearance 8))", board);
    auto rules = Write(bench, bench.BoardScope());
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Kind, eRule_Clearance);
    EXPECT_EQ(rules[0].Name, "Clearance ");
    EXPECT_EQ(rules[0].Scope1, "All");
    EXPECT_EQ(rules[0].Scope2, "All");
    EXPECT_EQ(rules[0].SameNet, 0);
    int32_t gap = 0;
    ASSERT_TRUE(RuleConstraints::ReadClearance(rules[0].Handle, gap));
    EXPECT_EQ(gap, 80000);
}

TEST_F(RulesOnBoard, TypedClearanceOnAClassNarrowsBothSides) {
    TRuleBench bench("(rule (clearance 8 (type smd_smd)))", board);
    auto rules = Write(bench, bench.ClassScope("C"));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Name, "Clearance C");
    EXPECT_EQ(rules[0].Scope1, "InNetClass('C') And (IsSMTPin)");
    EXPECT_EQ(rules[0].Scope2, "InNetClass('C') And (IsSMTPin)");
}

TEST_F(RulesOnBoard, ClearanceTypePairsJoinTheirFiltersAndSetTheSameNetFlag) {
    TRuleBench bench("(rule (clearance 8 (type wire_area via_via_same_net)))", board);
    auto rules = Write(bench, bench.BoardScope());
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Scope1, "(IsTrack Or IsArc) Or IsVia");
    EXPECT_EQ(rules[0].Scope2, "(IsKeepout Or IsFill Or InPolygon) Or IsVia");
    EXPECT_EQ(rules[0].SameNet, 1);
    EXPECT_EQ(rules[0].Maker, 0);
}

TEST_F(RulesOnBoard, UniformAndTypedClearancesAndSmdToTurnGap) {
    TRuleBench bench("(rule (clearance 10) (clearance 6 (type pin_pin smd_pin))"
                     " (clearance 4 (type smd_to_turn_gap)))",
                     board);
    auto rules = Write(bench, bench.NetScope("GND"));
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[0].Scope1, "InNet('GND')");
    EXPECT_EQ(rules[1].Scope1, "InNet('GND') And (IsPad)");
    EXPECT_EQ(rules[1].Scope2, "InNet('GND') And (IsPad Or IsSMTPin)");
    int32_t gap = 0;
    RuleConstraints::ReadClearance(rules[1].Handle, gap);
    EXPECT_EQ(gap, 60000);
    EXPECT_EQ(rules[2].Kind, eRule_SMDToCorner);
    EXPECT_EQ(rules[2].Name, "SMDToCorner GND");
    EXPECT_EQ(rules[2].Scope1, "InNet('GND')");
}

TEST_F(RulesOnBoard, ClearanceOfOnlyABuriedViaGapKeepsTheScope) {
    TRuleBench bench("(rule (clearance 5 (type buried_via_gap)))", board);
    auto rules = Write(bench, bench.ClassScope("C"));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Scope1, "InNetClass('C')");
    EXPECT_EQ(rules[0].Scope2, "InNetClass('C')");
}

TEST_F(RulesOnBoard, ParallelAndTandemSegments) {
    TRuleBench bench("(rule (parallel_segment (gap 0) (limit 0))"
                     " (parallel_segment (gap 5) (limit 300)) (tandem_segment (gap 0) (limit 0)))",
                     board);
    auto rules = Write(bench, bench.NetScope("N"));
    EXPECT_TRUE(
        bench.Reported("Skipped translation of parallel segment rule with zero values for N"));
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].Kind, eRule_ParallelSegment);
    EXPECT_EQ(rules[0].Name, "ParallelSegment N");
    EXPECT_EQ(rules[0].LayerKind, eRuleLayerKind_SameLayer);
    EXPECT_EQ(rules[0].Scope2, "InNet('N')");
    EXPECT_EQ(rules[1].LayerKind, eRuleLayerKind_AdjacentLayer);
}

TEST_F(RulesOnBoard, TopologyStubViaCountAndViasUnderSmd) {
    TRuleBench bench("(rule (reorder daisy (type balanced)) (max_stub 15) (max_total_vias 3)"
                     " (via_at_smd on))",
                     board);
    auto rules = Write(bench, bench.NetScope("N"));
    std::map<int32_t, THostRule> byKind;
    for (const THostRule& rule : rules)
        byKind[rule.Kind] = rule;
    ASSERT_EQ(byKind.size(), 4u);
    EXPECT_EQ(byKind[eRule_RoutingTopology].Name, "RoutingTopology N");
    EXPECT_EQ(byKind[eRule_DaisyChainStubLength].Name, "StubLength N");
    EXPECT_EQ(byKind[eRule_MaximumViaCount].Name, "MaximumViaCount N");
    EXPECT_EQ(byKind[eRule_ViasUnderSMD].Name, "ViasUnderSMD N");
    int32_t topology = -1, count = -1;
    PCBProcs::PcbApi_QueryRuleRoutingTopologyRule(1, byKind[eRule_RoutingTopology].Handle,
                                                  &topology);
    EXPECT_EQ(topology, 5);
    ASSERT_TRUE(RuleConstraints::ReadMaximumViaCount(byKind[eRule_MaximumViaCount].Handle, count));
    EXPECT_EQ(count, 3);
    bool allowed = false;
    ASSERT_TRUE(RuleConstraints::ReadViasUnderSMD(byKind[eRule_ViasUnderSMD].Handle, allowed));
    EXPECT_TRUE(allowed);
}

TEST_F(RulesOnBoard, TimingAndTestpointRulesMakeNothing) {
    TRuleBench bench("(rule (length_gap 5) (testpoint (side front)))", board);
    EXPECT_TRUE(Write(bench, bench.NetScope("N")).empty());
}

TEST_F(RulesOnBoard, BadValuesMakeNoRuleAndSayWhy) {
    TRuleBench bench("(rule (width -5) (clearance 0) (max_total_vias -1) (width 1e12))", board);
    auto rules = Write(bench, bench.NetScope("N"));
    EXPECT_TRUE(rules.empty());
    EXPECT_TRUE(bench.ReportedStart("ERROR: Invalid width -5"));
    EXPECT_TRUE(bench.ReportedStart("WARNING: Skipped translation of clearance rule with value 0"));
    EXPECT_TRUE(bench.ReportedStart("ERROR: Invalid maximum via count -1"));
    EXPECT_TRUE(bench.Reported("ERROR: Value out of range for width rule of N, rule not "
                               "translated."));
}

TEST_F(RulesOnBoard, RulesAreWrittenByScopeKindInOrder) {
    TRuleBench bench("(rule (width 4)) (rule (width 5)) (rule (width 6))", board);
    auto& net = bench.NetScope("N");
    auto& klass = bench.ClassScope("C");
    auto& pcb = bench.BoardScope();
    EXPECT_TRUE(bench.Read(net));
    EXPECT_TRUE(bench.Read(klass));
    EXPECT_TRUE(bench.Read(pcb));
    EXPECT_TRUE(bench.design->GetRuleCollection()->ExportToPCB());
    auto rules = BoardRules();
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[0].Scope1, "All");
    EXPECT_EQ(rules[1].Scope1, "InNetClass('C')");
    EXPECT_EQ(rules[2].Scope1, "InNet('N')");
}

TEST_F(RulesOnBoard, EarlierImportsRulesGoRulesOfThisImportStay) {
    // A rule left by an earlier import, one the host made itself.
    for (uint8_t maker : {uint8_t(0), uint8_t(1)}) {
        TPcbRuleEx old(PCBProcs::PcbApi_CreateRuleObject(eRule_MaxMinWidth));
        old.QueryDatabase(1);
        old.SetState_Name(maker == 0 ? "Width OLD" : "Host width");
        old.QueryDatabase(0);
        RuleConstraints::TAttributes attributes{maker};
        RuleConstraints::WriteAttributes(old.GetState_ObjectHandle(), attributes);
        ASSERT_TRUE(Board::Add(board, old.GetState_ObjectHandle()));
    }
    TRuleBench bench("(rule (width 5))", board);
    auto& scope = bench.NetScope("N");
    EXPECT_TRUE(bench.Read(scope));
    // The design clears first; then a section writes a rule of its own.
    bench.design->GetRuleCollection()->ClearBoardRules();
    TPcbRuleEx section(0);
    section.SetState_Kind(eRule_RoutingLayers);
    ASSERT_TRUE(Board::Make(section));
    section.SetState_Name("Routing Layers From Layer Stack");
    ASSERT_TRUE(Board::AddTo(board, section));
    EXPECT_TRUE(bench.design->GetRuleCollection()->ExportToPCB());
    std::vector<std::string> names;
    for (const THostRule& rule : BoardRules())
        names.push_back(rule.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Host width", "Routing Layers From Layer Stack", "Width N"}));
}

class CircuitOnBoard : public RulesOnBoard {
protected:
    void TearDown() override {
        SetCircuitDesignLinks({});
        RulesOnBoard::TearDown();
    }
    // Layers L1, L2 (no direction), V (vertical), P (a power layer).
    void LinkDesign(bool library) {
        TCircuitDesignLinks links;
        links.Layer = [](TSpecctraObject&, const std::string& name, TCircuitLayerInfo& info) {
            const std::map<std::string, TCircuitLayerInfo> layers{
                {"L1", {true, 1, TCircuitLayerInfo::kToggleDirection}},
                {"L2", {true, 32, TCircuitLayerInfo::kToggleDirection}},
                {"V", {true, 2, 2}},
                {"P", {false, 3, 1}}};
            auto it = layers.find(name);
            if (it == layers.end())
                return false;
            info = it->second;
            return true;
        };
        links.HasLibrary = [library](TSpecctraObject&) { return library; };
        links.ViaStyle = [this](TSpecctraObject&, const std::string& padstack,
                                const std::string& prefix, const std::string& scope) {
            styles.push_back(prefix + "|" + padstack + "|" + scope);
            return padstack != "MISSING";
        };
        SetCircuitDesignLinks(links);
    }
    std::vector<std::string> styles;
};

TEST_F(CircuitOnBoard, UsedLayersWithoutDirectionAlternate) {
    LinkDesign(true);
    TRuleBench bench("(circuit (use_layer L1 L2))", board);
    auto rules = Write(bench, bench.ClassScope("C"));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Kind, eRule_RoutingLayers);
    EXPECT_EQ(rules[0].Name, "RoutingLayers C");
    EXPECT_EQ(rules[0].Scope1, "InNetClass('C')");
    RuleConstraints::TRoutingLayers codes{};
    ASSERT_TRUE(RuleConstraints::ReadRoutingLayers(rules[0].Handle, codes));
    RuleConstraints::TRoutingLayers expected{};
    expected[0] = 1;
    expected[31] = 2;
    EXPECT_EQ(codes, expected);
    EXPECT_TRUE(styles.empty());
    EXPECT_TRUE(bench.Report().empty());
}

TEST_F(CircuitOnBoard, DirectedLayersSetTheAlternationAndPlanesAreLeftOut) {
    LinkDesign(true);
    TRuleBench bench("(circuit (use_layer V L1 P NOWHERE L2))", board);
    auto rules = Write(bench, bench.ClassScope("C"));
    ASSERT_EQ(rules.size(), 1u);
    RuleConstraints::TRoutingLayers codes{};
    ASSERT_TRUE(RuleConstraints::ReadRoutingLayers(rules[0].Handle, codes));
    RuleConstraints::TRoutingLayers expected{};
    expected[1] = 2;  // V
    expected[0] = 1;  // L1 after a vertical layer
    expected[31] = 2; // L2
    EXPECT_EQ(codes, expected);
}

TEST_F(CircuitOnBoard, UsedViasBecomeViaStylesOfTheOwner) {
    LinkDesign(true);
    TRuleBench bench("(circuit (use_via V1 MISSING))", board);
    Write(bench, bench.ClassScope("C"));
    EXPECT_EQ(styles,
              (std::vector<std::string>{"C|V1|InNetClass('C')", "C|MISSING|InNetClass('C')"}));
    EXPECT_TRUE(bench.Reported("ERROR: Invalid padstack reference returned for: MISSING, while "
                               "tryng to create board level routing via styles."));
}

TEST_F(CircuitOnBoard, WithoutLibraryViaStylesAreReported) {
    LinkDesign(false);
    TRuleBench bench("(circuit (use_via V1))", board);
    Write(bench, bench.ClassScope("C"));
    EXPECT_TRUE(styles.empty());
    EXPECT_TRUE(bench.Reported("ERROR: Invalid library reference returned, while tryng to create "
                               "board level routing via styles."));
}

TEST_F(CircuitOnBoard, WithoutUseViaNothingAndNoMessage) {
    LinkDesign(false);
    TRuleBench bench("(circuit (max_delay 4))", board);
    EXPECT_TRUE(Write(bench, bench.ClassScope("C")).empty());
    EXPECT_TRUE(bench.Report().empty());
}

} // namespace
