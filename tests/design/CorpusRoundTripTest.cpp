// Every real design of the corpus imported into a fresh board and written back
// as a session file; the session file is read with the test's own scanner,
// and for designs with wiring every wire segment of the design text is found
// in its net at the same place (0.00001 mm, within one step of rounding) with
// the same width and layer, and every via with the same padstack (or one with
// the same pads).
#include "support/CorpusImport.h"
#include "support/Sexpr.h"
#include "support/TempFolder.h"

#include "design/SpecctraDesign.h"
#include "design/SpecctraRoutes.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace {

namespace fs = std::filesystem;

using sexpr::Upper;

// Steps of 0.00001 mm per design unit.
double StepsPerUnit(const std::string& unit) {
    static const std::map<std::string, double> steps = {
        {"INCH", 2540000.0}, {"MIL", 2540.0}, {"CM", 1000000.0}, {"MM", 100000.0}, {"UM", 100.0}};
    const auto it = steps.find(Upper(unit));
    return it != steps.end() ? it->second : 2540.0; // the reader's fallback: mil
}

struct Segment {
    std::string Net, Layer;
    long long Width = 0, X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

struct Via {
    std::string Net, Padstack;
    long long X = 0, Y = 0;
};

bool Near(long long a, long long b) {
    return std::llabs(a - b) <= 1;
}

bool SameSegment(const Segment& a, const Segment& b) {
    return a.Net == b.Net && a.Layer == b.Layer && Near(a.Width, b.Width) &&
           ((Near(a.X1, b.X1) && Near(a.Y1, b.Y1) && Near(a.X2, b.X2) && Near(a.Y2, b.Y2)) ||
            (Near(a.X1, b.X2) && Near(a.Y1, b.Y2) && Near(a.X2, b.X1) && Near(a.Y2, b.Y1)));
}

// The text of a node with single blanks, for comparing shapes.
std::string Flat(const sexpr::Node& node) {
    if (!node.IsList)
        return Upper(node.Atom);
    std::string text = "(";
    for (const sexpr::Node& item : node.Items)
        text += Flat(item) + " ";
    return text + ")";
}

// Padstack name (upper case) -> its pads' shapes: padstacks with the same
// pads (their drills differ, which the format does not carry) are one to a
// reader that chooses a via's padstack by its pads.
std::map<std::string, std::string> PadstackShapes(const sexpr::Node& pcb) {
    std::map<std::string, std::string> shapes;
    if (const sexpr::Node* library = pcb.First("library"))
        for (const sexpr::Node* padstack : library->All("padstack"))
            if (padstack->Items.size() > 1) {
                std::string text;
                for (const sexpr::Node* shape : padstack->All("shape"))
                    text += Flat(*shape);
                shapes.emplace(Upper(padstack->Items[1].Atom), text);
            }
    return shapes;
}

// Sub-blocks a via block may hold; a via with any other is dropped by the
// reader as the format says.
bool KnownViaBlocks(const sexpr::Node& via) {
    static const std::set<std::string> known = {"net",         "type",   "via_number", "attr",
                                                "virtual_pin", "supply", "contact"};
    for (const sexpr::Node& item : via.Items)
        if (item.IsList && known.count(item.Head()) == 0)
            return false;
    return true;
}

double Number(const sexpr::Node& node) {
    return std::strtod(node.Atom.c_str(), nullptr);
}

// A via of `net` at its place, and the segments of a wire's path on `net`, in
// steps (`scale` steps per unit of the text).
Via ViaOf(const std::string& net, const sexpr::Node& via, double scale) {
    return Via{Upper(net), Upper(via.Items[1].Atom), std::llround(Number(via.Items[2]) * scale),
               std::llround(Number(via.Items[3]) * scale)};
}
void AddSegments(const std::string& net, const sexpr::Node& path, double scale,
                 std::vector<Segment>& out) {
    std::vector<long long> n;
    for (std::size_t i = 3; i < path.Items.size() && !path.Items[i].IsList; ++i)
        n.push_back(std::llround(Number(path.Items[i]) * scale));
    for (std::size_t p = 0; p + 3 < n.size(); p += 2)
        out.push_back(Segment{Upper(net), Upper(path.Items[1].Atom),
                              std::llround(Number(path.Items[2]) * scale), n[p], n[p + 1], n[p + 2],
                              n[p + 3]});
}

// The design's wire segments (path wires on a net of the network), in steps.
// False when the wiring carries its own unit or resolution (not compared).
bool DesignSegments(const sexpr::Node& pcb, std::vector<Segment>& out, std::vector<Via>& vias,
                    int& skippedWires) {
    std::string unit = "INCH"; // a unit block wins over a resolution
    if (const sexpr::Node* u = pcb.First("unit"); u && u->Items.size() > 1)
        unit = u->Items[1].Atom;
    else if (const sexpr::Node* r = pcb.First("resolution"); r && r->Items.size() > 1)
        unit = r->Items[1].Atom;
    const double scale = StepsPerUnit(unit);
    std::set<std::string> nets;
    if (const sexpr::Node* network = pcb.First("network"))
        for (const sexpr::Node* net : network->All("net"))
            if (net->Items.size() > 1)
                nets.insert(Upper(net->Items[1].Atom));
    for (const sexpr::Node* wiring : pcb.All("wiring")) {
        if (wiring->First("unit") || wiring->First("resolution"))
            return false;
        for (const sexpr::Node* via : wiring->All("via")) {
            const sexpr::Node* net = via->First("net");
            if (!net || net->Items.size() < 2 || via->Items.size() < 4 || !KnownViaBlocks(*via) ||
                nets.count(Upper(net->Items[1].Atom)) == 0 || via->Items[2].IsList ||
                via->Items[3].IsList)
                continue;
            vias.push_back(ViaOf(net->Items[1].Atom, *via, scale));
        }
        for (const sexpr::Node* wire : wiring->All("wire")) {
            const sexpr::Node* path = wire->First("path");
            const sexpr::Node* net = wire->First("net");
            if (!path || !net || net->Items.size() < 2 || path->Items.size() < 7 ||
                nets.count(Upper(net->Items[1].Atom)) == 0) {
                ++skippedWires;
                continue;
            }
            AddSegments(net->Items[1].Atom, *path, scale, out);
        }
    }
    return true;
}

// The wire segments and vias of a session file's network_out.
void SessionWiring(const sexpr::Node& session, std::vector<Segment>& segments,
                   std::vector<Via>& vias) {
    const sexpr::Node* routes = session.First("routes");
    const sexpr::Node* network = routes ? routes->First("network_out") : nullptr;
    if (!network)
        return;
    for (const sexpr::Node* net : network->All("net")) {
        for (const sexpr::Node* via : net->All("via"))
            if (via->Items.size() >= 4)
                vias.push_back(ViaOf(net->Items[1].Atom, *via, 1));
        for (const sexpr::Node* wire : net->All("wire"))
            if (const sexpr::Node* path = wire->First("path"))
                AddSegments(net->Items[1].Atom, *path, 1, segments);
    }
}

using TPlace = std::tuple<std::string, long long, long long>; // net, x, y

// What of the design is missing from the session: each design item is looked
// for within a step of its first place among the session items at any of
// theirs, and each session item matches once.
template <class T, class Places, class Same>
std::vector<T> Missing(const std::vector<T>& design, const std::vector<T>& session, Places places,
                       Same same) {
    std::multimap<TPlace, std::size_t> at;
    for (std::size_t i = 0; i < session.size(); ++i)
        for (const TPlace& place : places(session[i]))
            at.emplace(place, i);
    std::vector<bool> used(session.size(), false);
    std::vector<T> missing;
    for (const T& item : design) {
        const auto [net, x, y] = places(item)[0];
        bool found = false;
        for (long long dx = -1; dx <= 1 && !found; ++dx)
            for (long long dy = -1; dy <= 1 && !found; ++dy) {
                auto [from, to] = at.equal_range(TPlace{net, x + dx, y + dy});
                for (auto it = from; it != to && !found; ++it)
                    if (!used[it->second] && same(item, session[it->second]))
                        used[it->second] = found = true;
            }
        if (!found)
            missing.push_back(item);
    }
    return missing;
}

std::string Describe(const Segment& s) {
    std::ostringstream text;
    text << s.Net << " " << s.Layer << " w" << s.Width << " (" << s.X1 << " " << s.Y1 << ")-("
         << s.X2 << " " << s.Y2 << ")";
    return text.str();
}

using CorpusRoundTrip = corpus::CorpusShardTest;

TEST_P(CorpusRoundTrip, EverySessionFileReadsAndEveryWireSegmentComesBack) {
    const testfs::TempFolder folder;
    int sessions = 0, compared = 0, skippedWires = 0, ownResolution = 0;
    std::size_t segments = 0, vias = 0;
    for (const fs::path& file : files) {
        const fs::path ses = folder / "out.ses";
        {
            corpus::TImport import(file);
            ASSERT_NE(import.board, 0);
            if (!import.read || !import.Write())
                continue;
            ResetTranslationState();
            TSpecctraWriter writer(ses.string());
            TSpecctraSessionFile session(ses.string(), nullptr, &writer, import.board);
            session.ImportFromPcb();
            EXPECT_TRUE(session.ExportToFile()) << file;
            writer.Flush();
        }
        sexpr::Node written;
        ASSERT_TRUE(sexpr::Parse(corpus::Text(ses), written, '"', true)) << file;
        ASSERT_EQ(written.Head(), "session") << file;
        ++sessions;

        sexpr::Node pcb;
        if (!sexpr::Parse(corpus::Text(file), pcb) || pcb.Head() != "pcb" || !pcb.First("wiring"))
            continue;
        std::vector<Segment> design;
        std::vector<Via> designVias;
        if (!DesignSegments(pcb, design, designVias, skippedWires)) {
            ++ownResolution;
            continue;
        }
        std::vector<Segment> sessionSegments;
        std::vector<Via> sessionVias;
        SessionWiring(written, sessionSegments, sessionVias);
        const std::vector<Segment> missing = Missing(
            design, sessionSegments,
            [](const Segment& s) {
                return std::vector<TPlace>{{s.Net, s.X1, s.Y1}, {s.Net, s.X2, s.Y2}};
            },
            SameSegment);
        EXPECT_TRUE(missing.empty()) << file << ": " << missing.size() << " of " << design.size()
                                     << " segments missing, first " << Describe(missing[0]);
        const std::map<std::string, std::string> shapes = PadstackShapes(pcb);
        const auto samePads = [&](const Via& a, const Via& b) {
            const auto x = shapes.find(a.Padstack), y = shapes.find(b.Padstack);
            return a.Padstack == b.Padstack ||
                   (x != shapes.end() && y != shapes.end() && x->second == y->second);
        };
        const std::vector<Via> missingVias = Missing(
            designVias, sessionVias,
            [](const Via& v) {
                return std::vector<TPlace>{{v.Net, v.X, v.Y}};
            },
            samePads);
        EXPECT_TRUE(missingVias.empty())
            << file << ": " << missingVias.size() << " of " << designVias.size()
            << " vias missing, first " << missingVias[0].Net << " " << missingVias[0].Padstack
            << " (" << missingVias[0].X << " " << missingVias[0].Y << ")";
        ++compared;
        segments += design.size();
        vias += designVias.size();
    }
    std::printf("session files: %d; designs with wiring compared: %d (%zu wire segments, %zu "
                "vias); wires without a path or a known net: %d; wiring with its own resolution: "
                "%d\n",
                sessions, compared, segments, vias, skippedWires, ownResolution);
    EXPECT_GT(sessions, static_cast<int>(files.size()) * 9 / 10);
    EXPECT_GT(compared, 250 / kShards);
}

INSTANTIATE_TEST_SUITE_P(Shards, CorpusRoundTrip, ::testing::Range(0, CorpusRoundTrip::kShards));

} // namespace
