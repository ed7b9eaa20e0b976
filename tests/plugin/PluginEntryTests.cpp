// libdsnlink.so loaded with dlopen and no engine in the process: entry points,
// importer, and the checks and dialogs of the commands that need no board.
#include "plugin/FakeClient.h"
#include "plugin/PluginLoader.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

constexpr int32_t kSafeCallError = static_cast<int32_t>(0x8000FFFFu);

const char* const kOpenDsnDialog =
    "Dialog=FileOpenSave|Mode=0|Prompt=Import Specctra Design File|DocumentType=All|"
    "FileType1=Dsn File (*.dsn; *.cct)|Path=";

// The plug-in's server started for a fake client, in a scratch folder.
class PluginWithoutEngine : public ::testing::Test {
protected:
    void SetUp() override { server = plugin.Start(client); }
    void Launch(const std::string& command, const std::string& parameters) {
        server->CommandLauncher().LaunchCommand(command, parameters);
    }

    LoadedPlugin& plugin = LoadedPlugin::Get();
    FakeClient client;
    testfs::TempFolder scratch;
    std::unique_ptr<HostSdk::TServerModule> server;
};

TEST_F(PluginWithoutEngine, ExportsTheThreeEntryPointsAndTheImporterDescription) {
    ASSERT_NE(plugin.ServerFactory, nullptr);
    ASSERT_NE(plugin.GetPcbImporterDescription, nullptr);
    ASSERT_NE(plugin.ImportFileIntoPcb, nullptr);
    EXPECT_STREQ(plugin.GetPcbImporterDescription(), "Specctra Design file (*.dsn)");
    // Internal names stay hidden.
    EXPECT_EQ(
        dlsym(plugin.handle, "_ZN7DsnLink12CreateServerEPN7HostSdk7IClientEPPNS0_13TServerModuleE"),
        nullptr);
}

TEST_F(PluginWithoutEngine, ServerFactoryCreatesTheServerAndRegistersTenCommandsInOrder) {
    EXPECT_EQ(server->ServerName(), "DsnLink");
    Strings expected = {
        "ImportSpecctraDesignFile", "ExportSpecctraDesignFile",  "ImportSpecctraRouteFile",
        "ExportSpecctraRouteFile",  "ExportSpecctraSessionFile", "ExportData",
        "ViewEmbeddedObjects",      "DeleteEmbeddedObjects",     "DebugParseDSN",
        "ReturnToHostPCB"};
    EXPECT_EQ(server->CommandLauncher().CommandNames(), expected);
    void* importer = nullptr;
    EXPECT_EQ(server->QueryInterface("{e3a11d71-08eb-48a6-9345-fcebf254eeff}", &importer), 0);
    EXPECT_NE(importer, nullptr);
    EXPECT_NE(server->QueryInterface("{00000000-0000-0000-0000-000000000000}", &importer), 0);
    EXPECT_EQ(importer, nullptr);
}

TEST_F(PluginWithoutEngine, ServerFactoryFailureComesBackAsSafeCallError) {
    HostSdk::TServerModule* made = reinterpret_cast<HostSdk::TServerModule*>(&client);
    EXPECT_EQ(plugin.ServerFactory(nullptr, &made), kSafeCallError);
    EXPECT_EQ(made, nullptr) << "the output is cleared before the work";
    EXPECT_EQ(plugin.ServerFactory(&client, nullptr), kSafeCallError);
}

TEST_F(PluginWithoutEngine, IsValidFileAcceptsPcbBlocksOfDesignAndRouteFilesOnly) {
    auto& importer = LoadedPlugin::Importer(*server);
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"upper.dsn", "(PCB board\n)", true},
        {"blank.DSN", "  \r\n\n   \r\n(  \n\n  Pcb \"x\"\n)", true},
        {"route.rte", "\n(pcb routed\n)", true},
        {"session.dsn", "(session s1\n)", false},
        {"pcb.txt", "(pcb board\n)", false},
        {"noparen.dsn", "pcb (board)", false},
        {"empty.dsn", "", false},
    };
    for (const auto& [name, text, expected] : cases) {
        bool valid = !expected;
        EXPECT_EQ(importer.IsValidFile(scratch.Write(name, text), &valid), 0) << name;
        EXPECT_EQ(valid, expected) << name;
    }
    bool valid = true;
    EXPECT_EQ(importer.IsValidFile(scratch.path.string() + "/missing.dsn", &valid), 0);
    EXPECT_FALSE(valid);
}

TEST_F(PluginWithoutEngine, ImportFileWithEmptyNameDoesNothing) {
    client.throwEverywhere = true; // any host call would fail the operation
    EXPECT_EQ(LoadedPlugin::Importer(*server).ImportFile(""), 0);
    EXPECT_EQ(client.CallCount(), 0u);
}

TEST_F(PluginWithoutEngine, ImportFileTurnsAFailingHostIntoSafeCallError) {
    std::string design = scratch.Write("board.dsn", "(pcb board)");
    client.throwEverywhere = true;
    EXPECT_EQ(LoadedPlugin::Importer(*server).ImportFile(design), kSafeCallError);
    // A file that is not a design never reaches the host.
    std::string session = scratch.Write("routes.dsn", "(session s)");
    EXPECT_EQ(LoadedPlugin::Importer(*server).ImportFile(session), 0);
}

TEST_F(PluginWithoutEngine, ImportFileIntoPcbOnlyTakesExistingDsnFiles) {
    FakeBoard& board = client.AddBoard(7, scratch.path.string() + "/target.pcbdoc");
    std::string design = scratch.Write("design.Dsn", "(pcb board)");
    std::string route = scratch.Write("design.rte", "(pcb board)");

    EXPECT_FALSE(plugin.ImportFileIntoPcb((scratch.path.string() + "/missing.dsn").c_str(), "", 7));
    EXPECT_FALSE(plugin.ImportFileIntoPcb(route.c_str(), "", 7));
    EXPECT_TRUE(client.boardLookups.empty()) << "neither a missing file nor .rte is imported";

    // The design goes to the board of the handle, inside a batch with the
    // polygon and rule-check features off and back on.
    plugin.ImportFileIntoPcb(design.c_str(), "ignored", 7);
    ASSERT_FALSE(client.boardLookups.empty());
    EXPECT_EQ(client.boardLookups.back(), 7);
    EXPECT_EQ(board.messages.front(), 14);
    EXPECT_EQ(board.featureLog, (Strings{"Polygon=off", "DRC=off", "Polygon=on", "DRC=on"}));
    EXPECT_EQ(client.batchDepth, 0);

    // No board of that handle: false without touching a board.
    EXPECT_FALSE(plugin.ImportFileIntoPcb(design.c_str(), "", 99));
}

TEST_F(PluginWithoutEngine, ImportFileIntoPcbNeverThrows) {
    std::string design = scratch.Write("design.dsn", "(pcb board)");
    client.AddBoard(7, scratch.path.string() + "/target.pcbdoc");
    client.throwEverywhere = true;
    EXPECT_FALSE(plugin.ImportFileIntoPcb(design.c_str(), "", 7));
    EXPECT_FALSE(plugin.ImportFileIntoPcb(nullptr, nullptr, 7));
}

TEST_F(PluginWithoutEngine, EmbeddedObjectCommandsNeedACurrentBoard) {
    Launch("ViewEmbeddedObjects", "File=/tmp/x.txt");
    Launch("DeleteEmbeddedObjects", "");
    EXPECT_EQ(client.messages, Strings(2, "This document is not a PCB document."));
}

TEST_F(PluginWithoutEngine, ReturnToHostPcbWithoutBoardDoesNothing) {
    Launch("ReturnToHostPCB", "RteFile=RenameDSN|Quit=True");
    EXPECT_EQ(client.CallCount(), 0u);
}

TEST_F(PluginWithoutEngine, BoardFileCommandsWithoutCurrentBoardStopBeforeTheirDialog) {
    const char* const commands[] = {"ExportSpecctraDesignFile", "ImportSpecctraRouteFile",
                                    "ExportSpecctraRouteFile", "ExportSpecctraSessionFile"};
    for (const char* command : commands) {
        client.processes.clear();
        Launch(command, "");
        EXPECT_TRUE(client.Dialogs().empty()) << command;
    }
    EXPECT_TRUE(client.messages.empty());
    // Without the PCB server each shows the server's message instead.
    client.pcbServerRunning = false;
    for (const char* command : commands)
        Launch(command, "");
    EXPECT_EQ(client.messages, Strings(4, "This Specctra Interface Server requires the PCB\rserver "
                                          "to be running with a PCB file loaded.\rThis server "
                                          "will use the currently active PCB file."));
    EXPECT_TRUE(client.Dialogs().empty());
}

TEST_F(PluginWithoutEngine, DesignAndRouteCommandsDoNothingWhenBothNamesAreGiven) {
    Launch("ExportSpecctraDesignFile", "DesignFileName=a.dsn|PcbFileName=a.pcbdoc");
    Launch("ImportSpecctraRouteFile", "routefilename=a.rte|PCBFILENAME=a.pcbdoc");
    EXPECT_EQ(client.CallCount(), 0u);
}

TEST_F(PluginWithoutEngine, RouteAndSessionExportsOfABoardThatIsNotOpenEndBeforeTheDialog) {
    const std::string board = "PcbFileName=/tmp/my boards/main board.v2.pcbdoc";
    Launch("ExportSpecctraRouteFile", board);
    Launch("ExportSpecctraSessionFile", board);
    Launch("ExportSpecctraRouteFile", board + "|RteFileName=a.rte");
    EXPECT_EQ(client.CallCount(), 0u);
}

TEST_F(PluginWithoutEngine, ImportDesignAsksForMissingDesignAndStopsOnNo) {
    const std::string missing = scratch.path.string() + "/gone.dsn";
    client.yesNoAnswers = {false};
    Launch("ImportSpecctraDesignFile", "DsnFile=" + missing);
    ASSERT_EQ(client.questions, Strings{"Specctra design file\n\r" + missing +
                                        " doesn't exist.\n\rDo you want to "
                                        "locate the file yourself?"});
    EXPECT_TRUE(client.Dialogs().empty());
    EXPECT_TRUE(client.serverLookups.empty());
}

TEST_F(PluginWithoutEngine, ImportDesignWithoutNameUsesTheDialogAndChecksTheServer) {
    std::string design = scratch.Write("picked.dsn", "(pcb x)");
    client.pcbServerRunning = false;
    client.dialogAnswers = {"Result=True|Path=" + design};
    Launch("ImportSpecctraDesignFile", "");
    ASSERT_EQ(client.Dialogs().size(), 1u);
    EXPECT_EQ(client.Dialogs()[0].request, kOpenDsnDialog);
    // The server is looked up, started, looked up again, then reported.
    EXPECT_EQ(client.serverLookups, (Strings{"PCB", "start:PCB", "PCB"}));
    EXPECT_EQ(client.messages, Strings{"PCB server is not running"});
}

TEST_F(PluginWithoutEngine, MissingDoFileQuestionAndDialog) {
    std::string design = scratch.Write("board.dsn", "(pcb x)");
    client.pcbServerRunning = false;
    client.yesNoAnswers = {true};
    client.dialogAnswers = {"Result=False"};
    Launch("ImportSpecctraDesignFile", "DsnFile=" + design + "|DoFileName=/no/route.do");
    ASSERT_EQ(client.questions, Strings{"Specctra do file\n\r/no/route.do doesn't exist.\n\rDo "
                                        "you want to locate the file yourself?\r\n\r\nChoosing "
                                        "NO will imply routing without do file."});
    ASSERT_EQ(client.Dialogs().size(), 1u);
    EXPECT_EQ(client.Dialogs()[0].request,
              "Dialog=FileOpenSave|Mode=0|Prompt=Import Specctra Do File|DocumentType=All|"
              "FileType1=Rte File (*.do)|Path=/no/route.do");
    // The run went on to the server check after the cancelled do-file dialog.
    EXPECT_EQ(client.messages.back(), "PCB server is not running");
}

} // namespace
