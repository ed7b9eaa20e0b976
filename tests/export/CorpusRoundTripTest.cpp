// Every real design of the corpus imported into a fresh board and written back
// as a session file; the session file is read with the test's own scanner,
// and for designs with wiring every wire segment of the design text is found
// in its net at the same place (0.00001 mm, within one step of rounding) with
// the same width and layer, and every via with the same padstack (or one with
// the same pads).
#include "support/EngineFixture.h"
#include "SexprScanner.h"

#include "design/SpecctraClasses2.h"
#include "design/SpecctraRoutes.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Steps of 0.00001 mm per design unit.
double StepsPerUnit(const std::string& unit) {
    const std::string u = Upper(unit);
    if (u == "INCH")
        return 2540000.0;
    if (u == "MIL")
        return 2540.0;
    if (u == "CM")
        return 1000000.0;
    if (u == "MM")
        return 100000.0;
    if (u == "UM")
        return 100.0;
    return 2540.0; // the reader's fallback: mil
}

struct Segment {
    std::string Net;
    std::string Layer;
    long long Width = 0;
    long long X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

struct Via {
    std::string Net;
    std::string Padstack;
    long long X = 0, Y = 0;
};

bool Near(long long a, long long b) {
    return std::llabs(a - b) <= 1;
}

bool SameSegment(const Segment& a, const Segment& b) {
    if (a.Net != b.Net || a.Layer != b.Layer || !Near(a.Width, b.Width))
        return false;
    const bool forward =
        Near(a.X1, b.X1) && Near(a.Y1, b.Y1) && Near(a.X2, b.X2) && Near(a.Y2, b.Y2);
    const bool backward =
        Near(a.X1, b.X2) && Near(a.Y1, b.Y2) && Near(a.X2, b.X1) && Near(a.Y2, b.Y1);
    return forward || backward;
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

// The design's wire segments (path wires on a net of the network), in steps.
// False when the wiring carries its own unit or resolution (not compared).
bool DesignSegments(const sexpr::Node& pcb, std::vector<Segment>& out, std::vector<Via>& vias,
                    int& skippedWires) {
    std::string unit = "INCH";
    bool haveUnit = false;
    if (const sexpr::Node* u = pcb.First("unit"); u && u->Items.size() > 1) {
        unit = u->Items[1].Atom;
        haveUnit = true;
    }
    if (const sexpr::Node* r = pcb.First("resolution"); r && r->Items.size() > 1 && !haveUnit)
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
            vias.push_back(Via{Upper(net->Items[1].Atom), Upper(via->Items[1].Atom),
                               std::llround(Number(via->Items[2]) * scale),
                               std::llround(Number(via->Items[3]) * scale)});
        }
        for (const sexpr::Node* wire : wiring->All("wire")) {
            const sexpr::Node* path = wire->First("path");
            const sexpr::Node* net = wire->First("net");
            if (!path || !net || net->Items.size() < 2 || path->Items.size() < 7 ||
                nets.count(Upper(net->Items[1].Atom)) == 0) {
                ++skippedWires;
                continue;
            }
            std::vector<double> numbers;
            for (std::size_t i = 3; i < path->Items.size() && !path->Items[i].IsList; ++i)
                numbers.push_back(Number(path->Items[i]));
            for (std::size_t p = 0; p + 3 < numbers.size(); p += 2) {
                Segment s;
                s.Net = Upper(net->Items[1].Atom);
                s.Layer = Upper(path->Items[1].Atom);
                s.Width = std::llround(Number(path->Items[2]) * scale);
                s.X1 = std::llround(numbers[p] * scale);
                s.Y1 = std::llround(numbers[p + 1] * scale);
                s.X2 = std::llround(numbers[p + 2] * scale);
                s.Y2 = std::llround(numbers[p + 3] * scale);
                out.push_back(s);
            }
        }
    }
    return true;
}

// The vias of a session file's network_out.
std::vector<Via> SessionVias(const sexpr::Node& session) {
    std::vector<Via> out;
    const sexpr::Node* routes = session.First("routes");
    const sexpr::Node* network = routes ? routes->First("network_out") : nullptr;
    if (!network)
        return out;
    for (const sexpr::Node* net : network->All("net"))
        for (const sexpr::Node* via : net->All("via"))
            if (via->Items.size() >= 4)
                out.push_back(Via{Upper(net->Items[1].Atom), Upper(via->Items[1].Atom),
                                  std::llround(Number(via->Items[2])),
                                  std::llround(Number(via->Items[3]))});
    return out;
}

// Design vias missing from the session: same net and padstack, within a step.
std::vector<Via> MissingVias(const std::vector<Via>& design, const std::vector<Via>& session,
                             const std::map<std::string, std::string>& padstacks) {
    auto same = [&](const std::string& a, const std::string& b) {
        if (a == b)
            return true;
        const auto x = padstacks.find(a);
        const auto y = padstacks.find(b);
        return x != padstacks.end() && y != padstacks.end() && x->second == y->second;
    };
    std::multimap<std::tuple<std::string, long long, long long>, std::size_t> at;
    for (std::size_t i = 0; i < session.size(); ++i)
        at.emplace(std::make_tuple(session[i].Net, session[i].X, session[i].Y), i);
    std::vector<bool> used(session.size(), false);
    std::vector<Via> missing;
    for (const Via& v : design) {
        bool found = false;
        for (long long dx = -1; dx <= 1 && !found; ++dx)
            for (long long dy = -1; dy <= 1 && !found; ++dy) {
                auto [from, to] = at.equal_range(std::make_tuple(v.Net, v.X + dx, v.Y + dy));
                for (auto it = from; it != to && !found; ++it)
                    if (!used[it->second] && same(session[it->second].Padstack, v.Padstack)) {
                        used[it->second] = true;
                        found = true;
                    }
            }
        if (!found)
            missing.push_back(v);
    }
    return missing;
}

// The wire segments of a session file's network_out.
std::vector<Segment> SessionSegments(const sexpr::Node& session) {
    std::vector<Segment> out;
    const sexpr::Node* routes = session.First("routes");
    const sexpr::Node* network = routes ? routes->First("network_out") : nullptr;
    if (!network)
        return out;
    for (const sexpr::Node* net : network->All("net"))
        for (const sexpr::Node* wire : net->All("wire"))
            if (const sexpr::Node* path = wire->First("path")) {
                std::vector<long long> numbers;
                for (std::size_t i = 3; i < path->Items.size() && !path->Items[i].IsList; ++i)
                    numbers.push_back(std::llround(Number(path->Items[i])));
                for (std::size_t p = 0; p + 3 < numbers.size(); p += 2)
                    out.push_back(Segment{Upper(net->Items[1].Atom), Upper(path->Items[1].Atom),
                                          std::llround(Number(path->Items[2])), numbers[p],
                                          numbers[p + 1], numbers[p + 2], numbers[p + 3]});
            }
    return out;
}

// Design segments missing from the session (each session segment matches once).
std::vector<Segment> Missing(const std::vector<Segment>& design, std::vector<Segment> session) {
    // Index the session by rounded start point, both directions.
    std::multimap<std::tuple<std::string, long long, long long>, std::size_t> byEnd;
    for (std::size_t i = 0; i < session.size(); ++i) {
        byEnd.emplace(std::make_tuple(session[i].Net, session[i].X1, session[i].Y1), i);
        byEnd.emplace(std::make_tuple(session[i].Net, session[i].X2, session[i].Y2), i);
    }
    std::vector<bool> used(session.size(), false);
    std::vector<Segment> missing;
    for (const Segment& s : design) {
        bool found = false;
        for (long long dx = -1; dx <= 1 && !found; ++dx)
            for (long long dy = -1; dy <= 1 && !found; ++dy) {
                auto [from, to] = byEnd.equal_range(std::make_tuple(s.Net, s.X1 + dx, s.Y1 + dy));
                for (auto it = from; it != to && !found; ++it)
                    if (!used[it->second] && SameSegment(s, session[it->second])) {
                        used[it->second] = true;
                        found = true;
                    }
            }
        if (!found)
            missing.push_back(s);
    }
    return missing;
}

std::string Describe(const Segment& s) {
    std::ostringstream text;
    text << s.Net << " " << s.Layer << " w" << s.Width << " (" << s.X1 << " " << s.Y1 << ")-("
         << s.X2 << " " << s.Y2 << ")";
    return text.str();
}

TEST(CorpusRoundTrip, EverySessionFileReadsAndEveryWireSegmentComesBack) {
    const fs::path corpus(DSNLINK_CORPUS_DIR);
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "corpus folder " << corpus << " is absent";
    enginetest::EngineLibrary& engine = enginetest::EngineLibrary::Get();
    if (!engine.error.empty())
        GTEST_SKIP() << engine.error;
    ASSERT_TRUE(PCBProcs::BindEngine());

    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(corpus))
        if (entry.is_regular_file() && entry.path().extension() == ".dsn")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    const fs::path folder =
        fs::temp_directory_path() / ("dsnlink_roundtrip_" + std::to_string(::getpid()));
    fs::create_directories(folder);

    int sessions = 0;
    int compared = 0;
    std::size_t segments = 0;
    std::size_t vias = 0;
    int skippedWires = 0;
    int ownResolution = 0;
    for (std::size_t n = 0; n < files.size(); ++n) {
        const fs::path& file = files[n];
        char error[256] = {};
        const intptr_t board = engine.newBoard(
            ("roundtrip-" + std::to_string(n) + ".pcbdoc").c_str(), error, sizeof error);
        ASSERT_NE(board, 0) << error;
        bool imported = false;
        ResetTranslationState();
        try {
            TSpecctraParser parser(file.string());
            parser.RegisterKeywords();
            TSpecctraDesign design(file.string(), &parser, nullptr, board);
            imported = design.ImportFromFile() && design.ExportToPCB();
        } catch (const std::exception& error) {
            ADD_FAILURE() << file << ": " << error.what();
        }
        if (!imported) {
            engine.closeBoard(board);
            continue;
        }
        const fs::path ses = folder / "out.ses";
        ResetTranslationState();
        {
            TSpecctraWriter writer(ses.string());
            TSpecctraSessionFile session(ses.string(), nullptr, &writer, board);
            session.ImportFromPcb();
            EXPECT_TRUE(session.ExportToFile()) << file;
            writer.Flush();
        }
        engine.closeBoard(board);

        sexpr::Node written;
        ASSERT_TRUE(sexpr::Parse(ReadAll(ses), written, '"', true)) << file;
        ASSERT_EQ(written.Head(), "session") << file;
        ++sessions;

        sexpr::Node pcb;
        if (!sexpr::Parse(ReadAll(file), pcb) || pcb.Head() != "pcb" || !pcb.First("wiring"))
            continue;
        std::vector<Segment> design;
        std::vector<Via> designVias;
        if (!DesignSegments(pcb, design, designVias, skippedWires)) {
            ++ownResolution;
            continue;
        }
        const std::vector<Segment> missing = Missing(design, SessionSegments(written));
        EXPECT_TRUE(missing.empty()) << file << ": " << missing.size() << " of " << design.size()
                                     << " segments missing, first " << Describe(missing[0]);
        const std::vector<Via> missingVias =
            MissingVias(designVias, SessionVias(written), PadstackShapes(pcb));
        EXPECT_TRUE(missingVias.empty())
            << file << ": " << missingVias.size() << " of " << designVias.size()
            << " vias missing, first " << missingVias[0].Net << " " << missingVias[0].Padstack
            << " (" << missingVias[0].X << " " << missingVias[0].Y << ")";
        ++compared;
        segments += design.size();
        vias += designVias.size();
    }
    fs::remove_all(folder);
    std::printf("session files: %d; designs with wiring compared: %d (%zu wire segments, %zu "
                "vias); wires without a path or a known net: %d; wiring with its own resolution: "
                "%d\n",
                sessions, compared, segments, vias, skippedWires, ownResolution);
    EXPECT_GT(sessions, static_cast<int>(files.size()) * 9 / 10);
    EXPECT_GT(compared, 250);
}

} // namespace
