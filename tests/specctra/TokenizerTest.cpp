#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(Tokenizer, OpeningOfADesignGivesParenKeywordAndUpperCasedName) {
    const auto tokens = AllTokens("(pcb board1\n");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0], (TTok{eTok_OpenParen, "(", 1}));
    EXPECT_EQ(tokens[1], (TTok{eTok_pcb, "PCB", 1}));
    EXPECT_EQ(tokens[2], (TTok{eTok_Word, "BOARD1", 1}));
}

TEST(Tokenizer, ParenthesesSplitWordsAndAreKnownTokens) {
    auto parser = MakeParser("(net GND(pins U1-1 R2-2))");
    std::vector<std::string> texts;
    std::vector<bool> known;
    while (!parser->EndOfFile()) {
        parser->NextToken();
        texts.push_back(parser->TokenString());
        known.push_back(parser->IsKnownToken());
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"(", "NET", "GND", "(", "PINS", "U1-1", "R2-2", ")", ")"}));
    EXPECT_EQ(known, (std::vector<bool>{true, true, false, true, true, false, false, true, true}));
}

TEST(Tokenizer, QuotedNameKeepsCaseAndBlanks) {
    const auto tokens = AllTokens("(net 'Net-(U1-Pad3) clk in' (pins U1-3))\n");
    ASSERT_GE(tokens.size(), 3u);
    EXPECT_EQ(tokens[2], (TTok{eTok_QuotedString, "Net-(U1-Pad3) clk in", 1}));
    EXPECT_EQ(tokens[3].Id, eTok_OpenParen);
}

TEST(Tokenizer, StringQuoteChangesTheQuoteCharacter) {
    const auto tokens = AllTokens("(parser\n  (string_quote \")\n  (host_cad \"KiCad's Pcbnew\")\n"
                                  "  (net a'b)\n)\n");
    std::vector<TTok> expected = {
        {eTok_OpenParen, "(", 1},
        {eTok_parser, "PARSER", 1},
        {eTok_OpenParen, "(", 2},
        {eTok_string_quote, "STRING_QUOTE", 2},
        {eTok_DR, "\"", 2},
        {eTok_CloseParen, ")", 2},
        {eTok_OpenParen, "(", 3},
        {eTok_host_cad, "HOST_CAD", 3},
        {eTok_QuotedString, "KiCad's Pcbnew", 3},
        {eTok_CloseParen, ")", 3},
        {eTok_OpenParen, "(", 4},
        {eTok_net, "NET", 4},
        {eTok_Word, "A", 4},
        {eTok_Word, "B", 4},
        {eTok_CloseParen, ")", 4},
        {eTok_CloseParen, ")", 5},
    };
    EXPECT_EQ(tokens, expected);
}

TEST(Tokenizer, CommentLinesAreSkippedButHashInsideAWordIsKept) {
    const auto tokens =
        AllTokens("# written by hand\n(pcb x\n    # an indented remark (with parens)\n"
                  "  (a#b c #d)\n)\n");
    std::vector<std::string> texts;
    for (const auto& t : tokens) {
        texts.push_back(t.Text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"(", "PCB", "X", "(", "A#B", "C", "#D", ")", ")"}));
    EXPECT_EQ(tokens[4].Line, 4);
}

TEST(Tokenizer, SemicolonAndApostropheMakeEmptyWords) {
    // A ";", or an apostrophe once it no longer quotes, where a token starts is
    // an empty word.
    const auto tokens = AllTokens("(string_quote \")\na ' b ;c\n");
    std::vector<TTok> expected = {
        {eTok_OpenParen, "(", 1}, {eTok_string_quote, "STRING_QUOTE", 1},
        {eTok_DR, "\"", 1},       {eTok_CloseParen, ")", 1},
        {eTok_Word, "A", 2},      {eTok_Word, "", 2},
        {eTok_Word, "B", 2},      {eTok_Word, "", 2},
        {eTok_Word, "C", 2},
    };
    EXPECT_EQ(tokens, expected);
    // A delimiter that ends a word is consumed with it.
    const auto joined = AllTokens("a;b\n");
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[1], (TTok{eTok_Word, "B", 1}));
}

TEST(Tokenizer, WordEndingAtTheLastByteBeforeAParenthesisEndsTheData) {
    // The ")" that stops a word is the last byte: the data has ended and the
    // parenthesis is not read again.
    const auto tokens = AllTokens("(net a)");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[2].Text, "A");
}

TEST(Tokenizer, LastWordWithoutLineBreakIsComplete) {
    const auto tokens = AllTokens("(place U1 1000 -2500.5 front 90");
    ASSERT_EQ(tokens.size(), 7u);
    EXPECT_EQ(tokens.back().Text, "90");
}

TEST(Tokenizer, LoneClosingParenthesisOnTheLastLineWithoutLineBreakIsRead) {
    // Many writers end the design with ")" and no line break after it: the step
    // to the new line must leave that last byte to be read.
    for (const std::string ending : {"\n)", "\r\n)", "\n\n\r\n)", "\n\x14)", "\n  )"}) {
        const auto tokens = AllTokens("(pcb board1" + ending);
        const std::vector<TTok> expected = {
            {eTok_OpenParen, "(", 1},
            {eTok_pcb, "PCB", 1},
            {eTok_Word, "BOARD1", 1},
            {eTok_CloseParen, ")", 2},
        };
        EXPECT_EQ(tokens, expected) << testing::PrintToString(ending);
    }
    // A comment on the last line ends the data with its last character.
    for (const std::string ending : {"\n#", "\n# (x)", "\n  # )"}) {
        const auto tokens = AllTokens("(pcb board1" + ending);
        EXPECT_EQ(tokens.size(), 3u) << testing::PrintToString(ending);
    }
    // A last line that is a word is read whole, as any other word.
    const auto word = AllTokens("(a\nb");
    ASSERT_EQ(word.size(), 3u);
    EXPECT_EQ(word[2], (TTok{eTok_Word, "B", 2}));
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

TEST(Tokenizer, RunsOfLineBreaksCountAsOneLine) {
    std::vector<int32_t> lines;
    for (const auto& token : AllTokens("(a\n\n\n  b\r\n\r\n c\n d)\n")) {
        lines.push_back(token.Line);
    }
    EXPECT_EQ(lines, (std::vector<int32_t>{1, 1, 2, 3, 4, 4}));
}

TEST(Tokenizer, Character20IsSkippedOnlyRightAfterALineBreak) {
    // Some writers pad the start of a line with the character 20; it is dropped
    // with the line break. After a blank, or inside a line, it is an ordinary
    // character of the word.
    const auto tokens = AllTokens("(a\n\x14\x14"
                                  "b\r\n\x14\n\x14"
                                  "c \x14"
                                  "d\n \x14"
                                  "e)\n");
    const std::vector<TTok> expected = {
        {eTok_OpenParen, "(", 1},
        {eTok_Word, "A", 1},
        {eTok_Word, "B", 2},
        {eTok_Word, "C", 3},
        {eTok_Word,
         "\x14"
         "D",
         3},
        {eTok_Word,
         "\x14"
         "E",
         4},
        {eTok_CloseParen, ")", 4},
    };
    EXPECT_EQ(tokens, expected);
}

TEST(Tokenizer, TabInsideAWordBelongsToItAndLeadingTabsAreBlank) {
    const auto tokens = AllTokens("\t(pin\tRect 1\ta)\n");
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[1].Text, "PIN\tRECT");
    EXPECT_EQ(tokens[2].Text, "1\tA");
}

TEST(Tokenizer, UnitSeparatorInANameBecomesTheSpaceMarker) {
    const auto tokens = AllTokens("(net Vcc\x1f"
                                  "3v3)\n");
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[2].Text, "VCC~SP~3V3");
    // A quoted name keeps the character as it is.
    const auto quoted = AllTokens("(net 'Vcc\x1f"
                                  "3v3')\n");
    ASSERT_EQ(quoted.size(), 4u);
    EXPECT_EQ(quoted[2], (TTok{eTok_QuotedString,
                               "Vcc\x1f"
                               "3v3",
                               1}));
}

TEST(Tokenizer, EscapePairsInQuotedStrings) {
    struct TCase {
        std::string Input;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"'it\\'s' next", "it's"},
        {"'C:\\\\boards\\\\main' next", "C:\\boards\\main"},
        {"'a\\nb\\Rc\\fd\\te' next", std::string("a\nb\rc\fd\x0b"
                                                 "e")},
        {"'a\\qb' next", "ab"},
        {"'C:\\dir\\' next", "C:ir\\"},
    };
    for (const auto& c : cases) {
        auto parser = MakeParser(c.Input);
        EXPECT_EQ(parser->NextToken(), eTok_QuotedString) << c.Input;
        EXPECT_EQ(parser->TokenString(), c.Expected) << c.Input;
        EXPECT_EQ(parser->NextToken(), eTok_Word) << c.Input;
        EXPECT_EQ(parser->TokenString(), "NEXT") << c.Input;
    }
}

TEST(Tokenizer, QuotedStringOverLinesKeepsLineBreaksAndLineNumber) {
    auto parser = MakeParser("(comment 'first\nsecond') x\n");
    parser->NextToken();
    parser->NextToken();
    EXPECT_EQ(parser->NextToken(), eTok_QuotedString);
    EXPECT_EQ(parser->TokenString(), "first\nsecond");
    EXPECT_EQ(parser->LineNumber(), 1);
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

TEST(Tokenizer, EscapeAnsweredNoGoesOnReading) {
    TScriptedEscapeHost host(false);
    std::string text = "(pcb demo\n";
    for (int i = 0; i < 5000; ++i) {
        text += "  (net N" + std::to_string(i) + " (pins U1-1 U2-2))\n";
    }
    text += ")\n";
    auto parser = MakeParser(text);
    parser->SetEscapeKey(&host);
    int tokens = 0;
    while (!parser->EndOfFile() && !parser->Aborted()) {
        parser->NextToken();
        ++tokens;
    }
    EXPECT_FALSE(parser->Aborted());
    EXPECT_GT(tokens, 5000 * 8);
    ASSERT_FALSE(host.Questions.empty());
    EXPECT_EQ(host.Questions.front(), "Confirm Abort");
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
