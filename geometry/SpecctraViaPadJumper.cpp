#include "geometry/SpecctraViaPadJumper.h"

#include "board/BoardFacade.h"
#include "geometry/DesignAccess.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

const std::string kNoLayer;
// The first attribute byte of the routing via style rules of the structure.
constexpr uint8_t kViaStyleRuleMaker = 1;

// "%g" with 15 significant digits: whole numbers print as plain integers.
std::string FormatG(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A board coordinate in a message: a whole number.
std::string WholeText(int32_t value) {
    return std::to_string(value);
}

bool IsNumberText(const std::string& text, double& value) {
    return !text.empty() && ConvertSpecctraReal(text, value);
}

// The letter of a shape kind in stored parameter text.
const char* KindLetter(TSpecctraShapeType kind) {
    switch (kind) {
    case TSpecctraShapeType::eFilledPolyShape:
        return "F";
    case TSpecctraShapeType::eRectShape:
        return "R";
    case TSpecctraShapeType::eCircleShape:
        return "C";
    case TSpecctraShapeType::ePolyOutlineShape:
        return "P";
    case TSpecctraShapeType::eQArcShape:
        return "Q";
    }
    return "";
}

// The stored shape of a kind letter, or none.
std::unique_ptr<TSpecctraAbstractGeometryShape> NewStoredShape(const std::string& letter,
                                                               TSpecctraObject* owner) {
    static const char* const kLetters = "FRCPQ";
    if (letter.size() != 1)
        return nullptr;
    for (int kind = 0; kind < 5; ++kind)
        if (letter[0] == kLetters[kind])
            return CreateShapeOfKind(kind, owner);
    return nullptr;
}

bool IsCircle(TSpecctraAbstractGeometryShape* shape) {
    return shape && shape->Kind == TSpecctraShapeType::eCircleShape;
}

bool HasSquareAperture(TSpecctraAbstractGeometryShape& shape) {
    auto* line = dynamic_cast<TSpecctraPolyLineShape*>(&shape);
    return line && line->ApertureType() == eSquareAperture;
}

} // namespace

// ---------------------------------------------------------------------------
// TSpecctraPad

TSpecctraPad::TSpecctraPad(TSpecctraObject* owner) : TSpecctraCombinedShape(owner) {}

TSpecctraPad::~TSpecctraPad() = default;

const std::string& TSpecctraPad::LayerID() {
    TSpecctraAbstractGeometryShape* shape = VisibleShape();
    return shape ? shape->LayerID : kNoLayer;
}

double TSpecctraPad::AreaSize() {
    TSpecctraAbstractGeometryShape* shape = VisibleShape();
    return shape ? shape->AreaSize() : 0.0;
}

bool TSpecctraPad::VisibleBounds(double& lx, double& ly, double& hx, double& hy) {
    lx = ly = hx = hy = 0.0;
    TSpecctraAbstractGeometryShape* shape = VisibleShape();
    if (!shape)
        return false;
    shape->BoundingRectangle(lx, ly, hx, hy);
    return true;
}

bool TSpecctraPad::ImportFromFile() {
    const auto shape = [&] { return ImportFromFile_Shape(); };
    return ReadSubBlocks(*this, {{eTok_rect, shape},
                                 {eTok_circle, shape},
                                 {eTok_polygon, shape},
                                 {eTok_path, shape},
                                 {eTok_window, [&] { return ImportFromFile_Window(); }},
                                 {eTok_connect,
                                  [&] {
                                      Connect = Parser->NextToken() == eTok_on;
                                      return true;
                                  }},
                                 {eTok_reduced, [&] { return ReadReducedShape(); }}});
}

bool TSpecctraPad::ReadReducedShape() {
    // (reduced (SHAPE ...)): the shape's own block opens one level more.
    if (Parser->NextToken() != eTok_OpenParen) {
        Parser->ReportUnexpectedToken();
        Parser->SkipCurrentBlock();
        --SectionsOpen;
        return false;
    }
    const int32_t token = Parser->NextToken();
    std::unique_ptr<TSpecctraAbstractGeometryShape> shape =
        token == eTok_qarc ? nullptr : CreateShapeForToken(token, this);
    if (!shape) {
        Parser->ReportUnexpectedToken();
        Parser->SkipCurrentBlock(); // the shape's block
        return false;               // the reduced block closes in the caller's loop
    }
    shape->SectionsOpen = 1;
    const bool result = shape->ImportFromFile();
    ReducedShape = std::move(shape);
    return result;
}

bool TSpecctraPad::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Write("(shape ", true);
    TSpecctraCombinedShape::ExportToFile();
    Writer->Writeln(")", true);
    return true;
}

int32_t TSpecctraPad::ExportToPCB_SizeX() {
    double lx, ly, hx, hy;
    VisibleBounds(lx, ly, hx, hy);
    return FileToBoard(std::fabs(hx - lx));
}

int32_t TSpecctraPad::ExportToPCB_SizeY() {
    double lx, ly, hx, hy;
    VisibleBounds(lx, ly, hx, hy);
    return FileToBoard(std::fabs(hy - ly));
}

TShape TSpecctraPad::ExportToPCB_ShapeType() {
    TSpecctraAbstractGeometryShape* shape = VisibleShape();
    if (shape) {
        switch (shape->Kind) {
        case TSpecctraShapeType::eRectShape:
        case TSpecctraShapeType::eQArcShape:
            return eRectangular;
        case TSpecctraShapeType::eCircleShape:
            return eRounded;
        case TSpecctraShapeType::ePolyOutlineShape:
        case TSpecctraShapeType::eFilledPolyShape:
            return HasSquareAperture(*shape) ? eOctagonal : eRounded;
        }
    }
    ReportWarning("Unknown pad type, converted to rounded pad.");
    return eRounded;
}

std::vector<TSpecctraPad::TCopperPiece> TSpecctraPad::TrueCopper() {
    auto* line = dynamic_cast<TSpecctraPolyLineShape*>(VisibleShape());
    if (!line || line->Coordinates.empty())
        return {};
    const auto& v = line->Coordinates;
    const double radius = line->ApertureWidth() / 2.0;
    if (line->Kind == TSpecctraShapeType::eFilledPolyShape) {
        // Closed on reading: the last corner repeats the first.
        return {{radius, std::span<const TVertex>(v).first(v.size() - (v.size() > 1 ? 1 : 0))}};
    }
    // A path of one straight stretch along an axis with round ends is the
    // host's oblong round pad; any other path is its stretches.
    const bool oneStraight = v.size() <= 2 && line->ApertureType() == eRoundAperture &&
                             (v.size() < 2 || v[0].X == v[1].X || v[0].Y == v[1].Y);
    if (oneStraight)
        return {};
    std::vector<TCopperPiece> pieces;
    pieces.reserve(v.size() > 1 ? v.size() - 1 : 1);
    for (size_t i = 0; i + 1 < v.size(); ++i)
        pieces.push_back({radius, std::span<const TVertex>(v).subspan(i, 2)});
    if (pieces.empty())
        pieces.push_back({radius, std::span<const TVertex>(v).first(1)});
    return pieces;
}

void TSpecctraPad::ExportToPcb_ToParams(int32_t padIndex, TStoredParameters& params) {
    const std::string pad = std::to_string(padIndex);
    TSpecctraAbstractGeometryShape* first =
        static_cast<TSpecctraAbstractGeometryShape*>(ShapeList.GetState_SpecctraObject(0));
    if (!first) {
        ReportError("Pad has no shapes, for embedded export.");
        return;
    }
    // The pad's names all start with its number and a letter (P or W): no
    // other pad's, nor the shapes' of this pad under another letter, match.
    params.Append(pad + "PT", KindLetter(first->Kind));
    first->ExportToPcb_ToParams(pad + "P", params);
    if (!CutoutList || CutoutList->Count() == 0)
        return;
    params.Append(pad + "PWC", std::to_string(CutoutList->Count()));
    for (int32_t j = 0; j < CutoutList->Count(); ++j) {
        auto* window =
            static_cast<TSpecctraAbstractGeometryShape*>(CutoutList->GetState_SpecctraObject(j));
        const std::string prefix = pad + "W" + std::to_string(j);
        params.Append(prefix + "T", KindLetter(window->Kind));
        window->ExportToPcb_ToParams(prefix, params);
    }
}

bool TSpecctraPad::ImportFromPcb_FromParams(int32_t padIndex, const TStoredParameters& params) {
    const std::string pad = std::to_string(padIndex);
    bool result = true;
    std::string letter;
    if (params.Get(pad + "PT", letter)) {
        std::unique_ptr<TSpecctraAbstractGeometryShape> shape = NewStoredShape(letter, this);
        if (!shape) {
            ReportError("Unknown stored shape kind: " + letter);
        } else if (shape->ImportFromPcb_FromParams(pad + "P", params)) {
            ShapeList.Add(std::move(shape));
            FRecalcShape = true;
        } else {
            ReportError("Stored pad shape contains errors.");
            result = false;
        }
    }
    std::string connect;
    Connect = !(params.Get(pad + "SC", connect) && connect == "F");
    return result;
}

// ---------------------------------------------------------------------------
// TSpecctraPadstack

TSpecctraPadstack::TSpecctraPadstack(TSpecctraObject* owner)
    : TSpecctraObject(owner), PadList(CreateList()) {}

TSpecctraPadstack::~TSpecctraPadstack() = default;

bool TSpecctraPadstack::ImportFromFile() {
    NameID = Parser->NextString();
    const auto onOff = [&](bool& flag) {
        flag = Parser->NextToken() == eTok_on;
        return true;
    };
    const bool result = ReadSubBlocks(
        *this, {{eTok_unit,
                 [&] {
                     FUnits = ReadUnit(Parser->NextToken());
                     return true;
                 }},
                {eTok_shape,
                 [&] {
                     auto pad = std::make_unique<TSpecctraPad>(this);
                     pad->SectionsOpen = 1;
                     const bool ok = pad->ImportFromFile();
                     if (ok)
                         PadList->Add(std::move(pad));
                     --SectionsOpen;
                     return ok;
                 }},
                {eTok_absolute, [&] { return onOff(FlipAroundZ); }},
                {eTok_attach, [&] { return onOff(Attach); }},
                {eTok_rotate, [&] { return onOff(Rotate); }},
                {eTok_use_via,
                 [&] {
                     UseViaIDRef = Parser->NextString();
                     return true;
                 }},
                {eTok_via_site,
                 [&] {
                     if (Parser->NextToken() == eTok_off)
                         return true;
                     double x = 0.0;
                     if (!Parser->TokenStr2Real(x))
                         return false;
                     ViaSite = std::make_unique<TVertex>(TVertex{x, Parser->NextReal()});
                     return true;
                 }},
                {eTok_rule, [&] { return ImportRuleScope(); }}});
    if (result) {
        bool spare = false;
        FIsViaStack = DesignAccess::ViaListEntry(*this, NameID, spare);
        FIsSpareViaStack = FIsViaStack && spare;
    }
    return result;
}

bool TSpecctraPadstack::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("(padstack " + QuoteIfParenthesised(NameID), true);
    Writer->Indent(1);
    for (int32_t i = 0; i < PadList->Count(); ++i)
        GetState_Pad(i)->ExportToFile();
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}

TSpecctraPad* TSpecctraPadstack::GetState_Pad(int32_t index) const {
    return static_cast<TSpecctraPad*>(PadList->GetState_SpecctraObject(index));
}

void TSpecctraPadstack::SetState_Pad(int32_t index, std::unique_ptr<TSpecctraPad> pad) {
    if (index < 0 || index >= PadList->Count())
        return;
    PadList->SetState_SpecctraObject(index, std::move(pad));
}

TSpecctraPad* TSpecctraPadstack::AddPad(std::unique_ptr<TSpecctraPad> pad) {
    return PadList->AddNew(std::move(pad));
}

TSpecctraPad* TSpecctraPadstack::GetState_PadOnLayer(const std::string& layerName) {
    std::string exact;
    std::string layerClass;
    if (IsLayerClassName(layerName) && UpperAscii(layerName) == layerName) {
        exact = layerName;
        layerClass = layerName;
    } else if (TSpecctraLayer* layer =
                   DesignAccess::LayerByName(DesignAccess::LayerStack(*this), layerName)) {
        exact = DesignAccess::LayerName(*layer);
        layerClass = DesignAccess::SpecialLayerName(*layer);
    }
    if (exact.empty())
        return nullptr;
    TSpecctraPad* byClass = nullptr;
    for (int32_t i = 0; i < PadList->Count(); ++i) {
        TSpecctraPad* pad = GetState_Pad(i);
        const std::string& padLayer = pad->LayerID();
        if (padLayer == exact)
            return pad;
        if (padLayer == layerClass)
            byClass = pad;
    }
    return byClass;
}

TSpecctraPad* TSpecctraPadstack::GetState_LargestPadOnAnySignalLayer() {
    if (FLargestPadKnown)
        return FLargestPad;
    TSpecctraLayerStack* stack = DesignAccess::LayerStack(*this);
    if (!stack)
        return nullptr;
    TSpecctraPad* best = nullptr;
    double bestArea = -1.0;
    for (int32_t i = 0; i < PadList->Count(); ++i) {
        TSpecctraPad* pad = GetState_Pad(i);
        const std::string& name = pad->LayerID();
        TSpecctraLayer* layer = DesignAccess::LayerByName(stack, name);
        const bool signal = layer ? DesignAccess::IsSignalOrMixed(*layer) : name == "SIGNAL";
        if (!signal)
            continue;
        const double area = pad->AreaSize();
        if (area > bestArea || (area == bestArea && best && IsCircle(best->VisibleShape()))) {
            best = pad;
            bestArea = area;
        }
    }
    FLargestPad = best;
    FLargestPadKnown = true;
    return best;
}

TSpecctraPad* TSpecctraPadstack::GetState_LargestPadOnInnerSignalLayer() {
    TSpecctraLayerStack* stack = DesignAccess::LayerStack(*this);
    if (!stack)
        return nullptr;
    const int32_t count = DesignAccess::LayerCount(stack);
    TSpecctraLayer* first = DesignAccess::LayerAt(stack, 0);
    TSpecctraLayer* last = DesignAccess::LayerAt(stack, count - 1);
    TSpecctraPad* best = nullptr;
    double bestArea = 0.0;
    for (int32_t i = 0; i < PadList->Count(); ++i) {
        TSpecctraPad* pad = GetState_Pad(i);
        TSpecctraLayer* layer = DesignAccess::LayerByName(stack, pad->LayerID());
        if (!layer || layer == first || layer == last || !DesignAccess::IsSignalOrMixed(*layer))
            continue;
        const double area = pad->AreaSize();
        if (area > bestArea || (area == bestArea && best && IsCircle(best->VisibleShape()))) {
            best = pad;
            bestArea = area;
        }
    }
    return best;
}

void TSpecctraPadstack::BoundingRectangle(double& lx, double& ly, double& hx, double& hy) {
    lx = ly = hx = hy = 0.0;
    bool any = false;
    for (int32_t i = 0; i < PadList->Count(); ++i) {
        double plx, ply, phx, phy;
        if (!GetState_Pad(i)->VisibleBounds(plx, ply, phx, phy))
            continue;
        if (!any) {
            lx = plx, ly = ply, hx = phx, hy = phy;
            any = true;
            continue;
        }
        lx = std::min(lx, plx);
        ly = std::min(ly, ply);
        hx = std::max(hx, phx);
        hy = std::max(hy, phy);
    }
}

TPadStackKind TSpecctraPadstack::Kind() {
    if (FKind != eUnknownPadstackKind)
        return FKind;
    TSpecctraLayerStack* stack = DesignAccess::LayerStack(*this);
    const int32_t count = DesignAccess::LayerCount(stack);
    TSpecctraLayer* first = DesignAccess::LayerAt(stack, 0);
    TSpecctraLayer* last = DesignAccess::LayerAt(stack, count - 1);
    bool signalClass = false, top = false, bottom = false;
    int32_t innerSignals = 0;
    for (int32_t i = 0; i < PadList->Count(); ++i) {
        const std::string& name = GetState_Pad(i)->LayerID();
        if (name == "SIGNAL") {
            signalClass = true;
            continue;
        }
        if (name == "POWER" || name == "PCB")
            continue;
        TSpecctraLayer* layer = DesignAccess::LayerByName(stack, name);
        if (!layer)
            continue;
        if (layer == first)
            top = true;
        else if (layer == last)
            bottom = true;
        else if (DesignAccess::IsSignalOrMixed(*layer))
            ++innerSignals;
    }
    const int32_t n = (top ? 1 : 0) + (bottom ? 1 : 0) + innerSignals + (signalClass ? 1 : 0);
    if (n == 1)
        FKind = (top || bottom) ? eSMDPadstack : eSimplePadstack;
    else
        FKind = innerSignals == 0 ? eTopMidBottomPadstack : ePerLayerPadstack;
    return FKind;
}

void TSpecctraPadstack::FindLayerSpan() {
    if (FSpanKnown)
        return;
    TSpecctraLayerStack* stack = DesignAccess::LayerStack(*this);
    if (!stack)
        return;
    const int32_t count = DesignAccess::LayerCount(stack);
    if (count == 0) {
        ReportError("Layer stack has no layers defined.");
        return;
    }
    // Whether a layer carries a pad: the first pad on its name or class
    // decides; a pad on the name itself counts only with a non-zero area.
    auto hasPad = [this](TSpecctraLayer& layer) {
        const std::string& own = DesignAccess::LayerName(layer);
        const char* special = DesignAccess::SpecialLayerName(layer);
        for (int32_t i = 0; i < PadList->Count(); ++i) {
            TSpecctraPad* pad = GetState_Pad(i);
            const std::string& name = pad->LayerID();
            if (name == special)
                return true;
            if (name == own) {
                double lx, ly, hx, hy;
                pad->VisibleBounds(lx, ly, hx, hy);
                return (hx - lx) * (hy - ly) != 0.0;
            }
        }
        return false;
    };
    for (int32_t i = 0; i < count && !FStartLayer; ++i)
        if (hasPad(*DesignAccess::LayerAt(stack, i)))
            FStartLayer = DesignAccess::LayerAt(stack, i);
    for (int32_t i = count - 1; i >= 0 && !FEndLayer; --i)
        if (hasPad(*DesignAccess::LayerAt(stack, i)))
            FEndLayer = DesignAccess::LayerAt(stack, i);
    FSpanKnown = FStartLayer && FEndLayer;
}

TSpecctraLayer* TSpecctraPadstack::StartLayer() {
    FindLayerSpan();
    return FStartLayer;
}

TSpecctraLayer* TSpecctraPadstack::EndLayer() {
    FindLayerSpan();
    return FEndLayer;
}

double TSpecctraPadstack::AreaSize() {
    if (FAreaSize <= 0.0)
        for (int32_t i = 0; i < PadList->Count(); ++i)
            FAreaSize = std::max(FAreaSize, GetState_Pad(i)->AreaSize());
    return FAreaSize;
}

bool TSpecctraPadstack::ExportToPcb_ViaValues(TV6_Layer& lowLayer, TV6_Layer& highLayer,
                                              int32_t& size) {
    TSpecctraLayer* start = StartLayer();
    TSpecctraLayer* end = EndLayer();
    if (!start || !end)
        return false;
    lowLayer = DesignAccess::HostLayer(*start);
    highLayer = DesignAccess::HostLayer(*end);
    double across = 0.0;
    if (TSpecctraPad* pad = GetState_LargestPadOnAnySignalLayer()) {
        double lx, ly, hx, hy;
        pad->VisibleBounds(lx, ly, hx, hy);
        across = (std::fabs(hx - lx) + std::fabs(hy - ly)) / 2.0;
    }
    // A padstack read back from the board holds host units already.
    size = FFromBoard ? RoundToBoard(across) : FileToBoard(across);
    return true;
}

void TSpecctraPadstack::ExportToPcb_AsRoutingViaRule(const std::string& namePrefix,
                                                     const std::string& scope) {
    if (!FIsViaStack || FIsSpareViaStack)
        return;
    TPcbRuleEx rule(0);
    rule.SetState_Kind(eRule_RoutingViaStyle);
    if (!Board::Make(rule))
        return;
    int32_t values[6] = {};
    Board::ExchangeViaStyle(rule, values, true);
    TV6_Layer low = eV6_TopLayer, high = eV6_BottomLayer;
    int32_t size = 0;
    if (!ExportToPcb_ViaValues(low, high, size)) {
        Board::FreeObject(rule.GetState_ObjectHandle());
        return;
    }
    if (!scope.empty())
        rule.SetState_Scope1Expression(scope);
    std::string name = "Via style " + NameID;
    if (!namePrefix.empty())
        name = namePrefix + " " + name;
    rule.SetState_Name(name);
    const int32_t half = size / 2;
    const int32_t styleValues[6] = {half, size, half, size, half, size};
    Board::ExchangeViaStyle(rule, const_cast<int32_t*>(styleValues), false);
    // Marked as made by the structure, so that the rule collection, which
    // clears the rules of earlier imports when it is written, keeps them.
    Board::SetRuleMaker(rule, kViaStyleRuleMaker);
    Board::AddTo(GetBoard(), rule);
}

void TSpecctraPadstack::ExportToPcb_ToEmbedded(int32_t index) {
    std::string name = "Server=Ravel|Type=PADSTACK|ID=" + NameID + "|IDX=" + std::to_string(index) +
                       "|PC=" + std::to_string(PadList->Count());
    if (FIsViaStack)
        name += "|IsVia=1";
    TStoredParameters pads;
    // A pad stores a handful of values and two per corner of its shape.
    pads.Reserve(static_cast<size_t>(PadList->Count()) * 16);
    for (int32_t i = 0; i < PadList->Count(); ++i)
        GetState_Pad(i)->ExportToPcb_ToParams(i, pads);
    const std::string description = pads.ToString();
    if (name.size() >= PCBAPI_TEXT_CAPACITY || description.size() >= PCBAPI_TEXT_CAPACITY)
        ReportError("Padstack " + NameID + " is too large to be stored in the board (" +
                    std::to_string(description.size()) +
                    " characters); route and session files will miss some of its pads.");
    if (!AddEmbeddedRecord(GetBoard(), name, description))
        ReportError("Padstack " + NameID + " could not be stored in the board.");
}

bool TSpecctraPadstack::ImportFromPCB_FromEmbedded(const TPcbEmbedded& record) {
    FUnits = eDimMil;
    FFromBoard = true;
    const TStoredParameters name(record.GetState_Name());
    name.Get("ID", NameID);
    std::string text;
    int32_t value = 0;
    FIsViaStack = name.Get("IsVia", text) && ConvertSpecctraInt(text, value) && value == 1;
    int32_t count = 0;
    if (!(name.Get("PC", text) && ConvertSpecctraInt(text, count)))
        count = 0;
    if (count < 1) {
        ReportError("ERROR: No pads definied inside padstack: " + NameID);
        return false;
    }
    const TStoredParameters pads(record.GetState_Description());
    bool result = true;
    for (int32_t i = 0; i < count; ++i) {
        auto pad = std::make_unique<TSpecctraPad>(this);
        if (pad->ImportFromPcb_FromParams(i, pads)) {
            PadList->Add(std::move(pad));
        } else {
            ReportError("ERROR: Cannot load pad for padstack " + NameID);
            result = false;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// TSpecctraViaInstance

TSpecctraViaInstance::TSpecctraViaInstance(TSpecctraObject* owner) : TSpecctraObject(owner) {}

bool TSpecctraViaInstance::ImportFromFile() {
    PadstackIDRef = Parser->NextString();
    bool havePosition = false;
    return ReadSubBlocks(
        *this,
        {{eTok_net,
          [&] {
              NetIDRef = Parser->NextString();
              return true;
          }},
         {eTok_type,
          [&] {
              return ReadKeywordChoice(*Parser,
                                       {{eTok_fix, eFixedRoutingType},
                                        {eTok_route, eRouteRoutingType},
                                        {eTok_normal, eNormalRoutingType},
                                        {eTok_protect, eProtectRoutingType}},
                                       RoutingType);
          }},
         {eTok_via_number,
          [&] {
              const int32_t number = Parser->NextInteger();
              if (number < 0 || number > std::numeric_limits<TViaTagValue>::max()) {
                  ReportError("Via number " + std::to_string(number) + " out of range in line " +
                              std::to_string(Parser->LineNumber()) + "; the via gets none.");
                  Number = 0;
              } else {
                  Number = static_cast<TViaTagValue>(number);
              }
              return true;
          }},
         {eTok_attr,
          [&] {
              if (!ReadKeywordChoice(*Parser,
                                     {{eTok_test, eTestConductorAttribute},
                                      {eTok_fanout, eFanoutConductorAttribute},
                                      {eTok_jumper, eJumperConductorAttribute},
                                      {eTok_virtual_pin, eVirtualPinAttribute}},
                                     Attribute))
                  return false;
              if (Parser->CurrentToken() == eTok_virtual_pin)
                  VirtualPinName = Parser->NextString();
              return true;
          }},
         {eTok_virtual_pin, [&] { return ReadVirtualPin(); }},
         {eTok_supply,
          [&] {
              Supply = true;
              return true;
          }},
         {eTok_contact,
          [&] {
              while (!StopParsing() && Parser->NextToken() != eTok_CloseParen)
                  ContactLayers += " " + Parser->TokenString();
              --SectionsOpen;
              return true;
          }}},
        [&](int32_t) {
            // The first two numbers are the position.
            double x = 0.0, y = 0.0;
            if (!havePosition && IsNumberText(Parser->TokenString(), x)) {
                Parser->NextToken();
                if (IsNumberText(Parser->TokenString(), y)) {
                    Position = TVertex{x, y};
                    havePosition = true;
                    return true;
                }
            }
            return HandleStructureToken();
        });
}

bool TSpecctraViaInstance::ReadVirtualPin() {
    // (virtual_pin NAME [(net NET)] X Y)
    bool result = true;
    bool named = false;
    int32_t coordinates = 0;
    const int32_t level = SectionsOpen - 1;
    while (SectionsOpen > level && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_net) {
            Parser->NextString(); // the net of a virtual pin is not kept
            continue;
        }
        if (token == eTok_OpenParen || token == eTok_CloseParen) {
            HandleStructureToken();
            continue;
        }
        if (!named) {
            NameID = Parser->TokenString();
            named = true;
            continue;
        }
        double value = 0.0;
        if (coordinates < 2 && IsNumberText(Parser->TokenString(), value)) {
            (coordinates == 0 ? Position.X : Position.Y) = value;
            ++coordinates;
            continue;
        }
        result = HandleStructureToken() && result;
    }
    return result;
}

std::string TSpecctraViaInstance::PositionText() {
    std::string text = "(";
    text += WholeText(ExportToPCB_PositionX(Position.X));
    text += ", ";
    text += WholeText(ExportToPCB_PositionY(Position.Y));
    text += ")";
    return text;
}

bool TSpecctraViaInstance::ExportToFile() {
    if (!Writer)
        return false;
    std::string text = "(via " + QuoteIfParenthesised(PadstackIDRef) + " " +
                       FormatG(BoardToFileX(RoundToBoard(Position.X))) + " " +
                       FormatG(BoardToFileY(RoundToBoard(Position.Y))) + " ";
    if (Number != 0)
        text += "(via_number " + std::to_string(Number) + ")";
    if (!ContactLayers.empty())
        text += "(contact " + ContactLayers + ")";
    Writer->Writeln(text + ")", true);
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraJumper

void TSpecctraJumper::SetMaxHeight(double value) {
    if (value != -1.0 && !(value >= 0.0))
        throw EJumperRangeError(FormatG(value) +
                                " is not valid value for Jumper Height. #13#10 Only positive or "
                                "system default values are allowed.");
    FMaxHeight = value;
}

void TSpecctraJumper::SetLength(double value) {
    if (value != -1.0 && !(value >= 0.0))
        throw EJumperRangeError(FormatG(value) +
                                " is not valid value for Jumper Length. #13#10 Only positive "
                                "values are allowed.");
    FLength = value;
}

bool TSpecctraJumper::ImportFromFile() {
    return ReadSubBlocks(*this, {{eTok_height,
                                  [&] {
                                      SetMaxHeight(Parser->NextReal());
                                      return true;
                                  }},
                                 {eTok_length,
                                  [&] {
                                      SetLength(Parser->NextReal());
                                      return true;
                                  }},
                                 {eTok_use_via, [&] {
                                      ViaIDRef = Parser->NextString();
                                      return true;
                                  }}});
}

// ---------------------------------------------------------------------------
// TSpecctraViaArrayTemplate

TSpecctraViaArrayTemplate::TSpecctraViaArrayTemplate(TSpecctraObject* owner)
    : TSpecctraObject(owner), MicroviaList(CreateList()) {}

bool TSpecctraViaArrayTemplate::ImportFromFile() {
    SkipCurrentBlock();
    return true;
}
