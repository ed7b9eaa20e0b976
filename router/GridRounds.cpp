#include "router/GridRouter.h"

namespace Router::detail {

RouteResult GridRouter::Run() {
    BuildConnections();
    // On a big board the search trusts its estimate more than it
    // strictly may: routes come out a little longer, the search opens
    // far fewer nodes.
    const bool big = connections_.size() > kBigBoard;
    estimateWeight_ = big ? std::max(1.0, o_.bigBoardEstimate) : 1.0;
    negotiationWeight_ = big ? std::max(1.0, o_.bigBoardNegotiationEstimate) : 1.0;
    RouteResult best;
    best.open = std::numeric_limits<int>::max();
    std::vector<int> order(connections_.size());
    std::iota(order.begin(), order.end(), 0);
    const int total =
        static_cast<int>(connections_.size()) * std::max(1, o_.rounds) + o_.negotiations;
    int done = 0;
    int stale = 0; // plain rounds in a row that did no better than the best
    std::vector<int> bestFailed;
    Routing kept; // the routes of the best round
    // The round that negotiates: the first, except on a big board, where
    // negotiating is dear and a plain round goes first, so that an
    // interruption while negotiating still leaves a whole routing.
    const int negotiated = o_.negotiations <= 0 ? -1 : connections_.size() > kBigBoard ? 1 : 0;
    const int all = static_cast<int>(connections_.size());
    for (int round = 0; round < std::max(1, o_.rounds); ++round) {
        RouteResult result;
        now_ = {"round " + std::to_string(round + 1), 0, all, 0};
        std::vector<int> failed = round == negotiated ? NegotiatedRound(result, done, total)
                                                      : RouteRound(order, result, done, total);
        result.connections = all;
        result.open = static_cast<int>(failed.size());
        now_.stage = "round " + std::to_string(round + 1) + " done";
        Show(result, result.open, all);
        Tell();
        const bool better = result.open < best.open ||
                            (result.open == best.open && result.vias.size() < best.vias.size());
        if (better || round == 0) {
            best = std::move(result);
            bestFailed = failed;
            kept = Routing{routedNodes_, routedStubs_, commitOrder_};
        }
        if (best.open == 0 || result.cancelled || failed.empty())
            break;
        // Two plain rounds in a row that bring nothing on a board where
        // rounds are dear: the order of the connections is no longer
        // what keeps the rest open.
        if (round != negotiated)
            stale = better ? 0 : stale + 1;
        if (stale >= std::max(1, o_.staleRounds) && expansions_ > kCheapWork)
            break;
        // The negotiated round leaves the order as it was; after a plain
        // round, the connections it left open go first, in their order.
        if (round == negotiated)
            continue;
        order = FrontFirst(failed, order, connections_.size());
    }
    // The rip-up takes few searches, each of which decides what is
    // moved: they use the strict estimate.
    estimateWeight_ = 1;
    if (!best.cancelled && !bestFailed.empty())
        RipUp(best, bestFailed, kept);
    if (!best.cancelled && !bestFailed.empty())
        Complete(best, bestFailed, kept);
    best.lines.clear();
    // Why each stays open is judged on the board as it came, without
    // the routes: a pad its neighbours wall in there is never left.
    std::vector<char> walled(b_.pads.size(), 0);
    if (!bestFailed.empty() && !best.cancelled) {
        ResetBoard();
        BuildAccess();
        ++search_; // no node counts as reached from a source
        for (int c : bestFailed)
            for (int p : {connections_[c].from, connections_[c].to})
                walled[p] = walled[p] || PadWalledIn(p);
    }
    for (int c : bestFailed) {
        Reason why = Why(connections_[c], walled);
        best.lines.push_back(std::move(why.line));
        auto it = std::find_if(best.openByReason.begin(), best.openByReason.end(),
                               [&](const auto& counted) { return counted.first == why.kind; });
        if (it == best.openByReason.end())
            best.openByReason.emplace_back(why.kind, 1);
        else
            ++it->second;
    }
    best.pitch = pitch_;
    best.connections = static_cast<int>(connections_.size());
    for (const RouteTrack& t : best.tracks)
        best.length += std::hypot(t.b.x - t.a.x, t.b.y - t.a.y);
    return best;
}

// Long: the passes, their stop rules and the commit share one set of node costs.
std::vector<int> GridRouter::NegotiatedRound(RouteResult& result, int& done, int total) {
    ResetBoard();
    BuildAccess();
    const std::size_t nodes = plane_ * layers_;
    occupied_.assign(nodes, 0);
    history_.assign(nodes, 0);
    routedNodes_.assign(connections_.size(), {});
    // The nets in routing order: fewest pads first, then shortest.
    netConnections_.assign(b_.nets.size(), {});
    std::vector<std::vector<int>>& netConnections = netConnections_;
    std::vector<double> netLength(b_.nets.size(), 0);
    for (int c = 0; c < static_cast<int>(connections_.size()); ++c) {
        netConnections[connections_[c].net].push_back(c);
        netLength[connections_[c].net] += connections_[c].length;
    }
    std::vector<int> nets;
    for (int n = 0; n < static_cast<int>(b_.nets.size()); ++n)
        if (!netConnections[n].empty())
            nets.push_back(n);
    std::stable_sort(nets.begin(), nets.end(), [&](int a, int b) {
        if (b_.nets[a].pads.size() != b_.nets[b].pads.size())
            return b_.nets[a].pads.size() < b_.nets[b].pads.size();
        return netLength[a] < netLength[b];
    });
    Joins joins = Prejoined();
    std::vector<char> crowded(b_.nets.size(), 1);
    negotiating_ = true;
    present_ = static_cast<float>(o_.presentStart);
    int pass = 0, fewestCrowded = std::numeric_limits<int>::max(), lastGain = 0;
    const long start = expansions_;
    long firstPass = 0;
    for (; pass < o_.negotiations; ++pass) {
        if (o_.cancelled && o_.cancelled()) {
            result.cancelled = true;
            break;
        }
        if (o_.progress)
            o_.progress(++done, total);
        now_.stage = "negotiation pass " + std::to_string(pass + 1);
        for (int n : nets) {
            if (!crowded[n])
                continue;
            if (o_.cancelled && o_.cancelled()) { // between nets: every net whole
                result.cancelled = true;
                break;
            }
            Stamp(n, -1);
            for (int p : b_.nets[n].pads)
                joins.parent[p] = preRoot_[p];
            for (int c : netConnections[n]) {
                routedNodes_[c].clear();
                if (joins.Find(connections_[c].from) != joins.Find(connections_[c].to))
                    RouteConnection(c, joins, result);
            }
            Stamp(n, +1);
            Tick();
        }
        if (result.cancelled)
            break;
        if (pass == 0)
            firstPass = std::max(expansions_ - start, kCheapWork / kNegotiationBudget);
        // Which nets still crowd another; their nodes get dearer.
        int crowdedNets = 0;
        for (int n : nets) {
            Stamp(n, -1);
            crowded[n] = Crowded(n, true);
            crowdedNets += crowded[n] ? 1 : 0;
            Stamp(n, +1);
        }
        // Routed here: a path found, crowded or not; no via is laid yet.
        int unjoined = 0;
        for (const Connection& con : connections_)
            unjoined += joins.Find(con.from) != joins.Find(con.to) ? 1 : 0;
        now_ = {"negotiation pass " + std::to_string(pass + 1) + ", " +
                    std::to_string(crowdedNets) + " nets still crowd others",
                static_cast<int>(connections_.size()) - unjoined, unjoined, 0};
        Tell();
        if (crowdedNets == 0)
            break;
        // Negotiation that stops making progress only costs time: after
        // a few passes that did not bring the crowded nets a tenth below
        // the fewest so far, the routes are committed as they stand.
        if (static_cast<long>(crowdedNets) * 10 <= static_cast<long>(fewestCrowded) * 9) {
            fewestCrowded = crowdedNets;
            lastGain = pass;
        } else if (pass - lastGain >= kNegotiationPatience) {
            break;
        }
        if (expansions_ - start > kNegotiationBudget * firstPass)
            break;
        present_ *= static_cast<float>(o_.presentGrowth);
    }
    done += std::max(0, o_.negotiations - pass - 1);
    negotiating_ = false;
    // Commit: the routes net by net, each checked exactly.
    std::vector<std::vector<int>> paths(connections_.size());
    for (std::size_t c = 0; c < connections_.size(); ++c)
        paths[c] = std::move(routedNodes_[c]);
    ResetBoard();
    routedNodes_.assign(connections_.size(), {});
    Joins committed = Prejoined();
    std::vector<int> failed;
    for (int n : nets)
        for (int c : netConnections[n]) {
            const Connection& con = connections_[c];
            if (committed.Find(con.from) == committed.Find(con.to))
                continue;
            if (!paths[c].empty() && EndsHold(c, paths[c], committed) &&
                Commit(c, paths[c], sourceStub_[paths[c].front()], targetStub_[paths[c].back()],
                       committed, result))
                continue;
            failed.push_back(c);
        }
    // What did not pass, routed against what is there.
    std::vector<int> open = RouteOpen(failed, committed, result);
    // A connection skipped as joined may have counted on a route that
    // did not pass.
    std::vector<int> still;
    for (std::size_t c = 0; c < connections_.size(); ++c)
        if (committed.Find(connections_[c].from) != committed.Find(connections_[c].to) &&
            std::find(open.begin(), open.end(), static_cast<int>(c)) == open.end())
            still.push_back(static_cast<int>(c));
    for (int c : still) {
        const Connection& con = connections_[c];
        if (committed.Find(con.from) == committed.Find(con.to))
            continue;
        if (result.cancelled || !RouteConnection(c, committed, result))
            open.push_back(c);
    }
    return open;
}

bool GridRouter::EndsHold(int c, const std::vector<int>& path, Joins& joins) {
    ++search_;
    MarkComponent(connections_[c].to, joins, &NodeState::target, nullptr, targetStub_);
    MarkComponent(connections_[c].from, joins, &NodeState::seen, nullptr, sourceStub_);
    return state_[path.front()].seen == search_ && state_[path.back()].target == search_;
}

void GridRouter::Stamp(int n, int sign) {
    for (int c : netConnections_[n])
        StampPath(routedNodes_[c], n, sign);
}

void GridRouter::StampPath(const std::vector<int>& path, int n, int sign, double widen) {
    const double reachTrack =
        b_.nets[n].width / 2 + ClearanceOf(n) + maxTrackHalf_ + o_.safety + widen;
    const double reachVia = ViaRadius(n) + ClearanceOf(n) + maxTrackHalf_ + o_.safety + widen;
    if (path.empty())
        return;
    if (path.size() == 1)
        StampSegment(At(path[0]), At(path[0]), reachTrack, LayerOf(path[0]), sign);
    for (std::size_t k = 0; k + 1 < path.size(); ++k) {
        const int l = LayerOf(path[k]);
        if (LayerOf(path[k + 1]) == l)
            StampSegment(At(path[k]), At(path[k + 1]), reachTrack, l, sign);
        else
            for (int m = 0; m < layers_; ++m)
                StampSegment(At(path[k]), At(path[k]), reachVia, m, sign);
    }
}

void GridRouter::StampSegment(Pt a, Pt b, double reach, int layer, int sign) {
    const int i0 =
        std::max(0, static_cast<int>(std::floor((std::min(a.x, b.x) - reach - x0_) / pitch_)));
    const int i1 =
        std::min(nx_ - 1, static_cast<int>(std::ceil((std::max(a.x, b.x) + reach - x0_) / pitch_)));
    const int j0 =
        std::max(0, static_cast<int>(std::floor((std::min(a.y, b.y) - reach - y0_) / pitch_)));
    const int j1 =
        std::min(ny_ - 1, static_cast<int>(std::ceil((std::max(a.y, b.y) + reach - y0_) / pitch_)));
    // Squared distances: the test runs for every node near every step
    // of every route, pass after pass.
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    const double reach2 = reach * reach;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const double px = xs_[i] - a.x, py = ys_[j] - a.y;
            const double t =
                length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
            const double ex = px - t * dx, ey = py - t * dy;
            if (ex * ex + ey * ey >= reach2)
                continue;
            uint16_t& count = occupied_[layer * plane_ + static_cast<std::size_t>(j) * nx_ + i];
            count = static_cast<uint16_t>(count + sign);
        }
}

bool GridRouter::Crowded(int n, bool learn) {
    bool crowded = false;
    for (int c : netConnections_[n])
        for (int node : routedNodes_[c])
            if (occupied_[node] > 0) {
                crowded = true;
                if (!learn)
                    return true;
                history_[node] += static_cast<float>(o_.historyStep);
            }
    return crowded;
}

} // namespace Router::detail
