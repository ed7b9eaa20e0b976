// Images, their pins and the placed components as a design file gives them:
// their blocks, pin arrays, bounds and rotations. How they become host
// components with their pads is in SpecctraComp_Board.cpp.
#include "geometry/SpecctraComp.h"

#include "design/StructureSection.h"
#include "geometry/DesignAccess.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kNoLow = 9.9999e8;

constexpr double kNoHigh = -9.9999e8;

void Extend(double& lx, double& ly, double& hx, double& hy, double olx, double oly, double ohx,
            double ohy) {
    lx = std::min(lx, olx);
    ly = std::min(ly, oly);
    hx = std::max(hx, ohx);
    hy = std::max(hy, ohy);
}

// Rotates (x, y) about the origin by a multiple of 90 degrees exactly, or by
// any other angle with cosine and sine.
void RotatePoint(double& x, double& y, double degrees) {
    const double px = x, py = y;
    if (degrees == 90.0) {
        x = -py, y = px;
    } else if (degrees == 180.0) {
        x = -px, y = -py;
    } else if (degrees == 270.0) {
        x = py, y = -px;
    } else {
        const double radians = degrees * M_PI / 180.0;
        x = px * std::cos(radians) - py * std::sin(radians);
        y = px * std::sin(radians) + py * std::cos(radians);
    }
}

// Reads and drops tokens until the object's nesting level falls to `level`.
void SkipToLevel(TSpecctraObject& object, int32_t level) {
    while (object.SectionsOpen > level && !object.StopParsing()) {
        const int32_t token = object.Parser->NextToken();
        if (token == eTok_OpenParen)
            ++object.SectionsOpen;
        else if (token == eTok_CloseParen)
            --object.SectionsOpen;
    }
}

} // namespace

bool NormalizedRotation(double degrees, double& normalized) {
    normalized = 0.0;
    if (!std::isfinite(degrees))
        return false;
    double r = std::fmod(degrees, 360.0);
    if (r < 0.0)
        r += 360.0;
    if (r >= 360.0)
        r = 0.0;
    normalized = r + 0.0; // no negative zero
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraCompPin

TSpecctraCompPin::TSpecctraCompPin(TSpecctraObject* owner)
    : TSpecctraObject(owner), FImage(dynamic_cast<TSpecctraCompImage*>(owner)) {}

TSpecctraCompImage* TSpecctraCompPin::Image() const {
    return FImage;
}

void TSpecctraCompPin::SetPadStackIDRef(std::string_view name) {
    if (FImage) {
        FPadStackName = &FImage->KeepPadstackName(name);
        return;
    }
    FOwnPadStackName = name;
    FPadStackName = &FOwnPadStackName;
}

bool TSpecctraCompPin::ImportFromFile() {
    // Read where the last pin's name was: most names are too long to be
    // kept inside a string, and the image keeps one copy for a run of pins.
    thread_local std::string name;
    Parser->NextString(name);
    SetPadStackIDRef(name);
    FWasArray = false;
    bool haveId = false;
    return ReadSubBlocks(*this,
                         {{eTok_rotate,
                           [&] {
                               Rotation = Parser->NextReal();
                               return true;
                           }},
                          {eTok_array, [&] { return ReadArray(); }},
                          {eTok_property, [&] { return PassOverBlock(*this); }}},
                         [&](int32_t) {
                             // The first other word is the pin's name, then its position.
                             if (haveId)
                                 return HandleStructureToken();
                             NameID = Parser->TokenString();
                             Position.X = Parser->NextReal();
                             bool ok = !Parser->ConversionFailed();
                             Position.Y = Parser->NextReal();
                             ok = !Parser->ConversionFailed() && ok;
                             haveId = true;
                             return ok;
                         });
}

bool TSpecctraCompPin::ReadArray() {
    // (array FIRST LAST STEP X0 Y0 DX DY [(prefix P)] [(suffix S)])
    const int32_t level = SectionsOpen - 1;
    bool numbers = true;
    auto integer = [&] {
        const int32_t value = Parser->NextInteger();
        numbers = numbers && !Parser->ConversionFailed();
        return value;
    };
    auto real = [&] {
        const double value = Parser->NextReal();
        numbers = numbers && !Parser->ConversionFailed();
        return value;
    };
    const int64_t first = integer();
    const int64_t last = integer();
    const int64_t step = integer();
    const double x0 = real(), y0 = real(), dx = real(), dy = real();
    std::string prefix, suffix;
    bool seenPrefix = false, seenSuffix = false, ok = numbers;
    while (ok && SectionsOpen > level && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_CloseParen) {
            --SectionsOpen;
            break;
        }
        if (token == eTok_OpenParen) {
            const int32_t keyword = Parser->NextToken();
            if (keyword == eTok_prefix && !seenPrefix && !seenSuffix) {
                prefix = Parser->NextString();
                seenPrefix = true;
            } else if (keyword == eTok_suffix && !seenSuffix) {
                suffix = Parser->NextString();
                seenSuffix = true;
            } else {
                Parser->ReportUnexpectedToken();
                ++SectionsOpen;
                ok = false;
                break;
            }
            ok = Parser->ExpectToken(eTok_CloseParen);
            continue;
        }
        Parser->ReportUnexpectedToken();
        ok = false;
    }
    if (!ok) {
        SkipToLevel(*this, level);
        return false;
    }
    TSpecctraCompImage* image = Image();
    // An array that cannot be expanded is dropped; the image keeps its other
    // pins.
    FWasArray = true;
    if (step <= 0) {
        ReportError(
            "Pin array of padstack " + PadStackIDRef() + " has the step " + std::to_string(step) +
            "; only a positive step is allowed. Line: " + std::to_string(Parser->LineNumber()));
        return true;
    }
    const int64_t count = last < first ? 0 : (last - first) / step + 1;
    if (count > kMaxPinArrayPins) {
        ReportError(
            "Pin array of padstack " + PadStackIDRef() + " would make " + std::to_string(count) +
            " pins; at most " + std::to_string(kMaxPinArrayPins) +
            " are allowed. The array is ignored. Line: " + std::to_string(Parser->LineNumber()));
        return true;
    }
    if (!image)
        return false;
    int64_t k = 0;
    for (int64_t n = first; n <= last; n += step, ++k) {
        auto copy = std::make_unique<TSpecctraCompPin>(image);
        copy->SetPadStackIDRef(PadStackIDRef());
        copy->Rotation = Rotation;
        copy->UserPropertyList = UserPropertyList;
        copy->NameID = prefix + std::to_string(n) + suffix;
        copy->Position =
            TVertex{x0 + static_cast<double>(k) * dx, y0 + static_cast<double>(k) * dy};
        image->PinList->Add(std::move(copy));
    }
    return true;
}

std::string TSpecctraCompPin::FullPinName() const {
    TSpecctraCompImage* image = Image();
    if (!image || !image->TranslCompInst) {
        ReportError("Cannot generate pin name for pin " + NameID);
        return std::string();
    }
    const std::string& reference = image->TranslCompInst->NameID;
    std::string name;
    name.reserve(reference.size() + 1 + NameID.size());
    name.append(reference).append(1, '-').append(NameID);
    return name;
}

TSpecctraPadstack* TSpecctraCompPin::FindPadstack() const {
    if (FPadstack)
        return FPadstack;
    auto& self = *const_cast<TSpecctraCompPin*>(this);
    FPadstack = DesignAccess::Library(self) ? self.Get_PadstackByName(PadStackIDRef()) : nullptr;
    return FPadstack;
}

void TSpecctraCompPin::TakePadstackOf(const TSpecctraCompPin* previous) {
    if (!FPadstack && previous && previous->FPadstack &&
        previous->PadStackIDRef() == PadStackIDRef())
        FPadstack = previous->FPadstack;
}

void TSpecctraCompPin::BoundingRectangle(double& lx, double& ly, double& hx, double& hy) {
    lx = ly = hx = hy = 0.0;
    if (TSpecctraPadstack* padstack = FindPadstack())
        padstack->BoundingRectangle(lx, ly, hx, hy);
    lx += Position.X, hx += Position.X;
    ly += Position.Y, hy += Position.Y;
    if (Rotation == 0.0)
        return;
    double xs[4] = {lx, hx, hx, lx};
    double ys[4] = {ly, ly, hy, hy};
    lx = ly = std::numeric_limits<double>::max();
    hx = hy = std::numeric_limits<double>::lowest();
    for (int i = 0; i < 4; ++i) {
        double x = xs[i] - Position.X, y = ys[i] - Position.Y;
        RotatePoint(x, y, Rotation);
        Extend(lx, ly, hx, hy, x + Position.X, y + Position.Y, x + Position.X, y + Position.Y);
    }
}

bool TSpecctraImageConductor::ImportFromFile() {
    const auto shape = [&] { return ImportFromFile_Shape(); };
    return ReadSubBlocks(*this, {{eTok_rect, shape},
                                 {eTok_circle, shape},
                                 {eTok_polygon, shape},
                                 {eTok_path, shape},
                                 {eTok_qarc, shape},
                                 {eTok_window, [&] { return ImportFromFile_Window(); }}});
}

// ---------------------------------------------------------------------------
// TSpecctraCompImage

TSpecctraCompImage::TSpecctraCompImage(TSpecctraObject* owner)
    : TSpecctraObject(owner), PinList(CreateList()) {}

TSpecctraCompImage::~TSpecctraCompImage() = default;

const std::string& TSpecctraCompImage::KeepPadstackName(std::string_view name) {
    // The last few kept serve pins that alternate between padstacks (a
    // first pin marked by its own shape, two rows of different pads).
    constexpr int kLooked = 4;
    int looked = 0;
    for (const std::string& kept : FPadstackNames) {
        if (kept == name)
            return kept;
        if (++looked == kLooked)
            break;
    }
    FPadstackNames.emplace_front(name);
    return FPadstackNames.front();
}

TSpecctraCompPin* TSpecctraCompImage::GetState_Pin(int32_t index) const {
    return static_cast<TSpecctraCompPin*>(PinList->GetState_SpecctraObject(index));
}

bool TSpecctraCompImage::ImportFromFile() {
    NameID = Parser->NextString();
    const auto keepout = [&] { return ReadKeepout(); };
    const auto done = [](bool) { return true; }; // the block's outcome is not the image's
    const bool result = ReadSubBlocks(*this,
                                      {{eTok_side,
                                        [&] {
                                            return ReadKeywordChoice(*Parser,
                                                                     {{eTok_front, eFrontSide},
                                                                      {eTok_back, eBackSide},
                                                                      {eTok_both, eBothSides}},
                                                                     Side);
                                        }},
                                       {eTok_unit,
                                        [&] {
                                            FUnits = ReadUnit(Parser->NextToken());
                                            return true;
                                        }},
                                       {eTok_outline, [&] { return ReadOutline(); }},
                                       {eTok_pin, [&] { return ReadPin(); }},
                                       {eTok_conductor, [&] { return ReadConductor(); }},
                                       {eTok_keepout, keepout},
                                       {eTok_place_keepout, keepout},
                                       {eTok_via_keepout, keepout},
                                       {eTok_wire_keepout, keepout},
                                       {eTok_bend_keepout, keepout},
                                       {eTok_elongate_keepout, keepout},
                                       {eTok_via, [&] { return ReadVia(); }},
                                       {eTok_property, [&] { return done(ImportUnknownBlock()); }},
                                       {eTok_place_rule,
                                        [&] {
                                            SkipUnknownBlock();
                                            return true;
                                        }},
                                       {eTok_rule, [&] { return done(ImportRuleScope()); }}},
                                      {.StopAtFailure = true});
    if (!result)
        SkipRestOfBlock();
    return result;
}

void TSpecctraCompImage::SkipRestOfBlock() {
    // A failed image stops reading its own blocks; the rest of its text is
    // passed over so that the library goes on after it.
    SkipToLevel(*this, 0);
}

bool TSpecctraCompImage::ReadOutline() {
    if (Parser->NextToken() != eTok_OpenParen) {
        Parser->ReportUnexpectedToken();
        Parser->SkipCurrentBlock();
        --SectionsOpen;
        return false;
    }
    std::unique_ptr<TSpecctraAbstractGeometryShape> shape;
    switch (Parser->NextToken()) {
    case eTok_circle:
        shape = std::make_unique<TSpecctraCircleShape>(this);
        break;
    case eTok_path:
        shape = std::make_unique<TSpecctraPolyLineShape>(this);
        break;
    case eTok_polygon:
        shape = std::make_unique<TSpecctraFilledPolyShape>(this);
        break;
    case eTok_rect:
        shape = std::make_unique<TSpecctraRectShape>(this);
        break;
    default:
        Parser->ReportUnexpectedToken();
        ++SectionsOpen;
        return false;
    }
    shape->SectionsOpen = 1;
    const bool result = shape->ImportFromFile();
    Outline = std::move(shape);
    return result;
}

bool TSpecctraCompImage::ReadPin() {
    auto pin = std::make_unique<TSpecctraCompPin>(this);
    pin->SectionsOpen = 1;
    const bool result = pin->ImportFromFile();
    --SectionsOpen;
    if (result && !pin->WasArray())
        PinList->Add(std::move(pin));
    return result;
}

bool TSpecctraCompImage::ReadConductor() {
    const bool result = DesignAccess::ReadChild(
        *this, std::make_unique<TSpecctraImageConductor>(this), EmbededConductorShapeList);
    if (result)
        TranslationState().NetsNeedUpdate = true;
    return result;
}

bool TSpecctraCompImage::ReadKeepout() {
    return DesignAccess::ReadChild(
        *this, std::make_unique<TSpecctraKeepout>(this, KeepoutKindOfToken(Parser->CurrentToken())),
        KeepoutList);
}

bool TSpecctraCompImage::ReadVia() {
    const bool result = DesignAccess::ReadChild(*this, std::make_unique<TSpecctraViaInstance>(this),
                                                EmbededViaList);
    if (result)
        TranslationState().NetsNeedUpdate = true;
    return result;
}

void TSpecctraCompImage::BoundingRectangle(double& lx, double& ly, double& hx, double& hy) {
    lx = ly = kNoLow;
    hx = hy = kNoHigh;
    const TSpecctraCompPin* found = nullptr;
    for (int32_t i = 0; i < PinList->Count(); ++i) {
        TSpecctraCompPin* pin = GetState_Pin(i);
        pin->TakePadstackOf(found);
        double plx, ply, phx, phy;
        pin->BoundingRectangle(plx, ply, phx, phy);
        Extend(lx, ly, hx, hy, plx, ply, phx, phy);
        if (pin->PadstackFound())
            found = pin;
    }
    for (TSpecctraList* list : {EmbededConductorShapeList.get(), KeepoutList.get()}) {
        if (!list)
            continue;
        for (int32_t i = 0; i < list->Count(); ++i) {
            auto* combined = static_cast<TSpecctraCombinedShape*>(list->GetState_SpecctraObject(i));
            if (TSpecctraAbstractGeometryShape* shape = combined->VisibleShape()) {
                double slx, sly, shx, shy;
                shape->BoundingRectangle(slx, sly, shx, shy);
                Extend(lx, ly, hx, hy, slx, sly, shx, shy);
            }
        }
    }
    if (lx == kNoLow || ly == kNoLow || hx == kNoHigh || hy == kNoHigh)
        lx = ly = hx = hy = 0.0;
}

double TSpecctraCompImage::HostReach() {
    if (FHostReach < 0.0) {
        double lx, ly, hx, hy;
        BoundingRectangle(lx, ly, hx, hy);
        double reach = std::max({std::fabs(lx), std::fabs(ly), std::fabs(hx), std::fabs(hy)});
        if (Outline) {
            for (const TVertex& v : Outline->Coordinates)
                reach = std::max({reach, std::fabs(v.X), std::fabs(v.Y)});
        }
        // Turned by any angle, a point keeps its distance from the origin.
        FHostReach = std::fabs(HostLength(reach * std::sqrt(2.0)));
    }
    return FHostReach;
}

// ---------------------------------------------------------------------------
// TSpecctraComponentInstance

TSpecctraComponentInstance::TSpecctraComponentInstance(TSpecctraObject* owner)
    : TSpecctraObject(owner) {}

const std::string& TSpecctraComponentInstance::ImageRefID() const {
    return FImageName ? *FImageName : NoText();
}

double TSpecctraComponentInstance::OneInch() {
    return UnitsPerInch(GetUnit());
}

double TSpecctraComponentInstance::X() {
    return OutsideBoundary ? OneInch() : Position.X;
}

double TSpecctraComponentInstance::Y() {
    return OutsideBoundary ? OneInch() : Position.Y;
}

bool TSpecctraComponentInstance::ImportFromFile() {
    NameID = Parser->NextString();
    bool positionRead = false;
    const auto unknown = [&] {
        ImportUnknownBlock();
        return true;
    };
    return ReadSubBlocks(*this,
                         {{eTok_mirror,
                           [&] {
                               return ReadKeywordChoice(*Parser,
                                                        {{eTok_off, eNoMirror},
                                                         {eTok_x, eMirrorAroundX},
                                                         {eTok_y, eMirrorAroundY},
                                                         {eTok_xy, eMirrorAroundXY}},
                                                        Mirror);
                           }},
                          {eTok_lock_type,
                           [&] {
                               return ReadKeywordChoice(*Parser,
                                                        {{eTok_position, eLockTypePosition},
                                                         {eTok_gate, eLockTypeGate},
                                                         {eTok_subgate, eLockTypeSubgate},
                                                         {eTok_pin, eLockTypePin}},
                                                        LockType);
                           }},
                          {eTok_status,
                           [&] {
                               return ReadKeywordChoice(*Parser,
                                                        {{eTok_added, eCompAdded},
                                                         {eTok_deleted, eCompDeleted},
                                                         {eTok_substituted, eCompSubstituted}},
                                                        Status);
                           }},
                          {eTok_logical_part,
                           [&] {
                               LogicalPartID = Parser->NextString();
                               return true;
                           }},
                          {eTok_pn,
                           [&] {
                               PartNumber = Parser->NextString();
                               return true;
                           }},
                          {eTok_property, unknown},
                          {eTok_place_rule,
                           [&] {
                               SkipUnknownBlock();
                               return true;
                           }},
                          {eTok_region, unknown},
                          {eTok_rule,
                           [&] {
                               ImportRuleScope();
                               return true;
                           }}},
                         [&](int32_t) {
                             // The first other word starts the position: x, y, side, rotation.
                             if (positionRead)
                                 return HandleStructureToken();
                             positionRead = true;
                             return ReadPosition();
                         });
}

bool TSpecctraComponentInstance::ReadPosition() {
    // A parenthesis met where a number or the side belongs still counts for
    // the block structure.
    auto keepStructure = [this] {
        const std::string& text = Parser->TokenString();
        if (text == "(")
            ++SectionsOpen;
        else if (text == ")")
            --SectionsOpen;
        return false;
    };
    double x = 0.0;
    if (!Parser->TokenStr2Real(x))
        return false;
    const double y = Parser->NextReal();
    if (Parser->ConversionFailed())
        return keepStructure();
    switch (Parser->NextToken()) {
    case eTok_front:
        Side = eFrontSide;
        break;
    case eTok_back:
        Side = eBackSide;
        break;
    default:
        Parser->ReportUnexpectedToken();
        return keepStructure();
    }
    Rotation = Parser->NextReal();
    if (Parser->ConversionFailed())
        return keepStructure();
    Position = TVertex{x, y};
    OutsideBoundary = false;
    return true;
}
