// Route and session exports through harrow, in scratch folders: the file names
// of the batch run and of ReturnToHostPCB, and a file that cannot be saved (a
// read-only folder, a disk that fills) leaving the old file whole.
#include "support/ScratchShell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>

namespace {

using testshell::Outcome;
using testshell::Quote;
using testshell::Read;

namespace fs = std::filesystem;

const char* const kDesign =
    "(pcb demo (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
    " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
    "  (boundary (rect pcb 0 0 2000 1000)))\n"
    " (network (net \"Net-(R1-Pad1)\") (net GND))\n"
    " (wiring\n"
    "  (wire (path Top 10 100 200 300 200) (net \"Net-(R1-Pad1)\") (type fix))\n"
    "  (wire (path Bottom 8 300 200 300 400 500 400) (net GND))))\n";

class ExportCommands : public testshell::ScratchFolderTest {
protected:
    // Runs harrow in the scratch folder after the shell words of `prefix`.
    Outcome Harrow(const std::string& arguments, const std::string& prefix = std::string()) {
        const std::string command = "cd " + Quote(folder) + " && " + prefix +
                                    Quote(std::string(DSNLINK_BIN_DIR) + "/harrow") + " " +
                                    arguments + " </dev/null >" + Quote(folder + "/.out") + " 2>" +
                                    Quote(folder + "/.err");
        const int status = std::system(command.c_str());
        Outcome run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Read(folder + "/.out");
        run.err = Read(folder + "/.err");
        return run;
    }
};

TEST_F(ExportCommands, SessionNamedWithABlankAfterTheImport) {
    Write("my demo.dsn", kDesign);
    Outcome run = Harrow("import 'my demo.dsn' --ses 'my demo.ses' --rte RenameDSN");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string ses = Read(folder + "/my demo.ses");
    // harrow hands the command whole paths; blanks become underscores.
    EXPECT_EQ(ses.rfind("(session " + folder + "/my_demo.ses\r\n    (base_design " + folder +
                            "/my_demo.dsn)\r\n",
                        0),
              0u)
        << ses;
    // The fixed wire may not move: it comes back as a route wire; the other
    // wire's two segments have no type line. 10 mil is 25400 steps.
    EXPECT_NE(ses.find("(net 'Net-(R1-Pad1)'\r\n"), std::string::npos) << ses;
    EXPECT_NE(ses.find("(wire (path TOP 25400\r\n"), std::string::npos) << ses;
    EXPECT_NE(ses.find(")\r\n                (type route)\r\n"), std::string::npos) << ses;
    std::size_t types = 0;
    for (std::size_t at = ses.find("(type "); at != std::string::npos;
         at = ses.find("(type ", at + 1))
        ++types;
    EXPECT_EQ(types, 1u);
    const std::string rte = Read(folder + "/my demo.rte");
    EXPECT_EQ(rte.rfind("(routes \r\n  (resolution mm  100000)\r\n", 0), 0u) << rte;
    for (const char* block :
         {"(parser ", "(structure_out ", "(library_out ", "(network_out ", "(test_points "}) {
        EXPECT_NE(rte.find(std::string("\r\n  ") + block + "\r\n"), std::string::npos) << block;
        EXPECT_NE(ses.find(std::string("\r\n      ") + block + "\r\n"), std::string::npos) << block;
    }
}

TEST_F(ExportCommands, ReturnToHostWithQuitWritesBothFilesFirst) {
    Write("d.dsn", kDesign);
    ASSERT_LT(Harrow("import d.dsn").exitCode, 2); // translated
    Outcome run = Harrow("run --board d.pcbdoc ReturnToHostPCB "
                         "'RteFile=RenameDSN|SesFile=renamedsn|Quit=true'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("quit requested"), std::string::npos) << run.err;
    EXPECT_EQ(Read(folder + "/d.rte").rfind("(routes ", 0), 0u);
    EXPECT_EQ(Read(folder + "/d.ses").rfind("(session " + folder + "/d.ses\r\n", 0), 0u)
        << Read(folder + "/d.ses");
}

TEST_F(ExportCommands, ReadOnlyFolderKeepsTheOldFileAndNamesIt) {
    Write("d.dsn", kDesign);
    ASSERT_LT(Harrow("import d.dsn").exitCode, 2); // translated
    fs::create_directory(folder + "/out");
    const std::string old = Write("out/d.rte", "(routes old)\n");
    fs::permissions(folder, fs::perms::all);
    fs::permissions(folder + "/d.pcbdoc", fs::perms::all);
    fs::permissions(folder + "/out", fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    // As an ordinary user (root ignores folder permissions).
    const std::string user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (std::system((user + "true").c_str()) != 0)
        GTEST_SKIP() << "cannot give up the rights that ignore folder permissions";
    Outcome run = Harrow("export d.pcbdoc --rte out/d.rte --no-save", user);
    EXPECT_NE(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("out/d.rte"), std::string::npos) << run.err;
    EXPECT_EQ(Read(old), "(routes old)\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/out"), fs::directory_iterator()), 1)
        << "no temporary file left behind";
}

TEST_F(ExportCommands, DiskThatFillsDuringTheSaveKeepsTheOldFile) {
    Write("d.dsn", kDesign);
    ASSERT_LT(Harrow("import d.dsn").exitCode, 2); // translated
    const std::string old = Write("d.ses", "(session old)\n");
    // A file size limit of one block plays the full disk: the write fails
    // half way (SIGXFSZ ignored, so the write answers an error).
    Outcome run = Harrow("export d.pcbdoc --ses d.ses --no-save", "ulimit -f 1; trap '' XFSZ; ");
    EXPECT_NE(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("d.ses"), std::string::npos) << run.err;
    EXPECT_EQ(Read(old), "(session old)\n");
}

} // namespace
