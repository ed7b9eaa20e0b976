// Every real design's structure on a board, checked against a count of the
// design text made here by a small scanner of its own: the layer stack in
// order with its names, the board outline's extent after conversion and
// offset, the offset itself, and the keepout and plane objects.
#include "support/CorpusImport.h"
#include "support/Sexpr.h"

#include "board/BoardRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using TNode = sexpr::Node;

double Number(const TNode& atom) {
    return std::strtod(atom.Atom.c_str(), nullptr);
}

// ------------------------------------------------------ what a design holds

struct TExpected {
    std::vector<std::pair<int, std::string>> Stack; // host layer, name, in stack order
    int Unit = 0;                                   // 1 inch .. 5 um, 0 unknown (mil)
    bool Outline = false;
    std::vector<std::pair<double, double>> OutlinePoints; // design units
    bool HasExtent = false;
    double Lx = 0, Ly = 0, Hx = 0, Hy = 0; // the boundary's extent
    int KeepoutObjects = 0;
    int PlaneObjects = 0; // split planes and polygons of "plane" shapes
    int OneNetPowerLayers = 0;
};

int UnitCode(const std::string& word) {
    static const char* const names[] = {"INCH", "MIL", "CM", "MM", "UM"};
    for (int i = 0; i < 5; ++i)
        if (word == names[i])
            return i + 1;
    return 0;
}

int32_t ToBoard(double v, int unit) {
    const double w = unit == 1   ? v * 1000.0 * 10000.0
                     : unit == 3 ? v * 10.0 * 10000.0 / 0.0254
                     : unit == 4 ? v * 10000.0 / 0.0254
                     : unit == 5 ? v / 1000.0 * 10000.0 / 0.0254
                                 : v * 10000.0;
    return static_cast<int32_t>(std::clamp(std::nearbyint(w), -2147483648.0, 2147483647.0));
}

std::vector<std::pair<double, double>> Points(const TNode& shape, size_t first) {
    std::vector<std::pair<double, double>> points;
    for (size_t i = first; i + 1 < shape.Items.size(); i += 2) {
        if (shape.Items[i].IsList || shape.Items[i + 1].IsList)
            break;
        points.push_back({Number(shape.Items[i]), Number(shape.Items[i + 1])});
    }
    return points;
}

// Widens the extent by the points, each grown by `half` (half a path's width).
void Include(TExpected& e, const std::vector<std::pair<double, double>>& points, double half = 0) {
    for (const auto& [x, y] : points) {
        const bool first = !e.HasExtent;
        e.Lx = first ? x - half : std::min(e.Lx, x - half);
        e.Ly = first ? y - half : std::min(e.Ly, y - half);
        e.Hx = first ? x + half : std::max(e.Hx, x + half);
        e.Hy = first ? y + half : std::max(e.Hy, y + half);
        e.HasExtent = true;
    }
}

int ObjectsOfKeepoutShape(const TNode& shape) {
    if (shape.Head() == "RECT")
        return 4;
    if (shape.Head() == "CIRCLE" || shape.Head() == "CIRC" || shape.Head() == "QARC" ||
        shape.Head() == "POLYGON" || shape.Head() == "POLY")
        return 1;
    if (shape.Head() == "PATH")
        return std::max<int>(0, static_cast<int>(Points(shape, 3).size()) - 1);
    return 0;
}

// A keepout or plane block is read whole when every sub-block starts with a
// word of the Specctra language; any other word fails the block.
bool ReadWhole(const TNode& block) {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> list;
        for (const TKeywordRegistration& r : SpecctraKeywordRegistrations())
            list.push_back(sexpr::Upper(r.Keyword));
        std::sort(list.begin(), list.end());
        return list;
    }();
    for (const TNode& kid : block.Items)
        if (kid.IsList && !std::binary_search(words.begin(), words.end(), kid.Head()))
            return false;
    return true;
}

TExpected Expect(const TNode& pcb) {
    TExpected e;
    int designUnit = 0;
    const TNode* structure = nullptr;
    for (const TNode& kid : pcb.Items) {
        if (!kid.IsList)
            continue;
        if (kid.Head() == "RESOLUTION" && designUnit == 0 && kid.Items.size() > 1)
            designUnit = UnitCode(kid.Items[1].Atom);
        else if (kid.Head() == "UNIT" && kid.Items.size() > 1)
            designUnit = UnitCode(kid.Items[1].Atom) ? UnitCode(kid.Items[1].Atom) : 2;
        else if (kid.Head() == "STRUCTURE" && !structure)
            structure = &kid;
    }
    e.Unit = designUnit;
    if (!structure)
        return e;
    if (const TNode* unit = structure->First("UNIT"); unit && unit->Items.size() > 1)
        e.Unit = UnitCode(unit->Items[1].Atom) ? UnitCode(unit->Items[1].Atom) : 2;

    // Layers: non-jumper layers in order; top, bottom, inner signals 2.., planes 39..
    std::vector<std::pair<std::string, std::string>> layers; // name, type
    for (const TNode& kid : structure->Items) {
        if (!kid.IsList || kid.Head() != "LAYER" || kid.Items.size() < 2)
            continue;
        std::string type = "SIGNAL";
        if (const TNode* t = kid.First("TYPE"); t && t->Items.size() > 1)
            type = t->Items[1].Atom;
        if (type != "SIGNAL" && type != "POWER" && type != "MIXED")
            continue;
        layers.push_back({kid.Items[1].Atom, type});
        const TNode* nets = kid.First("USE_NET");
        if (type == "POWER" && nets && nets->Items.size() == 2)
            ++e.OneNetPowerLayers;
    }
    int signal = 2, plane = 39; // a layer past the last of its kind is left out
    for (size_t i = 0; i < layers.size(); ++i) {
        const int host = i + 1 == layers.size()        ? 32
                         : i == 0                      ? 1
                         : layers[i].second == "POWER" ? (plane <= 54 ? plane++ : 0)
                                                       : (signal < 32 ? signal++ : 0);
        if (host)
            e.Stack.push_back({host, layers[i].first});
    }

    // Boundary: the first rect on PCB, the last shape on SIGNAL, the rest.
    const TNode* designRect = nullptr;
    const TNode* boardShape = nullptr;
    std::vector<const TNode*> rest;
    for (const TNode& kid : structure->Items) {
        if (!kid.IsList || kid.Head() != "BOUNDARY")
            continue;
        std::vector<const TNode*> shapes;
        for (const TNode& shape : kid.Items)
            if (shape.IsList && (shape.Head() == "RECT" || shape.Head() == "PATH") &&
                shape.Items.size() > 1)
                shapes.push_back(&shape);
        if (!designRect)
            for (auto it = shapes.begin(); it != shapes.end(); ++it)
                if ((*it)->Head() == "RECT" && (*it)->Items[1].Atom == "PCB" &&
                    !(*it)->Items[1].Quoted) {
                    designRect = *it;
                    shapes.erase(it);
                    break;
                }
        if (!boardShape)
            for (auto it = shapes.rbegin(); it != shapes.rend(); ++it)
                if ((*it)->Items[1].Atom == "SIGNAL" && !(*it)->Items[1].Quoted) {
                    boardShape = *it;
                    shapes.erase(std::next(it).base());
                    break;
                }
        rest.insert(rest.end(), shapes.begin(), shapes.end());
    }
    const auto rectPoints = [](const TNode& rect) {
        const double x1 = Number(rect.Items[2]), y1 = Number(rect.Items[3]);
        const double x2 = Number(rect.Items[4]), y2 = Number(rect.Items[5]);
        return std::vector<std::pair<double, double>>{{std::min(x1, x2), std::min(y1, y2)},
                                                      {std::max(x1, x2), std::max(y1, y2)}};
    };
    const TNode* outline = boardShape ? boardShape : designRect;
    if (outline) {
        e.Outline = true;
        e.OutlinePoints = outline->Head() == "RECT" ? rectPoints(*outline) : Points(*outline, 3);
    }
    if (designRect)
        Include(e, rectPoints(*designRect));
    else
        for (const TNode* shape : rest)
            if (shape->Head() == "RECT")
                Include(e, rectPoints(*shape));
            else if (const auto points = Points(*shape, 3); !points.empty())
                Include(e, points, Number(shape->Items[2]) / 2);

    // Keepouts and planes.
    static const char* const keepouts[] = {"KEEPOUT",      "PLACE_KEEPOUT", "VIA_KEEPOUT",
                                           "WIRE_KEEPOUT", "BEND_KEEPOUT",  "ELONGATE_KEEPOUT"};
    for (const TNode& kid : structure->Items) {
        if (!kid.IsList || !ReadWhole(kid))
            continue;
        if (std::find(std::begin(keepouts), std::end(keepouts), kid.Head()) != std::end(keepouts)) {
            for (const TNode& shape : kid.Items)
                if (shape.IsList)
                    e.KeepoutObjects += ObjectsOfKeepoutShape(shape);
        } else if (kid.Head() == "PLANE") {
            for (const TNode& shape : kid.Items)
                if (shape.IsList &&
                    (shape.Head() == "POLYGON" || shape.Head() == "POLY" || shape.Head() == "PATH"))
                    ++e.PlaneObjects;
        }
    }
    return e;
}

// The design's own header blocks and its structure, without the rest.
std::string StructureOnly(const std::string& text, const TNode& pcb) {
    std::string out = "(pcb corpus\n";
    for (const TNode& kid : pcb.Items)
        if (kid.IsList && (kid.Head() == "PARSER" || kid.Head() == "RESOLUTION" ||
                           kid.Head() == "UNIT" || kid.Head() == "STRUCTURE"))
            out += text.substr(kid.Begin, kid.End - kid.Begin) + "\n";
    return out + ")\n";
}

// The offset that fits an extent into the 0 .. 99999 mil workspace.
bool FitAxis(double first, double second, double& offset) {
    const double margin = 20000000.0, top = 999990000.0, w = std::fabs(second - first);
    double low = 0, high = top;
    if (high - low - 2 * margin > w)
        low = margin, high = top - margin;
    else if (high - low - margin > w)
        low = margin;
    else if (w > high - low)
        return false;
    offset = 0;
    if (low > first)
        offset = low - first;
    if (second > high)
        offset = high - second;
    return true;
}

using StructureCorpus = corpus::CorpusBoardTest;

TEST_F(StructureCorpus, BoardsHoldTheDesignsLayersOutlineKeepoutsAndPlanes) {
    int designs = 0, outlines = 0, offsets = 0, keepouts = 0, planes = 0, checkedOffsets = 0;
    for (const fs::path& file : files) {
        const std::string text = corpus::Text(file);
        const TNode all = sexpr::ReadAll(text, {.Quote = '\'', .UpperWords = true});
        const auto first = std::find_if(all.Items.begin(), all.Items.end(),
                                        [](const TNode& item) { return item.IsList; });
        if (first == all.Items.end() || first->Head() != "PCB")
            continue;
        const TNode& pcb = *first;
        const TExpected e = Expect(pcb);
        SCOPED_TRACE(file.string());
        ++designs;
        const std::string structure = StructureOnly(text, pcb);
        corpus::TImport import(file, &structure);
        ASSERT_NE(import.board, 0);
        import.Write();
        const intptr_t board = import.board;
        const int errors = import.design->Report()->ErrorCount();

        // The layer stack, in order, with the design's names.
        TPcbBoard pcbBoard(board);
        pcbBoard.QueryDatabase(1);
        pcbBoard.QueryLayers(1);
        std::vector<std::pair<int, std::string>> stack;
        for (TLayerObject* layer = pcbBoard.GetState_FirstLayerInStack(); layer;
             layer = pcbBoard.GetState_NextLayerInStack(layer))
            stack.push_back({layer->GetState_LayerId(), layer->GetState_Name()});
        if (e.Stack.size() == 1) {
            // A single layer ends on the bottom; the board keeps its own top.
            ASSERT_FALSE(stack.empty());
            EXPECT_EQ(stack.back(), e.Stack.front());
        } else if (!e.Stack.empty()) {
            EXPECT_EQ(stack, e.Stack);
        }

        // The board offset and origin.
        double ox = 0, oy = 0, offsetX = 0, offsetY = 0;
        if (e.HasExtent && FitAxis(ToBoard(e.Lx, e.Unit), ToBoard(e.Hx, e.Unit), ox) &&
            FitAxis(ToBoard(e.Ly, e.Unit), ToBoard(e.Hy, e.Unit), oy))
            offsetX = std::nearbyint(ox), offsetY = std::nearbyint(oy);
        if (pcbBoard.GetState_OriginX() == offsetX && pcbBoard.GetState_OriginY() == offsetY)
            ++checkedOffsets;
        else // an offset is skipped only when the structure reported an error
            EXPECT_GT(errors, 0) << "origin " << pcbBoard.GetState_OriginX() << ", "
                                 << pcbBoard.GetState_OriginY() << " expected " << offsetX << ", "
                                 << offsetY;
        offsets += offsetX != 0 || offsetY != 0;

        // The outline's extent is the board shape's after conversion and offset.
        const intptr_t outline = pcbBoard.GetState_BoardOutline();
        EXPECT_EQ(outline != 0, e.Outline);
        if (outline != 0 && e.Outline) {
            ++outlines;
            TPcbBoardOutline record(outline);
            record.QueryDatabase(1);
            const auto& segments = record.GetState_Segments();
            ASSERT_FALSE(segments.empty());
            int32_t lx = segments[0].vx, hx = lx, ly = segments[0].vy, hy = ly;
            for (const auto& s : segments)
                lx = std::min(lx, s.vx), hx = std::max(hx, s.vx), ly = std::min(ly, s.vy),
                hy = std::max(hy, s.vy);
            int32_t elx = std::numeric_limits<int32_t>::max(), ehx = -elx, ely = elx, ehy = -elx;
            for (const auto& [x, y] : e.OutlinePoints) {
                const int32_t bx = ToBoard(x, e.Unit) + pcbBoard.GetState_OriginX();
                const int32_t by = ToBoard(y, e.Unit) + pcbBoard.GetState_OriginY();
                elx = std::min(elx, bx), ehx = std::max(ehx, bx);
                ely = std::min(ely, by), ehy = std::max(ehy, by);
            }
            EXPECT_EQ((std::vector<int32_t>{lx, ly, hx, hy}),
                      (std::vector<int32_t>{elx, ely, ehx, ehy}));
        }

        // Keepouts: flagged board primitives outside components.
        int flagged = 0;
        const auto count = [&](auto wrapper, TObjectId kind) {
            for (intptr_t handle : CollectItems(board, kind)) {
                wrapper.SetState_ObjectHandle(handle);
                wrapper.QueryDatabase(1);
                flagged += (wrapper.GetState_BitField() & PCBAPI_BITFIELD_KEEPOUT) != 0 &&
                           wrapper.GetState_Component() == 0;
            }
        };
        count(TPcbTrack(0), eTrackObject);
        count(TPcbArc(0), eArcObject);
        count(TPCBRegion(0), eRegionObject);
        EXPECT_EQ(flagged, e.KeepoutObjects);
        keepouts += e.KeepoutObjects;

        // Planes: their polygons, and the outline planes of one-net power layers.
        const int planeObjects = static_cast<int>(CollectItems(board, eSplitPlaneObject).size() +
                                                  CollectItems(board, ePolygonObject).size());
        const int outlinePlanes = e.Outline ? e.OneNetPowerLayers : 0;
        EXPECT_EQ(planeObjects, e.PlaneObjects + outlinePlanes);
        planes += planeObjects;
    }
    EXPECT_GT(designs, 700);
    std::printf("%d designs: %d outlines, %d offsets, %d matching offsets, %d keepout objects, "
                "%d plane objects\n",
                designs, outlines, offsets, checkedOffsets, keepouts, planes);
}

} // namespace
