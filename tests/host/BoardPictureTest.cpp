// The board picture of a small hand-made board with one object of every kind:
// the SVG read back element by element (groups per layer, shapes per layer,
// coordinates of a pad and a track, the Y axis up), escaped names, bad
// boards (empty, one layer, zero-size pad, coordinates at the ends of the
// 32-bit range), the page, and the page as a browser draws it.
#include "host/BoardPicture.h"
#include "host/BoardSummary.h"
#include "host/PicturePieces.h"
#include "host/RuleListing.h"
#include "support/NewBoard.h"
#include "support/ScratchShell.h"
#include "support/TempFolder.h"

#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using ::testing::_;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using namespace enginetest;
using testshell::Quote;
using testshell::Read;

Harrow::PcbApiTable LinkedApi() {
    Harrow::PcbApiTable table;
#define LINK_FUNCTION(R, N, D, P, A) table.N = &::N;
#define LINK_PROCEDURE(N, P, A) table.N = &::N;
    PCBAPI_FUNCTIONS(LINK_FUNCTION)
    PCBAPI_PROCEDURES(LINK_PROCEDURE)
#undef LINK_FUNCTION
#undef LINK_PROCEDURE
    return table;
}

// ---- the SVG as an element tree ----

struct Node {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::vector<std::unique_ptr<Node>> children;
    std::string text;
    Node* parent = nullptr;

    std::string Attr(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? std::string() : it->second;
    }
    // "key=value" of each of `keys` (an absent one empty), to compare at once.
    std::string Attrs(std::initializer_list<const char*> keys) const {
        std::string said;
        for (const char* key : keys)
            said += std::string(said.empty() ? "" : " ") + key + "=" + Attr(key);
        return said;
    }
    // This element and those below it that `match`, in document order.
    std::vector<const Node*> Where(const std::function<bool(const Node&)>& match) const {
        std::vector<const Node*> found;
        if (match(*this))
            found.push_back(this);
        for (const auto& child : children)
            for (const Node* n : child->Where(match))
                found.push_back(n);
        return found;
    }
    std::vector<const Node*> All(const std::string& element) const {
        return Where([&](const Node& n) { return n.name == element; });
    }
    const Node* ById(const std::string& id) const {
        const auto found = Where([&](const Node& n) { return n.Attr("id") == id; });
        return found.empty() ? nullptr : found[0];
    }
    // Elements of these names anywhere below (this one not counted).
    int Count(std::initializer_list<const char*> names) const {
        int count = 0;
        for (const char* element : names)
            count += static_cast<int>(All(element).size()) - (name == element);
        return count;
    }
    const Node* Child(const std::string& element) const {
        const auto it = std::find_if(children.begin(), children.end(),
                                     [&](const auto& child) { return child->name == element; });
        return it == children.end() ? nullptr : it->get();
    }
};

// Reads an SVG with libxml2 into the tree above; a document that is not
// well-formed XML (bad UTF-8, a control byte, an unknown entity, mismatched
// tags) fails the test with libxml2's message.
std::unique_ptr<Node> Convert(const xmlNode* element, Node* parent) {
    auto node = std::make_unique<Node>();
    node->parent = parent;
    node->name = reinterpret_cast<const char*>(element->name);
    for (const xmlNs* ns = element->nsDef; ns; ns = ns->next)
        node->attributes[ns->prefix
                             ? "xmlns:" + std::string(reinterpret_cast<const char*>(ns->prefix))
                             : "xmlns"] = reinterpret_cast<const char*>(ns->href);
    for (const xmlAttr* a = element->properties; a; a = a->next) {
        xmlChar* value = xmlNodeListGetString(element->doc, a->children, 1);
        node->attributes[reinterpret_cast<const char*>(a->name)] =
            value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
    }
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            node->children.push_back(Convert(c, node.get()));
        else if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE)
            node->text += reinterpret_cast<const char*>(c->content);
    }
    return node;
}

std::unique_ptr<Node> ParseSvg(const std::string& svg) {
    xmlResetLastError();
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(svg.data(), static_cast<int>(svg.size()), "picture.svg", "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE),
        xmlFreeDoc);
    const xmlError* error = xmlGetLastError();
    EXPECT_TRUE(doc && !error) << (error && error->message ? error->message : "no document");
    return doc && !error ? Convert(xmlDocGetRootElement(doc.get()), nullptr) : nullptr;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

// The numbers at the start of `text`, up to the first that is not one.
std::vector<double> Numbers(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<double>(in), std::istream_iterator<double>()};
}

// ---- the hand-made board ----

constexpr int32_t kMil = 10000;

// A straight polygon segment to (x, y).
PcbApiPolySegment Corner(int32_t x, int32_t y) {
    return {0, x, y, 0, 0, 0, 0, 0};
}

void MakeOutline(intptr_t board, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    intptr_t outline = PcbApi_CreateBoardOutline(board);
    Polygon p;
    Query(1, outline, p);
    p.segments = {Corner(x0, y0), Corner(x1, y0), Corner(x1, y1), Corner(x0, y1), Corner(x0, y0)};
    p.pointCount = 4;
    Query(0, outline, p);
    PcbApi_UpdateBoardOutline(outline);
}

intptr_t MakeFill(intptr_t board, int32_t layer, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return AddObject<enginetest::Fill>(board, 6, [&](enginetest::Fill& f) {
        f.c.layer = layer, f.c.x1 = x1, f.c.y1 = y1, f.x2 = x2, f.y2 = y2;
    });
}

class PictureBoard : public NewBoardTest {
protected:
    std::string Svg() { return Harrow::BoardSvg(LinkedApi(), board, "test board"); }

    intptr_t Track(int32_t layer, intptr_t net, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   int32_t width) {
        return AddObject<enginetest::Track>(board, 4, [&](enginetest::Track& t) {
            t.c.layer = layer, t.c.net = net, t.c.x1 = x1, t.c.y1 = y1, t.x2 = x2, t.y2 = y2;
            t.width = width;
        });
    }
    // A pad at (x, y) before its component is placed; simple stack.
    intptr_t Pad(const char* name, int32_t layer, intptr_t net, int32_t x, int32_t y, int32_t shape,
                 int32_t xs, int32_t ys, int32_t hole) {
        const intptr_t h = AddObject<enginetest::Pad>(0, 2, [&](enginetest::Pad& p) {
            p.name = Text(name), p.c.layer = layer, p.c.net = net, p.c.x1 = x, p.c.y1 = y;
            p.sizes[0] = xs, p.sizes[1] = ys, p.shapes[0] = shape, p.holeSize = hole;
        });
        int32_t mode = 0;
        PcbApi_QueryPadStackMode(0, h, &mode);
        return h;
    }
    intptr_t Component(const char* designator, std::vector<intptr_t> pads, int32_t x, int32_t y,
                       double angle, bool bottom) {
        intptr_t comp = PcbApi_CreateObject(9);
        for (intptr_t pad : pads)
            PcbApi_AddObjectToContainer(comp, pad);
        PcbApi_AddObjectToContainer(board, comp);
        enginetest::Component c;
        Query(1, comp, c);
        Text_ name;
        Query(1, c.nameText, name);
        name.text = Text(designator);
        Query(0, c.nameText, name);
        c.pattern = Text("SOIC"), c.c.x1 = x, c.c.y1 = y, c.angle = angle;
        c.c.layer = bottom ? 32 : 1;
        Query(0, comp, c);
        return comp;
    }

    // Outline 1000 x 800 mil; GND and a signal net with a name full of
    // markup; tracks, an arc, a fill, a polygon, a via, a split plane on a
    // plane layer in the stack, a keep-out region, a through pad, an SMD
    // component on top and a turned one on the bottom, a text.
    void FillBoard() {
        MakeOutline(board, 0, 0, 1000 * kMil, 800 * kMil);
        gnd = AddNet(board, "GND");
        sig = AddNet(board, "S<&\"'>\xff");
        Track(1, gnd, 100 * kMil, 100 * kMil, 400 * kMil, 100 * kMil, 10 * kMil);
        Track(32, sig, 100 * kMil, 700 * kMil, 400 * kMil, 650 * kMil, 8 * kMil);

        AddObject<Arc>(board, 1, [&](Arc& a) {
            a.c.layer = 1, a.c.net = sig, a.c.x1 = 500 * kMil, a.c.y1 = 500 * kMil;
            a.radius = 100 * kMil, a.angle1 = 0, a.angle2 = 90, a.lineWidth = 5 * kMil;
        });
        MakeFill(board, 1, 800 * kMil, 600 * kMil, 900 * kMil, 700 * kMil);
        AddObject<Polygon>(board, 10, [&](Polygon& pg) {
            pg.c.layer = 1, pg.c.net = gnd, pg.pointCount = 3;
            pg.segments = {Corner(600 * kMil, 100 * kMil), Corner(700 * kMil, 100 * kMil),
                           Corner(700 * kMil, 200 * kMil), Corner(600 * kMil, 100 * kMil)};
        });
        AddObject<enginetest::Via>(board, 3, [&](enginetest::Via& v) {
            v.c.net = gnd, v.c.x1 = 450 * kMil, v.c.y1 = 100 * kMil, v.size = 40 * kMil;
            v.holeSize = 20 * kMil, v.low = 1, v.high = 32;
        });
        PcbApi_InsertLayerInStack(board, 39, 1);
        char plane[PCBAPI_TEXT_CAPACITY] = "GND";
        PcbApi_QueryInternalPlane(0, 39, board, plane);
        AddObject<Polygon>(board, 22, [&](Polygon& sp) {
            sp.c.layer = 39, sp.c.net = sig, sp.pointCount = 3;
            sp.segments = {Corner(0, 0), Corner(200 * kMil, 0), Corner(200 * kMil, 200 * kMil)};
        });
        AddObject<Region>(board, 11, [&](Region& rg) {
            rg.c.layer = 56, rg.c.bitField = PCBAPI_BITFIELD_KEEPOUT;
            rg.contour = {
                {300 * kMil, 300 * kMil}, {400 * kMil, 300 * kMil}, {400 * kMil, 400 * kMil}};
        });
        through = Pad("T", 74, gnd, 900 * kMil, 100 * kMil, 1, 60 * kMil, 60 * kMil, 30 * kMil);
        PcbApi_AddObjectToContainer(board, through);

        // Two pads 60 x 30 mil, pin 1 at -50 mil.
        auto pads = [&] {
            return std::vector{Pad("1", 1, sig, -50 * kMil, 0, 2, 60 * kMil, 30 * kMil, 0),
                               Pad("2", 1, gnd, 50 * kMil, 0, 2, 60 * kMil, 30 * kMil, 0)};
        };
        // U1 on top at (200, 400) mil, not turned; U2 on the bottom at (700,
        // 400) mil turned 90 degrees: its pad 1 goes to +50 mil by the mirror,
        // then up by the turn.
        u1 = Component("U1", pads(), 200 * kMil, 400 * kMil, 0, false);
        u2 = Component("U2", pads(), 700 * kMil, 400 * kMil, 90, true);

        AddObject<Text_>(board, 5, [&](Text_& tx) {
            tx.c.layer = 33, tx.c.x1 = 100 * kMil, tx.c.y1 = 750 * kMil;
            tx.text = Text("Rev <A> & \"B\"");
        });
    }

    // One layer, a pad of no size, an outline and a track from one end of
    // the 32-bit range to the other.
    void ExtremeBoard() {
        ASSERT_EQ(PcbApi_RemoveLayerFromStack(board, 32), 0);
        MakeOutline(board, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
        Track(1, 0, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX);
        PcbApi_AddObjectToContainer(board, Pad("0", 1, 0, 5, 5, 2, 0, 0, 0));
    }

    // The nets of `node`'s data-n: names of the net table by index (0: no net).
    static std::vector<std::string> NetsOf(const Node& root, const Node& node) {
        std::vector<std::string> table{""}, names;
        if (const Node* nets = root.ById("nets"))
            for (const auto& n : nets->children)
                table.push_back(n->text);
        for (double at : Numbers(node.Attr("data-n")))
            names.push_back(at < table.size() ? table[static_cast<std::size_t>(at)] : "?");
        return names;
    }
    // A component's pad as drawn on `layer`: the pad in the image, the use of
    // the image, and the component's mark.
    struct PlacedPad {
        const Node *pad = nullptr, *image = nullptr, *mark = nullptr;
    };
    static PlacedPad FindPad(const Node& root, int layer, const std::string& ref,
                             const std::string& pin) {
        PlacedPad found;
        for (const Node* use : root.All("use"))
            if (use->Attr("class") == "c" && use->Attr("data-ref") == ref)
                found.mark = use;
        if (found.mark == nullptr || Layer(root, layer) == nullptr)
            return found;
        for (const Node* use : Layer(root, layer)->All("use"))
            if ("c" + use->Attr("data-c") == found.mark->Attr("id"))
                found.image = use;
        if (const Node* image = Used(root, found.image))
            for (const auto& pad : image->children)
                if (pad->Attr("data-p") == pin)
                    found.pad = pad.get();
        return found;
    }
    // (x, y) through a transform of translate() and rotate() steps, the last
    // step first; rounded to 1e-4.
    static std::pair<double, double> Place(const std::string& transform, double x, double y) {
        const std::size_t open = transform.rfind('(');
        if (open == std::string::npos)
            return {std::round(x * 1e4) / 1e4, std::round(y * 1e4) / 1e4};
        const std::size_t start = transform.rfind(')', open) + 1; // 0 for the first step
        const std::string step = transform.substr(start, open - start),
                          before = transform.substr(0, start);
        const std::vector<double> v = Numbers(transform.substr(open + 1));
        if (step == "translate")
            return Place(before, x + v.at(0), y + v.at(1));
        const double t = (step == "rotate" ? v.at(0) : 0) * M_PI / 180;
        return Place(before, x * std::cos(t) - y * std::sin(t), x * std::sin(t) + y * std::cos(t));
    }
    // The shape a <use> draws.
    static const Node* Used(const Node& root, const Node* use) {
        const std::string href = use ? use->Attr("href") : "";
        return href.size() > 1 ? root.ById(href.substr(1)) : nullptr;
    }
    static const Node* Layer(const Node& root, int layer) {
        return root.ById("layer-" + std::to_string(layer));
    }

    // DSNLINK_PICTURE_KEEP=FILE.pcbdoc keeps the board to look at.
    void KeepIfAsked() {
        if (const char* keep = std::getenv("DSNLINK_PICTURE_KEEP")) {
            char error[256] = {};
            ASSERT_EQ(Corvane_SaveBoard(board, keep, error, sizeof error), 1) << error;
        }
    }

    intptr_t gnd = 0, sig = 0, through = 0, u1 = 0, u2 = 0;
};

TEST_F(PictureBoard, EveryLayerIsOneGroupWithItsShapesInTheBoardsCoordinatesWithYUp) {
    FillBoard();
    ASSERT_NO_FATAL_FAILURE(KeepIfAsked());
    auto root = ParseSvg(Svg());
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->name, "svg");
    EXPECT_EQ(root->Attr("xmlns"), "http://www.w3.org/2000/svg");

    // Groups from the bottom of the board to the top: the bottom overlay (U2's
    // designator went there with U2), then the stack (top, plane, bottom)
    // from the bottom up, the top overlay, the keep-outs.
    std::vector<std::string> layers;
    for (const Node* g : root->All("g"))
        if (g->Attr("data-layer") != "")
            layers.push_back(g->Attr("data-layer"));
    EXPECT_EQ(layers, (std::vector<std::string>{"34", "32", "39", "1", "33", "56"}));

    // The groups of the layers and of the holes, components and flip.
    const Node *top = Layer(*root, 1), *bottom = Layer(*root, 32), *plane = Layer(*root, 39),
               *keepout = Layer(*root, 56), *overlay = Layer(*root, 33),
               *bottomOverlay = Layer(*root, 34), *holes = root->ById("holes"),
               *topComponents = root->ById("components-top"),
               *bottomComponents = root->ById("components-bottom"), *flip = root->ById("flip");
    ASSERT_TRUE(top && bottom && plane && keepout && overlay && bottomOverlay && holes &&
                topComponents && bottomComponents && flip);
    EXPECT_EQ(top->Attrs({"data-name", "data-color"}), "data-name=Top Layer data-color=#e03c3c");
    EXPECT_EQ(bottom->Attr("data-color"), "#3c78e0");
    // Top: a track, an arc, a fill, a polygon, U1's image (its two pads), the
    // through pad, the via; a free pad is a use of its shape defined once.
    EXPECT_EQ(top->Count({"path"}), 3);   // track, arc and polygon
    EXPECT_EQ(top->Count({"rect"}), 1);   // fill
    EXPECT_EQ(top->Count({"use"}), 2);    // U1's image, through pad
    EXPECT_EQ(top->Count({"circle"}), 1); // via
    EXPECT_EQ(top->Count({"line", "polygon"}), 0);
    // Bottom: a track, U2's image, the through pad, the via.
    EXPECT_EQ(bottom->Count({"path"}), 1);
    EXPECT_EQ(bottom->Count({"use"}), 2);
    EXPECT_EQ(bottom->Count({"circle"}), 1);
    EXPECT_EQ(bottom->Count({"line", "rect"}), 0);
    // Definitions: the through pad's shape; one per image (U2's pads are
    // mirrored) and one per mark (pin 1 on the other end).
    ASSERT_NE(root->Child("defs"), nullptr);
    std::map<char, int> defined;
    for (const auto& def : root->Child("defs")->children)
        ++defined[def->Attr("id").at(0)];
    EXPECT_EQ(defined, (std::map<char, int>{{'s', 1}, {'f', 2}, {'m', 2}}));
    const PlacedPad u1Pin2 = FindPad(*root, 1, "U1", "2"), u2Pin2 = FindPad(*root, 32, "U2", "2");
    ASSERT_TRUE(u1Pin2.pad && u2Pin2.pad);
    EXPECT_NE(u1Pin2.image->Attr("href"), u2Pin2.image->Attr("href"));
    // The plane: its split plane, and the board shape in the plane's net.
    EXPECT_EQ(plane->Count({"path"}), 2);
    EXPECT_EQ(plane->All("path")[0]->Attr("class"), "sp");
    // Keep-out layer: the region, drawn as a keep-out.
    ASSERT_EQ(keepout->Count({"path"}), 1);
    EXPECT_EQ(keepout->All("path")[0]->Attrs({"class", "d"}),
              "class=r ko d=M300 300L400 300L400 400Z");
    // Holes: the through pad's and the via's, a dot (a line of no length with
    // round ends) as wide as the hole, one path per diameter.
    ASSERT_EQ(holes->Count({"path"}), 2);
    EXPECT_EQ(holes->All("path")[0]->Attrs({"stroke-width", "d"}), "stroke-width=30 d=M900 100h0");
    EXPECT_EQ(holes->All("path")[1]->Attr("d"), "M450 100h0");
    // Components, each side in its group, each a <use> of its mark: where it
    // stands and how it is turned, its pattern, its pads' nets in the net
    // table.
    ASSERT_EQ(topComponents->All("use").size(), 1u);
    EXPECT_EQ(topComponents->All("use")[0]->Attrs({"data-ref", "transform"}),
              "data-ref=U1 transform=translate(200 400)");
    ASSERT_EQ(bottomComponents->All("use").size(), 1u);
    const Node* mark = bottomComponents->All("use")[0];
    EXPECT_EQ(mark->Attrs({"data-ref", "transform"}),
              "data-ref=U2 transform=translate(700 400)rotate(90)");
    ASSERT_NE(Used(*root, mark), nullptr);
    EXPECT_EQ(Used(*root, mark)->Attr("data-pattern"), "SOIC");
    EXPECT_EQ(NetsOf(*root, *mark), (std::vector<std::string>{"S<&\"'>\xc3\xbf", "GND"}));
    // The designators are the components' name texts on the top overlay.
    std::vector<std::string> texts;
    for (const Node* t : overlay->All("text"))
        texts.push_back(t->text);
    EXPECT_EQ(texts, (std::vector<std::string>{"U1", "Rev <A> & \"B\""}));
    ASSERT_EQ(bottomOverlay->All("text").size(), 1u);
    EXPECT_EQ(bottomOverlay->All("text")[0]->text, "U2");
    EXPECT_THAT(bottomOverlay->All("text")[0]->Attr("transform"),
                HasSubstr("scale(-0.6 -0.6)")); // mirrored, as seen from the top

    // The board's coordinates in mil. The track exactly as on the board, in
    // its net's group, with its width.
    EXPECT_EQ(root->Attr("data-unit"), "mil");
    const Node* line = nullptr;
    for (const Node* path : top->All("path"))
        if (path->Attr("class") == "t" && path->Attr("d").find('A') == std::string::npos)
            line = path;
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->Attrs({"d", "stroke-width"}), "d=M100 100L400 100 stroke-width=10");
    EXPECT_EQ(NetsOf(*root, *line->parent), std::vector<std::string>{"GND"});
    // U1's pad 1: 60 x 30 mil about (150, 400) mil, -50 mil from U1's origin
    // in U1's image; its net the first of U1's.
    const PlacedPad u1 = FindPad(*root, 1, "U1", "1");
    ASSERT_NE(u1.pad, nullptr);
    EXPECT_EQ(u1.pad->name, "rect");
    EXPECT_EQ(u1.pad->Attrs({"x", "y", "width", "height", "transform", "data-i"}),
              "x=-80 y=-15 width=60 height=30 transform= data-i=0");
    EXPECT_EQ(u1.image->Attr("transform"), "translate(200 400)");
    EXPECT_EQ(Place(u1.image->Attr("transform"), -50, 0), std::pair(150.0, 400.0));
    EXPECT_THAT(NetsOf(*root, *u1.mark), ElementsAre("S<&\"'>\xc3\xbf", _));
    // U2's pad 1 on the bottom: mirrored to +50 mil in U2's image, turned up
    // with U2 to (700, 450). Mirrored and turned by 90 the engine keeps as
    // 270 degrees: 180 in U2's frame, the same rectangle as U1's, not turned.
    const PlacedPad u2 = FindPad(*root, 32, "U2", "1");
    ASSERT_NE(u2.pad, nullptr);
    EXPECT_EQ(u2.pad->Attrs({"x", "y", "width", "transform"}), "x=20 y=-15 width=60 transform=");
    EXPECT_EQ(Place(u2.image->Attr("transform"), 50, 0), std::pair(700.0, 450.0));
    // The arc from 0 to 90 degrees turns counter-clockwise (sweep 1) in
    // board axes.
    const Node* arc = nullptr;
    for (const Node* path : top->All("path"))
        if (path->Attr("class") == "t")
            arc = path;
    ASSERT_NE(arc, nullptr);
    EXPECT_EQ(arc->Attr("d"), "M600 500A100 100 0 0 1 500 600");
    // Y up: one flip of the whole drawing; the view box spans the outline
    // with y negated, so the board's top edge (y = 800 mil) is the smallest
    // view y.
    EXPECT_EQ(flip->Attr("transform"), "scale(1 -1)");
    EXPECT_EQ(flip->children.back()->Attr("id"), "outline"); // the outline last, over everything
    std::vector<double> view = Numbers(root->Attr("viewBox"));
    ASSERT_EQ(view.size(), 4u);
    EXPECT_LT(view[0], 0);
    EXPECT_GT(view[0] + view[2], 1000);
    EXPECT_LT(view[1], -800);
    EXPECT_GT(view[1] + view[3], 0);
    EXPECT_LT(view[1] + view[3], 100); // no room for a board below y = 0
    // Texts stand upright again inside the flip.
    const Node* text = overlay->All("text")[1];
    EXPECT_EQ(text->Attr("transform"), "translate(100 750)scale(0.6 -0.6)"); // 60 mil high
    EXPECT_EQ(text->Attr("class"), "x"); // glyphs 100 high, by the style
}

// Components of one footprint share one image however their shapes come:
// here each one's outline line is drawn in the pass over tracks and its pads
// in the pass over pads, so the shapes of a component on one layer arrive in
// two turns with the other components' shapes between them.
TEST_F(PictureBoard, ComponentsOfOneFootprintShareAnImageDrawnInTurns) {
    const intptr_t net = AddNet(board, "N1");
    auto pads = [&] {
        return std::vector{Pad("1", 1, net, -50 * kMil, 0, 2, 60 * kMil, 30 * kMil, 0),
                           Pad("2", 1, 0, 50 * kMil, 0, 2, 60 * kMil, 30 * kMil, 0)};
    };
    const intptr_t a = Component("A", pads(), 200 * kMil, 200 * kMil, 0, false);
    const intptr_t b = Component("B", pads(), 600 * kMil, 200 * kMil, 0, false);
    Component("C", pads(), 400 * kMil, 600 * kMil, 0, false);
    // A's and B's outline lines, 100 mil below their centres; C has none.
    for (const auto& [component, x] : {std::pair{a, 200}, std::pair{b, 600}})
        AddObject<enginetest::Track>(component, 4, [&, x = x](enginetest::Track& t) {
            t.c.layer = 1, t.c.x1 = (x - 80) * kMil, t.c.y1 = 100 * kMil;
            t.x2 = (x + 80) * kMil, t.y2 = 100 * kMil, t.width = 5 * kMil;
        });
    auto root = ParseSvg(Svg());
    ASSERT_NE(root, nullptr);
    const PlacedPad pinA = FindPad(*root, 1, "A", "1"), pinB = FindPad(*root, 1, "B", "1"),
                    pinC = FindPad(*root, 1, "C", "1");
    ASSERT_TRUE(pinA.image && pinB.image && pinC.image);
    EXPECT_EQ(pinA.image->Attr("href"), pinB.image->Attr("href"));
    EXPECT_NE(pinA.image->Attr("href"), pinC.image->Attr("href"));
    // The image holds the line and then the pads, as they were drawn; C's
    // holds its pads alone.
    auto shapes = [&](const PlacedPad& pin) {
        std::vector<std::string> said;
        for (const auto& shape : Used(*root, pin.image)->children)
            said.push_back(shape->name + (shape->Attr("data-p").empty()
                                              ? " " + shape->Attr("d")
                                              : " pad " + shape->Attr("data-p")));
        return said;
    };
    EXPECT_EQ(shapes(pinA),
              (std::vector<std::string>{"path M-80 -100L80 -100", "rect pad 1", "rect pad 2"}));
    EXPECT_EQ(shapes(pinC), (std::vector<std::string>{"rect pad 1", "rect pad 2"}));
    // Each component's pads keep their own nets.
    EXPECT_EQ(NetsOf(*root, *pinB.mark), (std::vector<std::string>{"N1", ""}));
}

TEST_F(PictureBoard, NamesAreEscapedAndStrayBytesBecomeCharacters) {
    FillBoard();
    const std::string svg = Svg();
    EXPECT_THAT(svg, HasSubstr("<n>S&lt;&amp;&quot;&#39;&gt;\xc3\xbf</n>"));
    auto root = ParseSvg(svg);
    ASSERT_NE(root, nullptr);
    std::set<std::string> nets; // of every net's group
    for (const Node* g : root->All("g"))
        for (const std::string& net : NetsOf(*root, *g))
            nets.insert(net);
    EXPECT_EQ(nets, (std::set<std::string>{"GND", "S<&\"'>\xc3\xbf"}));

    std::string text;
    Harrow::AppendXmlText(text, std::string("a\x01\xed\xa0\x80\xe2\x82\xac\xc3", 9));
    EXPECT_EQ(text, "a\xef\xbf\xbd\xc3\xad\xc2\xa0\xc2\x80\xe2\x82\xac\xc3\x83");
}

TEST_F(PictureBoard, AnEmptyBoardIsAValidPictureAboutTheOrigin) {
    auto root = ParseSvg(Svg());
    ASSERT_NE(root, nullptr);
    std::vector<double> view = Numbers(root->Attr("viewBox"));
    ASSERT_EQ(view.size(), 4u);
    EXPECT_GT(view[2], 0);
    EXPECT_GT(view[3], 0);
    EXPECT_LT(view[0], 0);
    EXPECT_GT(view[0] + view[2], 0);
    EXPECT_EQ(root->ById("outline"), nullptr);
    // The stack's two layers, empty.
    EXPECT_EQ(root->Count({"line", "rect", "circle", "path", "polygon", "text"}), 1); // background
}

TEST_F(PictureBoard, OneLayerZeroSizePadsAndTheEndsOfTheRange) {
    ASSERT_NO_FATAL_FAILURE(ExtremeBoard());
    PcbApi_AddObjectToContainer(board, Pad("N", 1, 0, 7, 7, 0, 100, 100, 0)); // of no shape
    auto root = ParseSvg(Svg());
    ASSERT_NE(root, nullptr);
    std::vector<double> view = Numbers(root->Attr("viewBox"));
    ASSERT_EQ(view.size(), 4u);
    for (double v : view)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_LE(view[0], INT32_MIN / 1e4);
    EXPECT_GE(view[0] + view[2], INT32_MAX / 1e4);
    const Node* top = Layer(*root, 1);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(Layer(*root, 32), nullptr);
    EXPECT_EQ(top->Count({"path"}), 1);
    EXPECT_EQ(top->Count({"use"}), 0); // pads of no size or shape
    EXPECT_EQ(top->All("path")[0]->Attr("d"), "M-214748.3648 -214748.3648L214748.3647 214748.3647");
}

TEST_F(PictureBoard, ThePageHoldsThePictureAndNeedsNoNetwork) {
    FillBoard();
    const std::string svg = Harrow::BoardSvg(LinkedApi(), board, "b<&>", true);
    EXPECT_EQ(svg.rfind("<svg", 0), 0u); // no XML declaration inside a page
    const std::string page = Harrow::BoardPage(svg, "b<&>", "board: x<y&z\nnets: 2\n");
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_THAT(page, HasSubstr(svg));
    EXPECT_THAT(page, HasSubstr("<title>b&lt;&amp;&gt;</title>"));
    EXPECT_THAT(page, HasSubstr("board: x&lt;y&amp;z\nnets: 2"));
    for (const char* outside : {" src=", "url(", "@import", "fetch(", "XMLHttpRequest"})
        EXPECT_THAT(page, Not(HasSubstr(outside))) << outside;
    for (std::size_t at = page.find(" href="); at != std::string::npos;
         at = page.find(" href=", at + 1))
        EXPECT_EQ(page.compare(at, 8, " href=\"#"), 0) << "a link out of the page";
    int links = 0;
    for (std::size_t at = page.find("http"); at != std::string::npos;
         at = page.find("http", at + 1), ++links)
        EXPECT_EQ(page.compare(at, 26, "http://www.w3.org/2000/svg"), 0);
    EXPECT_EQ(links, 1);
}

bool NoPython() {
    return std::system("command -v python3 >/dev/null 2>&1") != 0;
}

// Chromium's path, or "" when it or python3 is missing.
std::string Chromium() {
    if (NoPython())
        return "";
    if (const char* browser = std::getenv("DSNLINK_CHROMIUM"); browser && *browser)
        return browser;
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (::access(candidate, X_OK) == 0)
            return candidate;
    return "";
}

// ---- the page of a large board: data that the page draws ----

class DataPage : public PictureBoard {
protected:
    std::string Page() {
        return Harrow::BoardViewPage(LinkedApi(), board, "b<&>", "board: x<y&z\n",
                                     Harrow::PageForm::Data);
    }
    // Reads into `facts` what page_data.py reads from `page` (python's JSON
    // reader), a line each; a failure with the last line when it fails.
    ::testing::AssertionResult ReadFacts(const std::string& page) {
        std::ofstream(folder + "/page.html", std::ios::binary) << page;
        const std::string command =
            "python3 " + Quote(std::string(DSNLINK_SOURCE_DIR) + "/tests/host/page_data.py") + " " +
            Quote(folder + "/page.html") + " >" + Quote(folder + "/facts") + " 2>&1";
        const int exitCode = WEXITSTATUS(std::system(command.c_str()));
        facts = Split(Read(folder + "/facts"), '\n');
        if (exitCode == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << (facts.empty() ? "" : facts.back());
    }
    std::vector<std::string> facts;
    const testfs::TempFolder scratch;
    const std::string folder = scratch.path.string();
};

TEST_F(DataPage, ComponentsPadsAndNetsAreTheBoards) {
    if (NoPython())
        GTEST_SKIP() << "no python3 to read the page's data";
    FillBoard();
    const std::string page = Page();
    ASSERT_TRUE(ReadFacts(page));
    // Positions in tenths of a mil; U2 on the bottom, turned; a stray byte
    // in a name is the character of its code.
    for (const char* fact :
         {"component\tU1\t2000\t4000\t0\ttop\tSOIC", "component\tU2\t7000\t4000\t90\tbottom\tSOIC",
          "net\tGND", "net\tS<&\"'>\xc3\xbf", "pad\tU1\t1\t1500\t4000\tS<&\"'>\xc3\xbf",
          "pad\tU1\t2\t2500\t4000\tGND"})
        EXPECT_THAT(facts, Contains(fact));
    // Every component pad where a pad piece of its net lies: the pad table
    // the pointer reads and the shapes the canvas draws agree.
    int pads = 0;
    for (const std::string& fact : facts) {
        const std::vector<std::string> pad = Split(fact, '\t');
        if (pad.size() != 6 || pad[0] != "pad")
            continue;
        ++pads;
        const double x = std::stod(pad[3]), y = std::stod(pad[4]);
        EXPECT_TRUE(std::any_of(facts.begin(), facts.end(), [&](const std::string& other) {
            const std::vector<std::string> piece = Split(other, '\t');
            return piece.size() == 8 && piece[0] == "piece" && piece[2] == "p" &&
                   piece[3] == pad[5] && std::stod(piece[4]) <= x && x <= std::stod(piece[6]) &&
                   std::stod(piece[5]) <= y && y <= std::stod(piece[7]);
        })) << fact;
    }
    EXPECT_EQ(pads, 4);
    // The pieces come as one entry per page layer and net, in layer and
    // then net order: the page finds a net's pieces on a layer by that.
    std::vector<std::pair<int, int>> groups;
    for (const std::string& fact : facts) {
        const std::vector<std::string> group = Split(fact, '\t');
        if (group.size() == 3 && group[0] == "group")
            groups.emplace_back(std::stoi(group[1]), std::stoi(group[2]));
    }
    EXPECT_GT(groups.size(), 6u);
    EXPECT_TRUE(std::adjacent_find(groups.begin(), groups.end(), std::greater_equal<>()) ==
                groups.end());
    // The data cannot end the script early; the page needs no network.
    const std::size_t data = page.find("id=\"data\">");
    ASSERT_NE(data, std::string::npos);
    EXPECT_EQ(page.find('<', data), page.find("</script>", data));
    EXPECT_THAT(page, HasSubstr("<title>b&lt;&amp;&gt;</title>"));
    EXPECT_THAT(page, HasSubstr("board: x&lt;y&amp;z"));
    for (const char* outside : {" src=", "url(", "@import", "fetch(", "XMLHttpRequest", "href"})
        EXPECT_THAT(page, Not(HasSubstr(outside))) << outside;
}

// harrow writes a large board's page as it is made, after closing the board
// once it is drawn: the page must come from the drawing alone, and its pieces
// must make the page that is made whole, in either form.
TEST_F(DataPage, APageMadeInPiecesAfterTheBoardClosedIsThePageMadeWhole) {
    for (const Harrow::PageForm form : {Harrow::PageForm::Markup, Harrow::PageForm::Data}) {
        FillBoard();
        const std::string whole =
            Harrow::BoardViewPage(LinkedApi(), board, "b", "board: b\n", form);
        ASSERT_THAT(whole, HasSubstr("U2"));
        std::string pieces;
        int calls = 0;
        Harrow::WriteBoardViewPage(
            LinkedApi(), board, "b", "board: b\n", form, nullptr,
            [&](std::string_view piece) {
                pieces += piece;
                ++calls;
            },
            [&] {
                EXPECT_EQ(calls, 0) << "the board is read before any piece goes";
                Corvane_CloseBoard(board);
            });
        EXPECT_EQ(pieces, whole);
        EXPECT_GT(calls, form == Harrow::PageForm::Data ? 3 : 0);
        board = NewBoard("next"); // the fixture closes the last
    }
}

// The page data reads back the numbers of the drawing's markup: its quick
// reading must give exactly what a full conversion gives, bit for bit.
TEST(PageNumbers, ReadAsAFullConversionReadsThem) {
    const auto same = [](std::string_view text) {
        double quick = -1, full = -1;
        const char* end = text.data() + text.size();
        const char* read = Harrow::picture::ReadNumber(text.data(), end, quick);
        const auto [next, error] = std::from_chars(text.data(), end, full);
        if (error != std::errc())
            return read == text.data();
        return read == next && std::memcmp(&quick, &full, sizeof quick) == 0;
    };
    for (const char* text : {"0",
                             "-0",
                             "12.5",
                             "-0.1",
                             "0.30000000000000004",
                             "5.",
                             ".5",
                             "-",
                             "",
                             "1e5",
                             "2.5E-3",
                             "123456789012345",
                             "1234567890123456",
                             "999999999999999.9",
                             "0.0000000000000000000001",
                             "7 8",
                             "-3,4",
                             "inf",
                             "nan",
                             "x1"})
        EXPECT_TRUE(same(text)) << text;
    std::mt19937_64 random(7);
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        const uint64_t value = random() % 100000000000000000ull >> (random() % 57);
        text = (random() % 2 ? "-" : "") + std::to_string(value);
        const std::size_t point = random() % (text.size() + 1);
        if (point > (text[0] == '-' ? 1u : 0u) && point < text.size())
            text.insert(point, ".");
        ASSERT_TRUE(same(text)) << text;
    }
}

TEST_F(DataPage, EmptyAndExtremeBoardsGiveValidData) {
    if (NoPython())
        GTEST_SKIP() << "no python3 to read the page's data";
    EXPECT_TRUE(ReadFacts(Page()));
    EXPECT_TRUE(facts.empty()); // nothing drawn, no component, no net
    ASSERT_NO_FATAL_FAILURE(ExtremeBoard());
    EXPECT_TRUE(ReadFacts(Page()));
    // The track from one end of the range to the other, its extent in
    // tenths of a mil grown by half its width; no pad of no size drawn.
    EXPECT_THAT(facts, Contains(AllOf(HasSubstr("\tt\t-\t"),
                                      HasSubstr("\t-3221226\t-3221226\t3221226\t3221226"))));
    EXPECT_THAT(facts, Each(Not(HasSubstr("\tp\t")))) << "a pad of no size drawn";
}

TEST_F(DataPage, ThePointerNamesAPadAndAClickHighlightsItsNetInEitherForm) {
    const std::string chromium = Chromium();
    if (chromium.empty())
        GTEST_SKIP() << "no chromium or python3: install them (bash tools/deps.sh --browser) to "
                        "see the page in a browser";
    FillBoard();
    for (const Harrow::PageForm form : {Harrow::PageForm::Data, Harrow::PageForm::Markup}) {
        const bool data = form == Harrow::PageForm::Data;
        SCOPED_TRACE(data ? "the page of data" : "the page of SVG markup");
        // The pointer over U1's pad 2 at (250, 400) mil (the data's unit is a
        // tenth of a mil), a click, then GND's track; chromium prints the DOM.
        const std::string at = data ? "{pad: [2500, 4000], track: [2500, 1000]}"
                                    : "{pad: [250, 400], track: [250, 100]}";
        std::string page = Harrow::BoardViewPage(LinkedApi(), board, "b", "", form);
        page.insert(page.rfind("</body>"),
                    "<script>var at = " + at + ";\n" +
                        Read(std::string(DSNLINK_SOURCE_DIR) + "/tests/host/data/pointer.js") +
                        "</script>");
        std::ofstream(folder + "/pointer.html", std::ios::binary | std::ios::trunc) << page;
        const std::string command =
            Quote(chromium) +
            " --headless --no-sandbox --disable-gpu --window-size=1300,800 --dump-dom file://" +
            Quote(folder + "/pointer.html") + " >" + Quote(folder + "/dom.html") + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string dom = Read(folder + "/dom.html");
        const std::size_t said = dom.find("HOVER[");
        ASSERT_NE(said, std::string::npos) << dom.substr(0, 2000);
        const std::string report = dom.substr(said, dom.find("]TRACK[", said) + 200 - said);
        EXPECT_THAT(report, HasSubstr(data ? "HOVER[U1-2\nU1 (SOIC), top, 0 deg\nnet GND\n"
                                           : "HOVER[U1-2\nnet GND\n"));
        EXPECT_THAT(report, Not(HasSubstr("LIT[0]")));
        EXPECT_THAT(report, HasSubstr("INFO[highlighted: net GND ("));
        // The pointer over GND's track at (250, 100) mil on the top layer (on
        // the SVG page, over its highlighted copy, of no layer).
        EXPECT_THAT(report, HasSubstr(data ? "TRACK[highlighted: net GND\nnet GND\nTop Layer]"
                                           : "TRACK[highlighted: net GND\nnet GND]"));
    }
}

TEST_F(PictureBoard, CountsGiveTheSummaryTheDumpGives) {
    FillBoard();
    PcbApi_AddLayerPair(board, "Top-Bottom", 1, 32);
    const std::string path = UniqueName("summary") + ".json";
    char error[256] = {};
    ASSERT_EQ(Corvane_DumpBoardJson(board, path.c_str(), error, sizeof error), 1) << error;
    std::ostringstream fromJson, fromCounts, fromWalks;
    Harrow::PrintBoardSummary(fromJson, "b", Read(path), true);
    // The engine's counts, and walks of every kind through the entry points.
    Harrow::PrintBoardSummary(
        fromCounts, "b",
        Harrow::BoardCounts(LinkedApi(), board,
                            [this](int32_t kind) { return Corvane_BoardObjectCount(board, kind); }),
        true);
    Harrow::PrintBoardSummary(
        fromWalks, "b", Harrow::BoardCounts(LinkedApi(), board, [](int32_t) { return -1; }), true);
    std::remove(path.c_str());
    EXPECT_EQ(fromCounts.str(), fromJson.str());
    EXPECT_EQ(fromWalks.str(), fromJson.str());
    EXPECT_THAT(fromCounts.str(), HasSubstr("layers in stack: 3\nlayer pairs: 1\n"));
    EXPECT_THAT(fromCounts.str(), HasSubstr("SplitPlane objects: 1\n"));
}

TEST_F(PictureBoard, TheRulesAloneListAsTheWholeDumpListsThem) {
    FillBoard();
    intptr_t clearance = PcbApi_CreateRuleObject(0);
    Rule r;
    Query(1, clearance, r);
    r.name = Text("Clearance \"GND\""), r.scope1 = Text("InNet('GND')");
    Query(0, clearance, r);
    int32_t gap = 123456;
    PcbApi_QueryRuleClearanceConstraint(0, clearance, &gap);
    PcbApi_AddObjectToContainer(board, clearance);
    intptr_t layers = PcbApi_CreateRuleObject(9);
    int32_t codes[PCBAPI_ROUTING_LAYER_COUNT] = {1, 2};
    PcbApi_QueryRuleRoutingLayersRule(0, layers, codes);
    PcbApi_AddObjectToContainer(board, layers);
    auto listing = [this](decltype(&Corvane_DumpBoardJson) dump) {
        const std::string path = UniqueName("rules") + ".json";
        char error[256] = {};
        EXPECT_EQ(dump(board, path.c_str(), error, sizeof error), 1) << error;
        const std::string json = Read(path);
        std::remove(path.c_str());
        std::ostringstream out;
        Harrow::PrintRuleListing(out, json);
        return std::pair{json.size(), out.str()};
    };
    const auto [wholeSize, whole] = listing(&Corvane_DumpBoardJson);
    const auto [rulesSize, rules] = listing(&Corvane_DumpRulesJson);
    EXPECT_EQ(rules, whole);
    EXPECT_THAT(rules, HasSubstr("Clearance \"Clearance \"GND\"\"\n    scope: InNet('GND')"));
    EXPECT_THAT(rules, HasSubstr("RoutingLayers"));
    EXPECT_LT(rulesSize * 4, wholeSize); // none of the board's other objects
    // A board of no rules: nothing to list.
    Corvane_CloseBoard(board);
    board = NewBoard("norules");
    EXPECT_EQ(listing(&Corvane_DumpRulesJson).second, "");
}

// ---- the page in a real browser ----

class PictureInBrowser : public testshell::ScratchFolderTest {
protected:
    void SetUp() override {
        testshell::ScratchFolderTest::SetUp();
        chromium = Chromium();
        if (chromium.empty())
            GTEST_SKIP() << "no chromium or python3: install them (bash tools/deps.sh --browser) "
                            "to see the page in a browser";
    }
    // A board whose top copper lies in its upper left quarter and whose
    // bottom copper in its lower right quarter, far from the origin as an
    // imported board lies.
    CorvaneBoard Quarters(const std::string& path) {
        char error[256] = {};
        CorvaneBoard b = Corvane_NewBoard(path.c_str(), error, sizeof error);
        EXPECT_NE(b, 0) << error;
        const int32_t x = 60000 * kMil, y = 40000 * kMil;
        MakeOutline(b, x, y, x + 2000 * kMil, y + 1000 * kMil);
        MakeFill(b, 1, x + 100 * kMil, y + 600 * kMil, x + 700 * kMil, y + 900 * kMil);
        MakeFill(b, 32, x + 1300 * kMil, y + 100 * kMil, x + 1900 * kMil, y + 400 * kMil);
        return b;
    }
    // Chromium draws `page` (in the scratch folder): the outline's box, the
    // top copper in its upper left quarter, the bottom copper in its lower
    // right one.
    void ExpectQuarters(const std::string& page) {
        const testshell::Outcome shot =
            Run(chromium, "--headless --no-sandbox --disable-gpu --hide-scrollbars "
                          "--window-size=1300,800 --screenshot=" +
                              Quote(folder + "/" + page + ".png") + " file://" +
                              Quote(folder + "/" + page));
        ASSERT_EQ(Read(folder + "/" + page + ".png").compare(1, 3, "PNG"), 0) << shot.err;
        // Pixels of each colour right of the side panel (260 pixels and its
        // padding): how many, and the box they fill.
        testshell::Outcome pixels =
            Run("python3", Quote(std::string(DSNLINK_SOURCE_DIR) + "/tests/host/png_colours.py") +
                               " " + Quote(page + ".png") + " 300 e03c3c 3c78e0 e8e8e8");
        ASSERT_EQ(pixels.exitCode, 0) << pixels.err;
        std::map<std::string, std::vector<double>> found; // count, x0, y0, x1, y1
        for (const std::string& line : Split(pixels.out, '\n'))
            found[line.substr(0, line.find(' '))] = Numbers(line.substr(line.find(' ') + 1));
        const auto& red = found["e03c3c"];
        const auto& blue = found["3c78e0"];
        const auto& white = found["e8e8e8"];
        ASSERT_EQ(red.size(), 5u);
        ASSERT_GT(white[0], 200) << "no outline drawn";
        ASSERT_GT(red[0], 1000) << "no top copper drawn";
        ASSERT_GT(blue[0], 1000) << "no bottom copper drawn";
        // The outline's box, and the copper in its quarters: top copper in the
        // upper left (small screen y), bottom copper in the lower right.
        const double midX = (white[1] + white[3]) / 2, midY = (white[2] + white[4]) / 2;
        EXPECT_GT(white[3] - white[1], 1.5 * (white[4] - white[2])); // 2:1, not turned
        // Whether a colour's box lies strictly inside (x0, y0)-(x1, y1).
        auto inside = [](const std::vector<double>& c, double x0, double y0, double x1, double y1) {
            return x0 < c[1] && y0 < c[2] && c[3] < x1 && c[4] < y1;
        };
        EXPECT_TRUE(inside(red, white[1], white[2], midX, midY)) << testing::PrintToString(found);
        EXPECT_TRUE(inside(blue, midX, midY, white[3], white[4])) << testing::PrintToString(found);
    }
    std::string chromium;
};

TEST_F(PictureInBrowser, ChromiumDrawsOutlineAndCopperWhereTheBoardHasThem) {
    char error[256] = {};
    CorvaneBoard b = Quarters(folder + "/quarters.pcbdoc");
    ASSERT_NE(b, 0);
    // The canvas of a large board's page draws what the SVG draws.
    const std::string data =
        Harrow::BoardViewPage(LinkedApi(), b, "data", "", Harrow::PageForm::Data);
    ASSERT_THAT(data, Not(HasSubstr("id=\"board\""))); // no SVG markup: data
    std::ofstream(folder + "/data.html", std::ios::binary) << data;
    // Saved, then paged by harrow.
    ASSERT_EQ(Corvane_SaveBoard(b, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(b);
    testshell::Outcome view = Harrow("view quarters.pcbdoc page.html");
    ASSERT_EQ(view.exitCode, 0) << view.err;
    ExpectQuarters("page.html");
    ExpectQuarters("data.html");
}

// ---- size and time ----

TEST_F(PictureBoard, ManyComponentsStayLinearInTime) {
    const char* asked = std::getenv("DSNLINK_PICTURE_COMPONENTS");
    const int count = asked ? std::atoi(asked) : 2000;
    MakeOutline(board, 0, 0, 10000 * kMil, 10000 * kMil);
    intptr_t net = AddNet(board, "N");
    const int side = static_cast<int>(std::ceil(std::sqrt(count)));
    for (int i = 0; i < count; ++i) {
        int32_t x = (i % side) * (9000 * kMil / side) + 500 * kMil;
        int32_t y = (i / side) * (9000 * kMil / side) + 500 * kMil;
        intptr_t pad1 = Pad("1", 1, net, -20 * kMil, 0, 2, 20 * kMil, 10 * kMil, 0);
        intptr_t pad2 = Pad("2", 1, 0, 20 * kMil, 0, 1, 20 * kMil, 20 * kMil, 0);
        Component(("R" + std::to_string(i)).c_str(), {pad1, pad2}, x, y, (i % 4) * 90.0, i % 2);
    }
    auto start = std::chrono::steady_clock::now();
    const std::string svg = Svg();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    start = std::chrono::steady_clock::now();
    const std::map<std::string, long> counts = Harrow::BoardCounts(
        LinkedApi(), board, [this](int32_t kind) { return Corvane_BoardObjectCount(board, kind); });
    std::cout << count << " components: " << svg.size() << " bytes of SVG in " << seconds
              << " s; summary counts in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
              << " s\n";
    EXPECT_EQ(counts.at("Objects/Component"), count);
    EXPECT_EQ(counts.at("Objects/Pad"), 2 * count);
    ASSERT_NO_FATAL_FAILURE(KeepIfAsked());
    auto root = ParseSvg(svg);
    ASSERT_NE(root, nullptr);
    const auto marks =
        root->Where([](const Node& n) { return n.name == "use" && n.Attr("class") == "c"; });
    EXPECT_EQ(marks.size(), static_cast<std::size_t>(count));
    // Per component: a use of its image, a use of its mark, its designator;
    // the images and marks (one per turn and side here) once.
    ASSERT_NE(root->Child("defs"), nullptr);
    EXPECT_LT(root->Child("defs")->children.size(), 20u);
    EXPECT_LT(svg.size(), static_cast<std::size_t>(count) * 300 + 20000);
}

} // namespace
