// Every real design of the corpus must tokenize to its end.
#include "support/Corpus.h"
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;

// True when the file's last line, after its last line break, is a lone ")"
// (blanks around it allowed) with no line break after it.
bool EndsInALoneClosingParenthesis(const std::string& text) {
    const std::size_t lastBreak = text.find_last_of("\r\n");
    if (lastBreak == std::string::npos) {
        return false;
    }
    const std::string last = text.substr(lastBreak + 1);
    const std::size_t first = last.find_first_not_of(" \t");
    return first != std::string::npos && last[first] == ')' &&
           last.find_first_not_of(" \t", first + 1) == std::string::npos;
}

using Corpus = corpus::CorpusTest;

TEST_F(Corpus, EveryDesignTokenizesToTheEnd) {
    TScriptedEscapeHost host(false);
    std::uintmax_t bytes = 0;
    int64_t tokens = 0;
    std::size_t notDesigns = 0;
    std::size_t loneParenthesisEndings = 0;
    for (const fs::path& path : files) {
        const std::string text = corpus::Text(path);
        TRecordingSink sink;
        TSpecctraParser parser(path.string());
        parser.SetEscapeKey(&host);
        parser.RegisterKeywords();
        parser.SetReportManager(&sink);
        bool sawPcb = false;
        int32_t lastToken = eTok_Word;
        while (!parser.EndOfFile() && !parser.Aborted()) {
            const int32_t id = parser.NextToken();
            if (id != eTok_Word || !parser.TokenString().empty()) {
                lastToken = id;
            }
            sawPcb = sawPcb || id == eTok_pcb;
            ++tokens;
        }
        EXPECT_FALSE(parser.Aborted()) << path;
        EXPECT_EQ(parser.Position() + 1 >= parser.Input().Size(), true) << path;
        notDesigns += sawPcb ? 0 : 1;
        // A design that ends in ")" without a line break still yields it.
        if (EndsInALoneClosingParenthesis(text)) {
            ++loneParenthesisEndings;
            EXPECT_EQ(lastToken, eTok_CloseParen) << path;
        }
        bytes += text.size();
    }
    std::printf("corpus: %zu files, %.1f MB, %lld tokens, %zu without a pcb block, %zu ending in "
                "a lone \")\"\n",
                files.size(), static_cast<double>(bytes) / 1e6, static_cast<long long>(tokens),
                notDesigns, loneParenthesisEndings);
    // A few fixtures are not Specctra text at all (binary files attached to bug
    // reports); they must still be read to the end.
    EXPECT_LT(notDesigns * 20, files.size());
}

} // namespace
