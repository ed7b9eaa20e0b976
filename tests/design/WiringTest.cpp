// The design's wiring section read and written to a board of the engine
// loaded into this process: wires with every field, the turret's range error,
// the section's own resolution, bond sites, test points and the via numbers
// found again by position.
#include "support/EngineFixture.h"

#include "design/SpecctraDesign.h"
#include "design/SpecctraResolution.h"
#include "design/SpecctraWiring.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "rules/SpecctraNetRltd.h"
#include "specctra/SpecctraParser2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// A two-layer design in mil with nets A and B, then the given wiring text.
std::string Design(const std::string& wiring) {
    return "(pcb t (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
           " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
           "  (boundary (rect pcb 0 0 5000 5000)))\n"
           " (network (net A) (net B))\n"
           " (wiring\n" +
           wiring + "))\n";
}

class WiringOnBoard : public enginetest::EngineBoardTest {
protected:
    // The design of `text`, not yet read.
    TSpecctraDesign& Prepare(const std::string& text) {
        ResetTranslationState();
        design.reset(); // it refers to the parser it read from
        parser = std::make_unique<TSpecctraParser>(std::make_unique<TInputFile>("w.dsn", text));
        parser->RegisterKeywords();
        design = std::make_unique<TSpecctraDesign>("w.dsn", parser.get(), nullptr, board);
        return *design;
    }
    // `readAgain` off keeps the wires and vias read in the model until the
    // board is written; on, they are read again however small the file.
    TSpecctraDesign& Import(const std::string& text, bool write = true, bool readAgain = true) {
        Prepare(text).SetWiringReadAgain(readAgain, 0);
        EXPECT_TRUE(design->ImportFromFile());
        if (write) {
            EXPECT_TRUE(design->ExportToPCB());
        }
        return *design;
    }
    // The copper tracks (the outline's edges lie on other layers).
    std::vector<TPcbTrack> Tracks() {
        std::vector<TPcbTrack> tracks;
        for (intptr_t handle : CollectItems(board, eTrackObject)) {
            TPcbTrack track(handle);
            track.QueryDatabase(1);
            if (track.GetState_Layer() == eV6_TopLayer || track.GetState_Layer() == eV6_BottomLayer)
                tracks.push_back(track);
        }
        return tracks;
    }
    std::vector<std::string> Report() const { return design->Report()->Events(); }

    std::unique_ptr<TSpecctraParser> parser;
    std::unique_ptr<TSpecctraDesign> design;
};

TEST_F(WiringOnBoard, WireKeepsEveryFieldAndBecomesTracksOnItsNet) {
    TSpecctraDesign& d = Import(
        Design("(wire (path Top 10 100 100 300 100 300 400) (net A) (type protect) (turret 5)\n"
               "      (shield B) (supply) (attr fanout)\n"
               "      (connect (terminal pin U1-1) (terminal pin U2-2)))\n"
               "(wire (path Bottom 20 0 0 100 0) (net B))"),
        false, false);
    ASSERT_NE(d.Wiring(), nullptr);
    ASSERT_EQ(d.Wiring()->Wires().Count(), 2);
    auto* wire = dynamic_cast<TSpecctraWire*>(d.Wiring()->Wires().GetState_SpecctraObject(0));
    ASSERT_NE(wire, nullptr);
    EXPECT_EQ(wire->NetName, "A");
    EXPECT_EQ(wire->Type, eWireType_Protect);
    EXPECT_EQ(wire->Turret, 5);
    EXPECT_EQ(wire->ShieldNet, "B");
    EXPECT_TRUE(wire->Supply);
    ASSERT_NE(wire->Connection, nullptr);
    ASSERT_EQ(wire->ShapeCount(), 1);
    EXPECT_EQ(wire->Shape(0)->VertexCount(), 3);

    ASSERT_TRUE(d.ExportToPCB());
    EXPECT_FALSE(d.Wiring()->HasWires()) << "each wire is freed once it is on the board";
    std::vector<TPcbTrack> tracks = Tracks();
    ASSERT_EQ(tracks.size(), 3u);
    const intptr_t netA = PCBProcs::PcbApi_GetNetByName(board, "A");
    const intptr_t netB = PCBProcs::PcbApi_GetNetByName(board, "B");
    ASSERT_NE(netA, 0);
    int onA = 0;
    for (const TPcbTrack& t : tracks) {
        if (t.GetState_Net() == netA) {
            ++onA;
            EXPECT_EQ(t.GetState_Width(), 100000); // 10 mil
            EXPECT_FALSE(t.GetState_Moveable()) << "a protected wire stays where it is";
            EXPECT_EQ(t.GetState_Layer(), eV6_TopLayer);
        } else {
            EXPECT_EQ(t.GetState_Net(), netB);
            EXPECT_TRUE(t.GetState_Moveable()) << "a wire without type may move";
            EXPECT_EQ(t.GetState_Layer(), eV6_BottomLayer);
            EXPECT_EQ(t.GetState_x2() - t.GetState_x1(), 1000000); // 100 mil
        }
    }
    EXPECT_EQ(onA, 2);
}

TEST_F(WiringOnBoard, TurretOutsideItsRangeEndsTheReadingWithTheRangeError) {
    try {
        Prepare(Design("(wire (path Top 10 0 0 1 1) (net A) (turret 128))")).ImportFromFile();
        FAIL() << "no range error";
    } catch (const ERangeError& error) {
        EXPECT_STREQ(error.what(), "128 is not within the valid range of 1..127");
    }
    for (const char* turret : {"-1", "1", "127"})
        EXPECT_NO_THROW(Import(
            Design(std::string("(wire (path Top 10 0 0 1 1) (turret ") + turret + "))"), false))
            << turret;
}

TEST_F(WiringOnBoard, UnknownTypeOrAttributeDropsTheWireAndTheOthersStay) {
    const std::string text = Design("(wire (path Top 10 0 0 1 1) (net A) (type sometimes))\n"
                                    "(wire (path Top 10 0 0 1 1) (net A) (attr bus))\n"
                                    "(wire (path Top 10 0 0 1 1) (net A) (type fix))");
    // Read again from its text, the wire waits without a model object.
    TSpecctraDesign& again = Import(text, false);
    EXPECT_EQ(again.Wiring()->PendingWires(), 1u);
    EXPECT_FALSE(again.Wiring()->HasWires());
    TSpecctraDesign& d = Import(text, false, false);
    ASSERT_EQ(d.Wiring()->Wires().Count(), 1);
    auto* kept = dynamic_cast<TSpecctraWire*>(d.Wiring()->Wires().GetState_SpecctraObject(0));
    EXPECT_EQ(kept->Type, eWireType_Fix);
    ASSERT_TRUE(d.ExportToPCB());
    const std::vector<std::string> report = Report();
    EXPECT_EQ(std::count_if(report.begin(), report.end(),
                            [](const std::string& line) {
                                return line.find("Unexpected token") != std::string::npos;
                            }),
              2);
    EXPECT_EQ(Tracks().size(), 1u);
}

TEST_F(WiringOnBoard, OnlyFilesOfTheGivenSizeReadTheirWiringAgain) {
    const std::string text = Design("(wire (path Top 10 0 0 1 1) (net A)) (via V 1 1 (net A))");
    for (const std::size_t fromBytes : {text.size(), text.size() + 1}) {
        Prepare(text).SetWiringReadAgain(true, fromBytes);
        ASSERT_TRUE(design->ImportFromFile());
        const bool again = fromBytes <= text.size();
        EXPECT_EQ(design->Wiring()->HasWires(), !again) << fromBytes;
        EXPECT_EQ(design->Wiring()->HasVias(), !again) << fromBytes;
        EXPECT_EQ(design->Wiring()->PendingWires(), 1u);
        EXPECT_EQ(design->Wiring()->PendingVias(), 1u);
    }
    // By default a small design keeps its wiring whole.
    ASSERT_TRUE(Prepare(text).ImportFromFile());
    EXPECT_TRUE(design->Wiring()->HasWires());
}

// Via padstacks V10 and V20 (circles of 10 and 20 mil) and the given wiring.
std::string DesignWithVias(const std::string& wiring) {
    return "(pcb t (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
           " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
           "  (boundary (rect pcb 0 0 5000 5000)) (via V10 V20))\n"
           " (library (padstack V10 (shape (circle signal 10)))\n"
           "          (padstack V20 (shape (circle signal 20))))\n"
           " (network (net A))\n"
           " (wiring\n" +
           wiring + "))\n";
}

TEST_F(WiringOnBoard, OwnResolutionPlacesViasInStepsAndKeepsTheirPadstackSize) {
    // Positions are counted in steps of the section's resolution (a point at
    // 1000 lies at 1 mil); a via's size is its padstack's, whichever way the
    // section is held.
    for (const bool readAgain : {false, true}) {
        Import(DesignWithVias("(resolution mil 1000) (wire (path Top 0 0 0 1000 0) (net A))"
                              " (via V20 3000 0 (net A)) (via V10 0 0 (net A))"),
               true, readAgain);
        EXPECT_EQ(TranslationState().ResolutionFactor, 1.0) << "set back after the section";
        const std::vector<TPcbTrack> tracks = Tracks();
        ASSERT_EQ(tracks.size(), readAgain ? 2u : 1u);
        EXPECT_EQ(tracks.back().GetState_x2() - tracks.back().GetState_x1(), 10000) << readAgain;
        std::vector<TPcbVia> vias;
        for (const intptr_t handle : CollectItems(board, eViaObject)) {
            vias.emplace_back(handle);
            vias.back().QueryDatabase(1);
        }
        ASSERT_EQ(vias.size(), readAgain ? 4u : 2u);
        const TPcbVia& wide = vias[vias.size() - 2];
        const TPcbVia& narrow = vias.back();
        EXPECT_EQ(wide.GetState_x1() - narrow.GetState_x1(), 30000) << "3 mil";
        EXPECT_EQ(wide.GetState_Size(), 200000) << "20 mil, not 0.02 mil; " << readAgain;
        EXPECT_EQ(narrow.GetState_Size(), 100000) << readAgain;
        EXPECT_EQ(wide.GetState_LowLayer(), eV6_TopLayer);
        EXPECT_EQ(wide.GetState_HighLayer(), eV6_BottomLayer);
    }
}

TEST_F(WiringOnBoard, BondSitesAndTestPointsStayInTheModel) {
    TSpecctraDesign& d =
        Import(Design("(bond U1-1 PAD1 10 20.5 back) (bond U1-2 PAD2 30 40) (bond U1-3 PAD3 x y)\n"
                      "(test_points (point 1 2 back (net A) (type protect)) (point 3 4)\n"
                      "             (point front 5 6 (type route)))"));
    TSpecctraList& bonds = d.Wiring()->BondSites();
    ASSERT_EQ(bonds.Count(), 2) << "the bond with unreadable numbers is dropped";
    auto* first = dynamic_cast<TSpecctraBondSite*>(bonds.GetState_SpecctraObject(0));
    EXPECT_EQ(first->PinReference, "U1-1");
    EXPECT_EQ(first->PadstackName, "PAD1");
    EXPECT_EQ(first->Position.Y, 20.5);
    EXPECT_EQ(first->Side, 1);
    EXPECT_EQ(dynamic_cast<TSpecctraBondSite*>(bonds.GetState_SpecctraObject(1))->Side, 0);

    TSpecctraList& points = d.Wiring()->TestPoints();
    ASSERT_EQ(points.Count(), 3);
    auto* p0 = dynamic_cast<TSpecctraTestPoint*>(points.GetState_SpecctraObject(0));
    EXPECT_EQ(p0->Position.X, 1);
    EXPECT_EQ(p0->Position.Y, 2);
    EXPECT_EQ(p0->Side, TSpecctraTestPoint::eBack);
    EXPECT_EQ(p0->NetName, "A");
    EXPECT_EQ(p0->Type, 4);
    auto* p2 = dynamic_cast<TSpecctraTestPoint*>(points.GetState_SpecctraObject(2));
    EXPECT_EQ(p2->Position.X, 5) << "the first token that is no side word is X";
    EXPECT_EQ(p2->Type, 2);
    EXPECT_TRUE(Tracks().empty());
}

TEST(TaggedVias, TheFirstRecordAtAPositionWins) {
    TTaggedVias tags;
    tags.AddViaTag(nullptr, 7, 1.5, 2.5);
    tags.AddViaTag(nullptr, 9, 1.5, 2.5);
    tags.AddViaTag(nullptr, 4, -0.0, 0.0);
    EXPECT_EQ(tags.FindTagForLocation(1.5, 2.5)->Number, 7);
    EXPECT_EQ(tags.FindTagForLocation(0.0, -0.0)->Number, 4) << "0 and -0 are one position";
    EXPECT_EQ(tags.FindTagForLocation(1.5, 2.6), nullptr) << "positions match exactly";
    EXPECT_EQ(ViaTagKey(12), "Type=ViaTag|ID=12");
}

} // namespace
