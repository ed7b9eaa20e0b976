#include "design/Layers.h"

#include "board/BoardFacade.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraParser2.h"

// ------------------------------------------------------------------ layer

TSpecctraLayer::TSpecctraLayer(TSpecctraObject* owner) : TSpecctraObject(owner) {}

std::string TSpecctraLayer::SpecialLayerName() const {
    return FType == eLayerType_Power ? "POWER" : "SIGNAL";
}

bool TSpecctraLayer::ImportFromPcb() {
    ReportError("Should never be called: TSpecctraLayer.ImportFromPcb");
    return false;
}

bool TSpecctraLayer::ReadCost() {
    // (cost forbidden|high|medium|low|free|INTEGER [(type length|way)])
    bool result = true;
    const int32_t value = Parser->NextToken();
    switch (value) {
    case eTok_forbidden:
        FCost = eCost_Forbidden;
        break;
    case eTok_high:
        FCost = eCost_High;
        break;
    case eTok_medium:
        FCost = eCost_Medium;
        break;
    case eTok_low:
        FCost = eCost_Low;
        break;
    case eTok_free:
        FCost = eCost_Free;
        break;
    case eTok_CloseParen:
        --SectionsOpen;
        return true;
    default:
        result = Parser->TokenStr2Int(FCost);
        break;
    }
    // The rest of the cost block, with its optional (type ...).
    int depth = 1;
    while (depth > 0 && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_OpenParen) {
            ++depth;
        } else if (token == eTok_CloseParen) {
            --depth;
        } else if (token == eTok_type && depth == 2) {
            const int32_t kind = Parser->NextToken();
            if (kind == eTok_length)
                FCostType = 1;
            else if (kind == eTok_way)
                FCostType = 0;
            else if (kind == eTok_CloseParen)
                --depth;
        }
    }
    --SectionsOpen;
    return result;
}

bool TSpecctraLayer::ImportFromFile() {
    NameID = Parser->NextString();
    if (Parser->CurrentToken() == eTok_CloseParen || Parser->CurrentToken() == eTok_OpenParen) {
        Parser->ReportUnexpectedToken();
        if (Parser->CurrentToken() == eTok_OpenParen)
            Parser->SkipCurrentBlock();
        else
            --SectionsOpen;
        NameID.clear();
    }
    const bool named = !NameID.empty();
    const bool result =
        ReadSubBlocks(*this,
                      {{eTok_type,
                        [&] {
                            const int32_t type = Parser->NextToken();
                            if (type == eTok_signal)
                                FType = eLayerType_Signal;
                            else if (type == eTok_power)
                                FType = eLayerType_Power;
                            else if (type == eTok_mixed)
                                FType = eLayerType_Mixed;
                            else if (type == eTok_CloseParen || type == eTok_OpenParen)
                                return HandleStructureToken();
                            else
                                FType = eLayerType_Jumper;
                            return true;
                        }},
                       {eTok_direction,
                        [&] {
                            switch (Parser->NextToken()) {
                            case eTok_horizontal:
                                FDirection = eDirection_Horizontal;
                                break;
                            case eTok_vertical:
                                FDirection = eDirection_Vertical;
                                break;
                            case eTok_orthogonal:
                                FDirection = eDirection_Orthogonal;
                                break;
                            case eTok_positive_diagonal:
                                FDirection = eDirection_PositiveDiagonal;
                                break;
                            case eTok_negative_diagonal:
                                FDirection = eDirection_NegativeDiagonal;
                                break;
                            case eTok_diagonal:
                                FDirection = eDirection_Diagonal;
                                break;
                            case eTok_OpenParen:
                            case eTok_CloseParen:
                                return HandleStructureToken();
                            default:
                                FDirection = eDirection_Other;
                                break;
                            }
                            return true;
                        }},
                       {eTok_cost, [&] { return ReadCost(); }},
                       {eTok_use_net,
                        [&] {
                            FNets.clear();
                            while (!StopParsing()) {
                                const int32_t net = Parser->NextToken();
                                if (net == eTok_CloseParen)
                                    break;
                                if (net == eTok_OpenParen) {
                                    Parser->SkipCurrentBlock();
                                    continue;
                                }
                                FNets.push_back(Parser->TokenString());
                            }
                            FHasNets = !FNets.empty();
                            --SectionsOpen;
                            return true;
                        }},
                       {eTok_rule, [&] { return ImportRuleScope(); }},
                       // Properties of a layer (its index in the writing tool) carry
                       // nothing the board takes; passed over without a report line.
                       {eTok_property, [&] { return PassOverBlock(*this); }}},
                      {.Stop = SectionsOpen - 1, .Others = TOtherTokens::SkipKeywordBlocks});
    return named && result;
}

// ------------------------------------------------------------ layer stack

TSpecctraLayerStack::TSpecctraLayerStack(TSpecctraObject* owner) : TSpecctraObject(owner) {}

TSpecctraLayerStack::~TSpecctraLayerStack() = default;

void TSpecctraLayerStack::AddLayer(std::unique_ptr<TSpecctraLayer> layer) {
    if (!layer)
        return;
    TSpecctraLayer* raw = layer.get();
    if (layer->FType == eLayerType_Jumper) {
        if (FJumper) {
            ReportWarning("Multiple jumper layers are not allowed, only first one will be used.");
            return;
        }
        FJumper = std::move(layer);
    } else {
        FLayers.push_back(std::move(layer));
    }
    const auto [it, added] = FByName.emplace(UpperAscii(raw->NameID), raw);
    if (!added)
        ReportWarning("Layer " + raw->NameID +
                      " is defined more than once; shapes and rules naming it use the first one.");
}

TSpecctraLayer* TSpecctraLayerStack::Get_Layer(int32_t index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return FLayers[static_cast<size_t>(index)].get();
}

void TSpecctraLayerStack::Set_Layer(int32_t index, std::unique_ptr<TSpecctraLayer> layer) {
    if (index < 0 || index >= Count() || !layer)
        return;
    std::unique_ptr<TSpecctraLayer>& slot = FLayers[static_cast<size_t>(index)];
    for (auto it = FByName.begin(); it != FByName.end(); ++it)
        if (it->second == slot.get()) {
            FByName.erase(it);
            break;
        }
    FByName.emplace(UpperAscii(layer->NameID), layer.get());
    slot = std::move(layer);
}

TSpecctraLayer* TSpecctraLayerStack::Get_LayerByName(std::string_view name) const {
    const std::string key = UpperAscii(name);
    if (key == "FRONT LAYER")
        return Count() >= 1 ? First() : nullptr;
    if (key == "BACK LAYER")
        return Count() >= 2 ? Last() : nullptr;
    const auto it = FByName.find(key);
    return it == FByName.end() ? nullptr : it->second;
}

bool TSpecctraLayerStack::ExportToPCB() {
    if (FLayers.empty())
        return true;
    const intptr_t board = GetBoard();
    TPcbBoard pcb(board);
    bool result = true;
    First()->FHostLayer = eV6_TopLayer;
    Last()->FHostLayer = eV6_BottomLayer;
    int nextSignal = eV6_MidLayer1;
    int nextPlane = eV6_InternalPlane1;
    TV6_Layer previous = eV6_TopLayer;
    for (int32_t i = 1; i < Count() - 1; ++i) {
        TSpecctraLayer* layer = Get_Layer(i);
        int* next = nullptr;
        if (layer->FType == eLayerType_Power) {
            if (nextPlane > eV6_InternalPlane16) {
                ReportError("Cannot add " + layer->NameID +
                            " to layer stack. No internal planes available. Try decreasing "
                            "number of internal planes in design!");
                result = false;
                continue;
            }
            next = &nextPlane;
        } else {
            if (nextSignal >= eV6_BottomLayer) {
                ReportError("Cannot add " + layer->NameID +
                            " to layer stack. No more layers available. Try decreasing number of "
                            "layers in design");
                result = false;
                continue;
            }
            next = &nextSignal;
        }
        const TV6_Layer host = static_cast<TV6_Layer>(*next);
        pcb.InsertLayerInStack(host, previous);
        layer->FHostLayer = host;
        previous = host;
        ++*next;
    }
    // Name every placed layer; a plane takes the first net of its layer.
    for (const auto& layer : FLayers) {
        const TV6_Layer host = layer->FHostLayer;
        if (host == eV6_NoLayer)
            continue;
        if (host >= eV6_InternalPlane1 && host <= eV6_InternalPlane16) {
            TInternalPlane plane(board, host);
            Board::Read(plane);
            plane.SetState_Name(layer->NameID);
            if (!layer->FNets.empty())
                plane.SetState_NetName(layer->FNets.front());
            Board::Write(plane);
        } else {
            TLayerObject object(board, host);
            Board::Read(object);
            object.SetState_Name(layer->NameID);
            Board::Write(object);
        }
    }
    return result;
}

int32_t HostRoutingDirection(TSpecctraLayerDirection direction) {
    switch (direction) {
    case eDirection_Horizontal:
        return 1;
    case eDirection_Vertical:
        return 2;
    case eDirection_Orthogonal:
    case eDirection_Diagonal:
        return 3;
    case eDirection_PositiveDiagonal:
        return 8;
    case eDirection_NegativeDiagonal:
        return 9;
    default:
        return 0;
    }
}

RuleConstraints::TRoutingLayers RoutingLayerCodes(const TSpecctraLayerStack& stack) {
    RuleConstraints::TRoutingLayers codes{};
    int32_t reference = 0; // the code of the last horizontal or vertical layer
    for (int32_t i = 0; i < stack.Count(); ++i) {
        const TSpecctraLayer* layer = stack.Get_Layer(i);
        const TV6_Layer host = layer->FHostLayer;
        if (layer->FType != eLayerType_Signal && layer->FType != eLayerType_Mixed)
            continue;
        if (host < eV6_TopLayer || host > eV6_BottomLayer)
            continue;
        int32_t code;
        if (layer->FDirection == eDirection_None)
            code = reference == 1 ? 2 : 1;
        else
            code = HostRoutingDirection(layer->FDirection);
        if (code == 1 || code == 2)
            reference = code;
        codes[static_cast<size_t>(host - 1)] = code;
    }
    return codes;
}
