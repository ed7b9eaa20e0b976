// Every real design of the corpus imported into a board and compared with a
// count of its text made by the test's own scanner: one component per place
// entry (less those the report names), at its position and rotation on its
// side, as many pads as its image has pins, every pad on the net the network
// gives its pin, and one stored padstack record per library padstack.
#include "BoardItems.h"
#include "support/CorpusImport.h"
#include "support/DesignScan.h"

#include "board/BoardRules.h"
#include "board/Pcbclass.h"
#include "persistence/EmbeddedStorageWrapper.h"

#include <gtest/gtest.h>

#include <set>

namespace {

namespace fs = std::filesystem;

// Designators the report names as not placed, and those whose pads are
// incomplete (a pin's padstack is missing).
struct TReported {
    std::set<std::string> Unplaced;
    std::set<std::string> PadsIncomplete;
    std::set<std::string> DroppedNets;
    std::string StoppedAt;
};

std::string After(const std::string& line, const std::string& marker) {
    const std::size_t at = line.find(marker);
    return at == std::string::npos ? std::string() : line.substr(at + marker.size());
}

TReported ReadReport(const std::vector<std::string>& lines) {
    TReported reported;
    for (const std::string& line : lines) {
        if (std::string ref = After(line, "Cannot import component "); !ref.empty())
            reported.Unplaced.insert(scan::Upper(ref));
        if (std::string ref = After(line, " for component "); !ref.empty())
            reported.Unplaced.insert(scan::Upper(ref));
        if (std::string rest = After(line, "ERROR: Component "); !rest.empty())
            reported.Unplaced.insert(scan::Upper(rest.substr(0, rest.find(' '))));
        if (std::string rest = After(line, "Placement stopped at component "); !rest.empty())
            reported.StoppedAt = scan::Upper(rest.substr(0, rest.find(';')));
        if (std::string pin = After(line, " not found for pin "); !pin.empty())
            reported.PadsIncomplete.insert(scan::Upper(pin.substr(0, pin.rfind('-'))));
        if (std::string net = After(line, "ERROR: Loading net: "); !net.empty())
            reported.DroppedNets.insert(net);
    }
    return reported;
}

double NormalizedDegrees(double degrees) {
    double r = std::fmod(degrees, 360.0);
    return r < 0 ? r + 360.0 : r;
}

using CorpusComponents = corpus::CorpusShardTest;

TEST_P(CorpusComponents, EveryPlacedComponentAndPadMatchesTheDesignText) {
    ASSERT_GT(files.size(), 100u / kShards);

    int64_t designs = 0, components = 0, pads = 0, nettedPads = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string text = corpus::Text(file);
        const scan::Design expected = scan::Scan(text);
        if (expected.Places.empty() && expected.Padstacks == 0)
            continue; // not a design the scanner understands (broken on purpose)

        corpus::TImport import(file, &text);
        ASSERT_NE(import.board, 0);
        import.Write();
        const intptr_t designBoard = import.board;
        const TReported reported = ReadReport(import.Report());
        ++designs;

        // Stored padstacks: the list record and one record per padstack.
        const intptr_t list = FindEmbeddedObject(designBoard, "PadstackList");
        ASSERT_NE(list, 0);
        std::string pdc;
        TStoredParameters(BoardItem<TPcbEmbedded>(list).GetState_Name()).Get("PDC", pdc);
        EXPECT_EQ(pdc, std::to_string(expected.Padstacks));
        int64_t records = 0;
        std::set<std::string> indexes;
        for (const TPcbEmbedded& record : BoardItems<TPcbEmbedded>(designBoard, eEmbeddedObject)) {
            const TStoredParameters name(record.GetState_Name());
            std::string type, index;
            if (name.Get("Type", type) && type == "PADSTACK") {
                ++records;
                name.Get("IDX", index);
                indexes.insert(index);
            }
        }
        EXPECT_EQ(records, expected.Padstacks);
        EXPECT_EQ(static_cast<int64_t>(indexes.size()), expected.Padstacks);

        // Components: every place entry, less those reported.
        std::map<std::string, const scan::Place*> placeOf;
        int64_t wanted = 0;
        for (const scan::Place& place : expected.Places) {
            const std::string ref = scan::Upper(place.Ref);
            if (ref == reported.StoppedAt)
                break; // neither it nor any after it is placed
            if (!reported.Unplaced.count(ref)) {
                placeOf.emplace(ref, &place);
                ++wanted;
            }
        }
        const std::vector<intptr_t> boardComponents = CollectItems(designBoard, eComponentObject);
        EXPECT_EQ(static_cast<int64_t>(boardComponents.size()), wanted);

        double offsetX = 0, offsetY = 0;
        if (const intptr_t stored = FindEmbeddedObject(designBoard, "BoardOffset")) {
            const TStoredParameters name(BoardItem<TPcbEmbedded>(stored).GetState_Name());
            std::string x, y;
            if (name.Get("X", x) && name.Get("Y", y)) {
                offsetX = std::strtod(x.c_str(), nullptr);
                offsetY = std::strtod(y.c_str(), nullptr);
            }
        }
        const double hostPerUnit = scan::HostPerUnit(expected.Unit);
        for (intptr_t handle : boardComponents) {
            TPcbComponent component(handle);
            ASSERT_EQ(component.QueryDatabase(1), 1);
            const std::string ref = scan::Upper(Designator(component));
            auto found = placeOf.find(ref);
            if (found == placeOf.end()) {
                ADD_FAILURE() << "component " << ref << " is on the board but not expected";
                continue;
            }
            const scan::Place& place = *found->second;
            ++components;
            EXPECT_EQ(scan::Upper(component.GetState_Pattern()), scan::Upper(place.Image)) << ref;
            if (place.Positioned) {
                EXPECT_NEAR(component.GetState_x1(), offsetX + place.X * hostPerUnit, 1.0) << ref;
                EXPECT_NEAR(component.GetState_y1(), offsetY + place.Y * hostPerUnit, 1.0) << ref;
                EXPECT_NEAR(component.GetState_Angle(), NormalizedDegrees(place.Rotation), 1e-6)
                    << ref;
                EXPECT_EQ(component.GetState_Layer(), place.Back ? eV6_BottomLayer : eV6_TopLayer)
                    << ref;
            }
            const std::vector<intptr_t> componentPads =
                CollectItems(designBoard, ePadObject, handle);
            pads += static_cast<int64_t>(componentPads.size());
            auto image = expected.PinsOfImage.find(scan::Upper(place.Image));
            if (image != expected.PinsOfImage.end() && !reported.PadsIncomplete.count(ref)) {
                EXPECT_EQ(static_cast<int64_t>(componentPads.size()), image->second) << ref;
            }
            for (intptr_t padHandle : componentPads) {
                const std::string pin =
                    ref + "-" + scan::Upper(BoardItem<TPcbPad>(padHandle).GetState_Name());
                auto net = expected.NetOfPin.find(pin);
                std::string wantedNet;
                if (net != expected.NetOfPin.end()) {
                    if (net->second.empty())
                        continue; // listed by two nets
                    if (!reported.DroppedNets.count(net->second))
                        wantedNet = net->second;
                }
                EXPECT_EQ(NetNameOf(padHandle), wantedNet) << pin;
                if (!wantedNet.empty())
                    ++nettedPads;
            }
        }
    }
    EXPECT_GT(designs, 700 / kShards);
    std::printf("%lld designs, %lld components, %lld pads, %lld of them on nets\n",
                static_cast<long long>(designs), static_cast<long long>(components),
                static_cast<long long>(pads), static_cast<long long>(nettedPads));
}

INSTANTIATE_TEST_SUITE_P(Shards, CorpusComponents, ::testing::Range(0, CorpusComponents::kShards));

} // namespace
