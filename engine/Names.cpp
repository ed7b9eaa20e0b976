// Names of kinds and default layers, the interned texts of records, and the
// constraint names and defaults of each rule kind.
#include "engine/Model.h"

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// ----------------------------------------------------------------- names

const char* KindName(int32_t kind) {
    return PcbApiKindName(kind);
}

const char* LayerDefaultName(int32_t layer) {
    static const std::array<std::string, kLayerCount> names = [] {
        std::array<std::string, kLayerCount> n;
        n[0] = "No Layer";
        n[1] = "Top Layer";
        for (int i = 1; i <= 30; ++i)
            n[i + 1] = "Mid-Layer " + std::to_string(i);
        n[32] = "Bottom Layer";
        n[33] = "Top Overlay";
        n[34] = "Bottom Overlay";
        n[35] = "Top Paste";
        n[36] = "Bottom Paste";
        n[37] = "Top Solder";
        n[38] = "Bottom Solder";
        for (int i = 1; i <= 16; ++i)
            n[i + 38] = "Internal Plane " + std::to_string(i);
        n[55] = "Drill Guide";
        n[56] = "Keep-Out Layer";
        for (int i = 1; i <= 16; ++i)
            n[i + 56] = "Mechanical " + std::to_string(i);
        n[73] = "Drill Drawing";
        n[74] = "Multi-Layer";
        n[75] = "Connections";
        n[76] = "Background";
        n[77] = "DRC Errors";
        n[78] = "Highlights";
        n[79] = "Visible Grid 1";
        n[80] = "Visible Grid 10";
        n[81] = "Pad Holes";
        n[82] = "Via Holes";
        return n;
    }();
    return layer >= 0 && layer < kLayerCount ? names[layer].c_str() : "";
}

namespace {
// Every text once, numbered in the order first met, found by its hash in a
// flat table: pads, texts and components name their texts by the hundred
// thousand.
class TextPool {
public:
    uint32_t Find(std::string_view s) {
        const uint64_t hash = std::hash<std::string_view>{}(s);
        const uint32_t found = ids_.Find(hash, [&](uint32_t id) { return texts_[id] == s; });
        if (found != kNone)
            return found;
        const auto id = static_cast<uint32_t>(texts_.size());
        texts_.emplace_back(s);
        ids_.Add(hash, id);
        return id;
    }
    const std::string& Text(uint32_t id) const { return texts_[id]; }

private:
    std::deque<std::string> texts_{std::string()}; // 0: the empty text
    FlatCells ids_;
};
TextPool& Texts() {
    static TextPool* pool = new TextPool; // outlives every record
    return *pool;
}
} // namespace

uint32_t Interned::Intern(std::string_view s) {
    return s.empty() ? 0 : Texts().Find(s);
}

const std::string& Interned::str() const {
    return Texts().Text(id_);
}

const std::vector<const char*>& ConstraintNames(int32_t ruleKind) {
    static const std::vector<const char*> none;
    static const std::vector<const char*> clearance{"Gap"};
    static const std::vector<const char*> parallel{"Gap", "Limit"};
    static const std::vector<const char*> width{"MaxWidth", "MinWidth", "PreferredWidth"};
    static const std::vector<const char*> stub{"StubLength"};
    static const std::vector<const char*> topology{"Topology"};
    static const std::vector<const char*> layers = [] {
        static std::vector<std::string> keep;
        std::vector<const char*> n;
        for (int i = 1; i <= PCBAPI_ROUTING_LAYER_COUNT; ++i)
            keep.push_back("Layer" + std::to_string(i));
        for (auto& s : keep)
            n.push_back(s.c_str());
        return n;
    }();
    static const std::vector<const char*> viaStyle{"MinHoleWidth",       "MinWidth",
                                                   "MaxHoleWidth",       "MaxWidth",
                                                   "PreferredHoleWidth", "PreferredWidth"};
    static const std::vector<const char*> allowed{"Allowed"};
    static const std::vector<const char*> count{"MaximumViaCount"};
    static const std::vector<const char*> distance{"Distance"};
    switch (ruleKind) {
    case 0:
        return clearance;
    case 1:
        return parallel;
    case 2:
        return width;
    case 5:
        return stub;
    case 7:
        return topology;
    case 9:
        return layers;
    case 11:
        return viaStyle;
    case 17:
        return allowed;
    case 18:
        return count;
    case 23:
        return distance;
    case kHoleToHoleRule:
        return clearance;
    default:
        return none;
    }
}

std::vector<int32_t> DefaultConstraints(int32_t ruleKind) {
    switch (ruleKind) {
    case 0:
        return {100000};
    case 1:
        return {100000, 100000000};
    case 2:
        return {100000, 100000, 100000};
    case 5:
        return {10000000};
    case 7:
        return {0};
    case 9: {
        std::vector<int32_t> v(PCBAPI_ROUTING_LAYER_COUNT, 0);
        v[0] = 1;
        v[31] = 2;
        return v;
    }
    case 11:
        return {280000, 500000, 280000, 500000, 280000, 500000};
    case 17:
        return {0};
    case 18:
        return {1000};
    case 23:
        return {0};
    case kHoleToHoleRule:
        return {kDefaultHoleGap};
    default:
        return {};
    }
}

} // namespace corvane
