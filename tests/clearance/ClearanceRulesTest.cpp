// The clearance rules of a board resolved for pairs of objects: the rule
// with the narrowest scopes that holds for both, the board's otherwise.
#include "clearance/ClearanceRules.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t kPad = 2, kVia = 3, kTrack = 4;

clearance::Subject On(std::string_view net, std::string_view layer, int32_t kind = kTrack) {
    clearance::Subject s;
    s.kind = kind;
    s.net = net;
    s.layer = layer;
    return s;
}

// Nets A1, A2 of class A, B1 of class B, U1 of no class; the board asks 30,
// each class 18 between its own nets.
clearance::Rules ClassBoard() {
    clearance::Rules rules;
    rules.AddClass("A", {"A1", "A2"});
    rules.AddClass("B", {"B1"});
    EXPECT_TRUE(rules.AddRule("All", "All", 30));
    EXPECT_TRUE(rules.AddRule("InNetClass('A')", "InNetClass('A')", 18));
    EXPECT_TRUE(rules.AddRule("InNetClass('B')", "InNetClass('B')", 18));
    return rules;
}

TEST(ClearanceRules, AClassRuleHoldsBetweenTwoNetsOfTheClassOnly) {
    const clearance::Rules rules = ClassBoard();
    EXPECT_FALSE(rules.Uniform());
    EXPECT_EQ(rules.Board(), 30);
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("A2", "TOP")), 18);
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("B1", "TOP")), 30) << "two classes";
    EXPECT_EQ(rules.Between(On("U1", "TOP"), On("A2", "TOP")), 30) << "a net of no class";
    EXPECT_EQ(rules.Between(On("", "TOP"), On("A2", "TOP")), 30) << "copper of no net";
    // What a net may be asked to keep from anything.
    EXPECT_EQ(rules.WidestFor("A1"), 30);
}

TEST(ClearanceRules, AClassWiderThanTheBoardKeepsItsGapFromEveryOtherNet) {
    clearance::Rules rules = ClassBoard();
    rules.AddClass("HV", {"H1", "H2"});
    EXPECT_TRUE(rules.AddRule("InNetClass('HV')", "InNetClass('HV')", 300));
    EXPECT_EQ(rules.Between(On("H1", "TOP"), On("H2", "TOP")), 300);
    EXPECT_EQ(rules.Between(On("H1", "TOP"), On("U1", "TOP")), 300);
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("H2", "TOP")), 300);
    EXPECT_EQ(rules.Between(On("", "TOP"), On("H2", "TOP")), 300);
    // A rule naming both classes decides for their pair, either way round.
    EXPECT_TRUE(rules.AddRule("InNetClass('HV')", "InNetClass('A')", 100));
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("H2", "TOP")), 100);
    EXPECT_EQ(rules.Between(On("H1", "TOP"), On("A2", "TOP")), 100);
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("A2", "TOP")), 18);
    EXPECT_EQ(rules.WidestFor("H1"), 300);
    EXPECT_EQ(rules.WidestFor("A1"), 100);
}

TEST(ClearanceRules, ANetRuleIsNarrowerThanItsClass) {
    clearance::Rules rules = ClassBoard();
    EXPECT_TRUE(rules.AddRule("InNet('A1')", "InNet('A1')", 12));
    EXPECT_TRUE(rules.AddRule("InNet('A1')", "All", 40));
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("A2", "TOP")), 40)
        << "a net against anything is narrower than the class pair";
    EXPECT_EQ(rules.Between(On("A2", "TOP"), On("B1", "TOP")), 30);
    EXPECT_EQ(rules.WidestFor("A1"), 40);
    EXPECT_EQ(rules.WidestFor("A2"), 40) << "A2 beside A1 keeps A1's gap";
}

TEST(ClearanceRules, LayerRulesHoldOnTheirLayers) {
    clearance::Rules rules = ClassBoard();
    EXPECT_TRUE(rules.AddRule("OnLayer('Inner1')", "OnLayer('Inner1')", 60));
    EXPECT_TRUE(rules.AddRule("InNetClass('A') And (OnLayer('BOTTOM'))",
                              "InNetClass('A') And (OnLayer('BOTTOM'))", 25));
    EXPECT_EQ(rules.Between(On("U1", "INNER1"), On("B1", "INNER1")), 60);
    EXPECT_EQ(rules.Between(On("U1", "TOP"), On("B1", "TOP")), 30);
    EXPECT_EQ(rules.Between(On("A1", "BOTTOM"), On("A2", "BOTTOM")), 25);
    EXPECT_EQ(rules.Between(On("A1", "TOP"), On("A2", "TOP")), 18);
    EXPECT_EQ(rules.Between(On("A1", "INNER1"), On("A2", "INNER1")), 18)
        << "a class is narrower than a layer";
}

TEST(ClearanceRules, KindsOfObjectNarrowABoardRule) {
    clearance::Rules rules;
    EXPECT_TRUE(rules.AddRule("All", "All", 20));
    EXPECT_TRUE(rules.AddRule("IsSMTPin", "IsSMTPin", 8));
    clearance::Subject smd = On("N1", "TOP", kPad), other = On("N2", "TOP", kPad);
    smd.smd = other.smd = true;
    EXPECT_EQ(rules.Between(smd, other), 8);
    EXPECT_EQ(rules.Between(smd, On("N2", "TOP", kVia)), 20);
    EXPECT_EQ(rules.Between(On("N1", "TOP"), On("N2", "TOP")), 20);
}

TEST(ClearanceRules, BadScopesAndEmptyGapsAreNotKept) {
    clearance::Rules rules;
    EXPECT_FALSE(rules.AddRule("InNet('A'", "All", 10));
    EXPECT_FALSE(rules.AddRule("All", "All", 0));
    EXPECT_EQ(rules.Board(), 0);
    EXPECT_TRUE(rules.Uniform());
    EXPECT_TRUE(rules.AddRule("All", "All", 7));
    EXPECT_TRUE(rules.Uniform());
    EXPECT_EQ(rules.Between(On("A", "TOP"), On("B", "TOP")), 7);
}

} // namespace
