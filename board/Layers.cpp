#include "board/Layers.h"

#include <array>

namespace {

std::array<std::string, kV6_LayerCount> makeV6Names() {
    std::array<std::string, kV6_LayerCount> names;
    names[eV6_NoLayer] = "eV6_NoLayer";
    names[eV6_TopLayer] = "eV6_TopLayer";
    for (int i = 1; i <= 30; ++i)
        names[static_cast<size_t>(i + 1)] = "eV6_MidLayer" + std::to_string(i);
    names[eV6_BottomLayer] = "eV6_BottomLayer";
    names[eV6_TopOverlay] = "eV6_TopOverlay";
    names[eV6_BottomOverlay] = "eV6_BottomOverlay";
    names[eV6_TopPaste] = "eV6_TopPaste";
    names[eV6_BottomPaste] = "eV6_BottomPaste";
    names[eV6_TopSolder] = "eV6_TopSolder";
    names[eV6_BottomSolder] = "eV6_BottomSolder";
    for (int i = 1; i <= 16; ++i)
        names[static_cast<size_t>(i + 38)] = "eV6_InternalPlane" + std::to_string(i);
    names[eV6_DrillGuide] = "eV6_DrillGuide";
    names[eV6_KeepOutLayer] = "eV6_KeepOutLayer";
    for (int i = 1; i <= 16; ++i)
        names[static_cast<size_t>(i + 56)] = "eV6_Mechanical" + std::to_string(i);
    names[eV6_DrillDrawing] = "eV6_DrillDrawing";
    names[eV6_MultiLayer] = "eV6_MultiLayer";
    names[eV6_ConnectLayer] = "eV6_ConnectLayer";
    names[eV6_BackGroundLayer] = "eV6_BackGroundLayer";
    names[eV6_DRCErrorLayer] = "eV6_DRCErrorLayer";
    names[eV6_HighlightLayer] = "eV6_HighlightLayer";
    names[eV6_GridColor1] = "eV6_GridColor1";
    names[eV6_GridColor10] = "eV6_GridColor10";
    names[eV6_PadHoleLayer] = "eV6_PadHoleLayer";
    names[eV6_ViaHoleLayer] = "eV6_ViaHoleLayer";
    return names;
}

[[noreturn]] void raiseLayer(const char* kind, int64_t index) {
    throw ELayerException(std::string("Creating ") + kind + "(" + std::to_string(index) + ")");
}

bool indexInRange(int64_t index) {
    return index >= 1 && index <= TV7_Layer::kMaxIndex;
}

} // namespace

const char* V6LayerName(TV6_Layer layer) {
    static const std::array<std::string, kV6_LayerCount> names = makeV6Names();
    if (!IsValidV6Layer(layer))
        return "";
    return names[layer].c_str();
}

// ---------------------------------------------------------------- TV6_LayerSet

TV6_LayerSet::TV6_LayerSet(std::initializer_list<TV6_Layer> layers) {
    for (TV6_Layer layer : layers)
        Include(layer);
}

TV6_LayerSet TV6_LayerSet::Range(TV6_Layer first, TV6_Layer last) {
    TV6_LayerSet set;
    for (int v = first; v <= last && IsValidV6Layer(v); ++v)
        set.bits_.set(static_cast<size_t>(v));
    return set;
}

TV6_LayerSet TV6_LayerSet::SignalLayers() {
    return Range(eV6_TopLayer, eV6_BottomLayer);
}
TV6_LayerSet TV6_LayerSet::InternalPlanes() {
    return Range(eV6_InternalPlane1, eV6_InternalPlane16);
}
TV6_LayerSet TV6_LayerSet::MechanicalLayers() {
    return Range(eV6_Mechanical1, eV6_Mechanical16);
}
TV6_LayerSet TV6_LayerSet::AllLayers() {
    return Range(kV6_FirstLayer, kV6_LastLayer);
}

void TV6_LayerSet::Include(TV6_Layer layer) {
    if (IsValidV6Layer(layer))
        bits_.set(layer);
}

void TV6_LayerSet::Exclude(TV6_Layer layer) {
    if (IsValidV6Layer(layer))
        bits_.reset(layer);
}

bool TV6_LayerSet::Contains(TV6_Layer layer) const {
    return IsValidV6Layer(layer) && bits_.test(layer);
}

std::vector<TV6_Layer> TV6_LayerSet::Layers() const {
    std::vector<TV6_Layer> layers;
    layers.reserve(bits_.count());
    for (size_t v = 0; v < bits_.size(); ++v)
        if (bits_.test(v))
            layers.push_back(static_cast<TV6_Layer>(v));
    return layers;
}

TV6_LayerSet TV6_LayerSet::operator|(const TV6_LayerSet& other) const {
    TV6_LayerSet set;
    set.bits_ = bits_ | other.bits_;
    return set;
}

TV6_LayerSet TV6_LayerSet::operator&(const TV6_LayerSet& other) const {
    TV6_LayerSet set;
    set.bits_ = bits_ & other.bits_;
    return set;
}

TV6_LayerSet TV6_LayerSet::operator-(const TV6_LayerSet& other) const {
    TV6_LayerSet set;
    set.bits_ = bits_ & ~other.bits_;
    return set;
}

// ------------------------------------------------------------------ TV7_Layer

TV7_Layer TV7_Layer::SignalLayer(int64_t index) {
    if (!indexInRange(index))
        raiseLayer("SignalLayer", index);
    if (index == 1)
        return TV7_Layer(eV6_TopLayer);
    if (index == kMaxIndex)
        return TV7_Layer(eV6_BottomLayer);
    if (index <= 31)
        return TV7_Layer(static_cast<uint32_t>(index));
    return TV7_Layer((kSignalHigh << 16) + static_cast<uint32_t>(index));
}

TV7_Layer TV7_Layer::MidLayer(int64_t index) {
    return SignalLayer(index + 1);
}

TV7_Layer TV7_Layer::InternalPlane(int64_t index) {
    if (!indexInRange(index))
        raiseLayer("InternalPlaneLayer", index);
    if (index <= 16)
        return TV7_Layer(static_cast<uint32_t>(index + 38));
    return TV7_Layer((kPlaneHigh << 16) + static_cast<uint32_t>(index));
}

TV7_Layer TV7_Layer::MechanicalLayer(int64_t index) {
    if (!indexInRange(index))
        raiseLayer("MechanicalLayer", index);
    if (index <= 16)
        return TV7_Layer(static_cast<uint32_t>(index + 56));
    return TV7_Layer((kMechanicalHigh << 16) + static_cast<uint32_t>(index));
}

TV7_Layer TV7_Layer::DielectricLayer(int64_t index) {
    if (!indexInRange(index))
        raiseLayer("DielectricLayer", index);
    return TV7_Layer((kDielectricHigh << 16) + static_cast<uint32_t>(index));
}

bool TV7_Layer::IsSignalLayer() const {
    return (HighWord() == 0 && value_ >= eV6_TopLayer && value_ <= eV6_BottomLayer) ||
           HighWord() == kSignalHigh;
}

bool TV7_Layer::IsInternalPlane() const {
    return (HighWord() == 0 && value_ >= eV6_InternalPlane1 && value_ <= eV6_InternalPlane16) ||
           HighWord() == kPlaneHigh;
}

bool TV7_Layer::IsMechanicalLayer() const {
    return (HighWord() == 0 && value_ >= eV6_Mechanical1 && value_ <= eV6_Mechanical16) ||
           HighWord() == kMechanicalHigh;
}

bool TV7_Layer::IsDielectricLayer() const {
    return HighWord() == kDielectricHigh;
}

uint32_t TV7_Layer::SignalIndex() const {
    if (!IsSignalLayer())
        return 0;
    if (HighWord() != 0)
        return LowWord();
    return value_ == eV6_BottomLayer ? static_cast<uint32_t>(kMaxIndex) : value_;
}

uint32_t TV7_Layer::PlaneIndex() const {
    if (!IsInternalPlane())
        return 0;
    return HighWord() != 0 ? LowWord() : value_ - 38;
}

uint32_t TV7_Layer::MechanicalIndex() const {
    if (!IsMechanicalLayer())
        return 0;
    return HighWord() != 0 ? (value_ & 0x00FFFFFFu) : value_ - 56;
}

uint32_t TV7_Layer::DielectricIndex() const {
    return IsDielectricLayer() ? LowWord() : 0;
}

TV6_Layer TV7_Layer::ToV6() const {
    if (value_ == 0)
        return eV6_NoLayer;
    if (IsSignalLayer()) {
        const uint32_t k = SignalIndex();
        if (k == 1)
            return eV6_TopLayer;
        if (k == static_cast<uint32_t>(kMaxIndex))
            return eV6_BottomLayer;
        return k <= 31 ? static_cast<TV6_Layer>(k) : eV6_MidLayer30;
    }
    if (IsInternalPlane()) {
        const uint32_t p = PlaneIndex();
        if (p == 0)
            return eV6_NoLayer;
        return p <= 16 ? static_cast<TV6_Layer>(p + 38) : eV6_InternalPlane16;
    }
    if (IsMechanicalLayer()) {
        const uint32_t m = MechanicalIndex();
        if (m == 0)
            return eV6_NoLayer;
        return m <= 16 ? static_cast<TV6_Layer>(m + 56) : eV6_Mechanical16;
    }
    // The remaining fixed layers keep their legacy number; everything else,
    // dielectrics included, has no legacy form.
    if (HighWord() == 0 && IsValidV6Layer(static_cast<int>(value_)))
        return static_cast<TV6_Layer>(value_);
    return eV6_NoLayer;
}
