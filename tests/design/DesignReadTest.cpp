// Reading whole design files: recognition, top-level dispatch, units and
// resolutions, the parser section.
#include "support/DesignText.h"

#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"

#include <gtest/gtest.h>

namespace {

// Whole design texts: whether the reading succeeds, the design unit it ends
// with and every report line, in order.
TEST(DesignRead, DesignTextsAndWhatTheirReadingLeaves) {
    using TLines = std::vector<std::string>;
    const struct {
        const char* Text;
        bool Result;
        TDimensionUnit Unit;
        TLines Report;
    } cases[] = {
        {"pcb board1 (unit mil))", false, eDimNotSet, {"ERROR: Not a valid DSN file."}},
        {"(session board1 (base_design board1.dsn))",
         false,
         eDimNotSet,
         {"ERROR: Unexpected token <SESSION> in line 1",
          "ERROR: Not a valid DSN file. Expected <pcb> as second keyword."}},
        {"(PCB \"my board\"\n  (unit mm)\n)\n", true, eDimMm, {}},
        // Unknown and colour blocks are skipped; the last unit block counts.
        {"(pcb x\n  (colors (color 1 red) (set_color signal 1))\n  (unit um)\n"
         "  (control (via_at_smd off (a b)))\n  (unit mil)\n)\n",
         true,
         eDimMil,
         {"Custom color settings are not supported and not loaded.",
          "WARNING: Skipped block between lines: 2-2, from keyword: COLORS",
          "WARNING: Skipped block between lines: 4-4, from keyword: CONTROL"}},
        // A unit block wins over a resolution in either order.
        {"(pcb x (unit mm) (resolution mil 10))", true, eDimMm, {}},
        {"(pcb x (resolution um 10) (unit inch))", true, eDimInch, {}},
        {"(pcb x (resolution um 10))", true, eDimUm, {}},
        // A resolution of the wrong family is reported and ignored.
        {"(pcb x\n (resolution ohm 10)\n (capacitance_resolution pfarad 5)\n)",
         true,
         eDimInch,
         {"ERROR: Unexpected token <OHM> in line 2", "ERROR: Unexpected token <10> in line 2"}},
        {"(pcb x (resolution mil -1))", true, eDimMil, {}},
        // An unusual quote character warns but is used; an apostrophe is usual.
        {"(pcb x (parser (string_quote #)) (unit mm))",
         true,
         eDimMm,
         {"WARNING: Recommended quote chars are: '', \" , $."}},
        {"(pcb x (parser (string_quote ')) (unit mm))", true, eDimMm, {}},
        // The last closing parenthesis without a line break ends a whole design.
        {"(pcb x\n  (unit mm)\n)", true, eDimMm, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TReadDesign read(c.Text);
        EXPECT_EQ(read.Result, c.Result);
        EXPECT_EQ(read.Lines(), c.Report);
        if (c.Unit != eDimNotSet) {
            EXPECT_EQ(read.Design->GetUnit(), c.Unit);
        }
    }
    TReadDesign wrongFamily("(pcb x (resolution ohm 10))");
    EXPECT_EQ(wrongFamily.Design->DimensionResolution()->GetState_Resolution(), 2540000);
    EXPECT_EQ(wrongFamily.Design->DimensionResolution()->GetState_Unit(), eDimInch);
    TReadDesign minusOne("(pcb x (resolution mil -1))");
    EXPECT_EQ(minusOne.Design->DimensionResolution()->GetState_Resolution(), -1);
    TReadDesign quote("(pcb x (parser (string_quote #)) (unit mm))");
    EXPECT_EQ(quote.Design->ParserSection()->StringQuote, '#');
    EXPECT_EQ(quote.Parser->QuoteChar(), '#');
}

TEST(DesignRead, SectionsReadTheirBlocksAndTheDesignGoesOnAfterThem) {
    TReadDesign read("(pcb x\n"
                     "  (structure\n    (layer F.Cu (type signal))\n  )\n"
                     "  (library (image R))\n"
                     "  (network (net GND (pins R1-1)))\n"
                     "  (wiring)\n"
                     "  (resolution mil 10)\n"
                     ")\n");
    EXPECT_TRUE(read.Result);
    EXPECT_NE(read.Design->Library(), nullptr);
    EXPECT_NE(read.Design->Network(), nullptr);
    EXPECT_NE(read.Design->Wiring(), nullptr);
    EXPECT_FALSE(read.Has("WARNING: Skipped block between lines: 2-4, from keyword: STRUCTURE"));
    ASSERT_EQ(read.Design->Structure()->LayerStack().Count(), 1);
    EXPECT_EQ(read.Design->Structure()->LayerStack().First()->Name(), "F.CU");
    EXPECT_NE(read.Design->Get_NetByName("GND"), nullptr); // the network is read
    EXPECT_EQ(read.Design->DimensionResolution()->GetState_Resolution(), 10);
    EXPECT_EQ(read.Design->GetUnit(), eDimMil); // taken from the resolution
}

TEST(DesignRead, ResolutionOutOfRangeEndsTheTranslation) {
    EXPECT_THROW(TReadDesign("(pcb x (capacitance_resolution pfarad 0))"), ERangeError);
    try {
        TReadDesign("(pcb x (resolution mil -3))");
        FAIL() << "no range error";
    } catch (const ERangeError& error) {
        EXPECT_STREQ(error.what(), "-3 is not allowed value.  Value must be positive integer");
    }
    // A file cut off inside a resolution block has no positive value either.
    EXPECT_THROW(TReadDesign("(pcb x (resolution mil"), ERangeError);
}

TEST(DesignRead, ParserSectionKeepsConstantsAndFlags) {
    TReadDesign read("(pcb x\n"
                     "  (parser\n"
                     "    (string_quote \")\n"
                     "    (space_in_quoted_tokens on)\n"
                     "    (host_cad \"Board Studio\")\n"
                     "    (host_version \"7.1 (build 3)\")\n"
                     "    (constant W1 0.25)\n"
                     "    (constant \"Clear Min\" 0.2)\n"
                     "    (constant GAP 6)\n"
                     "    (routes_include testpoint guides)\n"
                     "  )\n"
                     "  (unit mm)\n"
                     ")\n");
    ASSERT_TRUE(read.Result);
    const TSpecctraParserDescriptor& parser = *read.Design->ParserSection();
    EXPECT_EQ(parser.StringQuote, '"');
    EXPECT_TRUE(parser.SpaceInQuotedTokens);
    EXPECT_EQ(parser.HostCad, "Board Studio");
    EXPECT_EQ(parser.HostVersion, "7.1 (build 3)");
    EXPECT_TRUE(parser.ViaRotateFirst);
    EXPECT_EQ(parser.RoutesInclude, TSpecctraParserDescriptor::eIncludeTestpoint |
                                        TSpecctraParserDescriptor::eIncludeGuides);
    ASSERT_EQ(parser.Constants.size(), 3u);
    EXPECT_EQ(parser.Constants[1], (std::pair<std::string, std::string>{"Clear Min", "0.2"}));
    EXPECT_EQ(parser.Constants[2].first, "GAP");
    EXPECT_TRUE(read.Lines().empty()) << read.Lines().front();
    EXPECT_EQ(read.Design->GetUnit(), eDimMm); // reading went on after the section
}

TEST(DesignRead, TruncatedAndUnbalancedFilesEndCleanly) {
    for (const char* text : {"(pcb x (structure (layer TOP", "(pcb x (parser (constant A", "(pcb",
                             "(pcb x))))) (unit mm)"}) {
        TReadDesign read(text);
        EXPECT_TRUE(read.Result) << text;
        EXPECT_TRUE(read.Parser->EndOfFile() || read.Design->SectionsOpen < 1) << text;
    }
}

} // namespace
