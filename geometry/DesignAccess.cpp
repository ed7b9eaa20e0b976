#include "geometry/DesignAccess.h"

#include "board/BoardFacade.h"
#include "design/Layers.h"
#include "design/SpecctraClasses2.h"
#include "design/StructureSection.h"
#include "geometry/SpecctraShapes.h"
#include "rules/SpecctraNetRltd.h"

namespace DesignAccess {
namespace {

TSpecctraFile* FileOf(TSpecctraObject& object) {
    TSpecctraObject* root = object.Root();
    return root->IsFileRoot() ? static_cast<TSpecctraFile*>(root) : nullptr;
}

} // namespace

TSpecctraLayerStack* LayerStack(TSpecctraObject& object) {
    TSpecctraFile* file = FileOf(object);
    TSpecctraAbstractStructureDescriptor* structure = file ? file->Structure() : nullptr;
    return structure ? &structure->LayerStack() : nullptr;
}

int32_t LayerCount(const TSpecctraLayerStack* stack) {
    return stack ? stack->Count() : 0;
}

TSpecctraLayer* LayerAt(const TSpecctraLayerStack* stack, int32_t index) {
    return stack ? stack->Get_Layer(index) : nullptr;
}

TSpecctraLayer* LayerByName(const TSpecctraLayerStack* stack, const std::string& name) {
    return stack ? stack->Get_LayerByName(name) : nullptr;
}

const std::string& LayerName(const TSpecctraLayer& layer) {
    return layer.Name();
}

const char* SpecialLayerName(const TSpecctraLayer& layer) {
    return layer.GetState_Type() == eLayerType_Power ? "POWER" : "SIGNAL";
}

bool IsSignalOrMixed(const TSpecctraLayer& layer) {
    return layer.GetState_Type() == eLayerType_Signal || layer.GetState_Type() == eLayerType_Mixed;
}

bool IsPower(const TSpecctraLayer& layer) {
    return layer.GetState_Type() == eLayerType_Power;
}

TV6_Layer HostLayer(const TSpecctraLayer& layer) {
    return layer.GetState_HostLayer();
}

TSpecctraDSNLibraryDescriptor* Library(TSpecctraObject& object) {
    TSpecctraFile* file = FileOf(object);
    return file ? file->DesignLibrary() : nullptr;
}

TSpecctraAbstractLibraryDescriptor* PadstackLibrary(TSpecctraObject& object) {
    TSpecctraFile* file = FileOf(object);
    return file ? file->Library() : nullptr;
}

bool HasNetwork(TSpecctraObject& object) {
    TSpecctraFile* file = FileOf(object);
    return file && file->Network() != nullptr;
}

TSpecctraNet* NetOfPin(TSpecctraObject&, const std::string& pinName) {
    return ::NetOfPin(pinName);
}

TSpecctraNet* NetByName(TSpecctraObject& object, const std::string& name) {
    return dynamic_cast<TSpecctraNet*>(object.Get_NetByName(name));
}

intptr_t NetHandle(TSpecctraNet& net) {
    return net.ForceHarrowHandle();
}

TDaisyChainStyle DaisyChainStyle(TSpecctraNet& net, const std::string& pinName) {
    int32_t index = 0;
    return net.ExportToPCB_PinDaisyChainStyle(pinName, index);
}

bool ViaListEntry(TSpecctraObject& object, const std::string& padstack, bool& spare) {
    spare = false;
    TSpecctraFile* file = FileOf(object);
    auto* structure =
        file ? dynamic_cast<TSpecctraDSNStructureDescriptor*>(file->Structure()) : nullptr;
    if (!structure)
        return false;
    for (const TSpecctraStructureVia& via : structure->Vias)
        if (via.Padstack == padstack) {
            spare = via.Spare;
            return true;
        }
    return false;
}

} // namespace DesignAccess
