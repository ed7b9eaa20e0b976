// Rules of a design through harrow: import, then the board's rules as
// `harrow show --json` dumps them and as `harrow show` lists them.
#include "support/ScratchShell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using testshell::Outcome;
using testshell::Read;

// Every rule edge case a user meets, in one design (mil, resolution 10).
const char* const kRuleDesign =
    "(pcb edges\n"
    "  (parser (string_quote \") (host_cad test))\n"
    "  (resolution mil 10)\n"
    "  (unit mil)\n"
    "  (structure\n"
    "    (layer L1 (type signal))\n"
    "    (layer L2 (type signal))\n"
    "    (layer V (type signal) (direction vertical))\n"
    "    (boundary (rect pcb 0 0 1000 1000))\n"
    "    (via V1)\n"
    "    (rule (clearance 8) (clearance 6.5 (type wire_area via_via_same_net)))\n"
    "  )\n"
    "  (library\n"
    "    (padstack V1 (shape (circle L1 20)) (shape (circle L2 20)) (shape (circle V 20)))\n"
    "  )\n"
    "  (network\n"
    "    (net N (pins) (rule (width 10)))\n"
    "    (net DROP (pins) (rule (parallel_segment off)))\n"
    "    (net Z (pins) (rule (parallel_segment (gap 0) (limit 0))))\n"
    "    (class C N (rule (clearance 8 (type smd_smd)) (reorder daisy (type balanced)))\n"
    "      (circuit (use_layer L1 L2) (use_via V1 MISSING)))\n"
    "    (class D Z (rule (reorder starburst) (max_total_vias 3) (limit_vias 2)))\n"
    "  )\n"
    ")\n";

class RuleImportEndToEnd : public testshell::ScratchFolderTest {
protected:
    // The rule objects of a board's JSON dump, each as its own text.
    static std::vector<std::string> RuleObjects(const std::string& json) {
        std::vector<std::string> rules;
        std::size_t at = json.find("\"Rule\":["), start = 0;
        int depth = 0;
        for (at = at == std::string::npos ? json.size() : at + 8;
             at < json.size() && (depth > 0 || json[at] != ']'); ++at) {
            if (json[at] == '{' && depth++ == 0)
                start = at;
            else if (json[at] == '}' && --depth == 0)
                rules.push_back(json.substr(start, at + 1 - start));
        }
        return rules;
    }
    // The rule of that kind and name, or an empty text.
    static std::string Rule(const std::vector<std::string>& rules, int kind,
                            const std::string& name, int nth = 0) {
        const std::string key = "\"Kind\":" + std::to_string(kind) + ",\"Name\":\"" + name + "\",";
        for (const std::string& rule : rules)
            if (rule.find(key) != std::string::npos && nth-- == 0)
                return rule;
        return std::string();
    }
    static std::string Scopes(const std::string& first, const std::string& second) {
        return "\"Scope1Expression\":\"" + first + "\",\"Scope2Expression\":\"" + second + "\"";
    }
};

TEST_F(RuleImportEndToEnd, EveryRuleEdgeCaseReachesTheBoardAsItShould) {
    Write("edges.dsn", kRuleDesign);
    // Done with errors in the report (the dropped net, the missing padstack).
    Outcome run = Harrow("import edges.dsn");
    ASSERT_EQ(run.exitCode, 1) << run.err;
    Outcome show = Harrow("show edges.pcbdoc --json");
    ASSERT_EQ(show.exitCode, 0) << show.err;
    const std::vector<std::string> rules = RuleObjects(show.out);

    // Width on a net: preferred, minimum and maximum in host units.
    const std::string width = Rule(rules, 2, "Width N");
    EXPECT_THAT(width, HasSubstr(Scopes("InNet('N')", "All")));
    EXPECT_THAT(width, HasSubstr("\"Constraints\":{\"MaxWidth\":120000,\"MinWidth\":80000,"
                                 "\"PreferredWidth\":100000}"));

    // Clearance at board level, and a pair of types with the same-net flag.
    const std::string board = Rule(rules, 0, "Clearance PCB");
    EXPECT_THAT(board, HasSubstr(Scopes("All", "All")));
    EXPECT_THAT(board, HasSubstr("\"Attributes\":[0,0,"));
    EXPECT_THAT(board, HasSubstr("\"Gap\":80000"));
    const std::string pair = Rule(rules, 0, "Clearance PCB", 1);
    EXPECT_THAT(pair, HasSubstr(Scopes("(IsTrack Or IsArc) Or IsVia",
                                       "(IsKeepout Or IsFill Or InPolygon) Or IsVia")));
    EXPECT_THAT(pair, HasSubstr("\"Attributes\":[0,1,"));
    EXPECT_THAT(pair, HasSubstr("\"Gap\":65000"));

    // Typed clearance on a class.
    const std::string typed = Rule(rules, 0, "Clearance C");
    EXPECT_THAT(typed, HasSubstr(Scopes("InNetClass('C') And (IsSMTPin)",
                                        "InNetClass('C') And (IsSMTPin)")));

    // Routing orders: balanced daisy chain 5, starburst 0.
    EXPECT_THAT(Rule(rules, 7, "RoutingTopology C"), HasSubstr("\"Topology\":5"));
    EXPECT_THAT(Rule(rules, 7, "RoutingTopology D"), HasSubstr("\"Topology\":0"));
    EXPECT_THAT(Rule(rules, 18, "MaximumViaCount D"), HasSubstr("\"MaximumViaCount\":3"));

    // A circuit's layers (no direction: 1, then 2) and via styles.
    const std::string layers = Rule(rules, 9, "RoutingLayers C");
    EXPECT_THAT(layers, HasSubstr(Scopes("InNetClass('C')", "All")));
    EXPECT_THAT(layers, HasSubstr("\"Layer1\":1,\"Layer2\":2,\"Layer3\":0"));
    EXPECT_THAT(layers, HasSubstr("\"Layer32\":0}"));
    const std::string style = Rule(rules, 11, "C Via style V1");
    EXPECT_THAT(style, HasSubstr(Scopes("InNetClass('C')", "All")));

    // What the structure made before the rules stays.
    EXPECT_FALSE(Rule(rules, 9, "Routing Layers From Layer Stack").empty());
    EXPECT_FALSE(Rule(rules, 11, "Via style V1").empty());

    // Nothing for the dropped net and the zero parallel segment; a line each.
    EXPECT_THAT(show.out, Not(HasSubstr("\"Name\":\"DROP\"")));
    for (const std::string& rule : rules)
        EXPECT_THAT(rule, Not(HasSubstr("\"Kind\":1,")));
    EXPECT_EQ(rules.size(), 11u);
    const std::string report = Read(folder + "/edges.rpt");
    for (const char* line :
         {"ERROR: Loading net: DROP",
          "Skipped translation of parallel segment rule with zero values for Z",
          "ERROR: Invalid padstack reference returned for: MISSING, while tryng "
          "to create board level routing via styles.",
          "WARNING: Skipped block between lines: 22-22, from keyword: LIMIT_VIAS"})
        EXPECT_THAT(report, HasSubstr(line));

    // The listing of harrow show: kind, name, scopes, values in mil and mm.
    Outcome listing = Harrow("show edges.pcbdoc");
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_THAT(listing.out,
                HasSubstr("  Width \"Width N\"\n    scope: InNet('N')\n    values: MaxWidth "
                          "12 mil (0.3048 mm), MinWidth 8 mil (0.2032 mm), PreferredWidth "
                          "10 mil (0.254 mm)\n"));
    EXPECT_THAT(listing.out,
                HasSubstr("    scope: (IsTrack Or IsArc) Or IsVia  |  (IsKeepout Or IsFill "
                          "Or InPolygon) Or IsVia\n    values: Gap 6.5 mil (0.1651 mm), "
                          "same net yes\n"));
}

} // namespace
