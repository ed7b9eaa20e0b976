// Layer identifiers: constructors at their range edges, classification,
// conversions between the legacy and the extended forms, and layer sets.
#include "board/Layers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::string layerMessage(void (*make)()) {
    try {
        make();
    } catch (const ELayerException& e) {
        return e.what();
    }
    return "<no exception>";
}

TEST(TV7LayerConstructors, SignalIndexEdges) {
    EXPECT_EQ(TV7_Layer::SignalLayer(1).Value(), 1u);
    EXPECT_EQ(TV7_Layer::SignalLayer(65535).Value(), 32u);
    EXPECT_EQ(TV7_Layer::SignalLayer(2).Value(), 2u);
    EXPECT_EQ(TV7_Layer::SignalLayer(31).Value(), 31u);
    EXPECT_EQ(TV7_Layer::SignalLayer(32).Value(), 0x01010020u);
    EXPECT_EQ(TV7_Layer::SignalLayer(65534).Value(), 0x0101FFFEu);
    EXPECT_EQ(TV7_Layer::MidLayer(1).Value(), static_cast<uint32_t>(eV6_MidLayer1));
    EXPECT_EQ(TV7_Layer::MidLayer(30).Value(), static_cast<uint32_t>(eV6_MidLayer30));
    EXPECT_EQ(TV7_Layer::MidLayer(31).Value(), 0x01010020u);
}

TEST(TV7LayerConstructors, PlaneMechanicalDielectricEdges) {
    EXPECT_EQ(TV7_Layer::InternalPlane(1).Value(), 39u);
    EXPECT_EQ(TV7_Layer::InternalPlane(16).Value(), 54u);
    EXPECT_EQ(TV7_Layer::InternalPlane(17).Value(), 0x01040011u);
    EXPECT_EQ(TV7_Layer::MechanicalLayer(1).Value(), 57u);
    EXPECT_EQ(TV7_Layer::MechanicalLayer(16).Value(), 72u);
    EXPECT_EQ(TV7_Layer::MechanicalLayer(17).Value(), 0x04000011u);
    EXPECT_EQ(TV7_Layer::MechanicalLayer(65535).Value(), 0x0400FFFFu);
    EXPECT_EQ(TV7_Layer::DielectricLayer(1).Value(), 0x02010001u);
    EXPECT_EQ(TV7_Layer::DielectricLayer(65535).Value(), 0x0201FFFFu);
    // Equality compares every bit: the same index of two kinds differs.
    EXPECT_NE(TV7_Layer::InternalPlane(17), TV7_Layer::SignalLayer(17));
    EXPECT_NE(TV7_Layer(0x01040011u), TV7_Layer(0x00000011u));
}

TEST(TV7LayerConstructors, OutOfRangeIndexesRaiseWithTheKindAndIndex) {
    EXPECT_EQ(layerMessage([] { TV7_Layer::SignalLayer(0); }), "Creating SignalLayer(0)");
    EXPECT_EQ(layerMessage([] { TV7_Layer::SignalLayer(65536); }), "Creating SignalLayer(65536)");
    EXPECT_EQ(layerMessage([] { TV7_Layer::SignalLayer(-3); }), "Creating SignalLayer(-3)");
    EXPECT_EQ(layerMessage([] { TV7_Layer::InternalPlane(0); }), "Creating InternalPlaneLayer(0)");
    EXPECT_EQ(layerMessage([] { TV7_Layer::InternalPlane(70000); }),
              "Creating InternalPlaneLayer(70000)");
    EXPECT_EQ(layerMessage([] { TV7_Layer::MechanicalLayer(0); }), "Creating MechanicalLayer(0)");
    EXPECT_EQ(layerMessage([] { TV7_Layer::DielectricLayer(65536); }),
              "Creating DielectricLayer(65536)");
    // A mid layer is the signal layer one above; its failure names the signal index.
    EXPECT_EQ(layerMessage([] { TV7_Layer::MidLayer(65535); }), "Creating SignalLayer(65536)");
}

// The kinds a layer answers to, as letters: Signal, Plane, Mechanical, Dielectric.
std::string KindsOf(const TV7_Layer& l) {
    return std::string(l.IsSignalLayer() ? "S" : "") + (l.IsInternalPlane() ? "P" : "") +
           (l.IsMechanicalLayer() ? "M" : "") + (l.IsDielectricLayer() ? "D" : "");
}

TEST(TV7LayerClassification, KindsAreDisjointAndFollowTheHighWord) {
    using L = TV7_Layer;
    const std::pair<TV7_Layer, const char*> rows[] = {
        {L::SignalLayer(1), "S"},        {L::SignalLayer(40), "S"},
        {L::InternalPlane(3), "P"},      {L::InternalPlane(100), "P"},
        {L::MechanicalLayer(20), "M"},   {L::DielectricLayer(2), "D"},
        {TV7_Layer(eV6_TopOverlay), ""}, {TV7_Layer(eV6_BottomLayer), "S"}};
    for (const auto& [layer, kinds] : rows)
        EXPECT_EQ(KindsOf(layer), kinds) << std::hex << layer.Value();
    EXPECT_FALSE(TV7_Layer(eV6_MultiLayer).IsSignalLayer());
    EXPECT_TRUE(TV7_Layer().IsNoLayer());
}

TEST(LayerConversions, EveryLegacyValueRoundTrips) {
    std::set<uint32_t> seen;
    for (int v = 0; v < kV6_LayerCount; ++v) {
        const auto layer = static_cast<TV6_Layer>(v);
        const TV7_Layer wide = V6ToV7(layer);
        EXPECT_EQ(wide.Value(), static_cast<uint32_t>(v));
        EXPECT_EQ(V7ToV6(wide), layer) << V6LayerName(layer);
        seen.insert(wide.Value());
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kV6_LayerCount));
    // Legacy values agree with their constructors.
    EXPECT_EQ(V6ToV7(eV6_InternalPlane3), TV7_Layer::InternalPlane(3));
    EXPECT_EQ(V6ToV7(eV6_Mechanical16), TV7_Layer::MechanicalLayer(16));
    EXPECT_EQ(V6ToV7(eV6_MidLayer30), TV7_Layer::MidLayer(30));
    EXPECT_EQ(V6ToV7(eV6_BottomLayer), TV7_Layer::SignalLayer(65535));
}

TEST(LayerConversions, ExtendedLayersFoldOntoTheLastLegacyOfTheirKind) {
    EXPECT_EQ(V7ToV6(TV7_Layer::SignalLayer(40)), eV6_MidLayer30);
    EXPECT_EQ(V7ToV6(TV7_Layer::SignalLayer(32)), eV6_MidLayer30);
    EXPECT_EQ(V7ToV6(TV7_Layer::SignalLayer(65535)), eV6_BottomLayer);
    EXPECT_EQ(V7ToV6(TV7_Layer::InternalPlane(17)), eV6_InternalPlane16);
    EXPECT_EQ(V7ToV6(TV7_Layer::MechanicalLayer(20)), eV6_Mechanical16);
    EXPECT_EQ(V7ToV6(TV7_Layer::DielectricLayer(1)), eV6_NoLayer);
    EXPECT_EQ(V7ToV6(TV7_Layer(83u)), eV6_NoLayer);
    EXPECT_EQ(V7ToV6(TV7_Layer(0x7F000005u)), eV6_NoLayer);
    // A plane or mechanical identifier with index 0 names no layer; it must
    // not fall onto the fixed layer just below its kind's legacy range.
    EXPECT_EQ(V7ToV6(TV7_Layer(0x01040000u)), eV6_NoLayer);
    EXPECT_EQ(V7ToV6(TV7_Layer(0x04000000u)), eV6_NoLayer);
    EXPECT_EQ(V7ToV6(TV7_Layer(0x01010000u)), eV6_NoLayer);
}

TEST(LayerNames, EnumeratorNamesCoverAllValues) {
    EXPECT_STREQ(V6LayerName(eV6_NoLayer), "eV6_NoLayer");
    EXPECT_STREQ(V6LayerName(eV6_MidLayer1), "eV6_MidLayer1");
    EXPECT_STREQ(V6LayerName(eV6_MidLayer30), "eV6_MidLayer30");
    EXPECT_STREQ(V6LayerName(eV6_InternalPlane16), "eV6_InternalPlane16");
    EXPECT_STREQ(V6LayerName(eV6_Mechanical1), "eV6_Mechanical1");
    EXPECT_STREQ(V6LayerName(eV6_ViaHoleLayer), "eV6_ViaHoleLayer");
    std::set<std::string> names;
    for (int v = 0; v < kV6_LayerCount; ++v)
        names.insert(V6LayerName(static_cast<TV6_Layer>(v)));
    EXPECT_EQ(names.size(), static_cast<size_t>(kV6_LayerCount));
    EXPECT_STREQ(V6LayerName(static_cast<TV6_Layer>(83)), "");
}

TEST(TV6LayerSetTest, MembershipRangesAndOperators) {
    const TV6_LayerSet signal = TV6_LayerSet::SignalLayers();
    EXPECT_EQ(signal.Count(), 32);
    EXPECT_TRUE(signal.Contains(eV6_TopLayer));
    EXPECT_TRUE(signal.Contains(eV6_BottomLayer));
    EXPECT_FALSE(signal.Contains(eV6_TopOverlay));
    EXPECT_EQ(TV6_LayerSet::InternalPlanes().Count(), 16);
    EXPECT_EQ(TV6_LayerSet::MechanicalLayers().Layers().front(), eV6_Mechanical1);
    EXPECT_EQ(TV6_LayerSet::AllLayers().Count(), 82);
    EXPECT_FALSE(TV6_LayerSet::AllLayers().Contains(eV6_NoLayer));

    TV6_LayerSet set{eV6_BottomLayer, eV6_TopLayer, eV6_MultiLayer};
    EXPECT_EQ(set.Layers(),
              (std::vector<TV6_Layer>{eV6_TopLayer, eV6_BottomLayer, eV6_MultiLayer}));
    set.Exclude(eV6_MultiLayer);
    EXPECT_EQ(set, (TV6_LayerSet{eV6_TopLayer, eV6_BottomLayer}));
    EXPECT_EQ((set & signal).Count(), 2);
    EXPECT_TRUE((signal - set).Contains(eV6_MidLayer5));
    EXPECT_FALSE((signal - set).Contains(eV6_TopLayer));
    EXPECT_EQ((set | TV6_LayerSet{eV6_KeepOutLayer}).Count(), 3);
    set.Include(static_cast<TV6_Layer>(200)); // out of range: ignored
    EXPECT_EQ(set.Count(), 2);
    EXPECT_TRUE(TV6_LayerSet().IsEmpty());
}

} // namespace
