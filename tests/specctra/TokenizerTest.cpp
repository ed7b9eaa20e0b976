#include "ReadScript.h"
#include "support/ParserTestSupport.h"

#include <array>

#include <gtest/gtest.h>

namespace {

TEST(Tokenizer, TextsGiveTheirTokens) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // A design's opening: parenthesis, keyword and the upper-cased name.
        {"(pcb board1\n", "( <PCB> BOARD1"},
        // A quoted name keeps its case, blanks and parentheses.
        {"(net 'Net-(U1-Pad3) clk in' (pins U1-3))\n",
         "( <NET> 'Net-(U1-Pad3) clk in' ( <PINS> U1-3 ) )"},
        // string_quote changes the quote character: an apostrophe then ends words.
        {"(parser\n  (string_quote \")\n  (host_cad \"KiCad's Pcbnew\")\n  (net a'b)\n)\n",
         "( <PARSER> @2 ( <STRING_QUOTE> <\"#0>? ) @3 ( <HOST_CAD> 'KiCad's Pcbnew' ) @4 ( <NET> A "
         "B "
         ") @5 )"},
        // Comment lines are skipped; a "#" inside or at the start of a word is kept.
        {"# written by hand\n(pcb x\n    # an indented remark (with parens)\n  (a#b c #d)\n)\n",
         "@2 ( <PCB> <X> @4 ( A#B C #D ) @5 )"},
        // A ";", or an apostrophe once it no longer quotes, where a token starts
        // is an empty word; a delimiter that ends a word is consumed with it.
        {"(string_quote \")\na ' b ;c\n", "( <STRING_QUOTE> <\"#0>? ) @2 A  B  C"},
        {"a;b\n", "A B"},
        // The marker of a new quote character is a keyword; words that only
        // look like keywords are not.
        {"dr pcbx 1e5\n", "<DR> PCBX 1E5"},
        // Parentheses split words.
        {"(net GND(pins U1-1 R2-2))", "( <NET> GND ( <PINS> U1-1 R2-2 ) )"},
        // The ")" that stops a word is the last byte: it is not read again.
        {"(net a)", "( <NET> A"},
        // The last word without a line break is complete.
        {"(place U1 1000 -2500.5 front 90", "( <PLACE> U1 1000 -2500.5 <FRONT> 90"},
        // Many writers end the design with ")" and no line break after it: the
        // step to the new line must leave that last byte to be read.
        {"(pcb board1\n)", "( <PCB> BOARD1 @2 )"},
        {"(pcb board1\r\n)", "( <PCB> BOARD1 @2 )"},
        {"(pcb board1\n\n\r\n)", "( <PCB> BOARD1 @2 )"},
        {"(pcb board1\n\x14)", "( <PCB> BOARD1 @2 )"},
        {"(pcb board1\n  )", "( <PCB> BOARD1 @2 )"},
        // A comment on the last line ends the data with its last character.
        {"(pcb board1\n#", "( <PCB> BOARD1"},
        {"(pcb board1\n# (x)", "( <PCB> BOARD1"},
        {"(pcb board1\n  # )", "( <PCB> BOARD1"},
        // A last line that is a word is read whole, as any other word.
        {"(a\nb", "( A @2 B"},
        // Runs of line breaks count as one line.
        {"(a\n\n\n  b\r\n\r\n c\n d)\n", "( A @2 B @3 C @4 D )"},
        // Some writers pad the start of a line with the character 20; it is
        // dropped with the line break. After a blank, or inside a line, it is an
        // ordinary character of the word.
        {"(a\n\024\024b\r\n\024\n\024c \024d\n \024e)\n", "( A @2 B @3 C \024D @4 \024E )"},
        // A tab inside a word belongs to it; leading tabs are blanks.
        {"\t(pin\tRect 1\ta)\n", "( PIN\tRECT 1\tA )"},
        // The unit separator in a name becomes the space marker; a quoted name
        // keeps it.
        {"(net Vcc\0373v3)\n", "( <NET> VCC~SP~3V3 )"},
        {"(net 'Vcc\0373v3')\n", "( <NET> 'Vcc\0373v3' )"},
        // Escape pairs in quoted strings: the quote, the backslash, line breaks,
        // form feed and tab (as a vertical tab); others are dropped, and a
        // backslash before the closing quote with a blank after it is kept.
        {"'it\\'s' next", "'it's' NEXT"},
        {"'C:\\\\boards\\\\main' next", "'C:\\boards\\main' NEXT"},
        {"'a\\nb\\Rc\\fd\\te' next", "'a\nb\rc\fd\ve' NEXT"},
        {"'a\\qb' next", "'ab' NEXT"},
        {"'C:\\dir\\' next", "'C:ir\\' NEXT"},
        // A quoted string over lines keeps its line breaks and its first line.
        {"(comment 'first\nsecond') x\n", "( <COMMENT> 'first\nsecond' ) <X>"},
        // A NUL byte is an ordinary character.
        {std::string("(net A\0B (pins U1-1))\n", 22),
         std::string("( <NET> A\0B ( <PINS> U1-1 ) )", 29)},
    };
    for (const auto& [text, tokens] : cases)
        EXPECT_EQ(Read(text, "T"), tokens) << testing::PrintToString(text);
}

// Calls after reading and skipping (see ReadScript.h for the script).
TEST(Tokenizer, ScriptsOfCallsReadAsDocumented) {
    const std::vector<std::array<std::string, 3>> cases = {
        // Line breaks at the end of the data give one empty word, on the next
        // line, and no further token.
        {"(a)\n", "ttt.t.", "( A ) more @2  eof"},
        {"(a)\r\n", "ttt.t.", "( A ) more @2  eof"},
        {"(a)\n\n", "ttt.t.", "( A ) more @2  eof"},
        {"(a)\n\x14", "ttt.t.", "( A ) more @2  eof"},
        // Skipping the current block honours nesting and quotes.
        {"(structure (foo 1 (bar 'x)(') 2\n (baz)) (layer TOP))", "ttttstt",
         "( <STRUCTURE> ( FOO @2 ( <LAYER>"},
        // After a word followed by more text the rest of the block is skipped
        // up to its closing parenthesis.
        {"(scope a (b c) d) next", "ttkct", "( SCOPE ^0 NEXT"},
        // When the word is followed by the block's own ")", nothing is skipped.
        {"(scope abc ) next", "tttckt", "( SCOPE ABC ^) )"},
        // Right after two opening parentheses both blocks are left; line breaks
        // on the way are counted.
        {"(scope ((a (b)) c\n) d) next", "ttttckt", "( SCOPE ( ( ^( @2 D"}};
    for (const auto& [text, script, shown] : cases)
        EXPECT_EQ(Read(text, script), shown) << testing::PrintToString(text) << " " << script;
}

TEST(Tokenizer, EscapeAnsweredYesAbortsAndStopsSkipping) {
    TScriptedEscapeHost host(true);
    auto parser = MakeParser("(pcb demo (structure (layer F.Cu) (layer B.Cu)))\n");
    parser->SetEscapeKey(&host);
    parser->NextToken();
    EXPECT_TRUE(parser->Aborted());
    parser->NextToken();
    parser->SkipCurrentBlock();
    EXPECT_EQ(parser->TokenString(), "PCB");
    EXPECT_EQ(host.Questions.size(), 1u);
}

// A parser lets go of the design text once the design is read: it keeps the
// file name and line number for later messages and reads nothing more.
TEST(ReleaseInput, KeepsNameAndLineAndReadsNothingMore) {
    auto parser = MakeParser("(pcb board1\n  (net GND)\n  (net VCC)\n");
    for (int i = 0; i < 5; ++i)
        parser->NextToken(); // ( PCB BOARD1 ( NET
    const std::string name = parser->Input().FileName();
    const int32_t line = parser->LineNumber();
    EXPECT_EQ(line, 2);
    ASSERT_GT(parser->Input().Size(), 0u);

    parser->ReleaseInput();
    // The last word read stays readable after its text is let go.
    EXPECT_EQ(parser->TokenString(), "NET");
    EXPECT_EQ(parser->Input().Size(), 0u);
    EXPECT_EQ(parser->Input().FileName(), name);
    EXPECT_EQ(parser->LineNumber(), line);
    for (int i = 0; i < 4 && !parser->EndOfFile(); ++i)
        parser->NextToken();
    EXPECT_TRUE(parser->EndOfFile()) << "the released text is read no further";
    EXPECT_NE(parser->TokenString(), "VCC");
}

TEST(Parser, ValidDesignFileNeedsParenAndPcb) {
    EXPECT_TRUE(MakeParser("\n\n   (\n  PCB \"x\"")->IsValidDSNFile());
    EXPECT_TRUE(MakeParser("(Pcb board")->IsValidDSNFile());
    EXPECT_FALSE(MakeParser("(session board")->IsValidDSNFile());
    EXPECT_FALSE(MakeParser("pcb (")->IsValidDSNFile());
    EXPECT_FALSE(MakeParser("")->IsValidDSNFile());
}

// Numbers and switches read as words convert from the design's text, in
// either case; the word's own text is still given upper-cased, and a word
// that is no number is reported so.
TEST(Parser, WordsConvertInEitherCaseAndKeepTheirUpperCaseText) {
    struct Case {
        char kind; // r: real, i: integer, b: switch
        double value;
        bool converts;
        const char* text;
    };
    const std::vector<Case> cases = {
        {'r', 150.0, true, "1.5E2"},
        {'r', 0.25, true, "2.5E-1"},
        {'i', 255, true, "$FF"},
        {'i', 10, true, "0XA"},
        {'b', 1, true, "ON"},
        {'b', 1, true, "ON"},
        {'i', 10, false, "12ABC"},                     // the value stays as it was
        {'r', 10.0, true, "0.000000000000000001E+19"}, // past 16 bytes
    };
    TRecordingSink sink;
    auto parser =
        MakeParser("(x 1.5e2 2.5E-1 $ff 0xA on oN 12abc 0.000000000000000001e+19)\n", &sink);
    parser->NextToken();
    parser->NextToken();
    double real = 0;
    int32_t whole = 0;
    for (const Case& c : cases) {
        parser->NextToken();
        double got = 0;
        bool converted = false;
        if (c.kind == 'r') {
            converted = parser->TokenStr2Real(real);
            got = real;
        } else if (c.kind == 'i') {
            converted = parser->TokenStr2Int(whole);
            got = whole;
        } else {
            converted = parser->TokenStr2Bool();
            got = converted ? 1 : 0;
        }
        EXPECT_EQ(converted, c.converts) << c.text;
        EXPECT_DOUBLE_EQ(got, c.value) << c.text;
        EXPECT_EQ(parser->TokenString(), c.text);
    }
    EXPECT_EQ(sink.Lines,
              std::vector<std::string>{"ERROR: Integer value expected <12ABC> in line 1."});
}

TEST(Parser, NextStringAndNextIntegerLeaveCurrentTokenAsDocumented) {
    auto parser = MakeParser("(via 'Via[0-1]_800' 12 on");
    parser->NextToken();
    EXPECT_EQ(parser->NextToken(), eTok_via);
    EXPECT_EQ(parser->NextString(), "Via[0-1]_800");
    EXPECT_EQ(parser->CurrentToken(), eTok_QuotedString);
    EXPECT_EQ(parser->NextInteger(), 12);
    EXPECT_EQ(parser->CurrentToken(), eTok_QuotedString);
    EXPECT_TRUE(parser->NextBoolean());
}

} // namespace
