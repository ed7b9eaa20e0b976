// The host's services reaching the reader and the report: the Escape key with
// its "Confirm Abort" question, and the finished report opened by the host.
#include "plugin/FakeClient.h"
#include "plugin/HostAccess.h"
#include "plugin/ImportSpecctra.h"
#include "support/ScratchShell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;

namespace {

class HostHooks : public testshell::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        DsnLink::SetCurrentClient(&client);
    }
    void TearDown() override {
        DsnLink::SetCurrentClient(nullptr);
        ScratchFolderTest::TearDown();
    }
    // A design long enough for the reader to look at the Escape key twice.
    std::string LongDesign() {
        std::string text = "(pcb long\n (network\n";
        for (int i = 0; i < 2000; ++i)
            text += "  (net N" + std::to_string(i) + " (pins U1-" + std::to_string(i) + "))\n";
        return Write("long.dsn", text + " )\n)\n");
    }
    FakeClient client;
};

TEST_F(HostHooks, EscapeAsksConfirmAbortAndOnlyYesStopsReading) {
    const std::string path = LongDesign();

    client.escapeHeld = true;
    client.yesNoAnswers = {false, true};
    DsnLink::DumpDsnTokens(client, path);
    const std::string aborted = testshell::Read(folder + "/long.prs");
    ASSERT_EQ(client.questions, (std::vector<std::string>{"Confirm Abort", "Confirm Abort"}));

    client.escapeHeld = false;
    DsnLink::DumpDsnTokens(client, path);
    const std::string whole = testshell::Read(folder + "/long.prs");
    EXPECT_EQ(client.questions.size(), 2u);
    EXPECT_LT(aborted.size(), whole.size() / 2);
    EXPECT_EQ(whole.substr(0, aborted.size()), aborted);
    EXPECT_EQ(whole.substr(whole.size() - 6), ")\r\n)\r\n");
}

TEST_F(HostHooks, AbortedImportKeepsWhatWasReadAndSaysSo) {
    const std::string path = LongDesign();
    client.escapeHeld = true;
    client.yesNoAnswers = {true};
    EXPECT_TRUE(DsnLink::ImportDesignForNewProject(client, path, 0));
    ASSERT_EQ(client.reportsOpened.size(), 1u);
    EXPECT_THAT(client.reportsOpened[0], HasSubstr("long.rpt"));
    const std::string report = testshell::Read(client.reportsOpened[0]);
    EXPECT_THAT(report, HasSubstr("WARNING: Reading aborted by the user in line 1;"));
}

} // namespace
