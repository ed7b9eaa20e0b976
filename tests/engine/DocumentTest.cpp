// Board documents: the full round trip into a new process, saves killed
// half-way, damaged and foreign files, unwritable folders and a full disk.
#include "support/TempFolder.h"
#include "support/SampleBoard.h"
#include "support/SaveInChild.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(DSNLINK_BIN_DIR) + "/corvane_doc_tool";

using testfs::TempFolder;

// The sample board, saved as `doc` and left open.
CorvaneBoard SavedSampleBoard(const fs::path& doc) {
    char error[512] = {};
    CorvaneBoard board = Corvane_NewBoard(doc.c_str(), error, sizeof error);
    EXPECT_NE(board, 0) << error;
    FillSampleBoard(board);
    EXPECT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    return board;
}

std::string Dump(CorvaneBoard board, const fs::path& out) {
    char error[512] = {};
    EXPECT_EQ(Corvane_DumpBoardJson(board, out.c_str(), error, sizeof error), 1) << error;
    return testfs::ReadFile(out);
}

// Dumps a document from a separate process.
std::string DumpInNewProcess(const fs::path& doc, const fs::path& out) {
    std::string cmd = kTool + " dump '" + doc.string() + "' '" + out.string() + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return testfs::ReadFile(out);
}

} // namespace

TEST(EngineDocuments, EveryKindSurvivesSaveAndReopenInANewProcess) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "helper " << kTool << " not built";
    TempFolder dir;
    fs::path doc = dir.path / "sample.pcbdoc";
    char error[512] = {};
    CorvaneBoard board = SavedSampleBoard(doc);
    ASSERT_NE(board, 0);
    EXPECT_EQ(Corvane_IsBoardModified(board), 0);
    std::string before = Dump(board, dir.path / "before.json");
    std::string after = DumpInNewProcess(doc, dir.path / "after.json");
    EXPECT_EQ(before, after);

    // The dump names what a reader needs, without handles.
    for (const char* needle : {"\"Track\"",
                               "\"Arc\"",
                               "\"Fill\"",
                               "\"Via\"",
                               "\"Pad\"",
                               "\"Text\"",
                               "\"Net\"",
                               "\"Component\"",
                               "\"Polygon\"",
                               "\"Region\"",
                               "\"Class\"",
                               "\"Rule\"",
                               "\"ManualFromTo\"",
                               "\"Embedded\"",
                               "\"SplitPlane\"",
                               "\"BoardOutline\"",
                               "\"Description\":\"payload|with=pipes\\nand lines\"",
                               "\"MemberList\":[\"GND\",\"VCC\"]",
                               "\"MemberList\":[]",
                               "\"Gap\":123456",
                               "\"LayerStack\":[1,39,2,32]",
                               "\"Polygon\":\"Polygon#1\"",
                               "\"Net\":\"SIG\\\"1\\\\x\"",
                               "\"NetName\":\"GND\"",
                               "\"OriginX\":123450",
                               "\"V7_HighLayer\":2",
                               "\"Height\":15000"})
        EXPECT_NE(before.find(needle), std::string::npos) << needle;

    // Reopened in this process too (after closing), and saved again: same
    // bytes in the dump; the second document has the same tables.
    Corvane_CloseBoard(board);
    board = Corvane_OpenBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    EXPECT_EQ(Corvane_OpenBoard(doc.c_str(), error, sizeof error), board) << "already open";
    EXPECT_EQ(Dump(board, dir.path / "again.json"), before);
    fs::path copy = dir.path / "copy.pcbdoc";
    ASSERT_EQ(Corvane_SaveBoard(board, copy.c_str(), error, sizeof error), 1) << error;
    char name[PCBAPI_TEXT_CAPACITY];
    Corvane_GetBoardFileName(board, name, sizeof name);
    EXPECT_EQ(fs::path(name), copy) << "save-as renames the board";
    Corvane_CloseBoard(board);
    EXPECT_EQ(DumpInNewProcess(copy, dir.path / "copy.json"), before);
    if (std::system("command -v sqlite3 > /dev/null") == 0) {
        fs::path tables = dir.path / "tables.txt";
        ASSERT_EQ(
            std::system(
                ("sqlite3 '" + copy.string() + "' .tables > '" + tables.string() + "'").c_str()),
            0);
        std::string listed = testfs::ReadFile(tables);
        for (const char* table : {"board", "layers", "layer_pairs", "objects", "meta"})
            EXPECT_NE(listed.find(table), std::string::npos) << listed;
    }
}

TEST(EngineDocuments, KilledSaveLeavesThePreviousDocumentWhole) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "helper " << kTool << " not built";
    TempFolder dir;
    fs::path doc = dir.path / "board.pcbdoc";
    CorvaneBoard board = SavedSampleBoard(doc);
    std::string before = Dump(board, dir.path / "before.json");
    Corvane_CloseBoard(board);
    const std::string bytesBefore = testfs::ReadFile(doc);

    // A child saves a large board over the document; it is killed as soon as
    // its temporary file appears, then at later moments in further rounds.
    for (int delayMs : {0, 50, 200}) {
        const SaveInChild save = StartBigSave(kTool, doc, "400000");
        ASSERT_GE(save.pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(save.pid, SIGKILL);
        int status = 0;
        waitpid(save.pid, &status, 0);
        EXPECT_TRUE(save.started) << "the save never started";
        ASSERT_TRUE(WIFSIGNALED(status))
            << "the save finished before the kill (delay " << delayMs << " ms)";
        EXPECT_EQ(testfs::ReadFile(doc), bytesBefore) << "delay " << delayMs;
        EXPECT_EQ(DumpInNewProcess(doc, dir.path / "after.json"), before) << "delay " << delayMs;
    }
}

TEST(EngineDocuments, DamagedAndForeignFilesAreRefusedWithAReason) {
    TempFolder dir;
    fs::path good = dir.path / "good.pcbdoc";
    char error[512] = {};
    CorvaneBoard board = Corvane_NewBoard(good.c_str(), error, sizeof error);
    FillTracks(board, 20000, 50);
    ASSERT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(board);
    const std::string bytes = testfs::ReadFile(good);
    ASSERT_GT(bytes.size(), 100000u);

    auto write = [&](const char* name, const std::string& content) {
        fs::path p = dir.path / name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    };
    struct Case {
        fs::path file;
        const char* expect;
    };
    // The second page's first 4 KiB scrambled (the page size is in the
    // file's header, big-endian at offset 16; 1 stands for 65536).
    const size_t stated =
        size_t{static_cast<unsigned char>(bytes[16])} << 8 | static_cast<unsigned char>(bytes[17]);
    const size_t pageSize = stated == 1 ? 65536 : stated;
    ASSERT_GT(bytes.size(), pageSize + 4096);
    std::string flipped = bytes;
    for (size_t i = pageSize; i < pageSize + 4096; ++i)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    std::vector<Case> cases = {
        {dir.path / "missing.pcbdoc", "No such file"},
        {write("empty.pcbdoc", ""), "not an SQLite database"},
        {write("text.pcbdoc", "(pcb \"not a board\")\n"), "not an SQLite database"},
        {write("truncated.pcbdoc", bytes.substr(0, bytes.size() / 2)), "damaged"},
        {write("header.pcbdoc", bytes.substr(0, 100)), ""},
        {write("flipped.pcbdoc", flipped), ""},
    };
    fs::path foreign = dir.path / "foreign.pcbdoc";
    // A valid SQLite database of some other program (made when the shell is
    // there).
    if (std::system(("sqlite3 '" + foreign.string() +
                     "' 'CREATE TABLE t(x); INSERT INTO t VALUES(1);' 2>/dev/null")
                        .c_str()) != 0)
        fs::remove(foreign);
    if (fs::exists(foreign))
        cases.push_back({foreign, "wrong schema"});
    for (const Case& c : cases) {
        std::string reason = OpenError(c.file);
        EXPECT_FALSE(reason.empty()) << c.file << " was opened";
        EXPECT_NE(reason.find(c.expect), std::string::npos) << c.file << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << "one line: " << reason;
    }
    EXPECT_TRUE(OpenError(good).empty()) << "the intact document still opens";
}

TEST(EngineDocuments, ABrokenLayerStackIsRefused) {
    TempFolder dir;
    fs::path good = dir.path / "good.pcbdoc";
    Corvane_CloseBoard(SavedSampleBoard(good)); // stack 1, 39, 2, 32

    // Each edit keeps the file a sound database with stack links in range.
    const char* edits[] = {
        "UPDATE layers SET previous_layer = 32 WHERE id = 1;"
        "UPDATE layers SET next_layer = 1 WHERE id = 32", // a ring without a head
        "UPDATE layers SET next_layer = 1 WHERE id = 32", // a link without its reverse
        "UPDATE layers SET in_stack = 0 WHERE id = 39",   // a dropped layer still linked
        "UPDATE layers SET in_stack = 1 WHERE id = 3",    // a second head
    };
    int n = 0;
    for (const char* edit : edits) {
        const fs::path bad = dir.path / ("stack" + std::to_string(++n) + ".pcbdoc");
        fs::copy_file(good, bad);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(bad.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, edit, nullptr, nullptr, nullptr), SQLITE_OK) << edit;
        sqlite3_close(db);
        EXPECT_NE(OpenError(bad).find("layer stack"), std::string::npos) << edit;
    }
    EXPECT_TRUE(OpenError(good).empty()) << "the intact document still opens";
}

TEST(EngineDocuments, FullDiskAndMissingFolderKeepTheOldDocument) {
    TempFolder dir;
    const fs::path doc = dir.path / "board.pcbdoc";
    char error[512] = {};
    const CorvaneBoard board = SavedSampleBoard(doc);
    const std::string bytesBefore = testfs::ReadFile(doc);
    FillTracks(board, 200000, 100);

    // Full disk: the child may write only a few hundred kilobytes.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytesBefore.size() + 200000, bytesBefore.size() + 200000};
        setrlimit(RLIMIT_FSIZE, &limit);
        char childError[512] = {};
        int ok = Corvane_SaveBoard(board, nullptr, childError, sizeof childError);
        _exit(ok == 0 && std::strlen(childError) > 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "save on a full disk did not fail";
    EXPECT_EQ(testfs::ReadFile(doc), bytesBefore);
    EXPECT_EQ(SavingFiles(dir.path), 0) << "temporary file left behind";

    EXPECT_EQ(Corvane_SaveBoard(board, (dir.path / "no/such/folder/x.pcbdoc").c_str(), error,
                                sizeof error),
              0);
    EXPECT_NE(std::string(error).find("does not exist"), std::string::npos) << error;
    Corvane_CloseBoard(board);
}

TEST(EngineDocuments, UnwritableFolderKeepsTheOldDocument) {
    TempFolder dir;
    const fs::path doc = dir.path / "board.pcbdoc";
    char error[512] = {};
    const CorvaneBoard board = SavedSampleBoard(doc);
    const std::string bytesBefore = testfs::ReadFile(doc);
    FillTracks(board, 10, 2);
    fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec);

    // The save runs in a child that, started as root, first gives up its
    // rights, so that the folder's permissions apply to it as to any user.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                               setresuid(65534, 65534, 65534) != 0))
            _exit(2);
        if (access(dir.path.c_str(), W_OK) == 0)
            _exit(3);
        char childError[512] = {};
        const int saved = Corvane_SaveBoard(board, nullptr, childError, sizeof childError);
        const bool reasoned = std::strstr(childError, "not writable") != nullptr;
        _exit(saved == 0 && reasoned && Corvane_IsBoardModified(board) == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2 || WEXITSTATUS(status) == 3) {
        Corvane_CloseBoard(board);
        GTEST_SKIP() << "no way to give up the rights that ignore folder permissions";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "save into a read-only folder did not fail with a reason";
    EXPECT_EQ(testfs::ReadFile(doc), bytesBefore);

    // A folder standing where the document should go: the finished temporary
    // file cannot take its place and is removed again.
    fs::permissions(dir.path, fs::perms::owner_all);
    const fs::path taken = dir.path / "taken.pcbdoc";
    fs::create_directory(taken);
    EXPECT_EQ(Corvane_SaveBoard(board, taken.c_str(), error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("cannot save " + taken.string()), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(taken));
    EXPECT_EQ(SavingFiles(dir.path), 0) << "temporary file left behind";
    EXPECT_EQ(testfs::ReadFile(doc), bytesBefore);
    EXPECT_EQ(Corvane_IsBoardModified(board), 1);
    Corvane_CloseBoard(board);
}

TEST(EngineDocuments, NewBoardNamesMustBeFree) {
    TempFolder dir;
    fs::path doc = dir.path / "a.pcbdoc";
    char error[512] = {};
    CorvaneBoard a = Corvane_NewBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(a, 0);
    EXPECT_EQ(Corvane_NewBoard(doc.c_str(), error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("already open"), std::string::npos) << error;
    CorvaneBoard b = Corvane_NewBoard((dir.path / "b.pcbdoc").c_str(), error, sizeof error);
    EXPECT_EQ(Corvane_SaveBoard(b, doc.c_str(), error, sizeof error), 0) << "name taken by a";
    EXPECT_EQ(Corvane_NewBoard(nullptr, error, sizeof error), 0);
    Corvane_CloseBoard(a);
    Corvane_CloseBoard(b);
}

// A document holds each kind apart, so that a reopened board's objects are
// read far from the component they belong to and then gathered to it. Every
// object keeps its record, bit fields, net and place in each list.
TEST(EngineDocuments, ManyComponentsReadKindByKindComeBackWhole) {
    TempFolder dir;
    const fs::path doc = dir.path / "many.pcbdoc";
    char error[512] = {};
    CorvaneBoard board = Corvane_NewBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    std::vector<intptr_t> nets;
    for (int n = 0; n < 40; ++n)
        nets.push_back(AddNet(board, ("N" + std::to_string(n)).c_str()));
    for (int c = 0; c < 300; ++c) {
        const intptr_t comp = AddObject<Component>(board, 9, [&](Component& r) {
            r.pattern = Text(c % 2 ? "SOT23" : "R0603");
            r.c.x1 = 1000 * c;
        });
        for (int p = 0; p < 3; ++p) {
            const intptr_t pad = AddObject<Pad>(0, 2, [&](Pad& r) {
                r.c.x1 = 1000 * c + 100 * p;
                r.c.net = nets[static_cast<size_t>((c * 3 + p) % 40)];
                r.c.bitField = static_cast<uint16_t>(c % 7 == 0 ? 5 + p : 0);
                r.name = Text(std::to_string(p + 1).c_str());
            });
            ASSERT_EQ(PcbApi_AddObjectToContainer(comp, pad), 0);
        }
        const intptr_t track = AddObject<Track>(0, 4, [&](Track& r) {
            r.c.layer = c % 3 ? 33 : 34;
            r.c.index = static_cast<uint16_t>(c % 5);
            r.width = 1000 + c % 4;
        });
        ASSERT_EQ(PcbApi_AddObjectToContainer(comp, track), 0);
        if (c % 10 == 0) // free objects between
            AddObject<Via>(board, 3, [&](Via& v) { v.c.net = nets[static_cast<size_t>(c % 40)]; });
    }
    const std::string before = Dump(board, dir.path / "before.json");
    ASSERT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(board);
    board = Corvane_OpenBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    EXPECT_EQ(Dump(board, dir.path / "after.json"), before);
    // The walks by component and by net come in the order they did before.
    for (intptr_t comp : Walk(board, 9, 0, 0))
        EXPECT_EQ(Walk(board, 0, comp, 0).size(), 6u);
    for (intptr_t net : Walk(board, 8, 0, 0)) {
        std::vector<int32_t> xs;
        for (intptr_t m : Walk(board, 2, net, 0)) {
            Pad p;
            ASSERT_EQ(Query(1, m, p), 1);
            xs.push_back(p.c.x1);
        }
        EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end()));
    }
    Corvane_CloseBoard(board);
}
