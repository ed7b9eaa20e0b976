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

// One line per host rule: kind, name, both scopes, the layer kind, maker and
// same-net attributes when any is set, and the values its kind carries in host units.
std::string Describe(const THostRule& rule) {
    std::string text =
        std::to_string(rule.Kind) + " " + rule.Name + " | " + rule.Scope1 + " | " + rule.Scope2;
    if (rule.LayerKind != 0 || rule.Maker != 0 || rule.SameNet != 0)
        text += " | layers " + std::to_string(rule.LayerKind) + " maker " +
                std::to_string(rule.Maker) + " same net " + std::to_string(rule.SameNet);
    RuleConstraints::TWidth width;
    int32_t value = 0;
    bool allowed = false;
    if (rule.Kind == eRule_MaxMinWidth && RuleConstraints::ReadWidth(rule.Handle, width))
        text += " | width " + std::to_string(width.Preferred) + " min " +
                std::to_string(width.Min) + " max " + std::to_string(width.Max);
    if (rule.Kind == eRule_Clearance && RuleConstraints::ReadClearance(rule.Handle, value))
        text += " | gap " + std::to_string(value);
    if (rule.Kind == eRule_MaximumViaCount &&
        RuleConstraints::ReadMaximumViaCount(rule.Handle, value))
        text += " | vias " + std::to_string(value);
    if (rule.Kind == eRule_ViasUnderSMD && RuleConstraints::ReadViasUnderSMD(rule.Handle, allowed))
        text += allowed ? " | allowed" : " | not allowed";
    if (rule.Kind == eRule_RoutingTopology) {
        value = -1;
        PCBProcs::PcbApi_QueryRuleRoutingTopologyRule(1, rule.Handle, &value);
        text += " | topology " + std::to_string(value);
    }
    return text;
}

// Each rule block read into a net N, a class C, a net GND or the board, and
// the host rules (one line each) and report lines it gives.
TEST_F(RulesOnBoard, EachRuleBlockGivesItsHostRules) {
    struct TCase {
        const char* Text;
        const char* Owner; // "" the board, "C" a class, else a net
        TDimensionUnit Unit;
        std::string Rules;
        std::vector<std::string> Report = {};
    };
    const TCase cases[] = {
        {"(rule (width 10))", "N", eDimMil,
         "2 Width N | InNet('N') | All | width 100000 min 80000 max 120000\n"},
        {"(rule (width 0.25))", "N", eDimMm, // 0.25 mm = 9.8425 mil
         "2 Width N | InNet('N') | All | width 98425 min 78740 max 118110\n"},
        {"(rule (clearance 8))", "", eDimMil, "0 Clearance  | All | All | gap 80000\n"},
        {"(rule (clearance 8 (type smd_smd)))", "C", eDimMil,
         "0 Clearance C | InNetClass('C') And (IsSMTPin) | InNetClass('C') And (IsSMTPin) | gap "
         "80000\n"},
        {"(rule (clearance 8 (type wire_area via_via_same_net)))", "", eDimMil,
         "0 Clearance  | (IsTrack Or IsArc) Or IsVia | (IsKeepout Or IsFill Or InPolygon) Or IsVia "
         "| layers 0 maker 0 same net 1 | gap 80000\n"},
        {"(rule (clearance 10) (clearance 6 (type pin_pin smd_pin)) (clearance 4 (type "
         "smd_to_turn_gap)))",
         "GND", eDimMil,
         "0 Clearance GND | InNet('GND') | InNet('GND') | gap 100000\n"
         "0 Clearance GND | InNet('GND') And (IsPad) | InNet('GND') And (IsPad Or IsSMTPin) | gap "
         "60000\n"
         "23 SMDToCorner GND | InNet('GND') | All\n"},
        {"(rule (clearance 5 (type buried_via_gap)))", "C", eDimMil,
         "0 Clearance C | InNetClass('C') | InNetClass('C') | gap 50000\n"},
        {"(rule (parallel_segment (gap 0) (limit 0)) (parallel_segment (gap 5) (limit 300)) "
         "(tandem_segment (gap 0) (limit 0)))",
         "N",
         eDimMil,
         "1 ParallelSegment N | InNet('N') | InNet('N')\n"
         "1 ParallelSegment N | InNet('N') | InNet('N') | layers 1 maker 0 same net 0\n",
         {"Skipped translation of parallel segment rule with zero values for N"}},
        {"(rule (reorder daisy (type balanced)) (max_stub 15) (max_total_vias 3) (via_at_smd on))",
         "N", eDimMil,
         "5 StubLength N | InNet('N') | All\n"
         "18 MaximumViaCount N | InNet('N') | All | vias 3\n"
         "7 RoutingTopology N | InNet('N') | All | topology 5\n"
         "17 ViasUnderSMD N | InNet('N') | All | allowed\n"},
        {"(rule (length_gap 5) (testpoint (side front)))", "N", eDimMil, ""},
        {"(rule (width -5) (clearance 0) (max_total_vias -1) (width 1e12))",
         "N",
         eDimMil,
         "",
         {"ERROR: Invalid width -5", "WARNING: Skipped translation of clearance rule with value 0",
          "ERROR: Invalid maximum via count -1",
          "ERROR: Value out of range for width rule of N, rule not translated."}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        for (intptr_t handle : CollectItems(board, eRuleObject))
            Board::Remove(board, handle);
        TRuleBench bench(c.Text, board, c.Unit);
        const std::string owner = c.Owner;
        auto& scope = owner.empty()  ? bench.BoardScope()
                      : owner == "C" ? bench.ClassScope(owner)
                                     : bench.NetScope(owner);
        std::string rules;
        for (const THostRule& rule : Write(bench, scope))
            rules += Describe(rule) + "\n";
        EXPECT_EQ(rules, c.Rules);
        for (const std::string& line : c.Report)
            EXPECT_TRUE(bench.Reported(line) || bench.ReportedStart(line)) << line;
    }
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
    // This import's rules are written board, class, then net rules.
    TRuleBench bench("(rule (width 4)) (rule (width 5)) (rule (width 6))", board);
    EXPECT_TRUE(bench.Read(bench.NetScope("N")));
    EXPECT_TRUE(bench.Read(bench.ClassScope("C")));
    EXPECT_TRUE(bench.Read(bench.BoardScope()));
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
        names.push_back(rule.Name + " | " + rule.Scope1);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Host width | All", "Routing Layers From Layer Stack | All",
                         "Width  | All", "Width C | InNetClass('C')", "Width N | InNet('N')"}));
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

TEST_F(CircuitOnBoard, DirectedLayersSetTheAlternationAndPlanesAreLeftOut) {
    LinkDesign(true);
    TRuleBench bench("(circuit (use_layer V L1 P NOWHERE L2))", board);
    auto rules = Write(bench, bench.ClassScope("C"));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Kind, eRule_RoutingLayers);
    EXPECT_EQ(rules[0].Name, "RoutingLayers C");
    EXPECT_EQ(rules[0].Scope1, "InNetClass('C')");
    EXPECT_TRUE(styles.empty());
    EXPECT_TRUE(bench.Report().empty());
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
    // Without a use_via nothing is made and nothing said.
    TRuleBench quiet("(circuit (max_delay 4))", board);
    EXPECT_TRUE(Write(quiet, quiet.ClassScope("C")).empty());
    EXPECT_TRUE(styles.empty());
    EXPECT_TRUE(quiet.Report().empty());
}

} // namespace
