#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

namespace {

// The tokens of a text in one line: parentheses as they are, keywords as
// <TEXT> (with their id when the table gives the text none or another one:
// the new quote character is id 0, and not known), quoted strings in apostrophes, words
// bare (an empty word leaves two blanks), and "@N" where a token's line is
// not the line of the one before it. A token the parser calls known when it
// is a word or a quoted string, or unknown when it is not, is marked "?".
std::string Shown(const std::string& text) {
    static const auto table = MakeParser("");
    auto parser = MakeParser(text);
    std::string out;
    int32_t line = 1;
    while (!parser->EndOfFile()) {
        const int32_t id = parser->NextToken();
        const std::string& t = parser->TokenString();
        if (parser->EndOfFile() && id == eTok_Word && t.empty())
            break; // the scanner's answer once nothing is left
        if (parser->LineNumber() != line)
            out += " @" + std::to_string(line = parser->LineNumber());
        const bool plain = id == eTok_Word || id == eTok_QuotedString;
        int32_t tableId = eTok_Word;
        if (plain || id == eTok_OpenParen || id == eTok_CloseParen)
            out += id == eTok_QuotedString ? " '" + t + "'" : " " + t;
        else if (table->FindKeyword(t, tableId) && tableId == id)
            out += " <" + t + ">";
        else
            out += " <" + t + "#" + std::to_string(id) + ">";
        if (parser->IsKnownToken() == plain)
            out += "?";
    }
    return out.empty() ? out : out.substr(1);
}

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
        EXPECT_EQ(Shown(text), tokens) << testing::PrintToString(text);
}

TEST(Tokenizer, LineBreaksAtTheEndOfTheDataGiveNoFurtherToken) {
    for (const std::string ending : {"\n", "\r\n", "\n\n", "\n\x14"}) {
        auto parser = MakeParser("(a)" + ending);
        EXPECT_EQ(parser->NextToken(), eTok_OpenParen);
        EXPECT_EQ(parser->NextToken(), eTok_Word);
        EXPECT_EQ(parser->NextToken(), eTok_CloseParen);
        EXPECT_FALSE(parser->EndOfFile()) << testing::PrintToString(ending);
        EXPECT_EQ(parser->NextToken(), eTok_Word);
        EXPECT_EQ(parser->TokenString(), "");
        EXPECT_TRUE(parser->EndOfFile());
        EXPECT_EQ(parser->LineNumber(), 2);
    }
}

TEST(Tokenizer, SkipCurrentBlockHonoursNestingAndQuotes) {
    auto parser = MakeParser("(structure (foo 1 (bar 'x)(') 2\n (baz)) (layer TOP))");
    parser->NextToken();
    parser->NextToken();
    EXPECT_EQ(parser->NextToken(), eTok_OpenParen);
    EXPECT_EQ(parser->NextToken(), eTok_Word);
    parser->SkipCurrentBlock();
    EXPECT_EQ(parser->NextToken(), eTok_OpenParen);
    EXPECT_EQ(parser->NextToken(), eTok_layer);
    EXPECT_EQ(parser->LineNumber(), 2);
}

TEST(Tokenizer, SkipBlockFollowsTheCharacterAfterTheLastWord) {
    // After a word followed by more text the rest of the block is skipped up to
    // its closing parenthesis.
    auto parser = MakeParser("(scope a (b c) d) next");
    parser->NextToken();
    parser->NextToken();
    parser->SkipBlock();
    EXPECT_EQ(parser->PreviousChar(), 0);
    EXPECT_EQ(parser->NextToken(), eTok_Word);
    EXPECT_EQ(parser->TokenString(), "NEXT");

    // When the word is followed by the block's own ")", nothing is skipped.
    auto closing = MakeParser("(scope abc ) next");
    closing->NextToken();
    closing->NextToken();
    closing->NextToken();
    EXPECT_EQ(closing->PreviousChar(), ')');
    closing->SkipBlock();
    EXPECT_EQ(closing->NextToken(), eTok_CloseParen);

    // Right after two opening parentheses both blocks are left; line breaks
    // on the way are counted.
    auto nested = MakeParser("(scope ((a (b)) c\n) d) next");
    for (int i = 0; i < 4; ++i) {
        nested->NextToken();
    }
    EXPECT_EQ(nested->PreviousChar(), '(');
    nested->SkipBlock();
    EXPECT_EQ(nested->NextToken(), eTok_Word);
    EXPECT_EQ(nested->TokenString(), "D");
    EXPECT_EQ(nested->LineNumber(), 2);
}

TEST(Tokenizer, EscapeAnsweredYesAbortsAndStopsSkipping) {
    TScriptedEscapeHost host(true);
    TEscapeHostScope scope(&host);
    auto parser = MakeParser("(pcb demo (structure (layer F.Cu) (layer B.Cu)))\n");
    parser->NextToken();
    EXPECT_TRUE(parser->Aborted());
    parser->NextToken();
    parser->SkipCurrentBlock();
    EXPECT_EQ(parser->TokenString(), "PCB");
    EXPECT_EQ(host.Questions.size(), 1u);
}

TEST(Parser, ExpectTokenReportsTheUnexpectedWord) {
    TRecordingSink sink;
    auto parser = MakeParser("(pcb\n  board)\n", &sink);
    EXPECT_TRUE(parser->ExpectToken(eTok_OpenParen));
    EXPECT_TRUE(parser->ExpectToken(eTok_pcb));
    EXPECT_FALSE(parser->ExpectToken(eTok_CloseParen));
    EXPECT_EQ(parser->CurrentToken(), eTok_Word);
    ASSERT_EQ(sink.Lines.size(), 1u);
    EXPECT_EQ(sink.Lines[0], "ERROR: Unexpected token <BOARD> in line 2");
    EXPECT_EQ(parser->NextToken(), eTok_CloseParen);
}

TEST(Parser, ValidDesignFileNeedsParenAndPcb) {
    EXPECT_TRUE(MakeParser("\n\n   (\n  PCB \"x\"")->IsValidDSNFile());
    EXPECT_TRUE(MakeParser("(Pcb board")->IsValidDSNFile());
    EXPECT_FALSE(MakeParser("(session board")->IsValidDSNFile());
    EXPECT_FALSE(MakeParser("pcb (")->IsValidDSNFile());
    EXPECT_FALSE(MakeParser("")->IsValidDSNFile());
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
