// Parameter rules of the command handlers, against the static plug-in library:
// the "True" rule, "RenameDSN", proposed names and the report flag.
#include "plugin/Commands_Orlek.h"
#include "plugin/FakeClient.h"
#include "plugin/HostAccess.h"
#include "sdk/FileNames.h"
#include "sdk/Parameters.h"

#include <gtest/gtest.h>

namespace {

TEST(ParameterStrings, ReadNamesWithoutRegardToCaseAndKeepValues) {
    const std::string params = "DsnFile=/a/b c.dsn|autoroute=True|Empty=|Flag|RteFile=x=y";
    std::string value;
    EXPECT_TRUE(HostSdk::GetState_Parameter(params, "DSNFILE", value));
    EXPECT_EQ(value, "/a/b c.dsn");
    EXPECT_TRUE(HostSdk::GetState_Parameter(params, "AutoRoute", value));
    EXPECT_EQ(value, "True");
    EXPECT_TRUE(HostSdk::GetState_Parameter(params, "Empty", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(HostSdk::GetState_Parameter(params, "Flag", value));
    EXPECT_TRUE(HostSdk::GetState_Parameter(params, "RteFile", value));
    EXPECT_EQ(value, "x=y");
    EXPECT_FALSE(HostSdk::GetState_Parameter(params, "Dsn", value));
    EXPECT_FALSE(HostSdk::GetState_Parameter("", "Dsn", value));
}

TEST(ParameterStrings, AddAppendsOrReplacesInPlace) {
    std::string params;
    HostSdk::AddStringParameter(params, "SaveMode", "Standard");
    HostSdk::AddStringParameter(params, "ObjectKind", "Document");
    HostSdk::AddStringParameter(params, "savemode", "Quiet");
    EXPECT_EQ(params, "savemode=Quiet|ObjectKind=Document");
    HostSdk::TParameterBuffer buffer(20, "Action=Start");
    buffer.Add("BaseGrid", "1");
    buffer.Add("Padding", "0123456789");
    EXPECT_EQ(buffer.Text().size(), 20u) << "a buffer never grows past its capacity";
}

TEST(FileNames, ExtensionRulesFollowTheLastSeparator) {
    EXPECT_EQ(HostSdk::ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(HostSdk::ExtractFileExt("C:\\x.dir\\y.DSN"), ".DSN");
    EXPECT_EQ(HostSdk::ChangeFileExt("/a.b/c", "rte"), "/a.b/c.rte");
    EXPECT_EQ(HostSdk::ChangeFileExt("/a/c.tar.dsn", "ses"), "/a/c.tar.ses");
    EXPECT_EQ(HostSdk::ChangeFileExt("/a/c.dsn", ""), "/a/c");
}

TEST(CommandRules, RenameDsnAloneStandsForTheBaseFile) {
    using DsnLink::ResolveRenameDSN;
    EXPECT_EQ(ResolveRenameDSN("RenameDSN.rte", "/w/b.pcbdoc", "rte"), "RenameDSN.rte");
    EXPECT_EQ(ResolveRenameDSN("/out/x.rte", "/w/b.pcbdoc", "rte"), "/out/x.rte");
    // A dot in a folder name is no extension, whichever separator ends it.
    EXPECT_EQ(ResolveRenameDSN("RenameDSN", "/w/v1.2/board", "rte"), "/w/v1.2/board.rte");
    EXPECT_EQ(ResolveRenameDSN("RenameDSN", "C:\\v1.2\\board", "ses"), "C:\\v1.2\\board.ses");
}

TEST(CommandRules, AutoRouteIsTrueOnlyForTrueInAnyCase) {
    struct Case {
        const char* parameters;
        bool autoRoute;
    } cases[] = {{"AutoRoute=true", true},   {"AutoRoute=TRUE", true},
                 {"autoroute=True", true},   {"AutoRoute=1", false},
                 {"AutoRoute=yes", false},   {"AutoRoute=", false},
                 {"AutoRoute= True", false}, {"", false}};
    for (const Case& c : cases) {
        FakeClient client;
        client.pcbServerRunning = false;
        DsnLink::SetCurrentClient(&client);
        CommandFlags().ReportEnabled = c.autoRoute; // the command sets the opposite
        DsnLink::Command_ImportSpecctraDesignFile(
            client, std::string(c.parameters) + (c.parameters[0] ? "|" : "") + "DsnFile=/nope.dsn");
        EXPECT_EQ(CommandFlags().ReportEnabled, !c.autoRoute) << c.parameters;
        DsnLink::SetCurrentClient(nullptr);
    }
}

TEST(CommandRules, DialogAnswerPathReplacesTheProposalOnlyWhenAccepted) {
    FakeClient client;
    std::string path = "/proposed.rte";
    client.dialogAnswers = {"Path=/other.rte|Result=True"};
    EXPECT_TRUE(DsnLink::RunFileDialog(client, DsnLink::kDialog_CreateRte, path));
    EXPECT_EQ(path, "/other.rte");
    client.dialogAnswers = {"Result=False|Path=/third.rte"};
    EXPECT_FALSE(DsnLink::RunFileDialog(client, DsnLink::kDialog_CreateRte, path));
    EXPECT_EQ(path, "/other.rte");
    client.dialogAnswers = {"Result=True"};
    EXPECT_TRUE(DsnLink::RunFileDialog(client, DsnLink::kDialog_CreateRte, path));
    EXPECT_EQ(path, "/other.rte");
}

} // namespace
