// harrow end to end, with no terminal, in scratch folders, with the engine and
// plug-in next to it: answers from the command line, messages on stderr, exit
// codes and bad input that changes no document.
#include "sdk/CorvaneEngine.h"
#include "sdk/PcbApi.h"
#include "support/ScratchShell.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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
        EXPECT_NE(run.out.find(std::string("  ") + verb + " "), std::string::npos) << verb;
    EXPECT_NE(run.out.find("What this build translates"), std::string::npos);
    EXPECT_NE(run.out.find("write the route file (.rte) and the session file (.ses)"),
              std::string::npos);
    for (const char* verb : {"import", "export", "new-project", "tokens", "embedded", "show",
                             "check", "import-into", "run", "commands"}) {
        Outcome verbHelp = Harrow(std::string(verb) + " --help");
        EXPECT_EQ(verbHelp.exitCode, 0) << verb;
        EXPECT_NE(verbHelp.out.find(std::string("harrow ") + verb), std::string::npos) << verb;
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

TEST_F(HarrowShell, ABoardFileThatIsNotABoardIsUnreadableInput) {
    std::string notBoard = Write("design.pcbdoc", "(pcb not a board)\n");
    Outcome run = Harrow("run --board " + Quote(notBoard) + " ViewEmbeddedObjects");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.ErrLines(), 1) << run.err;
    EXPECT_NE(run.err.find("design.pcbdoc"), std::string::npos);
    EXPECT_EQ(Read(notBoard), "(pcb not a board)\n");
    Outcome missing = Harrow("show " + Quote(folder + "/absent.pcbdoc"));
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.ErrLines(), 1);
}

TEST_F(HarrowShell, MissingPluginOrEngineIsAHostError) {
    Outcome noPlugin = Harrow("--plugin " + Quote(folder + "/libnothing.so") + " commands");
    EXPECT_EQ(noPlugin.exitCode, 2);
    EXPECT_EQ(noPlugin.ErrLines(), 1);
    EXPECT_NE(noPlugin.err.find("plug-in"), std::string::npos);
    Outcome noEngine = Harrow("--engine " + Quote(folder + "/libnothing.so") + " commands");
    EXPECT_EQ(noEngine.exitCode, 2);
    EXPECT_EQ(noEngine.ErrLines(), 1);
    EXPECT_NE(noEngine.err.find("engine"), std::string::npos);
}

TEST_F(HarrowShell, CheckAnswersWhetherAFileIsADesign) {
    Outcome valid = Harrow("check " + Quote(Write("a b.DSN", "\n\n  (PCB x\n)")));
    EXPECT_EQ(valid.exitCode, 0) << valid.err;
    EXPECT_EQ(valid.out, "valid\n");
    Outcome session = Harrow("check " + Quote(Write("s.dsn", "(session s)")));
    EXPECT_EQ(session.exitCode, 3);
    EXPECT_EQ(session.out, "not a design\n");
    // The quick test answers what import reads, whatever the extension.
    Outcome otherExtension = Harrow("check " + Quote(Write("p.txt", "(pcb x)")));
    EXPECT_EQ(otherExtension.exitCode, 0) << otherExtension.err;
    EXPECT_EQ(otherExtension.out, "valid\n");
    Outcome missing = Harrow("check absent.dsn");
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.out, "not found\n");
    Outcome json = Harrow("check --json absent.dsn");
    EXPECT_NE(json.out.find("\"status\":\"not found\""), std::string::npos) << json.out;
}

TEST_F(HarrowShell, NewProjectTakesOnlyWhatTheImporterAccepts) {
    for (const char* name : {"s.dsn", "p.txt"}) {
        Outcome run = Harrow("new-project " + Quote(Write(name, "(session s)")));
        EXPECT_EQ(run.exitCode, 3) << name << ": " << run.err;
        EXPECT_EQ(run.out, "not a design\n") << name;
    }
    Outcome missing = Harrow("new-project absent.dsn");
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.out, "not found\n");
    EXPECT_EQ(Run("/bin/sh", "-c 'ls -d Imported* 2>/dev/null'").out, "");
}

TEST_F(HarrowShell, WithoutTerminalDialogsCancelAndEveryDialogIsPrinted) {
    Outcome run = Harrow("run DebugParseDSN");
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("dialog: Import Specctra Design File"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("answer: Cancel"), std::string::npos);
}

TEST_F(HarrowShell, QueuedAnswersAreUsedInOrder) {
    std::string missing = folder + "/gone.dsn";
    Outcome run =
        Harrow("run --yes --dialog-answer 'Result=true|Path=x' ImportSpecctraDesignFile " +
               Quote("DsnFile=" + missing));
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("question: Specctra design file\n" + missing + " doesn't exist."),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("answer: Yes"), std::string::npos);
    EXPECT_NE(run.err.find("dialog: Import Specctra Design File [" + missing + "]"),
              std::string::npos);
    EXPECT_EQ(run.err.find("PCB server"), std::string::npos) << "lower-case true cancels";
}

TEST_F(HarrowShell, BoardCommandsProposeNamesFromTheCurrentBoard) {
    std::string board = Board("My Board.pcbdoc");
    Outcome run = Harrow("run --board " + Quote(board) + " --cancel ExportSpecctraDesignFile");
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("[" + folder + "/My_Board.dsn]"), std::string::npos) << run.err;
    Outcome noServer =
        Harrow("run --no-pcb-server --board " + Quote(board) + " ExportSpecctraRouteFile");
    EXPECT_EQ(noServer.exitCode, 3);
    EXPECT_NE(noServer.err.find("message: This Specctra Interface Server requires the PCB\nserver"),
              std::string::npos)
        << noServer.err;
}

TEST_F(HarrowShell, NoBoardMeansNotAPcbDocument) {
    Outcome run = Harrow("run ViewEmbeddedObjects");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("message: This document is not a PCB document."), std::string::npos);
}

TEST_F(HarrowShell, ReturnToHostWithQuitAsksTheHostToQuitAndSavesNothing) {
    std::string board = Board("b.pcbdoc");
    const std::string before = Read(board);
    Outcome run = Harrow("run --board " + Quote(board) + " ReturnToHostPCB 'Quit=true'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("quit requested"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("saved"), std::string::npos);
    EXPECT_EQ(Read(board), before);
    // Without Quit the board document is closed; the route file is named
    // after the board.
    Outcome close = Harrow("run --board " + Quote(board) + " ReturnToHostPCB 'RteFile=renamedsn'");
    EXPECT_EQ(close.exitCode, 0) << close.err;
    EXPECT_EQ(Read(folder + "/b.rte").rfind("(routes \r\n", 0), 0u) << close.err;
    EXPECT_EQ(close.err.find("quit requested"), std::string::npos);
    EXPECT_EQ(close.err.find("saved"), std::string::npos);
    EXPECT_EQ(Read(board), before);
}

TEST_F(HarrowShell, ShowSummarisesOrDumpsTheBoard) {
    std::string board = Board("s.pcbdoc");
    Outcome summary = Harrow("show " + Quote(board));
    EXPECT_EQ(summary.exitCode, 0) << summary.err;
    EXPECT_NE(summary.out.find("board: s.pcbdoc\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("tracks: 2\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("vias: 0\n"), std::string::npos) << summary.out;
    Outcome json = Harrow("show --json " + Quote(board));
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out.rfind("{", 0), 0u);
}

TEST_F(HarrowShell, ImportIntoReportsTheImportersAnswer) {
    std::string board = Board("t.pcbdoc");
    Outcome route = Harrow("import-into " + Quote(board) + " " + Quote(Write("d.rte", "(pcb x)")));
    EXPECT_EQ(route.exitCode, 3);
    EXPECT_NE(route.err.find("d.rte: nothing translated"), std::string::npos) << route.err;
    // The exported import function runs without a report, as its help says.
    Outcome design =
        Harrow("import-into " + Quote(board) + " " + Quote(Write("d.dsn", "(pcb x (unit mm))\n")));
    EXPECT_EQ(design.exitCode, 0) << design.err;
    EXPECT_EQ(Read(folder + "/d.rpt"), "");
    EXPECT_NE(Harrow("import-into --help").out.find("Writes no\nreport."), std::string::npos);
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
