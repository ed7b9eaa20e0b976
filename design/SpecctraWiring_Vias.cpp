// The vias of the wiring and of images on the board: a via instance written
// as a board via with its padstack's layers and size, and a board via read
// back with the library padstack that fits it best.
#include "board/BoardFacade.h"
#include "design/LibrarySection.h"
#include "design/SpecctraWiring.h"
#include "geometry/DesignAccess.h"
#include "geometry/SpecctraComp.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/TranslationState.h"

#include <optional>
#include <string>

namespace {

// Lengths converted while it lives are read in the object's own unit, whatever
// resolution factor the translation is under; the factor is put back after.
class TPlainLengths {
public:
    TPlainLengths() : FSaved(TranslationState().ResolutionFactor) {
        TranslationState().ResolutionFactor = 1.0;
    }
    ~TPlainLengths() { TranslationState().ResolutionFactor = FSaved; }
    TPlainLengths(const TPlainLengths&) = delete;
    TPlainLengths& operator=(const TPlainLengths&) = delete;

private:
    double FSaved;
};

} // namespace

bool TSpecctraViaInstance::ExportToPCB() {
    if (!PlacedOnBoard(Position.X, Position.Y, [this] { return "Via " + PadstackIDRef; }))
        return true;
    TPcbVia via(0);
    if (!Board::Make(via))
        return false;
    via.SetState_x1(ExportToPCB_PositionX(Position.X));
    via.SetState_y1(ExportToPCB_PositionY(Position.Y));
    via.SetState_HoleSize(50000);
    via.SetState_Moveable(!(RoutingType == eFixedRoutingType || RoutingType == eRouteRoutingType ||
                            RoutingType == eProtectRoutingType));
    TSpecctraAbstractLibraryDescriptor* library = DesignAccess::PadstackLibrary(*this);
    if (!library) {
        ReportError("Invalid library reference ponter returned during via padstack retrieval.");
        Board::FreeObject(via.GetState_ObjectHandle());
        return true;
    }
    TSpecctraPadstack* padstack = library->GetState_PadStackByName(PadstackIDRef);
    if (!padstack || !padstack->IsViaStack()) {
        Board::FreeObject(via.GetState_ObjectHandle());
        return true;
    }
    if (Number == 0 && padstack->IsSpareViaStack()) {
        ReportWarning("Invalid padstack reference " + PadstackIDRef + " in via at position " +
                      PositionText() + ", skipped via translation.");
        Board::FreeObject(via.GetState_ObjectHandle());
        return true;
    }
    TV6_Layer low = via.GetState_LowLayer(), high = via.GetState_HighLayer();
    int32_t size = via.GetState_Size();
    bool valuesKnown = false;
    {
        // A wiring section with its own resolution counts its positions in
        // steps of it; the padstack's sizes stay in the padstack's unit.
        auto* wiring = dynamic_cast<TSpecctraAbstractWiringDescriptor*>(Owner);
        std::optional<TPlainLengths> plain;
        if (wiring && wiring->HasOwnResolution)
            plain.emplace();
        valuesKnown = padstack->ExportToPcb_ViaValues(low, high, size);
    }
    if (valuesKnown) {
        via.SetState_LowLayer(low);
        via.SetState_HighLayer(high);
        via.SetState_Size(size);
    }
    std::string lateWarning;
    if (!valuesKnown)
        lateWarning = "Unexpected error occured during padstack " + PadstackIDRef +
                      " translation for via at position " + PositionText();
    if (!NetIDRef.empty()) {
        if (TSpecctraNet* net = DesignAccess::NetByName(*this, NetIDRef))
            via.SetState_Net(DesignAccess::NetHandle(*net));
        else
            lateWarning = "Invalid net reference " + NetIDRef + " in via at position " +
                          PositionText() + ", via will be translated with no net assigned.";
    } else {
        ReportWarning("Orphan via - no net assigned at position " + PositionText());
    }
    auto* image = dynamic_cast<TSpecctraCompImage*>(Owner);
    const intptr_t container = image ? image->HarrowHandle : GetBoard();
    const bool added = Board::AddTo(container, via);
    if (!lateWarning.empty())
        ReportWarning(lateWarning);
    return added;
}

bool TSpecctraViaInstance::ImportFromPcb() {
    TPcbVia via(HarrowHandle);
    if (!Board::Read(via))
        return false;
    NetIDRef.clear();
    if (via.GetState_Net() != 0) {
        TPcbNet net(via.GetState_Net());
        if (Board::Read(net))
            NetIDRef = net.GetState_Name();
    }
    ContactLayers = KnownPlanes ? Board::PlaneLayersOfNet(*KnownPlanes, NetIDRef)
                                : Board::PlaneLayersOfNet(GetBoard(), NetIDRef);
    SetPadstackReference(via.GetState_LowLayer(), via.GetState_HighLayer(), via.GetState_Size());
    RoutingType = eNormalRoutingType;
    Position =
        TVertex{static_cast<double>(via.GetState_x1()), static_cast<double>(via.GetState_y1())};
    return true;
}

void TSpecctraViaInstance::SetPadstackReference(TV6_Layer lowLayer, TV6_Layer highLayer,
                                                int32_t size) {
    TSpecctraAbstractLibraryDescriptor* library = DesignAccess::PadstackLibrary(*this);
    if (!library) {
        ReportError("Invalid library reference ponter returned during best via padstack "
                    "retrieval.");
        return;
    }
    TSpecctraPadstack* chosen = nullptr;
    double bestDifference = size;
    for (int32_t i = 0; i < library->PadstackCount(); ++i) {
        TSpecctraPadstack* candidate = library->GetPadstack(i);
        if (!candidate->IsViaStack() || (candidate->IsSpareViaStack() && Number == 0))
            continue;
        TV6_Layer low, high;
        int32_t candidateSize = 0;
        if (!candidate->ExportToPcb_ViaValues(low, high, candidateSize))
            continue;
        if (!((low == lowLayer && high == highLayer) || (low == highLayer && high == lowLayer)))
            continue;
        if (!chosen)
            chosen = candidate;
        if (candidateSize == size) {
            chosen = candidate;
            break;
        }
        const double difference = static_cast<double>(size) - candidateSize;
        if (candidateSize < size && difference < bestDifference) {
            chosen = candidate;
            bestDifference = difference;
        }
    }
    if (chosen) {
        PadstackIDRef = chosen->NameID;
    } else if (Number != 0) {
        PadstackIDRef = "INVALID_PADSTACK_REF";
        ReportError("Invalid padstack reference for via at position X:" +
                    Board::CoordinateText(GetBoard(), RoundToBoard(Position.X)) +
                    ", Y:" + Board::CoordinateText(GetBoard(), RoundToBoard(Position.Y)) + ".");
    }
}
