#include "router/GridRouter.h"

namespace Router::detail {

void GridRouter::RipUp(RouteResult& best, std::vector<int>& failed, Routing& kept) {
    const long budget =
        std::clamp(static_cast<long>(static_cast<double>(expansions_) * o_.ripUpShare),
                   std::min(kCheapWork, o_.ripUpSteps), o_.ripUpSteps);
    const long start = expansions_;
    // While it gains, the rip-up goes on: each gain leaves it at least
    // half its budget in steps and attempts, up to `ripUpGrowth` times
    // the budget.
    const double growth = std::max(1.0, o_.ripUpGrowth);
    const long most = static_cast<long>(static_cast<double>(budget) * growth);
    const int mostAttempts = static_cast<int>(o_.ripUps * growth);
    long steps = budget;
    int attempts = o_.ripUps;
    std::vector<char> tried(connections_.size(), 0), hopeless(connections_.size(), 0);
    // A pad with no legal way onto it on the bare board has none after
    // any rip-up either: its connections are not tried again.
    for (int f : failed)
        if (access_[connections_[f].from].empty() || access_[connections_[f].to].empty())
            hopeless[f] = 1;
    std::size_t way = 0;
    const int all = static_cast<int>(connections_.size());
    for (int attempt = 0; attempt < attempts && !failed.empty(); ++attempt) {
        if (expansions_ - start > steps || (o_.cancelled && o_.cancelled()))
            break;
        now_.stage = "rip-up attempt " + std::to_string(attempt + 1);
        Show(best, static_cast<int>(failed.size()), all);
        Tick();
        int c = -1;
        const std::size_t ways =
            std::min(std::size(kRipUpWays), static_cast<std::size_t>(std::max(1, o_.ripUpWays)));
        while (c < 0 && way < ways) {
            for (int f : failed)
                if (!tried[f] && !hopeless[f]) {
                    c = f;
                    break;
                }
            if (c < 0) {
                ++way;
                std::fill(tried.begin(), tried.end(), 0);
            }
        }
        if (c < 0)
            break;
        tried[c] = 1;
        RouteResult trial;
        std::vector<int> open;
        const Attempt outcome = Reroute(c, kRipUpWays[way], kept, failed, trial, open);
        if (outcome == Attempt::NoPath)
            hopeless[c] = 1;
        if (outcome != Attempt::Better)
            continue;
        Keep(trial, open, best, failed, kept);
        std::fill(tried.begin(), tried.end(), 0);
        steps = std::min(most, std::max(steps, expansions_ - start + budget / 2));
        attempts = std::min(mostAttempts, std::max(attempts, attempt + 1 + o_.ripUps / 2));
        now_.stage = "rip-up attempt " + std::to_string(attempt + 1) + " gained";
        Show(best, static_cast<int>(failed.size()), all);
        Tell();
    }
}

GridRouter::Attempt GridRouter::Reroute(int c, const RipUpWay& way, const Routing& kept,
                                        const std::vector<int>& failed, RouteResult& result,
                                        std::vector<int>& open) {
    const int net = connections_[c].net;
    std::vector<int> path;
    if (!BarePath(c, way.crossing, kept, path))
        return Attempt::NoPath;
    // What comes near the path is taken up.
    occupied_.assign(plane_ * layers_, 0);
    StampPath(path, net, +1);
    std::vector<char> moved;
    TakenUp(net, kept, moved);
    if (way.wholeNets) {
        std::vector<char> movedNet(b_.nets.size(), 0);
        for (int k : kept.order)
            movedNet[connections_[k].net] = movedNet[connections_[k].net] || moved[k];
        for (int k : kept.order)
            moved[k] = moved[k] || movedNet[connections_[k].net];
    }
    TakeUpLater(kept, moved);
    std::vector<int> order = MovedAfter(c, moved);
    if (!Relay(kept, moved, order, result, open) || result.cancelled ||
        open.size() >= failed.size())
        return Attempt::Worse;
    return Attempt::Better;
}

void GridRouter::Keep(RouteResult& trial, std::vector<int>& open, RouteResult& best,
                      std::vector<int>& failed, Routing& kept) {
    trial.connections = static_cast<int>(connections_.size());
    trial.open = static_cast<int>(open.size());
    best = std::move(trial);
    failed = std::move(open);
    kept = Routing{routedNodes_, routedStubs_, commitOrder_};
}

std::vector<int> GridRouter::MovedAfter(int c, const std::vector<char>& moved) const {
    std::vector<int> order{c};
    for (int k = 0; k < static_cast<int>(connections_.size()); ++k)
        if (moved[k])
            order.push_back(k);
    for (int k = 0; k < static_cast<int>(connections_.size()); ++k)
        if (k != c && !moved[k])
            order.push_back(k);
    return order;
}

bool GridRouter::BarePath(int c, float crossing, const Routing& kept, std::vector<int>& path) {
    ResetBoard();
    BuildAccess();
    routedNodes_.assign(connections_.size(), {});
    Joins joins = Prejoined();
    const int net = connections_[c].net;
    // The search, with the other nets' routes as a cost: each node as
    // dear as the routes that keep it.
    occupied_.assign(plane_ * layers_, 0);
    history_.assign(plane_ * layers_, 0);
    if (crossing > 0)
        for (int k : kept.order)
            if (connections_[k].net != net)
                StampPath(kept.paths[k], connections_[k].net, +1);
    negotiating_ = true;
    present_ = crossing;
    const bool found = Search(c, joins, path);
    negotiating_ = false;
    return found;
}

void GridRouter::TakenUp(int net, const Routing& kept, std::vector<char>& moved) const {
    moved.assign(connections_.size(), 0);
    for (int k : kept.order)
        moved[k] = connections_[k].net != net &&
                   std::any_of(kept.paths[k].begin(), kept.paths[k].end(),
                               [&](int node) { return occupied_[node] > 0; });
}

void GridRouter::TakeUpLater(const Routing& kept, std::vector<char>& moved) const {
    std::vector<char> movedNet(b_.nets.size(), 0);
    for (int k : kept.order) {
        const int n = connections_[k].net;
        moved[k] = moved[k] || movedNet[n];
        movedNet[n] = movedNet[n] || moved[k];
    }
}

bool GridRouter::Relay(const Routing& kept, const std::vector<char>& moved,
                       const std::vector<int>& order, RouteResult& result, std::vector<int>& open,
                       const std::vector<int>& group) {
    routedNodes_.assign(connections_.size(), {});
    Joins joins = Prejoined();
    // The rest laid again as it was; it passed against more than is
    // there now, but is checked again all the same.
    for (int k : kept.order)
        if (!moved[k] &&
            !Commit(k, kept.paths[k], kept.stubs[k].first, kept.stubs[k].second, joins, result))
            return false;
    if (group.empty()) {
        open = RouteOpen(order, joins, result);
        return true;
    }
    // What the group's negotiation could not lay goes first.
    open = RouteOpen(FrontFirst(NegotiateGroup(group, joins, result), order, connections_.size()),
                     joins, result);
    return true;
}

// Long: the passes and the commit share the group's nets and node costs.
std::vector<int> GridRouter::NegotiateGroup(const std::vector<int>& group, Joins& joins,
                                            RouteResult& result) {
    const std::size_t nodes = plane_ * layers_;
    occupied_.assign(nodes, 0);
    history_.assign(nodes, 0);
    // The group's nets in the order of their first connection in it.
    std::vector<int> nets;
    std::vector<std::vector<int>> ofNet(b_.nets.size());
    for (int k : group) {
        const int n = connections_[k].net;
        if (ofNet[n].empty())
            nets.push_back(n);
        ofNet[n].push_back(k);
    }
    const Joins laid = joins; // the pads joined by what is laid for good
    auto stamp = [&](int n, int sign) {
        for (int k : ofNet[n])
            StampPath(routedNodes_[k], n, sign);
    };
    auto unjoin = [&](int n) {
        for (int p : b_.nets[n].pads)
            joins.parent[p] = laid.parent[p];
    };
    std::vector<char> crowded(b_.nets.size(), 1);
    negotiating_ = true;
    present_ = static_cast<float>(o_.presentStart);
    for (int pass = 0; pass < kGroupPasses; ++pass) {
        for (int n : nets) {
            if (!crowded[n])
                continue;
            stamp(n, -1);
            unjoin(n);
            for (int k : ofNet[n])
                routedNodes_[k].clear();
            for (int k : ofNet[n])
                if (joins.Find(connections_[k].from) != joins.Find(connections_[k].to))
                    RouteConnection(k, joins, result);
            stamp(n, +1);
            Tick();
        }
        // Which nets still crowd another; their nodes get dearer.
        int crowdedNets = 0;
        for (int n : nets) {
            stamp(n, -1);
            crowded[n] = 0;
            for (int k : ofNet[n])
                for (int node : routedNodes_[k])
                    if (occupied_[node] > 0) {
                        crowded[n] = 1;
                        history_[node] += static_cast<float>(o_.historyStep);
                    }
            crowdedNets += crowded[n];
            stamp(n, +1);
        }
        if (crowdedNets == 0)
            break;
        present_ *= static_cast<float>(o_.presentGrowth);
    }
    negotiating_ = false;
    // Commit: each route checked exactly, in the group's order.
    std::vector<std::vector<int>> paths(group.size());
    for (std::size_t i = 0; i < group.size(); ++i)
        paths[i] = std::move(routedNodes_[group[i]]);
    for (int k : group)
        routedNodes_[k].clear();
    for (int n : nets)
        unjoin(n);
    std::vector<int> failed;
    for (std::size_t i = 0; i < group.size(); ++i) {
        const int k = group[i];
        const std::vector<int>& path = paths[i];
        if (joins.Find(connections_[k].from) == joins.Find(connections_[k].to))
            continue;
        if (path.empty() || !EndsHold(k, path, joins) ||
            !Commit(k, path, sourceStub_[path.front()], targetStub_[path.back()], joins, result))
            failed.push_back(k);
    }
    return failed;
}

void GridRouter::Complete(RouteResult& best, std::vector<int>& failed, Routing& kept) {
    const std::size_t all = connections_.size();
    if (o_.completeOpen <= 0 ||
        failed.size() > std::max(static_cast<std::size_t>(o_.completeOpen), all / 20))
        return;
    const long start = expansions_;
    const int tries = std::max(1, o_.completeTries);
    int attempts = std::min(o_.completeAttempts, tries * static_cast<int>(failed.size()));
    std::vector<char> hopeless(all, 0);
    for (int f : failed)
        if (access_[connections_[f].from].empty() || access_[connections_[f].to].empty())
            hopeless[f] = 1;
    // Every open connection in the narrowest way first, then in wider
    // ones; a gain starts again from the narrowest.
    int attempt = 0;
    for (std::size_t way = 0; way < std::size(kCorridors) && !failed.empty();) {
        bool gained = false;
        for (std::size_t i = 0; i < failed.size() && !gained; ++i) {
            const int c = failed[i];
            if (hopeless[c])
                continue;
            if (attempt >= attempts || expansions_ - start > o_.completeSteps ||
                (o_.cancelled && o_.cancelled()))
                return;
            const Connection& con = connections_[c];
            now_.stage = "completion attempt " + std::to_string(++attempt) + ", " +
                         b_.pads[con.from].name + " to " + b_.pads[con.to].name + " in way " +
                         std::to_string(way + 1);
            Show(best, static_cast<int>(failed.size()), static_cast<int>(all));
            Tell();
            RouteResult trial;
            std::vector<int> open;
            const Attempt outcome = Widen(c, kCorridors[way], kept, failed, trial, open);
            if (outcome == Attempt::NoPath)
                hopeless[c] = 1;
            if (outcome != Attempt::Better)
                continue;
            Keep(trial, open, best, failed, kept);
            attempts =
                std::min(o_.completeAttempts,
                         std::max(attempts, attempt + tries * static_cast<int>(failed.size())));
            gained = true;
            now_.stage = "completion attempt " + std::to_string(attempt) + " gained";
            Show(best, static_cast<int>(failed.size()), static_cast<int>(all));
            Tell();
        }
        way = gained ? 0 : way + 1;
    }
}

GridRouter::Attempt GridRouter::Widen(int c, const Corridor& way, const Routing& kept,
                                      const std::vector<int>& failed, RouteResult& result,
                                      std::vector<int>& open) {
    const Connection& con = connections_[c];
    std::vector<int> path;
    if (!BarePath(c, way.crossing, kept, path))
        return Attempt::NoPath;
    occupied_.assign(plane_ * layers_, 0);
    const double widen = way.widen * pitch_;
    if (way.aroundPads) {
        for (int p : {con.from, con.to})
            for (int l = 0; l < layers_; ++l)
                StampSegment(b_.pads[p].at, b_.pads[p].at, widen, l, +1);
    } else {
        StampPath(path, con.net, +1, widen);
    }
    std::vector<char> moved;
    TakenUp(con.net, kept, moved);
    TakeUpLater(kept, moved);
    std::vector<int> order = MovedAfter(c, moved);
    // The last turn negotiates the routes of the open connection and those
    // taken up among themselves before laying them.
    std::vector<int> group(order.begin(),
                           order.begin() + 1 + std::count(moved.begin(), moved.end(), 1));
    for (int turn = 0; turn < kCompleteTurns; ++turn) {
        if (turn > 0)
            ResetBoard();
        result = RouteResult{};
        const bool negotiated = turn + 1 == kCompleteTurns;
        if (!Relay(kept, moved, order, result, open, negotiated ? group : std::vector<int>{}) ||
            result.cancelled)
            return Attempt::Worse;
        if (open.size() < failed.size())
            return Attempt::Better;
        // The first in the order found no way with first pick of the room:
        // another order does not give it more.
        if (std::find(open.begin(), open.end(), order.front()) != open.end())
            return Attempt::Worse;
        // Those taken up that this turn left open go first in the next.
        std::vector<int> front;
        for (int k : open)
            if (moved[k])
                front.push_back(k);
        order = FrontFirst(std::move(front), order, connections_.size());
    }
    return Attempt::Worse;
}

std::vector<int> GridRouter::RouteOpen(const std::vector<int>& order, Joins& joins,
                                       RouteResult& result) {
    std::vector<int> open;
    for (int k : order) {
        const Connection& con = connections_[k];
        if (joins.Find(con.from) == joins.Find(con.to))
            continue;
        if (result.cancelled || (o_.cancelled && o_.cancelled())) {
            result.cancelled = true;
            open.push_back(k);
            continue;
        }
        if (!RouteConnection(k, joins, result))
            open.push_back(k);
        Tick();
    }
    return open;
}

Pt GridRouter::At(std::size_t node) const {
    const std::size_t in = node % plane_;
    return Pt{xs_[in % nx_], ys_[in / nx_]};
}

Joins GridRouter::Prejoined() const {
    Joins joins(b_.pads.size());
    joins.parent = preRoot_;
    return joins;
}

void GridRouter::BuildConnections() {
    SetStepCosts();
    preRoot_ = JoinedByCopper(b_);
    for (int n = 0; n < static_cast<int>(b_.nets.size()); ++n) {
        const std::vector<int>& pads = b_.nets[n].pads;
        if (pads.size() < 2)
            continue;
        // Prim's tree over the pads, nearest first.
        std::vector<double> best(pads.size(), 1e300);
        std::vector<int> from(pads.size(), -1);
        std::vector<char> in(pads.size(), 0);
        best[0] = 0;
        for (std::size_t k = 0; k < pads.size(); ++k) {
            std::size_t pick = pads.size();
            for (std::size_t i = 0; i < pads.size(); ++i)
                if (!in[i] && (pick == pads.size() || best[i] < best[pick]))
                    pick = i;
            in[pick] = 1;
            if (from[pick] >= 0 && preRoot_[pads[from[pick]]] != preRoot_[pads[pick]])
                connections_.push_back({n, pads[from[pick]], pads[pick], best[pick]});
            const Pt& p = b_.pads[pads[pick]].at;
            for (std::size_t i = 0; i < pads.size(); ++i) {
                if (in[i])
                    continue;
                const Pt& q = b_.pads[pads[i]].at;
                // Pads the copper joins already cost nothing to add.
                const double d = preRoot_[pads[i]] == preRoot_[pads[pick]]
                                     ? 0
                                     : std::hypot(p.x - q.x, p.y - q.y);
                if (d < best[i]) {
                    best[i] = d;
                    from[i] = static_cast<int>(pick);
                }
            }
        }
    }
    std::stable_sort(connections_.begin(), connections_.end(),
                     [](const Connection& a, const Connection& b) { return a.length < b.length; });
}

bool GridRouter::PadWalledIn(int p) {
    std::vector<int> nodes;
    for (int k : access_[p])
        nodes.push_back(accesses_[k].node);
    const int net = b_.pads[p].net;
    return !nodes.empty() && WalledIn(nodes, net, b_.nets[net].width / 2, kFirstFlood);
}

GridRouter::Reason GridRouter::Why(const Connection& c, const std::vector<char>& walled) const {
    const RouteNet& net = b_.nets[c.net];
    std::string text = "net " + net.name + ": " + b_.pads[c.from].name + " to " +
                       b_.pads[c.to].name + " not routed: ";
    if (access_[c.from].empty() || access_[c.to].empty()) {
        const int p = access_[c.from].empty() ? c.from : c.to;
        const std::vector<Shape>& copper = b_.pads[p].perLayer;
        if (std::all_of(copper.begin(), copper.end(),
                        [](const Shape& shape) { return shape.points.empty(); }))
            return {"pad with copper on no routing layer",
                    text + "pad " + b_.pads[p].name + " has copper on no routing layer"};
        if (b_.pads[p].underKeepout)
            return {"pad under a keep-out",
                    text + "pad " + b_.pads[p].name + " lies under a keep-out"};
        double fits = 0;
        if (OnlyNarrowerFits(p, fits)) {
            char line[160];
            std::snprintf(line, sizeof line,
                          "the net's %.1f mil track does not fit onto pad %s between its "
                          "neighbours at the %.1f mil clearance (one %.1f mil wide would)",
                          net.width / 10000, b_.pads[p].name.c_str(), net.clearance / 10000,
                          fits / 10000);
            return {"track too wide for its pad", text + line};
        }
        return {"no legal way onto a pad", text + "no legal way onto pad " + b_.pads[p].name +
                                               " (keep-out, outline or clearance)"};
    }
    if (walled[c.from] || walled[c.to])
        return {"pad walled in", text + "pad " + b_.pads[walled[c.from] ? c.from : c.to].name +
                                     " is walled in: between the copper and clearances "
                                     "around it the router finds its net's track no way out"};
    return {"no legal path found", text + "no legal path found"};
}

} // namespace Router::detail
