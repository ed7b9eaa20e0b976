// harrow drc on the smallest routed designs of the routing benchmark: every
// net with pins in the design's network is a net with pads on the board (a
// scanner of the tests counts them in the design text), and the routed
// design leaves no more open connections than its unrouted twin.
#include "support/ScratchShell.h"
#include "support/Sexpr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Nets of the network section with at least one pin.
int NetsWithPins(const std::string& text) {
    int count = 0;
    for (const sexpr::Node& top : sexpr::ReadAll(text).Items)
        if (const sexpr::Node* network = top.First("network"))
            for (const sexpr::Node* net : network->All("net")) {
                const sexpr::Node* pins = net->First("pins");
                count += pins && pins->Items.size() > 1;
            }
    return count;
}

long Field(const std::string& json, const std::string& name) {
    const std::regex field("\"" + name + "\":(-?[0-9]+)");
    std::smatch m;
    return std::regex_search(json, m, field) ? std::stol(m[1]) : -1;
}

class DrcCorpusTest : public testshell::ScratchFolderTest {};

TEST_F(DrcCorpusTest, RoutedBenchmarkDesigns) {
    const fs::path bench = fs::path(DSNLINK_CORPUS_DIR) / "pcbench";
    if (!fs::is_directory(bench))
        GTEST_SKIP() << "corpus folder " << bench << " is absent";
    std::vector<std::pair<uintmax_t, fs::path>> designs;
    for (const auto& entry : fs::directory_iterator(bench))
        if (fs::is_regular_file(entry.path() / "reference-routed.dsn") &&
            fs::is_regular_file(entry.path() / "unrouted.dsn"))
            designs.emplace_back(fs::file_size(entry.path() / "reference-routed.dsn"),
                                 entry.path());
    std::sort(designs.begin(), designs.end());
    designs.resize(std::min<size_t>(designs.size(), 10));
    ASSERT_FALSE(designs.empty());
    for (const auto& [size, folder] : designs) {
        SCOPED_TRACE(folder.filename().string());
        long opens[2] = {};
        for (int routed = 0; routed < 2; ++routed) {
            const fs::path dsn = folder / (routed ? "reference-routed.dsn" : "unrouted.dsn");
            const std::string board = std::string(routed ? "routed" : "unrouted") + ".pcbdoc";
            ASSERT_EQ(
                Harrow("import -q -o " + board + " " + testshell::Quote(dsn.string())).exitCode, 0);
            const testshell::Outcome drc = Harrow("drc --json " + board);
            const long open = Field(drc.out, "opens"), violations = Field(drc.out, "violations");
            ASSERT_GE(open, 0) << drc.out << drc.err;
            EXPECT_EQ(drc.exitCode, open + violations > 0 ? 1 : 0);
            opens[routed] = open;
            EXPECT_EQ(Field(drc.out, "nets_with_pads"),
                      NetsWithPins(testshell::Read(dsn.string())));
        }
        EXPECT_LE(opens[1], opens[0]);
    }
}

TEST_F(DrcCorpusTest, PadsOfAFourLayerDesignHaveNoCopperWhereTheirPadstackHasNoShape) {
    // Its through pads have shapes on the first two layers only; the third
    // layer is routed across them.
    const fs::path dsn = fs::path(DSNLINK_CORPUS_DIR) / "fixtures" /
                         "Issue721-Autorouter_CE2632_HarryMu_2026-6-15.dsn";
    if (!fs::is_regular_file(dsn))
        GTEST_SKIP() << "corpus design " << dsn << " is absent";
    // The report holds errors of its own (exit 1); the board is written.
    ASSERT_LE(Harrow("import -q -o board.pcbdoc " + testshell::Quote(dsn.string())).exitCode, 1);
    const testshell::Outcome drc = Harrow("drc --json board.pcbdoc");
    EXPECT_EQ(Field(drc.out, "short"), 0) << drc.out.substr(0, 2000);
    EXPECT_EQ(Field(drc.out, "clearance"), 0) << drc.out.substr(0, 2000);
}

} // namespace
