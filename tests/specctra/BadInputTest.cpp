// Input that a broken or hostile file could hold: the reader must get to the
// end in linear time without a crash.
#include "support/ParserTestSupport.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(BadInput, MissingFileOrAFolderRaisesAnErrorNamingIt) {
    for (const std::string& path : {std::string("/nonexistent-folder/no-such-design.dsn"),
                                    fs::temp_directory_path().string()}) {
        try {
            TSpecctraParser parser(path);
            ADD_FAILURE() << path << " was opened";
        } catch (const EInputFileError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

TEST(BadInput, RealFileIsLoadedWhole) {
    const testfs::TempFolder scratch;
    const fs::path path =
        scratch.Write("a.dsn", "(pcb \"a.dsn\"\r\n  (parser (host_cad x))\r\n)\r\n");
    TSpecctraParser parser(path.string());
    parser.RegisterKeywords();
    EXPECT_EQ(parser.Input().Size(), fs::file_size(path));
    EXPECT_TRUE(parser.IsValidDSNFile());
}

TEST(BadInput, LoneQuoteRunsToTheEnd) {
    std::string text = "(pcb 'unterminated name";
    text.append(10'000'000, 'x');
    text += "\n(more stuff))\n";
    const auto start = std::chrono::steady_clock::now();
    auto parser = MakeParser(text);
    EXPECT_EQ(parser->NextToken(), eTok_OpenParen);
    EXPECT_EQ(parser->NextToken(), eTok_pcb);
    EXPECT_EQ(parser->NextToken(), eTok_QuotedString);
    EXPECT_TRUE(parser->EndOfFile());
    EXPECT_GT(parser->TokenString().size(), 10'000'000u);
    EXPECT_LT(SecondsSince(start), 10.0);
}

TEST(BadInput, MillionNestedParenthesesAreSkippedWithoutRecursion) {
    const std::size_t depth = 1'000'000;
    std::string text = "(pcb x ";
    text.append(depth, '(');
    text.append(depth, ')');
    text += ")\n(tail)";
    auto parser = MakeParser(text);
    parser->NextToken();
    parser->NextToken();
    parser->SkipCurrentBlock();
    EXPECT_EQ(parser->NextToken(), eTok_OpenParen);
    EXPECT_EQ(parser->NextToken(), eTok_Word);
    EXPECT_EQ(parser->TokenString(), "TAIL");
}

TEST(BadInput, HundredMegabyteWordIsOneToken) {
    std::string text = "(pcb ";
    text.append(100'000'000, 'w');
    text += ")\n";
    const auto start = std::chrono::steady_clock::now();
    auto parser = MakeParser(std::move(text));
    parser->NextToken();
    parser->NextToken();
    EXPECT_EQ(parser->NextToken(), eTok_Word);
    EXPECT_EQ(parser->TokenString().size(), 100'000'000u);
    EXPECT_EQ(parser->TokenString()[0], 'W');
    EXPECT_EQ(parser->NextToken(), eTok_CloseParen);
    EXPECT_LT(SecondsSince(start), 20.0);
}

TEST(BadInput, LongRunsOfBlanksAreReadInLinearTime) {
    // Blanks before a word, before a line break and before a comment: each run
    // must be crossed once, not once per blank.
    std::string text = "(a";
    text.append(20'000'000, ' ');
    text += "b";
    text.append(20'000'000, ' ');
    text += "\n";
    text.append(20'000'000, ' ');
    text += "# comment\nc)\n";
    const auto start = std::chrono::steady_clock::now();
    const auto tokens = AllTokens(text);
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_EQ(tokens[2], (TTok{eTok_Word, "B", 1}));
    EXPECT_EQ(tokens[3], (TTok{eTok_Word, "C", 3}));
    EXPECT_LT(SecondsSince(start), 10.0);
}

TEST(BadInput, BinaryGarbageReadsToTheEnd) {
    std::string text;
    uint32_t state = 12345;
    for (int i = 0; i < 2'000'000; ++i) {
        state = state * 1664525u + 1013904223u;
        text += static_cast<char>(state >> 24);
    }
    TRecordingSink sink;
    auto parser = MakeParser(text, &sink);
    int64_t tokens = 0;
    while (!parser->EndOfFile()) {
        if (tokens % 7 == 3) {
            parser->NextReal();
        } else {
            parser->NextToken();
        }
        ++tokens;
    }
    EXPECT_GT(tokens, 1000);
}

} // namespace
