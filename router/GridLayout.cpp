#include "router/GridRouter.h"

namespace Router::detail {

GridRouter::GridRouter(const RouteBoard& board, const RouteOptions& options)
    : b_(board), o_(options), layers_(static_cast<int>(board.layers.size())) {
    minClearance_ = maxClearance_ = board.clearance;
    for (const RouteNet& net : board.nets) {
        maxHalf_ = std::max(maxHalf_, net.width / 2);
        minClearance_ = std::min(minClearance_, net.clearance);
        maxClearance_ = std::max(maxClearance_, net.clearance);
    }
    for (const Obstacle& o : board.obstacles) {
        minClearance_ = std::min(minClearance_, o.clearance);
        maxClearance_ = std::max(maxClearance_, o.clearance);
    }
    maxTrackHalf_ = maxHalf_;
    for (const RouteNet& net : board.nets)
        plainField_ = plainField_ || net.clearance > minClearance_;
    maxHalf_ = std::max(maxHalf_, board.viaDiameter / 2);
    for (std::size_t n = 0; n < board.nets.size(); ++n) {
        maxHalf_ = std::max(maxHalf_, ViaRadius(static_cast<int>(n)));
        maxViaHole_ = std::max(maxViaHole_, board.ViaHoleOf(static_cast<int>(n)) / 2);
    }
    double minWidth = 1e300;
    for (const RouteNet& net : board.nets)
        if (net.pads.size() > 1 && net.width > 0)
            minWidth = std::min(minWidth, net.width);
    if (minWidth > 1e299)
        minWidth = 100000;
    Box box;
    if (board.outline.size() >= 3)
        for (const Pt& p : board.outline)
            box.Add(p.x, p.y);
    // Without an outline the routing keeps within the pads' extent, where
    // the board surely is.
    if (board.outline.size() < 3)
        for (const RoutePad& pad : board.pads)
            for (const Shape& shape : pad.perLayer)
                if (!shape.points.empty()) {
                    const Box b = shape.Bounds();
                    box.Add(b.x0, b.y0);
                    box.Add(b.x1, b.y1);
                }
    noOutline_ = board.outline.size() < 3;

    limit_ = box;
    if (box.Empty())
        box.Add(0, 0, 1);
    // The pitch: half a track and its clearance at most, and a whole
    // fraction of 25 mil so that pins on the usual pitches share grid
    // lines.
    const double base = (minWidth + board.clearance) / 2;
    const double unit = 250000;
    pitch_ = options.pitch > 0 ? options.pitch
             : base >= unit    ? base
                               : unit / std::ceil(unit / base);
    // A part with many pins at a pitch the grid misses (a metric fine
    // pitch): the grid is laid through its pins instead, at a whole fraction of their
    // pitch, so that tracks leave them straight out on grid lines.
    std::vector<int> finePins;
    if (options.pitch <= 0 && base < unit) {
        const double fine = FinePitch(pitch_, 4 * base, finePins);
        // Only where tracks may leave the pins side by side: a track
        // and its clearance no wider than their pitch.
        if (fine > 0 && 2 * base <= fine + 2)
            pitch_ = fine / std::ceil(fine / base - 1e-3);
    }
    // Many pads turned at an angle (parts placed along a slant): their
    // pads and the gaps between them miss the grid's lines, and a grid
    // finer by a third gives their ways in and the tracks between them
    // more places to fall.
    if (options.pitch <= 0 && finePins.empty() && TurnedShare() > kTurnedShare)
        pitch_ = unit / std::ceil(unit / pitch_ * 4 / 3 - 1e-3);
    const double area = (box.x1 - box.x0) * (box.y1 - box.y0);
    const double maxNodes = 1.5e6;
    if (area / (pitch_ * pitch_) > maxNodes) {
        pitch_ = std::sqrt(area / maxNodes);
        finePins.clear();
    }
    // The origin: on the grid offset most pads (of the fine-pitch part,
    // if any) share.
    x0_ = box.x0 - pitch_ + Remainder(box.x0 - pitch_, CommonOffset(true, finePins));
    y0_ = box.y0 - pitch_ + Remainder(box.y0 - pitch_, CommonOffset(false, finePins));
    box.Add(box.x1, box.y1, pitch_);
    box.Add(x0_, y0_);
    nx_ = static_cast<int>(std::ceil((box.x1 - x0_) / pitch_)) + 1;
    ny_ = static_cast<int>(std::ceil((box.y1 - y0_) / pitch_)) + 1;
    plane_ = static_cast<std::size_t>(nx_) * ny_;
    LayLines();
    reach_ = maxHalf_ + maxClearance_ + options.safety + 2 * pitch_;
    // Lines lie on whole units and move by kSnap at most.
    straightReach_ = pitch_ + 2 * kSnap + 1;
    diagReach_ = std::sqrt(2.0) * straightReach_;
    bucketBox_ = box;
    bucketBox_.Add(box.x0, box.y0, reach_);
    bucketBox_.Add(box.x1, box.y1, reach_);
}

double GridRouter::CommonOffset(bool alongX, const std::vector<int>& pads) const {
    constexpr int kBins = 32;
    int counts[kBins] = {};
    double first[kBins] = {};
    const std::size_t n = pads.empty() ? b_.pads.size() : pads.size();
    for (std::size_t k = 0; k < n; ++k) {
        const RoutePad& pad = b_.pads[pads.empty() ? k : static_cast<std::size_t>(pads[k])];
        const double v = alongX ? pad.at.x : pad.at.y;
        const double m = v - std::floor(v / pitch_) * pitch_;
        const int bin = std::clamp(static_cast<int>(m / pitch_ * kBins), 0, kBins - 1);
        if (counts[bin]++ == 0)
            first[bin] = m;
    }
    int best = 0;
    for (int k = 1; k < kBins; ++k)
        if (counts[k] > counts[best])
            best = k;
    return first[best];
}

double GridRouter::TurnedShare() const {
    std::size_t pads = 0, turned = 0;
    for (const RouteNet& net : b_.nets) {
        if (net.pads.size() < 2)
            continue;
        for (int p : net.pads) {
            ++pads;
            const double a = std::fmod(std::fabs(b_.pads[p].angle), 90.0);
            turned += (a > 0.5 && a < 89.5) ? 1 : 0;
        }
    }
    return pads == 0 ? 0 : static_cast<double>(turned) / static_cast<double>(pads);
}

double GridRouter::FinePitch(double pitch, double most, std::vector<int>& pins) const {
    struct Pair {
        std::string part;
        long key;
        double spacing;
        int a, b;
    };
    std::vector<Pair> pairs;
    std::vector<int> order(b_.pads.size());
    std::vector<std::string> part(b_.pads.size());
    for (std::size_t p = 0; p < b_.pads.size(); ++p) {
        const std::string& name = b_.pads[p].name;
        part[p] = name.substr(0, name.rfind('-'));
    }
    for (const bool rows : {true, false}) {
        std::iota(order.begin(), order.end(), 0);
        auto across = [&](int p) { return rows ? b_.pads[p].at.y : b_.pads[p].at.x; };
        auto along = [&](int p) { return rows ? b_.pads[p].at.x : b_.pads[p].at.y; };
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            const double ca = std::round(across(a)), cb = std::round(across(b));
            return ca != cb ? ca < cb : along(a) < along(b);
        });
        for (std::size_t k = 0; k + 1 < order.size(); ++k) {
            const int a = order[k], b = order[k + 1];
            const double spacing = along(b) - along(a);
            if (std::round(across(a)) != std::round(across(b)) || part[a] != part[b] ||
                spacing <= 0 || spacing > most)
                continue;
            const double steps = spacing / pitch;
            if (std::fabs(steps - std::round(steps)) < 0.02)
                continue; // on the grid already
            pairs.push_back({part[a], std::lround(spacing / 250), spacing, a, b});
        }
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
        return x.key != y.key ? x.key < y.key : x.part < y.part;
    });
    // The finest pitch with enough pairs on one part; of its parts, the
    // one with most pairs.
    std::size_t best = pairs.size(), bestCount = 0;
    for (std::size_t k = 0; k < pairs.size();) {
        std::size_t e = k;
        while (e < pairs.size() && pairs[e].key == pairs[k].key && pairs[e].part == pairs[k].part)
            ++e;
        if (e - k >= static_cast<std::size_t>(kFinePairs) &&
            (best == pairs.size() ? true : pairs[k].key == pairs[best].key && e - k > bestCount)) {
            best = k;
            bestCount = e - k;
        }
        k = e;
    }
    if (best == pairs.size())
        return 0;
    double sum = 0;
    for (std::size_t k = best; k < best + bestCount; ++k) {
        sum += pairs[k].spacing;
        pins.push_back(pairs[k].a);
        pins.push_back(pairs[k].b);
    }
    std::sort(pins.begin(), pins.end());
    pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
    return sum / static_cast<double>(bestCount);
}

void GridRouter::LayLines() {
    auto lay = [&](bool alongX, int count, double origin, std::vector<double>& at,
                   std::vector<char>& exact) {
        at.resize(static_cast<std::size_t>(count));
        exact.assign(static_cast<std::size_t>(count), 0);
        // Whole board units, as the routes are written: what is checked
        // is what the board gets.
        for (int i = 0; i < count; ++i)
            at[i] = std::round(origin + static_cast<double>(i) * pitch_);
        std::vector<std::pair<int, double>> near;
        for (const RoutePad& pad : b_.pads) {
            const double v = alongX ? pad.at.x : pad.at.y;
            const long i = std::lround((v - origin) / pitch_);
            if (i >= 0 && i < count && std::fabs(at[i] - v) <= kSnap)
                near.push_back({static_cast<int>(i), v});
        }
        std::sort(near.begin(), near.end());
        for (std::size_t k = 0; k < near.size();) {
            std::size_t e = k, bestRun = 0;
            double value = near[k].second;
            while (e < near.size() && near[e].first == near[k].first) {
                std::size_t r = e;
                while (r < near.size() && near[r] == near[e])
                    ++r;
                if (r - e > bestRun) {
                    bestRun = r - e;
                    value = near[e].second;
                }
                e = r;
            }
            at[near[k].first] = value;
            exact[near[k].first] = 1;
            k = e;
        }
    };
    lay(true, nx_, x0_, xs_, exactX_);
    lay(false, ny_, y0_, ys_, exactY_);
}

double GridRouter::Remainder(double from, double offset) const {
    const double m = from - std::floor(from / pitch_) * pitch_;
    double up = offset - m;
    if (up < 0)
        up += pitch_;
    return up;
}

} // namespace Router::detail
