// harrow end to end, with no terminal, in scratch folders, with the engine and
// plug-in next to it: answers from the command line, messages on stderr, exit
// codes and bad input that changes no document.
#include "sdk/CorvaneEngine.h"
#include "sdk/PcbApi.h"
#include "support/ScratchShell.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Text holding every one of `parts`.
template <typename... Parts> auto HasAll(const Parts&... parts) {
    return ::testing::AllOf(HasSubstr(parts)...);
}

using testshell::Outcome;
using testshell::Quote;
using testshell::Read;

class HarrowShell : public testshell::ScratchFolderTest {
protected:
    // A saved board document holding two tracks and nothing else.
    std::string Board(const std::string& name) {
        const std::string path = folder + "/" + name;
        char error[256] = {};
        CorvaneBoard board = Corvane_NewBoard(path.c_str(), error, sizeof error);
        EXPECT_NE(board, 0) << error;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(PcbApi_AddObjectToContainer(board, PcbApi_CreateObject(4)), 0);
        EXPECT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
        Corvane_CloseBoard(board);
        return path;
    }
    // harrow's outcome of `arguments`, which must end with `exitCode`; a
    // failure names the caller's line.
    Outcome Exits(int exitCode, const std::string& arguments, int line = __builtin_LINE()) {
        Outcome run = Harrow(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << "line " << line << ": " << arguments << "\n"
                                          << run.err;
        return run;
    }
};

TEST_F(HarrowShell, HelpNamesEveryVerbAndWhatItTranslates) {
    const Outcome run = Exits(0, "--help");
    EXPECT_THAT(run.out, HasAll("What this build translates",
                                "write the route file (.rte) and the session file (.ses)"));
    for (const std::string verb : {"run", "import", "export", "new-project", "tokens", "embedded",
                                   "show", "check", "import-into", "commands"}) {
        if (verb != "commands") {
            EXPECT_THAT(run.out, HasSubstr("  " + verb + " ")) << verb;
        }
        EXPECT_THAT(Exits(0, verb + " --help").out, HasSubstr("harrow " + verb)) << verb;
    }
}

TEST_F(HarrowShell, BadInputGivesOneLineAndExitTwoAndChangesNoDocument) {
    std::string board = Board("keep.pcbdoc");
    const std::string before = Read(board);
    const auto expectRefused = [&](const std::string& arguments) {
        const Outcome run = Exits(2, arguments);
        EXPECT_EQ(run.ErrLines(), 1) << arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("harrow: ", 0), 0u) << arguments;
    };
    for (const char* arguments :
         {"run NoSuchCommand", "run", "run --board", "frobnicate", "frobnicate --help",
          "run --dialog", "import", "run --bogus ExportData",
          "run ExportData 'RteFile=a|SesFile=b' extra"})
        expectRefused(arguments);
    for (const char* parameters : {"'RteFile=a||SesFile=b'", "'|RteFile=a'", "'RteFile=a|'", "'=a'",
                                   "'RteFile=a=b'", "RteFile"})
        expectRefused("run --board " + Quote(board) + " ExportData " + parameters);
    EXPECT_EQ(Read(board), before);
}

TEST_F(HarrowShell, MissingPluginOrEngineIsAHostError) {
    for (auto [option, named] :
         {std::pair{"--plugin ", "plug-in"}, std::pair{"--engine ", "engine"}}) {
        const Outcome run = Exits(2, option + Quote(folder + "/libnothing.so") + " commands");
        EXPECT_EQ(run.ErrLines(), 1) << option;
        EXPECT_THAT(run.err, HasSubstr(named));
    }
}

TEST_F(HarrowShell, CheckAnswersWhetherAFileIsADesign) {
    // The quick test answers what import reads, whatever the extension.
    for (const std::string& design :
         {Write("a b.DSN", "\n\n  (PCB x\n)"), Write("p.txt", "(pcb x)")})
        EXPECT_EQ(Exits(0, "check " + Quote(design)).out, "valid\n") << design;
    EXPECT_THAT(Harrow("check --json absent.dsn").out, HasSubstr("\"status\":\"not found\""));
    // new-project takes only what check calls a design.
    Write("s.dsn", "(session s)");
    for (const std::string verb : {"check ", "new-project "}) {
        EXPECT_EQ(Exits(3, verb + "s.dsn").out, "not a design\n") << verb;
        EXPECT_EQ(Exits(3, verb + "absent.dsn").out, "not found\n") << verb;
    }
    EXPECT_EQ(Run("/bin/sh", "-c 'ls -d Imported* 2>/dev/null'").out, "");
}

TEST_F(HarrowShell, WithoutTerminalDialogsCancelAndEveryDialogIsPrinted) {
    EXPECT_THAT(Exits(3, "run DebugParseDSN").err,
                HasAll("dialog: Import Specctra Design File", "answer: Cancel"));
}

TEST_F(HarrowShell, QueuedAnswersAreUsedInOrder) {
    std::string missing = folder + "/gone.dsn";
    const Outcome run =
        Exits(3, "run --yes --dialog-answer 'Result=true|Path=x' ImportSpecctraDesignFile " +
                     Quote("DsnFile=" + missing));
    EXPECT_THAT(run.err,
                HasAll("question: Specctra design file\n" + missing + " doesn't exist.",
                       "answer: Yes", "dialog: Import Specctra Design File [" + missing + "]"));
    EXPECT_THAT(run.err, Not(HasSubstr("PCB server"))) << "lower-case true cancels";
}

TEST_F(HarrowShell, BoardCommandsProposeNamesFromTheCurrentBoard) {
    std::string board = Board("My Board.pcbdoc");
    EXPECT_THAT(Exits(3, "run --board " + Quote(board) + " --cancel ExportSpecctraDesignFile").err,
                HasSubstr("[" + folder + "/My_Board.dsn]"));
    EXPECT_THAT(
        Exits(3, "run --no-pcb-server --board " + Quote(board) + " ExportSpecctraRouteFile").err,
        HasSubstr("message: This Specctra Interface Server requires the PCB\nserver"));
}

TEST_F(HarrowShell, ReturnToHostWithQuitAsksTheHostToQuitAndSavesNothing) {
    std::string board = Board("b.pcbdoc");
    const std::string before = Read(board);
    EXPECT_THAT(Exits(0, "run --board " + Quote(board) + " ReturnToHostPCB 'Quit=true'").err,
                ::testing::AllOf(HasSubstr("quit requested"), Not(HasSubstr("saved"))));
    EXPECT_EQ(Read(board), before);
    // Without Quit the board document is closed; the route file is named
    // after the board.
    const Outcome close =
        Exits(0, "run --board " + Quote(board) + " ReturnToHostPCB 'RteFile=renamedsn'");
    EXPECT_EQ(Read(folder + "/b.rte").rfind("(routes \r\n", 0), 0u) << close.err;
    EXPECT_THAT(close.err, Not(::testing::AnyOf(HasSubstr("quit requested"), HasSubstr("saved"))));
    EXPECT_EQ(Read(board), before);
}

TEST_F(HarrowShell, ImportIntoReportsTheImportersAnswer) {
    std::string board = Board("t.pcbdoc");
    EXPECT_THAT(
        Exits(3, "import-into " + Quote(board) + " " + Quote(Write("d.rte", "(pcb x)"))).err,
        HasSubstr("d.rte: nothing translated"));
    // The exported import function runs without a report, as its help says.
    Exits(0, "import-into " + Quote(board) + " " + Quote(Write("d.dsn", "(pcb x (unit mm))\n")));
    EXPECT_EQ(Read(folder + "/d.rpt"), "");
    EXPECT_THAT(Harrow("import-into --help").out, HasSubstr("Writes no\nreport."));
    // show summarises the board, zero counts too.
    EXPECT_THAT(Exits(0, "show " + Quote(board)).out,
                HasAll("board: t.pcbdoc\n", "tracks: 2\n", "vias: 0\n"));
}

TEST_F(HarrowShell, BatchRunNamesItsRouteAndSessionFilesAfterTheDesign) {
    Write("amp.dsn", "(pcb amp (unit mm))\n");
    // Exit 0: nothing placed, nothing left open.
    const Outcome run = Exits(0, "import amp.dsn --autoroute --rte RenameDSN --ses renamedsn");
    EXPECT_EQ(Read(folder + "/amp.rte").rfind("(routes \r\n", 0), 0u) << run.err;
    EXPECT_EQ(Read(folder + "/amp.ses").rfind("(session " + folder + "/amp.ses\r\n", 0), 0u)
        << run.err;
    // A design without a library stores no padstacks: each export says so,
    // after the routing.
    EXPECT_LT(run.err.find("PCB:Autoroute"), run.err.find("message: You can export routes only"))
        << run.err;
    EXPECT_FALSE(std::ifstream(folder + "/amp.rpt").good()) << "the batch run writes no report";
}

} // namespace
