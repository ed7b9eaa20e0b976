// What the router needs of a board, read once through the engine's entry
// points: the signal layers with their preferred directions, the outline,
// the nets with their track widths, the pads, every piece of copper and
// every keep-out as an obstacle, the clearance and the via to use. The router
// adds tracks and vias; WriteRoutes puts them on the board.
#pragma once

#include "boardapi/PcbApiTable.h"
#include "clearance/ClearanceRules.h"
#include "router/RouteGeometry.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Router {

constexpr int kNoNet = -1;

enum class Direction { Any, Horizontal, Vertical };

struct RouteLayer {
    int32_t id = 0; // the engine's layer id
    std::string name;
    Direction direction = Direction::Any;
};

// Something routed copper keeps its distance from: copper of a net (kNoNet
// for copper of no net, holes and keep-outs), on a set of router layers (bit
// i for layer i). Copper on a copper layer that is not routed (a power layer
// the stack puts on a signal layer) is kept clear by vias alone, which pass
// through it.
struct Obstacle {
    Shape shape;
    int net = kNoNet;
    uint32_t layers = 0;
    bool viaOnly = false; // a via keep-out: tracks may cross it
    bool hole = false;    // a drill: kept clear of, but joins no copper
    double clearance = 0; // what it asks of copper of other nets
    // What clearance rules may ask of it: the engine's object kind, whether
    // it is a pad on one layer, its drill.
    int32_t kind = 0;
    bool smd = false;
    double holeSize = 0;
    // The radius of its drill (a via's, a drilled pad's) around its shape's
    // points; 0 without one. Drills keep the board's hole gap between them.
    double drill = 0;
};

struct RoutePad {
    Pt at;
    int net = kNoNet;
    std::string name;            // designator-pad, for reports
    double angle = 0;            // the pad's rotation on the board, degrees
    bool underKeepout = false;   // under a keep-out on every layer it has copper on
    bool drilled = false;        // a pad through the board, which reaches every plane
    std::vector<Shape> perLayer; // by router layer; no points where the pad has no copper
    std::vector<Shape> core;     // by router layer: surely copper (empty: as perLayer)
};

struct RouteNet {
    std::string name;
    intptr_t handle = 0;
    double width = 0;       // track width
    double clearance = 0;   // to copper of other nets (the larger of the two applies)
    double viaDiameter = 0; // the net's own via (its rule or its class's); 0: the board's
    double viaHole = 0;
    std::string viaPadstack; // the design padstack its via style names; empty: the board's
    std::vector<int> pads;
};

// A plane: an inner copper layer the board gives to one net, joining every
// drill of that net (vias, pads through the board) that lands inside the
// working area. Copper of other nets passes through it by its clearance
// hole; the router does not route on it.
struct RoutePlane {
    int32_t layer = 0; // the engine's layer id
    int net = kNoNet;
};

struct RouteBoard {
    std::vector<RouteLayer> layers;
    std::vector<RoutePlane> planes;
    std::vector<Pt> outline; // where routing may go (SetWorkingArea); empty: the pads' extent
    Pt origin;               // the board origin: where the design's zero lies
    std::vector<RouteNet> nets;
    std::vector<RoutePad> pads;
    std::vector<Obstacle> obstacles;
    double clearance = 0; // the board's own, for copper of no net, keep-outs and the edge
    // The board's clearance rules when they tell pairs of nets, layers or
    // kinds of copper apart (each net's clearance is then the widest it may
    // be asked to keep); none when one clearance holds for everything.
    std::shared_ptr<const clearance::Rules> rules;
    double holeGap = 98425; // between the edges of two drills: the board's rule, else 0.25 mm
    double viaDiameter = 0; // the board's via: its first via style for all nets
    double viaHole = 0;
    std::string viaPadstack; // the design padstack of the board's via style, if named
    // The engine layers a via spans: the first and last copper layers of the
    // stack, as the board's via padstacks do, routed or not (0: the first
    // and last routing layers).
    int32_t viaLow = 0, viaHigh = 0;
    std::vector<std::string> notes; // what the reader could not take over

    // Whether the drill of `net` at `at` joins a plane of that net.
    bool ReachesPlane(int net, Pt at) const {
        return net != kNoNet &&
               std::any_of(planes.begin(), planes.end(),
                           [net](const RoutePlane& plane) { return plane.net == net; }) &&
               (outline.size() < 3 || InsidePolygon(outline, at));
    }
    // The via a net routes with, across and its drill.
    double ViaDiameterOf(int net) const {
        return net >= 0 && nets[static_cast<std::size_t>(net)].viaDiameter > 0
                   ? nets[static_cast<std::size_t>(net)].viaDiameter
                   : viaDiameter;
    }
    double ViaHoleOf(int net) const {
        return net >= 0 && nets[static_cast<std::size_t>(net)].viaDiameter > 0
                   ? nets[static_cast<std::size_t>(net)].viaHole
                   : viaHole;
    }
    const std::string& ViaPadstackOf(int net) const {
        return net >= 0 && nets[static_cast<std::size_t>(net)].viaDiameter > 0
                   ? nets[static_cast<std::size_t>(net)].viaPadstack
                   : viaPadstack;
    }
};

// A routed piece, in board units.
struct RouteTrack {
    int net = kNoNet;
    int layer = 0; // router layer
    Pt a, b;
    double width = 0;
};
struct RouteVia {
    int net = kNoNet;
    Pt at;
};

// Reads the board; raises std::runtime_error for a board the engine refuses.
RouteBoard ReadRouteBoard(const Harrow::PcbApiTable& api, intptr_t board);
// Where the router may work, decided here and nowhere else: the design's
// own boundary (`designBoundary`, read from the design file by the host;
// empty when unknown), else the board outline that ReadRouteBoard found,
// else nothing, and the router keeps to the extent of the pads. A design
// boundary that holds fewer than half of the pads does not belong to this
// board and is not used. Answers a line that says which area was taken, and
// adds to the notes the pads to connect that lie outside it and a clearance
// that leaves no room in it.
std::string SetWorkingArea(RouteBoard& board, const std::vector<Pt>& designBoundary);

// Adds the tracks and vias to the board on their nets; answers how many
// objects were added.
int WriteRoutes(const Harrow::PcbApiTable& api, intptr_t board, const RouteBoard& route,
                const std::vector<RouteTrack>& tracks, const std::vector<RouteVia>& vias);

} // namespace Router
