// The records of board objects: one body type per kind, listing its fields
// once for every writer and reader, and the box that holds a body.
#pragma once

#include "engine/FlatCells.h"
#include "engine/ModelBase.h"
#include "sdk/CheckedHeap.h"

#include <functional>
#include <string_view>

namespace corvane {

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
    // The same kept value (equal values are kept once).
    bool operator==(const Shared& other) const { return id_ == other.id_; }
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
    std::vector<std::string> members; // in the order added
    template <class V> void visit(V& v) {
        v("Name", name);
        v("MemberKind", memberKind);
        v("SuperClass", superClass);
        v("MemberList", members);
    }
    // Adds a member the class does not hold yet: false when it holds it.
    bool AddMember(std::string_view member) {
        const uint64_t hash = HashOf(member);
        if (memberIndex.Find(hash, [&](uint32_t i) { return members[i] == member; }) != kNone)
            return false;
        memberIndex.Add(hash, static_cast<uint32_t>(members.size()));
        members.emplace_back(member);
        return true;
    }
    void ClearMembers() {
        members.clear();
        memberIndex = FlatCells();
    }
    // Indexes the members after the list was set whole (a document read).
    void IndexMembers() {
        memberIndex = FlatCells();
        for (size_t i = 0; i < members.size(); ++i)
            memberIndex.Add(HashOf(members[i]), static_cast<uint32_t>(i));
    }

private:
    static uint64_t HashOf(std::string_view member) {
        return std::hash<std::string_view>{}(member);
    }
    // The members by the hash of their names, as their places in the list:
    // a class of every net of a board takes its members one by one.
    FlatCells memberIndex;
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
constexpr bool kCheckedHeap = HostSdk::kCheckedHeap;

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
    // Gives the memory of every record type that has no record left back.
    static void ReleaseIdleArenas();
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

} // namespace corvane
