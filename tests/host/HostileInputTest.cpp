// Hostile input through harrow, end to end and without a terminal: a board
// document that names one net twice, designs whose "file" blocks include
// themselves or files outside the design, a string_quote without a quote
// character, constants holding the record's own separators, and Ctrl-C.
// Each ends in time, with a clear message and no crash, and changes no
// document it should not.
#include "host/sdk/CorvaneEngine.h"
#include "host/sdk/PcbApi.h"
#include "support/ScratchShell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using testshell::Outcome;
using testshell::Read;

const std::string kHarrow = std::string(DSNLINK_BIN_DIR) + "/harrow";

class HostileInput : public testshell::ScratchFolderTest {
protected:
    Outcome Harrow(const std::string& arguments) {
        const auto start = std::chrono::steady_clock::now();
        Outcome run = Run(kHarrow, arguments);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return run;
    }
    double seconds = 0;
};

} // namespace

TEST_F(HostileInput, ABoardWithTwoNetsOfOneNameIsRefusedByName) {
    const std::string doc = folder + "/twice.pcbdoc";
    char error[256] = {};
    CorvaneBoard board = Corvane_NewBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    intptr_t net = PcbApi_CreateObject(8);
    char name[PCBAPI_TEXT_CAPACITY] = "GND";
    int32_t visible = 1, color = 0;
    ASSERT_EQ(PcbApi_QueryNet(0, net, name, &visible, &color), 1);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, net), 0);
    ASSERT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(board);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(doc.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO objects SELECT id + 1, kind, kind_name, container, net, "
                           "layer, bit_field, bit_field2, bit_field3, idx, moveable, x1, y1, name, "
                           "record FROM objects WHERE kind = 8",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string bytes = Read(doc);
    for (const char* verb : {"show", "show --json", "embedded", "export"}) {
        const Outcome run = Harrow(std::string(verb) + " twice.pcbdoc");
        // A document that cannot be read is input nothing can be made of.
        EXPECT_EQ(run.exitCode, 3) << verb << ": " << run.err;
        EXPECT_NE(run.err.find("two nets share the name 'GND'"), std::string::npos)
            << verb << ": " << run.err;
        EXPECT_EQ(Read(doc), bytes) << verb;
    }
}

TEST_F(HostileInput, FileBlocksNeitherHangNorReachOutsideTheDesign) {
    struct Case {
        const char* block;
        const char* reason;
    };
    const Case cases[] = {
        {"(file 'self.dsn')", "it has been read already"},
        {"(file '/dev/zero')", "it is not a regular file"},
        {"(file '/etc/passwd')", "it lies outside the design's folder"},
    };
    for (const Case& c : cases) {
        Write("self.dsn",
              std::string("(pcb x (parser (constant A 1)) ") + c.block + " (unit mil))\n");
        const Outcome run = Harrow("import self.dsn");
        EXPECT_LT(seconds, 20.0) << c.block; // a sanitizer build; the release build takes ms
        EXPECT_NE(run.exitCode, 139) << c.block;
        const std::string report = Read(folder + "/self.rpt");
        EXPECT_NE(report.find("ERROR: Included file <"), std::string::npos)
            << c.block << ": " << report;
        EXPECT_NE(report.find(c.reason), std::string::npos) << c.block << ": " << report;
        EXPECT_EQ(report.find("root:"), std::string::npos) << "a line of /etc/passwd was read";
    }
}

TEST_F(HostileInput, StringQuoteWithoutACharacterLeavesTheDesignReadable) {
    Write("q.dsn", "(pcb x (parser (string_quote ) (constant A 'b c')) (structure (layer TOP))"
                   " (unit mil))\n");
    const Outcome run = Harrow("import q.dsn");
    EXPECT_EQ(run.exitCode, 1) << run.err; // translated, with errors in the report
    const std::string report = Read(folder + "/q.rpt");
    EXPECT_NE(report.find("ERROR: string_quote without a quote character in line 1"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("Unexpected token"), std::string::npos) << report;
}

TEST_F(HostileInput, ConstantsWithSeparatorsAndNulAreStoredWhole) {
    Write("c.dsn", std::string("(pcb x (parser (constant 'A") + '\0' + "B' 'x|y=z') " +
                       "(constant GAP 6)) (unit mil))\n");
    ASSERT_LT(Harrow("import c.dsn").exitCode, 2); // translated (the design has no sections)
    const Outcome listing = Harrow("embedded c.pcbdoc");
    // The listing comes on standard output, each carriage return a line break.
    EXPECT_NE(listing.out.find("CONSTCOUNT=2|C0=A%00B\nx%7Cy%3Dz|C1=GAP\n6"), std::string::npos)
        << listing.out;
}

TEST_F(HostileInput, CtrlCWithoutATerminalAbortsTheImport) {
    // Stray words enough to keep the reader busy for a while.
    std::string text = "(pcb x (unit mm)\n";
    text.reserve(24u << 20);
    while (text.size() < (24u << 20))
        text += "ab cd ef gh ij kl mn op qr st uv wx yz\n";
    text += ")\n";
    Write("big.dsn", text);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(120);
        const int null = open("/dev/null", O_RDWR);
        const int err = open((folder + "/.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null, 0);
        dup2(null, 1);
        dup2(err, 2);
        execl(kHarrow.c_str(), kHarrow.c_str(), "import", "big.dsn", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the reading runs (the progress bar is silent without a
    // terminal: wait for the engine to be loaded), then interrupt.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    kill(child, SIGINT);
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    waitpid(child, &status, 0);
    const double afterInterrupt =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string err = Read(folder + "/.err");
    ASSERT_TRUE(WIFEXITED(status)) << err;
    if (err.find("Confirm Abort") == std::string::npos)
        GTEST_SKIP() << "the import ended before the interrupt";
    EXPECT_NE(err.find("answer: Yes"), std::string::npos) << err;
    if (err.find("cancelled by the user") != std::string::npos) {
        // The interrupt came while harrow still looked at the file: the
        // command ends there and makes nothing.
        EXPECT_EQ(WEXITSTATUS(status), 3) << err;
        EXPECT_FALSE(std::filesystem::exists(folder + "/big.pcbdoc")) << err;
    } else {
        EXPECT_NE(Read(folder + "/big.rpt").find("Reading aborted by the user"), std::string::npos)
            << err;
    }
    EXPECT_LT(afterInterrupt, 10.0);
}
