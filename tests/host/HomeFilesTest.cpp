// harrow's verbs hand a KiCad design's routing back in files KiCad reads, read
// here as a strict reader does and compared with the design's own spelling;
// and --literal, which keeps the translator's own bytes.
#include "support/ScratchShell.h"
#include "support/Sexpr.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using testshell::Outcome;
using testshell::Quote;
using testshell::Read;

// A KiCad 6 design in its own form: the board edge as a boundary path on
// layer pcb, names in mixed case, names with parentheses, a back-side part,
// two via padstacks alike but for the drill, and default_smd.
const std::string kKiCadDesign =
    testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/host/data/kicad6.dsn");

template <typename... Parts> auto HasAll(const Parts&... parts) {
    return ::testing::AllOf(HasSubstr(parts)...);
}

class HomeFiles : public testshell::ScratchFolderTest {
protected:
    // The file as a strict reader sees it: the one quote character the file
    // declares (a session declares it in its routes, after the placement),
    // none when it declares none, and never an apostrophe besides.
    static sexpr::Node ReadStrictly(const std::string& text) {
        sexpr::Options options;
        const std::size_t declared = text.find("(string_quote ");
        options.Quote = declared == std::string::npos ? '\0' : text[declared + 14];
        sexpr::Node all = sexpr::ReadAll(text, options);
        EXPECT_FALSE(all.Items.empty());
        return all.Items.empty() ? sexpr::Node{} : all.Items[0];
    }

    // A session from its placement on, the part that names no file.
    static std::string Body(const std::string& ses) { return ses.substr(ses.find("(placement")); }

    // No atom of the file, however deep, is in apostrophes.
    static void ExpectNoApostrophes(const sexpr::Node& node) {
        for (const sexpr::Node& item : node.Items)
            if (item.IsList)
                ExpectNoApostrophes(item);
            else
                EXPECT_TRUE(item.Atom.empty() || item.Atom.front() != '\'') << item.Atom;
    }
};

// Two nets whose plain names differ only in case, which the board holds as
// one net.
const char* const kCaseDesign = R"dsn((pcb cm
  (parser (string_quote ") (host_cad KiCad))
  (resolution um 10)
  (unit um)
  (structure
    (layer F.Cu (type signal)) (layer B.Cu (type signal))
    (boundary (rect pcb 0 0 20000 20000))
    (via V600)
    (rule (width 250) (clearance 200))
  )
  (placement
    (component R0603
      (place R1 5000 5000 front 0)
      (place R2 10000 5000 front 0)
    )
  )
  (library
    (image R0603
      (pin Rect 1 -800 0)
      (pin Rect 2 800 0)
    )
    (padstack Rect (shape (rect F.Cu -400 -400 400 400)) (attach off))
    (padstack V600 (shape (circle F.Cu 600)) (shape (circle B.Cu 600)) (attach off))
  )
  (network
    (net gnd (pins R1-1 R2-1))
    (net GND (pins R1-2))
    (net Vcc (pins R2-2))
  )
)
)dsn";

TEST_F(HomeFiles, NamesThatDifferOnlyInCaseAreNotedAndReportedAndLiterallyNot) {
    Write("cm.dsn", kCaseDesign);
    const std::string merge =
        "nets gnd and GND differ only in case and are one net GND on the board";
    const Outcome run = Harrow("import cm.dsn");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("cm.dsn: " + merge +
                                   " (the translator reads plain names in upper case)"));
    EXPECT_THAT(Read(folder + "/cm.rpt"), HasSubstr("WARNING: " + merge));

    const Outcome literal = Harrow("import cm.dsn --literal -o literal.pcbdoc");
    ASSERT_EQ(literal.exitCode, 0) << literal.err;
    EXPECT_THAT(literal.err, Not(HasSubstr("differ only in case")));
    EXPECT_THAT(Read(folder + "/literal.rpt"), Not(HasSubstr("differ only in case")));
}

TEST_F(HomeFiles, ASessionKiCadReadsBackWithTheDesignsNames) {
    Write("k.dsn", kKiCadDesign);
    const Outcome run = Harrow("import k.dsn --ses k.ses --rte k.rte");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err,
                HasAll("k.dsn: line 20: clearance type default_smd read as smd_pin "
                       "smd_via smd_wire smd_area",
                       "k.pcbdoc -> k.ses: written for the design's CAD system",
                       "the board outline is the boundary's path on layer pcb (4 corners)"));
    const std::string report = Read(folder + "/k.rpt");
    EXPECT_THAT(report, Not(HasSubstr("ERROR")));
    EXPECT_THAT(report, HasSubstr("WARNING: Clearance type default_smd in line 20 read as"));

    for (const char* file : {"k.ses", "k.rte"}) {
        SCOPED_TRACE(file);
        const std::string text = Read(folder + "/" + file);
        const sexpr::Node root = ReadStrictly(text);
        ASSERT_TRUE(root.Closed) << text;
        const sexpr::Node* routes = root.Head() == "routes" ? &root : root.First("routes");
        ASSERT_NE(routes, nullptr) << text;
        // The file declares its quote, and every quoted name uses it.
        const sexpr::Node* parser = routes->First("parser");
        ASSERT_NE(parser, nullptr);
        const sexpr::Node* quote = parser->First("string_quote");
        ASSERT_NE(quote, nullptr) << text;
        ASSERT_EQ(quote->Items.size(), 2u);
        EXPECT_EQ(quote->Items[1].Atom, "\"");
        ExpectNoApostrophes(root);
        // Nets, layers and via padstacks exactly as the design spells them.
        std::set<std::string> nets, layers, vias;
        for (const sexpr::Node* net : routes->First("network_out")->All("net")) {
            nets.insert(net->Items[1].Atom);
            for (const sexpr::Node* wire : net->All("wire"))
                layers.insert(wire->First("path")->Items[1].Atom);
            for (const sexpr::Node* via : net->All("via"))
                vias.insert(via->Items[1].Atom);
        }
        EXPECT_EQ(nets, (std::set<std::string>{"Net-(R1-Pad2)", "GnD"}));
        EXPECT_EQ(layers, (std::set<std::string>{"F.Cu", "B.Cu"}));
        // The via the design put there, not the first padstack of its size.
        EXPECT_EQ(vias, (std::set<std::string>{"Via[0-1]_800:300_um"}));
        std::set<std::string> padstacks;
        for (const sexpr::Node* padstack : routes->First("library_out")->All("padstack"))
            padstacks.insert(padstack->Items[1].Atom);
        EXPECT_TRUE(padstacks.count("RoundRect[T]Pad_1025x1400_um")) << text;
        EXPECT_TRUE(padstacks.count("Via[0-1]_800:300_um")) << text;
        // A reader that knows no test points takes no empty block of them.
        EXPECT_EQ(routes->First("test_points"), nullptr);
    }
    // The parts under the design's footprint and designators; the back-side
    // one at the rotation the design gave it.
    const sexpr::Node session = ReadStrictly(Read(folder + "/k.ses"));
    const sexpr::Node* component = session.First("placement")->First("component");
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->Items[1].Atom, "Resistor_SMD:R_0805_2012Metric");
    std::vector<std::string> places;
    for (const sexpr::Node* place : component->All("place")) {
        std::string line;
        for (std::size_t i = 1; i < place->Items.size(); ++i)
            line += (i > 1 ? " " : "") + place->Items[i].Atom;
        places.push_back(line);
    }
    EXPECT_EQ(places, (std::vector<std::string>{"R1 1000000 -1000000 front 0",
                                                "R2 2000000 -1000000 back 90"}));

    // The board has the outline of the pcb path (as the import said): the
    // rule check sees the track that leaves the board.
    EXPECT_THAT(Harrow("drc k.pcbdoc --json").out, HasSubstr("\"outline\":1,"));

    // Days later, export of the saved board writes the same files, and -o
    // puts them elsewhere.
    ASSERT_EQ(std::system(("mkdir " + Quote(folder + "/later")).c_str()), 0);
    const Outcome later = Harrow("export k.pcbdoc -o later/ --json");
    ASSERT_EQ(later.exitCode, 0) << later.err;
    EXPECT_THAT(later.out, HasSubstr("\"output\":[\"" + folder + "/later/k.rte\",\"" + folder +
                                     "/later/k.ses\"]"));
    EXPECT_THAT(later.err,
                HasSubstr("k.pcbdoc -> later/k.ses: written for the design's CAD system"));
    EXPECT_EQ(Body(Read(folder + "/later/k.ses")), Body(Read(folder + "/k.ses")));
    EXPECT_EQ(Read(folder + "/later/k.rte"), Read(folder + "/k.rte"));
}

// Footprints whose names differ only by a suffix (KiCad writes Lib:Part::1
// for a second variant) are named as they are, with no note that one stands
// for itself.
TEST_F(HomeFiles, FootprintsOfOneLibraryNameAreNotReportedAsMerged) {
    Write("v.dsn",
          testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/host/data/variants.dsn"));
    ASSERT_EQ(Harrow("import -q v.dsn").exitCode, 0);
    const Outcome run = Harrow("export v.pcbdoc --ses v.ses");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, Not(HasSubstr("stands for")));
    EXPECT_THAT(Read(folder + "/v.ses"),
                HasAll("(component Lib:Part\r\n", "(component Lib:Part::1\r\n"));
}

TEST_F(HomeFiles, LiteralKeepsTheTranslatorsOwnText) {
    Write("k.dsn", kKiCadDesign);
    const Outcome run = Harrow("import k.dsn --literal --ses k.ses");
    // The translator does not know default_smd.
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_THAT(Read(folder + "/k.rpt"),
                HasSubstr("ERROR: Unexpected token <DEFAULT_SMD> in line 20"));
    const std::string ses = Read(folder + "/k.ses");
    EXPECT_THAT(ses, HasAll("(net 'Net-(R1-Pad2)'", "(net GND\r\n",
                            "(place R2 2000000 -1000000 back -90)", "(test_points"));
    EXPECT_THAT(ses, Not(HasSubstr("string_quote")));
    // No outline but the translator's: the track off the board goes unseen.
    EXPECT_THAT(Harrow("drc k.pcbdoc --json").out, HasSubstr("\"outline\":0,"));
    // The board keeps no names either: export writes the translator's text
    // when asked to, and otherwise says that it has no design names.
    const Outcome literal = Harrow("export k.pcbdoc --ses again.ses --literal");
    ASSERT_EQ(literal.exitCode, 0) << literal.err;
    EXPECT_EQ(Body(Read(folder + "/again.ses")), Body(ses));
    const Outcome home = Harrow("export k.pcbdoc --ses home.ses");
    ASSERT_EQ(home.exitCode, 0) << home.err;
    EXPECT_THAT(home.err, HasSubstr("the board keeps no design names"));
    EXPECT_THAT(Read(folder + "/home.ses"), HasSubstr("(net \"Net-(R1-Pad2)\""));
}

} // namespace
