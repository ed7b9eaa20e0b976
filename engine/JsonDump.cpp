// The board as deterministic JSON: no handles, every reference to another
// object is its kind and its position among that kind's objects on the board
// (nets by name), so a board dumps to the same bytes after a save and reopen.
#include "engine/Records.h"
#include "sdk/JsonText.h"

#include <cstdio>
#include <unordered_map>

namespace corvane {

namespace {
constexpr size_t kWriteChunk = size_t{1} << 20;
} // namespace

void JsonOut::String(const std::string& s) {
    HostSdk::AppendJsonString(out, s);
}

void JsonOut::Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    out += buf;
}

void JsonRecord::operator()(const char* k, Ref& v) {
    j_.Key(k);
    std::string l = v.handle ? label_(v.handle) : std::string();
    if (l.empty())
        j_.out += "null";
    else
        j_.String(l);
    j_.Value();
}

void JsonRecord::operator()(const char* k, PcbApiLayerSet& v) {
    j_.Key(k);
    j_.Open('[');
    for (int l = 0; l < kLayerCount; ++l)
        if (v.Bits[l / 64] >> (l % 64) & 1) {
            j_.Sep();
            j_.Number(static_cast<int64_t>(l));
            j_.Value();
        }
    j_.Close(']');
}

void JsonRecord::operator()(const char* k, PadLayerTable& v) {
    j_.Key(k);
    j_.Open('[');
    for (int l = 1; l < kLayerCount; ++l) {
        const PadLayerEntry& e = v.At(l);
        if (e.shape == 0 && e.xSize == 0 && e.ySize == 0 && e.crPct == 0)
            continue;
        j_.Open('{');
        int32_t layer = l, shape = e.shape, x = e.xSize, y = e.ySize, pct = e.crPct;
        (*this)("Layer", layer);
        (*this)("Shape", shape);
        (*this)("XSize", x);
        (*this)("YSize", y);
        (*this)("CRPct", pct);
        j_.Close('}');
    }
    j_.Close(']');
}

void JsonRecord::operator()(const char* k, std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT>& v) {
    j_.Key(k);
    j_.Open('[');
    for (uint8_t b : v) {
        j_.Sep();
        j_.Number(static_cast<int64_t>(b));
        j_.Value();
    }
    j_.Close(']');
}

void JsonRecord::operator()(const char* k, std::vector<PcbApiPoint>& v) {
    j_.Key(k);
    j_.Open('[');
    for (const auto& p : v) {
        j_.Sep();
        j_.out += '[' + std::to_string(p.x) + ',' + std::to_string(p.y) + ']';
        j_.Value();
    }
    j_.Close(']');
}

void JsonRecord::operator()(const char* k, std::vector<PcbApiPolySegment>& v) {
    j_.Key(k);
    j_.Open('[');
    for (auto s : v) {
        j_.Open('{');
        (*this)("Kind", s.Kind);
        (*this)("vx", s.vx);
        (*this)("vy", s.vy);
        if (s.Kind != 0) {
            (*this)("cx", s.cx);
            (*this)("cy", s.cy);
            (*this)("Radius", s.Radius);
            (*this)("Angle1", s.Angle1);
            (*this)("Angle2", s.Angle2);
        }
        j_.Close('}');
    }
    j_.Close(']');
}

void JsonRecord::operator()(const char* k, std::vector<int32_t>& v) {
    if (constraintNames_ && std::string(k) == "Constraints") {
        j_.Key(k);
        j_.Open('{');
        for (size_t i = 0; i < v.size() && i < constraintNames_->size(); ++i)
            (*this)((*constraintNames_)[i], v[i]);
        j_.Close('}');
        return;
    }
    j_.Key(k);
    j_.Open('[');
    for (int32_t x : v) {
        j_.Sep();
        j_.Number(static_cast<int64_t>(x));
        j_.Value();
    }
    j_.Close(']');
}

void JsonRecord::operator()(const char* k, std::vector<std::string>& v) {
    j_.Key(k);
    j_.Open('[');
    for (const auto& s : v) {
        j_.Sep();
        j_.String(s);
        j_.Value();
    }
    j_.Close(']');
}

namespace {

void Dielectric(JsonOut& j, const char* key, const PcbApiDielectric& d) {
    j.Key(key);
    j.Open('{');
    j.Key("Material");
    j.String(std::string(d.Material, strnlen(d.Material, sizeof d.Material)));
    j.Value();
    j.Key("Kind");
    j.Number(static_cast<int64_t>(d.Kind));
    j.Value();
    j.Key("Constant");
    j.Number(d.Constant);
    j.Value();
    j.Key("Height");
    j.Number(static_cast<int64_t>(d.Height));
    j.Value();
    j.Close('}');
}

void Int(JsonOut& j, const char* key, int64_t v) {
    j.Key(key);
    j.Number(v);
    j.Value();
}

// A reference to another object: its text, or null where there is none.
template <typename TextOf>
void Reference(JsonOut& j, const char* key, uint32_t slot, TextOf&& textOf) {
    j.Key(key);
    if (slot == kNone)
        j.out += "null";
    else
        j.String(textOf(slot));
    j.Value();
}

// Stable labels: kind name and 1-based position in the kind's list, made
// when written from the position kept by slot (0: not labelled).
class Labels {
public:
    Labels(Store& s, BoardRec& b, int first, int last)
        : FStore(s), FPositions(s.ObjectSlotCount(), 0) {
        for (int k = first; k <= last; ++k) {
            uint32_t n = 0;
            s.ForEach(b.byKind[k], kByKind, [&](uint32_t slot) { FPositions[slot] = ++n; });
        }
    }
    std::string OfSlot(uint32_t slot) const {
        if (slot >= FPositions.size() || FPositions[slot] == 0)
            return {};
        return std::string(KindName(FStore.At(slot).kind)) + "#" + std::to_string(FPositions[slot]);
    }

private:
    Store& FStore;
    std::vector<uint32_t> FPositions;
};

// The "Objects" member: every object of the kinds `first` to `last`, handed
// to `write` as it grows rather than held whole.
void ObjectsJson(JsonOut& j, Store& s, BoardRec& b, const Labels& labels, int first, int last,
                 const std::function<void(const std::string&)>& write) {
    auto labelOfSlot = [&](uint32_t slot) { return labels.OfSlot(slot); };
    auto label = [&](intptr_t h) -> std::string {
        uint32_t slot = s.ObjectSlot(h);
        return slot == kNone ? std::string() : labels.OfSlot(slot);
    };
    j.Key("Objects");
    j.Open('{');
    for (int k = first; k <= last; ++k) {
        if (b.byKind[k].count == 0)
            continue;
        j.Key(KindName(k));
        j.Open('[');
        s.ForEach(b.byKind[k], kByKind, [&](uint32_t slot) {
            ObjectRec& o = s.At(slot);
            j.Open('{');
            j.Key("Id");
            j.String(labelOfSlot(slot));
            j.Value();
            if (IsPrimitiveKind(k)) {
                const ObjectExtras extras = s.Extras(slot);
                Int(j, "BitField", extras.bitField);
                Int(j, "BitField2", extras.bitField2);
                Int(j, "BitField3", extras.bitField3);
                Int(j, "Index", extras.index);
                Int(j, "Moveable", o.moveable);
                Reference(j, "Net", s.NetOf(o), [&](uint32_t net) {
                    return static_cast<NetBody*>(s.At(net).body.get())->name.str();
                });
                Reference(j, "Component", o.container, labelOfSlot);
                Int(j, "V6_Layer", o.layer);
                Int(j, "x1", o.x1);
                Int(j, "y1", o.y1);
            }
            const std::vector<const char*>* names = nullptr;
            if (k == kRule)
                names = &ConstraintNames(static_cast<RuleBody*>(o.body.get())->ruleKind);
            JsonRecord rec(j, label, names);
            VisitBody(k, o.body.get(), [&](auto& body) { body.visit(rec); });
            j.Close('}');
            if (j.out.size() >= kWriteChunk) { // written as it grows, not held whole
                write(j.out);
                j.out.clear();
            }
        });
        j.Close(']');
    }
    j.Close('}');
}

} // namespace

// Long: the dump's sections in the order they are written (units, board,
// grids, layers, layer stack and pairs, then the objects), each a few lines
// over one writer.
void BoardJson(uint32_t boardSlot, const std::function<void(const std::string&)>& write) {
    Store& s = Store::Get();
    BoardRec& b = s.BoardAt(boardSlot);
    const Labels labels(s, b, 1, kKindCount - 1);
    auto labelOfSlot = [&](uint32_t slot) { return labels.OfSlot(slot); };

    JsonOut j;
    j.Open('{');
    // Every length and coordinate below is a whole number of host units.
    j.Key("Units");
    j.Open('{');
    j.Key("Length");
    j.String("host unit");
    j.Value();
    Int(j, "HostUnitsPerMil", 10000);
    j.Close('}');
    j.Key("Board");
    j.Open('{');
    Int(j, "OriginX", b.originX);
    Int(j, "OriginY", b.originY);
    Int(j, "CursorX", b.cursorX);
    Int(j, "CursorY", b.cursorY);
    Int(j, "DisplayUnit", b.displayUnit);
    Int(j, "IsLibrary", b.isLibrary);
    Int(j, "CurrentLayer", b.currentLayer);
    Int(j, "DrillGuideHoleSize", b.drillGuideHoleSize);
    Dielectric(j, "Dielectric_Top", b.dielTop);
    Dielectric(j, "Dielectric_Bottom", b.dielBottom);
    Reference(j, "BoardOutline", b.outline, labelOfSlot);
    j.Close('}');

    static const char* const gridNames[13] = {
        "SnapGridUnit",      "BigVisibleGridUnit", "VisibleGridUnit",   "BigVisibleGridSize",
        "VisibleGridSize",   "SnapGridSize",       "SnapGridSizeX",     "SnapGridSizeY",
        "TrackGridSize",     "ViaGridSize",        "ComponentGridSize", "ComponentGridSizeX",
        "ComponentGridSizeY"};
    j.Key("Grids");
    j.Open('{');
    for (int i = 0; i < 13; ++i) {
        j.Key(gridNames[i]);
        j.Number(b.grids.v[i]);
        j.Value();
    }
    j.Close('}');

    j.Key("Layers");
    j.Open('[');
    for (int l = 1; l < kLayerCount; ++l) {
        const LayerRec& r = b.layers[l];
        j.Open('{');
        Int(j, "LayerId", l);
        j.Key("Name");
        j.String(r.name);
        j.Value();
        Int(j, "CopperThickness", r.copperThickness);
        Dielectric(j, "DielectricRecord", r.dielectric);
        Int(j, "UsedByPrims", b.byLayer[l].count);
        Int(j, "IsDisplayed", r.isDisplayed);
        Int(j, "PreviousLayer", r.prev);
        Int(j, "NextLayer", r.next);
        Int(j, "MechanicalLayerEnabled", r.mechanicalEnabled);
        if (l >= 39 && l <= 54) {
            j.Key("NetName");
            j.String(r.planeNet);
            j.Value();
        }
        j.Close('}');
    }
    j.Close(']');

    j.Key("LayerStack");
    j.Open('[');
    for (int l = 1; l < kLayerCount; ++l) {
        if (!b.layers[l].inStack || b.layers[l].prev != 0)
            continue;
        for (int at = l, guard = 0; at != 0 && guard < kLayerCount;
             at = b.layers[at].next, ++guard) {
            j.Sep();
            j.Number(static_cast<int64_t>(at));
            j.Value();
        }
        break;
    }
    j.Close(']');

    j.Key("LayerPairs");
    j.Open('[');
    for (const auto& p : b.pairs) {
        j.Open('{');
        j.Key("Name");
        j.String(p.name);
        j.Value();
        Int(j, "V7_LowLayer", p.low);
        Int(j, "V7_HighLayer", p.high);
        Int(j, "DrillDrawing", p.drillDrawing);
        Int(j, "DrillGuide", p.drillGuide);
        j.Key("SubstackList");
        j.String(p.substack);
        j.Value();
        Int(j, "IsBackDrill", p.backDrill);
        j.Close('}');
    }
    j.Close(']');

    ObjectsJson(j, s, b, labels, 1, kKindCount - 1, write);
    j.Close('}');
    j.out += '\n';
    write(j.out);
}

void RulesJson(uint32_t boardSlot, const std::function<void(const std::string&)>& write) {
    Store& s = Store::Get();
    BoardRec& b = s.BoardAt(boardSlot);
    const Labels labels(s, b, kRule, kRule);
    JsonOut j;
    j.Open('{');
    ObjectsJson(j, s, b, labels, kRule, kRule, write);
    j.Close('}');
    j.out += '\n';
    write(j.out);
}

} // namespace corvane
