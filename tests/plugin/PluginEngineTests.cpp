// libdsnlink.so loaded after the Corvane engine (RTLD_GLOBAL), as harrow loads
// them: the commands that need the current board and the board look-up by file
// name.
#include "plugin/FakeClient.h"
#include "plugin/PluginLoader.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using enginetest::EngineLibrary;

class PluginWithEngine : public ::testing::Test {
protected:
    void SetUp() override {
        EngineLibrary& engine = EngineLibrary::Get();
        ASSERT_EQ(engine.error, "");
        board = engine.newBoard(boardPath.c_str(), nullptr, 0);
        ASSERT_NE(board, 0);
        engine.setCurrentBoard(board);
        server = LoadedPlugin::Get().Start(client);
    }
    void TearDown() override {
        server.reset();
        EngineLibrary::Get().closeBoard(board);
    }
    std::string Launch(const std::string& command, const std::string& parameters) {
        client.processes.clear();
        server->CommandLauncher().LaunchCommand(command, parameters);
        auto dialogs = client.Dialogs();
        return dialogs.empty() ? std::string() : dialogs.back().request;
    }

    const std::string boardPath = "/tmp/dsnlink test/My Board 1.pcbdoc";
    CorvaneBoard board = 0;
    FakeClient client;
    std::unique_ptr<HostSdk::TServerModule> server;
};

TEST_F(PluginWithEngine, DesignAndRouteDialogsProposeTheBoardNameWithUnderscores) {
    EXPECT_EQ(Launch("ExportSpecctraDesignFile", ""),
              "Dialog=FileOpenSave|Mode=1|Prompt=Create Specctra Design File|DocumentType=All|"
              "FileType1=Dsn File (*.dsn)|Path=/tmp/dsnlink_test/My_Board_1.dsn");
    EXPECT_EQ(Launch("ImportSpecctraRouteFile", "RouteFileName=only.rte"),
              "Dialog=FileOpenSave|Mode=0|Prompt=Import Specctra Route File|DocumentType=All|"
              "FileType1=Rte File (*.rte)|Path=/tmp/dsnlink_test/My_Board_1.rte");
    // With a current board the embedded object commands run, silently here.
    Launch("ViewEmbeddedObjects", "");
    Launch("DeleteEmbeddedObjects", "");
    EXPECT_TRUE(client.messages.empty());
}

TEST_F(PluginWithEngine, RouteAndSessionDialogsProposeTheBoardNameAsItIs) {
    const std::string routeDialog =
        "Dialog=FileOpenSave|Mode=1|Prompt=Create Specctra Route File|DocumentType=All|"
        "FileType1=Rte File (*.rte)|Path=/tmp/dsnlink test/My Board 1.rte";
    EXPECT_EQ(Launch("ExportSpecctraRouteFile", ""), routeDialog);
    EXPECT_EQ(Launch("ExportSpecctraSessionFile", ""),
              "Dialog=FileOpenSave|Mode=1|Prompt=Create Specctra Session File|DocumentType=All|"
              "FileType1=Session File (*.ses)|Path=/tmp/dsnlink test/My Board 1.ses");
    EXPECT_EQ(Launch("ExportSpecctraRouteFile", "PcbFileName=" + boardPath), routeDialog);
    EXPECT_EQ(client.Dialogs()[0].capacity, 4096u);
    EXPECT_TRUE(client.messages.empty()) << "a cancelled dialog ends silently";
}

TEST_F(PluginWithEngine, OnlyAnExactTrueResultAcceptsADialog) {
    // Accepted: the export runs for the board that has the board file name.
    client.dialogAnswers = {"Result=True|Path=/tmp/out.rte"};
    Launch("ExportSpecctraRouteFile", "");
    const std::size_t afterAccepted = client.messages.size();
    EXPECT_EQ(afterAccepted, 1u) << "the accepted dialog reached the route export";
    for (const char* answer :
         {"Result=true|Path=/tmp/out.rte", "Result=TRUE", "Result=1", "Path=/tmp/out.rte", ""}) {
        client.dialogAnswers = {answer};
        Launch("ExportSpecctraRouteFile", "");
        EXPECT_EQ(client.messages.size(), afterAccepted) << "answer " << answer;
    }
}

TEST_F(PluginWithEngine, ExportDataAndReturnToHostWriteTheirFilesNamedAfterTheBoard) {
    const std::string folder = "/tmp/dsnlink test";
    const std::string base = folder + "/My Board 1";
    std::filesystem::create_directories(folder);
    auto take = [](const std::string& path) {
        const bool found = std::filesystem::exists(path);
        std::filesystem::remove(path);
        return found;
    };
    for (const char* ext : {".rte", ".ses", ".rte.rpt", ".ses.rpt"})
        std::filesystem::remove(base + ext);

    Launch("ExportData", "RteFile=RenameDSN|SesFile=renamedsn");
    EXPECT_TRUE(take(base + ".rte"));
    EXPECT_TRUE(take(base + ".ses"));
    Launch("ExportData", "PcbFileName=/tmp/elsewhere.pcbdoc|RteFile=RenameDSN");
    EXPECT_FALSE(take("/tmp/elsewhere.rte")) << "no board of that name is open";
    // The route export of a board that is not open ends silently.
    Launch("ExportSpecctraRouteFile", "PcbFileName=/tmp/elsewhere.pcbdoc|RteFileName=/tmp/x.rte");
    EXPECT_TRUE(client.processes.empty());
    Launch("ExportData", "pcbfilename=" + boardPath + "|SesFile=" + folder + "/named.ses|RteFile=");
    EXPECT_TRUE(take(folder + "/named.ses"));
    EXPECT_FALSE(take(base + ".rte")) << "an empty RteFile writes nothing";
    Launch("ReturnToHostPCB", "SesFile=RENAMEDSN|Quit=1");
    EXPECT_TRUE(take(base + ".ses"));
    EXPECT_TRUE(client.processes.empty()) << "only Quit=True in any case quits";
    Launch("ReturnToHostPCB", "RteFile=RenameDSN|Quit=true");
    EXPECT_TRUE(take(base + ".rte"));
    // A board not made from a design: every export tells the user so.
    EXPECT_EQ(client.messages, Strings(5, "You can export routes only for pcb files previously "
                                          "imported as design files."));
    ASSERT_EQ(client.processes.size(), 1u);
    EXPECT_EQ(client.processes[0].process, "Client:QuitFromEDAClient");
    EXPECT_EQ(client.processes[0].request, "");
    take(base + ".rte.rpt");
    take(base + ".ses.rpt");
    take(folder + "/named.ses.rpt");
}

} // namespace
