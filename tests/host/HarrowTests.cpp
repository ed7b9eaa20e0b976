// harrow end to end, with no terminal, in scratch folders, with the engine and
// plug-in next to it: answers from the command line, messages on stderr, exit
// codes and bad input that changes no document.
#include "sdk/CorvaneEngine.h"
#include "sdk/PcbApi.h"
#include "support/ScratchShell.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

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
};

TEST_F(HarrowShell, HelpNamesEveryVerbAndWhatItTranslates) {
    Outcome run = Harrow("--help");
    EXPECT_EQ(run.exitCode, 0);
    for (const char* verb : {"run", "import", "export", "new-project", "tokens", "embedded", "show",
                             "check", "import-into"})
        EXPECT_THAT(run.out, HasSubstr(std::string("  ") + verb + " ")) << verb;
    EXPECT_THAT(run.out, HasSubstr("What this build translates"));
    EXPECT_THAT(run.out, HasSubstr("write the route file (.rte) and the session file (.ses)"));
    for (const char* verb : {"import", "export", "new-project", "tokens", "embedded", "show",
                             "check", "import-into", "run", "commands"}) {
        Outcome verbHelp = Harrow(std::string(verb) + " --help");
        EXPECT_EQ(verbHelp.exitCode, 0) << verb;
        EXPECT_THAT(verbHelp.out, HasSubstr(std::string("harrow ") + verb)) << verb;
    }
}

TEST_F(HarrowShell, BadInputGivesOneLineAndExitTwoAndChangesNoDocument) {
    std::string board = Board("keep.pcbdoc");
    const std::string before = Read(board);
    const std::string b = " --board " + Quote(board);
    const char* cases[] = {
        "run NoSuchCommand",
        "run",
        "run --board",
        "frobnicate",
        "frobnicate --help",
        "run --dialog",
        "import",
        "run --bogus ExportData",
        "run ExportData 'RteFile=a|SesFile=b' extra",
    };
    for (const char* arguments : cases) {
        Outcome run = Harrow(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_EQ(run.ErrLines(), 1) << arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("harrow: ", 0), 0u) << arguments;
    }
    for (const char* parameters : {"'RteFile=a||SesFile=b'", "'|RteFile=a'", "'RteFile=a|'", "'=a'",
                                   "'RteFile=a=b'", "RteFile"}) {
        Outcome run = Harrow("run" + b + " ExportData " + parameters);
        EXPECT_EQ(run.exitCode, 2) << parameters;
        EXPECT_EQ(run.ErrLines(), 1) << parameters << ": " << run.err;
    }
    EXPECT_EQ(Read(board), before);
}

TEST_F(HarrowShell, MissingPluginOrEngineIsAHostError) {
    for (auto [option, named] :
         {std::pair{"--plugin ", "plug-in"}, std::pair{"--engine ", "engine"}}) {
        Outcome run = Harrow(option + Quote(folder + "/libnothing.so") + " commands");
        EXPECT_EQ(run.exitCode, 2) << option;
        EXPECT_EQ(run.ErrLines(), 1) << option;
        EXPECT_THAT(run.err, HasSubstr(named));
    }
}

TEST_F(HarrowShell, CheckAnswersWhetherAFileIsADesign) {
    Outcome valid = Harrow("check " + Quote(Write("a b.DSN", "\n\n  (PCB x\n)")));
    EXPECT_EQ(valid.exitCode, 0) << valid.err;
    EXPECT_EQ(valid.out, "valid\n");
    // The quick test answers what import reads, whatever the extension.
    Outcome otherExtension = Harrow("check " + Quote(Write("p.txt", "(pcb x)")));
    EXPECT_EQ(otherExtension.exitCode, 0) << otherExtension.err;
    EXPECT_EQ(otherExtension.out, "valid\n");
    Outcome json = Harrow("check --json absent.dsn");
    EXPECT_THAT(json.out, HasSubstr("\"status\":\"not found\""));
    // new-project takes only what check calls a design.
    Write("s.dsn", "(session s)");
    for (const std::string verb : {"check ", "new-project "}) {
        Outcome session = Harrow(verb + "s.dsn");
        EXPECT_EQ(session.exitCode, 3) << verb << session.err;
        EXPECT_EQ(session.out, "not a design\n") << verb;
        Outcome missing = Harrow(verb + "absent.dsn");
        EXPECT_EQ(missing.exitCode, 3) << verb;
        EXPECT_EQ(missing.out, "not found\n") << verb;
    }
    EXPECT_EQ(Run("/bin/sh", "-c 'ls -d Imported* 2>/dev/null'").out, "");
}

TEST_F(HarrowShell, WithoutTerminalDialogsCancelAndEveryDialogIsPrinted) {
    Outcome run = Harrow("run DebugParseDSN");
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_THAT(run.err, HasSubstr("dialog: Import Specctra Design File"));
    EXPECT_THAT(run.err, HasSubstr("answer: Cancel"));
}

TEST_F(HarrowShell, QueuedAnswersAreUsedInOrder) {
    std::string missing = folder + "/gone.dsn";
    Outcome run =
        Harrow("run --yes --dialog-answer 'Result=true|Path=x' ImportSpecctraDesignFile " +
               Quote("DsnFile=" + missing));
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_THAT(run.err,
                HasSubstr("question: Specctra design file\n" + missing + " doesn't exist."));
    EXPECT_THAT(run.err, HasSubstr("answer: Yes"));
    EXPECT_THAT(run.err, HasSubstr("dialog: Import Specctra Design File [" + missing + "]"));
    EXPECT_THAT(run.err, Not(HasSubstr("PCB server"))) << "lower-case true cancels";
}

TEST_F(HarrowShell, BoardCommandsProposeNamesFromTheCurrentBoard) {
    std::string board = Board("My Board.pcbdoc");
    Outcome run = Harrow("run --board " + Quote(board) + " --cancel ExportSpecctraDesignFile");
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_THAT(run.err, HasSubstr("[" + folder + "/My_Board.dsn]"));
    Outcome noServer =
        Harrow("run --no-pcb-server --board " + Quote(board) + " ExportSpecctraRouteFile");
    EXPECT_EQ(noServer.exitCode, 3);
    EXPECT_THAT(noServer.err,
                HasSubstr("message: This Specctra Interface Server requires the PCB\nserver"));
}

TEST_F(HarrowShell, ReturnToHostWithQuitAsksTheHostToQuitAndSavesNothing) {
    std::string board = Board("b.pcbdoc");
    const std::string before = Read(board);
    Outcome run = Harrow("run --board " + Quote(board) + " ReturnToHostPCB 'Quit=true'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("quit requested"));
    EXPECT_THAT(run.err, Not(HasSubstr("saved")));
    EXPECT_EQ(Read(board), before);
    // Without Quit the board document is closed; the route file is named
    // after the board.
    Outcome close = Harrow("run --board " + Quote(board) + " ReturnToHostPCB 'RteFile=renamedsn'");
    EXPECT_EQ(close.exitCode, 0) << close.err;
    EXPECT_EQ(Read(folder + "/b.rte").rfind("(routes \r\n", 0), 0u) << close.err;
    EXPECT_THAT(close.err, Not(HasSubstr("quit requested")));
    EXPECT_THAT(close.err, Not(HasSubstr("saved")));
    EXPECT_EQ(Read(board), before);
}

TEST_F(HarrowShell, ImportIntoReportsTheImportersAnswer) {
    std::string board = Board("t.pcbdoc");
    Outcome route = Harrow("import-into " + Quote(board) + " " + Quote(Write("d.rte", "(pcb x)")));
    EXPECT_EQ(route.exitCode, 3);
    EXPECT_THAT(route.err, HasSubstr("d.rte: nothing translated"));
    // The exported import function runs without a report, as its help says.
    Outcome design =
        Harrow("import-into " + Quote(board) + " " + Quote(Write("d.dsn", "(pcb x (unit mm))\n")));
    EXPECT_EQ(design.exitCode, 0) << design.err;
    EXPECT_EQ(Read(folder + "/d.rpt"), "");
    EXPECT_THAT(Harrow("import-into --help").out, HasSubstr("Writes no\nreport."));
    // show summarises the board, zero counts too.
    Outcome summary = Harrow("show " + Quote(board));
    EXPECT_EQ(summary.exitCode, 0) << summary.err;
    EXPECT_THAT(summary.out, HasSubstr("board: t.pcbdoc\n"));
    EXPECT_THAT(summary.out, HasSubstr("tracks: 2\n"));
    EXPECT_THAT(summary.out, HasSubstr("vias: 0\n"));
}

TEST_F(HarrowShell, BatchRunNamesItsRouteAndSessionFilesAfterTheDesign) {
    Write("amp.dsn", "(pcb amp (unit mm))\n");
    Outcome run = Harrow("import amp.dsn --autoroute --rte RenameDSN --ses renamedsn");
    EXPECT_EQ(run.exitCode, 0) << run.err; // nothing placed, nothing left open
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
