#include "router/GridRouter.h"

namespace Router::detail {

void GridRouter::BuildAccess() {
    // The ways onto the pads are found on the bare board, which is the
    // same every time.
    if (accessBuilt_)
        return;
    accessBuilt_ = true;
    access_.assign(b_.pads.size(), {});
    accesses_.clear();
    for (std::size_t p = 0; p < b_.pads.size(); ++p) {
        const RoutePad& pad = b_.pads[p];
        if (pad.net == kNoNet)
            continue;
        const double half = b_.nets[pad.net].width / 2;
        for (int l = 0; l < layers_; ++l) {
            if (l >= static_cast<int>(pad.perLayer.size()) || pad.perLayer[l].points.empty())
                continue;
            const Shape& shape = CoreOn(pad, l);
            const Box box = shape.Bounds();
            const int i0 =
                std::max(0, static_cast<int>(std::floor((box.x0 - 2 * pitch_ - x0_) / pitch_)));
            const int i1 = std::min(
                nx_ - 1, static_cast<int>(std::ceil((box.x1 + 2 * pitch_ - x0_) / pitch_)));
            const int j0 =
                std::max(0, static_cast<int>(std::floor((box.y0 - 2 * pitch_ - y0_) / pitch_)));
            const int j1 = std::min(
                ny_ - 1, static_cast<int>(std::ceil((box.y1 + 2 * pitch_ - y0_) / pitch_)));
            std::vector<Access> inside, near;
            const int pi = static_cast<int>(p);
            for (int j = j0; j <= j1; ++j)
                for (int i = i0; i <= i1; ++i) {
                    const std::size_t node = l * plane_ + static_cast<std::size_t>(j) * nx_ + i;
                    const Pt q = At(node);
                    if (!NodeUsable(node, Slack(node, pad.net, half)))
                        continue;
                    const double d = SegmentShapeDistance(q, q, shape);
                    if (d <= 0)
                        inside.push_back({static_cast<int>(node), pi, false, false, {}});
                    else if (std::hypot(q.x - pad.at.x, q.y - pad.at.y) <= 2.9 * pitch_ &&
                             buckets_->Clear(pad.at, q, half, ClearanceOf(pad.net), pad.net, l,
                                             false))
                        near.push_back({static_cast<int>(node), pi, true, false, {}});
                }
            if (inside.empty() && near.empty())
                AxisAccess(pi, l, shape, half, near);
            for (const Access& a : inside.empty() ? near : inside) {
                access_[p].push_back(static_cast<int>(accesses_.size()));
                accesses_.push_back(a);
            }
        }
    }
}

std::array<Pt, 4> GridRouter::PadAxes(const RoutePad& pad) {
    const double turn = std::remainder(pad.angle, 90.0);
    const double t = turn * M_PI / 180.0;
    const double c = std::fabs(turn) < 1e-9 ? 1 : std::cos(t),
                 s = std::fabs(turn) < 1e-9 ? 0 : std::sin(t);
    return {Pt{c, s}, Pt{-c, -s}, Pt{-s, c}, Pt{s, -c}};
}

double GridRouter::Reach(const Shape& shape, Pt at, Pt d) {
    double edge = 0;
    for (const Pt& q : shape.points)
        edge = std::max(edge, (q.x - at.x) * d.x + (q.y - at.y) * d.y);
    return edge + shape.radius;
}

const Shape& GridRouter::CoreOn(const RoutePad& pad, int l) const {
    return l < static_cast<int>(pad.core.size()) && !pad.core[l].points.empty() ? pad.core[l]
                                                                                : pad.perLayer[l];
}

void GridRouter::AxisAccess(int p, int l, const Shape& shape, double half,
                            std::vector<Access>& out) {
    const RoutePad& pad = b_.pads[p];
    const int net = pad.net;
    const Pt at = pad.at;
    const std::array<Pt, 4> dirs = PadAxes(pad);
    const bool turned = dirs[0].y != 0;
    for (const Pt& d : dirs) {
        const double edge = Reach(shape, at, d);
        for (int m = 0; m <= 8; ++m) {
            const double t = std::round(edge + m * pitch_ / 2);
            // Off the board's axes, the bend goes to whole coordinates,
            // where the written track will put it.
            Pt bend{at.x + d.x * t, at.y + d.y * t};
            if (turned)
                bend = {std::round(bend.x), std::round(bend.y)};
            if (!buckets_->Clear(at, bend, half, ClearanceOf(net), net, l, false, kAxisSafety))
                break; // further out only adds to what already fails
            const int i0 = std::max(0, static_cast<int>(std::floor((bend.x - x0_) / pitch_)) - 1);
            const int j0 = std::max(0, static_cast<int>(std::floor((bend.y - y0_) / pitch_)) - 1);
            const std::size_t before = out.size();
            for (int j = j0; j <= std::min(ny_ - 1, j0 + 3); ++j)
                for (int i = i0; i <= std::min(nx_ - 1, i0 + 3); ++i) {
                    const std::size_t node = l * plane_ + static_cast<std::size_t>(j) * nx_ + i;
                    if (Slack(node, net, half) >= 0 &&
                        buckets_->Clear(bend, At(node), half, ClearanceOf(net), net, l, false))
                        out.push_back({static_cast<int>(node), p, true, true, bend});
                }
            if (out.size() > before)
                break;
        }
    }
}

bool GridRouter::OnlyNarrowerFits(int p, double& fits) const {
    const RoutePad& pad = b_.pads[p];
    const double half = b_.nets[pad.net].width / 2, clearance = ClearanceOf(pad.net);
    fits = 0;
    for (int l = 0; l < layers_; ++l) {
        if (l >= static_cast<int>(pad.perLayer.size()) || pad.perLayer[l].points.empty())
            continue;
        const Shape& shape = CoreOn(pad, l);
        for (const Pt& d : PadAxes(pad)) {
            const double out = Reach(shape, pad.at, d) + clearance + 2 * half;
            const Pt end{pad.at.x + d.x * out, pad.at.y + d.y * out};
            auto clear = [&](double h) {
                return buckets_->Clear(pad.at, end, h, clearance, pad.net, l, false, kAxisSafety);
            };
            // The widest that passes, to a hundredth of the net's width.
            double lo = 0, hi = half;
            if (clear(hi) || !clear(hi / 100))
                continue;
            for (int k = 0; k < 12; ++k) {
                const double mid = (lo + hi) / 2;
                (clear(mid) ? lo : hi) = mid;
            }
            fits = std::max(fits, 2 * lo);
        }
    }
    return fits > 0;
}

bool GridRouter::StubClear(const Access& a, int net, double half) {
    const Pt from = b_.pads[a.pad].at, to = At(a.node);
    const int l = LayerOf(a.node);
    if (!a.bent)
        return buckets_->Clear(from, to, half, ClearanceOf(net), net, l, false);
    return buckets_->Clear(from, a.bend, half, ClearanceOf(net), net, l, false, kAxisSafety) &&
           buckets_->Clear(a.bend, to, half, ClearanceOf(net), net, l, false);
}

} // namespace Router::detail
