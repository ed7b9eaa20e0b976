// Regions, polygons, split planes, the outline, texts and the component
// groups of a board's picture.
#include "host/PicturePieces.h"

namespace Harrow::picture {

void Picture::DrawRegions() {
    Walk(BoardKind::Region, [this](intptr_t h) {
        TRegionShape region;
        if (!QueryRegionShape(api_, h, region) || region.contour.empty())
            return;
        const Common& c = region.common;
        const auto& contour = region.contour;
        const auto& holePoints = region.holePoints;
        const PcbApiLayerSet& set = region.layers;
        std::string d;
        auto ring = [&](const PcbApiPoint* points, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) {
                d += i == 0 ? 'M' : 'L';
                Num(d, int64_t{points[i].x});
                d += ' ';
                Num(d, int64_t{points[i].y});
                extent_.Add(points[i].x, points[i].y);
                AddToComponent(c.component, points[i].x, points[i].y, 0);
            }
            d += 'Z';
        };
        ring(contour.data(), contour.size());
        std::size_t at = 0;
        for (int32_t size : region.holeSizes) {
            if (size <= 0 || at + size > holePoints.size())
                break;
            ring(holePoints.data() + at, static_cast<std::size_t>(size));
            at += static_cast<std::size_t>(size);
        }
        const bool keepout = (c.bitField & PCBAPI_BITFIELD_KEEPOUT) != 0;
        std::vector<int32_t> layers;
        if (c.layer > 0 && c.layer < BoardLayer::Count)
            layers.push_back(c.layer);
        for (int32_t layer = 1; layer < BoardLayer::Count && layer < 128; ++layer)
            if ((set.Bits[layer / 64] >> (layer % 64) & 1) && layer != c.layer)
                layers.push_back(layer);
        if (layers.empty())
            layers.push_back(0);
        for (int32_t layer : layers) {
            std::string& out = Out(layer, c.net);
            out += keepout ? "<path class=\"r ko\" d=\"" : "<path class=\"r\" d=\"";
            out += d;
            out += "\"/>";
        }
    });
}

std::vector<PcbApiPolySegment> Picture::Segments(intptr_t h, int32_t kind, Common& c) {
    int32_t points = 0, count = 0, lock = 0, flags[8] = {};
    PcbApiPolySegment none{};
    auto query = [&](PcbApiPolySegment* buffer, int32_t capacity) {
        if (kind == BoardKind::SplitPlane)
            return api_.PcbApi_QuerySplitPlane(1, h, HARROW_COMMON(c), &points, buffer, &count,
                                               capacity, &lock);
        return api_.PcbApi_QueryPolygonEx(1, h, HARROW_COMMON(c), &points, buffer, &count, capacity,
                                          &flags[0], &flags[1], &flags[2], &flags[3], &flags[4],
                                          &flags[5], &flags[6], &lock, &flags[7]);
    };
    if (query(&none, 0) != 1 || count <= 0)
        return {};
    std::vector<PcbApiPolySegment> segments(static_cast<std::size_t>(count));
    if (query(segments.data(), count) != 1)
        return {};
    segments.resize(
        static_cast<std::size_t>(std::clamp(count, 0, static_cast<int32_t>(segments.size()))));
    return segments;
}

std::string Picture::SegmentPath(const std::vector<PcbApiPolySegment>& segments, Box& box) const {
    std::string d;
    bool started = false;
    double lastX = 0, lastY = 0;
    auto to = [&](double x, double y) {
        d += started ? 'L' : 'M';
        Num(d, x);
        d += ' ';
        Num(d, y);
        started = true;
        lastX = x;
        lastY = y;
        box.Add(x, y);
    };
    for (const PcbApiPolySegment& s : segments) {
        if (s.Kind != 1) {
            to(s.vx, s.vy);
            continue;
        }
        // An arc about its centre; it is walked from the end nearer the
        // current point, so the outline stays closed whichever way it was
        // written.
        const double r = std::fabs(static_cast<double>(s.Radius));
        const double a1 = Finite(s.Angle1), a2 = Finite(s.Angle2);
        auto point = [&](double a) {
            const double t = a * kPi / 180.0;
            return std::pair{s.cx + r * std::cos(t), s.cy + r * std::sin(t)};
        };
        auto [x1, y1] = point(a1);
        auto [x2, y2] = point(a2);
        const bool reverse =
            started && std::hypot(lastX - x2, lastY - y2) < std::hypot(lastX - x1, lastY - y1);
        double span = std::fmod(a2 - a1, 360.0);
        if (span <= 0.0)
            span += 360.0;
        if (reverse)
            to(x2, y2);
        else
            to(x1, y1);
        const double ex = reverse ? x1 : x2, ey = reverse ? y1 : y2;
        d += 'A';
        Num(d, r);
        d += ' ';
        Num(d, r);
        d += span > 180.0 ? " 0 1 " : " 0 0 ";
        d += reverse ? "0 " : "1 ";
        Num(d, ex);
        d += ' ';
        Num(d, ey);
        lastX = ex;
        lastY = ey;
        box.Add(s.cx, s.cy, r);
    }
    if (started)
        d += 'Z';
    return d;
}

void Picture::DrawPolygons(int32_t kind) {
    Walk(kind, [this, kind](intptr_t h) {
        Common c;
        std::vector<PcbApiPolySegment> segments = Segments(h, kind, c);
        Box box;
        std::string d = SegmentPath(segments, box);
        if (d.empty())
            return;
        extent_.Add(box);
        std::string& out = Out(c.layer, c.net);
        out +=
            kind == BoardKind::SplitPlane ? "<path class=\"sp\" d=\"" : "<path class=\"pg\" d=\"";
        out += d;
        out += "\"/>";
    });
}

void Picture::DrawOutline() {
    intptr_t window = 0, outline = 0;
    int32_t isLibrary = 0, ox = 0, oy = 0, cx = 0, cy = 0, unit = 0, current = 0, guide = 0;
    PcbApiDielectric top{}, bottom{};
    if (api_.PcbApi_QueryBoard(1, board_, &window, textA_.data(), &isLibrary, &ox, &oy, &cx, &cy,
                               &unit, &top, &bottom, &current, &guide, &outline) != 1 ||
        outline == 0)
        return;
    Common c;
    std::vector<PcbApiPolySegment> segments = Segments(outline, 10, c);
    Box box;
    std::string d = SegmentPath(segments, box);
    if (d.empty())
        return;
    extent_.Add(box);
    body_ = "<path d=\"" + d + "\"/>";
    outline_ = "<path class=\"h\" d=\"" + d + "\"/>";
}

// Ends a text's transform: glyphs of font size 100 scaled to `height`,
// upright again in the flipped drawing (mirrored: as seen from the top).
// Browsers cap font sizes far below board units, hence the scale.
static void TextScale(std::string& out, double height, bool mirror) {
    const double k = std::round(height) / 1.0e6; // host units to mil, over 100
    out += "scale(";
    Real(out, mirror ? -k : k);
    out += ' ';
    Real(out, -k);
    out += ")\">";
}

void Picture::DrawTexts() {
    Walk(BoardKind::Text, [this](intptr_t h) {
        Common c;
        int32_t size = 0, font = 0, mirror = 0, lineWidth = 0, tt = 0, bold = 0, italic = 0,
                inverted = 0, border = 0;
        std::array<int32_t, 8> bar{};
        double angle = 0.0;
        textA_[0] = '\0';
        if (api_.PcbApi_QueryText(1, h, HARROW_COMMON(c), &size, &font, &angle, &mirror,
                                  textA_.data(), &lineWidth, &tt, &bold, &italic, textB_.data(),
                                  &inverted, &border, &bar[0], &bar[1], &bar[2], &bar[3], &bar[4],
                                  &bar[5], &bar[6], &bar[7]) != 1 ||
            textA_[0] == '\0')
            return;
        ComponentInfo* component = ComponentOf(c.component);
        bool designator = false;
        if (component != nullptr) {
            if (h == component->commentText && !component->commentOn)
                return;
            if (h == component->nameText) {
                if (!component->nameOn)
                    return;
                designator = true;
                component->nameDrawn = true;
            }
        }
        const double height = std::max(std::fabs(static_cast<double>(size)), 1.0);
        std::string& out = Out(c.layer, c.net);
        out += designator ? "<text class=\"x d\"" : "<text class=\"x\"";
        out += " transform=\"translate(";
        Num(out, int64_t{c.x1});
        out += ' ';
        Num(out, int64_t{c.y1});
        out += ')';
        if (const double turn = std::fmod(Finite(angle), 360.0); turn != 0.0) {
            out += "rotate(";
            Real(out, turn);
            out += ')';
        }
        TextScale(out, height, mirror != 0);
        AppendXmlText(out, textA_.data());
        out += "</text>";
        extent_.Add(c.x1, c.y1, height);
    });
}

// Where a component stands: "translate(x y)rotate(a)".
static void Placement(std::string& out, const ComponentInfo& info) {
    out += " transform=\"translate(";
    Num(out, int64_t{info.x});
    out += ' ';
    Num(out, int64_t{info.y});
    out += ')';
    if (info.angle != 0.0) {
        out += "rotate(";
        Real(out, info.angle);
        out += ')';
    }
    out += '"';
}

// A component's mark in its own frame: its extent (dashed), its origin, and a
// dot on pin 1 (or its first pad) for the turn. Widens the picture's extent
// by the mark's corners.
void Picture::MarkMarkup(ComponentInfo& info, std::string& markup) {
    Box& b = info.local;
    if (b.Empty()) { // nothing in it: a cross at its position
        b.Add(0, 0, 250000);
    }
    const double mark = std::max(std::min(b.maxX - b.minX, b.maxY - b.minY) / 10, 20000.0);
    const double corners[4][2] = {
        {b.minX, b.minY}, {b.maxX, b.minY}, {b.maxX, b.maxY}, {b.minX, b.maxY}};
    markup = "<polygon class=\"co\" points=\"";
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            markup += ' ';
        Num(markup, corners[i][0]);
        markup += ',';
        Num(markup, corners[i][1]);
    }
    markup += "\"/>";
    // Its origin, and a dot on pin 1 (or its first pad) for the turn.
    markup += "<circle class=\"o\"";
    Attr(markup, "r", mark / 2);
    markup += "/>";
    if (!info.firstPadName.empty()) {
        const auto [px, py] = info.Local(info.pinX, info.pinY);
        markup += "<circle class=\"p1\"";
        Attr(markup, "cx", px);
        Attr(markup, "cy", py);
        Attr(markup, "r", mark);
        markup += "/>";
    }
    const double t = info.angle * kPi / 180.0;
    for (const auto& corner : corners)
        extent_.Add(info.x + corner[0] * std::cos(t) - corner[1] * std::sin(t),
                    info.y + corner[0] * std::sin(t) + corner[1] * std::cos(t));
}

// Each component: its own shapes per layer as a <use> of their image in that
// layer's group (data-c: the component's index); in its side's group a <use>
// of its mark (extent, origin, a dot on pin 1) with id "c<index>", its
// designator (data-ref) and its pads' nets (data-n, indexes into the net
// table, in the order of its pads' data-i).
std::string Picture::ComponentGroups() {
    std::string sides[2];
    std::string markup, shapes;
    for (std::size_t index = 0; index < componentOrder_.size(); ++index) {
        ComponentInfo& info = components_[componentOrder_[index]];
        EachOwnLayer(info, [&](int32_t layer, auto first, auto last) {
            shapes.clear();
            for (; first != last; ++first)
                shapes += OwnMarkup(first->markup);
            std::string& out = Out(layer, 0);
            UseDefinition(out, imageIds_, "f", "", shapes);
            Placement(out, info);
            out += " data-c=\"";
            Int(out, static_cast<int64_t>(index));
            out += "\"/>";
        });
        std::string& out = sides[info.bottom ? 1 : 0];
        MarkMarkup(info, markup);
        std::string open;
        if (!info.pattern.empty())
            AttrText(open, "data-pattern", info.pattern);
        UseDefinition(out, markIds_, "m", open, markup);
        out += " class=\"c\" id=\"c";
        Int(out, static_cast<int64_t>(index));
        out += '"';
        Placement(out, info);
        AttrText(out, "data-ref", info.designator);
        if (!info.padNets.empty()) {
            out += " data-n=\"";
            Ints(out, info.padNets, ' ');
            out += '"';
        }
        out += "/>";
        const double t = info.angle * kPi / 180.0;
        const Box& b = info.local;
        if (!info.nameDrawn && !info.designator.empty()) {
            const double cx = (b.minX + b.maxX) / 2, cy = (b.minY + b.maxY) / 2;
            const double height =
                std::clamp(std::min(b.maxX - b.minX, b.maxY - b.minY) / 3, 100000.0, 800000.0);
            out += "<text class=\"x d\" text-anchor=\"middle\"";
            out += " transform=\"translate(";
            Num(out, info.x + cx * std::cos(t) - cy * std::sin(t));
            out += ' ';
            Num(out, info.y + cx * std::sin(t) + cy * std::cos(t));
            out += ')';
            TextScale(out, height, false);
            AppendXmlText(out, info.designator);
            out += "</text>";
        }
    }
    std::string groups;
    const char* names[2] = {"Top Components", "Bottom Components"};
    const char* ids[2] = {"components-top", "components-bottom"};
    const char* colors[2] = {"#f2e24a", "#c8b070"};
    for (int side = 1; side >= 0; --side) {
        if (sides[side].empty())
            continue;
        groups += "<g class=\"layer comp\" id=\"";
        groups += ids[side];
        groups += "\" data-name=\"";
        groups += names[side];
        groups += "\" data-color=\"";
        groups += colors[side];
        groups += "\" stroke=\"";
        groups += colors[side];
        groups += "\" fill=\"";
        groups += colors[side];
        groups += "\">";
        groups += sides[side];
        groups += "</g>";
    }
    return groups;
}

} // namespace Harrow::picture
