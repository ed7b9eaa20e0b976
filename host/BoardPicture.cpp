#include "host/BoardPicture.h"

#include "host/BoardObjects.h"
#include "host/sdk/JsonText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <system_error>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace Harrow {

void AppendXmlText(std::string& out, std::string_view text) {
    auto appendCode = [&out](uint32_t code) {
        char buffer[4];
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            buffer[0] = static_cast<char>(0xC0 | (code >> 6));
            buffer[1] = static_cast<char>(0x80 | (code & 0x3F));
            out.append(buffer, 2);
        } else {
            buffer[0] = static_cast<char>(0xE0 | (code >> 12));
            buffer[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            buffer[2] = static_cast<char>(0x80 | (code & 0x3F));
            out.append(buffer, 3);
        }
    };
    for (std::size_t at = 0; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            if (std::size_t length = HostSdk::Utf8SequenceLength(text, at)) {
                uint32_t code = c & (0xFF >> (length + 1));
                for (std::size_t i = 1; i < length; ++i)
                    code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
                const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
                const bool xmlChar = code >= least && code <= 0x10FFFF &&
                                     !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE &&
                                     code != 0xFFFF;
                if (xmlChar) {
                    out.append(text.substr(at, length));
                    at += length - 1;
                    continue;
                }
            }
            appendCode(c); // a stray byte: the character of that code
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                appendCode(0xFFFD);
            else
                out += static_cast<char>(c);
        }
    }
}

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsSignal(int32_t layer) {
    return layer >= BoardLayer::Top && layer <= BoardLayer::Bottom;
}
bool IsPlane(int32_t layer) {
    return layer >= BoardLayer::FirstPlane && layer <= BoardLayer::LastPlane;
}

double Finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}

// ---- numbers and text into the drawing ----

// A plain whole number (layer ids, pixels).
void Int(std::string& out, int64_t v) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    out.append(buffer, end);
}
// Whole numbers parted by `separator`.
template <typename Values> void Ints(std::string& out, const Values& values, char separator) {
    bool first = true;
    for (const auto v : values) {
        if (!first)
            out += separator;
        Int(out, static_cast<int64_t>(v));
        first = false;
    }
}
// A board position or length, given in host units, written in mil: exact to
// the host unit (up to four decimals), trailing zeros dropped. Browsers keep
// coordinates in single precision and give up on shapes far beyond a few
// million units, so host units themselves cannot go into the drawing.
void Num(std::string& out, int64_t v) {
    char buffer[32];
    char* at = buffer;
    uint64_t magnitude = static_cast<uint64_t>(v);
    if (v < 0) {
        *at++ = '-';
        magnitude = 0 - magnitude;
    }
    at = std::to_chars(at, buffer + sizeof buffer, magnitude / 10000).ptr;
    if (uint32_t fraction = static_cast<uint32_t>(magnitude % 10000)) {
        *at++ = '.';
        for (uint32_t unit = 1000; fraction != 0; unit /= 10) {
            *at++ = static_cast<char>('0' + fraction / unit);
            fraction %= unit;
        }
    }
    out.append(buffer, at);
}
// A derived position or length, to the nearest host unit.
void Num(std::string& out, double v) {
    v = Finite(v);
    v = std::clamp(v, -9.0e15, 9.0e15);
    Num(out, static_cast<int64_t>(std::llround(v)));
}
// An angle or scale, as short as it reads back exactly.
void Real(std::string& out, double v) {
    char buffer[32];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, Finite(v)).ptr;
    out.append(buffer, end);
}
// "x y" (or with another character between).
void NumPair(std::string& out, double x, double y, char between = ' ') {
    Num(out, x);
    out += between;
    Num(out, y);
}

void Attr(std::string& out, const char* name, double v) {
    out += ' ';
    out += name;
    out += "=\"";
    Num(out, v);
    out += '"';
}
void AttrText(std::string& out, const char* name, std::string_view text) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendXmlText(out, text);
    out += '"';
}
void Title(std::string& out, std::string_view text) {
    out += "<title>";
    AppendXmlText(out, text);
    out += "</title>";
}

// The drawing's own style: classes of shapes, painted in their layer's colour.
const char* const kPictureCss = "svg{background:#101418}"
                                ".bg{fill:#101418}#body{fill:#1d3326}"
                                "#outline{fill:none;stroke:#e8e8e8;stroke-width:2}"
                                ".h{vector-effect:non-scaling-stroke;stroke-width:1.5px}"
                                ".layer{stroke-width:0}"
                                ".t{fill:none;stroke-linecap:round;stroke-linejoin:round}"
                                ".s{stroke-linecap:round;stroke:#101418}"
                                ".pg,.r{fill-opacity:.35;stroke-width:0}"
                                ".sp{fill-opacity:.25}"
                                ".r.ko,.f.ko{fill-opacity:.2;stroke-dasharray:4 3;"
                                "vector-effect:non-scaling-stroke;stroke-width:1px}"
                                ".t.ko{stroke-opacity:.5}"
                                ".x{stroke:none;font:100px sans-serif}"
                                "#holes{fill:#101418;stroke:none}"
                                ".co{stroke-dasharray:6 4;vector-effect:non-scaling-stroke;"
                                "stroke-width:1px;fill:none}"
                                ".o,.p1{stroke:none;fill-opacity:.8}";

// ---- extents ----

struct Box {
    double minX = std::numeric_limits<double>::infinity(), minY = minX,
           maxX = -std::numeric_limits<double>::infinity(), maxY = maxX;
    bool Empty() const { return !(minX <= maxX); }
    void Add(double x, double y, double grow = 0.0) {
        grow = std::fabs(Finite(grow));
        minX = std::min(minX, x - grow);
        maxX = std::max(maxX, x + grow);
        minY = std::min(minY, y - grow);
        maxY = std::max(maxY, y + grow);
    }
    void Add(const Box& b) {
        if (b.Empty())
            return;
        Add(b.minX, b.minY);
        Add(b.maxX, b.maxY);
    }
};

// ---- layers ----

struct LayerStyle {
    const char* kind;
    const char* color;
};

LayerStyle StyleOf(int32_t layer, int stackSignalIndex) {
    static const char* const mids[] = {"#c9a227", "#2aa889", "#a45fd6", "#d6782a",
                                       "#6fbf4a", "#d65f9e", "#4ab0d6", "#b0b040"};
    static const char* const planes[] = {"#3fae5a", "#8fae3f", "#3fae9a", "#6a9a3f"};
    if (layer == BoardLayer::Top)
        return {"signal", "#e03c3c"};
    if (layer == BoardLayer::Bottom)
        return {"signal", "#3c78e0"};
    if (IsSignal(layer))
        return {"signal", mids[std::max(stackSignalIndex, 0) % 8]};
    if (IsPlane(layer))
        return {"plane", planes[(layer - BoardLayer::FirstPlane) % 4]};
    switch (layer) {
    case 33:
        return {"overlay", "#f2e24a"};
    case 34:
        return {"overlay", "#c8b070"};
    case 35:
    case 36:
        return {"paste", "#909090"};
    case 37:
    case 38:
        return {"solder", "#9a5a9a"};
    case 56:
        return {"keepout", "#ff40ff"};
    case BoardLayer::Multi:
        return {"multi", "#b4b4b4"};
    default:
        if (layer >= 57 && layer <= 72)
            return {"mechanical", "#b88ae0"};
        return {"other", "#a08060"};
    }
}

// One net's shapes on one layer, in the order drawn.
struct LayerDrawing {
    std::vector<int32_t> netOrder; // net indexes in first-drawn order (0: no net)
    std::unordered_map<int32_t, std::string> byNet;
    std::string& For(int32_t net) {
        auto [it, added] = byNet.try_emplace(net);
        if (added)
            netOrder.push_back(net);
        return it->second;
    }
};

struct ComponentInfo {
    int32_t x = 0, y = 0;
    double angle = 0.0;
    bool bottom = false;
    std::string designator, pattern;
    intptr_t nameText = 0, commentText = 0;
    bool nameOn = true, commentOn = false, nameDrawn = false;
    // Extent of its pads and outline in its own turned frame.
    Box local;
    bool pinOne = false;
    int32_t pinX = 0, pinY = 0;
    std::string firstPadName;
    // Its pads and its lines of no net per layer, in its own frame (board
    // minus its position, turned back by its angle): drawn once per distinct
    // image and placed with a transform.
    std::map<int32_t, std::string> own;
    std::vector<int32_t> padNets; // net index of each pad, in the order drawn

    // A board point in its own frame.
    std::pair<double, double> Local(double px, double py) const {
        const double r = -angle * kPi / 180.0;
        const double dx = px - x, dy = py - y;
        return {dx * std::cos(r) - dy * std::sin(r), dx * std::sin(r) + dy * std::cos(r)};
    }
};

class Picture {
public:
    Picture(const PcbApiTable& api, intptr_t board)
        : api_(api), board_(board), textA_(PCBAPI_TEXT_CAPACITY), textB_(PCBAPI_TEXT_CAPACITY),
          textC_(PCBAPI_TEXT_CAPACITY), textD_(PCBAPI_TEXT_CAPACITY), textE_(PCBAPI_TEXT_CAPACITY),
          textF_(PCBAPI_TEXT_CAPACITY), textG_(PCBAPI_TEXT_CAPACITY), textH_(PCBAPI_TEXT_CAPACITY) {
    }

    std::string Svg(const std::string& title, bool inlineSvg, PictureCounts* counts);
    // Reads the board and draws it.
    void Draw();
    // The SVG of what Draw() drew.
    std::string Markup(const std::string& title, bool inlineSvg, PictureCounts* counts);
    // The page data of what Draw() drew: a large board's page draws it.
    std::string Data(PictureCounts* counts);
    long Elements() const { return elements_; }
    // The layer stack, top to bottom.
    const std::vector<int32_t>& Stack() {
        if (stack_.empty())
            ReadLayers();
        return stack_;
    }

private:
    using Common = TObjectCommon;

    template <typename F> void Walk(int32_t kind, F each) { WalkObjects(api_, board_, kind, each); }

    void ReadLayers();
    void ReadNets();
    void ReadComponents();
    void DrawTracks();
    void DrawArcs();
    void DrawFills();
    void DrawVias();
    void DrawPads();
    void DrawRegions();
    void DrawPolygons(int32_t kind);
    void DrawOutline();
    void DrawTexts();
    std::string ComponentGroups();
    void MarkMarkup(ComponentInfo& info, std::string& markup);
    std::vector<int32_t> PaintOrder() const;
    Box View() const;
    LayerStyle StyleOfLayer(int32_t layer) const;
    int32_t PlaneNet(int32_t layer);
    const std::string& LayerName(int32_t layer) const {
        static const std::string none = "No Layer";
        return layer == 0 ? none : layerNames_[layer];
    }

    int32_t NetIndex(intptr_t net) const {
        auto it = netIndex_.find(net);
        return it == netIndex_.end() ? 0 : it->second;
    }
    std::string& Out(int32_t layer, intptr_t net) {
        if (layer < 0 || layer >= BoardLayer::Count)
            layer = 0;
        used_[layer] = true;
        ++elements_;
        return layers_[layer].For(NetIndex(net));
    }
    ComponentInfo* ComponentOf(intptr_t handle) {
        auto it = components_.find(handle);
        return it == components_.end() ? nullptr : &it->second;
    }
    // Where a component's own shape on `layer` goes.
    std::string& Own(ComponentInfo& component, int32_t layer) {
        if (layer < 0 || layer >= BoardLayer::Count)
            layer = 0;
        used_[layer] = true;
        ++elements_;
        return component.own[layer];
    }
    // Widens a component's extent by a board point.
    void AddToComponent(intptr_t component, double x, double y, double grow);
    // The path of a polygon's segments; "" when it has none.
    std::string SegmentPath(const std::vector<PcbApiPolySegment>& segments, Box& box) const;
    std::vector<PcbApiPolySegment> Segments(intptr_t h, int32_t kind, Common& c);

    const PcbApiTable& api_;
    intptr_t board_;
    std::vector<char> textA_, textB_, textC_, textD_, textE_, textF_, textG_, textH_;

    std::vector<int32_t> stack_; // layer ids, top to bottom
    std::array<std::string, BoardLayer::Count> layerNames_;
    std::array<bool, BoardLayer::Count> used_{};
    std::array<LayerDrawing, BoardLayer::Count> layers_;
    std::vector<std::string> netNames_{""};
    std::unordered_map<intptr_t, int32_t> netIndex_;
    std::unordered_map<intptr_t, ComponentInfo> components_;
    std::vector<intptr_t> componentOrder_;
    std::string holes_, outline_, body_;
    // Round holes of one diameter: one path of a dot per hole (zero-length
    // lines with round ends), in the order their diameters first came.
    std::vector<std::pair<int64_t, std::string>> roundHoles_;
    std::unordered_map<int64_t, std::size_t> holeDiameters_;
    void Hole(int32_t x, int32_t y, double diameter) {
        const int64_t d = std::llround(std::min(Finite(diameter), 9.0e15));
        auto [it, added] = holeDiameters_.try_emplace(d, roundHoles_.size());
        if (added)
            roundHoles_.emplace_back(d, std::string());
        std::string& path = roundHoles_[it->second].second;
        path += 'M';
        Num(path, int64_t{x});
        path += ' ';
        Num(path, int64_t{y});
        path += "h0";
    }
    // Shapes centred on the origin, each made once: pads, vias and holes of
    // one shape, size and turn share one and are drawn as <use> of it.
    std::string defs_, shape_;
    std::unordered_map<std::string, int32_t> shapeIds_;
    // Component images (own shapes on one layer) and component marks, each
    // defined once: their ids by their markup.
    std::unordered_map<std::string, int32_t> imageIds_, markIds_;
    // Appends the <use> of the definition of `markup` ("f" images, "m"
    // marks) without its end.
    void UseDefinition(std::string& out, std::unordered_map<std::string, int32_t>& ids,
                       const char* prefix, const std::string& open, const std::string& markup);
    // Draws the shape in `shape_` (markup of one element, not closed) at
    // (x, y) into `out`, as a <use> of its one definition; the caller closes
    // the element with "/>" or a title and "</use>".
    void UseShape(std::string& out, double x, double y);
    Box extent_;
    long elements_ = 0;
};

void Picture::ReadLayers() {
    std::array<int32_t, BoardLayer::Count> next{}, previous{};
    for (int32_t layer = 1; layer < BoardLayer::Count; ++layer) {
        int32_t thickness = 0, used = 0, displayed = 0, mechanical = 0;
        PcbApiDielectric dielectric{};
        textA_[0] = '\0';
        if (api_.PcbApi_QueryLayer(1, layer, board_, textA_.data(), &thickness, &dielectric, &used,
                                   &displayed, &previous[layer], &next[layer], &mechanical) == 1)
            layerNames_[layer] = textA_.data();
        if (layerNames_[layer].empty())
            layerNames_[layer] = "Layer " + std::to_string(layer);
    }
    // The stack starts at the layer that has a next and no previous one.
    for (int32_t layer = 1; layer < BoardLayer::Count && stack_.empty(); ++layer) {
        if (previous[layer] != 0 || next[layer] == 0)
            continue;
        for (int32_t at = layer;
             at > 0 && at < BoardLayer::Count && stack_.size() < BoardLayer::Count; at = next[at])
            stack_.push_back(at);
    }
    if (stack_.empty())
        stack_.push_back(BoardLayer::Top);
    for (int32_t layer : stack_)
        used_[layer] = true;
}

void Picture::ReadNets() {
    Walk(BoardKind::Net, [this](intptr_t h) {
        int32_t visible = 0, color = 0;
        textA_[0] = '\0';
        if (api_.PcbApi_QueryNet(1, h, textA_.data(), &visible, &color) != 1)
            return;
        netIndex_[h] = static_cast<int32_t>(netNames_.size());
        netNames_.emplace_back(textA_.data());
    });
}

void Picture::ReadComponents() {
    Walk(BoardKind::Component, [this](intptr_t h) {
        Common c;
        int32_t channel = 0, kind = 0, nameOn = 0, commentOn = 0, group = 0, lock = 0, height = 0,
                nameAuto = 0, commentAuto = 0, unionIndex = 0;
        intptr_t nameText = 0, commentText = 0;
        double angle = 0.0;
        char* t = textA_.data();
        t[0] = textB_[0] = textC_[0] = textD_[0] = textE_[0] = textF_[0] = textG_[0] = textH_[0] =
            '\0';
        if (api_.PcbApi_QueryComponent(1, h, HARROW_COMMON(c), &channel, &kind, &nameText,
                                       &commentText, t, &nameOn, &commentOn, &group, &angle, &lock,
                                       &height, &nameAuto, &commentAuto, &unionIndex, textB_.data(),
                                       textC_.data(), textD_.data(), textE_.data(), textF_.data(),
                                       textG_.data(), textH_.data()) != 1)
            return;
        ComponentInfo info;
        info.x = c.x1;
        info.y = c.y1;
        info.angle = Finite(angle);
        info.bottom = c.layer == BoardLayer::Bottom;
        info.pattern = textA_.data();
        info.designator = textB_.data(); // source designator, unless the name text says
        info.nameText = nameText;
        info.commentText = commentText;
        info.nameOn = nameOn != 0;
        info.commentOn = commentOn != 0;
        if (nameText != 0) {
            Common tc;
            int32_t size = 0, font = 0, mirror = 0, lineWidth = 0, tt = 0, bold = 0, italic = 0,
                    inverted = 0, border = 0;
            std::array<int32_t, 8> bar{};
            double textAngle = 0.0;
            textC_[0] = '\0';
            if (api_.PcbApi_QueryText(1, nameText, HARROW_COMMON(tc), &size, &font, &textAngle,
                                      &mirror, textC_.data(), &lineWidth, &tt, &bold, &italic,
                                      textD_.data(), &inverted, &border, &bar[0], &bar[1], &bar[2],
                                      &bar[3], &bar[4], &bar[5], &bar[6], &bar[7]) == 1 &&
                textC_[0] != '\0')
                info.designator = textC_.data();
        }
        components_.emplace(h, std::move(info));
        componentOrder_.push_back(h);
    });
}

void Picture::AddToComponent(intptr_t component, double x, double y, double grow) {
    if (component == 0)
        return;
    ComponentInfo* info = ComponentOf(component);
    if (info == nullptr)
        return;
    const auto [lx, ly] = info->Local(x, y);
    info->local.Add(lx, ly, grow);
}

void Picture::UseDefinition(std::string& out, std::unordered_map<std::string, int32_t>& ids,
                            const char* prefix, const std::string& open,
                            const std::string& markup) {
    auto [it, added] = ids.try_emplace(open + markup, static_cast<int32_t>(ids.size()));
    if (added) {
        defs_ += "<g id=\"";
        defs_ += prefix;
        Int(defs_, it->second);
        defs_ += '"';
        defs_ += open;
        defs_ += '>';
        defs_ += markup;
        defs_ += "</g>";
    }
    out += "<use href=\"#";
    out += prefix;
    Int(out, it->second);
    out += '"';
}

void Picture::UseShape(std::string& out, double x, double y) {
    auto [it, added] = shapeIds_.try_emplace(shape_, static_cast<int32_t>(shapeIds_.size()));
    if (added) {
        const std::size_t nameEnd = shape_.find(' ');
        defs_.append(shape_, 0, nameEnd);
        defs_ += " id=\"s";
        Int(defs_, it->second);
        defs_ += '"';
        defs_.append(shape_, nameEnd, std::string::npos);
        defs_ += "/>";
    }
    out += "<use href=\"#s";
    Int(out, it->second);
    out += '"';
    Attr(out, "x", x);
    Attr(out, "y", y);
}

// Tracks as paths; a track that starts where the one before it ended, on the
// same layer, net and width, continues that path (the segments of one wire or
// of a component outline come one after the other), which keeps large boards'
// pictures small.
void Picture::DrawTracks() {
    struct Chain {
        std::string* out = nullptr;
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
        if (&out == last.out && c.layer == last.layer && c.net == last.net && width == last.width &&
            keepout == last.keepout && c.x1 == last.x && c.y1 == last.y && out.size() >= 3) {
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
        last = {&out, c.layer, width, x2, y2, c.net, keepout};
        extent_.Add(c.x1, c.y1, w / 2);
        extent_.Add(x2, y2, w / 2);
        AddToComponent(c.component, c.x1, c.y1, w / 2);
        AddToComponent(c.component, x2, y2, w / 2);
    });
}

// An arc path from `a1` to `a2` degrees (counter-clockwise, board axes) about
// (cx, cy); whole circles are two half arcs.
void ArcPath(std::string& out, double cx, double cy, double r, double a1, double a2) {
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
void CentredRect(std::string& out, const char* cls, double x, double y, double xs, double ys,
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
        Common c;
        int32_t x2 = 0, y2 = 0;
        intptr_t polygon = 0;
        double angle = 0;
        if (api_.PcbApi_QueryFill(1, h, HARROW_COMMON(c), &x2, &y2, &polygon, &angle) != 1)
            return;
        const double cx = (static_cast<double>(c.x1) + x2) / 2,
                     cy = (static_cast<double>(c.y1) + y2) / 2;
        const double xs = std::fabs(static_cast<double>(x2) - c.x1),
                     ys = std::fabs(static_cast<double>(y2) - c.y1);
        std::string& out = Out(c.layer, c.net);
        CentredRect(out, (c.bitField & PCBAPI_BITFIELD_KEEPOUT) ? "f ko" : "f", cx, cy, xs, ys,
                    angle, 0);
        out += "/>";
        extent_.Add(cx, cy, std::hypot(xs, ys) / 2);
        AddToComponent(c.component, cx, cy, std::hypot(xs, ys) / 2);
    });
}

// A circle about (x, y), of class `cls` unless null.
void Circle(std::string& out, const char* cls, double x, double y, double r) {
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
void PadShape(std::string& out, int32_t shape, double x, double y, double xs, double ys,
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
void TextScale(std::string& out, double height, bool mirror) {
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
void Placement(std::string& out, const ComponentInfo& info) {
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
    std::string markup;
    for (std::size_t index = 0; index < componentOrder_.size(); ++index) {
        ComponentInfo& info = components_[componentOrder_[index]];
        for (const auto& [layer, shapes] : info.own) {
            std::string& out = Out(layer, 0);
            UseDefinition(out, imageIds_, "f", "", shapes);
            Placement(out, info);
            out += " data-c=\"";
            Int(out, static_cast<int64_t>(index));
            out += "\"/>";
        }
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

// Opens the group of a net's shapes on one layer: data-n is the net's index
// in the net table (none for shapes of no net).
void NetGroup(std::string& out, int32_t net) {
    if (net == 0) {
        out += "<g>";
        return;
    }
    out += "<g data-n=\"";
    Int(out, net);
    out += "\">";
}

void Picture::Draw() {
    ReadLayers();
    ReadNets();
    ReadComponents();
    DrawOutline();
    DrawPolygons(BoardKind::SplitPlane);
    DrawPolygons(BoardKind::Polygon);
    DrawRegions();
    DrawFills();
    DrawTracks();
    DrawArcs();
    DrawPads();
    DrawVias();
    DrawTexts();
}

// Painting order: bottom side, the stack from bottom to top, then the top
// side and the layers of no side.
std::vector<int32_t> Picture::PaintOrder() const {
    std::vector<int32_t> order;
    auto add = [&](int32_t layer) {
        if (layer >= 0 && layer < BoardLayer::Count && used_[layer] &&
            std::find(order.begin(), order.end(), layer) == order.end())
            order.push_back(layer);
    };
    for (int32_t layer : {38, 36, 34})
        add(layer);
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it)
        add(*it);
    for (int32_t layer = 1; layer <= BoardLayer::LastPlane; ++layer)
        if (IsSignal(layer) || IsPlane(layer))
            add(layer);
    for (int32_t layer : {37, 35, 33, BoardLayer::Multi, 56})
        add(layer);
    for (int32_t layer = 0; layer < BoardLayer::Count; ++layer)
        add(layer);
    return order;
}

// The view: everything drawn, with a margin; a board of nothing shows an
// inch about the origin.
Box Picture::View() const {
    Box view = extent_;
    if (view.Empty())
        view.Add(0, 0, 5000000);
    const double side = std::max({view.maxX - view.minX, view.maxY - view.minY, 1000000.0});
    const double least = side / 20; // a line of a board still gets some room
    view.Add((view.minX + view.maxX) / 2, (view.minY + view.maxY) / 2, least / 2);
    const double margin = side * 0.03;
    view.minX -= margin;
    view.minY -= margin;
    view.maxX += margin;
    view.maxY += margin;
    return view;
}

// What a stack layer is and its colour.
LayerStyle Picture::StyleOfLayer(int32_t layer) const {
    int signalIndex = 0;
    for (int32_t l : stack_) {
        if (l == layer)
            break;
        signalIndex += IsSignal(l) ? 1 : 0;
    }
    return StyleOf(layer, signalIndex);
}

// The net whose copper fills plane layer `layer` (0: none).
int32_t Picture::PlaneNet(int32_t layer) {
    textA_[0] = '\0';
    api_.PcbApi_QueryInternalPlane(1, layer, board_, textA_.data());
    const auto named = std::find(netNames_.begin() + 1, netNames_.end(), textA_.data());
    return named == netNames_.end() ? 0 : static_cast<int32_t>(named - netNames_.begin());
}

std::string Picture::Svg(const std::string& title, bool inlineSvg, PictureCounts* counts) {
    Draw();
    return Markup(title, inlineSvg, counts);
}

std::string Picture::Markup(const std::string& title, bool inlineSvg, PictureCounts* counts) {
    std::string components = ComponentGroups();
    const std::vector<int32_t> order = PaintOrder();
    const Box view = View();
    const double width = view.maxX - view.minX, height = view.maxY - view.minY;
    const double pixels = 1000.0;
    const double scale = pixels / std::max(width, height);

    std::string svg;
    std::size_t total = holes_.size() + outline_.size() + body_.size() + components.size() +
                        defs_.size() + netNames_.size() * 16 + 4096;
    for (const LayerDrawing& layer : layers_)
        for (const auto& [net, text] : layer.byNet)
            total += text.size() + 128;
    svg.reserve(total);
    if (!inlineSvg)
        svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"board\" viewBox=\"";
    Num(svg, view.minX);
    svg += ' ';
    Num(svg, -view.maxY);
    svg += ' ';
    Num(svg, width);
    svg += ' ';
    Num(svg, height);
    svg += '"';
    svg += " width=\"";
    Int(svg, std::llround(width * scale));
    svg += "\" height=\"";
    Int(svg, std::llround(height * scale));
    svg += '"';
    svg += " data-unit=\"mil\">\n";
    Title(svg, title);
    svg += "\n<style>";
    svg += kPictureCss;
    svg += "</style>\n";
    if (!defs_.empty())
        svg += "<defs>" + defs_ + "</defs>\n";
    // The net table: the name of net i is the i-th <n>, counted from 1.
    svg += "<metadata id=\"nets\">";
    for (std::size_t net = 1; net < netNames_.size(); ++net) {
        svg += "<n>";
        AppendXmlText(svg, netNames_[net]);
        svg += "</n>";
    }
    svg += "</metadata>\n";
    svg += "<rect class=\"bg\"";
    Attr(svg, "x", view.minX);
    Attr(svg, "y", -view.maxY);
    Attr(svg, "width", width);
    Attr(svg, "height", height);
    svg += "/>\n<g id=\"flip\" transform=\"scale(1 -1)\">\n";
    if (!body_.empty())
        svg += "<g id=\"body\">" + body_ + "</g>\n";
    long groups = 0;
    for (int32_t layer : order) {
        const bool inStack = std::find(stack_.begin(), stack_.end(), layer) != stack_.end();
        const LayerStyle style = StyleOfLayer(layer);
        const std::string& name = LayerName(layer);
        svg += "<g class=\"layer\" id=\"layer-";
        Int(svg, layer);
        svg += "\" data-layer=\"";
        Int(svg, layer);
        svg += '"';
        AttrText(svg, "data-name", name);
        svg += " data-kind=\"";
        svg += style.kind;
        svg += "\" data-stack=\"";
        svg += inStack ? "1" : "0";
        svg += "\" data-color=\"";
        svg += style.color;
        svg += "\" fill=\"";
        svg += style.color;
        svg += "\" stroke=\"";
        svg += style.color;
        svg += "\">";
        Title(svg, name);
        const LayerDrawing& drawing = layers_[layer];
        for (int32_t net : drawing.netOrder) {
            const std::string& shapes = drawing.byNet.at(net);
            NetGroup(svg, net);
            svg += shapes;
            svg += "</g>";
        }
        // A plane layer is copper all over but for its split planes.
        if (IsPlane(layer) && !body_.empty()) {
            NetGroup(svg, PlaneNet(layer));
            svg.insert(svg.size() - 1, " fill-opacity=\".15\"");
            svg += body_ + "</g>";
        }
        svg += "</g>\n";
        ++groups;
    }
    svg += components;
    svg += "<g id=\"lit\"/>\n"; // the page draws a picked net here
    for (const auto& [diameter, d] : roundHoles_) {
        holes_ += "<path class=\"s\"";
        Attr(holes_, "stroke-width", static_cast<double>(diameter));
        holes_ += " d=\"";
        holes_ += d;
        holes_ += "\"/>";
    }
    if (!holes_.empty())
        svg += "<g id=\"holes\" class=\"layer\" data-name=\"Holes\" data-color=\"#6a7078\">" +
               holes_ + "</g>\n";
    if (!outline_.empty())
        svg += "<g id=\"outline\" class=\"layer\" data-name=\"Board Outline\" "
               "data-color=\"#e8e8e8\">" +
               outline_ + "</g>\n";
    svg += "</g>\n</svg>\n";
    if (counts != nullptr) {
        counts->layers = groups;
        counts->elements = elements_;
        counts->components = static_cast<long>(componentOrder_.size());
    }
    return svg;
}

// ---- the page data of a large board ----

// A drawing's markup turned into path data, for the page of a large board:
// each layer's shapes of one net and one style become one piece of path
// data, and the page joins a layer's pieces of one style into one path. A
// browser draws a few long paths in a fraction of the time it takes to lay
// out and paint hundreds of thousands of elements. Coordinates are whole
// tenths of a mil.
class FlatShapes {
public:
    // Where local coordinates go on the board: turned by `angle` degrees,
    // then moved by (x, y) (all in mil).
    struct Place {
        double x = 0, y = 0, c = 1, s = 0;
        Place() = default;
        Place(double px, double py, double angle) : x(px), y(py) {
            const double t = Finite(angle) * kPi / 180.0;
            c = std::cos(t);
            s = std::sin(t);
        }
        std::pair<double, double> At(double lx, double ly) const {
            return {x + lx * c - ly * s, y + lx * s + ly * c};
        }
    };
    struct Piece {
        int32_t layer = 0, net = 0, style = 0;
        int64_t width = 0;
        std::string d;
        Box box;
        int64_t x = 0, y = 0, startX = 0, startY = 0; // where the path is, where it started
    };
    // A pad of a component image: its centre in the image's frame and name.
    struct PadMark {
        double x = 0, y = 0;
        std::string name;
        bool seen = false;
    };

    // Adds the shapes of `markup` on page layer `layer` (an index into the
    // page's layers), of net `net` unless a pad names its own by data-i in
    // `padNets`; `pads` (when given) gets the image pads' centres.
    void Add(std::string_view markup, int32_t layer, int32_t net, const Place& place,
             const std::vector<int32_t>* padNets = nullptr, std::vector<PadMark>* pads = nullptr);
    // The style index of a class, as the page's style list holds it.
    int32_t Style(std::string_view cls);
    // Shapes defined once (pad shapes), by the id the drawing uses.
    std::vector<std::string> shapes;
    std::vector<Piece> pieces;
    std::vector<std::string> styles;
    // Texts kept as markup, with the page layer they lie on.
    std::vector<std::pair<int32_t, std::string>> texts;

private:
    using Attributes = std::vector<std::pair<std::string_view, std::string_view>>;
    static std::string_view Get(const Attributes& a, std::string_view name) {
        for (const auto& [k, v] : a)
            if (k == name)
                return v;
        return {};
    }
    static double Number(std::string_view text) {
        double v = 0;
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        std::from_chars(text.data(), text.data() + text.size(), v);
        return Finite(v);
    }
    // The numbers of a list ("1 2,3 -4"), in order.
    static void Numbers(std::string_view text, std::vector<double>& out) {
        out.clear();
        const char* at = text.data();
        const char* end = at + text.size();
        while (at < end) {
            if (*at == ' ' || *at == ',') {
                ++at;
                continue;
            }
            double v = 0;
            auto [next, error] = std::from_chars(at, end, v);
            if (error != std::errc() || next == at) {
                ++at;
                continue;
            }
            out.push_back(Finite(v));
            at = next;
        }
    }
    Piece& PieceFor(int32_t layer, int32_t net, int32_t style, int64_t width) {
        const auto key = std::make_tuple(layer, net, style, width);
        auto [it, added] = index_.try_emplace(key, pieces.size());
        if (added)
            pieces.push_back(Piece{layer, net, style, width, {}, {}, 0, 0, 0, 0});
        return pieces[it->second];
    }
    // A whole number of the path data; a minus sign parts it from the one
    // before, else a blank.
    static void Coordinate(std::string& out, int64_t v, bool first) {
        if (!first && v >= 0)
            out += ' ';
        Int(out, v);
    }
    static int64_t Tenths(double mil) {
        return std::llround(std::clamp(mil * 10, -9.0e15, 9.0e15));
    }
    // Moves (M) or draws a line (L) to (x, y); lines are written relative to
    // where the path is.
    void Point(Piece& p, char command, double x, double y) {
        const int64_t tx = Tenths(x), ty = Tenths(y);
        if (command == 'M') {
            p.d += 'M';
            Coordinate(p.d, tx, true);
            Coordinate(p.d, ty, false);
            p.startX = tx;
            p.startY = ty;
        } else if (tx == p.x && ty == p.y) {
            // A dot (a line of no length with round ends): a tenth of a mil
            // long, as a canvas skips a path that is all one point.
            p.d += "h1";
            p.x = tx + 1;
            p.y = ty;
            p.box.Add(x, y);
            return;
        } else if (ty == p.y) {
            p.d += 'h';
            Coordinate(p.d, tx - p.x, true);
        } else if (tx == p.x) {
            p.d += 'v';
            Coordinate(p.d, ty - p.y, true);
        } else {
            p.d += 'l';
            Coordinate(p.d, tx - p.x, true);
            Coordinate(p.d, ty - p.y, false);
        }
        p.x = tx;
        p.y = ty;
        p.box.Add(x, y);
    }
    void Arc(Piece& p, double r, bool large, bool sweep, double x, double y) {
        const int64_t tx = Tenths(x), ty = Tenths(y), tr = Tenths(r);
        p.d += 'a';
        Coordinate(p.d, tr, true);
        Coordinate(p.d, tr, false);
        p.d += large ? " 0 1" : " 0 0";
        p.d += sweep ? " 1" : " 0";
        Coordinate(p.d, tx - p.x, false);
        Coordinate(p.d, ty - p.y, false);
        p.x = tx;
        p.y = ty;
        p.box.Add(x, y, r);
    }
    static void Close(Piece& p) {
        p.d += 'z';
        p.x = p.startX;
        p.y = p.startY;
    }
    void Path(Piece& p, std::string_view d, const Place& place);
    void Dot(int32_t layer, int32_t net, std::string_view cls, double x, double y, double r);
    std::map<std::tuple<int32_t, int32_t, int32_t, int64_t>, std::size_t> index_;
    std::vector<double> numbers_;
};

int32_t FlatShapes::Style(std::string_view cls) {
    auto it = std::find(styles.begin(), styles.end(), cls);
    if (it != styles.end())
        return static_cast<int32_t>(it - styles.begin());
    styles.emplace_back(cls);
    return static_cast<int32_t>(styles.size() - 1);
}

// A filled circle as a dot: a line of no length with round ends, as wide as
// the circle.
void FlatShapes::Dot(int32_t layer, int32_t net, std::string_view cls, double x, double y,
                     double r) {
    Piece& p =
        PieceFor(layer, net, Style(cls == "o" || cls == "p1" ? "dot m" : "dot"), Tenths(2 * r));
    Point(p, 'M', x, y);
    Point(p, 'L', x, y);
    p.box.Add(x, y, r);
}

// Path data of the drawing's own forms: M, L, A (circular) and Z, and h0 for
// a dot.
void FlatShapes::Path(Piece& p, std::string_view d, const Place& place) {
    double x = 0, y = 0;
    std::size_t at = 0;
    auto number = [&]() {
        while (at < d.size() && d[at] == ' ')
            ++at;
        double v = 0;
        auto [next, error] = std::from_chars(d.data() + at, d.data() + d.size(), v);
        if (error != std::errc() || next == d.data() + at) {
            ++at;
            return 0.0;
        }
        at = static_cast<std::size_t>(next - d.data());
        return Finite(v);
    };
    while (at < d.size()) {
        const char command = d[at++];
        switch (command) {
        case 'M':
        case 'L': {
            x = number();
            y = number();
            const auto [bx, by] = place.At(x, y);
            Point(p, command, bx, by);
            break;
        }
        case 'h': { // a dot: to where it is, by the given length along x
            x += number();
            const auto [bx, by] = place.At(x, y);
            Point(p, 'L', bx, by);
            break;
        }
        case 'A': {
            const double r = number();
            number(); // ry: arcs here are circular
            number(); // x-axis turn
            const bool large = number() != 0, sweep = number() != 0;
            x = number();
            y = number();
            const auto [bx, by] = place.At(x, y);
            Arc(p, r, large, sweep, bx, by);
            break;
        }
        case 'Z':
            Close(p);
            break;
        default:
            break; // blanks
        }
    }
}

void FlatShapes::Add(std::string_view markup, int32_t layer, int32_t net, const Place& place,
                     const std::vector<int32_t>* padNets, std::vector<PadMark>* pads) {
    Attributes a;
    std::size_t at = 0;
    while ((at = markup.find('<', at)) != std::string_view::npos) {
        ++at;
        if (at >= markup.size() || markup[at] == '/')
            continue;
        std::size_t nameEnd = markup.find_first_of(" />", at);
        if (nameEnd == std::string_view::npos)
            break;
        const std::string_view name = markup.substr(at, nameEnd - at);
        const std::size_t start = at - 1;
        a.clear();
        at = nameEnd;
        while (at < markup.size() && markup[at] == ' ') {
            const std::size_t eq = markup.find("=\"", at);
            if (eq == std::string_view::npos)
                break;
            const std::size_t close = markup.find('"', eq + 2);
            if (close == std::string_view::npos)
                break;
            a.emplace_back(markup.substr(at + 1, eq - at - 1),
                           markup.substr(eq + 2, close - eq - 2));
            at = close + 1;
        }
        if (name == "text") { // kept whole but for a component's designator
            const std::size_t end = markup.find("</text>", at);
            if (end == std::string_view::npos)
                break;
            if (Get(a, "class") != "x d")
                texts.emplace_back(layer, std::string(markup.substr(start, end + 7 - start)));
            at = end + 7;
            continue;
        }
        if (name == "title") {
            const std::size_t end = markup.find("</title>", at);
            at = end == std::string_view::npos ? markup.size() : end + 8;
            continue;
        }
        int32_t pieceNet = net;
        const std::string_view index = Get(a, "data-i");
        std::size_t padIndex = 0;
        if (!index.empty() && padNets != nullptr) {
            padIndex = static_cast<std::size_t>(std::max(Number(index), 0.0));
            if (padIndex < padNets->size())
                pieceNet = (*padNets)[padIndex];
        }
        std::string_view cls = Get(a, "class");
        const double strokeWidth = Number(Get(a, "stroke-width"));
        Place local = place;
        std::string_view shape;
        if (name == "use") { // a pad shape defined once, moved to (x, y)
            const std::string_view href = Get(a, "href");
            if (href.size() < 3 || href[1] != 's')
                continue;
            const std::size_t id = static_cast<std::size_t>(Number(href.substr(2)));
            if (id >= shapes.size())
                continue;
            std::tie(local.x, local.y) = place.At(Number(Get(a, "x")), Number(Get(a, "y")));
            Add(shapes[id], layer, pieceNet, local, nullptr, nullptr);
            continue;
        }
        double cx = 0, cy = 0; // the shape's centre in its own frame
        if (name == "circle") {
            cx = Number(Get(a, "cx"));
            cy = Number(Get(a, "cy"));
            const auto [bx, by] = local.At(cx, cy);
            Dot(layer, pieceNet, cls, bx, by, std::fabs(Number(Get(a, "r"))));
        }
        auto piece = [&]() -> Piece& {
            return PieceFor(layer, pieceNet, Style(cls), Tenths(std::max(strokeWidth, 0.0)));
        };
        if (name == "circle") {
        } else if (name == "path") {
            Path(piece(), Get(a, "d"), local);
        } else if (name == "line") {
            Piece& p = piece();
            const auto [x1, y1] = local.At(Number(Get(a, "x1")), Number(Get(a, "y1")));
            const auto [x2, y2] = local.At(Number(Get(a, "x2")), Number(Get(a, "y2")));
            Point(p, 'M', x1, y1);
            Point(p, 'L', x2, y2);
        } else if (name == "polygon") {
            Piece& p = piece();
            Numbers(Get(a, "points"), numbers_);
            for (std::size_t i = 0; i + 1 < numbers_.size(); i += 2) {
                const auto [bx, by] = local.At(numbers_[i], numbers_[i + 1]);
                Point(p, i == 0 ? 'M' : 'L', bx, by);
                cx += numbers_[i] * 2 / static_cast<double>(numbers_.size());
                cy += numbers_[i + 1] * 2 / static_cast<double>(numbers_.size());
            }
            Close(p);
        } else if (name == "rect") {
            Piece& p = piece();
            const double x0 = Number(Get(a, "x")), y0 = Number(Get(a, "y"));
            const double x1 = x0 + Number(Get(a, "width")), y1 = y0 + Number(Get(a, "height"));
            cx = (x0 + x1) / 2;
            cy = (y0 + y1) / 2;
            // Its own turn about its centre: "rotate(a cx cy)".
            Numbers(Get(a, "transform"), numbers_);
            Place turned(cx, cy, numbers_.empty() ? 0.0 : numbers_[0]);
            auto at2 = [&](double x, double y) {
                const auto [tx, ty] = turned.At(x - cx, y - cy);
                return local.At(tx, ty);
            };
            const double r = std::clamp(Number(Get(a, "rx")), 0.0, std::min(x1 - x0, y1 - y0) / 2);
            // Counter-clockwise from the lower left; corners rounded by r.
            const double xs[4][2] = {{x0 + r, y0}, {x1, y0 + r}, {x1 - r, y1}, {x0, y1 - r}};
            const double ends[4][2] = {{x1 - r, y0}, {x1, y1 - r}, {x0 + r, y1}, {x0, y0 + r}};
            for (int i = 0; i < 4; ++i) {
                const auto [sx, sy] = at2(xs[i][0], xs[i][1]);
                if (i == 0)
                    Point(p, 'M', sx, sy);
                else if (r > 0)
                    Arc(p, r, false, true, sx, sy);
                if (i == 3 && r <= 0)
                    break; // back where it started: the close draws the side
                const auto [ex, ey] = at2(ends[i][0], ends[i][1]);
                Point(p, 'L', ex, ey);
            }
            if (r > 0) {
                const auto [sx, sy] = at2(xs[0][0], xs[0][1]);
                Arc(p, r, false, true, sx, sy);
            }
            Close(p);
        } else {
            continue;
        }
        if (pads != nullptr && !index.empty()) {
            if (padIndex >= pads->size())
                pads->resize(padIndex + 1);
            PadMark& mark = (*pads)[padIndex];
            if (!mark.seen) {
                mark = {cx, cy, std::string(Get(a, "data-p")), true};
                if (name == "path") { // a pad drawn as a path: the middle of its extent
                    mark.x = mark.y = 0;
                }
            }
        }
    }
}

// Text as a JSON string that may stand in a page's script element.
void ScriptString(std::string& out, std::string_view text) {
    std::string json;
    HostSdk::AppendJsonString(json, text, true);
    for (char c : json) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
}

// Markup's escaped attribute value as the text it stands for.
std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '&') {
            const std::size_t end = text.find(';', at);
            if (end != std::string_view::npos) {
                const std::string_view entity = text.substr(at + 1, end - at - 1);
                const char c = entity == "amp"    ? '&'
                               : entity == "lt"   ? '<'
                               : entity == "gt"   ? '>'
                               : entity == "quot" ? '"'
                               : entity == "#39"  ? '\''
                                                  : '\0';
                if (c != '\0') {
                    out += c;
                    at = end;
                    continue;
                }
            }
        }
        out += text[at];
    }
    return out;
}

std::string Picture::Data(PictureCounts* counts) {
    FlatShapes flat;
    flat.shapes.resize(shapeIds_.size());
    for (const auto& [markup, id] : shapeIds_)
        flat.shapes[static_cast<std::size_t>(id)] = markup + "/>";
    // The page's layers: the drawing's in painting order, then the sides'
    // components, the holes and the outline.
    struct PageLayer {
        int32_t id;
        std::string element, name, kind, color;
        bool stack;
    };
    std::vector<PageLayer> layers;
    std::array<int32_t, BoardLayer::Count> pageLayer{};
    for (int32_t layer : PaintOrder()) {
        const LayerStyle style = StyleOfLayer(layer);
        pageLayer[layer] = static_cast<int32_t>(layers.size());
        layers.push_back({layer, "layer-" + std::to_string(layer), LayerName(layer), style.kind,
                          style.color,
                          std::find(stack_.begin(), stack_.end(), layer) != stack_.end()});
    }
    const int32_t sides[2] = {static_cast<int32_t>(layers.size() + 1),
                              static_cast<int32_t>(layers.size())};
    layers.push_back({-1, "components-bottom", "Bottom Components", "comp", "#c8b070", false});
    layers.push_back({-1, "components-top", "Top Components", "comp", "#f2e24a", false});
    const int32_t holes = static_cast<int32_t>(layers.size());
    layers.push_back({-1, "holes", "Holes", "holes", "#6a7078", false});
    const int32_t outline = static_cast<int32_t>(layers.size());
    layers.push_back({-1, "outline", "Board Outline", "outline", "#e8e8e8", false});

    const FlatShapes::Place board;
    for (int32_t layer : PaintOrder()) {
        const LayerDrawing& drawing = layers_[layer];
        for (int32_t net : drawing.netOrder)
            flat.Add(drawing.byNet.at(net), pageLayer[layer], net, board);
        if (IsPlane(layer) && !body_.empty()) {
            std::string plane = body_;
            plane.insert(5, " class=\"pl\"");
            flat.Add(plane, pageLayer[layer], PlaneNet(layer), board);
        }
    }
    // Each component: its images on their layers, its mark on its side, and
    // its pads' centres and names, each distinct list of them once.
    std::string components, marks;
    std::unordered_map<std::string, std::size_t> padLists;
    std::string padTable, list, markup;
    std::vector<FlatShapes::PadMark> pads;
    for (std::size_t index = 0; index < componentOrder_.size(); ++index) {
        ComponentInfo& info = components_[componentOrder_[index]];
        const FlatShapes::Place place(info.x / 10000.0, info.y / 10000.0, info.angle);
        pads.clear();
        for (const auto& [layer, shapes] : info.own) {
            used_[layer] = true;
            const int32_t at = pageLayer[layer];
            if (layers[static_cast<std::size_t>(at)].id == layer)
                flat.Add(shapes, at, 0, place, &info.padNets, &pads);
        }
        MarkMarkup(info, markup);
        flat.Add(markup, sides[info.bottom ? 1 : 0], 0, place);
        list.clear();
        for (const FlatShapes::PadMark& pad : pads) {
            list += list.empty() ? "[" : ",[";
            Int(list, std::llround(pad.x * 10));
            list += ',';
            Int(list, std::llround(pad.y * 10));
            list += ',';
            ScriptString(list, Unescape(pad.name));
            list += ']';
        }
        auto [it, added] = padLists.try_emplace(list, padLists.size());
        if (added) {
            padTable += padTable.empty() ? "[" : ",[";
            padTable += list;
            padTable += ']';
        }
        // Its extent on the board.
        Box box;
        const Box& b = info.local;
        const double t = info.angle * kPi / 180.0;
        for (const double cx : {b.minX, b.maxX})
            for (const double cy : {b.minY, b.maxY})
                box.Add(info.x + cx * std::cos(t) - cy * std::sin(t),
                        info.y + cx * std::sin(t) + cy * std::cos(t));
        components += index == 0 ? "[" : ",[";
        for (const double v : {static_cast<double>(info.x), static_cast<double>(info.y)}) {
            Int(components, std::llround(v / 1000));
            components += ',';
        }
        Real(components, info.angle);
        components += info.bottom ? ",1," : ",0,";
        ScriptString(components, info.designator);
        components += ',';
        ScriptString(components, info.pattern);
        components += ',';
        Int(components, static_cast<int64_t>(it->second));
        components += ",[";
        Ints(components, info.padNets, ',');
        components += ']';
        for (const double v : {box.minX, box.minY, box.maxX, box.maxY}) {
            components += ',';
            Int(components, std::llround(std::clamp(v / 1000, -9.0e15, 9.0e15)));
        }
        components += ']';
    }
    for (const auto& [diameter, d] : roundHoles_) {
        std::string path = "<path class=\"s\"";
        Attr(path, "stroke-width", static_cast<double>(diameter));
        path += " d=\"" + d + "\"/>";
        flat.Add(path, holes, 0, board);
    }
    flat.Add(holes_, holes, 0, board);
    flat.Add(outline_, outline, 0, board);

    const Box view = View();
    std::string data;
    std::size_t total = components.size() + padTable.size() + netNames_.size() * 16 + 4096;
    for (const FlatShapes::Piece& piece : flat.pieces)
        total += piece.d.size() + 64;
    data.reserve(total);
    // The view box as the page's drawing (Y down) has it.
    data += "{\"v\":[";
    const std::vector<int32_t> box = {
        static_cast<int32_t>(std::llround(view.minX / 1000)),
        static_cast<int32_t>(std::llround(-view.maxY / 1000)),
        static_cast<int32_t>(std::llround((view.maxX - view.minX) / 1000)),
        static_cast<int32_t>(std::llround((view.maxY - view.minY) / 1000))};
    Ints(data, box, ',');
    data += "],\n\"L\":[";
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const PageLayer& l = layers[i];
        data += i == 0 ? "[" : ",[";
        Int(data, l.id);
        for (const std::string* text : {&l.element, &l.name}) {
            data += ',';
            ScriptString(data, *text);
        }
        data += ",\"" + l.kind + "\",\"" + l.color + (l.stack ? "\",1]" : "\",0]");
    }
    data += "],\n\"S\":[";
    for (std::size_t i = 0; i < flat.styles.size(); ++i) {
        data += i == 0 ? "" : ",";
        ScriptString(data, flat.styles[i]);
    }
    data += "],\n\"N\":[\"\"";
    for (std::size_t net = 1; net < netNames_.size(); ++net) {
        data += ',';
        ScriptString(data, netNames_[net]);
    }
    // Pieces by page layer and net: the layer, the net, their extent, then
    // style, stroke width and path data of each piece.
    std::vector<std::size_t> order(flat.pieces.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&flat](std::size_t a, std::size_t b) {
        const FlatShapes::Piece &x = flat.pieces[a], &y = flat.pieces[b];
        return std::tie(x.layer, x.net) < std::tie(y.layer, y.net);
    });
    data += "],\n\"C\":[";
    for (std::size_t at = 0; at < order.size();) {
        const FlatShapes::Piece& first = flat.pieces[order[at]];
        std::size_t end = at;
        Box box;
        for (; end < order.size() && flat.pieces[order[end]].layer == first.layer &&
               flat.pieces[order[end]].net == first.net;
             ++end) {
            const FlatShapes::Piece& piece = flat.pieces[order[end]];
            // Grown by half the stroke width (a tenth of a mil each).
            const double grow = static_cast<double>(piece.width) / 20;
            if (!piece.box.Empty()) {
                box.Add(piece.box.minX, piece.box.minY, grow);
                box.Add(piece.box.maxX, piece.box.maxY, grow);
            }
        }
        if (box.Empty())
            box.Add(0, 0);
        data += at == 0 ? "[" : ",\n[";
        const int64_t head[6] = {first.layer,
                                 first.net,
                                 std::llround(std::clamp(box.minX * 10, -9.0e15, 9.0e15)),
                                 std::llround(std::clamp(box.minY * 10, -9.0e15, 9.0e15)),
                                 std::llround(std::clamp(box.maxX * 10, -9.0e15, 9.0e15)),
                                 std::llround(std::clamp(box.maxY * 10, -9.0e15, 9.0e15))};
        Ints(data, head, ',');
        for (; at < end; ++at) {
            const FlatShapes::Piece& piece = flat.pieces[order[at]];
            data += ',';
            Int(data, piece.style);
            data += ',';
            Int(data, piece.width);
            data += ",\"";
            data += piece.d;
            data += '"';
        }
        data += ']';
    }
    // Components: position, turn, side, designator, pattern, pad list, pad
    // nets, extent; pad lists: centre in its frame and name of each pad.
    data += "],\n\"K\":[";
    data += components;
    data += "],\n\"P\":[";
    data += padTable;
    data += "],\n\"T\":[";
    for (std::size_t i = 0; i < flat.texts.size(); ++i) {
        data += i == 0 ? "[" : ",[";
        Int(data, flat.texts[i].first);
        data += ',';
        ScriptString(data, flat.texts[i].second);
        data += ']';
    }
    data += "],\n\"B\":";
    std::string body;
    if (!body_.empty()) {
        FlatShapes one;
        one.Add(body_, 0, 0, board);
        body = one.pieces.empty() ? std::string() : one.pieces.front().d;
    }
    ScriptString(data, body);
    data += "}";
    if (counts != nullptr) {
        counts->layers = static_cast<long>(PaintOrder().size());
        counts->elements = elements_;
        counts->components = static_cast<long>(componentOrder_.size());
    }
    return data;
}

} // namespace

const char* PictureCss() {
    return kPictureCss;
}

std::map<std::string, long> BoardCounts(const PcbApiTable& api, intptr_t board) {
    std::map<std::string, long> counts;
    for (int32_t kind = 1; kind < BoardKind::Count; ++kind) {
        intptr_t iterator = api.PcbApi_CreateIterator(board, kind, 0, 0);
        if (iterator == 0)
            continue;
        long count = 0;
        for (intptr_t h = api.PcbApi_GetFirstObject(iterator); h != 0;
             h = api.PcbApi_GetNextObject(iterator))
            ++count;
        api.PcbApi_DestroyIterator(iterator);
        if (count > 0)
            counts[std::string("Objects/") + PcbApiKindName(kind)] = count;
    }
    Picture picture(api, board);
    counts["LayerStack"] = static_cast<long>(picture.Stack().size());
    counts["LayerPairs"] = api.PcbApi_GetLayerPairCount(board);
    return counts;
}

std::string BoardSvg(const PcbApiTable& api, intptr_t board, const std::string& title,
                     bool inlineSvg, PictureCounts* counts) {
    return Picture(api, board).Svg(title, inlineSvg, counts);
}

std::string BoardViewPage(const PcbApiTable& api, intptr_t board, const std::string& title,
                          const std::string& summary, PageForm form, PictureCounts* counts) {
    Picture picture(api, board);
    picture.Draw();
    if (form == PageForm::Data ||
        (form == PageForm::Auto && picture.Elements() > kMarkupPageElements))
        return BoardDataPage(picture.Data(counts), title, summary);
    return BoardPage(picture.Markup(title, true, counts), title, summary);
}

} // namespace Harrow
