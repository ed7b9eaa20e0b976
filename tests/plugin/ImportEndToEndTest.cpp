// Design import end to end: harrow with the real engine and plug-in, no
// terminal, in scratch folders.
#include "support/ScratchShell.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using namespace std::string_literals;
using std::filesystem::exists;
using testshell::Outcome;
using testshell::Read;

std::vector<std::string> Lines(const std::string& text, const std::string& separator) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start < text.size(); start = end + separator.size()) {
        end = std::min(text.find(separator, start), text.size());
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// A design of constants, a colour set and a net, and no library.
const std::string kSmallDesign =
    testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/plugin/data/amp.dsn");

using ImportEndToEnd = testshell::ScratchFolderTest;

TEST_F(ImportEndToEnd, ImportMakesBoardAndReportAndKeepsConstants) {
    Write("amp.dsn", kSmallDesign);
    Outcome run = Harrow("import amp.dsn");
    ASSERT_EQ(run.exitCode, 1) << run.err; // saved, with an error in the report
    ASSERT_TRUE(exists(folder + "/amp.pcbdoc"));
    const std::string report = Read(folder + "/amp.rpt");
    for (const char* line : {"Custom color settings are not supported and not loaded.",
                             "WARNING: Skipped block between lines: 10-10, from keyword: COLORS",
                             "ERROR: Library not loaded, can't export to PCB."})
        EXPECT_THAT(report, HasSubstr(line));
    // The structure is read now, not skipped; the netlist is loaded.
    for (const char* line : {"from keyword: STRUCTURE", "Netlist not loaded"})
        EXPECT_THAT(report, Not(HasSubstr(line)));

    // The constants survive saving and reopening the document.
    Outcome listing = Harrow("embedded amp.pcbdoc --file list.txt");
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    const std::string stored = Read(folder + "/list.txt");
    EXPECT_THAT(stored,
                HasSubstr("Type=CONSTANTS|CONSTCOUNT=3|C0=W\r0.25|C1=GAP\r0.2|C2=Edge Clear\r0.5"));
}

TEST_F(ImportEndToEnd, TokenDumpListsEveryTokenOnItsOwnLine) {
    Write("small.dsn", "(pcb board1\n  # a comment line\n  (unit MM)\n  (net 'Net (A)' x;y)\n)\n");
    Outcome run = Harrow("tokens small.dsn");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(Read(folder + "/small.prs"), "\r\n"),
              (std::vector<std::string>{"(", "PCB", "BOARD1", "(", "UNIT", "MM", ")", "(", "NET",
                                        "Net (A)", "X", "Y", ")", ")"}));
}

TEST_F(ImportEndToEnd, NewProjectTwiceMakesNumberedFolders) {
    Write("amp.dsn", kSmallDesign);
    ASSERT_EQ(Harrow("new-project amp.dsn").exitCode, 1);
    Outcome second = Harrow("new-project amp.dsn");
    ASSERT_EQ(second.exitCode, 1) << second.err;
    for (const std::string project : {"/Imported amp.dsn", "/Imported (1) amp.dsn"}) {
        EXPECT_TRUE(exists(folder + project + "/amp.PrjPcb")) << project;
        EXPECT_TRUE(exists(folder + project + "/amp.pcbdoc")) << project;
    }
    EXPECT_FALSE(exists(folder + "/Imported (2) amp.dsn"));
    // The new board really holds the design's translation data.
    Outcome listing = Harrow("embedded \"Imported amp.dsn/amp.pcbdoc\" --file list.txt");
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_THAT(Read(folder + "/list.txt"), HasSubstr("CONSTCOUNT=3"));
}

TEST_F(ImportEndToEnd, BadDesignsLeaveAnExistingBoardUntouched) {
    Write("good.dsn", kSmallDesign);
    ASSERT_EQ(Harrow("import good.dsn").exitCode, 1);

    // Files that are no design, or whose reading ends the command, change
    // nothing; files that read (even cut short) import what they hold.
    struct Case {
        const char* name;
        std::string text;
        int exitCode;
        bool boardChanges;
    };
    const std::vector<Case> cases = {
        {"session.dsn", "(session s1 (base_design good.dsn))\n", 3, false},
        {"noparen.dsn", "pcb x (unit mm)\n", 3, false},
        {"garbage.dsn", "\177ELF\x02\x01\x01\0\0\xff\xfe((("s, 3, false},
        {"resolution0.dsn", "(pcb x (parser (constant A 1)) (resolution mil 0))\n", 3, false},
        {"unbalanced.dsn", "(pcb x (unit mm)))))) (structure", 0, false},
        {"include.dsn", "(pcb x (file missing_part.dsn) (unit mm))\n", 0, false},
        {"truncated.dsn", "(pcb x (parser (constant A 1) (constant B", 0, true},
    };
    for (const Case& c : cases) {
        Write(c.name, c.text);
        const std::string before = Read(folder + "/good.pcbdoc");
        Outcome run = Harrow(std::string("import-into good.pcbdoc ") + c.name);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err;
        EXPECT_LE(run.ErrLines(), 2) << c.name << ": " << run.err;
        EXPECT_EQ(Read(folder + "/good.pcbdoc") != before, c.boardChanges) << c.name;
        if (std::string(c.name) == "resolution0.dsn") {
            EXPECT_THAT(run.err,
                        HasSubstr("0 is not allowed value.  Value must be positive integer"));
        }
    }
    // A translation that ends by an exception leaves no report.
    Outcome zero = Harrow("import resolution0.dsn");
    EXPECT_EQ(zero.exitCode, 2);
    EXPECT_EQ(zero.ErrLines(), 1) << zero.err;
    EXPECT_FALSE(exists(folder + "/resolution0.rpt"));
    // The missing included file is a report line, not a crash.
    Outcome include = Harrow("import include.dsn");
    EXPECT_EQ(include.exitCode, 1) << include.err;
    EXPECT_THAT(Read(folder + "/include.rpt"), HasSubstr("ERROR: Cannot open file"));
}

TEST_F(ImportEndToEnd, BatchRunWithAutorouteWritesNoReport) {
    Write("amp.dsn", kSmallDesign);
    Outcome run = Harrow("import amp.dsn --autoroute");
    ASSERT_EQ(run.exitCode, 0) << run.err; // saved; no pad placed, nothing left open
    EXPECT_TRUE(exists(folder + "/amp.pcbdoc"));
    EXPECT_FALSE(exists(folder + "/amp.rpt"));
    EXPECT_THAT(run.err, HasSubstr("PCB:Autoroute"));
    EXPECT_THAT(run.err, HasSubstr("Action=Start|BaseGrid=1"));
}

TEST_F(ImportEndToEnd, MergeImportGoesIntoTheCurrentBoard) {
    Write("first.dsn", "(pcb first (unit mil))\n");
    ASSERT_EQ(Harrow("import first.dsn").exitCode, 1);
    Write("amp.dsn", kSmallDesign);
    Outcome run = Harrow("import amp.dsn --merge first.pcbdoc");
    ASSERT_EQ(run.exitCode, 1) << run.err;
    EXPECT_FALSE(exists(folder + "/amp.pcbdoc"));
    ASSERT_EQ(Harrow("embedded first.pcbdoc --file list.txt").exitCode, 0);
    EXPECT_THAT(Read(folder + "/list.txt"), HasSubstr("CONSTCOUNT=3"));
}

TEST_F(ImportEndToEnd, MissingFilesAreAskedForAndNoEndsTheRun) {
    Outcome missing = Harrow("run --no ImportSpecctraDesignFile DsnFile=gone.dsn");
    EXPECT_EQ(missing.exitCode, 3) << missing.err;
    EXPECT_THAT(missing.err, HasSubstr("gone.dsn doesn't exist."));
    EXPECT_FALSE(exists(folder + "/gone.pcbdoc"));

    // A missing do file answered No: the run goes on without it.
    Write("amp.dsn", kSmallDesign);
    Outcome noDo = Harrow("run --no ImportSpecctraDesignFile 'DsnFile=amp.dsn|DoFileName=x.do'");
    EXPECT_EQ(noDo.exitCode, 1) << noDo.err;
    EXPECT_THAT(noDo.err, HasSubstr("Choosing NO will imply routing without do file."));
    EXPECT_TRUE(exists(folder + "/amp.pcbdoc"));
    EXPECT_TRUE(exists(folder + "/amp.rpt"));
}

} // namespace
