#include "router/GridRouter.h"

namespace Router::detail {

void GridRouter::Raster(const Obstacle& o) {
    if (o.drill > 0)
        RasterDrill(o);
    const Box box = o.shape.Bounds();
    const int i0 = std::max(0, static_cast<int>(std::floor((box.x0 - reach_ - x0_) / pitch_)));
    const int i1 = std::min(nx_ - 1, static_cast<int>(std::ceil((box.x1 + reach_ - x0_) / pitch_)));
    const int j0 = std::max(0, static_cast<int>(std::floor((box.y0 - reach_ - y0_) / pitch_)));
    const int j1 = std::min(ny_ - 1, static_cast<int>(std::ceil((box.y1 + reach_ - y0_) / pitch_)));
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const Pt p{xs_[i], ys_[j]};
            const float raw = static_cast<float>(PointShapeDistance(p, o.shape));
            const float d = raw - static_cast<float>(o.clearance);
            if (d > reach_)
                continue;
            const std::size_t in = static_cast<std::size_t>(j) * nx_ + i;
            if (o.viaOnly) {
                dv_[in] = std::min(dv_[in], d);
                continue;
            }
            for (int l = 0; l < layers_; ++l) {
                if ((o.layers >> l & 1u) == 0)
                    continue;
                const std::size_t node = l * plane_ + in;
                Nearer(d, o.net, d1_[node], d2_[node], n1_[node]);
                if (plainField_)
                    Nearer(raw, o.net, r1_[node], r2_[node], m1_[node]);
            }
        }
}

void GridRouter::RasterDrill(const Obstacle& o) {
    Box box;
    for (const Pt& p : o.shape.points)
        box.Add(p.x, p.y, o.drill + b_.holeGap + maxViaHole_ + pitch_);
    const int i0 = std::max(0, static_cast<int>(std::floor((box.x0 - x0_) / pitch_)));
    const int i1 = std::min(nx_ - 1, static_cast<int>(std::ceil((box.x1 - x0_) / pitch_)));
    const int j0 = std::max(0, static_cast<int>(std::floor((box.y0 - y0_) / pitch_)));
    const int j1 = std::min(ny_ - 1, static_cast<int>(std::ceil((box.y1 - y0_) / pitch_)));
    Shape centre;
    centre.points = o.shape.points;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const Pt p{xs_[i], ys_[j]};
            const float d =
                static_cast<float>(PointShapeDistance(p, centre) - o.drill - b_.holeGap);
            float& kept = dh_[static_cast<std::size_t>(j) * nx_ + i];
            kept = std::min(kept, d);
        }
}

void GridRouter::Nearer(float d, int net, float& first, float& second, int& firstNet) {
    if (net == firstNet && net != kNoNet) {
        first = std::min(first, d);
    } else if (d < first) {
        second = first;
        first = d;
        firstNet = net;
    } else {
        second = std::min(second, d);
    }
}

void GridRouter::Tell() {
    reported_ = Work();
    if (o_.report)
        o_.report(now_);
}

void GridRouter::Tick() {
    if (o_.report && Work() - reported_ >= kReportWork)
        Tell();
}

void GridRouter::Show(const RouteResult& result, int failed, int tried) {
    now_.routed = tried - failed;
    now_.open = static_cast<int>(connections_.size()) - now_.routed;
    now_.vias = static_cast<int>(result.vias.size());
}

void GridRouter::ResetBoard() {
    const std::size_t total = plane_ * layers_;
    layouts_ += static_cast<long>(total / 8); // a node laid out is cheaper than a step
    d1_.assign(total, kFar);
    d2_.assign(total, kFar);
    n1_.assign(total, -2);
    if (plainField_) {
        r1_.assign(total, kFar);
        r2_.assign(total, kFar);
        m1_.assign(total, -2);
    }
    dv_.assign(plane_, kFar);
    dh_.assign(plane_, kFar);
    routedStubs_.assign(connections_.size(), {-1, -1});
    commitOrder_.clear();
    // The board's own copper and edge are the same every time: laid
    // once, then copied back.
    if (bare_) {
        d1_ = bare_->d1;
        d2_ = bare_->d2;
        n1_ = bare_->n1;
        r1_ = bare_->r1;
        r2_ = bare_->r2;
        m1_ = bare_->m1;
        dv_ = bare_->dv;
        dh_ = bare_->dh;
        buckets_->Restore();
        return;
    }
    buckets_ = std::make_unique<Buckets>(bucketBox_, std::max(pitch_ * 16, reach_), o_.safety);
    if (b_.rules) {
        if (!pairGaps_)
            pairGaps_ = std::make_unique<PairGaps>(b_);
        buckets_->SetPairGaps(pairGaps_.get());
    }
    for (const Obstacle& o : b_.obstacles) {
        Raster(o);
        buckets_->Add(o);
    }
    // The board edge: outside is closed, the outline keeps its clearance.
    if (b_.outline.size() >= 3) {
        for (std::size_t k = 0; k < b_.outline.size(); ++k) {
            Obstacle edge;
            edge.shape.points = {b_.outline[k], b_.outline[(k + 1) % b_.outline.size()]};
            edge.layers = (layers_ >= 32 ? 0xFFFFFFFFu : (1u << layers_) - 1);
            edge.clearance = b_.clearance;
            Raster(edge);
            buckets_->Add(edge);
        }
        for (std::size_t in = 0; in < plane_; ++in)
            if (!InsidePolygon(b_.outline, At(in)))
                for (int l = 0; l < layers_; ++l)
                    d1_[l * plane_ + in] = d2_[l * plane_ + in] = -kFar;
    }
    if (noOutline_)
        for (std::size_t in = 0; in < plane_; ++in) {
            const Pt p = At(in);
            if (p.x < limit_.x0 || p.x > limit_.x1 || p.y < limit_.y0 || p.y > limit_.y1)
                for (int l = 0; l < layers_; ++l)
                    d1_[l * plane_ + in] = d2_[l * plane_ + in] = -kFar;
        }
    if (state_.size() != total) {
        state_.assign(total, NodeState{});
        flooded_.assign(total, 0);
        sourceStub_.assign(total, -1);
        targetStub_.assign(total, -1);
    }
    buckets_->Mark();
    bare_ = std::make_unique<Field>(Field{d1_, d2_, dv_, n1_, r1_, r2_, m1_, dh_});
}

float GridRouter::Slack(std::size_t node, int net, double half) const {
    const float d = (n1_[node] == net ? d2_[node] : d1_[node]) - Need(half);
    if (!AboveLeast(net))
        return d;
    return std::min(d, (m1_[node] == net ? r2_[node] : r1_[node]) - NeedPlain(net, half));
}

float GridRouter::NeedPlain(int net, double half) const {
    return static_cast<float>(half + b_.nets[net].clearance + o_.safety);
}

bool GridRouter::ApartFromLastVia(int last, std::size_t in, int net) const {
    if (last < 0)
        return true;
    const Pt a = At(in), b = At(static_cast<std::size_t>(last));
    return std::hypot(a.x - b.x, a.y - b.y) >= b_.ViaHoleOf(net) + b_.holeGap;
}

bool GridRouter::ViaFits(std::size_t in, int net) const {
    const double radius = ViaRadius(net);
    if (radius <= 0)
        return false;
    if (dv_[in] < radius || dh_[in] < b_.ViaHoleOf(net) / 2)
        return false;
    for (int l = 0; l < layers_; ++l)
        if (Slack(l * plane_ + in, net, radius) < 0)
            return false;
    return true;
}

} // namespace Router::detail
