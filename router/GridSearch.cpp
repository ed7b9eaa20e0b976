#include "router/GridRouter.h"

namespace Router::detail {

std::vector<int> GridRouter::RouteRound(const std::vector<int>& order, RouteResult& result,
                                        int& done, int total) {
    ResetBoard();
    BuildAccess();
    Joins joins = Prejoined();
    routedNodes_.assign(connections_.size(), {});
    std::vector<int> failed;
    int tried = 0;
    for (int c : order) {
        ++tried;
        if (result.cancelled || (o_.cancelled && o_.cancelled())) {
            result.cancelled = true;
            failed.push_back(c);
            continue;
        }
        if (o_.progress)
            o_.progress(++done, total);
        const Connection& con = connections_[c];
        if (joins.Find(con.from) == joins.Find(con.to))
            continue;
        if (!RouteConnection(c, joins, result))
            failed.push_back(c);
        Show(result, static_cast<int>(failed.size()), tried);
        Tick();
    }
    return failed;
}

void GridRouter::MarkComponent(int pad, Joins& joins, uint32_t NodeState::*mark,
                               std::vector<int>* list, std::vector<int>& stubs) {
    const int root = joins.Find(pad);
    const int net = b_.pads[pad].net;
    const double half = b_.nets[net].width / 2;
    for (int p : b_.nets[net].pads) {
        if (joins.Find(p) != root)
            continue;
        for (int k : access_[p]) {
            const Access& a = accesses_[k];
            const int node = a.node;
            if (!NodeUsable(node, Slack(node, net, half)))
                continue;
            if (a.stub && !StubClear(a, net, half))
                continue;
            if (state_[node].*mark == search_ && stubs[node] < 0)
                continue; // already entered without a stub
            state_[node].*mark = search_;
            stubs[node] = a.stub ? k : -1;
            if (list)
                list->push_back(node);
        }
    }
    for (std::size_t c = 0; c < connections_.size(); ++c)
        if (!routedNodes_[c].empty() && connections_[c].net == net &&
            joins.Find(connections_[c].from) == root)
            for (int node : routedNodes_[c]) {
                state_[node].*mark = search_;
                stubs[node] = -1;
                if (list)
                    list->push_back(node);
            }
}

bool GridRouter::RouteConnection(int c, Joins& joins, RouteResult& result) {
    std::vector<int> path;
    if (!Search(c, joins, path))
        return false;
    if (negotiating_) {
        routedNodes_[c] = std::move(path);
        joins.Join(connections_[c].from, connections_[c].to);
        return true;
    }
    return Commit(c, path, sourceStub_[path.front()], targetStub_[path.back()], joins, result);
}

void GridRouter::SetStepCosts() {
    travel_.assign(layers_, {});
    const double wrong = 1 + o_.wrongWayFactor, wrongDiagonal = 1 + o_.wrongWayFactor * 0.5;
    cheapest_ = StepCosts{1e300, 1e300, 1e300};
    for (int l = 0; l < layers_; ++l) {
        StepCosts& c = travel_[l];
        if (b_.layers[l].direction == Direction::Horizontal)
            c = {1, wrong, std::sqrt(2.0) * wrongDiagonal};
        else if (b_.layers[l].direction == Direction::Vertical)
            c = {wrong, 1, std::sqrt(2.0) * wrongDiagonal};
        cheapest_.x = std::min(cheapest_.x, c.x);
        cheapest_.y = std::min(cheapest_.y, c.y);
        cheapest_.both = std::min(cheapest_.both, c.both);
    }
}

double GridRouter::Travel(const StepCosts& c, double dx, double dy) {
    const double m = std::min(dx, dy);
    return std::min(dx * c.x + dy * c.y, m * c.both + (dx - m) * c.x + (dy - m) * c.y);
}

bool GridRouter::CanStep(std::size_t u, float su, std::size_t v, int d, int net, double half,
                         int l) {
    return StepClear(u, su, v, Slack(v, net, half), d, net, half, l);
}

bool GridRouter::StepClear(std::size_t u, float su, std::size_t v, float sv, int d, int net,
                           double half, int l) {
    if (!NodeUsable(v, sv))
        return false;
    if (su >= 0 && sv >= 0 && su + sv >= ((d & 1) ? diagReach_ : straightReach_))
        return true;
    if (OnExactLine(v, d))
        return buckets_->Clear(At(u), At(v), half, ClearanceOf(net), net, l, false, kAxisSafety);
    if ((su < 0 && OnExactLine(u)) || sv < 0)
        return TightClear(At(u), At(v), half, net, l);
    return buckets_->Clear(At(u), At(v), half, ClearanceOf(net), net, l, false, o_.safety);
}

bool GridRouter::TightClear(Pt a, Pt b, double half, int net, int l) {
    return buckets_->Clear(a, b, half, ClearanceOf(net), net, l, false, kAxisSafety) &&
           buckets_->Clear(AsWritten(a), AsWritten(b), half, ClearanceOf(net), net, l, false,
                           kAxisSafety);
}

bool GridRouter::OnExactLine(std::size_t v, int d) const {
    if (d & 1)
        return false;
    const std::size_t in = v % plane_;
    return kDy[d] == 0 ? exactY_[in / nx_] != 0 : exactX_[in % nx_] != 0;
}

bool GridRouter::OnExactLine(std::size_t v) const {
    const std::size_t in = v % plane_;
    return exactX_[in % nx_] || exactY_[in / nx_];
}

bool GridRouter::NodeUsable(std::size_t node, float slack) const {
    return slack >= 0 || (slack >= -Tight() && OnExactLine(node));
}

bool GridRouter::WalledIn(const std::vector<int>& targets, int net, double half,
                          std::size_t budget) {
    ++flood_;
    std::vector<int>& queue = floodQueue_;
    queue.clear();
    for (int t : targets)
        if (flooded_[t] != flood_) {
            flooded_[t] = flood_;
            queue.push_back(t);
        }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        if (queue.size() > budget)
            return false;
        const std::size_t u = static_cast<std::size_t>(queue[head]);
        if (state_[u].seen == search_)
            return false; // reached from a source
        const int l = LayerOf(u);
        const std::size_t in = u % plane_;
        const int i = static_cast<int>(in % nx_), j = static_cast<int>(in / nx_);
        const float su = Slack(u, net, half);
        auto reach = [&](std::size_t v) {
            flooded_[v] = flood_;
            queue.push_back(static_cast<int>(v));
        };
        for (int d = 0; d < kDirs; ++d) {
            const int ni = i + kDx[d], nj = j + kDy[d];
            if (ni < 0 || nj < 0 || ni >= nx_ || nj >= ny_)
                continue;
            const std::size_t v = l * plane_ + static_cast<std::size_t>(nj) * nx_ + ni;
            if (flooded_[v] != flood_ && CanStep(u, su, v, d, net, half, l))
                reach(v);
        }
        if (layers_ > 1 && ViaFits(in, net))
            for (int k = 0; k < layers_; ++k) {
                const std::size_t v = k * plane_ + in;
                if (k != l && flooded_[v] != flood_ && Slack(v, net, half) >= 0)
                    reach(v);
            }
    }
    return true;
}

// Long: the inner loop of the search stays in one piece, where it is fast.
bool GridRouter::Search(int c, Joins& joins, std::vector<int>& path) {
    const Connection& con = connections_[c];
    const int net = con.net;
    const double half = b_.nets[net].width / 2;
    ++search_;
    std::vector<int> sources, targets;
    MarkComponent(con.to, joins, &NodeState::target, &targets, targetStub_);
    MarkComponent(con.from, joins, &NodeState::seen, &sources, sourceStub_);
    if (sources.empty() || targets.empty() || WalledIn(targets, net, half, kFirstFlood))
        return false;
    const Pt goal = b_.pads[con.to].at;
    // What is left at least: the travel on the node's own layer at its
    // costs, or a via and the travel at the cheapest costs any layer
    // offers each way. Both never overrate a step, so the estimate
    // stays consistent and the search finds the cheapest route while it
    // no longer spreads sideways on a layer whose direction does not fit.
    const bool vias = layers_ > 1 && ViaRadius(net) > 0;
    const double viaLeast = o_.viaCost * pitch_;
    const double hw = negotiating_ ? negotiationWeight_ : estimateWeight_;
    auto estimate = [&](int layer, int i, int j) {
        const double dx = std::fabs(xs_[i] - goal.x);
        const double dy = std::fabs(ys_[j] - goal.y);
        double least = Travel(travel_[layer], dx, dy);
        if (vias)
            least = std::min(least, viaLeast + Travel(cheapest_, dx, dy));
        return static_cast<float>(least * hw);
    };
    auto h = [&](std::size_t node) {
        const std::size_t in = node % plane_;
        return estimate(LayerOf(node), static_cast<int>(in % nx_), static_cast<int>(in / nx_));
    };
    using Entry = std::pair<float, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    std::sort(sources.begin(), sources.end());
    sources.erase(std::unique(sources.begin(), sources.end()), sources.end());
    for (int s : sources) {
        state_[s].g = 0;
        state_[s].parent = -1;
        state_[s].dir = kNoDir;
        state_[s].lastVia = -1;
        state_[s].seen = search_;
        open.push({h(s), s});
    }
    const double diag = std::sqrt(2.0) * pitch_;
    const float viaCost = static_cast<float>(o_.viaCost * pitch_);
    const float bendCost = static_cast<float>(o_.bendCost * pitch_);
    // The room a node must leave (as Slack() measures it) and, per layer
    // and direction, what a step costs before congestion.
    const float need = Need(half), needPlain = NeedPlain(net, half);
    const bool aboveLeast = AboveLeast(net);
    auto slack = [&](std::size_t node) {
        const float d = (n1_[node] == net ? d2_[node] : d1_[node]) - need;
        return aboveLeast ? std::min(d, (m1_[node] == net ? r2_[node] : r1_[node]) - needPlain) : d;
    };
    std::vector<double>& stepCost = stepCost_;
    stepCost.assign(static_cast<std::size_t>(layers_) * kDirs, 0);
    for (int l = 0; l < layers_; ++l)
        for (int d = 0; d < kDirs; ++d) {
            double cost = (d & 1) ? diag : pitch_;
            const Direction way = b_.layers[l].direction;
            if (way == Direction::Horizontal && kDy[d] != 0)
                cost *= 1 + o_.wrongWayFactor * (kDx[d] != 0 ? 0.5 : 1.0);
            else if (way == Direction::Vertical && kDx[d] != 0)
                cost *= 1 + o_.wrongWayFactor * (kDy[d] != 0 ? 0.5 : 1.0);
            stepCost[static_cast<std::size_t>(l) * kDirs + d] = cost;
        }
    long expansions = 0, nextFlood = 4 * static_cast<long>(kFirstFlood);
    int found = -1;
    while (!open.empty()) {
        const int u = open.top().second;
        open.pop();
        if (state_[u].closed == search_)
            continue;
        state_[u].closed = search_;
        if (state_[u].target == search_) {
            found = u;
            break;
        }
        if (++expansions > o_.expansionsPerSearch)
            break;
        // A search that grows long floods around the target again, each
        // time as far as it went itself: a walled-in target costs the
        // search a few times the room around the target, not the board.
        if (expansions == nextFlood) {
            if (WalledIn(targets, net, half, static_cast<std::size_t>(nextFlood)))
                break;
            nextFlood *= 4;
        }
        const int l = LayerOf(u);
        const std::size_t in = u % plane_;
        const int i = static_cast<int>(in % nx_), j = static_cast<int>(in / nx_);
        const float su = slack(static_cast<std::size_t>(u));
        const double* costs = &stepCost[static_cast<std::size_t>(l) * kDirs];
        const float gu = state_[u].g;
        const uint8_t du = state_[u].dir;
        for (int d = 0; d < kDirs; ++d) {
            const int ni = i + kDx[d], nj = j + kDy[d];
            if (ni < 0 || nj < 0 || ni >= nx_ || nj >= ny_)
                continue;
            const std::size_t v = l * plane_ + static_cast<std::size_t>(nj) * nx_ + ni;
            if (state_[v].closed == search_)
                continue;
            // Room at both ends for the whole step is enough; short of
            // that (a track leaving a pad between its neighbours) the
            // step is measured exactly.
            if (!StepClear(static_cast<std::size_t>(u), su, v, slack(v), d, net, half, l))
                continue;
            double cost = costs[d];
            if (negotiating_)
                cost *= (1 + history_[v]) * (1 + present_ * occupied_[v]);
            float g = gu + static_cast<float>(cost);
            if (du != kNoDir && du != d)
                g += bendCost;
            if (state_[v].seen != search_ || g < state_[v].g) {
                state_[v].seen = search_;
                state_[v].g = g;
                state_[v].parent = static_cast<int>(u);
                state_[v].dir = static_cast<uint8_t>(d);
                state_[v].lastVia = state_[u].lastVia;
                open.push({g + estimate(l, ni, nj), static_cast<int>(v)});
            }
        }
        if (layers_ > 1 && ViaFits(in, net) && ApartFromLastVia(state_[u].lastVia, in, net)) {
            for (int k = 0; k < layers_; ++k) {
                if (k == l)
                    continue;
                const std::size_t v = k * plane_ + in;
                if (state_[v].closed == search_ || slack(v) < 0)
                    continue;
                float g = gu + viaCost;
                if (negotiating_)
                    for (int m = 0; m < layers_; ++m) {
                        const std::size_t w = m * plane_ + in;
                        g += static_cast<float>(pitch_ * (history_[w] + present_ * occupied_[w]));
                    }
                if (state_[v].seen != search_ || g < state_[v].g) {
                    state_[v].seen = search_;
                    state_[v].g = g;
                    state_[v].parent = static_cast<int>(u);
                    state_[v].dir = kNoDir;
                    state_[v].lastVia = static_cast<int>(in);
                    open.push({g + estimate(k, i, j), static_cast<int>(v)});
                }
            }
        }
    }
    expansions_ += expansions;
    if (found < 0)
        return false;
    path.clear();
    for (int v = found; v >= 0; v = state_[v].parent)
        path.push_back(v);
    std::reverse(path.begin(), path.end());
    return true;
}

bool GridRouter::Commit(int c, const std::vector<int>& path, int fromStub, int toStub, Joins& joins,
                        RouteResult& result) {
    const Connection& con = connections_[c];
    const int net = con.net;
    const double width = b_.nets[net].width, half = width / 2;
    std::vector<RouteTrack> tracks;
    // Per track: 0 keeps the usual margin, 1 runs along a line through pad
    // centres, 2 keeps exactly the clearance off those lines.
    std::vector<char> fit;
    std::vector<RouteVia> vias;
    // Runs on one layer become tracks, corners kept, straight runs merged.
    std::size_t k = 0;
    while (k < path.size()) {
        std::size_t e = k;
        while (e + 1 < path.size() && LayerOf(path[e + 1]) == LayerOf(path[k]))
            ++e;
        const int layer = LayerOf(path[k]);
        std::size_t s = k;
        while (s < e) {
            std::size_t t = s + 1;
            const Pt a = At(path[s]);
            const Pt step{At(path[t]).x - a.x, At(path[t]).y - a.y};
            // Steps the same way on the grid (lines moved onto pad
            // centres make them a little unequal in length).
            auto way = [&](std::size_t from) {
                const long u = path[from] % static_cast<long>(plane_),
                           v = path[from + 1] % static_cast<long>(plane_);
                return std::pair<long, long>{v % nx_ - u % nx_, v / nx_ - u / nx_};
            };
            while (t + 1 <= e && way(t) == way(s))
                ++t;
            tracks.push_back({net, layer, a, At(path[t]), width});
            const std::size_t in = static_cast<std::size_t>(path[s]) % plane_;
            bool tight = false;
            for (std::size_t n = s; n <= t && !tight; ++n)
                tight = Slack(static_cast<std::size_t>(path[n]), net, half) < 0 &&
                        OnExactLine(static_cast<std::size_t>(path[n]));
            const bool along =
                (step.y == 0 && exactY_[in / nx_]) || (step.x == 0 && exactX_[in % nx_]);
            fit.push_back(along ? 1 : tight ? 2 : 0);
            s = t;
        }
        if (e + 1 < path.size())
            vias.push_back({net, At(path[e])});
        k = e + 1;
    }
    const int stubs[2] = {fromStub, toStub};
    const int ends[2] = {path.front(), path.back()};
    std::vector<RouteTrack> axes; // the straight parts of bent stubs
    for (int k2 = 0; k2 < 2; ++k2)
        if (stubs[k2] >= 0) {
            const Access& a = accesses_[stubs[k2]];
            Pt from = b_.pads[a.pad].at;
            const Pt to = At(ends[k2]);
            if (a.bent) {
                axes.push_back({net, LayerOf(ends[k2]), from, a.bend, width});
                from = a.bend;
            }
            if (std::hypot(to.x - from.x, to.y - from.y) > 0.5)
                tracks.push_back({net, LayerOf(ends[k2]), from, to, width});
        }
    // Every piece checked against the real shapes before it is kept.
    for (std::size_t k2 = 0; k2 < tracks.size(); ++k2) {
        const RouteTrack& t = tracks[k2];
        const char how = k2 < fit.size() ? fit[k2] : 0;
        const bool clear = how == 2
                               ? TightClear(t.a, t.b, half, net, t.layer)
                               : buckets_->Clear(t.a, t.b, half, ClearanceOf(net), net, t.layer,
                                                 false, how == 1 ? kAxisSafety : o_.safety);
        if (!clear)
            return false;
    }
    for (const RouteTrack& t : axes)
        if (!buckets_->Clear(t.a, t.b, half, ClearanceOf(net), net, t.layer, false, kAxisSafety))
            return false;
    tracks.insert(tracks.end(), axes.begin(), axes.end());
    for (const RouteVia& v : vias)
        if (!buckets_->Clear(v.at, v.at, ViaRadius(net), ClearanceOf(net), net, 0, true) ||
            !buckets_->DrillApart(v.at, b_.ViaHoleOf(net) / 2, b_.holeGap))
            return false;
    // The path's own vias keep the hole gap between them too.
    for (std::size_t k = 0; k < vias.size(); ++k)
        for (std::size_t m = k + 1; m < vias.size(); ++m)
            if (std::hypot(vias[k].at.x - vias[m].at.x, vias[k].at.y - vias[m].at.y) <
                b_.ViaHoleOf(net) + b_.holeGap)
                return false;
    const uint32_t all = layers_ >= 32 ? 0xFFFFFFFFu : (1u << layers_) - 1;
    for (const RouteTrack& t : tracks) {
        Obstacle o = TrackObstacle(b_, t);
        o.shape.radius = half;
        Raster(o);
        buckets_->Add(o);
    }
    for (const RouteVia& v : vias) {
        const Obstacle o = ViaObstacle(b_, v, all);
        Raster(o);
        buckets_->Add(o);
    }
    routedNodes_[c] = path;
    routedStubs_[c] = {fromStub, toStub};
    commitOrder_.push_back(c);
    joins.Join(con.from, con.to);
    result.tracks.insert(result.tracks.end(), tracks.begin(), tracks.end());
    result.vias.insert(result.vias.end(), vias.begin(), vias.end());
    return true;
}

} // namespace Router::detail
