// The layers of a design and its layer stack: reading "(layer ...)" blocks,
// looking layers up by name, and building the host layer stack from them.
#pragma once

#include "board/Layers.h"
#include "board/RuleConstraints.h"
#include "specctra/SpecctraClasses1.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum TSpecctraLayerType : uint8_t {
    eLayerType_Signal = 0,
    eLayerType_Power = 1,
    eLayerType_Mixed = 2,
    eLayerType_Jumper = 3,
};

enum TSpecctraLayerDirection : uint8_t {
    eDirection_None = 0,
    eDirection_Horizontal = 1,
    eDirection_Vertical = 2,
    eDirection_Orthogonal = 3,
    eDirection_PositiveDiagonal = 4,
    eDirection_NegativeDiagonal = 5,
    eDirection_Diagonal = 6,
    eDirection_Other = 7,
};

// Layer costs given by word.
enum : int32_t {
    eCost_Forbidden = -2,
    eCost_High = -3,
    eCost_Medium = -4,
    eCost_Low = -5,
    eCost_Free = -6,
};

class TSpecctraLayer : public TSpecctraObject {
public:
    explicit TSpecctraLayer(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraLayer"; }
    int RuleScopeOwner() const override { return eRuleOwnerLayer; }

    TSpecctraLayerType FType = eLayerType_Signal;
    TSpecctraLayerDirection FDirection = eDirection_None;
    int32_t FCost = 0;
    int32_t FCostType = 0; // length 1, way 0
    bool FHasNets = false;
    std::vector<std::string> FNets;
    TV6_Layer FHostLayer = eV6_NoLayer;

    const std::string& Name() const { return NameID; }
    TSpecctraLayerType GetState_Type() const { return FType; }
    TSpecctraLayerDirection GetState_Direction() const { return FDirection; }
    TV6_Layer GetState_HostLayer() const { return FHostLayer; }
    const std::vector<std::string>& Nets() const { return FNets; }
    // "POWER" for a power layer, "SIGNAL" for every other type.
    std::string SpecialLayerName() const;

    // Entered after "layer"; reads the name and the sub-blocks up to the
    // layer's closing parenthesis.
    bool ImportFromFile() override;
    bool ImportFromPcb() override;

private:
    bool ReadCost();
};

class TSpecctraLayerStack : public TSpecctraObject {
public:
    explicit TSpecctraLayerStack(TSpecctraObject* owner);
    ~TSpecctraLayerStack() override;
    const char* ClassName() const override { return "TSpecctraLayerStack"; }

    // Takes a layer that was read: a signal, power or mixed layer joins the
    // ordered list, the first jumper layer becomes the jumper layer, a further
    // jumper layer is dropped with a warning. A layer whose name is already
    // known stays in the stack; look-ups by name find the first.
    void AddLayer(std::unique_ptr<TSpecctraLayer> layer);

    int32_t Count() const { return static_cast<int32_t>(FLayers.size()); }
    TSpecctraLayer* First() const { return Get_Layer(0); }
    TSpecctraLayer* Last() const { return Get_Layer(Count() - 1); }
    TSpecctraLayer* Get_Layer(int32_t index) const;
    void Set_Layer(int32_t index, std::unique_ptr<TSpecctraLayer> layer);
    // "FRONT LAYER", "BACK LAYER" or a layer name (any case); none when unknown.
    TSpecctraLayer* Get_LayerByName(std::string_view name) const;
    TSpecctraLayer* JumperLayer() const { return FJumper.get(); }

    // Gives each layer its host layer, inserts the inner layers into the
    // board's stack and names them. True when every layer found a host layer.
    bool ExportToPCB() override;

private:
    std::vector<std::unique_ptr<TSpecctraLayer>> FLayers;
    std::unique_ptr<TSpecctraLayer> FJumper;
    std::unordered_map<std::string, TSpecctraLayer*> FByName; // upper-case name -> first layer
};

// The host code of a layer direction in a routing-layers rule table.
int32_t HostRoutingDirection(TSpecctraLayerDirection direction);
// The routing-layers table (entry L - 1 for host layer L, 1 .. 32) of the
// stack's signal and mixed layers: directed layers take their host codes,
// the others alternate 1, 2, 1, ... from the last horizontal or vertical one.
RuleConstraints::TRoutingLayers RoutingLayerCodes(const TSpecctraLayerStack& stack);
