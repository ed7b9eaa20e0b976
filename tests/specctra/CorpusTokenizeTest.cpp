// Every real design of the corpus must tokenize to its end.
#include "ParserTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(Corpus, EveryDesignTokenizesToTheEnd) {
    const fs::path corpus = DSNLINK_CORPUS_DIR;
    if (!fs::is_directory(corpus)) {
        GTEST_SKIP() << "corpus folder " << corpus << " is absent";
    }
    TScriptedEscapeHost host(false);
    TEscapeHostScope scope(&host);
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
    int64_t tokens = 0;
    std::size_t notDesigns = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".dsn") {
            continue;
        }
        TRecordingSink sink;
        TSpecctraParser parser(entry.path().string());
        parser.RegisterKeywords();
        parser.SetReportManager(&sink);
        int32_t depth = 0;
        bool sawPcb = false;
        while (!parser.EndOfFile() && !parser.Aborted()) {
            const int32_t id = parser.NextToken();
            depth += id == eTok_OpenParen ? 1 : id == eTok_CloseParen ? -1 : 0;
            sawPcb = sawPcb || id == eTok_pcb;
            ++tokens;
        }
        EXPECT_FALSE(parser.Aborted()) << entry.path();
        EXPECT_EQ(parser.Position() + 1 >= parser.Input().Size(), true) << entry.path();
        notDesigns += sawPcb ? 0 : 1;
        ++files;
        bytes += entry.file_size();
    }
    std::printf("corpus: %zu files, %.1f MB, %lld tokens, %zu without a pcb block\n", files,
                static_cast<double>(bytes) / 1e6, static_cast<long long>(tokens), notDesigns);
    EXPECT_GT(files, 0u);
    // A few fixtures are not Specctra text at all (binary files attached to bug
    // reports); they must still be read to the end.
    EXPECT_LT(notDesigns * 20, files);
}

} // namespace
