// What padstacks, images, pins and placed components ask of the rest of the
// design they belong to: its layer stack, its library, its network and the
// structure's via list. Each question finds the design root from the object
// and answers "none" when that part of the design is missing.
#pragma once

#include "board/Pcbclass.h"

#include "specctra/SpecctraList.h"
#include "specctra/SpecctraObject.h"

#include <cstdint>
#include <memory>
#include <string>

class TSpecctraObject;
class TSpecctraLayer;
class TSpecctraLayerStack;
class TSpecctraAbstractLibraryDescriptor;
class TSpecctraDSNLibraryDescriptor;
class TSpecctraNet;

namespace DesignAccess {

// Lets a new child read the sub-block whose keyword is the current token,
// closes the level the parent counted for it, and keeps the child in `list`
// (made on first use) when it read well; a child that did not is freed with
// the rule scopes it opened. Answers whether it read well.
template <class T>
bool ReadChild(TSpecctraObject& parent, std::unique_ptr<T> child,
               std::unique_ptr<TSpecctraList>& list) {
    child->SectionsOpen = 1;
    const bool result = child->ImportFromFile();
    --parent.SectionsOpen;
    if (result) {
        if (!list)
            list = parent.CreateList();
        list->Add(std::move(child));
    } else {
        child->DropRuleScopes();
    }
    return result;
}

// The layer stack of the object's design; none when it has no structure.
TSpecctraLayerStack* LayerStack(TSpecctraObject& object);
int32_t LayerCount(const TSpecctraLayerStack* stack);
TSpecctraLayer* LayerAt(const TSpecctraLayerStack* stack, int32_t index);
// The layer of that name ("FRONT LAYER" and "BACK LAYER" included), or none.
TSpecctraLayer* LayerByName(const TSpecctraLayerStack* stack, const std::string& name);
const std::string& LayerName(const TSpecctraLayer& layer);
// "POWER" for a power layer, "SIGNAL" for every other.
const char* SpecialLayerName(const TSpecctraLayer& layer);
bool IsSignalOrMixed(const TSpecctraLayer& layer);
bool IsPower(const TSpecctraLayer& layer);
TV6_Layer HostLayer(const TSpecctraLayer& layer);

// The design's library, or none.
TSpecctraDSNLibraryDescriptor* Library(TSpecctraObject& object);
// The padstacks of the file's library, design or route file alike, or none.
TSpecctraAbstractLibraryDescriptor* PadstackLibrary(TSpecctraObject& object);
// Whether the design has a network section.
bool HasNetwork(TSpecctraObject& object);
// The net that lists a pin ("REF-PIN"), or none.
TSpecctraNet* NetOfPin(TSpecctraObject& object, const std::string& pinName);
// The net of that name, or none.
TSpecctraNet* NetByName(TSpecctraObject& object, const std::string& name);
// The host net of a net, made first when there is none yet.
intptr_t NetHandle(TSpecctraNet& net);
// The host daisy-chain style of a pin on its net.
TDaisyChainStyle DaisyChainStyle(TSpecctraNet& net, const std::string& pinName);
// Whether the design's structure names the padstack in its via list; its
// spare flag. False for a design without a design-file structure.
bool ViaListEntry(TSpecctraObject& object, const std::string& padstack, bool& spare);

} // namespace DesignAccess
