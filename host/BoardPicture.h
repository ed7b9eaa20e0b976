// A picture of a board: an SVG drawing of what the engine holds (outline,
// layers in stack order, tracks, arcs, fills, polygons, split planes,
// regions and keep-outs, pads with their shapes per layer and their holes,
// vias, texts, components with designators), read through the engine's
// PcbApi_ entry points; and a self-contained HTML page around it with a layer
// panel, net highlighting, zoom and pan, and the board summary.
//
// The drawing is in board coordinates: every coordinate in the file is the
// board's own, written in mil (host units / 10000, exact to the host unit),
// inside a group that turns the Y axis up. What repeats is defined once in
// <defs> and drawn as <use>s: pad, via and hole shapes (centred on the
// origin), and component images, a component's own pads and lines on one
// layer in its own frame, placed with transform="translate(x y)rotate(a)"; a
// chain of tracks of one layer, net and width is one path. Each layer is one
// group (class "layer", data-layer = the layer id, data-name, data-color);
// inside it the objects of one net share a group whose data-n indexes the net
// table (<metadata id="nets">, one <n> per net, from 1). A component is a
// <use> of its mark in its side's group (id "c<i>", data-ref its designator,
// data-n its pads' nets in the order of their data-i) and a <use> of its
// image per layer (data-c="<i>"); an image's pads carry their names in data-p.
// Groups are written from the bottom of the board to the top, so the top
// layer is painted last.
#pragma once

#include "boardapi/PcbApiTable.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace Harrow {

// Counts of what a picture holds, for a caller that reports them.
struct PictureCounts {
    long layers = 0;   // layer groups
    long elements = 0; // drawn shapes (a through pad counts once per layer)
    long components = 0;
};

// The SVG of `board`, a whole document (with the XML declaration unless
// `inline` for embedding in HTML). `title` names the board.
std::string BoardSvg(const PcbApiTable& api, intptr_t board, const std::string& title,
                     bool inlineSvg = false, PictureCounts* counts = nullptr);

// What the board summary counts (a large board's JSON dump takes far
// longer): "LayerStack", "LayerPairs" and "Objects/KIND" for every kind the
// board holds, named as the dump names them. `countOf` gives the number of
// objects of a kind where the engine keeps it (-1 where it does not); the
// others are walked through the entry points.
std::map<std::string, long> BoardCounts(const PcbApiTable& api, intptr_t board,
                                        const std::function<int64_t(int32_t)>& countOf);

// How the page draws the board: as SVG markup in the page, or from compact
// data that the page's script turns into a few long paths per layer (a large
// board: a browser opens it in seconds where it takes minutes to lay out
// hundreds of thousands of SVG elements). Auto takes the data above
// kMarkupPageElements drawn shapes.
enum class PageForm { Auto, Markup, Data };
constexpr long kMarkupPageElements = 40000;

// Where a page goes as it is made, piece after piece.
using PageSink = std::function<void(std::string_view)>;

// The HTML page of `board` in the given form, the summary text beside.
std::string BoardViewPage(const PcbApiTable& api, intptr_t board, const std::string& title,
                          const std::string& summary, PageForm form = PageForm::Auto,
                          PictureCounts* counts = nullptr);

// The same page, to `sink` as it is made. `drawn`, when given, is called
// once the board has been read: the page is made from the drawing alone
// after that, so the board may be closed there to free its memory.
void WriteBoardViewPage(const PcbApiTable& api, intptr_t board, const std::string& title,
                        const std::string& summary, PageForm form, PictureCounts* counts,
                        const PageSink& sink, const std::function<void()>& drawn = {});

// What a page holds before and after its view.
struct PageFrame {
    std::string head, tail;
};

// The page around the data of a board's picture (as the Data form gives it).
PageFrame DataPageFrame(const std::string& title, const std::string& summary);

// The style of the drawing's classes of shapes (the SVG holds it).
const char* PictureCss();

// The HTML page: `svg` (as BoardSvg gives it inline), the summary text beside.
std::string BoardPage(std::string svg, const std::string& title, const std::string& summary);

// Text as XML character data or attribute value: markup characters escaped,
// well-formed UTF-8 kept, any other byte taken as the character of that code,
// control characters that XML cannot hold replaced by U+FFFD.
void AppendXmlText(std::string& out, std::string_view text);

} // namespace Harrow
