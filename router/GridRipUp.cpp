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
        trial.connections = static_cast<int>(connections_.size());
        trial.open = static_cast<int>(open.size());
        best = std::move(trial);
        failed = std::move(open);
        kept = Routing{routedNodes_, routedStubs_, commitOrder_};
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
    ResetBoard();
    BuildAccess();
    routedNodes_.assign(connections_.size(), {});
    Joins joins = Prejoined();
    const int net = connections_[c].net;
    std::vector<int> path;
    // The search, with the other nets' routes as a cost: each node as
    // dear as the routes that keep it.
    occupied_.assign(plane_ * layers_, 0);
    history_.assign(plane_ * layers_, 0);
    if (way.crossing > 0)
        for (int k : kept.order)
            if (connections_[k].net != net)
                StampPath(kept.paths[k], connections_[k].net, +1);
    negotiating_ = true;
    present_ = way.crossing;
    const bool found = Search(c, joins, path);
    negotiating_ = false;
    if (!found)
        return Attempt::NoPath;
    // What comes near the path is taken up.
    occupied_.assign(plane_ * layers_, 0);
    StampPath(path, net, +1);
    std::vector<char> moved(connections_.size(), 0), movedNet(b_.nets.size(), 0);
    for (int k : kept.order)
        if (connections_[k].net != net &&
            std::any_of(kept.paths[k].begin(), kept.paths[k].end(),
                        [&](int node) { return occupied_[node] > 0; })) {
            moved[k] = 1;
            movedNet[connections_[k].net] = 1;
        }
    if (way.wholeNets)
        for (int k : kept.order)
            moved[k] = moved[k] || movedNet[connections_[k].net];
    // A route was laid from and to what its net had then: once one of
    // a net's routes is taken up, those laid after it may hang in the air
    // and are taken up too.
    std::fill(movedNet.begin(), movedNet.end(), 0);
    for (int k : kept.order) {
        const int n = connections_[k].net;
        moved[k] = moved[k] || movedNet[n];
        movedNet[n] = movedNet[n] || moved[k];
    }
    // The rest laid again as it was; it passed against more than is
    // there now, but is checked again all the same.
    for (int k : kept.order) {
        if (moved[k])
            continue;
        if (!Commit(k, kept.paths[k], kept.stubs[k].first, kept.stubs[k].second, joins, result))
            return Attempt::Worse;
    }
    // The open connection, those taken up shortest first, the rest.
    std::vector<int> order{c};
    for (int k = 0; k < static_cast<int>(connections_.size()); ++k)
        if (moved[k])
            order.push_back(k);
    for (int k = 0; k < static_cast<int>(connections_.size()); ++k)
        if (k != c && !moved[k])
            order.push_back(k);
    open = RouteOpen(order, joins, result);
    if (result.cancelled || open.size() >= failed.size())
        return Attempt::Worse;
    return Attempt::Better;
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
