#include "host/BoardPicture.h"

#include "host/PicturePieces.h"
#include "sdk/JsonText.h"

#include <algorithm>
#include <cmath>
#include <map>

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

namespace picture {

// A plain whole number (layer ids, pixels).
void Int(std::string& out, int64_t v) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    out.append(buffer, end);
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
void NumPair(std::string& out, double x, double y, char between) {
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
extern const char* const kPictureCss;
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
    ReadPlaneNets();
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
    KeepOwn();
}

void Picture::KeepOwn() {
    if (drawing_ == nullptr)
        return;
    auto& own = drawing_->own;
    std::sort(drawingOrder_.begin(), drawingOrder_.end());
    drawingOrder_.erase(std::unique(drawingOrder_.begin(), drawingOrder_.end()),
                        drawingOrder_.end());
    for (const int32_t layer : drawingOrder_) {
        std::string& markup = drawingLayers_[layer];
        if (markup.empty())
            continue;
        auto [it, added] =
            ownPieceIds_.try_emplace(markup, static_cast<int32_t>(ownPieces_.size()));
        if (added)
            ownPieces_.push_back(&it->first);
        // After the pieces of its layer drawn before: a component's shapes on
        // one layer may come in more than one turn of the drawing.
        auto at = std::upper_bound(
            own.begin(), own.end(), layer,
            [](int32_t l, const ComponentInfo::OwnPiece& piece) { return l < piece.layer; });
        own.insert(at, {layer, it->second});
        markup.clear();
    }
    drawingOrder_.clear();
    drawing_ = nullptr;
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

// The net whose copper fills each plane layer (0: none), read with the rest
// of the board: the page's data is written after the board may be gone.
void Picture::ReadPlaneNets() {
    for (int32_t layer = BoardLayer::FirstPlane; layer <= BoardLayer::LastPlane; ++layer) {
        textA_[0] = '\0';
        api_.PcbApi_QueryInternalPlane(1, layer, board_, textA_.data());
        const auto named = std::find(netNames_.begin() + 1, netNames_.end(), textA_.data());
        planeNets_[static_cast<std::size_t>(layer)] =
            named == netNames_.end() ? 0 : static_cast<int32_t>(named - netNames_.begin());
    }
}

std::string Picture::Svg(const std::string& title, bool inlineSvg, PictureCounts* counts) {
    Draw();
    return Markup(title, inlineSvg, counts);
}

// The SVG document in the order it is written: header and style, view,
// definitions, layer groups, component groups, holes and outline. Kept
// whole so that the document's order is read in one place.
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

} // namespace picture

using picture::Picture;

const char* PictureCss() {
    return picture::kPictureCss;
}

std::map<std::string, long> BoardCounts(const PcbApiTable& api, intptr_t board,
                                        const std::function<int64_t(int32_t)>& countOf) {
    std::map<std::string, long> counts;
    for (int32_t kind = 1; kind < BoardKind::Count; ++kind) {
        auto count = static_cast<long>(countOf(kind));
        if (count < 0) {
            intptr_t iterator = api.PcbApi_CreateIterator(board, kind, 0, 0);
            if (iterator == 0)
                continue;
            count = 0;
            for (intptr_t h = api.PcbApi_GetFirstObject(iterator); h != 0;
                 h = api.PcbApi_GetNextObject(iterator))
                ++count;
            api.PcbApi_DestroyIterator(iterator);
        }
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

void WriteBoardViewPage(const PcbApiTable& api, intptr_t board, const std::string& title,
                        const std::string& summary, PageForm form, PictureCounts* counts,
                        const PageSink& sink, const std::function<void()>& drawn) {
    Picture picture(api, board);
    picture.Draw();
    if (drawn)
        drawn();
    if (form == PageForm::Data ||
        (form == PageForm::Auto && picture.Elements() > kMarkupPageElements)) {
        const PageFrame frame = DataPageFrame(title, summary);
        sink(frame.head);
        picture.WriteData(counts, sink);
        sink(frame.tail);
        return;
    }
    sink(BoardPage(picture.Markup(title, true, counts), title, summary));
}

std::string BoardViewPage(const PcbApiTable& api, intptr_t board, const std::string& title,
                          const std::string& summary, PageForm form, PictureCounts* counts) {
    std::string page;
    WriteBoardViewPage(api, board, title, summary, form, counts,
                       [&page](std::string_view piece) { page += piece; });
    return page;
}

} // namespace Harrow
