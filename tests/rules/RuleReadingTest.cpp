// Reading rule blocks: every rule keyword into its rule class and kind, the
// skipped and the unknown keywords, and what bad values leave behind.
#include "support/RuleTestSupport.h"

#include <gtest/gtest.h>

namespace {

using ruletest::TRuleBench;

template <class T> T* Only(TRuleBench& bench, int kind) {
    auto rules = bench.Rules(kind);
    EXPECT_EQ(rules.size(), 1u) << "rules of kind " << kind;
    return rules.empty() ? nullptr : dynamic_cast<T*>(rules.front());
}

TEST(RuleReading, EachKeywordMakesItsRuleClassAndKind) {
    TRuleBench bench("(rule (width 10) (max_stub 25) (max_total_vias 4)"
                     " (parallel_segment (gap 6) (limit 500)) (tandem_segment (gap 7) (limit 400))"
                     " (reorder daisy (type mid_driven)) (via_at_smd on (grid off) (fit on))"
                     " (length_amplitude 30 10) (length_gap 12)"
                     " (testpoint (side back) (comp U1 U2) (use_via V1) (insert on)))");
    auto& scope = bench.NetScope("N");
    EXPECT_TRUE(bench.Read(scope));
    EXPECT_EQ(Only<TSpecctraWidthRule>(bench, eWidth_Rule)->Value, 10.0);
    EXPECT_EQ(Only<TSpecctraStubLengthRule>(bench, eMaxStub_Rule)->Value, 25.0);
    EXPECT_EQ(Only<TSpecctraMaxViaCountRule>(bench, eMaxTotalVias_Rule)->Value, 4);
    auto* parallel = Only<TSpecctraParallelSegmentRule>(bench, eParallelSegment_Rule);
    EXPECT_EQ(parallel->Gap, 6.0);
    EXPECT_EQ(parallel->Limit, 500.0);
    auto* tandem = Only<TSpecctraTandemSegmentRule>(bench, eTandemSegment_Rule);
    EXPECT_EQ(tandem->Gap, 7.0);
    EXPECT_EQ(Only<TSpecctraRouteOrderRule>(bench, eReorder_Rule)->OrderType, eDaisyMidDriven);
    auto* smd = Only<TSpecctraViaAtSmdRule>(bench, eViaAtSmd_Rule);
    EXPECT_TRUE(smd->Allowed);
    EXPECT_FALSE(smd->OnGrid);
    EXPECT_TRUE(smd->MustFitUnderPad);
    auto timing = bench.Rules(eLengthGap_Rule);
    ASSERT_EQ(timing.size(), 2u);
    EXPECT_EQ(static_cast<TSpecctraTimingRule*>(timing[0])->MaxLengthAmplitude, 30.0);
    EXPECT_EQ(static_cast<TSpecctraTimingRule*>(timing[0])->MinLengthAmplitude, 10.0);
    EXPECT_EQ(static_cast<TSpecctraTimingRule*>(timing[1])->LengthGap, 12.0);
    auto* testpoint = Only<TSpecctraTestpointRule>(bench, eTestpoint_Rule);
    EXPECT_EQ(testpoint->Side, eBackSide);
    EXPECT_EQ(testpoint->AllowedComps, (std::vector<std::string>{"U1", "U2"}));
    EXPECT_EQ(testpoint->UsedVias, std::vector<std::string>{"V1"});
    EXPECT_TRUE(testpoint->AllowInsertion);
    for (int kind = 1; kind <= 40; ++kind)
        for (TSpecctraAbstractRule* rule : bench.Rules(kind)) {
            EXPECT_EQ(rule->FScope, &scope);
            EXPECT_EQ(rule->Owner, scope.Owner);
        }
    EXPECT_TRUE(bench.Report().empty()) << bench.Report().front();
}

TEST(RuleReading, ClearanceBlocksShareTheScopesOneRule) {
    TRuleBench bench("(rule (clearance 8) (clear 6 (type smd_smd)) (clearance 9)"
                     " (clearance 4 (type wire_area via_via_same_net Area_Smd layer_depth 2))"
                     " (clearance 3 (type smd_to_turn_gap pad_to_turn_gap drill_gap)))"
                     "(rule (clearance 5 (type pin_pin)))");
    auto& scope = bench.ClassScope("C");
    EXPECT_TRUE(bench.Read(scope));
    EXPECT_TRUE(bench.Read(scope));
    auto* clearance = Only<TSpecctraClearanceRule>(bench, eClearance_Rule);
    ASSERT_NE(clearance, nullptr);
    EXPECT_EQ(clearance, scope.ClearanceRule);
    EXPECT_EQ(clearance->UniformValue, 9.0); // the last untyped block wins
    EXPECT_EQ(clearance->SMDToTurnGap, 3.0);
    EXPECT_EQ(clearance->BuriedViaLayerDepthSpan, 2);
    ASSERT_EQ(clearance->Constraints.Count(), 3);
    const std::pair<double, uint32_t> typed[] = {
        {6.0, 1u << 6}, {4.0, (1u << 16) | (1u << 22) | (1u << 9)}, {5.0, 1u}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(clearance->Constraints.At(i).Value, typed[i].first) << i;
        EXPECT_EQ(clearance->Constraints.At(i).FDomain, typed[i].second) << i;
    }
    EXPECT_EQ(clearance->Constraints.At(1).FDomainCount, 3);
}

TEST(RuleReading, KnownUntranslatedKeywordsAreSkippedUnknownOnesAreUnexpected) {
    TRuleBench bench("(rule (limit_vias 3 (x 1)) (width 5) (power_fanout on))\n"
                     "(rule (frobnicate 2) (width 6))");
    auto& scope = bench.NetScope("N");
    EXPECT_TRUE(bench.Read(scope));
    for (const std::string keyword : {"LIMIT_VIAS", "POWER_FANOUT"})
        EXPECT_TRUE(
            bench.Reported("WARNING: Skipped block between lines: 1-1, from keyword: " + keyword));
    EXPECT_FALSE(bench.Read(scope));
    EXPECT_TRUE(bench.Reported("ERROR: Unexpected token <FROBNICATE> in line 2"));
    // Reading goes on after the unknown block: both widths are kept.
    EXPECT_EQ(bench.Rules(eWidth_Rule).size(), 2u);
}

TEST(RuleReading, ParallelSegmentOffDropsTheRuleAndFailsTheBlock) {
    TRuleBench bench("(rule (parallel_segment off) (width 5))");
    EXPECT_FALSE(bench.Read(bench.NetScope("N")));
    EXPECT_TRUE(bench.Rules(eParallelSegment_Rule).empty());
    EXPECT_EQ(bench.Rules(eWidth_Rule).size(), 1u);
    EXPECT_TRUE(bench.ReportedStart("WARNING: Skipped block between lines: 1-1"));
}

TEST(RuleReading, RouteOrderForms) {
    struct Case {
        const char* text;
        TSpecctraRoutingOrder order;
        int32_t code;
    };
    for (const Case& c : {Case{"(rule (reorder starburst))", eStarburst, 0},
                          Case{"(rule (reorder daisy))", eDaisySimple, 4},
                          Case{"(rule (reorder daisy (type mid_driven)))", eDaisyMidDriven, 4},
                          Case{"(rule (reorder daisy (type balanced)))", eDaisyBalanced, 5}}) {
        TRuleBench bench(c.text);
        EXPECT_TRUE(bench.Read(bench.NetScope("N"))) << c.text;
        auto* rule = Only<TSpecctraRouteOrderRule>(bench, eReorder_Rule);
        ASSERT_NE(rule, nullptr) << c.text;
        EXPECT_EQ(rule->OrderType, c.order) << c.text;
        EXPECT_EQ(TSpecctraRouteOrderRule::TopologyCode(rule->OrderType), c.code);
        EXPECT_FALSE(TranslationState().StopFlag);
    }
}

TEST(RuleReading, UnknownRouteOrderStopsTheReadingOfTheFile) {
    TRuleBench bench("(rule (reorder fanout) (width 5))");
    EXPECT_FALSE(bench.Read(bench.NetScope("N")));
    EXPECT_TRUE(bench.Reported("ERROR: Unexpected token <FANOUT> in line 1"));
    EXPECT_TRUE(TranslationState().StopFlag);
    EXPECT_TRUE(bench.Rules(eReorder_Rule).empty());
    EXPECT_TRUE(bench.Rules(eWidth_Rule).empty());
}

TEST(RuleReading, CircuitReadsEveryBlock) {
    TRuleBench bench(
        "(circuit (length 900 100 (type ratio)) (max_delay 3) (min_delay 1)"
        " (max_total_delay 8) (min_total_delay 2) (max_total_length 1000) (min_total_length 10)"
        " (max_restricted_layer_length 77) (total) (priority 9)"
        " (match_net_length on (ratio 5)) (match_group_delay off (tolerance 2))"
        " (match_fromto_length on (tolerance 3))"
        " (shield on (type coax) (use_net GND)) (sample_window 1 2) (switch_window 3)"
        " (use_layer L1 L2) (use_via V1 (use_array V2 2 3) V3))");
    auto& scope = bench.ClassScope("C");
    EXPECT_TRUE(bench.Read(scope));
    auto* circuit = Only<TSpecctraCircuitDescriptor>(bench, eCircuitDesc_Rule);
    ASSERT_NE(circuit, nullptr);
    EXPECT_EQ(circuit->MaxLength, 900.0);
    EXPECT_EQ(circuit->MinLength, 100.0);
    EXPECT_TRUE(circuit->LengthAsRatio);
    EXPECT_EQ(circuit->MaxDelay, 3.0);
    EXPECT_EQ(circuit->TotalMinDelay, 2.0);
    EXPECT_EQ(circuit->TotalMaxLength, 1000.0);
    EXPECT_EQ(circuit->MaxLenOnLayer, 77.0);
    EXPECT_TRUE(circuit->MaxLenOnLayerIsTotal);
    EXPECT_EQ(circuit->Priority, 9u);
    EXPECT_TRUE(circuit->NetMatchLength.On);
    EXPECT_TRUE(circuit->NetMatchLength.IsRatio);
    EXPECT_EQ(circuit->NetMatchLength.Tolerance, 5.0);
    EXPECT_TRUE(circuit->GroupMatchDelay.Present);
    EXPECT_FALSE(circuit->GroupMatchDelay.On);
    EXPECT_EQ(circuit->FromToMatchLength.Tolerance, 3.0);
    EXPECT_FALSE(circuit->NetMatchDelay.Present);
    EXPECT_TRUE(circuit->ShieldActive);
    EXPECT_EQ(circuit->ShieldType, eShieldCoax);
    EXPECT_EQ(circuit->ShieldNetIdRef, "GND");
    EXPECT_EQ(circuit->UsedLayers, (std::vector<std::string>{"L1", "L2"}));
    EXPECT_EQ(circuit->UsedVias, (std::vector<std::string>{"V1", "V3"}));
    EXPECT_TRUE(bench.ReportedStart("WARNING: Skipped block between lines: 1-1, from keyword: "
                                    "SAMPLE_WINDOW"));
    EXPECT_EQ(circuit->FScope, &scope);
}

TEST(RuleReading, BadValuesAreReportedAndLeaveNoRule) {
    TRuleBench bench("(rule (width) (max_stub abc) (max_total_vias 2.5) (clearance)"
                     " (parallel_segment (gap)) (via_at_smd maybe) (width 7)) (pcb)");
    EXPECT_FALSE(bench.Read(bench.NetScope("N")));
    EXPECT_TRUE(bench.Reported("ERROR: Unexpected token <)> in line 1"));
    ASSERT_EQ(bench.Rules(eWidth_Rule).size(), 1u);
    EXPECT_EQ(static_cast<TSpecctraWidthRule*>(bench.Rules(eWidth_Rule)[0])->Value, 7.0);
    for (int kind : {eMaxStub_Rule, eMaxTotalVias_Rule, eParallelSegment_Rule, eViaAtSmd_Rule})
        EXPECT_TRUE(bench.Rules(kind).empty()) << kind;
    // The scope's clearance rule exists but holds no value.
    auto* clearance = Only<TSpecctraClearanceRule>(bench, eClearance_Rule);
    ASSERT_NE(clearance, nullptr);
    EXPECT_EQ(clearance->UniformValue, -1.0);
    EXPECT_EQ(clearance->Constraints.Count(), 0);
    // Nothing of the rule block spilled into the text after it.
    EXPECT_EQ(bench.parser->NextToken(), eTok_OpenParen);
    EXPECT_EQ(bench.parser->NextToken(), eTok_pcb);
}

TEST(RuleReading, UnknownClearanceTypeFailsOnlyThatBlock) {
    TRuleBench bench("(rule (clearance 10 (type default_smd)) (clearance 6 (type smd_smd)))");
    EXPECT_FALSE(bench.Read(bench.ClassScope("C")));
    EXPECT_TRUE(bench.Reported("ERROR: Unexpected token <DEFAULT_SMD> in line 1"));
    auto* clearance = Only<TSpecctraClearanceRule>(bench, eClearance_Rule);
    ASSERT_EQ(clearance->Constraints.Count(), 1);
    EXPECT_EQ(clearance->Constraints.At(0).Value, 6.0);
}

TEST(RuleReading, RuleBlockOfTenThousandEntries) {
    std::string text = "(rule";
    for (int i = 0; i < 10000; ++i)
        text += " (width " + std::to_string(i % 50 + 1) + ")";
    text += ")";
    TRuleBench bench(text);
    EXPECT_TRUE(bench.Read(bench.NetScope("N")));
    EXPECT_EQ(bench.Rules(eWidth_Rule).size(), 10000u);
}

} // namespace
