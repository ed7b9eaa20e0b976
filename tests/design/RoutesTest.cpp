// Route and session files written from boards of the engine loaded into this
// process: the lines of each block, the board offset removed, tracks that may
// not move, test points, placement by footprint with bottom-side angles, file
// names with blanks, and the messages for boards not made from a design.
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include "board/BoardFacade.h"
#include "design/SpecctraRoutes.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

// Records the messages the model shows.
class TMessageHost : public IEscapeKeyHost {
public:
    bool EscapePressed() override { return false; }
    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    std::vector<std::string> Messages;
};

class RoutesFromBoard : public enginetest::EngineBoardTest {
protected:
    intptr_t Net(const std::string& name) {
        TPcbNet net(0);
        return Board::MakeAndAdd(board, net, [&](TPcbNet& n) { n.SetState_Name(name); });
    }
    intptr_t Track(intptr_t net, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool moveable,
                   TV6_Layer layer = eV6_TopLayer) {
        TPcbTrack track(0);
        return Board::MakeAndAdd(board, track, [&](TPcbTrack& t) {
            t.SetState_x1(x1);
            t.SetState_y1(y1);
            t.SetState_x2(x2);
            t.SetState_y2(y2);
            t.SetState_Width(100000);
            t.SetState_Layer(layer);
            t.SetState_Net(net);
            t.SetState_Moveable(moveable);
        });
    }
    void Record(const std::string& name) {
        ASSERT_TRUE(AddEmbeddedRecord(board, name, std::string()));
    }
    // Writes the file in memory and answers its text and report lines.
    template <class TRoot> std::string Write(const std::string& path = "b.ses") {
        ResetTranslationState();
        fs::create_directories(fs::path(Folder() + "/" + path).parent_path());
        TSpecctraWriter writer(Folder() + "/" + path);
        {
            TRoot root(path, nullptr, &writer, board);
            root.SetServices(THostServices{&host, nullptr, nullptr});
            root.ImportFromPcb();
            EXPECT_TRUE(root.ExportToFile());
            report = root.Report()->Events();
            writer.Flush();
        }
        return std::string(writer.Buffer());
    }
    std::string Folder() const { return scratch.path.string(); }

    std::vector<std::string> report;
    const testfs::TempFolder scratch;
    TMessageHost host;
};

TEST_F(RoutesFromBoard, RouteFileOfABoardNotMadeFromADesign) {
    const intptr_t gnd = Net("GND");
    Track(gnd, 10000, 20000, 30000, 20000, false);
    Track(gnd, 30000, 20000, 30000, -10000, true, eV6_BottomLayer);
    const std::string text = Write<TSpecctraRoutes>("b.rte");
    EXPECT_EQ(text, "(routes \r\n"
                    "  (resolution mm  100000)\r\n"
                    "  (parser \r\n  )\r\n"
                    "  (structure_out \r\n  )\r\n"
                    "  (library_out \r\n  )\r\n"
                    "  (network_out \r\n"
                    "    (net GND\r\n"
                    "      (wire (path 'Top Layer' 25400\r\n"
                    "            2540 5080 \r\n"
                    "            7620 5080 \r\n"
                    "            )\r\n"
                    "            (type route)\r\n"
                    "      )\r\n"
                    "      (wire (path 'Bottom Layer' 25400\r\n"
                    "            7620 5080 \r\n"
                    "            7620 -2540 \r\n"
                    "            )\r\n"
                    "      )\r\n"
                    "    )\r\n"
                    "  )\r\n"
                    "  (test_points \r\n  )\r\n"
                    ")\r\n");
    EXPECT_EQ(host.Messages,
              std::vector<std::string>{"You can export routes only for pcb files previously "
                                       "imported as design files."});
    EXPECT_TRUE(report.empty()) << "the message is not a report line";
}

TEST_F(RoutesFromBoard, StoredOffsetAndConstantsComeBackNetsInNameOrderQuotedWhenNeeded) {
    Record("Server=Ravel|Type=BoardOffset|X=25000000|Y=-10000");
    Record("Server=Ravel|Type=CONSTANTS|CONSTCOUNT=1|C0=W\r0.25");
    Record("Server=Ravel|Type=PadstackList|PDC=0");
    Track(Net("b"), 25000000, 0, 25010000, 0, true);
    Track(Net("Net-(U1-Pad2)"), 25000000, -10000, 25000000, 0, true);
    Track(Net("A"), 25000000, 0, 25000000, 10000, true);
    Track(Net("/Power In/5V"), 25000000, 0, 25000000, 10000, true);
    const std::string text = Write<TSpecctraRoutes>("b.rte");
    EXPECT_THAT(text, HasSubstr("  (parser \r\n    (constant W 0.25)\r\n  )\r\n"));
    // Byte order: upper case before lower case.
    std::size_t last = 0;
    for (const char* net : {"'/Power In/5V'", "A", "'Net-(U1-Pad2)'", "b"}) {
        const std::size_t at = text.find(std::string("(net ") + net + "\r\n");
        ASSERT_NE(at, std::string::npos) << net << "\n" << text;
        EXPECT_LT(last, at) << net;
        last = at;
    }
    // The offset is removed: board (25000000, -10000) is the design's (0, 0).
    EXPECT_THAT(text, HasSubstr("            0 0 \r\n            0 2540 \r\n"));
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(RoutesFromBoard, UnreadableStoredValuesAreReported) {
    Record("Server=Ravel|Type=BoardOffset|X=abc|Y=5");
    Record("Server=Ravel|Type=PadstackList|PDC=many");
    Write<TSpecctraRoutes>("b.rte");
    EXPECT_THAT(report, Contains("ERROR: Retreiving stored X value for board offset"));
    EXPECT_THAT(report,
                Contains("ERROR: ERROR: Cannot read info on number of stored padstack defs."));
}

TEST_F(RoutesFromBoard, DamagedOrOutOfRangePadstackRecordsAreReportedAndSkipped) {
    Record("Server=Ravel|Type=PadstackList|PDC=2");
    Record("Server=Ravel|Type=PADSTACK|IDX=0");
    Record("Server=Ravel|Type=PADSTACK|IDX=7");
    Record("Server=Ravel|Type=PADSTACK|IDX=-1");
    const std::string text = Write<TSpecctraRoutes>("b.rte");
    EXPECT_THAT(text, HasSubstr("  (library_out \r\n  )\r\n"));
    auto reported = [&](const std::string& start) {
        return std::count_if(report.begin(), report.end(),
                             [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    EXPECT_EQ(reported("ERROR: Padstack index out of range: (2) (Server=Ravel|Type=PADSTACK|IDX="),
              2);
    EXPECT_EQ(reported("ERROR: Cannot load all stored padstacks (S: 2) (L: 1)."), 1);
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(RoutesFromBoard, TestPointPadAndViaWriteTheirPointLines) {
    const intptr_t net = Net("TP");
    TPcbPad pad(0);
    ASSERT_NE(Board::MakeAndAdd(board, pad,
                                [&](TPcbPad& p) {
                                    p.SetState_x1(127000);
                                    p.SetState_Net(net);
                                    p.SetState_Moveable(false);
                                    p.SetState_FIsAssyTestPointBtm(true);
                                }),
              0);
    TPcbVia via(0);
    ASSERT_NE(Board::MakeAndAdd(board, via,
                                [&](TPcbVia& v) {
                                    v.SetState_x1(254000);
                                    v.SetState_y1(-254000);
                                    v.SetState_Net(net);
                                    v.SetState_Moveable(true);
                                    v.SetState_FIsAssyTestPointTop(true);
                                }),
              0);
    const std::string text = Write<TSpecctraRoutes>("b.rte");
    EXPECT_THAT(text,
                HasSubstr("  (test_points \r\n    (point 32258 0 back (net TP)(type protect))\r\n"
                          "    (point 64516 -64516 front (net TP)(type route))\r\n  )\r\n"));
}

TEST_F(RoutesFromBoard, SessionPlacesComponentsByFootprintWithBottomAngles) {
    struct {
        const char* Footprint;
        const char* Designator;
        int32_t X;
        TV6_Layer Layer;
        double Angle;
    } const parts[] = {{"SOIC-8", "U2", 100000, eV6_BottomLayer, 90.0},
                       {"R0603", "R1", 200000, eV6_TopLayer, 45.0},
                       {"soic-8", "U1", 300000, eV6_TopLayer, 0.0}};
    for (const auto& part : parts) {
        TPcbComponent component(0);
        const intptr_t handle = Board::MakeAndAdd(board, component, [&](TPcbComponent& c) {
            c.SetState_Pattern(part.Footprint);
            c.SetState_x1(part.X);
            c.SetState_y1(0);
            c.SetState_Layer(part.Layer);
            c.SetState_Angle(part.Angle);
        });
        ASSERT_NE(handle, 0);
        TPcbComponent made(handle);
        ASSERT_TRUE(Board::Read(made));
        TPcbText designator(made.GetState_Name());
        ASSERT_TRUE(Board::Read(designator));
        designator.SetState_Text(part.Designator);
        ASSERT_TRUE(Board::Write(designator));
    }
    const std::string text = Write<TSpecctraSessionFile>("my boards/x.ses");
    EXPECT_TRUE(text.starts_with("(session my_boards/x.ses\r\n"
                                 "    (base_design my_boards/x.dsn)\r\n"
                                 "    (placement \r\n"
                                 "      (resolution mm  100000)\r\n"
                                 "      (component R0603\r\n"
                                 "        (place R1 50800 0 front 45)\r\n"
                                 "      )\r\n"
                                 "      (component SOIC-8\r\n"
                                 "        (place U1 76200 0 front 0)\r\n"
                                 "        (place U2 25400 0 back -90)\r\n"
                                 "      )\r\n"
                                 "    )\r\n"
                                 "    (routes \r\n"))
        << text;
    EXPECT_EQ(text.substr(text.size() - 10), "    )\r\n)\r\n");
}

TEST(SessionName, BlanksBecomeUnderscoresAndTheDesignKeepsTheFolder) {
    TSpecctraSessionFile session("C:\\my boards\\x.ses", nullptr, nullptr, 0);
    EXPECT_EQ(session.SessionName(), "C:\\my_boards\\x.ses");
}

TEST(GeneralNumbers, WholeNumbersArePlainIntegersOthersUseFifteenDigits) {
    EXPECT_EQ(GeneralNumberText(253997460.0), "253997460");
    EXPECT_EQ(GeneralNumberText(-300.0), "-300");
    EXPECT_EQ(GeneralNumberText(-0.0), "0");
    EXPECT_EQ(GeneralNumberText(0.5), "0.5");
    EXPECT_EQ(GeneralNumberText(-90.25), "-90.25");
    EXPECT_EQ(GeneralNumberText(1e15), "1e+15");
    EXPECT_EQ(GeneralNumberText(999999999999999.0), "999999999999999");
    EXPECT_EQ(GeneralNumberText(1.0 / 3.0), "0.333333333333333");
}

TEST(GeneralNumbers, LengthsRoundHalfToEvenInAnyRoundingMode) {
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        EXPECT_EQ(RoundTiesToEven(2.5), 2.0);
        EXPECT_EQ(RoundTiesToEven(3.5), 4.0);
        EXPECT_EQ(RoundTiesToEven(-2.5), -2.0);
        EXPECT_EQ(RoundTiesToEven(-4.064), -4.0);
        EXPECT_EQ(RoundTiesToEven(1234567.6), 1234568.0);
    }
    std::fesetround(FE_TONEAREST);
}

// A net of 40000 tracks: its text (about 6 MB) goes to the new file as it
// is made. A file size limit in a child process plays a disk that fills
// half way: the error names the file, the old file stays, no temporary file
// is left; without the limit every track is written.
TEST_F(RoutesFromBoard, LargeNetIsStreamedAndAFullDiskKeepsTheOldFile) {
    constexpr int kTracks = 40000;
    const intptr_t net = Net("BIG");
    for (int i = 0; i < kTracks; ++i)
        Track(net, i * 100, 0, i * 100 + 100, i % 7, i % 2 == 0);
    const std::string path = Folder() + "/big.ses";
    testfs::WriteFile(path, "(session old)\n");
    auto exportTo = [&] {
        ResetTranslationState();
        TSpecctraWriter writer(path);
        TSpecctraSessionFile session(path, nullptr, &writer, board);
        session.ImportFromPcb();
        session.ExportToFile();
        writer.Flush();
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
        try {
            exportTo();
        } catch (const std::runtime_error& error) {
            ::_exit(std::string(error.what()).find(path) != std::string::npos ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(testfs::ReadFile(path), "(session old)\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);

    exportTo();
    const std::string text = testfs::ReadFile(path);
    EXPECT_GT(text.size(), TSpecctraWriter::kSpillSize);
    auto count = [&](const std::string& what) {
        std::size_t found = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + what.size()))
            ++found;
        return found;
    };
    EXPECT_EQ(count("(wire "), static_cast<std::size_t>(kTracks));
    EXPECT_EQ(count("(type route)"), static_cast<std::size_t>(kTracks / 2));
    EXPECT_EQ(count(" 25400\r\n"), static_cast<std::size_t>(kTracks)); // the width
    EXPECT_THAT(text, HasSubstr(" 177800 0 \r\n"));                    // track 7000, in steps
    EXPECT_THAT(text, HasSubstr(" 177825 0 \r\n"));
    EXPECT_EQ(text.substr(text.size() - 10), "    )\r\n)\r\n");
}

TEST(Writer, ReservedTextIsWrittenOnceAndNotAgainWhenFreed) {
    const fs::path path =
        fs::temp_directory_path() / ("dsnlink_writer_once_" + std::to_string(::getpid()) + ".rte");
    {
        TSpecctraWriter writer(path.string());
        writer.Reserve(64 << 20);
        writer.Writeln("(routes", false);
        writer.Flush();
        EXPECT_TRUE(writer.Saved());
        fs::remove(path);
    }
    EXPECT_FALSE(fs::exists(path)) << "nothing new since the flush: no second save";
    {
        TSpecctraWriter writer(path.string());
        writer.Writeln("(routes", false);
        writer.Flush();
        writer.Writeln(")", false);
        EXPECT_FALSE(writer.Saved());
    }
    EXPECT_EQ(testfs::ReadFile(path), "(routes\r\n)\r\n");
    fs::remove(path);
}

} // namespace
