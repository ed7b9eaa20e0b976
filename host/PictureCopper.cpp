// The copper of a board's picture: tracks, arcs, fills, vias and pads.
#include "host/PicturePieces.h"

namespace Harrow::picture {

// Tracks as paths; a track that starts where the one before it ended, on the
// same layer, net and width, continues that path (the segments of one wire or
// of a component outline come one after the other), which keeps large boards'
// pictures small.
void Picture::DrawTracks() {
    struct Chain {
        std::string* out = nullptr;
        const ComponentInfo* owner = nullptr;
        int32_t layer = 0, width = 0, x = 0, y = 0;
        intptr_t net = 0;
        bool keepout = false;
    } last;
    Walk(BoardKind::Track, [this, &last](intptr_t h) {
        Common c;
        int32_t x2 = 0, y2 = 0, width = 0;
        intptr_t polygon = 0, coordinate = 0, dimension = 0;
        if (api_.PcbApi_QueryTrack(1, h, HARROW_COMMON(c), &x2, &y2, &width, &polygon, &coordinate,
                                   &dimension) != 1)
            return;
        const double w = std::fabs(static_cast<double>(width));
        const bool keepout = (c.bitField & PCBAPI_BITFIELD_KEEPOUT) != 0;
        // A component's line of no net is its own, in its frame.
        ComponentInfo* owner = c.net == 0 ? ComponentOf(c.component) : nullptr;
        std::string& out = owner != nullptr ? Own(*owner, c.layer) : Out(c.layer, c.net);
        auto point = [&out, owner](int32_t x, int32_t y) {
            if (owner == nullptr) {
                Num(out, int64_t{x});
                out += ' ';
                Num(out, int64_t{y});
                return;
            }
            const auto [lx, ly] = owner->Local(x, y);
            Num(out, lx);
            out += ' ';
            Num(out, ly);
        };
        if (&out == last.out && owner == last.owner && c.layer == last.layer && c.net == last.net &&
            width == last.width && keepout == last.keepout && c.x1 == last.x && c.y1 == last.y &&
            out.size() >= 3) {
            out.resize(out.size() - 3); // reopen the path: drop "\"/>"
        } else {
            out += w > 0 ? "<path class=\"t" : "<path class=\"t h";
            out += keepout ? " ko\"" : "\"";
            if (w > 0)
                Attr(out, "stroke-width", w);
            out += " d=\"M";
            point(c.x1, c.y1);
        }
        out += 'L';
        point(x2, y2);
        out += "\"/>";
        last = {&out, owner, c.layer, width, x2, y2, c.net, keepout};
        extent_.Add(c.x1, c.y1, w / 2);
        extent_.Add(x2, y2, w / 2);
        AddToComponent(c.component, c.x1, c.y1, w / 2);
        AddToComponent(c.component, x2, y2, w / 2);
    });
}

// An arc path from `a1` to `a2` degrees (counter-clockwise, board axes) about
// (cx, cy); whole circles are two half arcs.
static void ArcPath(std::string& out, double cx, double cy, double r, double a1, double a2) {
    double span = std::fmod(a2 - a1, 360.0);
    if (span <= 0.0)
        span += 360.0;
    if (std::fabs(a2 - a1) >= 360.0 || a1 == a2)
        span = 360.0;
    auto point = [&](double a) {
        const double t = a * kPi / 180.0;
        return std::pair{cx + r * std::cos(t), cy + r * std::sin(t)};
    };
    auto [sx, sy] = point(a1);
    out += 'M';
    Num(out, sx);
    out += ' ';
    Num(out, sy);
    auto arcTo = [&](double to, bool large) {
        auto [x, y] = point(to);
        out += 'A';
        Num(out, r);
        out += ' ';
        Num(out, r);
        out += large ? " 0 1 1 " : " 0 0 1 ";
        Num(out, x);
        out += ' ';
        Num(out, y);
    };
    if (span >= 360.0) {
        arcTo(a1 + 180.0, false);
        arcTo(a1 + 360.0, false);
    } else {
        arcTo(a1 + span, span > 180.0);
    }
}

void Picture::DrawArcs() {
    Walk(BoardKind::Arc, [this](intptr_t h) {
        Common c;
        int32_t radius = 0, width = 0;
        double a1 = 0, a2 = 0;
        intptr_t polygon = 0;
        if (api_.PcbApi_QueryArc(1, h, HARROW_COMMON(c), &radius, &a1, &a2, &width, &polygon) != 1)
            return;
        const double r = std::fabs(static_cast<double>(radius));
        const double w = std::fabs(static_cast<double>(width));
        ComponentInfo* owner = c.net == 0 ? ComponentOf(c.component) : nullptr;
        std::string& out = owner != nullptr ? Own(*owner, c.layer) : Out(c.layer, c.net);
        out += w > 0 ? "<path class=\"t" : "<path class=\"t h";
        out += (c.bitField & PCBAPI_BITFIELD_KEEPOUT) ? " ko\"" : "\"";
        if (w > 0)
            Attr(out, "stroke-width", w);
        out += " d=\"";
        if (owner != nullptr) {
            const auto [lx, ly] = owner->Local(c.x1, c.y1);
            ArcPath(out, lx, ly, r, Finite(a1) - owner->angle, Finite(a2) - owner->angle);
        } else {
            ArcPath(out, c.x1, c.y1, r, Finite(a1), Finite(a2));
        }
        out += "\"/>";
        extent_.Add(c.x1, c.y1, r + w / 2);
        AddToComponent(c.component, c.x1, c.y1, r + w / 2);
    });
}

// A rectangle of the given size about (x, y), turned by `angle` about its
// centre.
static void CentredRect(std::string& out, const char* cls, double x, double y, double xs, double ys,
                        double angle, double radius) {
    out += "<rect";
    if (cls != nullptr) {
        out += " class=\"";
        out += cls;
        out += '"';
    }
    Attr(out, "x", x - xs / 2);
    Attr(out, "y", y - ys / 2);
    Attr(out, "width", xs);
    Attr(out, "height", ys);
    if (radius > 0) {
        Attr(out, "rx", radius);
        Attr(out, "ry", radius);
    }
    angle = std::fmod(Finite(angle), 360.0);
    if (angle != 0.0) {
        out += " transform=\"rotate(";
        Real(out, angle);
        out += ' ';
        NumPair(out, x, y);
        out += ")\"";
    }
}

void Picture::DrawFills() {
    Walk(BoardKind::Fill, [this](intptr_t h) {
        TFillShape fill;
        if (!QueryFillShape(api_, h, fill))
            return;
        const Common& c = fill.common;
        const double cx = fill.CentreX(), cy = fill.CentreY();
        const double xs = fill.SizeX(), ys = fill.SizeY();
        std::string& out = Out(c.layer, c.net);
        CentredRect(out, (c.bitField & PCBAPI_BITFIELD_KEEPOUT) ? "f ko" : "f", cx, cy, xs, ys,
                    fill.angle, 0);
        out += "/>";
        extent_.Add(cx, cy, std::hypot(xs, ys) / 2);
        AddToComponent(c.component, cx, cy, std::hypot(xs, ys) / 2);
    });
}

// A circle about (x, y), of class `cls` unless null.
static void Circle(std::string& out, const char* cls, double x, double y, double r) {
    out += "<circle";
    if (cls != nullptr) {
        out += " class=\"";
        out += cls;
        out += '"';
    }
    Attr(out, "cx", x);
    Attr(out, "cy", y);
    Attr(out, "r", r);
    out += "/>";
}

void Picture::DrawVias() {
    Walk(BoardKind::Via, [this](intptr_t h) {
        Common c;
        int32_t size = 0, hole = 0, low = 0, high = 0, testTop = 0, testBottom = 0;
        if (api_.PcbApi_QueryVia(1, h, HARROW_COMMON(c), &size, &hole, &low, &high, &testTop,
                                 &testBottom) != 1)
            return;
        // The signal layers of the stack from one end of its span to the other.
        auto position = [this](int32_t layer) {
            auto it = std::find(stack_.begin(), stack_.end(), layer);
            return it == stack_.end() ? -1 : static_cast<int>(it - stack_.begin());
        };
        int from = position(low), to = position(high);
        if (from < 0 || to < 0) {
            from = 0;
            to = static_cast<int>(stack_.size()) - 1;
        }
        if (from > to)
            std::swap(from, to);
        // Circles of their own: a browser draws a plain circle far faster
        // than a <use> of one, and the file is hardly larger.
        const double r = std::fabs(static_cast<double>(size)) / 2;
        for (int at = from; at <= to; ++at) {
            const int32_t layer = stack_[at];
            if (!IsSignal(layer) || r <= 0)
                continue;
            Circle(Out(layer, c.net), "v", c.x1, c.y1, r);
        }
        if (hole > 0)
            Hole(c.x1, c.y1, std::fabs(static_cast<double>(hole)));
        extent_.Add(c.x1, c.y1, r);
        AddToComponent(c.component, c.x1, c.y1, r);
    });
}

// One pad shape at (x, y): circle, rectangle, rounded rectangle or octagon.
static void PadShape(std::string& out, int32_t shape, double x, double y, double xs, double ys,
                     double angle, int32_t cornerPercent) {
    const double small = std::min(xs, ys);
    if ((shape == 1 || shape == 4) && xs == ys) {
        out += "<circle class=\"p\"";
        Attr(out, "cx", x);
        Attr(out, "cy", y);
        Attr(out, "r", xs / 2);
        return;
    }
    if (shape == 3) { // octagon: corners cut by a quarter of the smaller side
        const double cut = small * (1.0 - 1.0 / (1.0 + std::sqrt(2.0)));
        const double hx = xs / 2, hy = ys / 2, k = cut / 2;
        const double corners[8][2] = {{hx - k, hy},   {-hx + k, hy}, {-hx, hy - k}, {-hx, -hy + k},
                                      {-hx + k, -hy}, {hx - k, -hy}, {hx, -hy + k}, {hx, hy - k}};
        const double t = Finite(angle) * kPi / 180.0;
        out += "<polygon class=\"p\" points=\"";
        for (int i = 0; i < 8; ++i) {
            if (i > 0)
                out += ' ';
            Num(out, x + corners[i][0] * std::cos(t) - corners[i][1] * std::sin(t));
            out += ',';
            Num(out, y + corners[i][0] * std::sin(t) + corners[i][1] * std::cos(t));
        }
        out += '"';
        return;
    }
    double radius = 0;
    if (shape == 1 || shape == 4)
        radius = small / 2; // an oblong
    else if (shape == 7 || shape == 9)
        radius = small * std::clamp(cornerPercent, 0, 100) / 200.0;
    CentredRect(out, "p", x, y, xs, ys, angle, radius);
}

// One piece of a pad's true copper, its corners taken through `place` (to
// the frame it is drawn in): a polygon, or a stroke along a segment, or a
// dot; open for the caller's attributes, as PadShape leaves it.
template <class Place>
void OutlinePieceShape(std::string& out, const PadOutlinePiece& piece, Place place) {
    const std::size_t n = piece.xy.size() / 2;
    if (n >= 3) {
        out += "<polygon class=\"p\" points=\"";
        for (std::size_t k = 0; k < n; ++k) {
            const auto [x, y] = place(piece.xy[2 * k], piece.xy[2 * k + 1]);
            if (k > 0)
                out += ' ';
            NumPair(out, x, y, ',');
        }
        out += '"';
        if (piece.radius > 0) {
            Attr(out, "stroke-width", 2 * piece.radius);
            out += " stroke-linejoin=\"round\"";
        }
        return;
    }
    const auto [x1, y1] = place(piece.xy[0], piece.xy[1]);
    const auto [x2, y2] = n == 2 ? place(piece.xy[2], piece.xy[3]) : std::pair{x1, y1};
    out += "<path class=\"t\" d=\"M";
    NumPair(out, x1, y1);
    out += 'L';
    NumPair(out, x2, y2);
    out += '"';
    Attr(out, "stroke-width", 2 * piece.radius);
}

// Every pad: its shape on each of its layers (or its true copper), its hole,
// and what its component learns of it (extent, pin 1, net order). One walk
// over the pads, since each pad is read from the engine once.
void Picture::DrawPads() {
    Walk(BoardKind::Pad, [this](intptr_t h) {
        Common c;
        int32_t sizes[6] = {}, hole = 0, shapes[3] = {}, daisy = 0, plated = 0, owner = 0,
                drillType = 0, holeType = 0, holeWidth = 0, offX = 0, offY = 0, jumper = 0,
                testTop = 0, testBottom = 0;
        double angle = 0, holeRotation = 0;
        textA_[0] = '\0';
        if (api_.PcbApi_QueryPad(1, h, HARROW_COMMON(c), &sizes[0], &sizes[1], &sizes[2], &sizes[3],
                                 &sizes[4], &sizes[5], &hole, &shapes[0], &shapes[1], &shapes[2],
                                 textA_.data(), &daisy, &plated, &angle, textB_.data(),
                                 textC_.data(), &owner, textD_.data(), &drillType, &holeType,
                                 &holeWidth, &holeRotation, &offX, &offY, &jumper, &testTop,
                                 &testBottom) != 1)
            return;
        int32_t mode = 0;
        api_.PcbApi_QueryPadStackMode(1, h, &mode);
        const std::string padName = textA_.data();
        ComponentInfo* component = ComponentOf(c.component);
        std::vector<int32_t> layers;
        if (c.layer == BoardLayer::Multi) {
            for (int32_t layer : stack_)
                if (IsSignal(layer))
                    layers.push_back(layer);
        } else {
            layers.push_back(c.layer);
        }
        double reach = 0;
        // A component's pad is its own, in its frame: named by data-p, its net
        // the data-i-th of the component's data-n. A free pad's title names it.
        const int32_t padIndex =
            component != nullptr ? static_cast<int32_t>(component->padNets.size()) : 0;
        double lx = c.x1, ly = c.y1, turn = angle;
        if (component != nullptr) {
            component->padNets.push_back(NetIndex(c.net));
            std::tie(lx, ly) = component->Local(c.x1, c.y1);
            // Every pad shape is the same turned by half a turn: images of
            // components turned by 180 degrees share their pad shapes.
            turn = std::fmod(Finite(angle) - component->angle, 180.0);
            if (turn < 0)
                turn += 180.0;
        }
        // A component's pad names itself and its net's place in data-p, data-i.
        auto endOwnPad = [&](std::string& out) {
            AttrText(out, "data-p", padName);
            out += " data-i=\"";
            Int(out, padIndex);
            out += "\"/>";
        };
        for (int32_t layer : layers) {
            // A pad with a true outline on this layer is drawn as it is.
            const std::vector<PadOutlinePiece> outline = PadOutlineOnLayer(api_, h, layer);
            for (const PadOutlinePiece& piece : outline) {
                if (piece.xy.size() < 2)
                    continue;
                for (std::size_t k = 0; k + 1 < piece.xy.size(); k += 2)
                    reach = std::max(reach, std::hypot(piece.xy[k] - c.x1, piece.xy[k + 1] - c.y1) +
                                                piece.radius);
                if (component != nullptr) {
                    std::string& out = Own(*component, layer);
                    OutlinePieceShape(out, piece, [component](double x, double y) {
                        return component->Local(x, y);
                    });
                    endOwnPad(out);
                } else {
                    std::string& out = Out(layer, c.net);
                    OutlinePieceShape(out, piece, [](double x, double y) {
                        return std::pair{x, y};
                    });
                    out += "><title>pad ";
                    AppendXmlText(out, padName);
                    out += piece.xy.size() >= 6 ? "</title></polygon>" : "</title></path>";
                }
            }
            if (!outline.empty())
                continue;
            const int32_t entry =
                IsSignal(layer) || mode != 2 ? PcbApiPadEntryLayer(mode, layer) : BoardLayer::Top;
            int32_t shape = 0, xs = 0, ys = 0, corner = 0;
            api_.PcbApi_QueryPadOrViaShapeOnLayer(h, entry, &shape);
            api_.PcbApi_QueryPadOrViaSizeOnLayer(h, entry, &xs, &ys);
            api_.PcbApi_QueryPadCRPercentageOnLayer(h, entry, &corner);
            const double x = std::fabs(static_cast<double>(xs)),
                         y = std::fabs(static_cast<double>(ys));
            if (shape == 0 || x <= 0 || y <= 0)
                continue;               // nothing of this pad on this layer
            if (component != nullptr) { // drawn once per image: the shape itself
                std::string& out = Own(*component, layer);
                PadShape(out, shape, lx, ly, x, y, turn, corner);
                endOwnPad(out);
            } else {
                std::string& out = Out(layer, c.net);
                shape_.clear();
                PadShape(shape_, shape, 0, 0, x, y, turn, corner);
                UseShape(out, lx, ly);
                out += "><title>pad ";
                AppendXmlText(out, padName);
                out += "</title></use>";
            }
            reach = std::max(reach, std::hypot(x, y) / 2);
        }
        if (c.layer == BoardLayer::Multi && hole > 0) {
            const double d = std::fabs(static_cast<double>(hole));
            if (holeType == 2 && holeWidth > hole) { // a slot
                const double half = (holeWidth - d) / 2, t = (angle + holeRotation) * kPi / 180.0;
                holes_ += "<line class=\"s\"";
                Attr(holes_, "x1", c.x1 - half * std::cos(t));
                Attr(holes_, "y1", c.y1 - half * std::sin(t));
                Attr(holes_, "x2", c.x1 + half * std::cos(t));
                Attr(holes_, "y2", c.y1 + half * std::sin(t));
                Attr(holes_, "stroke-width", d);
                holes_ += "/>";
            } else {
                Hole(c.x1, c.y1, d);
            }
            reach = std::max(reach, d / 2);
        }
        extent_.Add(c.x1, c.y1, reach);
        if (component != nullptr) {
            AddToComponent(c.component, c.x1, c.y1, reach);
            if (component->firstPadName.empty() || padName == "1") {
                if (!component->pinOne || padName == "1") {
                    component->pinX = c.x1;
                    component->pinY = c.y1;
                }
                component->pinOne = component->pinOne || padName == "1";
                if (component->firstPadName.empty())
                    component->firstPadName = padName.empty() ? "?" : padName;
            }
        }
    });
}

} // namespace Harrow::picture
