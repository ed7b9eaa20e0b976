#include "persistence/ReportManager.h"
#include "specctra/CommandFlags.h"
#include "specctra/SpecctraParser2.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class TRecordingViewer : public IReportViewer {
public:
    void ViewReport(const std::string& path) override { Paths.push_back(path); }
    std::vector<std::string> Paths;
};

class ReportManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Folder = fs::temp_directory_path() /
                 ("dsnlink_report_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(Folder);
        SavedEnabled = ReportEnabled;
        ReportEnabled = true;
        SetReportViewer(&Viewer);
    }
    void TearDown() override {
        SetReportViewer(nullptr);
        ReportEnabled = SavedEnabled;
        fs::remove_all(Folder);
    }

    static std::string ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static std::vector<std::string> SplitCrLf(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (;;) {
            const std::size_t at = text.find("\r\n", from);
            if (at == std::string::npos) {
                EXPECT_EQ(from, text.size()) << "text after the last line break";
                return lines;
            }
            lines.push_back(text.substr(from, at - from));
            from = at + 2;
        }
    }

    fs::path Folder;
    bool SavedEnabled = false;
    TRecordingViewer Viewer;
};

TEST_F(ReportManagerTest, CleanTranslationHasHeaderThenFourEmptyLines) {
    const fs::path design = Folder / "board.dsn";
    TReportManager report(design.string());
    report.Start();
    report.AddReportEvent("Layers: 4");
    report.Stop();
    report.OutputReportFile();

    const fs::path rpt = Folder / "board.rpt";
    ASSERT_TRUE(fs::exists(rpt));
    const auto lines = SplitCrLf(ReadAll(rpt));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "QUILLON - NEW ROUTER INTERFACE");
    EXPECT_EQ(lines[1], "Design File : board.dsn");
    EXPECT_EQ(lines[2].rfind("Date        : ", 0), 0u);
    EXPECT_GT(lines[2].size(), 14u);
    EXPECT_EQ(lines[3].rfind("Start Time  : ", 0), 0u);
    EXPECT_EQ(lines[4].rfind("End   Time  : ", 0), 0u);
    for (int i = 5; i < 9; ++i) {
        EXPECT_EQ(lines[i], "") << i;
    }
    EXPECT_EQ(lines[9], "Layers: 4");
    EXPECT_EQ(report.ReportPath(), rpt.string());
    EXPECT_EQ(Viewer.Paths, (std::vector<std::string>{rpt.string()}));
}

TEST_F(ReportManagerTest, CountsAppearOnlyWhenAboveZero) {
    TReportManager report((Folder / "errs.dsn").string());
    report.Start();
    report.ReportError("Unexpected token <FOO> in line 12");
    report.ReportError("Integer value expected <12MIL> in line 40.");
    report.AddReportEvent("note");
    report.ReportError("Floating point value expected <)> in line 41.");
    report.Stop();
    report.OutputReportFile();
    const auto lines = SplitCrLf(ReadAll(Folder / "errs.rpt"));
    const std::vector<std::string> tail(lines.begin() + 5, lines.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"", "", "Total errors encountered: 3", "", "",
                                        "ERROR: Unexpected token <FOO> in line 12",
                                        "ERROR: Integer value expected <12MIL> in line 40.", "note",
                                        "ERROR: Floating point value expected <)> in line 41."}));
    EXPECT_EQ(report.ErrorCount(), 3);
    EXPECT_EQ(report.WarningCount(), 0);
}

TEST_F(ReportManagerTest, WarningsAndErrorsBothCounted) {
    TReportManager report((Folder / "both.rte").string());
    report.ReportWarning("Unknown unit token, mils will be used");
    report.ReportError("x");
    report.ReportWarning("y");
    report.OutputReportFile();
    const auto lines = SplitCrLf(ReadAll(Folder / "both.rpt"));
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[7], "Total errors encountered: 1");
    EXPECT_EQ(lines[8], "Total warnings encountered: 2");
    EXPECT_EQ(lines.back(), "WARNING: y");
    EXPECT_EQ(lines[11], "WARNING: Unknown unit token, mils will be used");
}

TEST_F(ReportManagerTest, ExistingReportIsReplacedNotAppended) {
    const fs::path rpt = Folder / "again.rpt";
    {
        std::ofstream old(rpt, std::ios::binary);
        old << "an old report that is much longer than the new one will be ....\r\n";
        for (int i = 0; i < 100; ++i) {
            old << "old line\r\n";
        }
    }
    TReportManager report((Folder / "again.dsn").string());
    report.AddReportEvent("fresh");
    report.OutputReportFile();
    const std::string text = ReadAll(rpt);
    EXPECT_EQ(text.find("old"), std::string::npos);
    EXPECT_EQ(SplitCrLf(text).back(), "fresh");
}

TEST_F(ReportManagerTest, DisabledReportsWriteAndShowNothing) {
    ReportEnabled = false;
    TReportManager report((Folder / "quiet.dsn").string());
    report.ReportError("dropped");
    report.OutputReportFile();
    EXPECT_FALSE(fs::exists(Folder / "quiet.rpt"));
    EXPECT_TRUE(Viewer.Paths.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 0);
}

TEST_F(ReportManagerTest, ReportNameFollowsTheExtensionRule) {
    EXPECT_EQ(TReportManager::ReportNameFor("/work/boards/main.dsn"), "/work/boards/main.rpt");
    EXPECT_EQ(TReportManager::ReportNameFor("/work/v1.2/board"), "/work/v1.2/board.rpt");
    EXPECT_EQ(TReportManager::ReportNameFor("C:\\v1.2\\board"), "C:\\v1.2\\board.rpt");
    EXPECT_EQ(TReportManager::ReportNameFor("a.b.ses"), "a.b.rpt");
    EXPECT_EQ(TReportManager::ReportNameFor("board."), "board.rpt");
}

TEST_F(ReportManagerTest, MissingFolderRaisesNoReportAndLeavesNoTemporaryFile) {
    TReportManager report((Folder / "gone" / "x.dsn").string());
    report.AddReportEvent("e");
    report.OutputReportFile();
    EXPECT_FALSE(fs::exists(Folder / "gone" / "x.rpt"));
    // The temporary file was deleted when it could not be moved.
    EXPECT_FALSE(fs::exists(report.ReportPath()));
}

TEST_F(ReportManagerTest, ParserErrorsArriveAsReportLines) {
    TReportManager report((Folder / "p.dsn").string());
    TSpecctraParser parser(std::make_unique<TInputFile>("p.dsn", "(pcb x\n (width 5mil)\n)\n"));
    parser.RegisterKeywords();
    parser.SetReportManager(&report);
    parser.NextToken();
    parser.NextToken();
    parser.ExpectToken(eTok_CloseParen);
    parser.NextToken();
    parser.NextToken();
    parser.NextNum();
    EXPECT_EQ(report.Events(),
              (std::vector<std::string>{"ERROR: Unexpected token <X> in line 1",
                                        "ERROR: Integer value expected <5MIL> in line 2."}));
    EXPECT_EQ(report.ErrorCount(), 2);
}

} // namespace
