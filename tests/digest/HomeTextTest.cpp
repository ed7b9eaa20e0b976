// What harrow reads of a design beside the translator, and the route and
// session text it writes for the design's CAD system: names as the design
// spells them, quoted with the quote the file declares, back-side rotations,
// via padstacks, no empty block a strict reader refuses.
#include "digest/HomeText.h"
#include "digest/DesignDigest.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using Digest::HomeTable;
using Digest::NameKind;
using Digest::ReadDesignDigest;
using Digest::WriteHomeText;

// The names' spellings joined by "|", each quoted one marked by a "'".
std::string Spellings(const std::vector<Digest::DesignName>& names) {
    std::string all;
    for (const Digest::DesignName& name : names)
        all += (all.empty() ? "" : "|") + name.spelling + (name.quoted ? "'" : "");
    return all;
}

// Where a table keeps the names of nets.
constexpr std::size_t kNets = static_cast<std::size_t>(NameKind::Net);

const std::filesystem::path kData = std::filesystem::path(DSNLINK_SOURCE_DIR) / "tests/digest/data";

// A KiCad-like design: plain names in mixed case, quoted names with
// parentheses and blanks, two via padstacks alike but for the drill.
const std::string kDesign = testfs::ReadFile(kData / "kicad-like.dsn");

TEST(DesignDigest, NamesQuoteViasAndForeignWordsOfAKiCadDesign) {
    const Digest::DesignDigest d = ReadDesignDigest(kDesign);
    EXPECT_EQ(d.quote, '"');
    EXPECT_TRUE(d.spaceInQuoted);
    EXPECT_EQ(d.hostCad, "KiCad's Pcbnew");
    EXPECT_EQ(Spellings(d.Names(NameKind::Layer)), "F.Cu|In1.Cu|B.Cu");
    EXPECT_EQ(Spellings(d.Names(NameKind::Net)), "Net-(R1-Pad1)'|GND|My Net'");
    EXPECT_EQ(Spellings(d.Names(NameKind::Padstack)),
              "Via[0-1]_800:400_um'|Via[0-1]_800:300_um'|RoundRect[T]Pad");
    EXPECT_EQ(Spellings(d.Names(NameKind::Image)), "Resistor_SMD:R_0805");
    EXPECT_EQ(Spellings(d.Names(NameKind::Component)), "R1|R2");
    // Vias in steps of 0.00001 mm: 300 um is 30000 steps; 250.5 um rounds.
    ASSERT_EQ(d.vias.size(), 2u);
    EXPECT_EQ(d.vias[0].padstack, "Via[0-1]_800:300_um");
    EXPECT_EQ(d.vias[0].x, 30000);
    EXPECT_EQ(d.vias[0].y, -10000);
    EXPECT_EQ(d.vias[1].x, 25050);
    // KiCad's default_smd, in either case, on the lines it stands on.
    ASSERT_EQ(d.foreignWords.size(), 2u);
    EXPECT_EQ(d.foreignWords[0].line, 15);
    EXPECT_EQ(d.foreignWords[1].word, "DEFAULT_SMD");
    EXPECT_EQ(d.foreignWords[1].line, 34);
    const std::string rewritten = Digest::ReplaceForeignWords(kDesign, d.foreignWords);
    EXPECT_EQ(std::count(rewritten.begin(), rewritten.end(), '\n'),
              std::count(kDesign.begin(), kDesign.end(), '\n'));
    EXPECT_THAT(rewritten, Not(HasSubstr("default_smd")));
    EXPECT_THAT(rewritten, HasSubstr("(clearance 200.1 (type smd_pin smd_via smd_wire smd_area))"));
    // Only inside a clearance's type block: a net named so stays.
    EXPECT_TRUE(ReadDesignDigest("(pcb x (network (net default_smd)))").foreignWords.empty());
    // harrow reads a design beside the translator only when the word is
    // nowhere in it, in no case: the quick look must find every one the
    // digest finds, the last word of the text and a word at its start too.
    EXPECT_TRUE(Digest::MayHoldForeignWords(kDesign));
    for (const char* text : {"DeFault_SMD", "(type default_smd)", "x default_smd"})
        EXPECT_TRUE(Digest::MayHoldForeignWords(text)) << text;
    for (const char* text : {"", "_smd", "default_sm", "default-smd (type smd_pin)", "efault_smd"})
        EXPECT_FALSE(Digest::MayHoldForeignWords(text)) << text;
}

TEST(DesignDigest, ViaPositionsFollowTheWiringsUnits) {
    // The wiring's own resolution counts its numbers in its steps.
    const Digest::DesignDigest own =
        ReadDesignDigest("(pcb x (unit mil) (wiring (resolution mil 1000) (via V 1000 -2000)))");
    ASSERT_EQ(own.vias.size(), 1u);
    EXPECT_EQ(own.vias[0].x, 2540); // 1 mil
    EXPECT_EQ(own.vias[0].y, -5080);
    const Digest::DesignDigest inch =
        ReadDesignDigest("(pcb x (resolution inch 1000) (wiring (via V 1 0.5)))");
    ASSERT_EQ(inch.vias.size(), 1u);
    EXPECT_EQ(inch.vias[0].x, 2540000);
    // A via without a position is no via to find again.
    EXPECT_TRUE(ReadDesignDigest("(pcb x (wiring (via V)))").vias.empty());
}

// What the translator writes for kDesign, in its own layout.
const std::string kLiteral = testfs::ReadFile(kData / "literal.ses");

// A via the translator found no padstack for (a span no padstack of the
// design has) is written with its position first: the padstack used there
// goes in, and the position is never taken for a name.
TEST(HomeText, AViaWithoutAPadstackTakesTheOneUsedThere) {
    const HomeTable table(ReadDesignDigest(kDesign));
    const Digest::HomeText home = WriteHomeText(
        "(session s (routes (network_out (net GND (via  30001 -10000 ) (via  777 888 )))))", table);
    EXPECT_THAT(home.text, HasSubstr("(via  Via[0-1]_800:300_um 30001 -10000 )"));
    EXPECT_THAT(home.text, HasSubstr("(via  777 888 )"));
    EXPECT_EQ(home.counts.viasRenamed, 1);
    EXPECT_EQ(home.counts.quoted, 0);
    // The whole session: the parser block declares the design's quote and
    // keeps its writer; padstack layers and names with blanks as the design
    // spells them; a net the design does not know keeps the board's name; the
    // back-side component is turned and the empty test points block dropped.
    const Digest::HomeText whole = WriteHomeText(kLiteral, table);
    EXPECT_THAT(whole.text, HasSubstr("(parser \r\n        (string_quote \")\r\n"
                                      "        (space_in_quoted_tokens on)\r\n"
                                      "        (host_cad \"KiCad's Pcbnew\")\r\n      )"));
    EXPECT_THAT(whole.text, HasSubstr("(circle F.Cu 60000 0 0)"));
    EXPECT_THAT(whole.text, HasSubstr("(net \"My Net\"\r\n"));
    EXPECT_THAT(whole.text, HasSubstr("(net NEWNET\r\n"));
    EXPECT_THAT(whole.text, HasSubstr("(via Via[0-1]_800:300_um 30001 -10000 )"));
    EXPECT_EQ(whole.counts.turned, 1);
    EXPECT_TRUE(whole.counts.droppedTestPoints);
    EXPECT_TRUE(whole.notes.empty());
}

TEST(HomeText, AQuoteCharacterNoNameHoldsAndTestPointsKept) {
    HomeTable table;
    table.quote = '"';
    table.hostCad = "it's mine";
    table.names[kNets] = {{"a \"b\"", true}};
    const std::string literal = "(routes \n  (parser \n  )\n  (network_out \n"
                                "    (net 'a \"b\"'\n    )\n  )\n  (test_points \n"
                                "    (point 1 2 front (net 'a \"b\"')(type route))\n  )\n)\n";
    const Digest::HomeText home = WriteHomeText(literal, table);
    // The design's own quote is in a name: the file declares another.
    EXPECT_EQ(home.counts.quote, '\'');
    EXPECT_THAT(home.text, HasSubstr("(string_quote ')\n"));
    // The writer's name may not hold the quote: this program's stands in.
    EXPECT_THAT(home.text, HasSubstr("(host_cad 'DsnLink harrow')\n"));
    EXPECT_THAT(home.text, HasSubstr("(net 'a \"b\"'\n"));
    EXPECT_THAT(home.text, HasSubstr("(point 1 2 front (net 'a \"b\"')(type route))"));
    EXPECT_FALSE(home.counts.droppedTestPoints);
}

TEST(HomeText, ApostrophesAndEscapedQuotesInsideNames) {
    // The design escapes its quote inside a name; the translator wraps both
    // names in apostrophes it does not escape.
    const HomeTable table(ReadDesignDigest(
        "(pcb x (parser (string_quote \")) (network (net \"a 'quoted' (x)\" (pins A-1))"
        " (net \"has \\\"q\" (pins B-1)) (net after (pins C-1))))"));
    ASSERT_EQ(table.names[kNets].size(), 3u);
    EXPECT_EQ(table.names[kNets][1].spelling, "has \"q");
    const Digest::HomeText home = WriteHomeText(
        "(routes \n  (parser \n  )\n  (network_out \n    (net 'a 'quoted' (x)'\n    )\n"
        "    (net 'has \"q'\n    )\n    (net AFTER\n    )\n  )\n)\n",
        table);
    // Neither quote will do: the file declares a third; the blocks after the
    // names are read as blocks still.
    EXPECT_EQ(home.counts.quote, '$');
    EXPECT_THAT(home.text, HasSubstr("(net $a 'quoted' (x)$\n"));
    EXPECT_THAT(home.text, HasSubstr("(net $has \"q$\n"));
    EXPECT_THAT(home.text, HasSubstr("(net after\n    )\n  )\n)\n"));
}

TEST(HomeText, NamesAlikeButForCaseAreNamedAndNotMergedSilently) {
    const HomeTable table(ReadDesignDigest(
        "(pcb x (parser (string_quote \")) (network (net gnd (pins A-1)) (net Gnd (pins B-1))"
        " (net \"GND\" (pins C-1)) (net \"vcc\") (net VCC) (net \"v cc\") (net \"V CC\")))"));
    // The translator makes one net of the three, and keeps vcc apart (and
    // the quoted names with a blank, which keep their case).
    const std::vector<std::string> merges = table.CaseMerges();
    ASSERT_EQ(merges.size(), 1u);
    EXPECT_EQ(merges[0],
              "nets gnd, Gnd and GND differ only in case and are one net GND on the board");
    // The one net is written as the design spells it exactly, where it does.
    const Digest::HomeText home =
        WriteHomeText("(routes (network_out (net GND) (net VCC) (net vcc)))", table);
    EXPECT_EQ(home.text, "(routes (network_out (net GND) (net VCC) (net vcc)))");
    EXPECT_TRUE(home.notes.empty());
    // A quoted name keeps its case on the board: a board name in other case
    // is another net, and stays as the board has it.
    const Digest::HomeText other =
        WriteHomeText("(routes (network_out (net GND) (net gnd)))",
                      HomeTable(ReadDesignDigest("(pcb x (parser (string_quote \")) (network "
                                                 "(net \"gnd\")))")));
    EXPECT_EQ(other.text, "(routes (network_out (net GND) (net gnd)))");
    // Two plain spellings and no exact one: the first, and a note of the other.
    const Digest::HomeText upper =
        WriteHomeText("(routes (network_out (net GND)))",
                      HomeTable(ReadDesignDigest("(pcb x (network (net gnd) (net Gnd)))")));
    EXPECT_EQ(upper.text, "(routes (network_out (net gnd)))");
    ASSERT_EQ(upper.notes.size(), 1u);
    EXPECT_EQ(upper.notes[0], "net gnd stands for Gnd of the design too (one net on the board)");
}

TEST(HomeTable, KeptWithTheBoardAndReadBack) {
    HomeTable table(ReadDesignDigest(kDesign));
    table.names[kNets].push_back({std::string("tab\there\\ nul\0x", 16), true});
    const std::string text = table.Serialize();
    const std::optional<HomeTable> back = HomeTable::Parse(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->quote, '"');
    for (std::size_t k = 0; k < Digest::kNameKinds; ++k) {
        ASSERT_EQ(back->names[k].size(), table.names[k].size()) << k;
        EXPECT_EQ(Spellings(back->names[k]), Spellings(table.names[k])) << k;
    }
    ASSERT_EQ(back->vias.size(), 2u);
    EXPECT_EQ(back->vias[1].x, 25050);
    // Anything else is refused whole.
    for (const std::string& bad :
         {std::string(), std::string("something else\n"), text + "N9 p x\n", text + "V name 1\n"})
        EXPECT_FALSE(HomeTable::Parse(bad).has_value()) << bad;
    // The board keeps only the names the translator does not write as the
    // design spells them: those with a lower-case letter.
    const std::optional<HomeTable> pruned = HomeTable::Parse(Digest::PruneTableText(
        HomeTable(ReadDesignDigest("(pcb x (parser (string_quote \")) (network (net GND)"
                                   " (net \"gnd\") (net Vcc) (net \"N$1\")))"))
            .Serialize()));
    ASSERT_TRUE(pruned.has_value());
    ASSERT_EQ(pruned->names[kNets].size(), 2u);
    EXPECT_EQ(Spellings(pruned->names[kNets]), "gnd'|Vcc");
    // A footprint named in the placement and in the library is one name,
    // kept and read back: the session names it with no note.
    const std::optional<HomeTable> kept = HomeTable::Parse(Digest::PruneTableText(
        HomeTable(ReadDesignDigest(
                      "(pcb x (placement (component Lib:Part (place U1 0 0 front 0)) (component "
                      "Lib:Part::1 (place U2 0 0 front 0))) (library (image Lib:Part) (image "
                      "Lib:Part::1)))"))
            .Serialize()));
    ASSERT_TRUE(kept.has_value());
    const Digest::HomeText part = WriteHomeText(
        "(session s (placement (component LIB:PART) (component LIB:PART::1)))", *kept);
    EXPECT_THAT(part.text, HasSubstr("(component Lib:Part) (component Lib:Part::1)"));
    EXPECT_TRUE(part.notes.empty()) << *part.notes.begin();
    // A second design's names join the first's, each once.
    HomeTable joined = table;
    joined.Add(HomeTable(ReadDesignDigest("(pcb y (network (net GND) (net VCC)))")));
    EXPECT_EQ(joined.names[kNets].size(), table.names[kNets].size() + 1);
}

} // namespace
