// Route and session exports through harrow, in scratch folders: the file names
// of the batch run and of a design named with a blank, and a file that cannot
// be saved (a read-only folder, a disk that fills) leaving the old file whole.
#include "support/ScratchShell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using ::testing::HasSubstr;

using testshell::Outcome;
using testshell::Quote;
using testshell::Read;

namespace fs = std::filesystem;

const char* const kDesign =
    "(pcb demo (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
    " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
    "  (boundary (rect pcb 0 0 2000 1000)) (via V))\n"
    " (library (padstack V (shape (circle signal 20))))\n"
    " (network (net \"Net-(R1-Pad1)\") (net GND))\n"
    " (wiring\n"
    "  (wire (path Top 10 100 200 300 200) (net \"Net-(R1-Pad1)\") (type fix))\n"
    "  (wire (path Bottom 8 300 200 300 400 500 400) (net GND))))\n";

using ExportCommands = testshell::ScratchFolderTest;

// Via numbers 1 (twice) and 3, one via at board X = -16 (the board offset is
// 2100 mil), a bottom component at 90 degrees and a fixed wire.
const char* const kNumberedVias =
    "(pcb e (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
    " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
    "  (boundary (rect pcb -100 -100 2000 1000)) (via V1 V2))\n"
    " (library (image R (pin P1 1 0 0) (pin P1 2 100 0))\n"
    "  (padstack P1 (shape (rect Top -30 0 30 40)) (shape (circle Bottom 50)))\n"
    "  (padstack V1 (shape (circle signal 40))) (padstack V2 (shape (circle signal 60))))\n"
    " (placement (component R (place R1 500 500 back 90)))\n"
    " (network (net A (pins R1-1)) (net B (pins R1-2)))\n"
    " (wiring (via V1 -2100.0016 100 (net A) (via_number 1))\n"
    "  (via V2 300 100 (net A) (via_number 1)) (via V2 400 200 (net B) (via_number 3))\n"
    "  (wire (path Top 10 0 0 100 0) (net A) (type fix))))\n";

// Each step runs harrow and then looks at one file of the scratch folder
// (".out" is harrow's standard output, ".err" its messages): the text must
// be in it, or, with an empty text, the file must not exist.
TEST_F(ExportCommands, EdgeCasesThroughTheCommandLine) {
    Write("e.dsn", kNumberedVias);
    Write("b.dsn", kDesign);
    Write("my demo.dsn", kDesign);
    const struct {
        const char* Arguments;
        const char* File;
        const char* Text;
    } steps[] = {
        {"import e.dsn --ses e.ses --rte RenameDSN --literal", "e.ses",
         "(via V1 -5334004 254000 (via_number 1))\r\n"},
        {"", "e.ses", "(via V2 762000 254000 (via_number 1))\r\n"},
        {"", "e.ses", "(via V2 1016000 508000 (via_number 3))\r\n"},
        {"", "e.ses", "(place R1 1270000 1270000 back -90)\r\n"},
        // Pad shapes with a 0 coordinate come back at 0, not at the offset.
        {"", "e.ses", "(rect TOP -76200 0 76200 101600)"},
        {"", "e.ses", "(circle BOTTOM 127000 0 0)"},
        // Every translation keeps its own report.
        {"", "e.rpt", "Design File : e.dsn\r\n"},
        {"", "e.rte.rpt", "Design File : e.rte\r\n"},
        {"", "e.ses.rpt", "Design File : e.ses\r\n"},
        {"embedded e.pcbdoc", ".out", "ID=1|ChunkIdx=0\nDescription: C=2|X0=FFFFFFF0|"},
        {"", ".out", "ID=3|ChunkIdx=0\nDescription: C=1|"},
        // Without the stored padstacks: the file is written, its library empty.
        {"run --board e.pcbdoc DeleteEmbeddedObjects --yes", ".err", "wrote e.pcbdoc"},
        {"export e.pcbdoc --rte e2.rte --literal", ".err",
         "You can export routes only for pcb files previously imported as design files."},
        {"", "e2.rte", "  (library_out \r\n  )\r\n"},
        // The batch run: the route file beside the design, no report at all.
        {"import b.dsn --autoroute --rte RenameDSN", "b.rte", "(routes \r\n"},
        {"", "b.rpt", ""},
        {"", "b.rte.rpt", ""},
        // harrow hands the command whole paths; blanks become underscores.
        {"import 'my demo.dsn' --ses 'my demo.ses' --rte RenameDSN --literal", "my demo.ses",
         "/my_demo.ses\r\n    (base_design "},
        {"", "my demo.ses", "/my_demo.dsn)\r\n    (placement \r\n"},
        {"", "my demo.ses",
         "    (routes \r\n      (resolution mm  100000)\r\n      (parser \r\n      )\r\n"
         "      (structure_out \r\n      )\r\n      (library_out \r\n"},
        // The fixed wire may not move: it comes back as a route wire; the other
        // wire's segments have no type line. 10 mil is 25400 steps.
        {"", "my demo.ses",
         "      (network_out \r\n        (net GND\r\n          (wire (path BOTTOM 20320\r\n"
         "                762000 508000 \r\n                762000 1016000 \r\n"
         "                )\r\n          )\r\n"},
        {"", "my demo.ses",
         "(net 'Net-(R1-Pad1)'\r\n          (wire (path TOP 25400\r\n"
         "                254000 508000 \r\n                762000 508000 \r\n"
         "                )\r\n                (type route)\r\n"},
        {"", "my demo.ses", "      (test_points \r\n      )\r\n    )\r\n)\r\n"},
        {"", "my demo.rte", "(routes \r\n  (resolution mm  100000)\r\n  (parser \r\n"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.Arguments) + " -> " + step.File);
        if (*step.Arguments) {
            ASSERT_LT(Harrow(step.Arguments).exitCode, 2) << Read(folder + "/.err");
        }
        const std::string path = folder + "/" + step.File;
        if (!*step.Text)
            EXPECT_FALSE(fs::exists(path));
        else
            EXPECT_NE(Read(path).find(step.Text), std::string::npos) << Read(path);
    }
}

TEST_F(ExportCommands, ReadOnlyFolderKeepsTheOldFileAndNamesIt) {
    Write("d.dsn", kDesign);
    ASSERT_LT(Harrow("import d.dsn").exitCode, 2); // translated
    fs::create_directory(folder + "/out");
    const std::string old = Write("out/d.rte", "(routes old)\n");
    fs::permissions(folder, fs::perms::all);
    fs::permissions(folder + "/d.pcbdoc", fs::perms::all);
    fs::permissions(folder + "/out", fs::perms(0755));
    // As an ordinary user (root ignores folder permissions).
    const std::string user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (std::system((user + "true").c_str()) != 0)
        GTEST_SKIP() << "cannot give up the rights that ignore folder permissions";
    Outcome run = Harrow("export d.pcbdoc --rte out/d.rte --no-save", user);
    EXPECT_NE(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("out/d.rte"));
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
    EXPECT_THAT(run.err, HasSubstr("d.ses"));
    EXPECT_EQ(Read(old), "(session old)\n");
}

} // namespace
