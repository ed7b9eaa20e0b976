// Reading whole design files: recognition, top-level dispatch, units and
// resolutions, the parser section.
#include "support/DesignText.h"

#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraWriter.h"

#include <cstdio>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(DesignRead, RecognisesOnlyPcbFiles) {
    TReadDesign notParen("pcb board1 (unit mil))");
    EXPECT_FALSE(notParen.Result);
    EXPECT_TRUE(notParen.Has("ERROR: Not a valid DSN file."));

    TReadDesign session("(session board1 (base_design board1.dsn))");
    EXPECT_FALSE(session.Result);
    EXPECT_TRUE(session.Has("ERROR: Unexpected token <SESSION> in line 1"));
    EXPECT_TRUE(session.Has("ERROR: Not a valid DSN file. Expected <pcb> as second keyword."));

    TReadDesign design("(PCB \"my board\"\n  (unit mm)\n)\n");
    EXPECT_TRUE(design.Result);
    EXPECT_EQ(design.Design->GetUnit(), eDimMm);
}

TEST(DesignRead, UnknownAndColourBlocksAreSkippedAndReadingGoesOn) {
    TReadDesign read("(pcb x\n"
                     "  (colors (color 1 red) (set_color signal 1))\n"
                     "  (unit um)\n"
                     "  (control (via_at_smd off (a b)))\n"
                     "  (unit mil)\n"
                     ")\n");
    EXPECT_TRUE(read.Result);
    EXPECT_EQ(read.Lines(), (std::vector<std::string>{
                                "Custom color settings are not supported and not loaded.",
                                "WARNING: Skipped block between lines: 2-2, from keyword: COLORS",
                                "WARNING: Skipped block between lines: 4-4, from keyword: CONTROL",
                            }));
    EXPECT_EQ(read.Design->GetUnit(), eDimMil); // the last unit block counts
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

TEST(DesignRead, UnitBlockWinsOverResolutionInEitherOrder) {
    TReadDesign unitFirst("(pcb x (unit mm) (resolution mil 10))");
    EXPECT_EQ(unitFirst.Design->GetUnit(), eDimMm);
    TReadDesign resolutionFirst("(pcb x (resolution um 10) (unit inch))");
    EXPECT_EQ(resolutionFirst.Design->GetUnit(), eDimInch);
    TReadDesign resolutionOnly("(pcb x (resolution um 10))");
    EXPECT_EQ(resolutionOnly.Design->GetUnit(), eDimUm);
}

TEST(DesignRead, ResolutionOfTheWrongFamilyIsReportedAndIgnored) {
    TReadDesign read("(pcb x\n (resolution ohm 10)\n (capacitance_resolution pfarad 5)\n)");
    EXPECT_TRUE(read.Result);
    EXPECT_TRUE(read.Has("ERROR: Unexpected token <OHM> in line 2"));
    EXPECT_TRUE(read.Has("ERROR: Unexpected token <10> in line 2"));
    EXPECT_EQ(read.Design->DimensionResolution()->GetState_Resolution(), 2540000);
    EXPECT_EQ(read.Design->DimensionResolution()->GetState_Unit(), eDimInch);
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
    TReadDesign minusOne("(pcb x (resolution mil -1))");
    EXPECT_EQ(minusOne.Design->DimensionResolution()->GetState_Resolution(), -1);
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

TEST(DesignRead, UnusualQuoteCharacterWarnsButIsUsed) {
    TReadDesign read("(pcb x (parser (string_quote #)) (unit mm))");
    EXPECT_EQ(read.Design->ParserSection()->StringQuote, '#');
    EXPECT_EQ(read.Parser->QuoteChar(), '#');
    EXPECT_TRUE(read.Has("WARNING: Recommended quote chars are: '', \" , $."));

    TReadDesign apostrophe("(pcb x (parser (string_quote ')) (unit mm))");
    EXPECT_TRUE(apostrophe.Lines().empty());
}

TEST(DesignRead, TruncatedAndUnbalancedFilesEndCleanly) {
    for (const char* text : {"(pcb x (structure (layer TOP", "(pcb x (parser (constant A", "(pcb",
                             "(pcb x))))) (unit mm)"}) {
        TReadDesign read(text);
        EXPECT_TRUE(read.Result) << text;
        EXPECT_TRUE(read.Parser->EndOfFile() || read.Design->SectionsOpen < 1) << text;
    }
}

TEST(DesignRead, DesignEndingInAClosingParenthesisWithoutLineBreakIsWhole) {
    for (const std::string ending : {")", ")\n"}) {
        TReadDesign read("(pcb x\n  (unit mm)\n" + ending);
        EXPECT_TRUE(read.Result);
        EXPECT_EQ(read.Lines(), std::vector<std::string>{}) << testing::PrintToString(ending);
    }
}

TEST(DesignRead, ParserSectionWritesItsConstants) {
    ResetTranslationState();
    const std::string path = ::testing::TempDir() + "/parser_section.rte";
    {
        TSpecctraWriter writer(path);
        TSpecctraParserDescriptor section(nullptr);
        section.Writer = &writer;
        section.Constants = {{"W1", "0.25"}, {"GAP", "6"}};
        ASSERT_TRUE(section.ExportToFile());
        EXPECT_EQ(writer.Buffer(),
                  "(parser \r\n  (constant W1 0.25)\r\n  (constant GAP 6)\r\n)\r\n");
    }
    std::remove(path.c_str());
}

} // namespace
