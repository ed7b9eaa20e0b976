// The page data of a large board's picture.
#include "host/PicturePieces.h"
#include "sdk/JsonText.h"

#include <deque>

namespace Harrow::picture {

namespace {

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
    static constexpr uint32_t kNoPiece = UINT32_MAX;
    struct Piece {
        int32_t layer = 0, net = 0, style = 0;
        uint32_t next = kNoPiece; // the next piece of its layer and net
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
    // The first piece of each page layer and net that has any, by layer and
    // then net; a piece's `next` leads through the rest of its layer and net
    // in the order they were made.
    template <typename F> void EachGroup(F each) const {
        for (const std::vector<uint32_t>& nets : heads_)
            for (const uint32_t first : nets)
                if (first != kNoPiece)
                    each(first);
    }
    // The style index of a class, as the page's style list holds it.
    int32_t Style(std::string_view cls);
    // Shapes defined once (pad shapes), by the id the drawing uses.
    std::vector<std::string> shapes;
    // A large board has millions: a deque grows without copying them all.
    std::deque<Piece> pieces;
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
        ReadNumber(text.data(), text.data() + text.size(), v);
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
            const char* next = ReadNumber(at, end, v);
            if (next == at) {
                ++at;
                continue;
            }
            out.push_back(Finite(v));
            at = next;
        }
    }
    // The piece of a layer, net, style and width. Shapes come in runs of one
    // piece, and a layer and net hold a few pieces: the last piece found is
    // tried first, then those of its layer and net, found through a table
    // by layer and net index (both small whole numbers, never negative).
    Piece& PieceFor(int32_t layer, int32_t net, int32_t style, int64_t width) {
        if (last_ < pieces.size()) {
            Piece& p = pieces[last_];
            if (p.layer == layer && p.net == net && p.style == style && p.width == width)
                return p;
        }
        uint32_t& first = Head(layer, net);
        uint32_t tail = kNoPiece;
        for (uint32_t at = first; at != kNoPiece; tail = at, at = pieces[at].next)
            if (pieces[at].style == style && pieces[at].width == width) {
                last_ = at;
                return pieces[at];
            }
        last_ = static_cast<uint32_t>(pieces.size());
        Piece& made = pieces.emplace_back();
        made.layer = layer;
        made.net = net;
        made.style = style;
        made.width = width;
        (tail == kNoPiece ? first : pieces[tail].next) = last_;
        return made;
    }
    uint32_t& Head(int32_t layer, int32_t net) {
        const auto l = static_cast<std::size_t>(std::max(layer, 0));
        const auto n = static_cast<std::size_t>(std::max(net, 0));
        if (l >= heads_.size())
            heads_.resize(l + 1);
        std::vector<uint32_t>& nets = heads_[l];
        if (n >= nets.size())
            nets.resize(std::max(n + 1, 2 * nets.size()), kNoPiece);
        return nets[n];
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
    std::vector<std::vector<uint32_t>> heads_; // by page layer, then net
    uint32_t last_ = kNoPiece;
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
        const char* next = ReadNumber(d.data() + at, d.data() + d.size(), v);
        if (next == d.data() + at) {
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

} // namespace

// The page data in the order the page's script reads it: view, layers,
// styles, nets, pieces, components, pad lists, texts and the board's body.
// The parts share the page's layer table and the flattened shapes, so the
// data is written in one function, section by section, each part going to
// `sink` as it is made.
void Picture::WriteData(PictureCounts* counts, const PageSink& sink) {
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
        // Each net's markup goes once it is flattened: on a large board the
        // drawing and the data would otherwise be in memory together.
        LayerDrawing& drawing = layers_[layer];
        for (int32_t net : drawing.netOrder) {
            std::string& markup = drawing.byNet.at(net);
            flat.Add(markup, pageLayer[layer], net, board);
            std::string().swap(markup);
        }
        drawing = LayerDrawing{};
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
        EachOwnLayer(info, [&](int32_t layer, auto first, auto last) {
            used_[layer] = true;
            const int32_t at = pageLayer[layer];
            if (layers[static_cast<std::size_t>(at)].id == layer)
                for (; first != last; ++first)
                    flat.Add(OwnMarkup(first->markup), at, 0, place, &info.padNets, &pads);
        });
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
    // The data goes out a megabyte at a time: a large board's data is
    // hundreds of megabytes, which would otherwise be held whole beside the
    // pieces it is made of.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::string data;
    data.reserve(kPiece + 4096);
    const auto flush = [&](std::size_t atLeast) {
        if (data.size() >= atLeast) {
            sink(data);
            data.clear();
        }
    };
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
    data += "],\n\"C\":[";
    bool firstGroup = true;
    flat.EachGroup([&](uint32_t first) {
        const FlatShapes::Piece& group = flat.pieces[first];
        Box box;
        for (uint32_t at = first; at != FlatShapes::kNoPiece; at = flat.pieces[at].next) {
            const FlatShapes::Piece& piece = flat.pieces[at];
            // Grown by half the stroke width (a tenth of a mil each).
            const double grow = static_cast<double>(piece.width) / 20;
            if (!piece.box.Empty()) {
                box.Add(piece.box.minX, piece.box.minY, grow);
                box.Add(piece.box.maxX, piece.box.maxY, grow);
            }
        }
        if (box.Empty())
            box.Add(0, 0);
        data += firstGroup ? "[" : ",\n[";
        firstGroup = false;
        const int64_t head[6] = {group.layer,
                                 group.net,
                                 std::llround(std::clamp(box.minX * 10, -9.0e15, 9.0e15)),
                                 std::llround(std::clamp(box.minY * 10, -9.0e15, 9.0e15)),
                                 std::llround(std::clamp(box.maxX * 10, -9.0e15, 9.0e15)),
                                 std::llround(std::clamp(box.maxY * 10, -9.0e15, 9.0e15))};
        Ints(data, head, ',');
        for (uint32_t at = first; at != FlatShapes::kNoPiece; at = flat.pieces[at].next) {
            FlatShapes::Piece& piece = flat.pieces[at];
            data += ',';
            Int(data, piece.style);
            data += ',';
            Int(data, piece.width);
            data += ",\"";
            data += piece.d;
            data += '"';
            std::string().swap(piece.d); // the data holds it now
        }
        data += ']';
        flush(kPiece);
    });
    // Components: position, turn, side, designator, pattern, pad list, pad
    // nets, extent; pad lists: centre in its frame and name of each pad.
    // What is written goes: a large board's pieces and tables would
    // otherwise be held twice.
    std::deque<FlatShapes::Piece>().swap(flat.pieces);
    data += "],\n\"K\":[";
    flush(0);
    sink(components);
    std::string().swap(components);
    data += "],\n\"P\":[";
    flush(0);
    sink(padTable);
    std::string().swap(padTable);
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
    flush(0);
    if (counts != nullptr) {
        counts->layers = static_cast<long>(PaintOrder().size());
        counts->elements = elements_;
        counts->components = static_cast<long>(componentOrder_.size());
    }
}

} // namespace Harrow::picture
