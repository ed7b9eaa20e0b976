#include "design/StructureSection.h"

#include "design/SpecctraClasses2.h"

#include "board/BoardFacade.h"
#include "board/BoardRules.h"
#include "board/RuleConstraints.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraParser2.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The host workspace: 0 .. 99999 mil on both axes, a preferred margin of
// 2000 mil.
constexpr double kWorkspaceHigh = 999990000.0;
constexpr double kWorkspaceMargin = 20000000.0;

bool IsShapeToken(int32_t token) {
    return token == eTok_rect || token == eTok_polygon || token == eTok_qarc ||
           token == eTok_circle || token == eTok_path;
}

// The name that may stand before the sub-blocks of a keepout or a region (a
// word that is no keyword); the token after it is read.
void ReadIdentifier(TSpecctraObject& object, std::string& identifier) {
    const int32_t token = object.Parser->NextToken();
    if (token != eTok_OpenParen && token != eTok_CloseParen && !object.Parser->IsKnownToken()) {
        identifier = object.Parser->TokenString();
        object.NameID = identifier;
        object.Parser->NextToken();
    }
}

bool IsKeyword(int32_t token) {
    return token > 0 && token < eTok_OpenParen;
}

std::string FloatText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value == 0.0 ? 0.0 : value);
    return buffer;
}

// Fits one axis: the low and high limits for a board of extent w, false when
// the board is larger than the workspace.
bool FitAxis(double w, double& low, double& high) {
    low = 0.0;
    high = kWorkspaceHigh;
    if (high - low - 2 * kWorkspaceMargin > w) {
        low = kWorkspaceMargin;
        high = kWorkspaceHigh - kWorkspaceMargin;
    } else if (high - low - kWorkspaceMargin > w) {
        low = kWorkspaceMargin;
    } else if (w > high - low) {
        return false;
    }
    return true;
}

double AxisOffset(double first, double second, double low, double high) {
    double offset = 0.0;
    if (low > first)
        offset = low - first;
    if (second > high)
        offset = high - second;
    return offset;
}

} // namespace

TSpecctraKeepoutKind KeepoutKindOfToken(int32_t token) {
    switch (token) {
    case eTok_via_keepout:
        return eKeepout_Via;
    case eTok_wire_keepout:
        return eKeepout_Wire;
    case eTok_bend_keepout:
        return eKeepout_Bend;
    case eTok_place_keepout:
        return eKeepout_Place;
    case eTok_elongate_keepout:
        return eKeepout_Elongate;
    case eTok_keepout:
        return eKeepout_All;
    default:
        return eKeepout_None;
    }
}

// ------------------------------------------------------------------ keepout

TSpecctraKeepout::TSpecctraKeepout(TSpecctraObject* owner, TSpecctraKeepoutKind kind)
    : TSpecctraCombinedShape(owner), FKind(kind) {}

intptr_t TSpecctraKeepout::ShapeContainer() {
    IShapeOwner* owner = dynamic_cast<IShapeOwner*>(Owner);
    if (owner && owner->ShapeOwnerRole() == TShapeOwnerRole::eComponentImage)
        return owner->ShapeContainer();
    return 0;
}

bool TSpecctraKeepout::ImportFromFile() {
    ReadIdentifier(*this, FIdentifier);
    const auto rule = [&] { return ImportRuleScope(); };
    return ReadSubBlocks(*this,
                         {{eTok_window, [&] { return ImportFromFile_Window(); }},
                          {eTok_rule, rule},
                          {eTok_place_rule, rule},
                          {eTok_sequence_number,
                           [&] {
                               FSequenceNumber = Parser->NextInteger();
                               return true;
                           }}},
                         [&](int32_t other) {
                             // "type" and any other keyword: skipped.
                             return IsShapeToken(other) ? ImportFromFile_Shape()
                                                        : SkipOtherToken(*this, other);
                         },
                         {.Stop = SectionsOpen - 1, .FromCurrentToken = true});
}

// --------------------------------------------------------------- split plane

TSpecctraSplitPlaneShape::TSpecctraSplitPlaneShape(TSpecctraObject* owner)
    : TSpecctraCombinedShape(owner) {}

bool TSpecctraSplitPlaneShape::ImportFromFile() {
    bool result = true;
    FNetName = Parser->NextString();
    if (Parser->CurrentToken() == eTok_OpenParen || Parser->CurrentToken() == eTok_CloseParen) {
        FNetName.clear();
        result = HandleStructureToken() && result;
    }
    NameID = FNetName;
    const bool blocks = ReadSubBlocks(
        *this, {{eTok_window, [&] { return ImportFromFile_Window(); }}},
        [&](int32_t other) {
            return IsShapeToken(other) ? ImportFromFile_Shape() : SkipOtherToken(*this, other);
        },
        {.Stop = SectionsOpen - 1});
    return blocks && result;
}

bool TSpecctraSplitPlaneShape::ExportToFile() {
    ReportError("Not implemented yet: SplitPlane.ExportToFile");
    return false;
}

// ------------------------------------------------------------------ region

TSpecctraRegion::TSpecctraRegion(TSpecctraObject* owner) : TSpecctraObject(owner) {}

TSpecctraRegion::~TSpecctraRegion() = default;

bool TSpecctraRegion::ImportFromFile() {
    ReadIdentifier(*this, FIdentifier);
    const auto shape = [&] {
        std::unique_ptr<TSpecctraAbstractGeometryShape> shape;
        if (Parser->CurrentToken() == eTok_rect)
            shape = std::make_unique<TSpecctraRectShape>(this);
        else
            shape = std::make_unique<TSpecctraPolyLineShape>(this);
        const bool ok = shape->ImportFromFile();
        if (ok)
            FShape = std::move(shape);
        --SectionsOpen;
        return ok;
    };
    const auto rule = [&] { return ImportRuleScope(); };
    return ReadSubBlocks(*this,
                         {{eTok_polygon, shape},
                          {eTok_rect, shape},
                          {eTok_region_net, rule},
                          {eTok_region_class, rule},
                          {eTok_region_class_class, rule},
                          {eTok_rule, rule}},
                         {.Stop = SectionsOpen - 1,
                          .Others = TOtherTokens::SkipKeywordBlocks,
                          .FromCurrentToken = true});
}

// ------------------------------------------------------------------ grids

TSpecctraGrid::TSpecctraGrid(TSpecctraObject* owner) : TSpecctraObject(owner) {}

bool TSpecctraGrid::ImportFromFile() {
    const int32_t kind = Parser->NextToken();
    switch (kind) {
    case eTok_via:
        FKind = eGrid_Via;
        break;
    case eTok_wire:
        FKind = eGrid_Wire;
        break;
    case eTok_snap:
        FKind = eGrid_Snap;
        break;
    case eTok_place:
        FKind = eGrid_Place;
        break;
    case eTok_via_keepout:
        FSkipped = true;
        Parser->SkipCurrentBlock();
        --SectionsOpen;
        return true;
    default:
        Parser->ReportUnexpectedToken();
        if (kind == eTok_CloseParen)
            --SectionsOpen;
        else
            Parser->SkipCurrentBlock(), --SectionsOpen;
        return false;
    }
    bool result = true;
    const int32_t step = Parser->NextToken();
    if (step == eTok_OpenParen || step == eTok_CloseParen) {
        Parser->ReportUnexpectedToken();
        result = false;
        HandleStructureToken();
    } else if (!Parser->TokenStr2Real(FStep)) {
        result = false;
    } else if (FStep <= 0.0) {
        ReportWarning("Grid step " + FloatText(FStep) + " in line " +
                      std::to_string(Parser->LineNumber()) +
                      " is not positive; the grid is not used.");
    }
    const bool blocks =
        ReadSubBlocks(*this,
                      {{eTok_direction,
                        [&] {
                            const int32_t direction = Parser->NextToken();
                            if (direction == eTok_x)
                                FDirection = eGridDirection_X;
                            else if (direction == eTok_y)
                                FDirection = eGridDirection_Y;
                            else
                                FDirection = eGridDirection_Both;
                            if (direction == eTok_CloseParen || direction == eTok_OpenParen)
                                HandleStructureToken();
                            return true;
                        }},
                       {eTok_offset,
                        [&] {
                            const int32_t value = Parser->NextToken();
                            if (value == eTok_CloseParen || value == eTok_OpenParen) {
                                Parser->ReportUnexpectedToken();
                                HandleStructureToken();
                                return false;
                            }
                            return Parser->TokenStr2Real(FOffset);
                        }},
                       {eTok_image_type,
                        [&] {
                            const int32_t type = Parser->NextToken();
                            if (FKind == eGrid_Place && (type == eTok_smd || type == eTok_pin))
                                return true;
                            Parser->ReportUnexpectedToken();
                            if (type == eTok_CloseParen || type == eTok_OpenParen)
                                HandleStructureToken();
                            return false;
                        }}},
                      {.Others = TOtherTokens::SkipKeywordBlocks});
    return blocks && result;
}

void TSpecctraGridCollection::Add(std::unique_ptr<TSpecctraGrid> grid) {
    FGrids.push_back(std::move(grid));
}

TSpecctraGrid* TSpecctraGridCollection::GetState_Grid(TSpecctraGridKind kind,
                                                      TSpecctraGridDirection direction,
                                                      const std::string& layerName) const {
    TSpecctraGrid* both = nullptr;
    for (const auto& grid : FGrids) {
        if (grid->FSkipped || grid->FStep <= 0.0 || grid->FKind != kind ||
            grid->FLayerName != layerName)
            continue;
        if (grid->FDirection == direction)
            return grid.get();
        if (grid->FDirection == eGridDirection_Both)
            both = grid.get();
    }
    return both;
}

// ----------------------------------------------------------------- control

TSpecctraControlDescriptor::TSpecctraControlDescriptor(TSpecctraObject* owner)
    : TSpecctraObject(owner) {}

bool* TSpecctraControlDescriptor::SwitchOf(int32_t token) {
    switch (token) {
    case eTok_off_grid:
        return &OffGrid;
    case eTok_route_to_fanout_only:
        return &RouteToFanoutOnly;
    case eTok_force_to_terminal_point:
        return &ForceToTerminalPoint;
    case eTok_same_net_checking:
        return &SameNetChecking;
    case eTok_checking_trim_by_pin:
        return &CheckingTrimByPin;
    case eTok_include_pins_in_crosstalk:
        return &IncludePinsInCrosstalk;
    case eTok_bbv_ctr2ctr:
        return &BbvCtr2Ctr;
    case eTok_average_pair_length:
        return &AveragePairLength;
    case eTok_roundoff_rotation:
        return &RoundoffRotation;
    case eTok_microvia:
        return &Microvia;
    case eTok_reroute_order_viols:
        return &RerouteOrderViols;
    default:
        return nullptr;
    }
}

bool TSpecctraControlDescriptor::ImportFromFile() {
    const auto choice = [&](uint8_t& field, int32_t first, int32_t second) {
        const int32_t value = Parser->NextToken();
        if (value == first)
            field = 0;
        else if (value == second)
            field = 1;
        else if (value == eTok_CloseParen || value == eTok_OpenParen)
            HandleStructureToken();
        return true;
    };
    return ReadSubBlocks(
        *this,
        {{eTok_noise_calculation,
          [&] { return choice(NoiseCalculation, eTok_linear_interpolation, eTok_stairstep); }},
         {eTok_noise_accumulation,
          [&] { return choice(NoiseAccumulation, eTok_RSS, eTok_linear); }},
         {eTok_crosstalk_model, [&] { return choice(CrosstalkModel, eTok_cct1, eTok_cct1a); }},
         {eTok_via_at_smd,
          [&] {
              ImportUnknownBlock();
              return true;
          }}},
        [&](int32_t token) {
            bool* flag = SwitchOf(token);
            if (!flag)
                return SkipOtherToken(*this, token);
            const int32_t value = Parser->NextToken();
            if (value == eTok_on)
                *flag = true;
            else if (value == eTok_off)
                *flag = false;
            else if (value == eTok_CloseParen || value == eTok_OpenParen)
                HandleStructureToken();
            return true;
        },
        {.Stop = SectionsOpen - 1});
}

// ---------------------------------------------------------------- sections

TSpecctraAbstractStructureDescriptor::TSpecctraAbstractStructureDescriptor(TSpecctraObject* owner)
    : TSpecctraFileSectionDescriptor(owner),
      FLayerStack(std::make_unique<TSpecctraLayerStack>(this)) {}

TSpecctraAbstractStructureDescriptor::~TSpecctraAbstractStructureDescriptor() = default;

TSpecctraObject* TSpecctraAbstractStructureDescriptor::Get_LayerByName(const std::string& name) {
    return FLayerStack->Get_LayerByName(name);
}

TV6_Layer TSpecctraAbstractStructureDescriptor::Get_HostLayerByName(const std::string& name) {
    const TSpecctraLayer* layer = FLayerStack->Get_LayerByName(name);
    return layer ? layer->GetState_HostLayer() : eV6_NoLayer;
}

TSpecctraDSNStructureDescriptor::TSpecctraDSNStructureDescriptor(TSpecctraObject* owner)
    : TSpecctraAbstractStructureDescriptor(owner),
      Boundary(std::make_unique<TSpecctraDesignBoundary>(this)), PlaceBoundary(CreateList()),
      SplitPlanes(CreateList()), Regions(CreateList()), Keepouts(CreateList()),
      Control(std::make_unique<TSpecctraControlDescriptor>(this)) {
    NameID = "PCB";
}

TSpecctraDSNStructureDescriptor::~TSpecctraDSNStructureDescriptor() = default;

template <class T>
bool TSpecctraDSNStructureDescriptor::ReadKept(std::unique_ptr<T> object, TSpecctraList& list) {
    object->SectionsOpen = 1;
    const bool ok = object->ImportFromFile();
    --SectionsOpen;
    if (ok)
        list.Add(std::move(object));
    else
        object->DropRuleScopes();
    return ok;
}

bool TSpecctraDSNStructureDescriptor::ReadVias() {
    bool spare = false;
    int depth = 1;
    while (depth > 0 && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_CloseParen) {
            --depth;
            spare = false;
        } else if (token == eTok_OpenParen) {
            if (Parser->NextToken() != eTok_spare) {
                Parser->ReportUnexpectedToken();
                TranslationState().StopFlag = true;
                --SectionsOpen;
                return false;
            }
            ++depth;
            spare = true;
        } else {
            Vias.push_back(TSpecctraStructureVia{Parser->TokenString(), spare});
        }
    }
    --SectionsOpen;
    return true;
}

bool TSpecctraDSNStructureDescriptor::ReadPlaceBoundary() {
    bool result = true;
    int depth = 1;
    while (depth > 0 && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_OpenParen) {
            ++depth;
        } else if (token == eTok_CloseParen) {
            --depth;
        } else if (token == eTok_rect || token == eTok_path) {
            std::unique_ptr<TSpecctraAbstractGeometryShape> shape =
                CreateShapeForToken(token, this);
            if (shape->ImportFromFile())
                PlaceBoundary->Add(std::move(shape));
            else
                result = false;
            --depth;
        } else if (IsKeyword(token) && depth > 1) {
            Parser->SkipCurrentBlock();
            --depth;
        }
    }
    --SectionsOpen;
    return result;
}

bool TSpecctraDSNStructureDescriptor::ReadLayerNoiseWeight() {
    int depth = 1;
    while (depth > 0 && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_OpenParen) {
            ++depth;
        } else if (token == eTok_CloseParen) {
            --depth;
        } else if (token == eTok_layer_pair) {
            TSpecctraLayerNoiseWeight weight;
            weight.FirstLayer = Parser->NextString();
            weight.SecondLayer = Parser->NextString();
            weight.Weight = Parser->NextReal();
            LayerNoiseWeights.push_back(weight);
        }
    }
    --SectionsOpen;
    return true;
}

bool TSpecctraDSNStructureDescriptor::ImportFromFile() {
    bool result = true;
    const int32_t stop = SectionsOpen - 1;
    while (SectionsOpen > stop && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        switch (token) {
        case eTok_OpenParen:
            ++SectionsOpen;
            break;
        case eTok_CloseParen:
            --SectionsOpen;
            break;
        case eTok_layer: {
            auto layer = std::make_unique<TSpecctraLayer>(FLayerStack.get());
            layer->SectionsOpen = 1;
            const bool ok = layer->ImportFromFile();
            --SectionsOpen;
            if (ok) {
                FLayerStack->AddLayer(std::move(layer));
            } else {
                layer->DropRuleScopes();
                result = false;
            }
            break;
        }
        case eTok_boundary:
            Boundary->SectionsOpen = 1;
            result = Boundary->ImportFromFile() && result;
            --SectionsOpen;
            break;
        case eTok_place_boundary:
            result = ReadPlaceBoundary() && result;
            break;
        case eTok_keepout:
        case eTok_place_keepout:
        case eTok_via_keepout:
        case eTok_wire_keepout:
        case eTok_bend_keepout:
        case eTok_elongate_keepout:
            result = ReadKept(std::make_unique<TSpecctraKeepout>(this, KeepoutKindOfToken(token)),
                              *Keepouts) &&
                     result;
            break;
        case eTok_plane:
            result =
                ReadKept(std::make_unique<TSpecctraSplitPlaneShape>(this), *SplitPlanes) && result;
            break;
        case eTok_region:
            result = ReadKept(std::make_unique<TSpecctraRegion>(this), *Regions) && result;
            break;
        case eTok_via:
            result = ReadVias() && result;
            break;
        case eTok_grid: {
            auto grid = std::make_unique<TSpecctraGrid>(this);
            grid->SectionsOpen = 1;
            const bool ok = grid->ImportFromFile();
            --SectionsOpen;
            if (ok)
                Grids.Add(std::move(grid));
            else
                result = false;
            break;
        }
        case eTok_control:
            Control->SectionsOpen = 1;
            Control->ImportFromFile();
            --SectionsOpen;
            break;
        case eTok_layer_noise_weight:
            ReadLayerNoiseWeight();
            break;
        case eTok_rule:
        case eTok_place_rule:
            ImportRuleScope();
            break;
        case eTok_unit:
            FUnits = DimensionUnitOfToken(Parser->NextToken(), *this);
            break;
        case eTok_resolution:
            ImportFromFile_DimensionResolution();
            break;
        default:
            result = SkipOtherToken(*this, token) && result;
            break;
        }
    }
    if (result)
        CalculateBoardOffset();
    return result;
}

void TSpecctraDSNStructureDescriptor::CalculateBoardOffset() {
    if (!Boundary->HasExtent())
        return;
    double lx = std::numeric_limits<double>::infinity(), ly = lx;
    double hx = -lx, hy = -lx;
    Boundary->BoundingRectangle(lx, ly, hx, hy);
    if (!(lx <= hx) || !(ly <= hy))
        return;
    const double x1 = ExportToPCB_PositionX(lx), y1 = ExportToPCB_PositionY(ly);
    const double x2 = ExportToPCB_PositionX(hx), y2 = ExportToPCB_PositionY(hy);
    double lowX, highX, lowY, highY;
    if (!FitAxis(std::fabs(x2 - x1), lowX, highX) || !FitAxis(std::fabs(y2 - y1), lowY, highY))
        return;
    BoardOffset.X = AxisOffset(x1, x2, lowX, highX);
    BoardOffset.Y = AxisOffset(y1, y2, lowY, highY);
    TTranslationState& state = TranslationState();
    state.BoardOffsetX = RoundToBoard(state.BoardOffsetX + RoundTiesToEven(BoardOffset.X));
    state.BoardOffsetY = RoundToBoard(state.BoardOffsetY + RoundTiesToEven(BoardOffset.Y));
    if (state.BoardOffsetX != 0 || state.BoardOffsetY != 0)
        ReportWarning(
            "Board offseted to fit in Harrow workspace. Please check current board origin");
}

bool TSpecctraDSNStructureDescriptor::ExportToPCB() {
    const intptr_t board = GetBoard();
    // 1. The offset, for the route and session files written later.
    if (BoardOffset.X != 0.0 || BoardOffset.Y != 0.0) {
        const std::string name = "Server=Ravel|Type=BoardOffset|X=" + FloatText(BoardOffset.X) +
                                 "|Y=" + FloatText(BoardOffset.Y);
        if (!AddEmbeddedRecord(board, name, std::string()))
            ReportError("Cannot store the board offset in the board.");
    }
    // 2. The board origin.
    {
        TPcbBoard pcb(board);
        if (pcb.QueryDatabase(1) == 1) {
            pcb.SetState_OriginX(RoundToBoard(BoardOffset.X));
            pcb.SetState_OriginY(RoundToBoard(BoardOffset.Y));
            pcb.QueryDatabase(0);
        }
    }
    // 3 .. 5. Layer stack, routing layers, via styles.
    FLayerStack->ExportToPCB();
    ExportToPCB_RoutingLayers();
    ExportToPCB_RoutingViaStyles();
    // 6 .. 8. Split planes, keepouts, boundary.
    ExportListToPCB(SplitPlanes.get());
    ExportListToPCB(Keepouts.get());
    // The power planes that take the board's outline follow the outline.
    if (TSpecctraAbstractGeometryShape* outline = Boundary->ExportToPCB_Outline()) {
        ExportToPCB_OutlinePlanes(*outline);
        Boundary->ExportToPCB_Shapes();
    }
    // 9. Grids.
    ExportToPCB_Grids();
    return true;
}

void TSpecctraDSNStructureDescriptor::ExportToPCB_OutlinePlanes(
    TSpecctraAbstractGeometryShape& outline) {
    const intptr_t board = GetBoard();
    std::vector<TPcbPolySegment> segments;
    int32_t count = 0;
    outline.ExportToPCB_PolygonSegments(outline.OutlineVertices(), segments, count);
    if (segments.empty())
        return;
    for (int32_t i = 0; i < FLayerStack->Count(); ++i) {
        TSpecctraLayer* layer = FLayerStack->Get_Layer(i);
        if (layer->FType != eLayerType_Power || layer->FNets.size() != 1)
            continue;
        const TV6_Layer host = layer->FHostLayer;
        if (host == eV6_NoLayer)
            continue;
        const std::string& netName = layer->FNets.front();
        TSpecctraObject* net = Get_NetByName(netName);
        const intptr_t netHandle =
            net ? ResolveShapeNetHandle(net, netName, board) : Board::NetByName(board, netName);
        TPcbSplitPlane plane(0);
        const intptr_t handle = Board::MakeAndAdd(board, plane, [&](TPcbSplitPlane& p) {
            p.SetState_Layer(host);
            p.SetState_Net(netHandle);
            p.SetState_Segments(segments);
            p.SetState_PointCount(count);
        });
        if (handle == 0)
            ReportError("Failed creating polygon //DR");
    }
}

void TSpecctraDSNStructureDescriptor::ExportToPCB_RoutingLayers() {
    const intptr_t board = GetBoard();
    if (board == 0 || FLayerStack->Count() == 0)
        return;
    intptr_t handle = 0;
    ProcessItems(board, eRuleObject, [&](intptr_t object) {
        TPcbRuleEx rule(object);
        if (Board::Read(rule) && rule.GetState_Kind() == eRule_RoutingLayers) {
            handle = object;
            return false;
        }
        return true;
    });
    TPcbRuleEx rule(handle);
    if (handle == 0) {
        rule.SetState_Kind(eRule_RoutingLayers);
        if (!Board::Make(rule) || !Board::AddTo(board, rule)) {
            ReportError("Error changing routing layers rule from layer stack.");
            return;
        }
        handle = rule.GetState_ObjectHandle();
        // Made for a board that had none: it stands for the board's own rule
        // and stays when the design's rules replace the translator's.
        SetRuleMaker(handle, 1);
    } else {
        Board::Read(rule);
    }
    rule.SetState_Name("Routing Layers From Layer Stack");
    Board::Write(rule);
    // The table is rewritten whole: every layer the stack does not route is 0.
    if (!RuleConstraints::WriteRoutingLayers(handle, RoutingLayerCodes(*FLayerStack)))
        ReportError("Error changing routing layers rule from layer stack.");
}

void TSpecctraDSNStructureDescriptor::ExportToPCB_RoutingViaStyles() {
    auto* file = dynamic_cast<TSpecctraFile*>(Root());
    TSpecctraObject* library = file ? file->LibraryObject() : nullptr;
    if (!library) {
        ReportError("Invalid library reference returned, while tryng to create board level "
                    "routing via styles.");
        return;
    }
    if (Vias.empty())
        return;
    DeleteRulesOfKind(eRule_RoutingViaStyle, GetBoard());
    for (const TSpecctraStructureVia& via : Vias) {
        if (via.Spare)
            continue;
        if (!library->ExportToPCB_RoutingViaStyle(via.Padstack))
            ReportError("Invalid padstack reference returned for: " + via.Padstack +
                        ", while tryng to create board level routing via styles.");
    }
}

bool TSpecctraDSNStructureDescriptor::ExportToPCB_Grids() {
    TPcbBoard pcb(GetBoard());
    if (pcb.QueryDatabase(1) != 1)
        return false;
    const auto set = [&](TSpecctraGridKind kind, TSpecctraGridDirection direction,
                         void (TPcbBoard::*setter)(const double&)) {
        if (TSpecctraGrid* grid = Grids.GetState_Grid(kind, direction))
            (pcb.*setter)(static_cast<double>(FileToBoard(grid->FStep)));
    };
    set(eGrid_Via, eGridDirection_X, &TPcbBoard::SetState_ViaGridSize);
    set(eGrid_Wire, eGridDirection_X, &TPcbBoard::SetState_TrackGridSize);
    set(eGrid_Place, eGridDirection_X, &TPcbBoard::SetState_ComponentGridSizeX);
    set(eGrid_Place, eGridDirection_Y, &TPcbBoard::SetState_ComponentGridSizeY);
    set(eGrid_Snap, eGridDirection_X, &TPcbBoard::SetState_SnapGridSizeX);
    set(eGrid_Snap, eGridDirection_Y, &TPcbBoard::SetState_SnapGridSizeY);
    const TDimensionUnit unit = GetUnit();
    pcb.SetState_SnapGridUnit(unit == eDimInch || unit == eDimMil ? 1.0 : 0.0);
    return pcb.QueryDatabase(0) == 1;
}
