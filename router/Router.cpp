#include "router/Router.h"

#include "router/GridRouter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <numeric>
#include <queue>
#include <string_view>
#include <unordered_map>

namespace Router {

using namespace detail;

namespace {

uint32_t AllOf(const RouteBoard& board) {
    return board.layers.size() >= 32 ? 0xFFFFFFFFu : (1u << board.layers.size()) - 1;
}

// The board's copper and the edges of its outline, in buckets for exact
// checks of copper `reach` wide with its clearance; `gaps` keeps the
// clearances between pairs of nets the buckets ask for.
Buckets BoardCopper(const RouteBoard& board, double reach, double safety,
                    std::unique_ptr<PairGaps>& gaps) {
    Box box;
    for (const RoutePad& pad : board.pads)
        box.Add(pad.at.x, pad.at.y, reach);
    for (const Obstacle& o : board.obstacles) {
        const Box b = o.shape.Bounds();
        if (!b.Empty()) {
            box.Add(b.x0, b.y0);
            box.Add(b.x1, b.y1);
        }
    }
    for (const Pt& p : board.outline)
        box.Add(p.x, p.y);
    const double extent = std::max(box.x1 - box.x0, box.y1 - box.y0);
    Buckets copper(box, std::max(4 * reach, extent / 256), safety);
    if (board.rules) {
        gaps = std::make_unique<PairGaps>(board);
        copper.SetPairGaps(gaps.get());
    }
    for (const Obstacle& o : board.obstacles)
        copper.Add(o);
    const uint32_t all = AllOf(board);
    for (std::size_t k = 0; k < board.outline.size() && board.outline.size() >= 3; ++k) {
        Obstacle edge;
        edge.shape.points = {board.outline[k], board.outline[(k + 1) % board.outline.size()]};
        edge.layers = all;
        edge.clearance = board.clearance;
        copper.Add(edge);
    }
    return copper;
}

// Each pad of a net that owns a plane and reaches it through no drill of
// its own or of copper joined to it (a pad on one layer) is taken to the
// plane by a via close by and a straight track from the pad's centre to it,
// checked exactly against all other copper: the nearest place that fits,
// tried at a few distances in eight directions, inside the working area.
// Answers the tracks and vias laid.
std::pair<std::vector<RouteTrack>, std::vector<RouteVia>> PlaneVias(const RouteBoard& board,
                                                                    double safety) {
    std::pair<std::vector<RouteTrack>, std::vector<RouteVia>> laid;
    double reach = 0;
    for (const RouteNet& net : board.nets)
        reach = std::max(reach, net.width + std::max(net.clearance, board.clearance));
    std::unique_ptr<PairGaps> gaps;
    Buckets copper = BoardCopper(board, reach, safety, gaps);
    const std::vector<int> root = JoinedByCopper(board);
    std::vector<char> onPlane(board.pads.size(), 0);
    for (std::size_t p = 0; p < board.pads.size(); ++p)
        if (board.pads[p].drilled && board.ReachesPlane(board.pads[p].net, board.pads[p].at))
            onPlane[static_cast<std::size_t>(root[p])] = 1;
    constexpr int kSteps = 12; // distances tried, a via's radius apart
    for (std::size_t p = 0; p < board.pads.size(); ++p) {
        const RoutePad& pad = board.pads[p];
        const std::size_t group = static_cast<std::size_t>(root[p]);
        if (onPlane[group] || pad.underKeepout || !board.ReachesPlane(pad.net, pad.at) ||
            board.nets[pad.net].pads.size() < 2)
            continue;
        const auto side = std::find_if(pad.perLayer.begin(), pad.perLayer.end(),
                                       [](const Shape& shape) { return !shape.points.empty(); });
        if (side == pad.perLayer.end())
            continue;
        const int layer = static_cast<int>(side - pad.perLayer.begin());
        const RouteNet& net = board.nets[pad.net];
        const double radius = board.ViaDiameterOf(pad.net) / 2, half = net.width / 2;
        const Box bounds = side->Bounds();
        const double first =
            std::max(bounds.x1 - bounds.x0, bounds.y1 - bounds.y0) / 2 + radius + net.clearance;
        const double step = std::max(radius, half);
        bool done = false;
        for (int k = 0; k < kSteps && !done; ++k)
            for (int d = 0; d < kDirs && !done; ++d) {
                const double length = (first + k * step) / (d % 2 == 0 ? 1 : std::sqrt(2.0));
                const Pt at{std::round(pad.at.x + kDx[d] * length),
                            std::round(pad.at.y + kDy[d] * length)};
                if (!board.ReachesPlane(pad.net, at) ||
                    !copper.Clear(at, at, radius, net.clearance, pad.net, 0, true) ||
                    !copper.DrillApart(at, board.ViaHoleOf(pad.net) / 2, board.holeGap) ||
                    !copper.Clear(pad.at, at, half, net.clearance, pad.net, layer, false) ||
                    !copper.Clear(AsWritten(pad.at), AsWritten(at), half, net.clearance, pad.net,
                                  layer, false))
                    continue;
                const RouteTrack stub{pad.net, layer, pad.at, at, net.width};
                const RouteVia via{pad.net, at};
                copper.Add(TrackObstacle(board, stub));
                copper.Add(ViaObstacle(board, via, AllOf(board)));
                laid.first.push_back(stub);
                laid.second.push_back(via);
                onPlane[group] = 1;
                done = true;
            }
    }
    return laid;
}

// Links between pads of a net close to each other (neighbouring pins of a
// part, a part and the one beside it), straight from one pad's centre to
// the other's or with one bend (along x or y, or at 45 degrees, then
// straight), checked exactly against all other copper: they reach pads
// between close neighbours that no grid line gets onto. Each joins two
// pads the board's copper and the links before it do not join yet,
// shortest first; a link keeps exactly the clearance at most, as a track
// straight out of a pad does, its ends being the pads' centres. `joined`
// gets the number of pads joined so.
// Long: the candidate links, their shapes and their checks share the pair list.
std::vector<RouteTrack> DirectLinks(const RouteBoard& board, int& joined) {
    std::vector<RouteTrack> links;
    const int layers = static_cast<int>(board.layers.size());
    double reach = 0;
    for (const RouteNet& net : board.nets)
        reach = std::max(reach, net.width + std::max(net.clearance, board.clearance));
    // Pairs of a net's pads no farther apart than a few tracks and their
    // clearances.
    struct Pair {
        double length;
        int a, b;
    };
    std::vector<Pair> pairs;
    for (const RouteNet& net : board.nets) {
        const double most = kLinkReach * (net.width + std::max(net.clearance, board.clearance));
        std::vector<int> pads = net.pads;
        std::sort(pads.begin(), pads.end(), [&](int a, int b) {
            return board.pads[a].at.x < board.pads[b].at.x ||
                   (board.pads[a].at.x == board.pads[b].at.x && a < b);
        });
        for (std::size_t i = 0; i < pads.size(); ++i)
            for (std::size_t j = i + 1; j < pads.size(); ++j) {
                const Pt p = board.pads[pads[i]].at, q = board.pads[pads[j]].at;
                if (q.x - p.x > most)
                    break;
                const double length = std::hypot(q.x - p.x, q.y - p.y);
                if (length <= most && length > 0)
                    pairs.push_back({length, pads[i], pads[j]});
            }
    }
    if (pairs.empty())
        return links;
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair& x, const Pair& y) { return x.length < y.length; });
    std::unique_ptr<PairGaps> gaps;
    Buckets copper = BoardCopper(board, reach, 0, gaps);
    Joins joins(board.pads.size());
    joins.parent = JoinedByCopper(board);
    for (const Pair& pair : pairs) {
        if (joins.Find(pair.a) == joins.Find(pair.b))
            continue;
        const RoutePad& p = board.pads[pair.a];
        const RoutePad& q = board.pads[pair.b];
        if (p.underKeepout || q.underKeepout)
            continue;
        const int net = p.net;
        const double half = board.nets[net].width / 2, clearance = board.nets[net].clearance;
        // The ways: straight, then along x or y first, then at 45 degrees
        // first, each bend at whole board units like the pads' centres.
        const Pt a = p.at, b = q.at;
        const double dx = b.x - a.x, dy = b.y - a.y, m = std::min(std::fabs(dx), std::fabs(dy));
        const double sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
        const Pt bends[] = {
            a, {b.x, a.y}, {a.x, b.y}, {a.x + sx * m, a.y + sy * m}, {b.x - sx * m, b.y - sy * m}};
        bool done = false;
        for (int l = 0; l < layers && !done; ++l) {
            auto has = [&](const RoutePad& pad) {
                return l < static_cast<int>(pad.perLayer.size()) && !pad.perLayer[l].points.empty();
            };
            if (!has(p) || !has(q))
                continue;
            for (const Pt& bend : bends) {
                if (&bend != &bends[0] &&
                    ((bend.x == a.x && bend.y == a.y) || (bend.x == b.x && bend.y == b.y)))
                    continue;
                // Pad centres of a design in mils may lie between the
                // written steps: the link must be clear as written too.
                auto clear = [&](Pt u, Pt v) {
                    return copper.Clear(u, v, half, clearance, net, l, false, kAxisSafety) &&
                           copper.Clear(AsWritten(u), AsWritten(v), half, clearance, net, l, false,
                                        kAxisSafety);
                };
                const bool straight = &bend == &bends[0];
                if (straight ? !clear(a, b) : !clear(a, bend) || !clear(bend, b))
                    continue;
                const double width = board.nets[net].width;
                std::vector<RouteTrack> pieces;
                if (straight)
                    pieces.push_back({net, l, a, b, width});
                else
                    pieces = {{net, l, a, bend, width}, {net, l, bend, b, width}};
                for (const RouteTrack& t : pieces) {
                    copper.Add(TrackObstacle(board, t));
                    links.push_back(t);
                }
                joins.Join(pair.a, pair.b);
                ++joined;
                done = true;
                break;
            }
        }
    }
    return links;
}

// The groups of pads not joined yet, summed over the nets to route.
int Groups(const RouteBoard& board) {
    const std::vector<int> root = JoinedByCopper(board);
    int groups = 0;
    for (std::size_t p = 0; p < board.pads.size(); ++p)
        groups += board.pads[p].net != kNoNet && board.nets[board.pads[p].net].pads.size() > 1 &&
                          root[p] == static_cast<int>(p)
                      ? 1
                      : 0;
    return groups;
}

} // namespace

RouteResult Route(const RouteBoard& board, const RouteOptions& options) {
    if (board.layers.empty() || board.nets.empty()) {
        RouteResult result;
        if (board.layers.empty()) {
            // Every connection stays open.
            for (const RouteNet& net : board.nets)
                result.connections += std::max(static_cast<int>(net.pads.size()) - 1, 0);
            result.open = result.connections;
            result.lines.push_back("nothing routed: the board has no signal layer");
        }
        return result;
    }
    // Pads of a net that owns a plane go down to it first; then short links
    // straight from pad to pad, as if the board had them; the grid routes
    // the rest around them.
    const auto [stubs, planeVias] =
        board.planes.empty() ? std::pair<std::vector<RouteTrack>, std::vector<RouteVia>>()
                             : PlaneVias(board, options.safety);
    std::unique_ptr<RouteBoard> fanned;
    if (!planeVias.empty()) {
        fanned = std::make_unique<RouteBoard>(board);
        for (const RouteTrack& t : stubs)
            fanned->obstacles.push_back(TrackObstacle(board, t));
        for (const RouteVia& v : planeVias)
            fanned->obstacles.push_back(ViaObstacle(board, v, AllOf(board)));
    }
    const RouteBoard& base = fanned ? *fanned : board;
    int joined = fanned ? Groups(board) - Groups(base) : 0;
    const std::vector<RouteTrack> links = DirectLinks(base, joined);
    if (links.empty() && !fanned) {
        GridRouter router(board, options);
        return router.Run();
    }
    RouteBoard linked = base;
    for (const RouteTrack& t : links)
        linked.obstacles.push_back(TrackObstacle(board, t));
    // The plane's vias and the links count among the connections routed
    // from the start.
    RouteOptions counted = options;
    if (options.report)
        counted.report = [&options, joined](const RouteProgress& now) {
            RouteProgress shown = now;
            shown.routed += joined;
            options.report(shown);
        };
    GridRouter router(linked, counted);
    RouteResult result = router.Run();
    result.tracks.insert(result.tracks.begin(), links.begin(), links.end());
    result.tracks.insert(result.tracks.begin(), stubs.begin(), stubs.end());
    result.vias.insert(result.vias.begin(), planeVias.begin(), planeVias.end());
    result.connections += joined;
    for (const std::vector<RouteTrack>* laid : {&links, &stubs})
        for (const RouteTrack& t : *laid)
            result.length += std::hypot(t.b.x - t.a.x, t.b.y - t.a.y);
    return result;
}

namespace {

// A piece of copper of a net on a set of layers, for joining by overlap.
struct Item {
    int net;
    uint32_t layers;
    Shape shape;
};

// The pads as items (a through pad is one item on several layers), first
// in `items`, one per pad.
void AddPadItems(const RouteBoard& board, std::vector<Item>& items) {
    for (const RoutePad& pad : board.pads) {
        Item item{pad.net, 0, {}};
        for (std::size_t l = 0; l < pad.perLayer.size(); ++l)
            if (!pad.perLayer[l].points.empty()) {
                item.layers |= 1u << l;
                if (item.shape.points.empty())
                    item.shape = l < pad.core.size() && !pad.core[l].points.empty()
                                     ? pad.core[l]
                                     : pad.perLayer[l];
            }
        items.push_back(item);
    }
}

// Joins the items of one net that overlap on a shared layer; answers, per
// net, its items.
std::vector<std::vector<int>> JoinTouching(const std::vector<Item>& items, std::size_t nets,
                                           Joins& joins) {
    std::vector<std::vector<int>> byNet(nets);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].net >= 0 && items[i].net < static_cast<int>(nets))
            byNet[items[i].net].push_back(static_cast<int>(i));
    std::vector<Box> bounds(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        bounds[i] = items[i].shape.Bounds();
    // Per net, compare the items pairwise through a sort by x of their boxes.
    for (auto& list : byNet) {
        std::sort(list.begin(), list.end(),
                  [&](int a, int b) { return bounds[a].x0 < bounds[b].x0; });
        for (std::size_t a = 0; a < list.size(); ++a) {
            const Item& p = items[list[a]];
            const Box& pb = bounds[list[a]];
            for (std::size_t b = a + 1; b < list.size(); ++b) {
                const Item& q = items[list[b]];
                const Box& qb = bounds[list[b]];
                if (qb.x0 > pb.x1)
                    break;
                if ((p.layers & q.layers) == 0 || qb.y0 > pb.y1 || qb.y1 < pb.y0)
                    continue;
                // Overlap: the pieces of one against the grown other.
                bool touch = false;
                const auto& pp = p.shape.points;
                if (pp.size() <= 2) {
                    touch =
                        SegmentShapeDistance(pp.front(), pp.back(), q.shape) <= p.shape.radius + 1;
                } else {
                    for (std::size_t e = 0; e < pp.size() && !touch; ++e)
                        touch = SegmentShapeDistance(pp[e], pp[(e + 1) % pp.size()], q.shape) <=
                                p.shape.radius + 1;
                    const auto& qp = q.shape.points;
                    touch = touch || (!qp.empty() && InsidePolygon(pp, qp[0]));
                }
                if (touch)
                    joins.Join(list[a], list[b]);
            }
        }
    }
    return byNet;
}

// Joins the drills (items at the points given) that reach a plane of their
// net: the plane joins them all.
void JoinThroughPlanes(const RouteBoard& board, const std::vector<Item>& items,
                       const std::vector<std::pair<int, Pt>>& drills, Joins& joins) {
    std::vector<int> first(board.nets.size(), -1);
    for (const auto& [item, at] : drills) {
        const int net = items[static_cast<std::size_t>(item)].net;
        if (!board.ReachesPlane(net, at))
            continue;
        int& seen = first[static_cast<std::size_t>(net)];
        if (seen < 0)
            seen = item;
        else
            joins.Join(seen, item);
    }
}

// The pads through the board, as drills at their centres.
std::vector<std::pair<int, Pt>> PadDrills(const RouteBoard& board) {
    std::vector<std::pair<int, Pt>> drills;
    for (std::size_t p = 0; p < board.pads.size(); ++p)
        if (board.pads[p].drilled)
            drills.push_back({static_cast<int>(p), board.pads[p].at});
    return drills;
}

} // namespace

std::vector<int> JoinedByCopper(const RouteBoard& board) {
    std::vector<Item> items;
    AddPadItems(board, items);
    const std::size_t padCount = items.size();
    std::vector<std::pair<int, Pt>> drills = PadDrills(board);
    for (const Obstacle& o : board.obstacles)
        // A drill may reach past its pad's copper (a hole larger than a
        // small pad): only copper joins pads.
        if (o.net != kNoNet && !o.viaOnly && !o.hole && !o.shape.points.empty()) {
            if (o.kind == kViaKind)
                drills.push_back({static_cast<int>(items.size()), o.shape.points.front()});
            items.push_back({o.net, o.layers, o.shape});
        }
    Joins joins(items.size());
    JoinTouching(items, board.nets.size(), joins);
    JoinThroughPlanes(board, items, drills, joins);
    // Item roots are the smallest index joined, so a pad's root is a pad
    // when the group holds one.
    std::vector<int> root(padCount);
    for (std::size_t p = 0; p < padCount; ++p) {
        const int r = joins.Find(static_cast<int>(p));
        root[p] = static_cast<std::size_t>(r) < padCount ? r : static_cast<int>(p);
    }
    return root;
}

RouteOptions OptionsFor(Effort effort) {
    RouteOptions options;
    switch (effort) {
    case Effort::Low: // two rounds, a short rip-up in the three first ways
        options.rounds = 2;
        options.ripUpGrowth = 1;
        options.staleRounds = 2;
        options.ripUps = 40;
        options.ripUpSteps = 4000000;
        options.ripUpWays = 3;
        break;
    case Effort::Normal:
        break;
    case Effort::High: // more rounds, and a rip-up that goes on as long as it gains
        options.rounds = 20;
        options.staleRounds = 8;
        options.ripUps = 2000;
        options.ripUpSteps = 400000000;
        options.ripUpShare = 8;
        // Its budget is already above what gains stretch normal's to.
        options.ripUpGrowth = 1;
        options.completeTries = 2; // and a completion pass that tries each twice
        break;
    }
    return options;
}

bool ParseEffort(const std::string& word, Effort& effort) {
    if (word == "low")
        effort = Effort::Low;
    else if (word == "normal")
        effort = Effort::Normal;
    else if (word == "high")
        effort = Effort::High;
    else
        return false;
    return true;
}

int CountOpen(const RouteBoard& board, const std::vector<RouteTrack>& tracks,
              const std::vector<RouteVia>& vias) {
    // Items: pads, then tracks, then vias; joined when they overlap on a
    // layer and share the net.
    std::vector<Item> items;
    AddPadItems(board, items);
    const std::size_t padCount = items.size();
    for (const RouteTrack& t : tracks)
        items.push_back({t.net, 1u << t.layer, Shape{{t.a, t.b}, t.width / 2}});
    std::vector<std::pair<int, Pt>> drills = PadDrills(board);
    for (const RouteVia& v : vias) {
        drills.push_back({static_cast<int>(items.size()), v.at});
        items.push_back({v.net, AllOf(board), Shape{{v.at}, board.ViaDiameterOf(v.net) / 2}});
    }
    Joins joins(items.size());
    int open = 0;
    const std::vector<std::vector<int>> byNet = JoinTouching(items, board.nets.size(), joins);
    JoinThroughPlanes(board, items, drills, joins);
    for (const std::vector<int>& list : byNet) {
        std::vector<int> roots;
        for (int i : list)
            if (static_cast<std::size_t>(i) < padCount)
                roots.push_back(joins.Find(i));
        std::sort(roots.begin(), roots.end());
        roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
        if (!roots.empty())
            open += static_cast<int>(roots.size()) - 1;
    }
    return open;
}

} // namespace Router
