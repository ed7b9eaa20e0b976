// The Corvane board database: boards, objects and their records, the indexes
// that let a walk by kind, layer, net or component touch only what it returns,
// and the validated handles through which the outside world names them.
#pragma once

#include "sdk/HugePages.h"
#include "sdk/ObjectKinds.h"
#include "sdk/PcbApi.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvane {

constexpr int kLayerCount = 83; // TV6_Layer 0..82
constexpr int kKindCount = PCBAPI_OBJECT_KIND_COUNT;
constexpr int kRuleKindCount = 67;
constexpr uint32_t kNone = 0xFFFFFFFFu;

enum Kind : int32_t {
#define CORVANE_KIND(name, ordinal) k##name = ordinal,
    PCBAPI_OBJECT_KINDS(CORVANE_KIND)
#undef CORVANE_KIND
};

const char* KindName(int32_t kind);
const char* LayerDefaultName(int32_t layer);

// A text most records share or leave empty (pad names, footprint and font
// names), kept once in a store-wide pool; the record holds its number.
class Interned {
public:
    Interned() = default;
    Interned(std::string_view s) : id_(Intern(s)) {}
    Interned& operator=(std::string_view s) {
        id_ = Intern(s);
        return *this;
    }
    const std::string& str() const;
    operator const std::string&() const { return str(); }
    bool operator==(std::string_view s) const { return str() == s; }

private:
    uint32_t id_ = 0; // 0: the empty text
    static uint32_t Intern(std::string_view s);
};

// Texts that few records set (a component's source designator and id): while
// all are empty they cost one pointer rather than a string each.
template <size_t N> class RareTexts {
public:
    RareTexts() = default;
    RareTexts(const RareTexts& other) { *this = other; }
    RareTexts& operator=(const RareTexts& other) {
        if (this != &other)
            texts_ = other.texts_ ? std::make_unique<std::array<std::string, N>>(*other.texts_)
                                  : nullptr;
        return *this;
    }
    const std::string& str(size_t i) const {
        static const std::string empty;
        return texts_ ? (*texts_)[i] : empty;
    }
    void set(size_t i, std::string_view s) {
        if (!texts_) {
            if (s.empty())
                return;
            texts_ = std::make_unique<std::array<std::string, N>>();
        }
        (*texts_)[i].assign(s);
        for (const std::string& t : *texts_)
            if (!t.empty())
                return;
        texts_.reset();
    }

private:
    std::unique_ptr<std::array<std::string, N>> texts_;
};

// A text in 16 bytes: up to 15 characters in place, a longer one in a block
// of its own. For texts most records of a kind set to a few characters (net
// names, designators), where a std::string would take twice the room.
class SmallText {
public:
    SmallText() = default;
    SmallText(std::string_view s) { Assign(s); }
    SmallText(const SmallText& other) { Assign(other.view()); }
    SmallText& operator=(const SmallText& other) { return *this = other.view(); }
    SmallText& operator=(std::string_view s) {
        SmallText made(s); // `s` may lie in this text
        std::swap(raw_, made.raw_);
        return *this;
    }
    ~SmallText() { delete[] Far(); }
    std::string_view view() const {
        if (raw_[kTag] == kFarTag) {
            uint32_t size = 0;
            std::memcpy(&size, raw_.data() + sizeof(char*), sizeof size);
            return {Far(), size};
        }
        return {raw_.data(), static_cast<size_t>(raw_[kTag])};
    }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    bool operator==(std::string_view s) const { return view() == s; }

private:
    static constexpr size_t kTag = 15; // the in-place length, or kFarTag
    static constexpr char kFarTag = -1;
    // In place: the characters, then their count in the last byte. Far: the
    // block's address and the length, kFarTag in the last byte.
    // Kept unaligned (the address is copied in and out), so that a record
    // of a text and a few words takes no padding.
    std::array<char, 16> raw_{};

    char* Far() const {
        if (raw_[kTag] != kFarTag)
            return nullptr;
        char* far = nullptr;
        std::memcpy(&far, raw_.data(), sizeof far);
        return far;
    }
    void Assign(std::string_view s) {
        if (s.size() <= kTag) {
            std::memcpy(raw_.data(), s.data(), s.size());
            raw_[kTag] = static_cast<char>(s.size());
            return;
        }
        if (s.size() > UINT32_MAX)
            throw std::length_error("text too long");
        char* far = new char[s.size()];
        std::memcpy(far, s.data(), s.size());
        const auto size = static_cast<uint32_t>(s.size());
        std::memcpy(raw_.data(), &far, sizeof far);
        std::memcpy(raw_.data() + sizeof far, &size, sizeof size);
        raw_[kTag] = kFarTag;
    }
};
static_assert(sizeof(SmallText) == 16);

// Doubly linked list through object slots; each object carries one link pair
// per list family (kind, layer, container, net).
struct ListHead {
    uint32_t first = kNone;
    uint32_t last = kNone;
    uint32_t count = 0;
};
struct Link {
    uint32_t prev = kNone;
    uint32_t next = kNone;
};
enum LinkFamily { kByKind = 0, kByLayer = 1, kByContainer = 2, kByNet = 3, kFamilyCount = 4 };
// Families whose neighbours are made close together (a component's
// primitives, the objects of one kind or layer that an import makes one after
// another) keep each link as the 16-bit distance to the neighbour's slot; a
// neighbour farther away is kept in a table of far links. A net's members
// join from all over the board, so its links are whole slots.
constexpr int kNearFamilyCount = 3;
static_assert(kByNet == kNearFamilyCount);
struct NearLink {
    static constexpr int16_t kEmpty = 0;         // no neighbour
    static constexpr int16_t kFar = INT16_MIN;   // in the store's far links
    static constexpr int32_t kReach = INT16_MAX; // farthest distance kept here
    int16_t prev = kEmpty;
    int16_t next = kEmpty;
};
// The ends of a list an object owns (a component's primitives, a net's
// members on the board), kept in the owner's own link of that family, which
// the owner is never listed by: a component is in no component, a net in no
// net. `prev` is the last, `next` the first.
struct OwnedList {
    uint32_t owner;
    LinkFamily family;
};

// ----------------------------------------------------------------- records
// Each record lists its fields once in visit(); the document writer and reader
// and the JSON dump all walk that list. Handles to other objects are Ref.

struct Ref {
    intptr_t handle = 0;
};

struct PadLayerEntry {
    int32_t shape = 0;
    int32_t xSize = 0;
    int32_t ySize = 0;
    int32_t crPct = 0;
};
inline bool operator==(const PadLayerEntry& a, const PadLayerEntry& b) {
    return a.shape == b.shape && a.xSize == b.xSize && a.ySize == b.ySize && a.crPct == b.crPct;
}
using PadLayers = std::array<PadLayerEntry, kLayerCount>;

// A pad's per-layer entries (layers 0..82) kept as runs of equal entries: a
// run starts at `first` and lasts until the next run starts. Pads made from
// one padstack share their tables, so each distinct table is kept once in a
// store-wide pool, counted by the tables that use it, and a pad holds its
// number; a change makes (or finds) the changed table and lets go of the old.
class PadLayerTable {
public:
    struct Run {
        int32_t first = 0;
        PadLayerEntry entry;
    };
    PadLayerTable(); // round entries of size 0 with 50 % corners on layers 1..32
    PadLayerTable(const PadLayerTable& other) : id_(other.id_) { Retain(id_); }
    PadLayerTable& operator=(const PadLayerTable& other) {
        Retain(other.id_);
        Release(id_);
        id_ = other.id_;
        return *this;
    }
    ~PadLayerTable() { Release(id_); }

    const PadLayerEntry& At(int layer) const; // 0 <= layer < kLayerCount
    void Set(int layer, const PadLayerEntry& entry);
    // Layers from..to take `shape` and the sizes; each keeps its corner radius.
    void SetShapeAndSize(int from, int to, int32_t shape, int32_t xSize, int32_t ySize);
    // Several such changes, applied in order, with one new table for all.
    struct ShapeAndSize {
        int from, to;
        int32_t shape, xSize, ySize;
    };
    void SetShapesAndSizes(const ShapeAndSize* changes, int count);
    // Layers first..first+count-1 take the shapes, sizes and corner
    // percentages given, each value only when it is valid (shape 0..9, sizes
    // not negative, percentage 0..100); false when any was not.
    bool SetLayers(int first, int count, const int32_t* shapes, const int32_t* xSizes,
                   const int32_t* ySizes, const int32_t* crPcts);
    void Expand(PadLayers& out) const;
    void Assign(const PadLayers& all);
    int RunCount() const;
    const Run* Runs() const;
    // Takes runs as a document stores them; false (and the table unchanged)
    // unless there are 1..kLayerCount runs, the first at layer 0, each later
    // one starting after the one before and below kLayerCount. Neighbours
    // with equal entries are joined.
    bool AssignRuns(const Run* runs, int32_t count);
    // Distinct tables in the pool (for tests and measurements).
    static size_t PooledCount();

private:
    uint32_t id_;
    void Assign(const Run* runs, int32_t count);
    template <class F> void Change(int from, int to, F&& change);
    template <class F>
    static int32_t ChangeRuns(const Run* runs, int32_t count, int from, int to, F&& change,
                              Run* out);
    static void Retain(uint32_t id);
    static void Release(uint32_t id);
};

// A group of record fields that few records set apart from their
// neighbours (a pad's padstack sizes and options, a text's font and style, a
// component's flags and library names). Each distinct group is kept once in a
// store-wide pool, counted by the records that use it, and a record holds its
// number; a change makes (or finds) the changed group and lets go of the old.
// T holds only 4- and 8-byte values and no padding: groups are compared and
// hashed by their bytes.
template <class T> class Shared {
public:
    Shared() : id_(DefaultId()) { Retain(id_); }
    Shared(const Shared& other) : id_(other.id_) { Retain(id_); }
    Shared& operator=(const Shared& other) {
        Retain(other.id_);
        Release(id_);
        id_ = other.id_;
        return *this;
    }
    ~Shared() { Release(id_); }
    const T& get() const { return At(id_); }
    void set(const T& value) {
        if (std::memcmp(&value, &At(id_), sizeof(T)) == 0)
            return;
        const uint32_t id = Use(value);
        Release(id_);
        id_ = id;
    }
    // Distinct groups in the pool (for tests and measurements).
    static size_t PooledCount();

private:
    uint32_t id_;
    static uint32_t DefaultId(); // T{}, which the pool always keeps
    static uint32_t Use(const T& value);
    static const T& At(uint32_t id);
    static void Retain(uint32_t id);
    static void Release(uint32_t id);
};

// A record carries no table of virtual functions (a board holds millions):
// the BodyBox that owns it knows its type.
struct Body {};

// A track's width and what it belongs to: tracks come in few widths, and
// most belong to nothing.
struct TrackShared {
    Ref polygon, coordinate, dimension;
    int32_t width = 100000;
    int32_t spare = 0; // fills the record to a whole number of words
};
static_assert(sizeof(TrackShared) == 32);

struct TrackBody : Body {
    int32_t x2 = 0, y2 = 0;
    Shared<TrackShared> shared;
    template <class V> void visit(V& v) {
        TrackShared s = shared.get();
        v("x2", x2);
        v("y2", y2);
        v("Width", s.width);
        v("Polygon", s.polygon);
        v("Coordinate", s.coordinate);
        v("Dimension", s.dimension);
        shared.set(s);
    }
};
static_assert(sizeof(TrackBody) == 12);

struct ArcBody : Body {
    int32_t radius = 100000;
    double angle1 = 0.0, angle2 = 360.0;
    int32_t lineWidth = 100000;
    Ref polygon;
    template <class V> void visit(V& v) {
        v("Radius", radius);
        v("Angle1", angle1);
        v("Angle2", angle2);
        v("LineWidth", lineWidth);
        v("Polygon", polygon);
    }
};

struct FillBody : Body {
    int32_t x2 = 0, y2 = 0;
    Ref polygon;
    double angle = 0.0;
    template <class V> void visit(V& v) {
        v("x2", x2);
        v("y2", y2);
        v("Polygon", polygon);
        v("Angle", angle);
    }
};

struct ViaBody : Body {
    int32_t size = 500000, holeSize = 280000, lowLayer = 1, highLayer = 32;
    int32_t testTop = 0, testBottom = 0, height = 0;
    template <class V> void visit(V& v) {
        v("Size", size);
        v("HoleSize", holeSize);
        v("LowLayer", lowLayer);
        v("HighLayer", highLayer);
        v("FIsAssyTestPointTop", testTop);
        v("FIsAssyTestPointBtm", testBottom);
        v("Height", height);
    }
};

// The part of a pad that pads made from one padstack share.
struct PadShared {
    double holeRotation = 0.0;
    // No copper until given (the per-layer table starts the same way).
    int32_t topX = 0, topY = 0, midX = 0, midY = 0, botX = 0, botY = 0;
    int32_t holeSize = 300000, topShape = 1, midShape = 1, botShape = 1;
    int32_t daisyChainStyle = 0, plated = 1;
    Interned swapIdPad, swapIdPart;
    int32_t ownerPartId = 0;
    Interned swappedPadName;
    int32_t drillType = 0, holeType = 0, holeWidth = 0;
    int32_t padOffsetX = 0, padOffsetY = 0, jumperId = 0, testTop = 0, testBottom = 0;
    int32_t mode = 0;
    int32_t spare = 0; // fills the record to a whole number of doubles
    // The pads of a footprint turn together: those of one padstack on the
    // components of one rotation share their angle.
    double angle = 0.0;
};
static_assert(sizeof(PadShared) == 120);

struct PadBody : Body {
    Interned name;
    PadLayerTable layers;
    Shared<PadShared> shared;
    template <class V> void visit(V& v) {
        PadShared s = shared.get();
        v("TopXsize", s.topX);
        v("TopYsize", s.topY);
        v("MidXsize", s.midX);
        v("MidYsize", s.midY);
        v("BotXsize", s.botX);
        v("BotYsize", s.botY);
        v("HoleSize", s.holeSize);
        v("TopShape", s.topShape);
        v("MidShape", s.midShape);
        v("BotShape", s.botShape);
        v("Name", name);
        v("DaisyChainStyle", s.daisyChainStyle);
        v("Plated", s.plated);
        v("Angle", s.angle);
        v("SwapID_Pad", s.swapIdPad);
        v("SwapID_Part", s.swapIdPart);
        v("OwnerPart_ID", s.ownerPartId);
        v("SwappedPadName", s.swappedPadName);
        v("FDrillType", s.drillType);
        v("FHoleType", s.holeType);
        v("FHoleWidth", s.holeWidth);
        v("FHoleRotation", s.holeRotation);
        v("FPadOffsetX", s.padOffsetX);
        v("FPadOffsetY", s.padOffsetY);
        v("FJumperID", s.jumperId);
        v("FIsAssyTestPointTop", s.testTop);
        v("FIsAssyTestPointBtm", s.testBottom);
        v("FMode", s.mode);
        v("PerLayer", layers);
        shared.set(s);
    }
};

struct RegionBody : Body {
    std::vector<PcbApiPoint> contour;
    std::vector<PcbApiPoint> holePoints;
    std::vector<int32_t> holeSizes;
    int32_t regionKind = 0;
    PcbApiLayerSet layerSet{};
    int32_t data = 0;
    Ref polygon;
    template <class V> void visit(V& v) {
        v("MainContour", contour);
        v("HolePoints", holePoints);
        v("HoleSizes", holeSizes);
        v("FKind", regionKind);
        v("LayerSet", layerSet);
        v("Data", data);
        v("Polygon", polygon);
    }
};

// The part of a text that texts of one style share.
struct TextShared {
    int32_t size = 600000, font = 0, lineWidth = 100000, useTTFonts = 0, bold = 0, italic = 0;
    Interned fontName{"Arial"};
    int32_t inverted = 0, invertedBorder = 0;
    std::array<int32_t, 8> barCode{};
    int32_t mirror = 0;
    // The texts of components of one rotation and side share their angle
    // and mirroring.
    double angle = 0.0;
};
static_assert(sizeof(TextShared) == 80);

struct TextBody : Body {
    SmallText text;
    Shared<TextShared> shared;
    template <class V> void visit(V& v) {
        TextShared s = shared.get();
        std::string t = text.str();
        v("Size", s.size);
        v("Font", s.font);
        v("Angle", s.angle);
        v("Mirror", s.mirror);
        v("Text", t);
        v("LineWidth", s.lineWidth);
        v("UseTTFonts", s.useTTFonts);
        v("Bold", s.bold);
        v("Italic", s.italic);
        v("FontName", s.fontName);
        v("Inverted", s.inverted);
        v("InvertedBorder", s.invertedBorder);
        v("BarCodeKind", s.barCode[0]);
        v("BarCodeRenderMode", s.barCode[1]);
        v("BarCodeFullWidth", s.barCode[2]);
        v("BarCodeFullHeight", s.barCode[3]);
        v("BarCodeXMargin", s.barCode[4]);
        v("BarCodeYMargin", s.barCode[5]);
        v("BarCodeShowText", s.barCode[6]);
        v("BarCodeInverted", s.barCode[7]);
        shared.set(s);
        if (text.view() != t)
            text = t;
    }
};

// The part of a component that components of one footprint share.
struct ComponentShared {
    int32_t channelOffset = 0, componentKind = 0;
    Interned pattern;
    int32_t nameOn = 1, commentOn = 0, groupNum = 0;
    int32_t primitiveLock = 1, height = 0, nameAutoPosition = 0, commentAutoPosition = 0,
            unionIndex = 0;
    Interned sourceHierarchicalPath, sourceLibraryName, footprintDescription, defaultPcb3DModel,
        libraryLinkId;
    // Components of one footprint placed at one rotation share their angle.
    double angle = 0.0;
};
static_assert(sizeof(ComponentShared) == 72);

struct ComponentBody : Body {
    static constexpr size_t kSourceDesignator = 0, kSourceUniqueId = 1;
    Ref nameText, commentText;
    RareTexts<2> source; // source designator and unique id
    Shared<ComponentShared> shared;
    template <class V> void visit(V& v) {
        ComponentShared s = shared.get();
        std::string designator = source.str(kSourceDesignator),
                    uniqueId = source.str(kSourceUniqueId);
        v("ChannelOffset", s.channelOffset);
        v("ComponentKind", s.componentKind);
        v("NameText", nameText);
        v("CommentText", commentText);
        v("Pattern", s.pattern);
        v("NameOn", s.nameOn);
        v("CommentOn", s.commentOn);
        v("GroupNum", s.groupNum);
        v("Angle", s.angle);
        v("PrimitiveLock", s.primitiveLock);
        v("Height", s.height);
        v("NameAutoPosition", s.nameAutoPosition);
        v("CommentAutoPosition", s.commentAutoPosition);
        v("UnionIndex", s.unionIndex);
        v("SourceDesignator", designator);
        v("SourceUniqueId", uniqueId);
        v("SourceHierarchicalPath", s.sourceHierarchicalPath);
        v("SourceLibraryName", s.sourceLibraryName);
        v("FootprintDescription", s.footprintDescription);
        v("DefaultPCB3DModel", s.defaultPcb3DModel);
        v("LibraryLinkId", s.libraryLinkId);
        shared.set(s);
        source.set(kSourceDesignator, designator);
        source.set(kSourceUniqueId, uniqueId);
    }
};
static_assert(sizeof(ComponentBody) <= 32);

struct PolygonBody : Body { // polygons, split planes and board outlines
    int32_t pointCount = 0;
    std::vector<PcbApiPolySegment> segments;
    int32_t splitPlane = 0, removeDead = 0, useOctagons = 0, pourOver = 0, grid = 50000,
            trackSize = 80000, minTrack = 50000, primitiveLock = 1, hatchStyle = 5;
    template <class V> void visit(V& v) {
        v("PointCount", pointCount);
        v("Segments", segments);
        v("SplitPlane", splitPlane);
        v("RemoveDead", removeDead);
        v("UseOctagons", useOctagons);
        v("PourOver", pourOver);
        v("Grid", grid);
        v("TrackSize", trackSize);
        v("MinTrack", minTrack);
        v("PrimitiveLock", primitiveLock);
        v("PolyHatchStyle", hatchStyle);
    }
};

// What nets mostly leave as they are.
struct NetShared {
    int32_t connectsVisible = 1, pwrGndColor = 0;
};

struct NetBody : Body {
    SmallText name;
    Shared<NetShared> shared;
    template <class V> void visit(V& v) {
        NetShared s = shared.get();
        std::string n = name.str();
        v("Name", n);
        v("ConnectsVisible", s.connectsVisible);
        v("PwrGndColor", s.pwrGndColor);
        shared.set(s);
        if (name.view() != n)
            name = n;
    }
};
static_assert(sizeof(NetBody) == 20);

struct FromToBody : Body {
    std::string fromPad, toPad, netName;
    int32_t color = 0;
    template <class V> void visit(V& v) {
        v("FromPad", fromPad);
        v("ToPad", toPad);
        v("NetName", netName);
        v("Color", color);
    }
};

struct EmbeddedBody : Body {
    std::string name, description;
    template <class V> void visit(V& v) {
        v("Name", name);
        v("Description", description);
    }
};

struct ClassBody : Body {
    std::string name;
    int32_t memberKind = 0, superClass = 0;
    std::vector<std::string> members;
    std::unordered_set<std::string> memberSet;
    template <class V> void visit(V& v) {
        v("Name", name);
        v("MemberKind", memberKind);
        v("SuperClass", superClass);
        v("MemberList", members);
    }
};

struct RuleBody : Body {
    int32_t ruleKind = 0;
    std::string name;
    int32_t netScope = 0, priority = 1, layerKind = 0;
    std::string scope1 = "All", scope2 = "All";
    std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT> attributes{};
    std::vector<int32_t> values; // constraint values, by kind (ConstraintNames)
    template <class V> void visit(V& v) {
        v("Kind", ruleKind);
        v("Name", name);
        v("NetScope", netScope);
        v("Priority", priority);
        v("LayerKind", layerKind);
        v("Scope1Expression", scope1);
        v("Scope2Expression", scope2);
        v("Attributes", attributes);
        v("Constraints", values);
    }
};

// The hole-to-hole rule kind, and the gap between the edges of two holes
// when a board has none: 0.25 mm.
constexpr int32_t kHoleToHoleRule = 52;
constexpr int32_t kDefaultHoleGap = 98425;

// Names of a rule kind's constraint values, in order (empty for kinds that
// carry none).
const std::vector<const char*>& ConstraintNames(int32_t ruleKind);
std::vector<int32_t> DefaultConstraints(int32_t ruleKind);

// Calls f(body) with the body cast to its record type.
template <class F> bool VisitBody(int32_t kind, Body* body, F&& f) {
    switch (kind) {
    case kTrack:
        f(*static_cast<TrackBody*>(body));
        return true;
    case kArc:
        f(*static_cast<ArcBody*>(body));
        return true;
    case kFill:
        f(*static_cast<FillBody*>(body));
        return true;
    case kVia:
        f(*static_cast<ViaBody*>(body));
        return true;
    case kPad:
        f(*static_cast<PadBody*>(body));
        return true;
    case kRegion:
        f(*static_cast<RegionBody*>(body));
        return true;
    case kText:
        f(*static_cast<TextBody*>(body));
        return true;
    case kComponent:
        f(*static_cast<ComponentBody*>(body));
        return true;
    case kPolygon:
    case kSplitPlane:
    case kBoardOutline:
        f(*static_cast<PolygonBody*>(body));
        return true;
    case kNet:
        f(*static_cast<NetBody*>(body));
        return true;
    case kFromTo:
    case kManualFromTo:
        f(*static_cast<FromToBody*>(body));
        return true;
    case kEmbedded:
        f(*static_cast<EmbeddedBody*>(body));
        return true;
    case kClass:
        f(*static_cast<ClassBody*>(body));
        return true;
    case kRule:
        f(*static_cast<RuleBody*>(body));
        return true;
    default:
        return false;
    }
}

// Records live in one arena per record type, of equal cells in chunks that
// never move, for the lifetime of the process: an import makes and drops
// millions of them, and a record is named by 32 bits, its type and cell.
// Builds that check memory use keep each record on the general heap and a
// pointer to it in the cell.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_CHECKED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(CORVANE_CHECKED_HEAP)
constexpr bool kCheckedHeap = true;
#else
constexpr bool kCheckedHeap = false;
#endif

// Where an arena's chunks are, for finding a cell without a call: plain
// data, so that it outlives every record even at exit.
struct BodyArenaView {
    std::byte* const* chunks = nullptr;
    uint32_t cellBytes = 0;
    uint32_t chunkShift = 0; // cells per chunk: 1 << chunkShift
};
constexpr int kBodyTypeBits = 4;
constexpr int kBodyCellBits = 32 - kBodyTypeBits;
constexpr uint32_t kBodyCellMask = (1u << kBodyCellBits) - 1;
inline std::array<BodyArenaView, 1u << kBodyTypeBits> gBodyArenas{};

// Owns one record; frees it as its type.
class BodyBox {
public:
    BodyBox() = default;
    BodyBox(const BodyBox&) = delete;
    BodyBox& operator=(const BodyBox&) = delete;
    BodyBox(BodyBox&& other) noexcept : ref_(other.ref_) { other.ref_ = 0; }
    BodyBox& operator=(BodyBox&& other) noexcept {
        if (this != &other) {
            reset();
            ref_ = other.ref_;
            other.ref_ = 0;
        }
        return *this;
    }
    ~BodyBox() { reset(); }
    // A new record of `kind` with its defaults; empty for a kind without one.
    static BodyBox Make(int32_t kind);
    Body* get() const {
        if (ref_ == 0)
            return nullptr;
        const BodyArenaView& a = gBodyArenas[ref_ >> kBodyCellBits];
        const uint32_t cell = ref_ & kBodyCellMask;
        std::byte* at = a.chunks[cell >> a.chunkShift] +
                        size_t{cell & ((1u << a.chunkShift) - 1)} * a.cellBytes;
        if constexpr (kCheckedHeap)
            return *reinterpret_cast<Body**>(at);
        else
            return reinterpret_cast<Body*>(at);
    }
    explicit operator bool() const { return ref_ != 0; }
    void reset();

private:
    uint32_t ref_ = 0; // record type << kBodyCellBits | cell; 0: none
};
static_assert(sizeof(BodyBox) == 4);

inline BodyBox MakeBody(int32_t kind) {
    return BodyBox::Make(kind);
}
bool IsPrimitiveKind(int32_t kind); // carries the common record fields

// ----------------------------------------------------------------- objects

// The true copper of a pad whose shape the per-layer entries cannot hold (a
// polygon, a path with corners): pieces on the pad's entry layers (the layers
// its per-layer table is read by, as its mode says), each a point, a segment
// or a polygon grown by a radius, in host units about the pad's centre before
// its rotation. Pads made from one padstack share one outline.
struct PadOutlinePiece {
    int32_t entry = 0; // the per-layer table entry it replaces
    double radius = 0;
    std::vector<PcbApiPoint> points;
};
struct PadOutline {
    std::vector<PadOutlinePiece> pieces; // by entry, then in the order given
    bool HasEntry(int32_t entry) const {
        for (const PadOutlinePiece& p : pieces)
            if (p.entry == entry)
                return true;
        return false;
    }
};

// The bit fields and index of an object, which few objects set, and a pad's
// true outline, which only pads of some shapes have: the store keeps them
// apart, for the objects that hold any.
struct ObjectExtras {
    uint16_t bitField = 0;
    uint16_t bitField3 = 0;
    uint16_t index = 0;
    uint8_t bitField2 = 0;
    // The outline is mirrored (y to -y before the rotation) on a pad turned
    // over with its component.
    bool outlineMirrored = false;
    std::shared_ptr<const PadOutline> outline;
    bool Empty() const {
        return bitField == 0 && bitField3 == 0 && index == 0 && bitField2 == 0 && !outline;
    }
};

// The board an object is on, as a 16-bit slot: a store holds at most
// kMaxBoards boards at once. Reads as a 32-bit slot, kNone for none.
constexpr uint32_t kMaxBoards = 0xFFFF;
class BoardField {
public:
    operator uint32_t() const { return slot_ == kNoBoard ? kNone : slot_; }
    BoardField& operator=(uint32_t slot) {
        slot_ = slot >= kMaxBoards ? kNoBoard : static_cast<uint16_t>(slot);
        return *this;
    }

private:
    static constexpr uint16_t kNoBoard = 0xFFFF;
    uint16_t slot_ = kNoBoard;
};

// One per object of the store, so kept small: the generation and two flags
// share a word, a kind, a layer (0..82) and the board slot share another, and
// the rarely set bit fields live apart. An object off any board is in no
// kind list, so its kind link holds the generation of the net it names; a
// component's container link and a net's net link hold the ends of the list
// it owns (OwnedList).
struct ObjectRec {
    uint32_t gen : 28 = 0;
    uint32_t moveable : 1 = 1;
    uint32_t hasExtras : 1 = 0; // the store keeps ObjectExtras for it
    uint32_t hasFar : 1 = 0;    // the store keeps far links for it
    uint8_t kind = 0;           // 0: free slot
    uint8_t layer = 0;
    BoardField board;
    uint32_t container = kNone; // component slot
    // The store's NetTie of the object (kNone for none): the net it names and
    // its net links, which only the objects that name a net and the nets
    // that have members need.
    uint32_t tie = kNone;
    int32_t x1 = 0, y1 = 0;
    BodyBox body;
    std::array<NearLink, kNearFamilyCount> near{}; // kind, layer and container links
    // The generation of the net slot `net` names, while the object is on no
    // board (on a board, the net is on it too and lists the object). Kept in
    // the kind link, which an object off the boards does not use.
    uint32_t FreeNetGen() const {
        return static_cast<uint16_t>(near[kByKind].prev) |
               uint32_t{static_cast<uint16_t>(near[kByKind].next)} << 16;
    }
    void SetFreeNetGen(uint32_t gen) {
        near[kByKind].prev = static_cast<int16_t>(gen & 0xFFFFu);
        near[kByKind].next = static_cast<int16_t>(gen >> 16);
    }
};
static_assert(kKindCount <= UINT8_MAX && kLayerCount <= UINT8_MAX);
static_assert(sizeof(ObjectRec) <= 40);

// The net an object names (kNone for none) and its links in the net's member
// list; a net's own holds the ends of that list (OwnedList).
struct NetTie {
    uint32_t net = kNone;
    Link link{};
    bool Empty() const { return net == kNone && link.prev == kNone && link.next == kNone; }
};

// Records in fixed chunks: growing never moves a record, and a large board
// never needs one block twice its size.
template <class T> class ChunkedTable {
public:
    T& operator[](uint32_t slot) { return chunks_[slot >> kShift][slot & kMask]; }
    const T& operator[](uint32_t slot) const { return chunks_[slot >> kShift][slot & kMask]; }
    size_t size() const { return size_; }
    uint32_t Add() { // a new default record at the end
        if (size_ == chunks_.size() << kShift)
            chunks_.push_back(std::make_unique<T[]>(size_t{1} << kShift));
        return size_++;
    }

private:
    static constexpr uint32_t kShift = 12;
    static constexpr uint32_t kMask = (1u << kShift) - 1;
    std::vector<std::unique_ptr<T[]>> chunks_;
    uint32_t size_ = 0;
};
using ObjectTable = ChunkedTable<ObjectRec>;

struct LayerRec {
    std::string name;
    int32_t copperThickness = 14000;
    PcbApiDielectric dielectric{};
    int32_t isDisplayed = 1;
    int32_t mechanicalEnabled = 0;
    int32_t prev = 0, next = 0;
    bool inStack = false;
    std::string planeNet;
};

struct LayerPairRec {
    std::string name;
    int32_t low = 0, high = 0, drillDrawing = 0, drillGuide = 0;
    std::string substack;
    int32_t backDrill = 0;
};

struct Grids {
    std::array<double, 13> v{};
};

// The nets of a board by name: an open-addressed table of net slots, with
// the names read from the nets themselves, so a net costs a few bytes here
// rather than a heap node and a second copy of its name.
class NetIndex {
public:
    uint32_t Find(std::string_view name) const; // kNone when absent
    // Adds a net whose name is not in the index yet.
    void Insert(std::string_view name, uint32_t slot);
    // Removes the net in `slot` if the index holds it under `name`.
    void Erase(std::string_view name, uint32_t slot);
    bool Contains(std::string_view name) const { return Find(name) != kNone; }
    size_t size() const { return count_; }

private:
    static constexpr uint32_t kGone = kNone - 1; // a removed entry; probes go past it
    // A net's slot with 32 bits of its name's hash, so that a probe reads
    // the names of few nets and growing reads none.
    struct Cell {
        uint32_t slot = kNone; // kNone: never used
        uint32_t hash = 0;
    };
    // A board of a million nets meets each cell as a cache miss: on huge
    // pages it is not an address translation miss as well.
    std::vector<Cell, HostSdk::TableAllocator<Cell>> cells_;
    size_t count_ = 0, taken_ = 0; // live nets; cells not kNone
    void Grow();
};

struct BoardRec {
    uint32_t gen = 0;
    bool live = false;
    std::string fileName;
    bool modified = true;
    int32_t isLibrary = 0;
    int32_t originX = 0, originY = 0, cursorX = 0, cursorY = 0;
    int32_t displayUnit = 1;
    PcbApiDielectric dielTop{}, dielBottom{};
    int32_t currentLayer = 1;
    int32_t drillGuideHoleSize = 0;
    uint32_t outline = kNone;
    std::array<LayerRec, kLayerCount> layers;
    std::vector<LayerPairRec> pairs;
    Grids grids;
    std::array<ListHead, kKindCount> byKind{};
    std::array<ListHead, kLayerCount> byLayer{};
    NetIndex netByName;
    // What a host keeps with the board for itself, by key; saved with the
    // document and never read by the engine.
    std::map<std::string, std::string> hostData;
};

struct IteratorRec {
    uint32_t gen = 0;
    bool live = false;
    std::vector<intptr_t> items;
    size_t pos = 0;
    uint32_t board = kNone;
    uint32_t boardGen = 0; // a walk of a closed board finds nothing
    int32_t kind = 0;
    intptr_t filter = 0;
    int32_t layer = 0;
    bool built = false;
};

PcbApiDielectric DefaultDielectric();
// `path` made absolute against the working folder (no symlink resolution).
std::string AbsolutePath(const std::string& path);
void ResetBoardDefaults(BoardRec& b);

// Object and iterator handles: a tag in the top bits, the slot's generation
// (28 bits) and the slot number + 1; a stale handle's generation no longer
// matches its slot.
constexpr int kTagShift = 60;
constexpr intptr_t kTagObject = 1;
constexpr intptr_t kTagIterator = 3;
constexpr uint32_t kGenMask = 0x0FFFFFFFu;

inline intptr_t MakeHandle(intptr_t tag, uint32_t gen, uint32_t slot) {
    return (tag << kTagShift) | (static_cast<intptr_t>(gen & kGenMask) << 32) |
           static_cast<intptr_t>(static_cast<uint64_t>(slot) + 1);
}

inline bool SplitHandle(intptr_t handle, intptr_t tag, uint32_t& gen, uint32_t& slot) {
    if (handle <= 0 || (handle >> kTagShift) != tag)
        return false;
    const uint64_t low = static_cast<uint64_t>(handle) & 0xFFFFFFFFull;
    if (low == 0)
        return false;
    slot = static_cast<uint32_t>(low - 1);
    gen = static_cast<uint32_t>((static_cast<uint64_t>(handle) >> 32) & kGenMask);
    return true;
}

// ----------------------------------------------------------------- the store

class Store {
public:
    // The process's store, made on first use. Every entry point starts here,
    // so the made store is a plain load away.
    static Store& Get() {
        Store* made = made_.load(std::memory_order_acquire);
        return made != nullptr ? *made : Make();
    }

    // Handles
    intptr_t ObjectHandle(uint32_t slot) const {
        if (slot >= objects_.size() || objects_[slot].kind == 0)
            return 0;
        return MakeHandle(kTagObject, objects_[slot].gen, slot);
    }
    intptr_t BoardHandle(uint32_t slot) const;
    ObjectRec* Object(intptr_t handle) {
        const uint32_t slot = ObjectSlot(handle);
        return slot == kNone ? nullptr : &objects_[slot];
    }
    uint32_t ObjectSlot(intptr_t handle) const { // kNone when invalid
        uint32_t gen = 0, slot = 0;
        if (!SplitHandle(handle, kTagObject, gen, slot) || slot >= objects_.size())
            return kNone;
        const ObjectRec& o = objects_[slot];
        if (o.kind == 0 || (o.gen & kGenMask) != gen)
            return kNone;
        return slot;
    }
    BoardRec* Board(intptr_t handle);
    uint32_t BoardSlot(intptr_t handle) const;
    ObjectRec& At(uint32_t slot) { return objects_[slot]; }
    BoardRec& BoardAt(uint32_t slot) { return *boards_[slot]; }
    size_t BoardSlotCount() const { return boards_.size(); }
    // Objects alive in the store, on a board or free.
    size_t LiveObjectCount() const { return objects_.size() - freeObjects_.size(); }
    // One past the highest object slot ever used.
    size_t ObjectSlotCount() const { return objects_.size(); }

    // Boards
    uint32_t NewBoard(const std::string& fileName);
    void CloseBoard(uint32_t boardSlot);
    uint32_t FindBoardByFileName(const std::string& fileName) const;

    // Objects
    // kNone for a kind that cannot be made. A component comes with its
    // designator and comment texts unless `bare`.
    uint32_t CreateObject(int32_t kind, bool bare = false);
    void DestroyObject(uint32_t slot); // detaches, frees children, stales the handle
    bool AttachToBoard(uint32_t slot, uint32_t boardSlot); // with contained primitives
    void DetachFromBoard(uint32_t slot);
    bool AddToComponent(uint32_t slot, uint32_t componentSlot);
    void SetNet(uint32_t slot, uint32_t netSlot);
    // The net an object names, or kNone. A free object may name a net that
    // was deleted since; its slot may hold another object by now.
    uint32_t NetOf(const ObjectRec& o) const {
        const uint32_t named = NetField(o);
        if (named == kNone || o.board != kNone)
            return named;
        if (named >= objects_.size())
            return kNone;
        const ObjectRec& net = objects_[named];
        return net.kind == kNet && net.gen == o.FreeNetGen() ? named : kNone;
    }
    // The net slot an object holds, valid or not (see NetOf).
    uint32_t NetField(const ObjectRec& o) const {
        return o.tie == kNone ? kNone : ties_[o.tie].net;
    }
    void SetNetField(ObjectRec& o, uint32_t netSlot) {
        if (o.tie == kNone && netSlot == kNone)
            return;
        TieOf(o).net = netSlot;
        KeepTieIfUsed(o);
    }
    // Names a net for an object on no board (kNone for none).
    void NameNetOffBoard(ObjectRec& o, uint32_t netSlot) {
        SetNetField(o, netSlot);
        o.SetFreeNetGen(netSlot == kNone ? 0 : objects_[netSlot].gen);
    }
    // Moves the records in from[i] to to[i] (the same slots in another
    // order), records of free objects in no list that no one holds a handle
    // of yet; each slot keeps its generation.
    void Rearrange(const std::vector<uint32_t>& from, const std::vector<uint32_t>& to);
    void SetLayer(uint32_t slot, int32_t layer);
    bool RenameNet(uint32_t netSlot, const std::string& name);
    void MarkModified(const ObjectRec& o) {
        if (o.board != kNone)
            boards_[o.board]->modified = true;
    }
    // The bit fields and index of an object (all 0 for most).
    ObjectExtras Extras(uint32_t slot) const {
        return objects_[slot].hasExtras ? KeptExtras(slot) : ObjectExtras{};
    }
    void SetExtras(uint32_t slot, const ObjectExtras& extras);

    // Lists: a board's (ListHead) or an object's own (OwnedList).
    // A component's primitives, in the order they were added.
    static OwnedList Children(uint32_t componentSlot) { return {componentSlot, kByContainer}; }
    // The objects of a net on the board, in the order they joined it.
    static OwnedList Members(uint32_t netSlot) { return {netSlot, kByNet}; }
    template <class Head> void ListAppend(Head&& head, uint32_t slot, LinkFamily f) {
        const uint32_t last = Last(head);
        // The object is in no list of the family yet: its link holds nothing
        // to let go of.
        ClearLink(slot, f);
        SetPrev(slot, f, last);
        if (last != kNone)
            SetNext(last, f, slot);
        else
            SetFirst(head, slot);
        SetLast(head, slot);
        Counted(head, 1);
    }
    template <class Head> void ListRemove(Head&& head, uint32_t slot, LinkFamily f) {
        const uint32_t prev = Prev(slot, f), next = Next(slot, f);
        if (prev != kNone)
            SetNext(prev, f, next);
        else
            SetFirst(head, next);
        if (next != kNone)
            SetPrev(next, f, prev);
        else
            SetLast(head, prev);
        SetPrev(slot, f, kNone);
        SetNext(slot, f, kNone);
        Counted(head, -1);
    }
    template <class Head, class F> void ForEach(Head&& head, LinkFamily f, F&& fn) {
        for (uint32_t s = First(head); s != kNone;) {
            uint32_t next = Next(s, f);
            fn(s);
            s = next;
        }
    }
    // Far links kept apart (for tests and measurements).
    size_t FarLinkCount() const { return far_.size(); }

    // Iterators
    intptr_t CreateIterator(uint32_t boardSlot, int32_t kind, intptr_t filter, int32_t layer);
    IteratorRec* Iterator(intptr_t handle);
    void DestroyIterator(intptr_t handle);
    void BuildIterator(IteratorRec& it);

    // Component placement changes move their primitives.
    void TransformChildren(uint32_t componentSlot, int32_t oldX, int32_t oldY, double oldAngle,
                           int32_t oldLayer, int32_t newX, int32_t newY, double newAngle,
                           int32_t newLayer);

    intptr_t currentBoard = 0;

private:
    static inline std::atomic<Store*> made_{nullptr};
    static Store& Make();
    ObjectTable objects_;
    std::vector<uint32_t> freeObjects_;
    std::unordered_map<uint32_t, ObjectExtras> extras_; // by slot, for objects that hold any
    std::vector<std::unique_ptr<BoardRec>> boards_;
    std::vector<IteratorRec> iterators_;
    std::vector<uint32_t> freeIterators_;
    ChunkedTable<NetTie> ties_;
    std::vector<uint32_t> freeTies_;
    NetTie& TieOf(ObjectRec& o) { // made when the object has none
        if (o.tie == kNone) {
            if (freeTies_.empty()) {
                o.tie = ties_.Add();
            } else {
                o.tie = freeTies_.back();
                freeTies_.pop_back();
                ties_[o.tie] = NetTie{};
            }
        }
        return ties_[o.tie];
    }
    // Lets an object's tie go once it holds nothing.
    void KeepTieIfUsed(ObjectRec& o) {
        if (o.tie != kNone && ties_[o.tie].Empty()) {
            freeTies_.push_back(o.tie);
            o.tie = kNone;
        }
    }
    [[gnu::always_inline]] void SetNetEnd(ObjectRec& o, bool next, uint32_t target) {
        if (o.tie == kNone && target == kNone)
            return;
        Link& l = TieOf(o).link;
        (next ? l.next : l.prev) = target;
        KeepTieIfUsed(o);
    }
    // Links too far for a near family's 16 bits, by slot, family and end.
    std::unordered_map<uint64_t, uint32_t> far_;
    ListHead* HeadFor(ObjectRec& o, LinkFamily f); // kByKind or kByLayer
    static uint64_t FarKey(uint32_t slot, LinkFamily f, bool next) {
        return uint64_t{slot} << 3 | static_cast<uint64_t>(f) << 1 | (next ? 1u : 0u);
    }
    [[gnu::always_inline]] uint32_t NearTarget(uint32_t slot, LinkFamily f, bool next,
                                               int16_t d) const {
        if (d == NearLink::kEmpty)
            return kNone;
        if (d == NearLink::kFar)
            return far_.at(FarKey(slot, f, next));
        return static_cast<uint32_t>(static_cast<int64_t>(slot) + d);
    }
    // The previous (or, with `next`, the next) object in a list of family f.
    [[gnu::always_inline]] uint32_t End(uint32_t slot, LinkFamily f, bool next) const {
        const ObjectRec& o = objects_[slot];
        if (f == kByNet) {
            if (o.tie == kNone)
                return kNone;
            const Link& l = ties_[o.tie].link;
            return next ? l.next : l.prev;
        }
        return NearTarget(slot, f, next, next ? o.near[f].next : o.near[f].prev);
    }
    // A link that is or becomes far (or empty).
    void SetFarEnd(uint32_t slot, LinkFamily f, bool next, int16_t& d, uint32_t target);
    [[gnu::always_inline]] void SetEnd(uint32_t slot, LinkFamily f, bool next, uint32_t target) {
        ObjectRec& o = objects_[slot];
        if (f == kByNet) {
            SetNetEnd(o, next, target);
            return;
        }
        int16_t& d = next ? o.near[f].next : o.near[f].prev;
        const int64_t distance = static_cast<int64_t>(target) - slot;
        if (target != kNone && d != NearLink::kFar && distance != 0 &&
            distance >= -NearLink::kReach && distance <= NearLink::kReach)
            d = static_cast<int16_t>(distance);
        else
            SetFarEnd(slot, f, next, d, target);
    }
    [[gnu::always_inline]] uint32_t Prev(uint32_t slot, LinkFamily f) const {
        return End(slot, f, false);
    }
    [[gnu::always_inline]] uint32_t Next(uint32_t slot, LinkFamily f) const {
        return End(slot, f, true);
    }
    [[gnu::always_inline]] void SetPrev(uint32_t slot, LinkFamily f, uint32_t target) {
        SetEnd(slot, f, false, target);
    }
    [[gnu::always_inline]] void SetNext(uint32_t slot, LinkFamily f, uint32_t target) {
        SetEnd(slot, f, true, target);
    }
    // Empties a link of an object in no list of the family (whatever it held
    // meant nothing: the kind link of an object off the boards holds its net's
    // generation).
    void ClearLink(uint32_t slot, LinkFamily f) {
        ObjectRec& o = objects_[slot];
        if (f == kByNet) {
            if (o.tie != kNone) {
                ties_[o.tie].link = Link{};
                KeepTieIfUsed(o);
            }
        } else
            o.near[f] = NearLink{};
    }
    // Before a record is emptied: drops its far links and its net tie.
    void ForgetKeptApart(uint32_t slot) {
        const ObjectRec& o = objects_[slot];
        if (o.tie != kNone || o.hasFar)
            ForgetKeptApartSlow(slot);
    }
    void ForgetKeptApartSlow(uint32_t slot);
    static uint32_t First(const ListHead& h) { return h.first; }
    static uint32_t Last(const ListHead& h) { return h.last; }
    static void SetFirst(ListHead& h, uint32_t slot) { h.first = slot; }
    static void SetLast(ListHead& h, uint32_t slot) { h.last = slot; }
    static void Counted(ListHead& h, int change) { h.count += static_cast<uint32_t>(change); }
    uint32_t First(OwnedList h) const { return Next(h.owner, h.family); }
    uint32_t Last(OwnedList h) const { return Prev(h.owner, h.family); }
    void SetFirst(OwnedList h, uint32_t slot) { SetNext(h.owner, h.family, slot); }
    void SetLast(OwnedList h, uint32_t slot) { SetPrev(h.owner, h.family, slot); }
    static void Counted(OwnedList, int) {}
    ObjectExtras KeptExtras(uint32_t slot) const;
};

} // namespace corvane
