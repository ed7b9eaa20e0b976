// Padstacks, images, pins and placed components read from small designs and
// written to a board of the engine loaded into this process.
#include "BoardItems.h"
#include "design/SpecctraRoutes.h"
#include "support/EngineFixture.h"
#include "support/ParserTestSupport.h"

#include "board/BoardRules.h"
#include "design/LibrarySection.h"
#include "design/PlacementSection.h"
#include "design/SpecctraDesign.h"
#include "geometry/SpecctraComp.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A line of a component's outline: on the top overlay, owned by a component.
bool IsOutline(const TPCBObject& item) {
    return item.GetState_Layer() == eV6_TopOverlay && item.GetState_Component() != 0;
}

class LibraryOnBoard : public enginetest::EngineBoardTest {
protected:
    // A design of data/NAME.txt (or the text itself) in a four-layer structure
    // in mil whose boundary lies well inside the host workspace (no offset).
    TSpecctraDesign& Import(const std::string& name) {
        const std::string body = name.starts_with("(") ? name : GeometryData(name);
        return ImportText("(pcb t " + GeometryData("structure") + body + ")");
    }
    TSpecctraDesign& ImportText(const std::string& text) {
        design.reset(); // it reports through its parser while it goes
        ResetTranslationState();
        parser = MakeParser(text);
        design = std::make_unique<TSpecctraDesign>("t.dsn", parser.get(), nullptr, board);
        EXPECT_TRUE(design->ImportFromFile());
        EXPECT_TRUE(design->ExportToPCB());
        return *design;
    }
    TSpecctraDSNLibraryDescriptor& Library() {
        return *dynamic_cast<TSpecctraDSNLibraryDescriptor*>(design->Library());
    }
    const std::vector<std::string>& Report() { return design->Report()->Events(); }
    bool Reported(const std::string& line) {
        return std::find(Report().begin(), Report().end(), line) != Report().end();
    }
    bool ReportedPart(const std::string& part) {
        return std::any_of(Report().begin(), Report().end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    }
    std::vector<TPcbPad> Pads() { return BoardItems<TPcbPad>(board, ePadObject); }
    TPcbPad PadNamed(const std::string& name) {
        for (TPcbPad& pad : Pads())
            if (pad.GetState_Name() == name)
                return pad;
        ADD_FAILURE() << "no pad " << name;
        return TPcbPad(0);
    }
    std::vector<TPcbComponent> Components() {
        return BoardItems<TPcbComponent>(board, eComponentObject);
    }

    std::vector<std::unique_ptr<TSpecctraParser>> viaParsers;
    std::unique_ptr<TSpecctraParser> parser;
    std::unique_ptr<TSpecctraDesign> design;
};

TEST_F(LibraryOnBoard, PadstackKindsPadsOnLayersAndViaValues) {
    Import("padstacks");
    TSpecctraDSNLibraryDescriptor& library = Library();
    ASSERT_EQ(library.PadstackCount(), 8);
    EXPECT_EQ(library.GetState_PadStackByName("v1")->Kind(), eSimplePadstack);
    EXPECT_FALSE(library.GetState_PadStackByName("V1")->Attach);
    EXPECT_EQ(library.GetState_PadStackByName("SMD")->Kind(), eSMDPadstack);
    EXPECT_EQ(library.GetState_PadStackByName("TMB")->Kind(), eTopMidBottomPadstack);
    EXPECT_EQ(library.GetState_PadStackByName("PER")->Kind(), ePerLayerPadstack);

    // The pad of a layer's own name wins over an earlier SIGNAL pad.
    TSpecctraPadstack* both = library.GetState_PadStackByName("BOTH");
    EXPECT_EQ(both->GetState_PadOnLayer("IN2"), both->GetState_Pad(1));
    EXPECT_EQ(both->GetState_PadOnLayer("TOP"), both->GetState_Pad(0));
    EXPECT_EQ(both->GetState_PadOnLayer("NOSUCH"), nullptr);

    // Via values: span of the stack and size of the largest signal pad (20 mil).
    TV6_Layer low = eV6_NoLayer, high = eV6_NoLayer;
    int32_t size = 0;
    ASSERT_TRUE(library.GetState_PadStackByName("V1")->ExportToPcb_ViaValues(low, high, size));
    EXPECT_EQ(std::tuple(low, high, size), std::tuple(eV6_TopLayer, eV6_BottomLayer, 200000));
    EXPECT_TRUE(library.GetState_PadStackByName("V2")->IsViaStack());
    EXPECT_TRUE(library.GetState_PadStackByName("V3")->IsSpareViaStack());
    EXPECT_EQ(library.GetState_PadStackByName("SQ")->GetState_Pad(0)->ExportToPCB_ShapeType(),
              eOctagonal);

    // One layer pair for the padstacks that span TOP..BOT.
    TPcbBoard host(board);
    ASSERT_EQ(host.ReadLayerPairs(), 1);
    ASSERT_EQ(host.GetState_LayerPairs().size(), 1u);
}

TEST_F(LibraryOnBoard, PadstacksAreStoredOncePerPadstackAndReadBack) {
    Import("stored_padstacks");
    EXPECT_EQ(Library().GetState_PadStackByName("p1"), Library().GetPadstack(0));
    const intptr_t list = FindEmbeddedObject(board, "PadstackList");
    ASSERT_NE(list, 0);
    EXPECT_EQ(BoardItem<TPcbEmbedded>(list).GetState_Name(),
              "Server=Ravel|Type=PadstackList|PDC=3");

    TSpecctraDesign reader("t.rte", nullptr, nullptr, board);
    TSpecctraRteLibraryDescriptor stored(&reader);
    ASSERT_TRUE(stored.ImportFromPcb_Padstacks());
    ASSERT_EQ(stored.PadstackCount(), 3);
    TSpecctraPadstack* first = stored.GetPadstack(0);
    EXPECT_EQ(first->NameID, "P1");
    ASSERT_EQ(first->PadCount(), 2);
    EXPECT_EQ(first->GetState_Pad(0)->LayerID(), "TOP");
    EXPECT_EQ(first->GetState_Pad(1)->LayerID(), "BOT");
    double lx, ly, hx, hy;
    first->GetState_Pad(0)->VisibleBounds(lx, ly, hx, hy);
    EXPECT_EQ(std::pair(lx, hy), std::pair(-50000.0, 50000.0)); // host units
    EXPECT_TRUE(first->GetState_Pad(1)->Connect);
    EXPECT_EQ(stored.GetPadstack(1)->NameID, "p1");
    EXPECT_TRUE(stored.GetPadstack(2)->IsViaStack());

    // A second import into the same board replaces the stored padstacks.
    Import("(library (padstack A (shape (circle signal 10))))");
    EXPECT_TRUE(
        Reported("WARNING: Board  already contains padstack definitions which will be deleted."));
    int records = 0;
    for (const TPcbEmbedded& record : BoardItems<TPcbEmbedded>(board, eEmbeddedObject))
        records += record.GetState_Name().find("Type=PADSTACK|") != std::string::npos;
    EXPECT_EQ(records, 1);
}

TEST_F(LibraryOnBoard, ComponentsArePlacedWithTheirPadsOnTheirNets) {
    Import("parts");
    // Each component as "x y layer angle image pads": U2 on the bottom layer,
    // the rotations of 7200 and -45.5 degrees as 0 and 314.5.
    std::map<std::string, std::string> placed;
    for (const TPcbComponent& c : Components()) {
        std::ostringstream shown;
        shown << c.GetState_x1() << " " << c.GetState_y1() << " "
              << static_cast<int>(c.GetState_Layer()) << " " << c.GetState_Angle() << " "
              << c.GetState_Pattern() << " "
              << CollectItems(board, ePadObject, c.GetState_ObjectHandle()).size();
        placed[Designator(c)] = shown.str();
    }
    EXPECT_EQ(placed,
              (std::map<std::string, std::string>{{"U1", "40000000 50000000 1 0 DIP 7"},
                                                  {"U2", "60000000 50000000 32 90 DIP 7"},
                                                  {"R1", "50000000 70000000 1 0 CHIP 2"},
                                                  {"R2", "50000000 80000000 1 314.5 CHIP 2"}}));
    // The pin array A1..A4 at X 0, 100, 200, 300 of U1 (at 4000, 5000); nets
    // by full pin name; a through-hole pad gets a hole of 10 mil, an SMD pad
    // none, whichever padstack the pin before it named.
    std::map<std::string, int32_t> u1;
    std::map<std::string, int> onNet;
    for (TPcbPad& pad : Pads()) {
        if (pad.GetState_Component() == Components()[0].GetState_ObjectHandle())
            u1[pad.GetState_Name()] = pad.GetState_x1();
        ++onNet[NetNameOf(pad.GetState_ObjectHandle())];
        EXPECT_EQ(pad.GetState_HoleSize(),
                  pad.GetState_Name() == "1" || pad.GetState_Name() == "2" ||
                          pad.GetState_Name() == "6" || pad.GetState_Name() == "7"
                      ? 0
                      : 100000);
    }
    EXPECT_EQ(u1, (std::map<std::string, int32_t>{{"5", 40000000},
                                                  {"6", 41000000},
                                                  {"7", 42000000},
                                                  {"A1", 40000000},
                                                  {"A2", 41000000},
                                                  {"A3", 42000000},
                                                  {"A4", 43000000}}));
    EXPECT_EQ(onNet["N1"], 3);
    EXPECT_EQ(onNet["N2"], 2);
    EXPECT_TRUE(Reported("Pin U1-A2 has no net assigned.")); // a pin on no net
}

// The pad's true copper where the host's pad kinds cannot hold it: an
// offset polygon on a pin turned a quarter, a path with a corner, a slanted
// path; a path along an axis is the host's oblong and has none. Later pins of
// the polygon's padstack, unturned, turned and unturned again, each have
// their own.
TEST_F(LibraryOnBoard, PolygonAndBentPathPadsCarryTheirTrueCopper) {
    Import("true_copper");
    using GetOutline = decltype(&Corvane_GetPadOutline);
    const auto get = reinterpret_cast<GetOutline>(dlsym(RTLD_DEFAULT, "Corvane_GetPadOutline"));
    ASSERT_NE(get, nullptr);
    // Pieces of the pad's copper on TOP, as (radius, corners) in mil.
    using Pieces = std::vector<std::pair<double, std::vector<long>>>;
    auto copper = [&](const std::string& name) {
        Pieces pieces;
        const intptr_t pad = PadNamed(name).GetState_ObjectHandle();
        double radius = 0, xy[16] = {};
        for (int32_t i = 0, n; (n = get(pad, eV6_TopLayer, i, &radius, xy, 8)) >= 0; ++i) {
            std::vector<long> corners;
            for (int32_t k = 0; k < 2 * n; ++k)
                corners.push_back(std::lround(xy[k] / 10000));
            pieces.emplace_back(radius / 10000, corners);
        }
        return pieces;
    };
    // (100..300, 0..100) about the pin, turned a quarter about it.
    EXPECT_EQ(copper("1"), (Pieces{{0, {5000, 5100, 5000, 5300, 4900, 5300, 4900, 5100}}}));
    EXPECT_EQ(copper("2"),
              (Pieces{{10, {6000, 5000, 6100, 5000}}, {10, {6100, 5000, 6100, 5100}}}));
    EXPECT_EQ(copper("3"), (Pieces{{10, {7000, 5000, 7100, 5100}}}));
    EXPECT_TRUE(copper("4").empty());
    EXPECT_EQ(copper("5"), (Pieces{{0, {9100, 5000, 9300, 5000, 9300, 5100, 9100, 5100}}}));
    EXPECT_EQ(copper("6"), (Pieces{{0, {10000, 5100, 10000, 5300, 9900, 5300, 9900, 5100}}}));
    EXPECT_EQ(copper("7"), (Pieces{{0, {11100, 5000, 11300, 5000, 11300, 5100, 11100, 5100}}}));
}

TEST_F(LibraryOnBoard, ImagesWithoutOutlineGetOneAroundTheirPins) {
    Import("no_outline");
    const auto tracks = BoardItems<TPcbTrack>(board, eTrackObject);
    EXPECT_EQ(std::count_if(tracks.begin(), tracks.end(), IsOutline), 4);
    EXPECT_EQ(Components().size(), 2u);
}

TEST_F(LibraryOnBoard, PadKindsGiveHostStacksAndTheirReportLines) {
    Import("pad_kinds");
    EXPECT_TRUE(Reported("Middle layer pad for pin J1-1 will take largest available size defined "
                         "on inner signal layers."));
    TPcbPad tmb = PadNamed("1");
    EXPECT_EQ(tmb.GetState_FMode(), ePadMode_LocalStack);
    EXPECT_EQ(tmb.GetState_TopXsize(), 600000);
    EXPECT_EQ(tmb.GetState_BotXsize(), 500000);
    TPcbPad per = PadNamed("2");
    EXPECT_EQ(per.GetState_FMode(), ePadMode_ExternalStack);
    EXPECT_EQ(per.GetState_XSizeOnLayer(eV6_TopLayer), 600000);
    EXPECT_EQ(per.GetState_XSizeOnLayer(eV6_MidLayer1), 400000); // IN2 is mid layer 1
    TPcbPad smd = PadNamed("3");
    EXPECT_EQ(smd.GetState_Layer(), eV6_BottomLayer);
    EXPECT_EQ(smd.GetState_HoleSize(), 0);
    // A pin whose padstack is missing ends the image's pins.
    EXPECT_TRUE(Reported("ERROR: Padstack NONE not found for pin J1-4"));
    EXPECT_EQ(Pads().size(), 3u);
}

TEST_F(LibraryOnBoard, AZeroSizedPadIsReportedAndGetsNoHole) {
    Import("zero_pad");
    // The second pin is built from the first one's pad: both are reported.
    for (const std::string name : {"1", "2"}) {
        EXPECT_TRUE(Reported("WARNING: WARNING: Zero sized pad imported: Z1-" + name)) << name;
        TPcbPad pad = PadNamed(name);
        EXPECT_EQ(pad.GetState_HoleSize(), 0) << name;
        for (int layer = eV6_TopLayer; layer <= eV6_BottomLayer; ++layer)
            EXPECT_EQ(pad.GetState_XSizeOnLayer(static_cast<TV6_Layer>(layer)), 0) << layer;
    }
    EXPECT_FALSE(Reported("WARNING: WARNING: Zero sized pad imported: Z1-3"));
    EXPECT_EQ(PadNamed("3").GetState_HoleSize(), 100000);
}

TEST_F(LibraryOnBoard, PlacementStopsAtTheFirstComponentThatFailsAndSidesAreKept) {
    Import("placement_stops");
    EXPECT_TRUE(Reported("ERROR: Footprint MISSING not found. Cannot import component C2"));
    EXPECT_TRUE(Reported("ERROR: Placement stopped at component C2; 2 components after it were "
                         "not imported."));
    ASSERT_EQ(Components().size(), 1u);
    EXPECT_EQ(Designator(Components()[0]), "C1");
    // An image for the front side only is not placed on the back.
    Import("side");
    EXPECT_TRUE(Reported("ERROR: Footprint FRONTONLY doesn't allow placement on Back Side for "
                         "component C3"));
    ASSERT_EQ(Components().size(), 1u); // C1 of the first design alone
    EXPECT_EQ(Designator(Components()[0]), "C1");
}

TEST_F(LibraryOnBoard, BadInputIsReportedAndNeverCrashes) {
    Import("bad_input");
    EXPECT_TRUE(Reported("ERROR: Invalid padstack definition <EMPTY>, no valid pads inside"));
    EXPECT_TRUE(ReportedPart("has the step 0; only a positive step is allowed"));
    EXPECT_TRUE(ReportedPart("would make 1000000 pins"));
    EXPECT_TRUE(Reported("ERROR: Component FAR lies outside the coordinate range of the board; it "
                         "is not imported."));
    EXPECT_TRUE(ReportedPart("Component BAD in line"));
    // OK, U2 (one inch in X and Y) and H1 (without its pin array) are placed.
    std::vector<std::string> refs;
    for (TPcbComponent& component : Components()) {
        refs.push_back(Designator(component));
        if (refs.back() == "U2") {
            EXPECT_EQ(std::pair(component.GetState_x1(), component.GetState_y1()),
                      std::pair(10000000, 10000000));
        }
    }
    std::sort(refs.begin(), refs.end());
    EXPECT_EQ(refs, (std::vector<std::string>{"H1", "OK", "U2"}));
}

TEST_F(LibraryOnBoard, ViasTakeTheirPadstackSpanAndAFixedHole) {
    Import("padstacks");
    TSpecctraDSNWiringDescriptor wiring(design.get());
    auto read = [&](const std::string& text) {
        viaParsers.push_back(MakeParser(text));
        TSpecctraParser& viaParser = *viaParsers.back();
        viaParser.NextToken(); // "("
        viaParser.NextToken(); // "via"
        auto via = std::make_unique<TSpecctraViaInstance>(&wiring);
        via->Parser = &viaParser;
        via->SectionsOpen = 1;
        EXPECT_TRUE(via->ImportFromFile());
        return via;
    };
    auto numbered = read("(via V3 4000 4000 (net N1) (via_number 3))");
    EXPECT_EQ(numbered->Number, 3);
    EXPECT_EQ(numbered->Position.X, 4000);
    EXPECT_TRUE(numbered->ExportToPCB());
    auto spare = read("(via V3 5000 5000)");
    EXPECT_TRUE(spare->ExportToPCB());
    EXPECT_TRUE(Reported("WARNING: Invalid padstack reference V3 in via at position (50000000, "
                         "50000000), skipped via translation."));
    EXPECT_TRUE(read("(via V2 6000 6000)")->ExportToPCB());
    EXPECT_TRUE(Reported("WARNING: Orphan via - no net assigned at position (60000000, 60000000)"));
    const auto vias = BoardItems<TPcbVia>(board, eViaObject);
    ASSERT_EQ(vias.size(), 2u);
    for (const TPcbVia& via : vias)
        EXPECT_EQ(
            std::tuple(via.GetState_HoleSize(), via.GetState_LowLayer(), via.GetState_HighLayer()),
            std::tuple(50000, eV6_TopLayer, eV6_BottomLayer));
    // A board via finds the via padstack of its span and size.
    TSpecctraViaInstance fromBoard(&wiring);
    fromBoard.SetPadstackReference(eV6_TopLayer, eV6_BottomLayer, 300000);
    EXPECT_EQ(fromBoard.PadstackIDRef, "V2");
    fromBoard.SetPadstackReference(eV6_BottomLayer, eV6_TopLayer, 250000);
    EXPECT_EQ(fromBoard.PadstackIDRef, "V1"); // 200000 is the closest smaller one
}

TEST(Jumper, AcceptsSystemDefaultAndPositiveValuesOnly) {
    TSpecctraJumper jumper(nullptr);
    jumper.SetLength(-1);
    EXPECT_EQ(jumper.Length(), -1);
    jumper.SetMaxHeight(12.5);
    EXPECT_THROW(jumper.SetLength(-2), EJumperRangeError);
    EXPECT_EQ(jumper.Length(), -1);
    try {
        jumper.SetMaxHeight(-3);
        FAIL();
    } catch (const EJumperRangeError& error) {
        EXPECT_STREQ(error.what(), "-3 is not valid value for Jumper Height. #13#10 Only positive "
                                   "or system default values are allowed.");
    }
    EXPECT_EQ(jumper.MaxHeight(), 12.5);
}

} // namespace

TEST_F(LibraryOnBoard, EveryComponentOfAnImageGetsTheWholeOutlineAtItsPlace) {
    // The outline's tracks are worked out by the first component of an image
    // and copied for the others: each copy must land at its own component.
    Import("outlines");
    using Outline = std::vector<std::array<int32_t, 5>>; // x1 y1 x2 y2 width
    std::map<std::string, Outline> outlines;
    std::map<std::string, int> arcs;
    std::map<intptr_t, std::string> designators;
    for (TPcbComponent& component : Components())
        designators[component.GetState_ObjectHandle()] = Designator(component);
    for (const TPcbTrack& t : BoardItems<TPcbTrack>(board, eTrackObject))
        if (IsOutline(t))
            outlines[designators[t.GetState_Component()]].push_back(
                {t.GetState_x1(), t.GetState_y1(), t.GetState_x2(), t.GetState_y2(),
                 t.GetState_Width()});
    for (const TPcbArc& arc : BoardItems<TPcbArc>(board, eArcObject))
        if (IsOutline(arc))
            ++arcs[designators[arc.GetState_Component()]];
    const auto at = [](int32_t x, int32_t y) {
        // The outline of image A at (x, y) mil, in host units.
        const int32_t ux = x * 10000, uy = y * 10000;
        return Outline{{ux - 1000000, uy - 500000, ux + 1000000, uy - 500000, 100000},
                       {ux + 1000000, uy - 500000, ux + 1000000, uy + 500000, 100000}};
    };
    for (auto& [name, tracks] : outlines)
        std::sort(tracks.begin(), tracks.end());
    EXPECT_EQ(outlines.size(), 3u);
    EXPECT_EQ(outlines["A1"], at(4000, 5000));
    EXPECT_EQ(outlines["A2"], at(6000, 5000));
    EXPECT_EQ(outlines["A3"], at(5000, 7000));
    EXPECT_EQ(arcs, (std::map<std::string, int>{{"C1", 1}, {"C2", 1}}));
}
