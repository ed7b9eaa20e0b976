// The rule listing of `harrow show`: kind, name, scopes and values in mil and
// mm, read from the engine's JSON dump of a board.
#include "host/RuleListing.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string Listing(const std::string& json) {
    std::ostringstream out;
    Harrow::PrintRuleListing(out, json);
    return out.str();
}

TEST(RuleListing, EveryRuleWithKindNameScopesAndValues) {
    const std::string json = R"J({"LayerStack":[],"Objects":{"Net":[{"Id":"n1","Name":"GND"}],
      "Rule":[
       {"Id":"r1","Kind":0,"Name":"Clearance GND","NetScope":0,"Priority":1,"LayerKind":0,
        "Scope1Expression":"InNet('GND') And (IsSMTPin)","Scope2Expression":"InNet('GND')",
        "Attributes":[0,1,0,0,0,0,0,0],"Constraints":{"Gap":80000}},
       {"Id":"r2","Kind":2,"Name":"Width N\"1","Scope1Expression":"InNet('N\"1')",
        "Scope2Expression":"All","Attributes":[0,0,0,0,0,0,0,0],
        "Constraints":{"MaxWidth":120000,"MinWidth":80000,"PreferredWidth":100000}},
       {"Id":"r3","Kind":18,"Name":"MaximumViaCount N","Scope1Expression":"All",
        "Scope2Expression":"All","Constraints":{"MaximumViaCount":3}},
       {"Id":"r4","Kind":9,"Name":"RoutingLayers C","Scope1Expression":"InNetClass('C')",
        "Scope2Expression":"All","Constraints":{"Layer1":1,"Layer2":0,"Layer32":2}},
       {"Id":"r5","Kind":15,"Name":"Short","Scope1Expression":"All","Scope2Expression":"All",
        "Constraints":{}}]}})J";
    EXPECT_EQ(Listing(json), "rule list:\n"
                             "  Clearance \"Clearance GND\"\n"
                             "    scope: InNet('GND') And (IsSMTPin)  |  InNet('GND')\n"
                             "    values: Gap 8 mil (0.2032 mm), same net yes\n"
                             "  Width \"Width N\"1\"\n"
                             "    scope: InNet('N\"1')\n"
                             "    values: MaxWidth 12 mil (0.3048 mm), MinWidth 8 mil (0.2032 mm), "
                             "PreferredWidth 10 mil (0.254 mm)\n"
                             "  MaximumViaCount \"MaximumViaCount N\"\n"
                             "    scope: All\n"
                             "    values: MaximumViaCount 3\n"
                             "  RoutingLayers \"RoutingLayers C\"\n"
                             "    scope: InNetClass('C')\n"
                             "    layers: 1=1 32=2\n"
                             "  ShortCircuit \"Short\"\n"
                             "    scope: All  |  All\n");
}

TEST(RuleListing, NothingForABoardWithoutRulesOrABrokenDump) {
    for (const char* json : {R"({"Objects":{"Net":[]}})", R"({"Objects":{"Rule":[{"Kind":0,)", ""})
        EXPECT_EQ(Listing(json), "") << json;
    EXPECT_EQ(Harrow::HostRuleKindDisplayName(23), "SMDToCorner");
    EXPECT_EQ(Harrow::HostRuleKindDisplayName(67), "Kind 67");
}

} // namespace
