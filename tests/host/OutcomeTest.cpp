// What harrow reads off a run to tell a script: paths as printed, the counts
// of a report, the files a command wrote and the guards on files it replaces.
#include "host/Outcome.h"
#include "support/ScratchShell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace Harrow;

class OutcomeFiles : public testshell::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        previous = cwd;
        ASSERT_EQ(::chdir(folder.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(::chdir(previous.c_str()), 0);
        ScratchFolderTest::TearDown();
    }
    std::string previous;
};

TEST_F(OutcomeFiles, PathsArePrintedRelativeInsideTheWorkingFolderAndWholeOutside) {
    EXPECT_EQ(WholePath("a/./b/../c.dsn"), folder + "/a/c.dsn");
    EXPECT_EQ(ShownPath("sub dir/x.pcbdoc"), "sub dir/x.pcbdoc");
    EXPECT_EQ(ShownPath(folder + "/x.rpt"), "x.rpt");
    EXPECT_EQ(ShownPath("../elsewhere.dsn"), WholePath(folder + "/..") + "/elsewhere.dsn");
    // A sibling folder whose name starts like the working folder is outside.
    EXPECT_EQ(ShownPath(folder + "-other/x.dsn"), folder + "-other/x.dsn");
}

TEST_F(OutcomeFiles, ReportCountsAreItsErrorAndWarningLines) {
    Write("d.rpt", "QUILLON - NEW ROUTER INTERFACE\r\nDesign File : d.dsn\r\n\r\n"
                   "Total errors encountered: 2\r\n\r\n"
                   "ERROR: Unexpected token <X> in line 7\r\n"
                   "WARNING: Skipped block between lines: 12-42, from keyword: STRUCTURE\r\n"
                   "Custom color settings are not supported and not loaded.\r\n"
                   "ERROR: Library not loaded, can't export to PCB.\r\n");
    ReportCounts counts = ReportCounts::Read(folder + "/d.rpt");
    EXPECT_TRUE(counts.read);
    EXPECT_EQ(counts.errors, 2);
    EXPECT_EQ(counts.warnings, 1);
    ASSERT_EQ(counts.lines.size(), 3u);
    EXPECT_EQ(counts.lines[2], "ERROR: Library not loaded, can't export to PCB.");
    EXPECT_FALSE(ReportCounts::Read(folder + "/absent.rpt").read);
    // A report too long to list every line: its totals count.
    Write("long.rpt", "QUILLON - NEW ROUTER INTERFACE\r\n\r\n"
                      "Total errors encountered: 245758\r\n"
                      "Total warnings encountered: 2\r\n\r\n"
                      "ERROR: Unexpected token <AB> in line 2\r\n"
                      "... and 57743 more events, not listed: a report lists at most 16 MB of "
                      "events.\r\n"
                      "WARNING: Reading aborted by the user in line 10084\r\n");
    const ReportCounts longer = ReportCounts::Read(folder + "/long.rpt");
    EXPECT_EQ(longer.errors, 245758);
    EXPECT_EQ(longer.warnings, 2);
    EXPECT_EQ(longer.lines.size(), 2u);

    EXPECT_EQ(ReportLineNumber(counts.lines[0]), 7);
    EXPECT_EQ(ReportLineNumber(counts.lines[1]), 12);
    EXPECT_EQ(ReportLineNumber(counts.lines[2]), 0);
    EXPECT_EQ(ReportLineNumber("WARNING: Reading aborted by the user in line 1234; the design"),
              1234);
}

TEST_F(OutcomeFiles, AProtectedFileIsRefusedUnlessForcedAndKeepsItsMode) {
    const std::string board = Write("y.pcbdoc", "old");
    ASSERT_EQ(::chmod(board.c_str(), 0444), 0);
    EXPECT_TRUE(IsProtected(board));
    OutputGuard careful(false);
    EXPECT_THROW(careful.Add(board), HostError);

    OutputGuard forced(true);
    forced.Add(board);
    forced.Add(folder + "/new.rpt");
    EXPECT_TRUE(forced.Written().empty());
    // Replaced through a new file, as the engine saves: the mode comes back.
    ::unlink(board.c_str());
    Write("y.pcbdoc", "new");
    forced.RestoreModes();
    struct stat info {};
    ASSERT_EQ(::stat(board.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_TRUE(forced.WasWritten(board));
    EXPECT_FALSE(forced.WasWritten(folder + "/new.rpt"));

    EXPECT_THROW(careful.Add(folder + "/missing folder/x.pcbdoc"), HostError);
    EXPECT_THROW(careful.Add(folder), HostError) << "a folder is no output file";
}

TEST_F(OutcomeFiles, FolderWatchNamesWrittenFilesButNotSaveLeftovers) {
    Write("kept.txt", "same");
    Write("changed.txt", "before");
    FolderWatch watch;
    watch.Add(folder);
    watch.Add(folder + "/"); // the same folder once
    Write("changed.txt", "after, longer");
    Write("new.rte", "(routes)");
    Write("b.pcbdoc.saving-1-2", "partial");
    Write("p.PrjPcb.tmp-7", "partial");
    EXPECT_EQ(watch.Written(),
              (std::vector<std::string>{folder + "/changed.txt", folder + "/new.rte"}));
}

TEST_F(OutcomeFiles, AnOutputIsNeverAnInputOrAnotherOutput) {
    Write("d.dsn", "(pcb x)");
    ASSERT_EQ(::symlink("d.dsn", (folder + "/soft.pcbdoc").c_str()), 0);
    ASSERT_EQ(::link((folder + "/d.dsn").c_str(), (folder + "/hard.pcbdoc").c_str()), 0);
    EXPECT_TRUE(SameFile("d.dsn", folder + "/soft.pcbdoc"));
    EXPECT_TRUE(SameFile("hard.pcbdoc", "./sub/../d.dsn"));
    EXPECT_TRUE(SameFile("new.rpt", folder + "/new.rpt")) << "by path when neither exists";
    EXPECT_FALSE(SameFile("d.dsn", "new.rpt"));
    OutputGuard guard(false);
    guard.AddInput("d.dsn", "design");
    for (const char* alias : {"d.dsn", "soft.pcbdoc", "hard.pcbdoc"})
        EXPECT_THROW(guard.Add(alias), HostError) << alias;
    guard.Add("d.pcbdoc");
    EXPECT_THROW(guard.Add(folder + "/d.pcbdoc"), HostError) << "one output given twice";
    guard.Add("d.rpt");
}

TEST_F(OutcomeFiles, TheWriterReplacesALinkInsteadOfWritingThroughIt) {
    Write("target.txt", "keep");
    ASSERT_EQ(::symlink("target.txt", (folder + "/out.svg").c_str()), 0);
    WriteFileReplacing(folder + "/out.svg", "<svg/>");
    EXPECT_EQ(testshell::Read(folder + "/target.txt"), "keep");
    struct stat info {};
    ASSERT_EQ(::lstat((folder + "/out.svg").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(testshell::Read(folder + "/out.svg"), "<svg/>");
    EXPECT_THROW(WriteFileReplacing(folder + "/no folder/x.svg", "x"), HostError);
}

// A file written piece by piece replaces its target only when it is whole:
// a failure on the way (the writer dropped before Commit) leaves the old
// file and no temporary file beside it.
TEST_F(OutcomeFiles, APieceByPieceWriteReplacesTheFileOnlyWhenCommitted) {
    Write("page.html", "old page");
    const auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = entries();
    {
        ReplacingFile file(folder + "/page.html");
        file.Write("<html>");
        file.Write("half");
        EXPECT_EQ(entries().size(), before.size() + 1) << "the pieces go to a file beside it";
    }
    EXPECT_EQ(testshell::Read(folder + "/page.html"), "old page");
    EXPECT_EQ(entries(), before);
    {
        ReplacingFile file(folder + "/page.html");
        for (const char* piece : {"<html>", "", "whole", "</html>"})
            file.Write(piece);
        file.Commit();
        EXPECT_THROW(file.Write("late"), HostError);
    }
    EXPECT_EQ(testshell::Read(folder + "/page.html"), "<html>whole</html>");
    EXPECT_EQ(entries(), before);
    EXPECT_THROW(ReplacingFile(folder + "/no folder/page.html"), HostError);
}

TEST(OutcomeJson, FileNamesKeepTheirUtf8AndStrayBytesAreEscaped) {
    EXPECT_EQ(JsonString("d\xc3\xa9mo \"1\"\\x.dsn"), "\"d\xc3\xa9mo \\\"1\\\"\\\\x.dsn\"");
    EXPECT_EQ(JsonString("a\377b\r\n"), "\"a\\u00ffb\\r\\n\"");
    EXPECT_EQ(JsonString("cut \xe2\x82"), "\"cut \\u00e2\\u0082\"");
}

} // namespace
