// Hostile input through harrow, end to end and without a terminal: a board
// document that names one net twice, designs whose "file" blocks include
// themselves or files outside the design, a string_quote without a quote
// character, constants holding the record's own separators, and Ctrl-C;
// two harrows writing one board, outputs that are links or inputs, devices
// and pipes named as designs, documents with views, names holding a NUL,
// coordinates beyond the board, a file-size limit, read-only pictures and
// the JSON of a failed run.
// Each ends in time, with a clear message and no crash, and changes no
// document it should not.
#include "support/ScratchShell.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using testshell::Outcome;
using testshell::Read;

const std::string kHarrow = std::string(DSNLINK_BIN_DIR) + "/harrow";

// A small design of one component and one net, its names made from `tag`.
std::string SmallDesign(const std::string& tag, int x = 100) {
    return "(pcb " + tag + " (parser (string_quote \")) (unit mil)\n" +
           " (structure (layer TOP (type signal)) (boundary (rect pcb 0 0 2000 2000)))\n" +
           " (placement (component R (place " + tag + "1 " + std::to_string(x) +
           " 100 front 0)))\n" + " (library (image R (pin P 1 0 0) (pin P 2 50 0))" +
           " (padstack P (shape (circle TOP 20))))\n" + " (network (net " + tag + "NET (pins " +
           tag + "1-1 " + tag + "1-2)))\n)\n";
}

class HostileInput : public testshell::ScratchFolderTest {
protected:
    Outcome Harrow(const std::string& arguments, const std::string& prefix = std::string()) {
        const auto start = std::chrono::steady_clock::now();
        Outcome run = ScratchFolderTest::Harrow(arguments, prefix);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return run;
    }
    // Imports SmallDesign(tag) as STEM.dsn; `doc` is its board, STEM.pcbdoc.
    void Import(const std::string& stem, const std::string& tag) {
        Write(stem + ".dsn", SmallDesign(tag));
        ASSERT_EQ(Harrow("import " + stem + ".dsn").exitCode, 0)
            << Read(folder + "/" + stem + ".rpt");
        doc = folder + "/" + stem + ".pcbdoc";
    }
    double seconds = 0;
    std::string doc;
};

// Whether `run` ended with `exitCode` and said `said` on standard error.
::testing::AssertionResult Ended(const Outcome& run, int exitCode, const std::string& said) {
    if (run.exitCode == exitCode && run.err.find(said) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << run.exitCode << ", not " << exitCode
                                         << " saying \"" << said << "\": " << run.err;
}

// Runs `statement` on the document `doc`.
void Sql(const std::string& doc, const char* statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(doc.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK) << statement;
    sqlite3_close(db);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

TEST_F(HostileInput, ABoardWithTwoNetsOfOneNameIsRefusedByName) {
    ASSERT_NO_FATAL_FAILURE(Import("twice", "T"));
    Sql(doc, "INSERT INTO objects SELECT (SELECT max(id) + 1 FROM objects), kind, container, "
             "net, record "
             "FROM objects WHERE kind = 8");
    const std::string bytes = Read(doc);
    for (const char* verb : {"show", "show --json", "embedded", "export"}) {
        // A document that cannot be read is input nothing can be made of.
        EXPECT_TRUE(
            Ended(Harrow(std::string(verb) + " twice.pcbdoc"), 3, "two nets share the name 'TNET'"))
            << verb;
        EXPECT_EQ(Read(doc), bytes) << verb;
    }
}

TEST_F(HostileInput, FileBlocksNeitherHangNorReachOutsideTheDesign) {
    for (const auto& [block, reason] :
         {std::pair{"(file 'self.dsn')", "it has been read already"},
          {"(file '/dev/zero')", "it is not a regular file"},
          {"(file '/etc/passwd')", "it lies outside the design's folder"}}) {
        Write("self.dsn",
              std::string("(pcb x (parser (constant A 1)) ") + block + " (unit mil))\n");
        const Outcome run = Harrow("import self.dsn");
        EXPECT_LT(seconds, 20.0) << block; // a sanitizer build; the release build takes ms
        EXPECT_NE(run.exitCode, 139) << block;
        const std::string report = Read(folder + "/self.rpt");
        EXPECT_THAT(report, HasSubstr("ERROR: Included file <")) << block;
        EXPECT_THAT(report, HasSubstr(reason)) << block;
        EXPECT_THAT(report, Not(HasSubstr("root:"))) << "a line of /etc/passwd was read";
    }
}

TEST_F(HostileInput, StringQuoteWithoutACharacterLeavesTheDesignReadable) {
    Write("q.dsn", "(pcb x (parser (string_quote ) (constant A 'b c')) (structure (layer TOP))"
                   " (unit mil))\n");
    const Outcome run = Harrow("import q.dsn");
    EXPECT_EQ(run.exitCode, 1) << run.err; // translated, with errors in the report
    const std::string report = Read(folder + "/q.rpt");
    EXPECT_THAT(report, HasSubstr("ERROR: string_quote without a quote character in line 1"));
    EXPECT_THAT(report, Not(HasSubstr("Unexpected token")));
}

TEST_F(HostileInput, ConstantsWithSeparatorsAndNulAreStoredWhole) {
    Write("c.dsn", std::string("(pcb x (parser (constant 'A") + '\0' + "B' 'x|y=z') " +
                       "(constant GAP 6)) (unit mil))\n");
    ASSERT_LT(Harrow("import c.dsn").exitCode, 2); // translated (the design has no sections)
    const Outcome listing = Harrow("embedded c.pcbdoc");
    // The listing comes on standard output, each carriage return a line break.
    EXPECT_THAT(listing.out, HasSubstr("CONSTCOUNT=2|C0=A%00B\nx%7Cy%3Dz|C1=GAP\n6"));
}

TEST_F(HostileInput, CtrlCWithoutATerminalAbortsTheImport) {
    // Stray words enough to keep the reader busy for a while.
    std::string text = "(pcb x (unit mm)\n";
    while (text.size() < (24u << 20))
        text += "ab cd ef gh ij kl mn op qr st uv wx yz\n";
    Write("big.dsn", text + ")\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(120);
        const int null = open("/dev/null", O_RDWR);
        const int err = open((folder + "/.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null, 0), dup2(null, 1), dup2(err, 2);
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
    EXPECT_THAT(err, HasSubstr("answer: Yes"));
    if (err.find("cancelled by the user") != std::string::npos) {
        // The interrupt came while harrow still looked at the file: the
        // command ends there and makes nothing.
        EXPECT_EQ(WEXITSTATUS(status), 3) << err;
        EXPECT_FALSE(std::filesystem::exists(folder + "/big.pcbdoc")) << err;
    } else {
        EXPECT_THAT(Read(folder + "/big.rpt"), HasSubstr("Reading aborted by the user")) << err;
    }
    // The report says the reading stopped; the bound only catches a reader
    // that never looks for the interrupt. A sanitized build on a busy
    // machine takes up to 20 s to wind down.
    EXPECT_LT(afterInterrupt, 45.0);
}

TEST_F(HostileInput, ASecondWriterWaitsForTheBoardItHoldsAndLosesNoUpdate) {
    Write("b.dsn", SmallDesign("BRAVO", 600));
    ASSERT_NO_FATAL_FAILURE(Import("a", "ALPHA"));
    // Held as another harrow holds it, and let go after a while: the import
    // waits for it, says so, and then adds its design to the board.
    const int fd = ::open(doc.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ::close(fd);
    });
    const Outcome waited = Harrow("import-into a.pcbdoc b.dsn");
    release.join();
    EXPECT_TRUE(Ended(waited, 0, "waiting for a.pcbdoc, held by another harrow"));
    EXPECT_GE(seconds, 1.4) << "the board was written while another held it";
    const std::string dump = Harrow("show a.pcbdoc --json").out;
    EXPECT_THAT(dump, AllOf(HasSubstr("\"ALPHA1\""), HasSubstr("\"BRAVO1\"")));

    // Held past the bound: refused, named, and the board left as it was.
    const std::string before = Read(doc);
    const int again = ::open(doc.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(again, 0);
    ASSERT_EQ(::flock(again, LOCK_EX), 0);
    Write("c.dsn", SmallDesign("CHARLIE", 1100));
    for (const char* verb :
         {"import-into a.pcbdoc c.dsn", "import c.dsn -o a.pcbdoc", "embedded a.pcbdoc --delete"}) {
        EXPECT_TRUE(Ended(Harrow(std::string(verb) + " --wait 0.3"), 2,
                          "a.pcbdoc is held by another harrow"))
            << verb;
        EXPECT_EQ(Read(doc), before) << verb;
    }
    // Readers do not wait.
    EXPECT_EQ(Harrow("show a.pcbdoc --wait 0").exitCode, 0);
    ::close(again);
}

TEST_F(HostileInput, TwoImportsIntoOneBoardAtOnceBothSurvive) {
    ASSERT_NO_FATAL_FAILURE(Import("base", "BASE"));
    const char* tags[] = {"DELTA", "ECHO", "FOXTROT"};
    std::string script;
    int x = 500;
    for (const char* tag : tags) {
        Write(std::string(tag) + ".dsn", SmallDesign(tag, x));
        x += 400;
        script += testshell::Quote(kHarrow) + " -q import-into base.pcbdoc " + tag + ".dsn & ";
    }
    const Outcome run = Run("bash", "-c " + testshell::Quote(script + "wait"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = Harrow("show base.pcbdoc --json").out;
    for (const char* tag : tags)
        EXPECT_THAT(dump, HasSubstr(std::string("\"") + tag + "1\"")) << tag << " was lost";
}

TEST_F(HostileInput, PicturesNeverWriteThroughALinkOrOverTheBoard) {
    ASSERT_NO_FATAL_FAILURE(Import("d", "D"));
    const std::string bytes = Read(doc);
    ASSERT_EQ(::symlink("d.pcbdoc", (folder + "/soft.svg").c_str()), 0);
    ASSERT_EQ(::link(doc.c_str(), (folder + "/hard.html").c_str()), 0);
    for (const char* verb :
         {"show d.pcbdoc --svg soft.svg", "show d.pcbdoc --svg hard.html", "view d.pcbdoc soft.svg",
          "view d.pcbdoc hard.html", "view d.pcbdoc d.pcbdoc", "view d.pcbdoc soft.svg --force"}) {
        EXPECT_TRUE(Ended(Harrow(verb), 2, "it is the board d.pcbdoc")) << verb;
        EXPECT_EQ(Read(doc), bytes) << verb << " changed the board";
    }
    // A link planted where the page goes is replaced; what it led to stays.
    Write("victim.txt", "keep me");
    ASSERT_EQ(::symlink("victim.txt", (folder + "/d.html").c_str()), 0);
    ASSERT_EQ(::symlink("victim.txt", (folder + "/p.svg").c_str()), 0);
    EXPECT_EQ(Harrow("view d.pcbdoc").exitCode, 0);
    EXPECT_EQ(Harrow("show d.pcbdoc --svg p.svg").exitCode, 0);
    EXPECT_EQ(Read(folder + "/victim.txt"), "keep me");
    for (const char* page : {"/d.html", "/p.svg"}) {
        struct stat info {};
        ASSERT_EQ(::lstat((folder + page).c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << page << " is still a link";
        EXPECT_THAT(Read(folder + page), HasSubstr("<svg")) << page;
    }
}

TEST_F(HostileInput, AnOutputThatIsAnInputOrAnotherOutputIsRefused) {
    const std::string design = SmallDesign("E");
    Write("e.dsn", design);
    ASSERT_EQ(::link((folder + "/e.dsn").c_str(), (folder + "/twin.pcbdoc").c_str()), 0);
    for (const char* verb :
         {"import e.dsn -o e.dsn", "import e.dsn --rte e.dsn", "import e.dsn --ses e.dsn",
          "tokens e.dsn -o e.dsn", "import e.dsn -o e.rpt", "import e.dsn -o twin.pcbdoc",
          "import e.dsn --rte out.x --ses out.x"}) {
        EXPECT_TRUE(Ended(Harrow(verb), 2, "cannot write")) << verb;
        EXPECT_EQ(Read(folder + "/e.dsn"), design) << verb << " replaced the design";
        for (const char* made : {"/e.rpt", "/e.pcbdoc", "/out.x"})
            EXPECT_FALSE(Exists(folder + made)) << verb << " made " << made;
    }
    // The board as a route file of its own export.
    ASSERT_EQ(Harrow("import e.dsn").exitCode, 0);
    const std::string board = Read(folder + "/e.pcbdoc");
    const Outcome exported = Harrow("export e.pcbdoc --rte e.pcbdoc");
    EXPECT_EQ(exported.exitCode, 2) << exported.err;
    EXPECT_EQ(Read(folder + "/e.pcbdoc"), board);
}

TEST_F(HostileInput, EveryPathThatOpensADesignRefusesDevicesAndPipes) {
    ASSERT_EQ(::symlink("/dev/zero", (folder + "/z.dsn").c_str()), 0);
    ASSERT_EQ(::mkfifo((folder + "/f.dsn").c_str(), 0644), 0);
    for (const char* name : {"z.dsn", "f.dsn"}) {
        for (const std::string& verb : {std::string("run ImportSpecctraDesignFile DsnFile=") + name,
                                        std::string("run DebugParseDSN --dialog ") + name}) {
            EXPECT_TRUE(Ended(Harrow(verb, "timeout -s KILL 60 "), 2,
                              std::string("\"") + name + "\": it is not a regular file"))
                << verb;
        }
    }
}

TEST_F(HostileInput, ADocumentWithViewsIsRefusedBeforeAnythingRunsThroughThem) {
    ASSERT_NO_FATAL_FAILURE(Import("v", "V"));
    // Every table but meta answered by a query that never ends.
    Sql(doc, "ALTER TABLE objects RENAME TO objects_kept; CREATE VIEW objects AS WITH RECURSIVE "
             "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT o.* FROM n, objects_kept o;");
    const std::string bytes = Read(doc);
    for (const char* verb : {"show v.pcbdoc", "import-into v.pcbdoc v.dsn"}) {
        EXPECT_TRUE(Ended(Harrow(verb, "timeout -s KILL 60 "), 3,
                          "is not a board document (wrong schema: it holds a table 'objects_kept'"))
            << verb;
        EXPECT_EQ(Read(doc), bytes) << verb;
    }
}

TEST_F(HostileInput, NamesHoldingANulAreReportedNotMerged) {
    const std::string nul(1, '\0');
    Write("n.dsn", "(pcb x (parser (string_quote \")) (unit mil)\n"
                   " (structure (layer TOP (type signal)) (boundary (rect pcb 0 0 1000 1000)))\n"
                   " (placement (component R (place \"U" +
                       nul + "1\" 100 100 front 0) (place \"U" + nul +
                       "2\" 300 100 front 0) (place R9 500 100 front 0)))\n"
                       " (library (image R (pin P 1 0 0) (pin P 2 50 0))"
                       " (padstack P (shape (circle TOP 20))))\n"
                       " (network (net \"N" +
                       nul + "one\" (pins R9-1)) (net \"N" + nul + "two\" (pins R9-2)))\n)\n");
    const Outcome run = Harrow("import n.dsn");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string report = Read(folder + "/n.rpt");
    for (const char* line :
         {"ERROR: Component U\\01 in line 3 is not placed: its name holds a NUL character",
          "ERROR: Component U\\02 in line 3 is not placed: its name holds a NUL character",
          "ERROR: The name N\\0one holds a NUL character, which no board name can hold. Line: 5",
          "ERROR: The name N\\0two holds a NUL character, which no board name can hold. Line: 5"})
        EXPECT_THAT(report, HasSubstr(line)) << line;
    EXPECT_THAT(report, Not(HasSubstr(nul))) << "a NUL reached the report";
    const std::string dump = Harrow("show n.pcbdoc --json").out;
    // Neither a net nor a component cut at the NUL.
    EXPECT_THAT(dump, AllOf(Not(HasSubstr("\"N\"")), Not(HasSubstr("\"U\"")), HasSubstr("\"R9\"")));
}

TEST_F(HostileInput, CoordinatesBeyondTheBoardAreReportedAndNeverWrap) {
    Write("b.dsn",
          testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/host/data/beyond-range.dsn"));
    const Outcome run = Harrow("import b.dsn");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string report = Read(folder + "/b.rpt");
    for (const char* line :
         {"ERROR: Rectangular Shape on PCB at (1000, 99999999999) lies outside the coordinate "
          "range of the board; it is not imported.",
          "ERROR: Component U1 lies outside the coordinate range of the board; it is not "
          "imported.",
          "ERROR: Polyline Shape on TOP at (99999999999, 500) lies outside the coordinate range",
          "ERROR: Via V at (99999999999, 100) lies outside the coordinate range"})
        EXPECT_THAT(report, HasSubstr(line)) << line;
    const std::string dump = Harrow("show b.pcbdoc --json").out;
    // Nothing clamped to the end of the range, nothing wrapped past it.
    for (const char* end : {"2147483647", ":-2146"}) {
        const std::size_t at = dump.find(end);
        EXPECT_EQ(at, std::string::npos)
            << end << " in "
            << dump.substr(at == std::string::npos ? 0 : at - std::min<std::size_t>(at, 200), 300);
    }
    EXPECT_THAT(dump, HasSubstr("\"U2\"")) << "the component in range was lost";
}

TEST_F(HostileInput, ASaveBeyondTheFileSizeLimitIsReportedAndLeavesTheBoard) {
    std::string design = SmallDesign("F");
    // Enough components for a board of well over 64 KB.
    std::string places;
    for (int i = 0; i < 300; ++i)
        places += " (place F" + std::to_string(i + 2) + " " + std::to_string(100 + (i % 30) * 60) +
                  " " + std::to_string(100 + (i / 30) * 150) + " front 0)";
    const std::string first = "front 0)))"; // the first place, its component, the placement
    design.replace(design.find(first), first.size(), "front 0)" + places + "))");
    Write("f.dsn", design);
    ASSERT_EQ(Harrow("import f.dsn").exitCode, 0);
    const std::string board = Read(folder + "/f.pcbdoc");
    ASSERT_GT(board.size(), 64u * 1024);
    const Outcome run = Harrow("import f.dsn --json", "ulimit -f 64 && ");
    EXPECT_TRUE(Ended(run, 2, "cannot save " + folder + "/f.pcbdoc: File too large"));
    EXPECT_THAT(run.out, HasSubstr("\"error\":\"cannot save"));
    EXPECT_EQ(Read(folder + "/f.pcbdoc"), board);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".saving-"))) << entry.path();
}

TEST_F(HostileInput, ForceReplacesEveryReadOnlyOutputAlike) {
    ASSERT_NO_FATAL_FAILURE(Import("g", "G"));
    std::string prefix;
    if (::geteuid() == 0) {
        // Root writes read-only files anyway: run harrow as nobody, in a
        // folder nobody may write.
        if (!Exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "running as root, and setpriv is missing to run harrow as nobody";
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        for (const char* name : {"/g.pcbdoc", "/g.dsn"})
            ASSERT_EQ(::chmod((folder + name).c_str(), 0644), 0);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    for (const auto& [name, verb] :
         {std::pair<std::string, std::string>{"g.html", "view g.pcbdoc g.html"},
          {"g.svg", "show g.pcbdoc --svg g.svg"}}) {
        const std::string path = Write(name, "old");
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        EXPECT_TRUE(Ended(Harrow(verb, prefix), 2,
                          "is read-only; it is not replaced (--force replaces it)"))
            << verb;
        const Outcome forced = Harrow(verb + " --force", prefix);
        EXPECT_EQ(forced.exitCode, 0) << verb << ": " << forced.err;
        EXPECT_THAT(Read(path), HasSubstr("<svg")) << name;
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0444u) << name << " lost its mode";
    }
}

TEST_F(HostileInput, JsonSaysWhatWentWrongOnEveryExit) {
    ASSERT_NO_FATAL_FAILURE(Import("j", "J"));
    ASSERT_EQ(::chmod(doc.c_str(), 0444), 0);
    for (const auto& [verb, error] :
         {std::pair{"import-into j.pcbdoc j.dsn --json", "j.pcbdoc is read-only"},
          {"import j.dsn -o missing/j.pcbdoc --json", "folder missing does not exist"},
          {"view j.pcbdoc missing/j.html --json", "folder missing does not exist"},
          {"import j.dsn --bogus --json", "unknown option"}}) {
        const Outcome run = Harrow(verb);
        EXPECT_EQ(run.exitCode, 2) << verb << ": " << run.err;
        ASSERT_FALSE(run.out.empty()) << verb;
        EXPECT_EQ(run.out.front(), '{') << verb << ": " << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_THAT(run.out,
                    AllOf(HasSubstr("\"error\":"), HasSubstr(error), HasSubstr("\"exit\":2}")))
            << verb;
    }
    const Outcome into = Harrow("import-into j.pcbdoc j.dsn --json");
    EXPECT_THAT(into.out, HasSubstr("\"verb\":\"import-into\",\"input\":\"" + folder + "/j.dsn\""));
}
