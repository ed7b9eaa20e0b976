#include "board/Pcbclass.h"

#include "board/PCBProcs.h"

#include <algorithm>
#include <cstring>
#include <forward_list>
#include <type_traits>
#include <utility>

namespace {
namespace P = PCBProcs;

namespace P = PCBProcs;

// ------------------------------------------------------------------- exchange

// Values handed to an engine query. Plain numbers and handles are handed as
// the wrapper's own fields. Fields whose wire form differs (enumerations and
// flags, layers, texts, dielectrics, layer sets) get a wire value initialised
// from the field; for a read, Commit() copies every wire value back into its
// field. A query that fails, or an unbound engine, leaves the wire values
// untouched, and the caller commits only after a successful read. An exchange
// made for a write only (TExchange(false)) keeps no commits and hands texts
// that fit the engine's buffer as the field's own characters: the engine only
// reads them then.
class TExchange {
public:
    explicit TExchange(bool read = true) : read_(read) {}
    TExchange(const TExchange&) = delete;
    TExchange& operator=(const TExchange&) = delete;
    ~TExchange() {
        // The buffers taken last go back for the next exchange.
        if (textCount_ > 0) {
            TTextStack& stack = Texts();
            if (stack.Top == textBase_ + textCount_)
                stack.Top = textBase_;
        }
    }

    int32_t* Int(int32_t& field) { return &field; }
    intptr_t* Handle(intptr_t& field) { return &field; }
    double* Real(double& field) { return &field; }
    uint16_t* Word(uint16_t& field) { return &field; }

    template <typename Field> int32_t* Ord(Field& field) {
        int32_t* wire = NewInt(static_cast<int32_t>(field));
        if (read_)
            AddCommit(&field, wire, [](void* f, void* w) {
                const int32_t value = *static_cast<int32_t*>(w);
                if constexpr (std::is_same_v<Field, bool>)
                    *static_cast<Field*>(f) = value != 0;
                else
                    *static_cast<Field*>(f) = static_cast<Field>(value);
            });
        return wire;
    }
    int32_t* V6(TV7_Layer& field) {
        // A legacy layer number is its own legacy layer.
        const uint32_t value = field.Value();
        int32_t* wire = NewInt(value < static_cast<uint32_t>(kV6_LayerCount)
                                   ? static_cast<int32_t>(value)
                                   : static_cast<int32_t>(field.ToV6()));
        if (read_)
            AddCommit(&field, wire, [](void* f, void* w) {
                const int32_t value = *static_cast<int32_t*>(w);
                *static_cast<TV7_Layer*>(f) =
                    IsValidV6Layer(value) ? V6ToV7(static_cast<TV6_Layer>(value)) : TV7_Layer();
            });
        return wire;
    }
    char* Text(std::string& field) {
        if (!read_ && field.size() < static_cast<size_t>(PCBAPI_TEXT_CAPACITY))
            return const_cast<char*>(field.c_str());
        char* wire = TakeBuffer();
        const size_t n = std::min(field.size(), static_cast<size_t>(PCBAPI_TEXT_CAPACITY - 1));
        std::memcpy(wire, field.data(), n);
        wire[n] = '\0';
        if (read_)
            AddCommit(&field, wire, [](void* f, void* w) {
                char* text = static_cast<char*>(w);
                text[PCBAPI_TEXT_CAPACITY - 1] = '\0';
                static_cast<std::string*>(f)->assign(text);
            });
        return wire;
    }
    PcbApiDielectric* Dielectric(TDielectricRecord& field) {
        auto wire = std::make_unique<PcbApiDielectric>();
        wire->Kind = field.Kind;
        wire->Height = field.Height;
        wire->Constant = field.Constant;
        const size_t n =
            std::min(field.Material.size(), static_cast<size_t>(PCBAPI_MATERIAL_CAPACITY - 1));
        std::memcpy(wire->Material, field.Material.data(), n);
        wire->Material[n] = '\0';
        PcbApiDielectric* raw = wire.get();
        Rare().Dielectrics.push_back(std::move(wire));
        if (read_)
            AddCommit(&field, raw, [](void* f, void* w) {
                auto& record = *static_cast<TDielectricRecord*>(f);
                auto& value = *static_cast<PcbApiDielectric*>(w);
                value.Material[PCBAPI_MATERIAL_CAPACITY - 1] = '\0';
                record.Kind = value.Kind;
                record.Height = value.Height;
                record.Constant = value.Constant;
                record.Material.assign(value.Material);
            });
        return raw;
    }
    PcbApiLayerSet* Layers(TV6_LayerSet& field) {
        auto wire = std::make_unique<PcbApiLayerSet>();
        for (TV6_Layer layer : field.Layers())
            wire->Bits[layer / 64] |= uint64_t{1} << (layer % 64);
        PcbApiLayerSet* raw = wire.get();
        Rare().LayerSets.push_back(std::move(wire));
        if (read_)
            AddCommit(&field, raw, [](void* f, void* w) {
                const auto& value = *static_cast<PcbApiLayerSet*>(w);
                TV6_LayerSet set;
                for (int v = 0; v < kV6_LayerCount; ++v)
                    if (value.Bits[v / 64] & (uint64_t{1} << (v % 64)))
                        set.Include(static_cast<TV6_Layer>(v));
                *static_cast<TV6_LayerSet*>(f) = set;
            });
        return raw;
    }

    void Commit() {
        for (int i = 0; i < commitCount_; ++i)
            commits_[i].Apply(commits_[i].Field, commits_[i].Wire);
        if (rare_)
            for (const TCommit& commit : rare_->SpilledCommits)
                commit.Apply(commit.Field, commit.Wire);
    }

private:
    struct TCommit {
        void* Field;
        void* Wire;
        void (*Apply)(void* field, void* wire);
    };
    // A record has a few dozen such values; the rare longer one spills into
    // node-based storage, which keeps the addresses handed out valid.
    static constexpr int kMaxInts = 48;
    static constexpr int kMaxCommits = 48;

    // The common case inline, the spill apart: every field of every record
    // passes here.
    int32_t* NewInt(int32_t value) {
        if (intCount_ < kMaxInts) [[likely]] {
            ints_[intCount_] = value;
            return &ints_[intCount_++];
        }
        return SpillInt(value);
    }
    [[gnu::noinline]] int32_t* SpillInt(int32_t value) {
        Rare().SpilledInts.push_front(value);
        return &Rare().SpilledInts.front();
    }
    void AddCommit(void* field, void* wire, void (*apply)(void*, void*)) {
        if (commitCount_ < kMaxCommits) [[likely]]
            commits_[commitCount_++] = TCommit{field, wire, apply};
        else
            SpillCommit(TCommit{field, wire, apply});
    }
    [[gnu::noinline]] void SpillCommit(const TCommit& commit) {
        Rare().SpilledCommits.push_back(commit);
    }

    // Text buffers are reused across exchanges: every read of an object with
    // texts would otherwise allocate and free them. The buffers of the
    // exchanges alive are a stack per thread: an exchange takes the next ones
    // and gives them back when it ends. An exchange whose buffers would not
    // lie together at the top (another one took some in between) keeps the
    // rest to itself.
    struct TTextStack {
        std::vector<std::unique_ptr<char[]>> Buffers;
        size_t Top = 0;
    };
    static TTextStack& Texts() {
        thread_local TTextStack stack;
        return stack;
    }
    char* TakeBuffer() {
        TTextStack& stack = Texts();
        if (textCount_ == 0)
            textBase_ = stack.Top;
        else if (stack.Top != textBase_ + textCount_) {
            Rare().SpilledTexts.push_back(
                std::make_unique_for_overwrite<char[]>(PCBAPI_TEXT_CAPACITY));
            return Rare().SpilledTexts.back().get();
        }
        if (stack.Top == stack.Buffers.size())
            stack.Buffers.push_back(std::make_unique_for_overwrite<char[]>(PCBAPI_TEXT_CAPACITY));
        ++textCount_;
        return stack.Buffers[stack.Top++].get();
    }

    bool read_;
    int intCount_ = 0;
    int commitCount_ = 0;
    int textCount_ = 0;
    int32_t ints_[kMaxInts];
    TCommit commits_[kMaxCommits];
    size_t textBase_ = 0; // this exchange's first buffer on the stack
    // What few exchanges need, made on first use: most records are plain
    // numbers and short texts, and an import exchanges millions of them.
    struct TRare {
        std::forward_list<int32_t> SpilledInts;
        std::vector<TCommit> SpilledCommits;
        std::vector<std::unique_ptr<char[]>> SpilledTexts;
        std::vector<std::unique_ptr<PcbApiDielectric>> Dielectrics;
        std::vector<std::unique_ptr<PcbApiLayerSet>> LayerSets;
    };
    TRare& Rare() {
        if (!rare_)
            rare_ = std::make_unique<TRare>();
        return *rare_;
    }
    std::unique_ptr<TRare> rare_;
};

// A read is done on a copy, so that a failed read leaves the wrapper as it
// was: the plain fields go through a scratch copy of the wrapper. A write
// hands the wrapper's own fields, which the engine only reads.
template <typename Wrapper, typename Query>
int32_t ExchangeOnCopy(Wrapper& self, int32_t mode, int32_t success, Query query) {
    if (mode != 1) {
        TExchange x(false);
        return query(self, x);
    }
    Wrapper scratch = self;
    TExchange x;
    const int32_t result = query(scratch, x);
    if (result == success) {
        x.Commit();
        self = std::move(scratch);
    }
    return result;
}

#define COMMON_FIELDS(w, x)                                                                        \
    x.Word(w.BitField), x.Word(w.Index), x.V6(w.V7_Layer), x.Handle(w.Net), x.Ord(w.Moveable),     \
        x.Handle(w.Component), x.Int(w.x1), x.Int(w.y1)

// Segment lists: the first call reads the record and learns the segment
// count (capacity 0); a second call, made only when there are segments,
// fills the list. `call(record, segments, count, capacity)`.
template <typename Call> int32_t ReadSegments(std::vector<TPcbPolySegment>& out, Call call) {
    TPcbPolySegment probe{};
    int32_t count = 0;
    const int32_t result = call(true, &probe, &count, 0);
    out.clear();
    if (result != 1 || count <= 0)
        return result;
    std::vector<TPcbPolySegment> segments(static_cast<size_t>(count));
    int32_t filled = count;
    const int32_t fill = call(false, segments.data(), &filled, count);
    if (fill != 1)
        return fill;
    segments.resize(static_cast<size_t>(std::clamp(filled, 0, count)));
    out = std::move(segments);
    return fill;
}

} // namespace

// ------------------------------------------------------------------ TPCBObject

void TPCBObject::ExchangeBitFields(int32_t mode) {
    if (IsWrite(mode)) {
        const bool unchanged = fresh_.Known && fresh_.Two == BitField2 && fresh_.Three == BitField3;
        fresh_.Known = false;
        if (unchanged)
            return; // the new object holds these already
        P::PcbApi_SetObjectBitField2(ObjectHandle, BitField2);
        P::PcbApi_SetObjectBitField3(ObjectHandle, BitField3);
        return;
    }
    uint8_t bits2 = BitField2;
    if (P::PcbApi_GetObjectBitField2(ObjectHandle, &bits2) == 1)
        BitField2 = bits2;
    uint16_t bits3 = BitField3;
    if (P::PcbApi_GetObjectBitField3(ObjectHandle, &bits3) == 1)
        BitField3 = bits3;
}

int32_t TPCBObject::QueryDatabase(int32_t mode) {
    ExchangeBitFields(mode);
    return QueryRecord(mode);
}

int32_t TPcbTrack::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbTrack& w, TExchange& x) {
        return P::PcbApi_QueryTrack(mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.x2),
                                    x.Int(w.y2), x.Int(w.Width), x.Handle(w.Polygon),
                                    x.Handle(w.Coordinate), x.Handle(w.Dimension));
    });
}

int32_t TPcbArc::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbArc& w, TExchange& x) {
        return P::PcbApi_QueryArc(mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.Radius),
                                  x.Real(w.Angle1), x.Real(w.Angle2), x.Int(w.LineWidth),
                                  x.Handle(w.Polygon));
    });
}

int32_t TPcbFill::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbFill& w, TExchange& x) {
        return P::PcbApi_QueryFill(mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.x2),
                                   x.Int(w.y2), x.Handle(w.Polygon), x.Real(w.Angle));
    });
}

int32_t TPcbVia::QueryRecord(int32_t mode) {
    const int32_t result = ExchangeOnCopy(*this, mode, 1, [mode](TPcbVia& w, TExchange& x) {
        return P::PcbApi_QueryVia(mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.Size),
                                  x.Int(w.HoleSize), x.Ord(w.LowLayer), x.Ord(w.HighLayer),
                                  x.Ord(w.FIsAssyTestPointTop), x.Ord(w.FIsAssyTestPointBtm));
    });
    if (result == 1) {
        int32_t height = Height;
        if (P::PcbApi_QueryViaHeight(mode, ObjectHandle, &height) == 1 && mode == 1)
            Height = height;
    }
    return result;
}

// --------------------------------------------------------------------- TPcbPad

TPcbPad::TPcbPad(intptr_t handle) : TPCBObject(handle, ePadObject) {
    shapeOnLayer_.fill(eRounded);
}

namespace {
namespace P = PCBProcs;
bool perLayerIndex(TV6_Layer layer) {
    return layer >= kV6_FirstLayer && layer <= kV6_LastLayer;
}
} // namespace

TShape TPcbPad::GetState_ShapeOnLayer(TV6_Layer layer) const {
    return perLayerIndex(layer) ? shapeOnLayer_[layer] : eNoShape;
}
int32_t TPcbPad::GetState_XSizeOnLayer(TV6_Layer layer) const {
    return perLayerIndex(layer) ? xSizeOnLayer_[layer] : 0;
}
int32_t TPcbPad::GetState_YSizeOnLayer(TV6_Layer layer) const {
    return perLayerIndex(layer) ? ySizeOnLayer_[layer] : 0;
}
int32_t TPcbPad::GetState_CornerRadiusOnLayer(TV6_Layer layer) const {
    return perLayerIndex(layer) ? cornerRadiusOnLayer_[layer] : 0;
}
int32_t TPcbPad::GetState_CRPctOnLayer(TV6_Layer layer) const {
    return perLayerIndex(layer) ? crPctOnLayer_[layer] : 0;
}
void TPcbPad::SetState_ShapeOnLayer(TV6_Layer layer, TShape shape) {
    if (perLayerIndex(layer))
        shapeOnLayer_[layer] = shape;
}
void TPcbPad::SetState_XSizeOnLayer(TV6_Layer layer, int32_t size) {
    if (perLayerIndex(layer))
        xSizeOnLayer_[layer] = size;
}
void TPcbPad::SetState_YSizeOnLayer(TV6_Layer layer, int32_t size) {
    if (perLayerIndex(layer))
        ySizeOnLayer_[layer] = size;
}
void TPcbPad::SetState_CRPctOnLayer(TV6_Layer layer, int32_t percentage) {
    if (perLayerIndex(layer))
        crPctOnLayer_[layer] = percentage;
}

int32_t TPcbPad::QueryDatabase(int32_t mode) {
    // A new pad already in the mode noted for it needs no write of the mode.
    const bool freshMode =
        IsWrite(mode) && FreshBitFields().Known && FreshBitFields().PadMode == FMode;
    ExchangeBitFields(mode);
    int32_t padMode = FMode;
    if (!freshMode && P::PcbApi_QueryPadStackMode(mode, ObjectHandle, &padMode) == 1 && mode == 1)
        FMode = static_cast<TPadMode>(padMode);
    return QueryRecord(mode);
}

// All layers in one engine call; false (nothing taken) when the engine
// refuses it or lacks it, and the layers are then read one by one.
bool TPcbPad::QueryLayersAtOnce() {
    constexpr int32_t count = kV6_LastLayer - kV6_FirstLayer + 1;
    int32_t shapes[count], radii[count];
    int32_t xs[count], ys[count], pcts[count];
    if (P::PcbApi_QueryPadLayers(ObjectHandle, kV6_FirstLayer, count, shapes, xs, ys, radii,
                                 pcts) != 1)
        return false;
    for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v) {
        const int i = v - kV6_FirstLayer;
        shapeOnLayer_[v] = static_cast<TShape>(shapes[i]);
        xSizeOnLayer_[v] = xs[i];
        ySizeOnLayer_[v] = ys[i];
        cornerRadiusOnLayer_[v] = radii[i];
        crPctOnLayer_[v] = pcts[i];
    }
    return true;
}

int32_t TPcbPad::QueryFields(int32_t mode, bool inPlace) {
    const auto query = [mode](TPcbPad& w, TExchange& x) {
        return P::PcbApi_QueryPad(
            mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.TopXsize), x.Int(w.TopYsize),
            x.Int(w.MidXsize), x.Int(w.MidYsize), x.Int(w.BotXsize), x.Int(w.BotYsize),
            x.Int(w.HoleSize), x.Ord(w.TopShape), x.Ord(w.MidShape), x.Ord(w.BotShape),
            x.Text(w.Name), x.Ord(w.DaisyChainStyle), x.Ord(w.Plated), x.Real(w.Angle),
            x.Text(w.SwapID_Pad), x.Text(w.SwapID_Part), x.Int(w.OwnerPart_ID),
            x.Text(w.SwappedPadName), x.Ord(w.FDrillType), x.Ord(w.FHoleType), x.Int(w.FHoleWidth),
            x.Real(w.FHoleRotation), x.Int(w.FPadOffsetX), x.Int(w.FPadOffsetY), x.Int(w.FJumperID),
            x.Ord(w.FIsAssyTestPointTop), x.Ord(w.FIsAssyTestPointBtm));
    };
    if (!inPlace || mode != 1)
        return ExchangeOnCopy(*this, mode, 1, query);
    // Read in place, without a copy of the wrapper (its per-layer entries
    // are most of it): a wrapper just made from its handle that fails to
    // read is made again, which is the state it had.
    TExchange x;
    const int32_t result = query(*this, x);
    if (result == 1)
        x.Commit();
    else
        *this = TPcbPad(ObjectHandle);
    return result;
}

int32_t TPcbPad::QueryRecord(int32_t mode) {
    const int32_t result = QueryFields(mode);
    if (result != 1)
        return result;
    if (mode == 1) {
        if (!QueryLayersAtOnce())
            for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v) {
                int32_t shape = shapeOnLayer_[v];
                if (P::PcbApi_QueryPadOrViaShapeOnLayer(ObjectHandle, v, &shape) == 1)
                    shapeOnLayer_[v] = static_cast<TShape>(shape);
                int32_t xs = xSizeOnLayer_[v];
                int32_t ys = ySizeOnLayer_[v];
                if (P::PcbApi_QueryPadOrViaSizeOnLayer(ObjectHandle, v, &xs, &ys) == 1) {
                    xSizeOnLayer_[v] = xs;
                    ySizeOnLayer_[v] = ys;
                }
                int32_t radius = cornerRadiusOnLayer_[v];
                if (P::PcbApi_QueryPadCornerRadiusOnLayer(ObjectHandle, v, &radius) == 1)
                    cornerRadiusOnLayer_[v] = radius;
                int32_t pct = crPctOnLayer_[v];
                if (P::PcbApi_QueryPadCRPercentageOnLayer(ObjectHandle, v, &pct) == 1)
                    crPctOnLayer_[v] = pct;
            }
        TopCRPct = crPctOnLayer_[eV6_TopLayer];
        MidCRPct = crPctOnLayer_[eV6_MidLayer1];
        BotCRPct = crPctOnLayer_[eV6_BottomLayer];
    } else if (FMode == ePadMode_ExternalStack) {
        // All layers in one engine call; when it refuses a value (or an older
        // engine lacks it) the layers go one by one, which takes the same
        // values again and reports nothing either.
        constexpr int32_t count = kV6_LastLayer - kV6_FirstLayer + 1;
        int32_t shapes[count];
        for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v)
            shapes[v - kV6_FirstLayer] = static_cast<int32_t>(shapeOnLayer_[v]);
        if (P::PcbApi_SetPadLayers(ObjectHandle, kV6_FirstLayer, count, shapes,
                                   &xSizeOnLayer_[kV6_FirstLayer], &ySizeOnLayer_[kV6_FirstLayer],
                                   &crPctOnLayer_[kV6_FirstLayer]) != 1)
            for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v) {
                P::PcbApi_SetPadShapeOnLayer(ObjectHandle, v, shapeOnLayer_[v]);
                P::PcbApi_SetPadSizeOnLayer(ObjectHandle, v, xSizeOnLayer_[v], ySizeOnLayer_[v]);
                P::PcbApi_SetCRPctOnLayer(ObjectHandle, v, crPctOnLayer_[v]);
            }
    }
    return result;
}

// ------------------------------------------------------------------ TPCBRegion

int32_t TPCBRegion::QueryRecord(int32_t mode) {
    if (mode != 1) {
        TPCBRegion w = *this;
        TExchange x;
        std::vector<TPcbPoint> holePoints;
        std::vector<int32_t> holeSizes;
        for (const auto& hole : w.Holes) {
            holePoints.insert(holePoints.end(), hole.begin(), hole.end());
            holeSizes.push_back(static_cast<int32_t>(hole.size()));
        }
        TPcbPoint dummyPoint{};
        int32_t dummySize = 0;
        int32_t contourCount = static_cast<int32_t>(w.MainContour.size());
        int32_t holePointCount = static_cast<int32_t>(holePoints.size());
        int32_t holeCount = static_cast<int32_t>(holeSizes.size());
        return P::PcbApi_QueryRegion(
            mode, w.ObjectHandle, COMMON_FIELDS(w, x),
            w.MainContour.empty() ? &dummyPoint : w.MainContour.data(), &contourCount, contourCount,
            holePoints.empty() ? &dummyPoint : holePoints.data(), &holePointCount, holePointCount,
            holeSizes.empty() ? &dummySize : holeSizes.data(), &holeCount, holeCount,
            x.Ord(w.FKind), x.Layers(w.LayerSet), x.Int(w.Data), x.Handle(w.Polygon));
    }
    // First pass learns the counts, second fills the lists.
    int32_t contourCount = 0, holePointCount = 0, holeCount = 0;
    {
        TPCBRegion w = *this;
        TExchange x;
        TPcbPoint dummyPoint{};
        int32_t dummySize = 0;
        const int32_t r = P::PcbApi_QueryRegion(
            1, w.ObjectHandle, COMMON_FIELDS(w, x), &dummyPoint, &contourCount, 0, &dummyPoint,
            &holePointCount, 0, &dummySize, &holeCount, 0, x.Ord(w.FKind), x.Layers(w.LayerSet),
            x.Int(w.Data), x.Handle(w.Polygon));
        if (r != 1)
            return r;
    }
    TPCBRegion w = *this;
    TExchange x;
    std::vector<TPcbPoint> contour(static_cast<size_t>(std::max(contourCount, 1)));
    std::vector<TPcbPoint> holePoints(static_cast<size_t>(std::max(holePointCount, 1)));
    std::vector<int32_t> holeSizes(static_cast<size_t>(std::max(holeCount, 1)));
    int32_t cc = 0, hpc = 0, hc = 0;
    const int32_t r = P::PcbApi_QueryRegion(
        1, w.ObjectHandle, COMMON_FIELDS(w, x), contour.data(), &cc, std::max(contourCount, 0),
        holePoints.data(), &hpc, std::max(holePointCount, 0), holeSizes.data(), &hc,
        std::max(holeCount, 0), x.Ord(w.FKind), x.Layers(w.LayerSet), x.Int(w.Data),
        x.Handle(w.Polygon));
    if (r != 1)
        return r;
    x.Commit();
    contour.resize(static_cast<size_t>(std::clamp(cc, 0, std::max(contourCount, 0))));
    w.MainContour = std::move(contour);
    w.Holes.clear();
    size_t next = 0;
    const size_t available = static_cast<size_t>(std::clamp(hpc, 0, std::max(holePointCount, 0)));
    for (int32_t h = 0; h < std::clamp(hc, 0, std::max(holeCount, 0)); ++h) {
        const size_t n = static_cast<size_t>(std::max(holeSizes[static_cast<size_t>(h)], 0));
        const size_t end = std::min(available, next + n);
        w.Holes.emplace_back(holePoints.begin() + static_cast<std::ptrdiff_t>(next),
                             holePoints.begin() + static_cast<std::ptrdiff_t>(end));
        next = end;
    }
    *this = std::move(w);
    return r;
}

// ------------------------------------------------------------ texts, components

int32_t TPcbText::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbText& w, TExchange& x) {
        return P::PcbApi_QueryText(
            mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.Size), x.Int(w.Font),
            x.Real(w.Angle), x.Ord(w.Mirror), x.Text(w.Text), x.Int(w.LineWidth),
            x.Ord(w.UseTTFonts), x.Ord(w.Bold), x.Ord(w.Italic), x.Text(w.FontName),
            x.Ord(w.Inverted), x.Int(w.InvertedBorder), x.Int(w.BarCodeKind),
            x.Int(w.BarCodeRenderMode), x.Int(w.BarCodeFullWidth), x.Int(w.BarCodeFullHeight),
            x.Int(w.BarCodeXMargin), x.Int(w.BarCodeYMargin), x.Ord(w.BarCodeShowText),
            x.Ord(w.BarCodeInverted));
    });
}

int32_t TPcbComponent::QueryRecord(int32_t mode) {
    return Exchange(mode, nullptr);
}

namespace {
bool useTextHandleQueries = true;
} // namespace

void TPcbComponent::UseTextHandleQueries(bool use) {
    useTextHandleQueries = use;
}

int32_t TPcbComponent::QueryTextHandles() {
    // An engine that gives the two handles alone spares the read of the
    // whole record; one that does not (0) has the record read.
    intptr_t name = 0, comment = 0;
    if (useTextHandleQueries && P::PcbApi_QueryComponentTexts(ObjectHandle, &name, &comment) == 1) {
        Name = name;
        Comment = comment;
        return 1;
    }
    TPcbComponent blank(ObjectHandle);
    return Exchange(1, &blank);
}

int32_t TPcbComponent::Exchange(int32_t mode, TPcbComponent* blank) {
    const auto query = [mode](TPcbComponent& w, TExchange& x) {
        return P::PcbApi_QueryComponent(
            mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.ChannelOffset),
            x.Int(w.ComponentKind), x.Handle(w.Name), x.Handle(w.Comment), x.Text(w.Pattern),
            x.Ord(w.NameOn), x.Ord(w.CommentOn), x.Int(w.GroupNum), x.Real(w.Angle),
            x.Ord(w.PrimitiveLock), x.Int(w.Height), x.Int(w.NameAutoPosition),
            x.Int(w.CommentAutoPosition), x.Int(w.UnionIndex), x.Text(w.SourceDesignator),
            x.Text(w.SourceUniqueId), x.Text(w.SourceHierarchicalPath), x.Text(w.SourceLibraryName),
            x.Text(w.FootprintDescription), x.Text(w.DefaultPCB3DModel), x.Text(w.LibraryLinkId));
    };
    if (!blank)
        return ExchangeOnCopy(*this, mode, 1, query);
    // The handles are plain fields the engine fills in the blank wrapper
    // itself: nothing of the rest needs committing, nor this wrapper copying.
    TExchange x;
    const int32_t result = query(*blank, x);
    if (result == 1) {
        Name = blank->Name;
        Comment = blank->Comment;
    }
    return result;
}

int32_t TPcbComponent::AddObject(intptr_t object) {
    if (object == 0)
        return 1;
    return P::PcbApi_AddObjectToContainer(ObjectHandle, object);
}

int32_t TPcbComponent::DeleteObject(intptr_t object) {
    if (object == 0)
        return 1;
    return P::PcbApi_DeleteObjectFromContainer(ObjectHandle, object);
}

// -------------------------------------------------------- polygons and planes

// Exchanges a record that carries a segment list: a write sends the list as it
// is; a read fetches the record and then as many segments as the engine holds,
// and commits both only when the read succeeded.
template <class W, class Query> int32_t ExchangeSegmented(W& self, int32_t mode, Query query) {
    W w = self;
    TExchange x;
    if (mode != 1) {
        TPcbPolySegment dummy{};
        int32_t count = static_cast<int32_t>(w.Segments.size());
        return query(w, x, w.Segments.empty() ? &dummy : w.Segments.data(), &count, count);
    }
    std::vector<TPcbPolySegment> segments;
    const int32_t r =
        ReadSegments(segments, [&](bool record, TPcbPolySegment* s, int32_t* c, int32_t capacity) {
            if (record)
                return query(w, x, s, c, capacity);
            TExchange unused;
            W scratch = w;
            return query(scratch, unused, s, c, capacity);
        });
    if (r != 1)
        return r;
    x.Commit();
    w.Segments = std::move(segments);
    // Keep the fields of this object's own kind (a board outline stays one).
    w.ObjectKind = self.ObjectKind;
    self = std::move(w);
    return r;
}

int32_t TPcbPolygon::QueryRecord(int32_t mode) {
    return ExchangeSegmented(*this, mode,
                             [mode](TPcbPolygon& w, TExchange& x, TPcbPolySegment* segments,
                                    int32_t* count, int32_t capacity) {
                                 return P::PcbApi_QueryPolygonEx(
                                     mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.PointCount),
                                     segments, count, capacity, x.Ord(w.SplitPlane),
                                     x.Ord(w.RemoveDead), x.Ord(w.UseOctagons), x.Ord(w.PourOver),
                                     x.Int(w.Grid), x.Int(w.TrackSize), x.Int(w.MinTrack),
                                     x.Ord(w.PrimitiveLock), x.Ord(w.PolyHatchStyle));
                             });
}

intptr_t TPcbBoardOutline::CreateFor(intptr_t board) {
    return P::PcbApi_CreateBoardOutline(board);
}

int32_t TPcbBoardOutline::Update() {
    return P::PcbApi_UpdateBoardOutline(ObjectHandle);
}

int32_t TPcbSplitPlane::QueryRecord(int32_t mode) {
    return ExchangeSegmented(*this, mode,
                             [mode](TPcbSplitPlane& w, TExchange& x, TPcbPolySegment* segments,
                                    int32_t* count, int32_t capacity) {
                                 return P::PcbApi_QuerySplitPlane(
                                     mode, w.ObjectHandle, COMMON_FIELDS(w, x), x.Int(w.PointCount),
                                     segments, count, capacity, x.Ord(w.PrimitiveLock));
                             });
}

// ---------------------------------------------------- nets, from-tos, embedded

int32_t TPcbNet::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbNet& w, TExchange& x) {
        return P::PcbApi_QueryNet(mode, w.ObjectHandle, x.Text(w.Name), x.Ord(w.ConnectsVisible),
                                  x.Int(w.PwrGndColor));
    });
}

int32_t TPcbManualFromTo::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbManualFromTo& w, TExchange& x) {
        return P::PcbApi_QueryManualFromTo(mode, w.ObjectHandle, x.Text(w.FromPad), x.Text(w.ToPad),
                                           x.Text(w.NetName), x.Int(w.Color));
    });
}

int32_t TPcbEmbedded::QueryRecord(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TPcbEmbedded& w, TExchange& x) {
        return P::PcbApi_QueryEmbedded(mode, w.ObjectHandle, x.Text(w.Name), x.Text(w.Description));
    });
}

// -------------------------------------------------------------- classes, rules

int32_t TPCBObjectClass::QueryRecord(int32_t mode) {
    const int32_t result = ExchangeOnCopy(*this, mode, 1, [mode](TPCBObjectClass& w, TExchange& x) {
        return P::PcbApi_QueryClass(mode, w.ObjectHandle, x.Text(w.Name), x.Ord(w.MemberKind),
                                    x.Ord(w.SuperClass));
    });
    if (result != 1)
        return result;
    if (IsWrite(mode)) {
        P::PcbApi_RemoveAllMembersFromClass(ObjectHandle);
        for (const std::string& member : MemberList)
            P::PcbApi_AddMemberToClass(ObjectHandle, member.c_str());
        return result;
    }
    std::vector<std::string> members;
    auto buffer = std::make_unique<char[]>(PCBAPI_TEXT_CAPACITY);
    for (int32_t i = 0;; ++i) {
        buffer[0] = '\0';
        if (P::PcbApi_GetMemberFromClassAt(ObjectHandle, i, buffer.get()) != 0)
            break;
        buffer[PCBAPI_TEXT_CAPACITY - 1] = '\0';
        members.emplace_back(buffer.get());
    }
    MemberList = std::move(members);
    return result;
}

TPcbRuleEx::TPcbRuleEx(intptr_t handle) : TPCBObject(handle, eRuleObject) {
    SetState_Layer(eV6_MultiLayer);
}

int32_t TPcbRuleEx::QueryRecord(int32_t mode) {
    const int32_t result = ExchangeOnCopy(*this, mode, 0, [mode](TPcbRuleEx& w, TExchange& x) {
        return P::PcbApi_QueryRuleEx(mode, w.ObjectHandle, x.Ord(w.Kind), x.Ord(w.NetScope),
                                     x.Int(w.Priority), x.Ord(w.LayerKind),
                                     x.Text(w.Scope1Expression), x.Text(w.Scope2Expression));
    });
    if (result == 1)
        return result;
    ExchangeOnCopy(*this, mode, 0, [mode](TPcbRuleEx& w, TExchange& x) {
        return P::PcbApi_QueryRuleExtEx(mode, w.ObjectHandle, x.Text(w.Name));
    });
    return result;
}

// ---------------------------------------------------------------------- layers

int32_t TLayerObject::QueryDatabase(int32_t mode) {
    return ExchangeOnCopy(*this, mode, 1, [mode](TLayerObject& w, TExchange& x) {
        return P::PcbApi_QueryLayer(
            mode, w.LayerId, w.BoardHandle, x.Text(w.Name), x.Int(w.CopperThickness),
            x.Dielectric(w.DielectricRecord), x.Int(w.UsedByPrims), x.Ord(w.IsDisplayed),
            x.Ord(w.PreviousLayer), x.Ord(w.NextLayer), x.Ord(w.MechanicalLayerEnabled));
    });
}

int32_t TInternalPlane::QueryDatabase(int32_t mode) {
    const int32_t result = TLayerObject::QueryDatabase(mode);
    if (result != 1)
        return result;
    return ExchangeOnCopy(*this, mode, 1, [mode](TInternalPlane& w, TExchange& x) {
        return P::PcbApi_QueryInternalPlane(mode, w.LayerId, w.BoardHandle, x.Text(w.NetName));
    });
}

// ----------------------------------------------------------------------- board

TPcbBoard::TPcbBoard(intptr_t handle) : ObjectHandle(handle), layerBoard_(handle) {}

TLayerObject& TPcbBoard::Layer(int v) const {
    std::unique_ptr<TLayerObject>& slot = layers_[v];
    if (!slot) {
        const auto layer = static_cast<TV6_Layer>(v);
        if (layer >= eV6_InternalPlane1 && layer <= eV6_InternalPlane16)
            slot = std::make_unique<TInternalPlane>(layerBoard_, layer);
        else
            slot = std::make_unique<TLayerObject>(layerBoard_, layer);
    }
    return *slot;
}

TPcbBoard TPcbBoard::Current() {
    return TPcbBoard(P::PcbApi_GetCurrentBoardHandle());
}

int32_t TPcbBoard::QueryDatabase(int32_t mode) {
    int32_t result = 0;
    {
        intptr_t window = Window;
        std::string fileName = FileName;
        TDielectricRecord top = Dielectric_Top;
        TDielectricRecord bottom = Dielectric_Bottom;
        int32_t isLibrary = IsLibrary, originX = OriginX, originY = OriginY, cursorX = CursorX,
                cursorY = CursorY, unit = DisplayUnit, current = CurrentLayer,
                guide = DrillGuideHoleSize;
        intptr_t outline = BoardOutline;
        TExchange x;
        result = P::PcbApi_QueryBoard(
            mode, ObjectHandle, &window, x.Text(fileName), &isLibrary, &originX, &originY, &cursorX,
            &cursorY, &unit, x.Dielectric(top), x.Dielectric(bottom), &current, &guide, &outline);
        if (mode == 1 && result == 1) {
            x.Commit();
            Window = window;
            FileName = fileName;
            IsLibrary = isLibrary != 0;
            OriginX = originX;
            OriginY = originY;
            CursorX = cursorX;
            CursorY = cursorY;
            DisplayUnit = static_cast<TUnit>(unit);
            Dielectric_Top = top;
            Dielectric_Bottom = bottom;
            CurrentLayer = IsValidV6Layer(current) ? static_cast<TV6_Layer>(current) : eV6_NoLayer;
            DrillGuideHoleSize = guide;
            BoardOutline = outline;
        }
    }
    if (result != 1)
        return result;
    std::array<double, 13> grids = {SnapGridUnit,       BigVisibleGridUnit, VisibleGridUnit,
                                    BigVisibleGridSize, VisibleGridSize,    SnapGridSize,
                                    SnapGridSizeX,      SnapGridSizeY,      TrackGridSize,
                                    ViaGridSize,        ComponentGridSize,  ComponentGridSizeX,
                                    ComponentGridSizeY};
    const int32_t gridResult = P::PcbApi_QueryBoardGridsEx(
        mode, ObjectHandle, &grids[0], &grids[1], &grids[2], &grids[3], &grids[4], &grids[5],
        &grids[6], &grids[7], &grids[8], &grids[9], &grids[10], &grids[11], &grids[12]);
    if (mode == 1 && gridResult == 1) {
        SnapGridUnit = grids[0];
        BigVisibleGridUnit = grids[1];
        VisibleGridUnit = grids[2];
        BigVisibleGridSize = grids[3];
        VisibleGridSize = grids[4];
        SnapGridSize = grids[5];
        SnapGridSizeX = grids[6];
        SnapGridSizeY = grids[7];
        TrackGridSize = grids[8];
        ViaGridSize = grids[9];
        ComponentGridSize = grids[10];
        ComponentGridSizeX = grids[11];
        ComponentGridSizeY = grids[12];
    }
    return gridResult;
}

int TPcbBoard::QueryLayers(int32_t mode) {
    int exchanged = 0;
    for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v)
        if (Layer(v).QueryDatabase(mode) == 1)
            ++exchanged;
    return exchanged;
}

int32_t TPcbBoard::ReadLayerPairs() {
    const int32_t count = P::PcbApi_GetLayerPairCount(ObjectHandle);
    std::vector<TPcbLayerPair> pairs;
    for (int32_t i = 0; i < count; ++i) {
        TPcbLayerPair pair;
        int32_t low = 0, high = 0, drawing = 0, guide = 0, backDrill = 0;
        TExchange x;
        if (P::PcbApi_QueryLayerPair(1, ObjectHandle, i, x.Text(pair.Name), &low, &high, &drawing,
                                     &guide, x.Text(pair.SubstackList), &backDrill) != 1)
            return 0;
        x.Commit();
        pair.V7_LowLayer = TV7_Layer(static_cast<uint32_t>(low));
        pair.V7_HighLayer = TV7_Layer(static_cast<uint32_t>(high));
        pair.DrillDrawing = drawing != 0;
        pair.DrillGuide = guide != 0;
        pair.IsBackDrill = backDrill != 0;
        pairs.push_back(std::move(pair));
    }
    LayerPairs = std::move(pairs);
    return 1;
}

TLayerObject* TPcbBoard::GetState_LayerObject(TV6_Layer layer) const {
    if (layer < kV6_FirstLayer || layer > kV6_LastLayer)
        return nullptr;
    return &Layer(layer);
}

TInternalPlane* TPcbBoard::GetState_InternalPlane(TV6_Layer layer) const {
    if (layer < eV6_InternalPlane1 || layer > eV6_InternalPlane16)
        return nullptr;
    return static_cast<TInternalPlane*>(&Layer(layer));
}

TLayerObject* TPcbBoard::GetState_FirstLayerInStack() const {
    // The head of a stack of two or more layers has a next but no previous
    // layer. A single-layer stack has neither: then the first layer without a
    // previous layer is the answer.
    for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v)
        if (Layer(v).PreviousLayer == eV6_NoLayer && Layer(v).NextLayer != eV6_NoLayer)
            return &Layer(v);
    for (int v = kV6_FirstLayer; v <= kV6_LastLayer; ++v)
        if (Layer(v).PreviousLayer == eV6_NoLayer)
            return &Layer(v);
    return nullptr;
}

TLayerObject* TPcbBoard::GetState_NextLayerInStack(const TLayerObject* layer) const {
    if (layer == nullptr)
        return nullptr;
    return GetState_LayerObject(layer->NextLayer);
}

const TPcbLayerPair* TPcbBoard::GetState_LayerPairByPair(TV7_Layer low, TV7_Layer high) const {
    for (const TPcbLayerPair& pair : LayerPairs)
        if ((pair.V7_LowLayer == low && pair.V7_HighLayer == high) ||
            (pair.V7_LowLayer == high && pair.V7_HighLayer == low))
            return &pair;
    return nullptr;
}

int32_t TPcbBoard::SetProperty_InternalPlaneNetName(TV6_Layer layer, const std::string& net) {
    TInternalPlane* plane = GetState_InternalPlane(layer);
    if (plane == nullptr)
        return 0;
    plane->NetName = net;
    std::string wire = net;
    TExchange x;
    return P::PcbApi_QueryInternalPlane(0, layer, ObjectHandle, x.Text(wire));
}

int32_t TPcbBoard::InsertLayerInStack(TV6_Layer layer, TV6_Layer afterLayer) {
    return P::PcbApi_InsertLayerInStack(ObjectHandle, layer, afterLayer);
}

int32_t TPcbBoard::AddLayerPair(const std::string& name, TV7_Layer low, TV7_Layer high) {
    return P::PcbApi_AddLayerPair(ObjectHandle, name.c_str(), static_cast<int32_t>(low.Value()),
                                  static_cast<int32_t>(high.Value()));
}

int32_t TPcbBoard::AddObject(intptr_t object) const {
    if (object == 0)
        return 1;
    return P::PcbApi_AddObjectToContainer(ObjectHandle, object);
}

int32_t TPcbBoard::DeleteObject(intptr_t object) const {
    if (object == 0)
        return 1;
    return P::PcbApi_DeleteObjectFromContainer(ObjectHandle, object);
}

int TPcbBoard::ProcessItems_1(TObjectId kind, const TObjectVisitor& visit) const {
    return ProcessItems(ObjectHandle, kind, visit);
}

int TPcbBoard::ProcessItems_2(TObjectId kind, const TV6_LayerSet& layers,
                              const TObjectVisitor& visit) const {
    return ProcessItemsOnLayers(ObjectHandle, kind, layers, visit);
}
