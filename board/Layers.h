// Host layer identifiers: the legacy ordinal TV6_Layer, sets of it, and the
// 32-bit TV7_Layer that extends signal, plane, dielectric and mechanical
// layers beyond the legacy range while keeping the legacy values.
#pragma once

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

enum TV6_Layer : uint8_t {
    eV6_NoLayer = 0,
    eV6_TopLayer = 1,
    eV6_MidLayer1,
    eV6_MidLayer2,
    eV6_MidLayer3,
    eV6_MidLayer4,
    eV6_MidLayer5,
    eV6_MidLayer6,
    eV6_MidLayer7,
    eV6_MidLayer8,
    eV6_MidLayer9,
    eV6_MidLayer10,
    eV6_MidLayer11,
    eV6_MidLayer12,
    eV6_MidLayer13,
    eV6_MidLayer14,
    eV6_MidLayer15,
    eV6_MidLayer16,
    eV6_MidLayer17,
    eV6_MidLayer18,
    eV6_MidLayer19,
    eV6_MidLayer20,
    eV6_MidLayer21,
    eV6_MidLayer22,
    eV6_MidLayer23,
    eV6_MidLayer24,
    eV6_MidLayer25,
    eV6_MidLayer26,
    eV6_MidLayer27,
    eV6_MidLayer28,
    eV6_MidLayer29,
    eV6_MidLayer30,
    eV6_BottomLayer = 32,
    eV6_TopOverlay = 33,
    eV6_BottomOverlay = 34,
    eV6_TopPaste = 35,
    eV6_BottomPaste = 36,
    eV6_TopSolder = 37,
    eV6_BottomSolder = 38,
    eV6_InternalPlane1 = 39,
    eV6_InternalPlane2,
    eV6_InternalPlane3,
    eV6_InternalPlane4,
    eV6_InternalPlane5,
    eV6_InternalPlane6,
    eV6_InternalPlane7,
    eV6_InternalPlane8,
    eV6_InternalPlane9,
    eV6_InternalPlane10,
    eV6_InternalPlane11,
    eV6_InternalPlane12,
    eV6_InternalPlane13,
    eV6_InternalPlane14,
    eV6_InternalPlane15,
    eV6_InternalPlane16,
    eV6_DrillGuide = 55,
    eV6_KeepOutLayer = 56,
    eV6_Mechanical1 = 57,
    eV6_Mechanical2,
    eV6_Mechanical3,
    eV6_Mechanical4,
    eV6_Mechanical5,
    eV6_Mechanical6,
    eV6_Mechanical7,
    eV6_Mechanical8,
    eV6_Mechanical9,
    eV6_Mechanical10,
    eV6_Mechanical11,
    eV6_Mechanical12,
    eV6_Mechanical13,
    eV6_Mechanical14,
    eV6_Mechanical15,
    eV6_Mechanical16,
    eV6_DrillDrawing = 73,
    eV6_MultiLayer = 74,
    eV6_ConnectLayer = 75,
    eV6_BackGroundLayer = 76,
    eV6_DRCErrorLayer = 77,
    eV6_HighlightLayer = 78,
    eV6_GridColor1 = 79,
    eV6_GridColor10 = 80,
    eV6_PadHoleLayer = 81,
    eV6_ViaHoleLayer = 82,
};

constexpr int kV6_LayerCount = 83; // 0 .. 82
constexpr TV6_Layer kV6_FirstLayer = eV6_TopLayer;
constexpr TV6_Layer kV6_LastLayer = eV6_ViaHoleLayer;

// True for 0 .. 82.
constexpr bool IsValidV6Layer(int value) {
    return value >= 0 && value < kV6_LayerCount;
}

// The enumerator's own name ("eV6_TopLayer"); "" for a value out of range.
const char* V6LayerName(TV6_Layer layer);

// A set of legacy layers.
class TV6_LayerSet {
public:
    TV6_LayerSet() = default;
    TV6_LayerSet(std::initializer_list<TV6_Layer> layers);

    // The inclusive range first .. last.
    static TV6_LayerSet Range(TV6_Layer first, TV6_Layer last);
    static TV6_LayerSet SignalLayers();     // top, mid 1..30, bottom
    static TV6_LayerSet InternalPlanes();   // planes 1..16
    static TV6_LayerSet MechanicalLayers(); // mechanical 1..16
    static TV6_LayerSet AllLayers();        // 1 .. 82

    void Include(TV6_Layer layer);
    void Exclude(TV6_Layer layer);
    bool Contains(TV6_Layer layer) const;
    bool IsEmpty() const { return bits_.none(); }
    int Count() const { return static_cast<int>(bits_.count()); }
    // Members in ascending order.
    std::vector<TV6_Layer> Layers() const;

    TV6_LayerSet operator|(const TV6_LayerSet& other) const;
    TV6_LayerSet operator&(const TV6_LayerSet& other) const;
    TV6_LayerSet operator-(const TV6_LayerSet& other) const;
    bool operator==(const TV6_LayerSet& other) const = default;

private:
    std::bitset<kV6_LayerCount> bits_;
};

// Raised by a layer constructor given an index out of its range; the message
// is "Creating <Kind>Layer(<index>)".
class ELayerException : public std::runtime_error {
public:
    explicit ELayerException(const std::string& message) : std::runtime_error(message) {}
};

// The extended layer identifier: 16-bit index in the low word, a kind byte
// (byte 2) and a family byte (byte 3). Legacy layers keep their TV6_Layer value.
class TV7_Layer {
public:
    static constexpr uint32_t kSignalHigh = 0x0101;
    static constexpr uint32_t kPlaneHigh = 0x0104;
    static constexpr uint32_t kDielectricHigh = 0x0201;
    static constexpr uint32_t kMechanicalHigh = 0x0400;
    static constexpr int64_t kMaxIndex = 65535;

    constexpr TV7_Layer() = default;
    constexpr explicit TV7_Layer(uint32_t value) : value_(value) {}
    // A legacy layer keeps its number.
    constexpr TV7_Layer(TV6_Layer layer) : value_(static_cast<uint32_t>(layer)) {}

    // Constructors from a one-based index; raise ELayerException out of range.
    static TV7_Layer SignalLayer(int64_t index);
    static TV7_Layer MidLayer(int64_t index);
    static TV7_Layer InternalPlane(int64_t index);
    static TV7_Layer MechanicalLayer(int64_t index);
    static TV7_Layer DielectricLayer(int64_t index);

    constexpr uint32_t Value() const { return value_; }
    constexpr uint32_t HighWord() const { return value_ >> 16; }
    constexpr uint32_t LowWord() const { return value_ & 0xFFFFu; }

    bool IsNoLayer() const { return value_ == 0; }
    bool IsSignalLayer() const;
    bool IsInternalPlane() const;
    bool IsMechanicalLayer() const;
    bool IsDielectricLayer() const;

    // One-based index within the layer's kind (top 1, bottom 65535), 0 when the
    // identifier is not of that kind.
    uint32_t SignalIndex() const;
    uint32_t PlaneIndex() const;
    uint32_t MechanicalIndex() const;
    uint32_t DielectricIndex() const;

    // The legacy layer that stands for this one (0 for dielectrics and
    // identifiers of other kinds).
    TV6_Layer ToV6() const;

    constexpr bool operator==(const TV7_Layer& other) const = default;

private:
    uint32_t value_ = 0;
};

inline TV7_Layer V6ToV7(TV6_Layer layer) {
    return TV7_Layer(layer);
}
inline TV6_Layer V7ToV6(TV7_Layer layer) {
    return layer.ToV6();
}
