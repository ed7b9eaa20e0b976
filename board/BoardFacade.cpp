#include "board/BoardFacade.h"

#include "board/BoardRules.h"
#include "board/PCBProcs.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace Board {
namespace {

// Rules answer 0 for success; every other kind answers 1.
bool Succeeded(const TPCBObject& object, int32_t code) {
    return object.GetState_ObjectKind() == eRuleObject ? code == 0 : code == 1;
}

TObjectId ClassMemberObject(TClassMemberKind kind) {
    switch (kind) {
    case eClassMemberKind_Component:
        return eComponentObject;
    case eClassMemberKind_FromTo:
        return eFromToObject;
    case eClassMemberKind_Pad:
        return ePadObject;
    default:
        return eNetObject;
    }
}

} // namespace

intptr_t NewObject(TObjectId kind) {
    return PCBProcs::PcbApi_CreateObject(kind);
}

intptr_t NewRule(TRuleKind kind) {
    return PCBProcs::PcbApi_CreateRuleObject(kind);
}

intptr_t NewClass(TObjectId memberKind) {
    return PCBProcs::PcbApi_CreateClassObject(memberKind);
}

void FreeObject(intptr_t object) {
    if (object != 0)
        PCBProcs::PcbApi_DestroyObject(object);
}

bool Read(TPCBObject& object) {
    return object.GetState_ObjectHandle() != 0 && Succeeded(object, object.QueryDatabase(1));
}

bool Write(TPCBObject& object) {
    return object.GetState_ObjectHandle() != 0 && Succeeded(object, object.QueryDatabase(0));
}

bool Read(TLayerObject& layer) {
    return layer.QueryDatabase(1) == 1;
}

bool Write(TLayerObject& layer) {
    return layer.QueryDatabase(0) == 1;
}

bool Make(TPCBObject& object) {
    intptr_t handle = 0;
    switch (object.GetState_ObjectKind()) {
    case eRuleObject:
        handle = NewRule(static_cast<TPcbRuleEx&>(object).GetState_Kind());
        break;
    case eClassObject:
        handle = NewClass(
            ClassMemberObject(static_cast<TPCBObjectClass&>(object).GetState_MemberKind()));
        break;
    default:
        handle = NewObject(object.GetState_ObjectKind());
        break;
    }
    object.SetState_ObjectHandle(handle);
    if (handle == 0)
        return false;
    // A fresh object answers its defaults; a failed read leaves the fields.
    if (Read(object))
        object.NoteFreshBitFields();
    return true;
}

bool SetPadOutline(intptr_t pad, const std::vector<TPadCopperPiece>& pieces) {
    // Kept between calls: the pins of a padstack each write the same pieces.
    thread_local std::vector<CorvanePadOutlinePiece> given;
    given.clear();
    given.reserve(pieces.size());
    for (const TPadCopperPiece& piece : pieces)
        given.push_back({piece.Entry, static_cast<int32_t>(piece.XY.size() / 2), piece.Radius,
                         piece.XY.data()});
    return PCBProcs::SetPadOutline(pad, given.data(), static_cast<int32_t>(given.size()));
}

bool AddTo(intptr_t container, TPCBObject& object) {
    const intptr_t handle = object.GetState_ObjectHandle();
    if (handle == 0)
        return false;
    if (container != 0 && Write(object) &&
        PCBProcs::PcbApi_AddObjectToContainer(container, handle) == 0)
        return true;
    PCBProcs::PcbApi_DestroyObject(handle);
    object.SetState_ObjectHandle(0);
    return false;
}

PcbApiNewTrack NewTrackOf(const TPcbTrack& track) {
    return PcbApiNewTrack{track.GetState_x1(),      track.GetState_y1(),
                          track.GetState_x2(),      track.GetState_y2(),
                          track.GetState_Width(),   static_cast<int32_t>(track.GetState_Layer()),
                          track.GetState_Net(),     track.GetState_Moveable() ? 1 : 0,
                          track.GetState_BitField()};
}

namespace {
bool useTrackBatches = true;
} // namespace

void UseTrackBatches(bool use) {
    useTrackBatches = use;
}

void AddTracks(intptr_t container, const std::vector<PcbApiNewTrack>& tracks,
               std::vector<intptr_t>& handles) {
    handles.assign(tracks.size(), 0);
    if (container == 0 || tracks.empty())
        return;
    if (useTrackBatches && tracks.size() <= static_cast<size_t>(INT32_MAX) &&
        PCBProcs::PcbApi_AddTracks(container, tracks.data(), static_cast<int32_t>(tracks.size()),
                                   handles.data()) == 1)
        return;
    // An engine without the batch entry point: one track at a time.
    for (size_t i = 0; i < tracks.size(); ++i) {
        const PcbApiNewTrack& row = tracks[i];
        TPcbTrack track(0);
        handles[i] = MakeAndAdd(container, track, [&](TPcbTrack& t) {
            t.SetState_x1(row.x1);
            t.SetState_y1(row.y1);
            t.SetState_x2(row.x2);
            t.SetState_y2(row.y2);
            t.SetState_Width(row.Width);
            t.SetState_Layer(static_cast<TV6_Layer>(row.Layer));
            t.SetState_Net(row.Net);
            t.SetState_Moveable(row.Moveable != 0);
            t.SetState_BitField(row.BitField);
        });
    }
}

namespace {
bool usePadCopies = true;
} // namespace

bool CanCopyPads() {
    return usePadCopies && PCBProcs::CanCopyPads();
}

void UsePadCopies(bool use) {
    usePadCopies = use;
}

intptr_t CopyPad(intptr_t model, intptr_t container, const PcbApiPadPlace& place) {
    return model == 0 || container == 0 ? 0 : PCBProcs::PcbApi_CopyPad(model, container, &place);
}

bool Add(intptr_t board, intptr_t object) {
    return board != 0 && object != 0 && PCBProcs::PcbApi_AddObjectToContainer(board, object) == 0;
}

bool Remove(intptr_t board, intptr_t object) {
    if (board == 0 || object == 0)
        return false;
    const bool removed = PCBProcs::PcbApi_DeleteObjectFromContainer(board, object) == 0;
    if (!removed)
        PCBProcs::PcbApi_DestroyObject(object);
    return removed;
}

intptr_t NetByName(intptr_t board, const std::string& name) {
    if (board == 0 || name.empty())
        return 0;
    return PCBProcs::PcbApi_GetNetByName(board, name.c_str());
}

intptr_t BoardOutline(intptr_t board) {
    return board == 0 ? 0 : TPcbBoardOutline::CreateFor(board);
}

bool UpdateBoardOutline(intptr_t outline) {
    return outline != 0 && PCBProcs::PcbApi_UpdateBoardOutline(outline) == 1;
}

void FinishProgress() {
    PCBProcs::PcbApi_Percent_Finish();
}

bool ExchangeViaStyle(const TPcbRuleEx& rule, int32_t values[6], bool read) {
    return PCBProcs::PcbApi_QueryRuleRoutingViaStyleRuleExt(
               read ? 1 : 0, rule.GetState_ObjectHandle(), &values[0], &values[1], &values[2],
               &values[3], &values[4], &values[5]) == 0;
}

bool SetRuleMaker(const TPcbRuleEx& rule, uint8_t maker) {
    uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {};
    const intptr_t handle = rule.GetState_ObjectHandle();
    if (PCBProcs::PcbApi_QueryRuleExt(1, handle, attributes) != 0)
        return false;
    attributes[0] = maker;
    return PCBProcs::PcbApi_QueryRuleExt(0, handle, attributes) == 0;
}

void ReplaceLayerPairs(intptr_t board, const std::vector<std::pair<TV6_Layer, TV6_Layer>>& pairs) {
    if (board == 0)
        return;
    PCBProcs::PcbApi_RemoveAllLayerPairs(board);
    TPcbBoard host(board);
    for (const auto& [low, high] : pairs)
        host.AddLayerPair(LayerNameOf(board, low) + " - " + LayerNameOf(board, high), V6ToV7(low),
                          V6ToV7(high));
}

bool ReadNetTracks(intptr_t net, std::vector<PcbApiTrackRow>& rows) {
    rows.resize(rows.capacity());
    int32_t count = 0;
    for (;;) {
        const auto room = static_cast<int32_t>(std::min<size_t>(rows.size(), INT32_MAX));
        if (PCBProcs::PcbApi_QueryNetTracks(net, rows.data(), room, &count) != 1 || count < 0) {
            rows.clear();
            return false;
        }
        if (count <= room)
            break;
        rows.resize(static_cast<size_t>(count));
    }
    rows.resize(static_cast<size_t>(count));
    // The layer goes the way a track record's does: kept as a TV7_Layer
    // (no layer for a number it does not know) and given back as TV6_Layer.
    for (PcbApiTrackRow& row : rows) {
        const TV7_Layer layer =
            IsValidV6Layer(row.Layer) ? V6ToV7(static_cast<TV6_Layer>(row.Layer)) : TV7_Layer();
        row.Layer = static_cast<int32_t>(layer.ToV6());
    }
    return true;
}

std::vector<TPlaneNet> PlaneNets(intptr_t board) {
    std::vector<TPlaneNet> planes;
    if (board == 0)
        return planes;
    TPcbBoard host(board);
    for (int layer = eV6_InternalPlane1; layer <= eV6_InternalPlane16; ++layer) {
        TInternalPlane* plane = host.GetState_InternalPlane(static_cast<TV6_Layer>(layer));
        if (plane && plane->QueryDatabase(1) == 1 && plane->IsInLayerStack())
            planes.push_back(TPlaneNet{plane->GetState_Name(), plane->GetState_NetName()});
    }
    return planes;
}

std::string PlaneLayersOfNet(const std::vector<TPlaneNet>& planes, const std::string& net) {
    std::string names;
    if (net.empty())
        return names;
    for (const TPlaneNet& plane : planes)
        if (plane.Net == net)
            names += " " + plane.Layer;
    return names;
}

std::string PlaneLayersOfNet(intptr_t board, const std::string& net) {
    if (board == 0 || net.empty())
        return {};
    return PlaneLayersOfNet(PlaneNets(board), net);
}

std::string CoordinateText(intptr_t board, int32_t value) {
    TPcbBoard host(board);
    host.QueryDatabase(1);
    char text[64];
    if (host.GetState_DisplayUnit() == eMetric)
        std::snprintf(text, sizeof text, "%gmm", value * 0.0254 / 10000.0);
    else
        std::snprintf(text, sizeof text, "%gmil", value / 10000.0);
    return text;
}

} // namespace Board
