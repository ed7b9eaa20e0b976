// The shared reader of blocks of keyword sub-blocks.
#include "support/ParserTestSupport.h"

#include "specctra/BlockReader.h"
#include "specctra/SpecctraObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// An object reading a block whose "(" and keyword the test has read.
struct TBlockFixture {
    explicit TBlockFixture(const std::string& text) : Parser(MakeParser(text, &Sink)) {
        Object.Parser = Parser.get();
        Object.ReportManager = &Sink;
    }
    // (net NAME): the names in the order read.
    TSubBlock Net() { return {eTok_net, NetReader}; }
    TRecordingSink Sink;
    std::unique_ptr<TSpecctraParser> Parser;
    TSpecctraObject Object{nullptr};
    std::vector<std::string> Nets;
    std::function<bool()> NetReader = [this] {
        Nets.push_back(Parser->NextString());
        const bool closed = Parser->ExpectToken(eTok_CloseParen);
        --Object.SectionsOpen;
        return closed && Nets.back() != "BAD";
    };
};

// The lines joined by `separator`.
std::string Joined(const std::vector<std::string>& lines, const std::string& separator) {
    std::string out;
    for (const std::string& line : lines)
        out += (out.empty() ? "" : separator) + line;
    return out;
}

struct TReadCase {
    const char* Name;
    const char* Text; // the block's body and its ")", then what follows it
    TSubBlockOptions Options;
    bool Result;
    const char* Nets;   // the names read, joined by blanks
    const char* Report; // the report's lines, joined by " | "
};

class BlockReader : public ::testing::TestWithParam<TReadCase> {};

TEST_P(BlockReader, DispatchesKeywordsAndEndsAtTheBlocksParenthesis) {
    const TReadCase& c = GetParam();
    TBlockFixture block(c.Text);
    EXPECT_EQ(ReadSubBlocks(block.Object, {block.Net()}, c.Options), c.Result);
    EXPECT_EQ(Joined(block.Nets, " "), c.Nets);
    EXPECT_EQ(Joined(block.Sink.Lines, " | "), c.Report);
    if (!c.Options.StopAtFailure) {
        // The block is read through its ")" and no further.
        EXPECT_EQ(block.Object.SectionsOpen, 0);
        EXPECT_EQ(block.Parser->NextToken(), eTok_OpenParen);
        EXPECT_EQ(block.Parser->NextToken(), eTok_layer);
    }
}

const TSubBlockOptions kAll{}, kSkip{.Others = TOtherTokens::SkipKeywordBlocks},
    kStop{.StopAtFailure = true}, kAfterOpen{.KeywordsAfterOpenOnly = true};
const char* const kBadFirst = "(net BAD) (net B)) (layer x)";

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockReader,
    ::testing::Values(
        TReadCase{"Keywords", "(net A)\n(net B)) (layer x)", kAll, true, "A B", ""},
        TReadCase{
            "OtherKeywordReported", "(net A) (pin 1) (net B)) (layer x)", kAll, false, "A B",
            "ERROR: Unexpected token <PIN> in line 1 | ERROR: Unexpected token <1> in line 1"},
        TReadCase{"OtherKeywordSkipped", "(net A)\n(pin 1 (x 2)\n)\n(net B)) (layer x)", kSkip,
                  true, "A B", "WARNING: Skipped block between lines: 2-3, from keyword: PIN"},
        TReadCase{"StrayWordReportedEvenWhenSkipping", "stray (net A)) (layer x)", kSkip, false,
                  "A", "ERROR: Unexpected token <STRAY> in line 1"},
        TReadCase{"BadSubBlockFailsButReadingGoesOn", kBadFirst, kAll, false, "BAD B", ""},
        TReadCase{"FirstBadSubBlockEndsTheReading", kBadFirst, kStop, false, "BAD", ""},
        TReadCase{"KeywordOnlyRightAfterOpen", "net (net A)) (layer x)", kAfterOpen, false, "A",
                  "ERROR: Unexpected token <NET> in line 1"}),
    [](const ::testing::TestParamInfo<TReadCase>& info) { return info.param.Name; });

TEST(BlockReaderOthers, OtherTokensGoToTheirHandlerAndTheCurrentTokenCanComeFirst) {
    TBlockFixture block("first (net A) 7 8) (layer x)");
    block.Parser->NextToken(); // "first", read by the caller
    std::vector<std::string> others;
    EXPECT_TRUE(ReadSubBlocks(block.Object, {block.Net()},
                              [&](int32_t) {
                                  others.push_back(block.Parser->TokenString());
                                  return true;
                              },
                              {.FromCurrentToken = true}));
    EXPECT_EQ(others, (std::vector<std::string>{"FIRST", "7", "8"}));
    EXPECT_EQ(block.Nets, std::vector<std::string>{"A"});
    EXPECT_TRUE(block.Sink.Lines.empty());
}

TEST(BlockReaderChoice, KeywordStandsForItsValueAndOtherWordsAreReported) {
    TBlockFixture block("back middle");
    int side = -1;
    EXPECT_TRUE(ReadKeywordChoice(*block.Parser, {{eTok_front, 0}, {eTok_back, 1}}, side));
    EXPECT_EQ(side, 1);
    EXPECT_FALSE(ReadKeywordChoice(*block.Parser, {{eTok_front, 0}, {eTok_back, 1}}, side));
    EXPECT_EQ(side, 1);
    EXPECT_EQ(block.Sink.Lines,
              std::vector<std::string>{"ERROR: Unexpected token <MIDDLE> in line 1"});
}

} // namespace
