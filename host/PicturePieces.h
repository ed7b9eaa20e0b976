// What the pieces of a board's picture share: the numbers and text of the
// drawing, extents, layer styles, and the picture itself, which reads a board
// through the engine's entry points and draws it (the copper in
// PictureCopper.cpp, regions, polygons, texts and components in
// PictureShapes.cpp, the page data of a large board in PageData.cpp).
#pragma once

#include "host/BoardPicture.h"

#include "boardapi/BoardObjects.h"
#include "sdk/JsonText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace Harrow::picture {

constexpr double kPi = 3.14159265358979323846;

inline bool IsSignal(int32_t layer) {
    return layer >= BoardLayer::Top && layer <= BoardLayer::Bottom;
}
inline bool IsPlane(int32_t layer) {
    return layer >= BoardLayer::FirstPlane && layer <= BoardLayer::LastPlane;
}

inline double Finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}

// ---- numbers and text into the drawing ----

// A plain whole number (layer ids, pixels).
void Int(std::string& out, int64_t v);
// Whole numbers with `separator` between them.
template <typename Values> void Ints(std::string& out, const Values& values, char separator) {
    bool first = true;
    for (const auto v : values) {
        if (!first)
            out += separator;
        Int(out, static_cast<int64_t>(v));
        first = false;
    }
}
// A length in mil from host units (exact to the host unit: at most four
// decimals, no trailing zeros).
void Num(std::string& out, int64_t v);
void Num(std::string& out, double v);
// A number as it is (angles, scales).
void Real(std::string& out, double v);
void NumPair(std::string& out, double x, double y, char between = ' ');
// ` name="value"` with the value a length.
void Attr(std::string& out, const char* name, double v);
// ` name="text"`, the text escaped.
void AttrText(std::string& out, const char* name, std::string_view text);
void Title(std::string& out, std::string_view text);
// The drawing's own style: classes of shapes, painted in their layer's colour.
extern const char* const kPictureCss;

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

// Reads a number of the drawing's markup at `at`; the end of what it read, or
// `at` when there is none. The markup's numbers are short decimals: a whole
// number of at most 15 digits over a power of ten up to 10^22 is exact in a
// double and one division rounds it as a full conversion does, so those are
// read here and anything else by from_chars, with the same result.
inline const char* ReadNumber(const char* at, const char* end, double& value) {
    const char* p = at;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    uint64_t whole = 0;
    int digits = 0, decimals = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits)
        whole = whole * 10 + static_cast<uint64_t>(*p - '0');
    if (p < end && *p == '.') {
        const char* first = ++p;
        for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits)
            whole = whole * 10 + static_cast<uint64_t>(*p - '0');
        decimals = static_cast<int>(p - first);
        if (decimals == 0)
            digits = 0; // "5." and "." are left to the full reader
    }
    const bool exponent = p < end && (*p == 'e' || *p == 'E');
    if (digits == 0 || digits > 15 || exponent) {
        auto [next, error] = std::from_chars(at, end, value);
        return error == std::errc() ? next : at;
    }
    static constexpr double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double magnitude = static_cast<double>(whole) / kTens[decimals];
    value = negative ? -magnitude : magnitude;
    return p;
}

struct LayerStyle {
    const char* kind;
    const char* color;
};

// The kind and colour of a layer; `stackSignalIndex` counts the signal
// layers above it in the stack.
LayerStyle StyleOf(int32_t layer, int stackSignalIndex);

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
    // image and placed with a transform. The markup is kept in pieces that
    // components of one footprint share (Picture::OwnMarkup), by layer and
    // then in the order drawn.
    struct OwnPiece {
        int32_t layer = 0, markup = 0;
    };
    std::vector<OwnPiece> own;
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
    // The page data of what Draw() drew (a large board's page draws it), in
    // pieces to `sink`. It takes the drawing's markup as it goes: Markup()
    // has nothing to give after it. The board is not read again.
    void WriteData(PictureCounts* counts, const PageSink& sink);
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
    // The net of a plane layer (0 for none), as Draw read it.
    int32_t PlaneNet(int32_t layer) const { return planeNets_[static_cast<std::size_t>(layer)]; }
    void ReadPlaneNets();
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
    // Where a component's own shape on `layer` goes. The markup of one
    // component is gathered here while it is drawn and kept when the next
    // component's begins (or the drawing ends): a million components of a
    // few footprints then hold a few pieces of markup, not a million.
    std::string& Own(ComponentInfo& component, int32_t layer) {
        if (layer < 0 || layer >= BoardLayer::Count)
            layer = 0;
        used_[layer] = true;
        ++elements_;
        if (&component != drawing_)
            KeepOwn();
        drawing_ = &component;
        if (drawingLayers_[layer].empty())
            drawingOrder_.push_back(layer);
        return drawingLayers_[layer];
    }
    // Keeps the markup gathered for the component being drawn.
    void KeepOwn();
    // The markup of a piece of a component's own shapes.
    const std::string& OwnMarkup(int32_t piece) const { return *ownPieces_[piece]; }
    // Each of a component's layers with its own markup on it, in layer order:
    // `each(layer, first, last)` over its pieces.
    template <typename F> void EachOwnLayer(const ComponentInfo& component, F each) const {
        const auto& own = component.own;
        for (std::size_t at = 0; at < own.size();) {
            std::size_t end = at + 1;
            while (end < own.size() && own[end].layer == own[at].layer)
                ++end;
            each(own[at].layer, own.begin() + static_cast<std::ptrdiff_t>(at),
                 own.begin() + static_cast<std::ptrdiff_t>(end));
            at = end;
        }
    }
    // Widens a component's extent by a board point.
    void AddToComponent(intptr_t component, double x, double y, double grow);
    // The path of a polygon's segments; "" when it has none.
    std::string SegmentPath(const std::vector<PcbApiPolySegment>& segments, Box& box) const;
    std::vector<PcbApiPolySegment> Segments(intptr_t h, int32_t kind, Common& c);

    const PcbApiTable& api_;
    std::array<int32_t, BoardLayer::Count> planeNets_{};
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
    // The component whose own shapes are being drawn, its markup per layer
    // and the layers it has markup on; the kept pieces, each once.
    ComponentInfo* drawing_ = nullptr;
    std::array<std::string, BoardLayer::Count> drawingLayers_;
    std::vector<int32_t> drawingOrder_;
    std::unordered_map<std::string, int32_t> ownPieceIds_;
    std::vector<const std::string*> ownPieces_;
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

// Opens the group of a net's shapes on one layer: data-n is the net's index
// in the net table (none for shapes of no net).
void NetGroup(std::string& out, int32_t net);

} // namespace Harrow::picture
