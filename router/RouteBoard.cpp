#include "router/RouteBoard.h"

#include "boardapi/BoardObjects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>

namespace Router {
namespace {

constexpr int32_t kClearanceRule = 0, kWidthRule = 2, kRoutingLayersRule = 9, kViaStyleRule = 11,
                  kHoleToHoleRule = 52;
// Object kinds of the engine (sdk/ObjectKinds.h) that rule scopes ask for.
constexpr int32_t kArcKind = 1, kPadKind = 2, kViaKind = 3, kTrackKind = 4, kFillKind = 6,
                  kPolygonKind = 10, kRegionKind = 11;

using Common = Harrow::TObjectCommon;
namespace BoardKind = Harrow::BoardKind;
namespace BoardLayer = Harrow::BoardLayer;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

class Reader {
public:
    Reader(const Harrow::PcbApiTable& api, intptr_t board)
        : api_(api), board_(board), text_(PCBAPI_TEXT_CAPACITY) {}

    RouteBoard Read() {
        ReadLayers();
        ReadNets();
        ReadPlanes();
        ReadRules();
        ReadOutline();
        ReadComponents();
        ReadPads();
        ReadTracks();
        ReadArcs();
        ReadVias();
        ReadFills();
        ReadRegions();
        ReadPolygons();
        NoteCoveredPads();
        NotePadsOffTheRoutingLayers();
        for (int net : fixed_) {
            if (out_.nets[net].pads.size() > 1)
                out_.notes.push_back("net " + out_.nets[net].name +
                                     " may use no routing layer (a fixed net); it is not routed");
            out_.nets[net].pads.clear();
        }
        return std::move(out_);
    }

private:
    const Harrow::PcbApiTable& api_;
    intptr_t board_;
    std::vector<char> text_, text2_ = std::vector<char>(PCBAPI_TEXT_CAPACITY);
    RouteBoard out_;
    std::map<int32_t, int> layerIndex_; // engine layer -> router layer
    std::map<intptr_t, int> netIndex_;  // net handle -> router net
    std::map<intptr_t, std::string> designators_;
    std::vector<int> fixed_;            // nets that may use no routing layer
    std::vector<int32_t> passed_;       // copper layers not routed, which vias pass through
    std::vector<int32_t> stack_;        // the layers of the stack, from the top down
    std::vector<std::size_t> keepouts_; // obstacles that are keep-outs
    std::vector<std::pair<Shape, Common>> keepoutEdges_; // keep-out tracks

    // A pad to connect whose centre lies under a keep-out on every layer it
    // has copper on cannot be reached. A few such pads are named one a line;
    // more are said in one line, with the keep-out that covers them all
    // when there is one (a keep-out larger than the board).
    void NoteCoveredPads() {
        if (keepouts_.empty())
            return;
        std::vector<Box> boxes;
        for (std::size_t k : keepouts_)
            boxes.push_back(out_.obstacles[k].shape.Bounds());
        std::vector<std::size_t> covering(keepouts_.size(), 0);
        std::vector<std::string> covered;
        std::size_t toConnect = 0;
        for (RoutePad& pad : out_.pads) {
            if (pad.net == kNoNet || out_.nets[pad.net].pads.size() < 2)
                continue;
            ++toConnect;
            uint32_t copper = 0, under = 0;
            for (std::size_t l = 0; l < pad.perLayer.size(); ++l)
                if (!pad.perLayer[l].points.empty())
                    copper |= 1u << l;
            for (std::size_t i = 0; i < keepouts_.size() && copper != 0; ++i) {
                const Obstacle& o = out_.obstacles[keepouts_[i]];
                const Box& b = boxes[i];
                if ((o.layers & copper) == 0 || pad.at.x < b.x0 || pad.at.x > b.x1 ||
                    pad.at.y < b.y0 || pad.at.y > b.y1)
                    continue;
                const bool inside = o.shape.points.size() >= 3
                                        ? InsidePolygon(o.shape.points, pad.at)
                                        : SegmentShapeDistance(pad.at, pad.at, o.shape) <= 0;
                if (inside && (o.layers & copper) == copper)
                    ++covering[i];
                if (inside)
                    under |= o.layers & copper;
            }
            pad.underKeepout = copper != 0 && under == copper;
            if (pad.underKeepout)
                covered.push_back("pad " + pad.name + " of net " + out_.nets[pad.net].name);
        }
        constexpr std::size_t kNamed = 3;
        if (covered.size() <= kNamed) {
            for (const std::string& what : covered)
                out_.notes.push_back(what + " lies under a keep-out; it cannot be reached");
            return;
        }
        std::string line = std::to_string(covered.size()) + " of the " + std::to_string(toConnect) +
                           " pads to connect lie under keep-outs (";
        for (std::size_t k = 0; k < kNamed; ++k)
            line += (k > 0 ? ", " : "") + covered[k];
        line += ", ...); they cannot be reached";
        // The keep-out that covers the most of them, with its size: one
        // larger than the board stands out.
        const auto widest = std::max_element(covering.begin(), covering.end());
        if (*widest > 1) {
            const Box& b = boxes[static_cast<std::size_t>(widest - covering.begin())];
            const double mm = std::max(b.x1 - b.x0, b.y1 - b.y0) / (10000.0 / 0.0254);
            char size[64];
            std::snprintf(size, sizeof size, "%.1f", mm);
            line += "; one keep-out, " + std::string(size) + " mm across, covers " +
                    std::to_string(*widest) + " of them";
        }
        out_.notes.push_back(line);
    }

    // A pad to connect with copper on no routing layer (a part on the side
    // of a layer the board does not route) cannot be reached: said in one
    // line, naming the first few.
    void NotePadsOffTheRoutingLayers() {
        std::vector<std::string> off;
        for (const RoutePad& pad : out_.pads) {
            if (pad.net == kNoNet || out_.nets[pad.net].pads.size() < 2)
                continue;
            if (std::all_of(pad.perLayer.begin(), pad.perLayer.end(),
                            [](const Shape& shape) { return shape.points.empty(); }))
                off.push_back(pad.name);
        }
        if (off.empty())
            return;
        std::string line = std::to_string(off.size()) + (off.size() == 1 ? " pad" : " pads") +
                           " to connect " + (off.size() == 1 ? "has" : "have") +
                           " copper on no routing layer (";
        for (std::size_t k = 0; k < off.size() && k < 3; ++k)
            line += (k > 0 ? ", " : "") + off[k];
        line += off.size() > 3 ? ", ...)" : ")";
        out_.notes.push_back(line + "; " + (off.size() == 1 ? "it" : "they") +
                             " cannot be reached");
    }

    template <class F> void Walk(int32_t kind, F&& f) {
        Harrow::WalkObjects(api_, board_, kind, std::forward<F>(f));
    }

    uint32_t AllLayers() const {
        return out_.layers.size() >= 32 ? 0xFFFFFFFFu : (1u << out_.layers.size()) - 1;
    }
    // Router layers of a primitive on engine layer `layer`; keep-out layer
    // and multi-layer mean all of them.
    uint32_t LayersOf(int32_t layer) const {
        if (layer == BoardLayer::Multi || layer == BoardLayer::KeepOut)
            return AllLayers();
        auto it = layerIndex_.find(layer);
        return it == layerIndex_.end() ? 0u : 1u << it->second;
    }
    bool Passed(int32_t layer) const {
        return std::find(passed_.begin(), passed_.end(), layer) != passed_.end();
    }
    double ClearanceOf(int net) const {
        return net == kNoNet ? out_.clearance : out_.nets[net].clearance;
    }
    int NetOf(intptr_t handle) const {
        auto it = netIndex_.find(handle);
        return it == netIndex_.end() ? kNoNet : it->second;
    }

    void ReadLayers() {
        // The stack from the top layer down; signal layers are routed.
        std::vector<int32_t>& stack = stack_;
        int32_t layer = BoardLayer::Top;
        for (int guard = 0; layer != 0 && guard < 90; ++guard) {
            int32_t thickness = 0, used = 0, displayed = 0, previous = 0, next = 0, mech = 0;
            PcbApiDielectric dielectric{};
            text_[0] = '\0';
            if (api_.PcbApi_QueryLayer(1, layer, board_, text_.data(), &thickness, &dielectric,
                                       &used, &displayed, &previous, &next, &mech) != 1)
                break;
            if (layer >= BoardLayer::Top && layer <= BoardLayer::Bottom) {
                RouteLayer routeLayer;
                routeLayer.id = layer;
                routeLayer.name = text_.data();
                layerIndex_[layer] = static_cast<int>(out_.layers.size());
                out_.layers.push_back(routeLayer);
                if (out_.viaLow == 0)
                    out_.viaLow = layer;
                out_.viaHigh = layer;
            }
            if (std::find(stack.begin(), stack.end(), next) != stack.end())
                break;
            stack.push_back(layer);
            layer = next;
        }
        if (out_.layers.size() > 32)
            out_.layers.resize(32);
    }

    void ReadNets() {
        Walk(BoardKind::Net, [this](intptr_t h) {
            int32_t visible = 0, color = 0;
            text_[0] = '\0';
            if (api_.PcbApi_QueryNet(1, h, text_.data(), &visible, &color) != 1)
                return;
            RouteNet net;
            net.name = text_.data();
            net.handle = h;
            netIndex_[h] = static_cast<int>(out_.nets.size());
            out_.nets.push_back(std::move(net));
        });
    }

    // The inner planes of the stack given to a net.
    void ReadPlanes() {
        for (int32_t layer = BoardLayer::FirstPlane; layer <= BoardLayer::LastPlane; ++layer) {
            if (std::find(stack_.begin(), stack_.end(), layer) == stack_.end())
                continue;
            text_[0] = '\0';
            if (api_.PcbApi_QueryInternalPlane(1, layer, board_, text_.data()) != 1)
                continue;
            for (std::size_t n = 0; n < out_.nets.size(); ++n)
                if (text_[0] != '\0' && out_.nets[n].name == text_.data())
                    out_.planes.push_back({layer, static_cast<int>(n)});
        }
    }

    // A scope term's argument: InNet('A') -> A.
    static bool Term(const std::string& expression, const std::string& word, std::string& value) {
        const std::string head = word + "(";
        if (expression.compare(0, head.size(), head) != 0 || expression.back() != ')')
            return false;
        value = expression.substr(head.size(), expression.size() - head.size() - 1);
        if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return true;
    }

    void ReadRules() {
        auto rules = std::make_shared<clearance::Rules>();
        std::map<std::string, std::vector<std::string>> classes; // net class -> nets
        Walk(BoardKind::Class, [&](intptr_t h) {
            int32_t memberKind = 0, super = 0;
            text_[0] = '\0';
            if (api_.PcbApi_QueryClass(1, h, text_.data(), &memberKind, &super) != 1)
                return;
            std::vector<std::string>& members = classes[Upper(text_.data())];
            for (int32_t i = 0; api_.PcbApi_GetMemberFromClassAt(h, i, text2_.data()) == 0; ++i)
                members.push_back(text2_.data());
            if (memberKind == 0)
                rules->AddClass(text_.data(), members);
        });
        // Widths: a net's own rule beats its class's, which beats the board's.
        std::vector<int> widthRank(out_.nets.size(), 99);
        std::vector<int> widthPriority(out_.nets.size(), 1 << 30);
        std::vector<double> widths(out_.nets.size(), 0);
        std::map<std::string, int> netByName;
        for (std::size_t n = 0; n < out_.nets.size(); ++n)
            netByName[out_.nets[n].name] = static_cast<int>(n);
        double viaWidth = 0, viaHole = 0, anyViaWidth = 0, anyViaHole = 0;
        // Per net: rank (0 its own rule, 1 its class's, 2 none), width, hole.
        std::vector<std::tuple<int, double, double>> netVia(out_.nets.size(), {2, 0.0, 0.0});
        // The padstack each via style names ("Via style NAME", maybe prefixed).
        std::string viaPadstack, anyViaPadstack;
        std::vector<std::string> netViaPadstack(out_.nets.size());
        double boardClearance = -1, anyClearance = 0, holeGap = 0;
        bool boardRule = false;
        std::map<int32_t, bool> routed; // engine layer -> routed by the board's rule
        std::vector<double> netClearance(out_.nets.size(), -1);
        Walk(BoardKind::Rule, [&](intptr_t h) {
            int32_t kind = 0, netScope = 0, priority = 0, layerKind = 0;
            text_[0] = text2_[0] = '\0';
            if (api_.PcbApi_QueryRuleEx(1, h, &kind, &netScope, &priority, &layerKind, text_.data(),
                                        text2_.data()) != 0)
                return;
            const std::string scope1 = text_.data(), scope2 = text2_.data();
            if (kind == kClearanceRule) {
                int32_t gap = 0;
                if (api_.PcbApi_QueryRuleClearanceConstraint(1, h, &gap) != 0)
                    return;
                uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {};
                if (api_.PcbApi_QueryRuleExt(1, h, attributes) == 0 && attributes[1] == 0)
                    rules->AddRule(scope1, scope2, gap);
                // The board's rule, a net's or a class's; rules between
                // kinds of object (pins, SMD pads) do not bind tracks.
                std::string name;
                if (scope1 == "All" && scope2 == "All") {
                    boardClearance = std::max(boardClearance, static_cast<double>(gap));
                } else if (Term(scope1, "InNet", name)) {
                    if (auto it = netByName.find(name); it != netByName.end())
                        netClearance[it->second] =
                            std::max(netClearance[it->second], static_cast<double>(gap));
                } else if (Term(scope1, "InNetClass", name)) {
                    for (const std::string& member : classes[Upper(name)])
                        if (auto it = netByName.find(member); it != netByName.end())
                            netClearance[it->second] =
                                std::max(netClearance[it->second], static_cast<double>(gap));
                } else {
                    anyClearance = std::max(anyClearance, static_cast<double>(gap));
                }
            } else if (kind == kHoleToHoleRule) {
                int32_t gap = 0;
                if (api_.PcbApi_QueryRuleHoleToHoleClearance(1, h, &gap) == 0 && gap > 0)
                    holeGap = std::max(holeGap, static_cast<double>(gap));
            } else if (kind == kWidthRule) {
                int32_t maxWidth = 0, minWidth = 0, preferred = 0;
                if (api_.PcbApi_QueryRuleMaxMinWidthConstraintExt(1, h, &maxWidth, &minWidth,
                                                                  &preferred) != 0)
                    return;
                const double width = preferred > 0 ? preferred : std::max(minWidth, 0);
                auto apply = [&](int n, int rank) {
                    if (rank < widthRank[n] ||
                        (rank == widthRank[n] && priority < widthPriority[n])) {
                        widthRank[n] = rank;
                        widthPriority[n] = priority;
                        widths[n] = width;
                    }
                };
                std::string name;
                if (scope1 == "All") {
                    for (std::size_t n = 0; n < widths.size(); ++n)
                        apply(static_cast<int>(n), 2);
                } else if (Term(scope1, "InNet", name)) {
                    if (auto it = netByName.find(name); it != netByName.end())
                        apply(it->second, 0);
                } else if (Term(scope1, "InNetClass", name)) {
                    for (const std::string& member : classes[Upper(name)])
                        if (auto it = netByName.find(member); it != netByName.end())
                            apply(it->second, 1);
                }
            } else if (kind == kViaStyleRule) {
                int32_t minHole = 0, minWidth = 0, maxHole = 0, maxWidth = 0, hole = 0, width = 0;
                if (api_.PcbApi_QueryRuleRoutingViaStyleRuleExt(1, h, &minHole, &minWidth, &maxHole,
                                                                &maxWidth, &hole, &width) != 0)
                    return;
                if (width <= 0)
                    return;
                const std::string padstack = ViaStylePadstack(h);
                // The board's first via style is its via; a net's own rule
                // beats its class's, which beats the board's.
                if (anyViaWidth <= 0) {
                    anyViaWidth = width;
                    anyViaHole = hole;
                    anyViaPadstack = padstack;
                }
                std::string name;
                if (scope1 == "All") {
                    if (viaWidth <= 0) {
                        viaWidth = width;
                        viaHole = hole;
                        viaPadstack = padstack;
                    }
                } else if (Term(scope1, "InNet", name)) {
                    if (auto it = netByName.find(name); it != netByName.end()) {
                        netVia[it->second] = {0, width, hole};
                        netViaPadstack[it->second] = padstack;
                    }
                } else if (Term(scope1, "InNetClass", name)) {
                    for (const std::string& member : classes[Upper(name)])
                        if (auto it = netByName.find(member);
                            it != netByName.end() && std::get<0>(netVia[it->second]) > 0) {
                            netVia[it->second] = {1, width, hole};
                            netViaPadstack[it->second] = padstack;
                        }
                }
            } else if (kind == kRoutingLayersRule) {
                int32_t codes[PCBAPI_ROUTING_LAYER_COUNT] = {};
                if (api_.PcbApi_QueryRuleRoutingLayersRule(1, h, codes) != 0)
                    return;
                bool any = false;
                for (const RouteLayer& layer : out_.layers)
                    any = any || codes[layer.id - 1] != 0;
                std::string name;
                if (scope1 == "All") {
                    boardRule = true;
                    for (RouteLayer& layer : out_.layers) {
                        const int32_t code = codes[layer.id - 1];
                        routed[layer.id] = code != 0;
                        layer.direction = code == 1   ? Direction::Horizontal
                                          : code == 2 ? Direction::Vertical
                                                      : Direction::Any;
                    }
                } else if (!any && Term(scope1, "InNet", name)) {
                    // A net that may use no layer at all (a fixed net).
                    if (auto it = netByName.find(name); it != netByName.end())
                        fixed_.push_back(it->second);
                }
            }
        });
        // The board's rule names the layers to route on; the others (planes
        // the stack puts on a signal layer) stay as they are.
        if (boardRule) {
            std::vector<RouteLayer> kept;
            layerIndex_.clear();
            for (const RouteLayer& layer : out_.layers) {
                if (!routed[layer.id]) {
                    passed_.push_back(layer.id);
                    out_.notes.push_back("layer " + layer.name +
                                         " is not a routing layer; nothing is routed on it");
                    continue;
                }
                layerIndex_[layer.id] = static_cast<int>(kept.size());
                kept.push_back(layer);
            }
            out_.layers = std::move(kept);
        }
        if (holeGap > 0)
            out_.holeGap = holeGap;
        // No board rule: the largest of the others stands for it.
        out_.clearance = boardClearance >= 0 ? boardClearance : anyClearance;
        for (std::size_t n = 0; n < out_.nets.size(); ++n) {
            out_.nets[n].width = widths[n] > 0 ? widths[n] : 100000; // 10 mil
            out_.nets[n].clearance = netClearance[n] >= 0 ? netClearance[n] : out_.clearance;
        }
        // Rules that tell pairs of nets, layers or kinds of copper apart:
        // each pair keeps what the rule check asks of it, and a net's own
        // clearance is the widest it may be asked to keep.
        if (!rules->Uniform()) {
            out_.clearance = rules->Board();
            for (RouteNet& net : out_.nets)
                net.clearance = rules->WidestFor(net.name);
            out_.rules = std::move(rules);
        }
        // No board rule: the first of the others stands for it.
        out_.viaDiameter = viaWidth > 0 ? viaWidth : anyViaWidth;
        out_.viaHole = viaWidth > 0 ? viaHole : anyViaHole;
        out_.viaPadstack = viaWidth > 0 ? viaPadstack : anyViaPadstack;
        for (std::size_t n = 0; n < out_.nets.size(); ++n)
            if (std::get<0>(netVia[n]) < 2) {
                out_.nets[n].viaDiameter = std::get<1>(netVia[n]);
                out_.nets[n].viaHole = std::get<2>(netVia[n]);
                out_.nets[n].viaPadstack = netViaPadstack[n];
            }
    }

    // The padstack a via style rule is named after: "Via style NAME", with
    // or without a prefix before it; empty for a rule named otherwise.
    std::string ViaStylePadstack(intptr_t rule) {
        text_[0] = '\0';
        if (api_.PcbApi_QueryRuleExtEx(1, rule, text_.data()) != 0)
            return {};
        const std::string name = text_.data();
        constexpr std::string_view kMark = "Via style ";
        const std::size_t at = name.find(kMark);
        return at == std::string::npos ? std::string() : name.substr(at + kMark.size());
    }

    void ReadOutline() {
        intptr_t window = 0, outline = 0;
        int32_t isLibrary = 0, ox = 0, oy = 0, cx = 0, cy = 0, unit = 0, layer = 0, drill = 0;
        PcbApiDielectric top{}, bottom{};
        if (api_.PcbApi_QueryBoard(1, board_, &window, text_.data(), &isLibrary, &ox, &oy, &cx, &cy,
                                   &unit, &top, &bottom, &layer, &drill, &outline) != 1)
            return;
        out_.origin = {static_cast<double>(ox), static_cast<double>(oy)};
        if (outline != 0)
            out_.outline = PolygonPoints(outline);
    }

    std::vector<Pt> PolygonPoints(intptr_t h) {
        Common c;
        int32_t points = 0, count = 0, flags[9] = {};
        api_.PcbApi_QueryPolygonEx(1, h, HARROW_COMMON(c), &points, nullptr, &count, 0, &flags[0],
                                   &flags[1], &flags[2], &flags[3], &flags[4], &flags[5], &flags[6],
                                   &flags[7], &flags[8]);
        std::vector<PcbApiPolySegment> segments(static_cast<std::size_t>(std::max(count, 0)));
        if (segments.empty() ||
            api_.PcbApi_QueryPolygonEx(1, h, HARROW_COMMON(c), &points, segments.data(), &count,
                                       static_cast<int32_t>(segments.size()), &flags[0], &flags[1],
                                       &flags[2], &flags[3], &flags[4], &flags[5], &flags[6],
                                       &flags[7], &flags[8]) != 1)
            return {};
        std::vector<Pt> result;
        for (const PcbApiPolySegment& s : segments) {
            if (s.Kind == 1 && s.Radius > 0) { // an arc: a few chords
                double a1 = s.Angle1, a2 = s.Angle2;
                if (a2 < a1)
                    a2 += 360;
                const int steps = std::clamp(static_cast<int>((a2 - a1) / 10), 1, 36);
                for (int k = 0; k <= steps; ++k) {
                    const double t = (a1 + (a2 - a1) * k / steps) * M_PI / 180.0;
                    result.push_back(
                        {s.cx + s.Radius * std::cos(t), s.cy + s.Radius * std::sin(t)});
                }
            } else {
                result.push_back({static_cast<double>(s.vx), static_cast<double>(s.vy)});
            }
        }
        while (result.size() > 1 && std::fabs(result.front().x - result.back().x) < 1 &&
               std::fabs(result.front().y - result.back().y) < 1)
            result.pop_back();
        return result.size() >= 3 ? result : std::vector<Pt>{};
    }

    void ReadComponents() {
        Walk(BoardKind::Component, [this](intptr_t h) {
            Common c;
            int32_t v[12] = {};
            intptr_t nameText = 0, commentText = 0;
            double angle = 0;
            std::vector<std::vector<char>> texts(8, std::vector<char>(PCBAPI_TEXT_CAPACITY));
            if (api_.PcbApi_QueryComponent(
                    1, h, HARROW_COMMON(c), &v[0], &v[1], &nameText, &commentText, texts[0].data(),
                    &v[2], &v[3], &v[4], &angle, &v[5], &v[6], &v[7], &v[8], &v[9], texts[1].data(),
                    texts[2].data(), texts[3].data(), texts[4].data(), texts[5].data(),
                    texts[6].data(), texts[7].data()) != 1)
                return;
            Common t;
            int32_t w[16] = {};
            double textAngle = 0;
            text_[0] = '\0';
            if (nameText != 0)
                api_.PcbApi_QueryText(1, nameText, HARROW_COMMON(t), &w[0], &w[1], &textAngle,
                                      &w[2], text_.data(), &w[3], &w[4], &w[5], &w[6],
                                      text2_.data(), &w[7], &w[8], &w[9], &w[10], &w[11], &w[12],
                                      &w[13], &w[14], &w[15], &w[0]);
            designators_[h] = text_.data();
        });
    }

    // The copper of pad `h` on engine layer `layer`: its pieces (the first is
    // where routes land) and that one's sure core. A pad the engine keeps a
    // true outline for has that copper.
    struct PadCopper {
        std::vector<Shape> pieces;
        Shape core;
        bool outlined = false;
    };
    PadCopper PadCopperOn(intptr_t h, int32_t mode, int32_t layer, const Common& c, double angle) {
        PadCopper out;
        const std::vector<Harrow::PadOutlinePiece> outline =
            Harrow::PadOutlineOnLayer(api_, h, layer);
        if (!outline.empty()) {
            for (const Harrow::PadOutlinePiece& piece : outline) {
                Shape shape;
                shape.radius = piece.radius;
                for (std::size_t k = 0; k + 1 < piece.xy.size(); k += 2)
                    shape.points.push_back({piece.xy[k], piece.xy[k + 1]});
                if (!shape.points.empty())
                    out.pieces.push_back(std::move(shape));
            }
            if (!out.pieces.empty())
                out.core = out.pieces.front();
            out.outlined = true;
            return out;
        }
        const int32_t entry = PcbApiPadEntryLayer(mode, layer);
        int32_t shape = 0, xs = 0, ys = 0, corner = 0;
        api_.PcbApi_QueryPadOrViaShapeOnLayer(h, entry, &shape);
        api_.PcbApi_QueryPadOrViaSizeOnLayer(h, entry, &xs, &ys);
        api_.PcbApi_QueryPadCRPercentageOnLayer(h, entry, &corner);
        if (shape == 0 || xs == 0 || ys == 0)
            return out;
        out.pieces.push_back(PadShape(shape, c.x1, c.y1, xs, ys, angle, corner));
        out.core = PadCore(shape, c.x1, c.y1, xs, ys, angle, corner);
        return out;
    }

    void ReadPads() {
        Walk(BoardKind::Pad, [this](intptr_t h) {
            Common c;
            int32_t sizes[6] = {}, hole = 0, shapes[3] = {}, daisy = 0, plated = 0, owner = 0,
                    drillType = 0, holeType = 0, holeWidth = 0, offX = 0, offY = 0, jumper = 0,
                    testTop = 0, testBottom = 0;
            double angle = 0, holeRotation = 0;
            std::vector<char> b(PCBAPI_TEXT_CAPACITY), d(PCBAPI_TEXT_CAPACITY);
            text_[0] = '\0';
            if (api_.PcbApi_QueryPad(1, h, HARROW_COMMON(c), &sizes[0], &sizes[1], &sizes[2],
                                     &sizes[3], &sizes[4], &sizes[5], &hole, &shapes[0], &shapes[1],
                                     &shapes[2], text_.data(), &daisy, &plated, &angle, b.data(),
                                     text2_.data(), &owner, d.data(), &drillType, &holeType,
                                     &holeWidth, &holeRotation, &offX, &offY, &jumper, &testTop,
                                     &testBottom) != 1)
                return;
            int32_t mode = 0;
            api_.PcbApi_QueryPadStackMode(1, h, &mode);
            RoutePad pad;
            pad.at = {static_cast<double>(c.x1), static_cast<double>(c.y1)};
            pad.drilled = c.layer == BoardLayer::Multi && hole > 0;
            pad.net = NetOf(c.net);
            pad.angle = angle;
            auto designator = designators_.find(c.component);
            pad.name = (designator != designators_.end() ? designator->second : std::string("?")) +
                       "-" + text_.data();
            pad.perLayer.resize(out_.layers.size());
            pad.core.resize(out_.layers.size());
            const uint32_t on = LayersOf(c.layer);
            auto addObstacle = [&](const Shape& shape, uint32_t layers, bool viaOnly) {
                Obstacle o;
                o.shape = shape;
                o.net = pad.net;
                o.clearance = ClearanceOf(pad.net);
                o.layers = layers;
                o.viaOnly = viaOnly;
                o.kind = kPadKind;
                o.smd = c.layer != BoardLayer::Multi;
                o.holeSize = c.layer == BoardLayer::Multi ? hole : 0;
                out_.obstacles.push_back(std::move(o));
            };
            for (std::size_t l = 0; l < out_.layers.size(); ++l) {
                if ((on >> l & 1u) == 0)
                    continue;
                const PadCopper copper = PadCopperOn(h, mode, out_.layers[l].id, c, angle);
                if (copper.pieces.empty())
                    continue;
                pad.perLayer[l] = copper.pieces.front();
                pad.core[l] = copper.core;
                // Routes end at the pad's centre: on its copper.
                if (copper.outlined)
                    pad.at = PointOnShape(copper.pieces.front(), pad.at);
                for (const Shape& shape : copper.pieces)
                    addObstacle(shape, 1u << l, false);
            }
            // A pad on a layer that is not routed: vias pass it by.
            if (Passed(c.layer))
                for (const Shape& shape : PadCopperOn(h, mode, c.layer, c, angle).pieces)
                    addObstacle(shape, AllLayers(), true);
            if (c.layer == BoardLayer::Multi && hole > 0) {
                // The drill keeps its clearance on every layer, plated or not.
                Obstacle o;
                // The drill stays at the pad's centre, wherever routes land.
                const Pt centre{static_cast<double>(c.x1), static_cast<double>(c.y1)};
                o.shape.points = {centre};
                o.shape.radius = std::fabs(static_cast<double>(hole)) / 2;
                if (holeType == 2 && holeWidth > hole) {
                    const double half = (holeWidth - std::fabs(static_cast<double>(hole))) / 2;
                    const double t = (angle + holeRotation) * M_PI / 180.0;
                    o.shape.points = {
                        {centre.x - half * std::cos(t), centre.y - half * std::sin(t)},
                        {centre.x + half * std::cos(t), centre.y + half * std::sin(t)}};
                }
                o.net = plated != 0 ? pad.net : kNoNet;
                o.clearance = ClearanceOf(o.net);
                o.layers = AllLayers();
                o.hole = true;
                o.kind = kPadKind;
                o.holeSize = hole;
                o.drill = o.shape.radius;
                out_.obstacles.push_back(std::move(o));
            }
            const int index = static_cast<int>(out_.pads.size());
            if (pad.net != kNoNet)
                out_.nets[pad.net].pads.push_back(index);
            out_.pads.push_back(std::move(pad));
        });
    }

    void AddCopper(Shape shape, const Common& c, int32_t kind) {
        Obstacle o;
        o.kind = kind;
        o.shape = std::move(shape);
        const bool keepout =
            (c.bitField & PCBAPI_BITFIELD_KEEPOUT) != 0 || c.layer == BoardLayer::KeepOut;
        o.net = keepout ? kNoNet : NetOf(c.net);
        o.clearance = ClearanceOf(o.net);
        o.layers = LayersOf(c.layer);
        if (o.layers == 0 && Passed(c.layer)) {
            o.layers = AllLayers();
            o.viaOnly = true;
        }
        if (o.layers == 0 || o.shape.points.empty())
            return;
        if (keepout)
            keepouts_.push_back(out_.obstacles.size());
        out_.obstacles.push_back(std::move(o));
    }

    void ReadTracks() {
        Walk(BoardKind::Track, [this](intptr_t h) {
            Common c;
            int32_t x2 = 0, y2 = 0, width = 0;
            intptr_t polygon = 0, coordinate = 0, dimension = 0;
            if (api_.PcbApi_QueryTrack(1, h, HARROW_COMMON(c), &x2, &y2, &width, &polygon,
                                       &coordinate, &dimension) != 1)
                return;
            Shape shape;
            shape.points = {{static_cast<double>(c.x1), static_cast<double>(c.y1)},
                            {static_cast<double>(x2), static_cast<double>(y2)}};
            shape.radius = std::fabs(static_cast<double>(width)) / 2;
            if ((c.bitField & PCBAPI_BITFIELD_KEEPOUT) != 0)
                keepoutEdges_.push_back({shape, c});
            AddCopper(std::move(shape), c, kTrackKind);
        });
        FillKeepOutLoops();
    }

    // A keep-out drawn as an outline of tracks (a rectangle, a path) keeps
    // its whole inside clear: every closed loop of keep-out tracks on one
    // layer becomes a filled keep-out.
    void FillKeepOutLoops() {
        using Key = std::tuple<int32_t, int64_t, int64_t>; // layer, x, y
        auto key = [](int32_t layer, const Pt& p) {
            return Key{layer, std::llround(p.x), std::llround(p.y)};
        };
        std::map<Key, std::vector<std::size_t>> ends;
        for (std::size_t i = 0; i < keepoutEdges_.size(); ++i)
            for (const Pt& p : keepoutEdges_[i].first.points)
                ends[key(keepoutEdges_[i].second.layer, p)].push_back(i);
        std::vector<bool> used(keepoutEdges_.size(), false);
        for (std::size_t start = 0; start < keepoutEdges_.size(); ++start) {
            if (used[start])
                continue;
            const int32_t layer = keepoutEdges_[start].second.layer;
            std::vector<Pt> loop = {keepoutEdges_[start].first.points[0]};
            std::size_t edge = start;
            Pt at = keepoutEdges_[start].first.points[1];
            used[start] = true;
            bool closed = false;
            for (std::size_t guard = 0; guard < keepoutEdges_.size(); ++guard) {
                if (key(layer, at) == key(layer, loop.front())) {
                    closed = true;
                    break;
                }
                loop.push_back(at);
                const std::vector<std::size_t>& next = ends[key(layer, at)];
                if (next.size() != 2) // a branch or a loose end: no simple loop
                    break;
                edge = next[0] == edge ? next[1] : next[0];
                if (used[edge])
                    break;
                used[edge] = true;
                const auto& points = keepoutEdges_[edge].first.points;
                at = key(layer, points[0]) == key(layer, at) ? points[1] : points[0];
            }
            if (closed && loop.size() >= 3) {
                Shape shape;
                shape.points = std::move(loop);
                AddCopper(std::move(shape), keepoutEdges_[start].second, kTrackKind);
            }
        }
        keepoutEdges_.clear();
    }

    void ReadArcs() {
        Walk(BoardKind::Arc, [this](intptr_t h) {
            Common c;
            int32_t radius = 0, width = 0;
            double a1 = 0, a2 = 0;
            intptr_t polygon = 0;
            if (api_.PcbApi_QueryArc(1, h, HARROW_COMMON(c), &radius, &a1, &a2, &width, &polygon) !=
                1)
                return;
            if (a2 <= a1)
                a2 += 360;
            if ((c.bitField & PCBAPI_BITFIELD_KEEPOUT) != 0 && a2 - a1 >= 359.999) {
                // A keep-out circle keeps its whole disc clear.
                Shape disc;
                disc.points = {{static_cast<double>(c.x1), static_cast<double>(c.y1)}};
                disc.radius = radius + std::fabs(static_cast<double>(width)) / 2;
                AddCopper(std::move(disc), c, kArcKind);
                return;
            }
            const int steps = std::clamp(static_cast<int>((a2 - a1) / 10), 1, 36);
            // Chords grown by the sagitta stay around the true arc.
            const double sagitta = radius * (1 - std::cos((a2 - a1) / steps / 2 * M_PI / 180.0));
            for (int k = 0; k < steps; ++k) {
                const double t0 = (a1 + (a2 - a1) * k / steps) * M_PI / 180.0;
                const double t1 = (a1 + (a2 - a1) * (k + 1) / steps) * M_PI / 180.0;
                Shape shape;
                shape.points = {{c.x1 + radius * std::cos(t0), c.y1 + radius * std::sin(t0)},
                                {c.x1 + radius * std::cos(t1), c.y1 + radius * std::sin(t1)}};
                shape.radius = std::fabs(static_cast<double>(width)) / 2 + sagitta;
                AddCopper(std::move(shape), c, kArcKind);
            }
        });
    }

    void ReadVias() {
        Walk(BoardKind::Via, [this](intptr_t h) {
            Common c;
            int32_t size = 0, hole = 0, low = 0, high = 0, t1 = 0, t2 = 0;
            if (api_.PcbApi_QueryVia(1, h, HARROW_COMMON(c), &size, &hole, &low, &high, &t1, &t2) !=
                1)
                return;
            Obstacle o;
            o.shape.points = {{static_cast<double>(c.x1), static_cast<double>(c.y1)}};
            o.shape.radius = std::max(std::fabs(static_cast<double>(size)),
                                      std::fabs(static_cast<double>(hole))) /
                             2;
            o.net = NetOf(c.net);
            o.clearance = ClearanceOf(o.net);
            o.layers = AllLayers();
            o.kind = kViaKind;
            o.holeSize = hole;
            o.drill = std::fabs(static_cast<double>(hole)) / 2;
            out_.obstacles.push_back(std::move(o));
        });
    }

    void ReadFills() {
        Walk(BoardKind::Fill, [this](intptr_t h) {
            Harrow::TFillShape fill;
            if (!Harrow::QueryFillShape(api_, h, fill))
                return;
            Shape shape = PadShape(2, fill.CentreX(), fill.CentreY(), fill.SizeX(), fill.SizeY(),
                                   fill.angle, 0);
            AddCopper(std::move(shape), fill.common, kFillKind);
        });
    }

    void ReadRegions() {
        Walk(BoardKind::Region, [this](intptr_t h) {
            Harrow::TRegionShape region;
            if (!Harrow::QueryRegionShape(api_, h, region) || region.contour.size() < 3)
                return;
            const Common& c = region.common;
            const auto& contour = region.contour;
            const PcbApiLayerSet& set = region.layers;
            Shape shape;
            for (const PcbApiPoint& p : contour)
                shape.points.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
            // Holes in a region are ignored: the whole contour is kept clear.
            Common onLayer = c;
            bool any = false;
            for (int32_t layer = 1; layer < 128; ++layer)
                if (set.Bits[layer / 64] >> (layer % 64) & 1) {
                    onLayer.layer = layer;
                    AddCopper(shape, onLayer, kRegionKind);
                    any = true;
                }
            if (!any || LayersOf(c.layer) != 0)
                AddCopper(std::move(shape), c, kRegionKind);
        });
    }

    void ReadPolygons() {
        Walk(BoardKind::Polygon, [this](intptr_t h) {
            Common c;
            int32_t points = 0, count = 0, flags[9] = {};
            if (api_.PcbApi_QueryPolygonEx(1, h, HARROW_COMMON(c), &points, nullptr, &count, 0,
                                           &flags[0], &flags[1], &flags[2], &flags[3], &flags[4],
                                           &flags[5], &flags[6], &flags[7], &flags[8]) != 1)
                return;
            // A poured polygon gives way to the copper of other nets (it is
            // poured again around the routes), so only keep-outs bind.
            if ((c.bitField & PCBAPI_BITFIELD_KEEPOUT) == 0 && c.layer != BoardLayer::KeepOut)
                return;
            Shape shape;
            shape.points = PolygonPoints(h);
            if (shape.points.size() >= 3)
                AddCopper(std::move(shape), c, kPolygonKind);
        });
    }
};

} // namespace

RouteBoard ReadRouteBoard(const Harrow::PcbApiTable& api, intptr_t board) {
    if (board == 0)
        throw std::runtime_error("no board to route");
    return Reader(api, board).Read();
}

namespace {

// What the area chosen says about the board: pads to connect that lie
// outside it, and a clearance to the edge that leaves no room inside it.
void NoteAreaProblems(RouteBoard& board) {
    if (board.outline.size() < 3)
        return;
    Box box;
    for (const Pt& p : board.outline)
        box.Add(p.x, p.y);
    const double room = std::min(box.x1 - box.x0, box.y1 - box.y0);
    if (2 * board.clearance >= room)
        board.notes.push_back("the clearance to the board edge (" +
                              std::to_string(std::lround(board.clearance / 10000)) +
                              " mil) leaves no room on the board");
    for (const RoutePad& pad : board.pads)
        if (pad.net != kNoNet && board.nets[pad.net].pads.size() > 1 &&
            !InsidePolygon(board.outline, pad.at))
            board.notes.push_back("pad " + pad.name + " of net " + board.nets[pad.net].name +
                                  " lies outside the board; it cannot be reached");
}

std::string ChooseWorkingArea(RouteBoard& board, const std::vector<Pt>& designBoundary) {
    if (designBoundary.size() >= 3) {
        std::size_t inside = 0;
        for (const RoutePad& pad : board.pads)
            inside += InsidePolygon(designBoundary, pad.at) ? 1 : 0;
        if (inside * 2 >= board.pads.size()) {
            board.outline = designBoundary;
            return "routing inside the design's boundary";
        }
        if (board.outline.size() >= 3)
            return "the design's boundary does not hold the board's pads; routing inside the "
                   "board outline";
        return "the design's boundary does not hold the board's pads, and the board has no "
               "outline; routing stays near the pads";
    }
    if (board.outline.size() >= 3)
        return "routing inside the board outline";
    return "the board has no outline; routing stays near the pads";
}

} // namespace

std::string SetWorkingArea(RouteBoard& board, const std::vector<Pt>& designBoundary) {
    std::string line = ChooseWorkingArea(board, designBoundary);
    NoteAreaProblems(board);
    return line;
}

int WriteRoutes(const Harrow::PcbApiTable& api, intptr_t board, const RouteBoard& route,
                const std::vector<RouteTrack>& tracks, const std::vector<RouteVia>& vias) {
    int added = 0;
    auto whole = [](double v) { return static_cast<int32_t>(std::nearbyint(v)); };
    for (const RouteTrack& t : tracks) {
        const intptr_t h = api.PcbApi_CreateObject(BoardKind::Track);
        if (h == 0)
            continue;
        Common c;
        int32_t x2 = whole(t.b.x), y2 = whole(t.b.y), width = whole(t.width);
        intptr_t polygon = 0, coordinate = 0, dimension = 0;
        c.x1 = whole(t.a.x);
        c.y1 = whole(t.a.y);
        c.layer = route.layers[t.layer].id;
        c.net = route.nets[t.net].handle;
        c.moveable = 1;
        if (api.PcbApi_QueryTrack(0, h, HARROW_COMMON(c), &x2, &y2, &width, &polygon, &coordinate,
                                  &dimension) == 1 &&
            api.PcbApi_AddObjectToContainer(board, h) == 0)
            ++added;
        else
            api.PcbApi_DestroyObject(h);
    }
    for (const RouteVia& v : vias) {
        const intptr_t h = api.PcbApi_CreateObject(BoardKind::Via);
        if (h == 0)
            continue;
        Common c;
        c.x1 = whole(v.at.x);
        c.y1 = whole(v.at.y);
        c.layer = BoardLayer::Multi;
        c.net = route.nets[v.net].handle;
        c.moveable = 1;
        int32_t size = whole(route.ViaDiameterOf(v.net)), hole = whole(route.ViaHoleOf(v.net)),
                low = route.viaLow != 0 ? route.viaLow : route.layers.front().id,
                high = route.viaHigh != 0 ? route.viaHigh : route.layers.back().id, t1 = 0, t2 = 0;
        if (api.PcbApi_QueryVia(0, h, HARROW_COMMON(c), &size, &hole, &low, &high, &t1, &t2) == 1 &&
            api.PcbApi_AddObjectToContainer(board, h) == 0)
            ++added;
        else
            api.PcbApi_DestroyObject(h);
    }
    return added;
}

} // namespace Router
