// Input that a broken or hostile file could hold: the reader must get to the
// end in linear time without a crash.
#include "ReadScript.h"
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>

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

// Long runs are read in linear time and nesting without recursion: a lone
// quote runs to the end; a million nested parentheses are skipped; blanks
// before a word, a line break and a comment are each crossed once, not once
// per blank.
TEST(BadInput, LongRunsAreReadInLinearTime) {
    const std::string x(10'000'000, 'x'), blanks(20'000'000, ' ');
    const std::string nested = std::string(1'000'000, '(') + std::string(1'000'000, ')');
    const std::vector<std::array<std::string, 3>> cases = {
        {"(pcb 'unterminated name" + x + "\n(more stuff))\n", "ttt.",
         "( <PCB> 'unterminated name" + x + "\n(more stuff))' eof"},
        {"(pcb x " + nested + ")\n(tail)", "ttstt", "( <PCB> @2 ( TAIL"},
        {"(a" + blanks + "b" + blanks + "\n" + blanks + "# comment\nc)\n", "T", "( A B @3 C )"}};
    for (const auto& [text, script, shown] : cases) {
        const auto start = std::chrono::steady_clock::now();
        const std::string read = Read(text, script);
        EXPECT_LT(SecondsSince(start), 10.0) << script;
        EXPECT_EQ(read.size(), shown.size()) << script;
        const auto at = std::mismatch(read.begin(), read.end(), shown.begin()).first;
        EXPECT_TRUE(read == shown) << script << ": " << read.substr(at - read.begin(), 40);
    }
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
    for (; !parser->EndOfFile(); ++tokens)
        if (tokens % 7 == 3)
            parser->NextReal();
        else
            parser->NextToken();
    EXPECT_GT(tokens, 1000);
}

} // namespace
