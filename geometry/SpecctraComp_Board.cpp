// Images and placed components on the board: a host component for each
// placed image, with a pad for each pin on its net (built once a padstack
// and copied for the padstack's other pins), the image's outline, copper,
// keepouts and vias.
#include "geometry/SpecctraComp.h"

#include "board/BoardFacade.h"
#include "design/StructureSection.h"
#include "geometry/DesignAccess.h"
#include "geometry/SpecctraViaPadJumper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Every host layer of the per-layer pad table.
constexpr int kFirstCopper = eV6_TopLayer;

constexpr int kLastCopper = eV6_BottomLayer;

void SetLayerEntry(TPcbPad& pad, int layer, TSpecctraPad& source) {
    const auto v6 = static_cast<TV6_Layer>(layer);
    pad.SetState_XSizeOnLayer(v6, source.ExportToPCB_SizeX());
    pad.SetState_YSizeOnLayer(v6, source.ExportToPCB_SizeY());
    pad.SetState_ShapeOnLayer(v6, source.ExportToPCB_ShapeType());
}

// A report that names a pin, made for every such pin of every component:
// built in one piece, in room kept from one report to the next (valid until
// this thread's next call).
const std::string& PinReportText(std::string_view before, const std::string& fullName,
                                 std::string_view after) {
    thread_local std::string text;
    text.assign(before).append(fullName).append(after);
    return text;
}

// The report of a pin whose middle pad takes the largest inner one.
const std::string& MiddleFromInnerText(const std::string& fullName) {
    return PinReportText("Middle layer pad for pin ", fullName,
                         " will take largest available size defined on inner signal layers.");
}

bool IsZeroSized(const TPcbPad& pad) {
    if (pad.GetState_TopXsize() || pad.GetState_TopYsize() || pad.GetState_MidXsize() ||
        pad.GetState_MidYsize() || pad.GetState_BotXsize() || pad.GetState_BotYsize())
        return false;
    for (int layer = kFirstCopper; layer <= kLastCopper; ++layer)
        if (pad.GetState_XSizeOnLayer(static_cast<TV6_Layer>(layer)) ||
            pad.GetState_YSizeOnLayer(static_cast<TV6_Layer>(layer)))
            return false;
    return true;
}

// A new pad object with the engine's defaults, but no copper on any copper
// layer: a layer takes a size only from a pad of the padstack. The defaults
// are read from the engine once; every later pad starts from a copy of them
// (a pad has dozens of per-layer entries to read).
TPcbPad PadWithEngineDefaults() {
    static std::unique_ptr<TPcbPad> defaults;
    if (!defaults) {
        TPcbPad first(0);
        if (!Board::Make(first))
            return first;
        for (int layer = kFirstCopper; layer <= kLastCopper; ++layer) {
            first.SetState_XSizeOnLayer(static_cast<TV6_Layer>(layer), 0);
            first.SetState_YSizeOnLayer(static_cast<TV6_Layer>(layer), 0);
        }
        defaults = std::make_unique<TPcbPad>(first);
        return first;
    }
    TPcbPad pad = *defaults;
    pad.SetState_ObjectHandle(Board::NewObject(ePadObject));
    return pad;
}

} // namespace

// Long: one case per padstack kind, all sharing the setters that note each entry's copper.
void TSpecctraCompPin::SetPadSizes(TPcbPad& pad, TSpecctraPadstack& padstack,
                                   TPinPadReports& reports,
                                   std::vector<TTrueCopperSource>& trueCopper) {
    // The last source given for an entry is the one it keeps.
    auto noteCopper = [&](int entry, TSpecctraPad* source) {
        std::erase_if(trueCopper, [&](const TTrueCopperSource& t) { return t.Entry == entry; });
        if (source && !source->TrueCopper().empty())
            trueCopper.push_back({entry, source});
    };
    auto setLayerEntry = [&](int layer, TSpecctraPad& source) {
        SetLayerEntry(pad, layer, source);
        noteCopper(layer, &source);
    };
    auto setTop = [&](TSpecctraPad* source) {
        noteCopper(eV6_TopLayer, source);
        if (!source)
            return;
        pad.SetState_TopXsize(source->ExportToPCB_SizeX());
        pad.SetState_TopYsize(source->ExportToPCB_SizeY());
        pad.SetState_TopShape(source->ExportToPCB_ShapeType());
    };
    auto setMid = [&](TSpecctraPad* source) {
        noteCopper(eV6_MidLayer1, source);
        if (!source)
            return;
        pad.SetState_MidXsize(source->ExportToPCB_SizeX());
        pad.SetState_MidYsize(source->ExportToPCB_SizeY());
        pad.SetState_MidShape(source->ExportToPCB_ShapeType());
    };
    auto setBottom = [&](TSpecctraPad* source) {
        noteCopper(eV6_BottomLayer, source);
        if (!source)
            return;
        pad.SetState_BotXsize(source->ExportToPCB_SizeX());
        pad.SetState_BotYsize(source->ExportToPCB_SizeY());
        pad.SetState_BotShape(source->ExportToPCB_ShapeType());
    };
    switch (padstack.Kind()) {
    case eSimplePadstack: {
        TSpecctraPad* largest = padstack.GetState_LargestPadOnAnySignalLayer();
        if (!largest)
            break;
        setTop(largest);
        setMid(largest);
        setBottom(largest);
        setLayerEntry(eV6_TopLayer, *largest);
        if (largest->LayerID() != "SIGNAL")
            if (TSpecctraLayer* layer =
                    DesignAccess::LayerByName(DesignAccess::LayerStack(*this), largest->LayerID()))
                pad.SetState_Layer(DesignAccess::HostLayer(*layer));
        pad.SetState_FMode(ePadMode_Simple);
        break;
    }
    case eTopMidBottomPadstack: {
        TSpecctraPad* top = padstack.GetState_PadOnLayer("FRONT LAYER");
        setTop(top ? top : padstack.GetState_PadOnLayer("SIGNAL"));
        TSpecctraPad* middle = padstack.GetState_PadOnLayer("SIGNAL");
        if (!middle) {
            middle = padstack.GetState_LargestPadOnInnerSignalLayer();
            ReportEvent(MiddleFromInnerText(FullPinName()));
            reports.MiddleFromInner = true;
        }
        setMid(middle);
        TSpecctraPad* bottom = padstack.GetState_PadOnLayer("BACK LAYER");
        setBottom(bottom ? bottom : padstack.GetState_PadOnLayer("SIGNAL"));
        pad.SetState_FMode(ePadMode_LocalStack);
        break;
    }
    case ePerLayerPadstack: {
        pad.SetState_FMode(ePadMode_ExternalStack);
        if (TSpecctraPad* signal = padstack.GetState_PadOnLayer("SIGNAL"))
            for (int layer = kFirstCopper; layer <= kLastCopper; ++layer)
                setLayerEntry(layer, *signal);
        TSpecctraLayerStack* stack = DesignAccess::LayerStack(*this);
        for (int32_t i = 0; i < DesignAccess::LayerCount(stack); ++i) {
            TSpecctraLayer* layer = DesignAccess::LayerAt(stack, i);
            const std::string& name = DesignAccess::LayerName(*layer);
            const int host = DesignAccess::HostLayer(*layer);
            if (IsLayerClassName(name) || host < kFirstCopper || host > kLastCopper)
                continue;
            if (TSpecctraPad* own = padstack.GetState_PadOnLayer(name))
                setLayerEntry(host, *own);
        }
        break;
    }
    case eSMDPadstack: {
        TSpecctraPad* front = padstack.GetState_PadOnLayer("FRONT LAYER");
        TSpecctraPad* source = front ? front : padstack.GetState_PadOnLayer("BACK LAYER");
        setTop(source);
        if (source)
            setLayerEntry(eV6_TopLayer, *source);
        pad.SetState_Layer(front ? eV6_TopLayer : eV6_BottomLayer);
        pad.SetState_FMode(ePadMode_Simple);
        break;
    }
    default:
        ReportError(padstack.NameID + " has unknown kind for pin " + FullPinName());
        reports.UnknownKind = true;
        break;
    }
}

void TSpecctraCompPin::ReportPadSizes(const TSpecctraPadstack& padstack,
                                      const TPinPadReports& reports,
                                      const std::string& fullName) const {
    if (reports.MiddleFromInner)
        ReportEvent(MiddleFromInnerText(fullName));
    if (reports.UnknownKind)
        ReportError(padstack.NameID + " has unknown kind for pin " + fullName);
}

bool TSpecctraCompPin::ExportToPCB() {
    // The pins found their padstacks when the image's reach was measured,
    // before its first component was placed. A padstack found (once, in the
    // library) answers for the library too.
    TSpecctraPadstack* padstack = FindPadstack();
    if (!padstack && !DesignAccess::Library(*this)) {
        ReportError("Invalid library reference ponter returned during pin padstack retrieval.");
        return false;
    }
    const std::string fullName = FullPinName();
    if (!padstack) {
        ReportError("Padstack " + PadStackIDRef() + " not found for pin " + fullName);
        return false;
    }
    if (padstack->PinPad)
        return ExportFromTemplate(*padstack->PinPad, *padstack, fullName);
    TSpecctraCompImage* image = Image();
    const intptr_t container = image ? image->HarrowHandle : 0;
    TPcbPad pad = PadWithEngineDefaults();
    if (pad.GetState_ObjectHandle() == 0)
        return true;
    pad.SetState_TopXsize(0);
    pad.SetState_TopYsize(0);
    pad.SetState_MidXsize(0);
    pad.SetState_MidYsize(0);
    pad.SetState_BotXsize(0);
    pad.SetState_BotYsize(0);
    pad.SetState_TopShape(eRounded);
    pad.SetState_MidShape(eRounded);
    pad.SetState_BotShape(eRounded);
    pad.SetState_HoleSize(0);
    pad.SetState_Plated(true);
    pad.SetState_DaisyChainStyle(eDaisyChainLoad);
    pad.SetState_Name(NameID);
    pad.SetState_Angle(Rotation);

    const uint64_t reportsBefore = ReportsMade();
    double cx = 0.0, cy = 0.0;
    if (TSpecctraPad* largest = padstack->GetState_LargestPadOnAnySignalLayer()) {
        double lx, ly, hx, hy;
        largest->VisibleBounds(lx, ly, hx, hy);
        cx = (lx + hx) / 2.0;
        cy = (ly + hy) / 2.0;
    }
    pad.SetState_x1(ExportToPCB_PositionX(Position.X + cx));
    pad.SetState_y1(ExportToPCB_PositionY(Position.Y + cy));
    const intptr_t netless = pad.GetState_Net();
    uint64_t ownReports = ReportsMade() - reportsBefore;

    AssignNet(pad, fullName);
    pad.SetState_Layer(eV6_MultiLayer);
    TPinPadReports reports;
    std::vector<TTrueCopperSource> trueCopper;
    const uint64_t sizesBefore = ReportsMade();
    SetPadSizes(pad, *padstack, reports, trueCopper);
    // The reports that name the pin are made again by every later export.
    ownReports += ReportsMade() - sizesBefore - (reports.MiddleFromInner ? 1 : 0) -
                  (reports.UnknownKind ? 1 : 0);

    const bool zeroSized = IsZeroSized(pad);
    if (padstack->Kind() != eSMDPadstack && !zeroSized)
        pad.SetState_HoleSize(100000);
    if (ownReports == 0) {
        auto pinPad = std::make_unique<TPinPadTemplate>();
        pinPad->Pad = pad;
        pinPad->Pad.SetState_ObjectHandle(0);
        pinPad->Pad.SetState_Net(netless);
        pinPad->Pad.SetState_DaisyChainStyle(eDaisyChainLoad);
        pinPad->Netless = netless;
        pinPad->Reports = reports;
        pinPad->CentreX = cx;
        pinPad->CentreY = cy;
        pinPad->ZeroSized = zeroSized;
        pinPad->TrueCopper = trueCopper;
        padstack->PinPad = std::move(pinPad);
    }
    Board::AddTo(container, pad);
    AttachTrueCopper(pad.GetState_ObjectHandle(), trueCopper, cx, cy);
    if (zeroSized)
        ReportWarning("WARNING: Zero sized pad imported: " + fullName);
    return true;
}

bool TSpecctraCompPin::ExportFromTemplate(TPinPadTemplate& pinPad, TSpecctraPadstack& padstack,
                                          const std::string& fullName) {
    // Every value but the pin's own is the padstack's: the pad built for the
    // first pin goes again, with the reports that name this one, in the
    // order a pin built anew makes them. The write only reads the wrapper,
    // which is set back after it.
    TPcbPad& pad = pinPad.Pad;
    TSpecctraCompImage* image = Image();
    const intptr_t container = image ? image->HarrowHandle : 0;
    // Where the engine copies pads, the pad is a copy of the template's
    // model with this pin's own fields; else it is made and written anew.
    const intptr_t model = pinPad.Model.For(pad);
    if (model == 0) {
        pad.SetState_ObjectHandle(Board::NewObject(ePadObject));
        if (pad.GetState_ObjectHandle() == 0)
            return true;
    }
    pad.SetState_Name(NameID);
    pad.SetState_Angle(Rotation);
    pad.SetState_x1(ExportToPCB_PositionX(Position.X + pinPad.CentreX));
    pad.SetState_y1(ExportToPCB_PositionY(Position.Y + pinPad.CentreY));
    AssignNet(pad, fullName);
    ReportPadSizes(padstack, pinPad.Reports, fullName);
    intptr_t handle = 0;
    if (model != 0) {
        const PcbApiPadPlace place{
            pad.GetState_Name().c_str(), pad.GetState_Net(),
            pad.GetState_Angle(),        pad.GetState_x1(),
            pad.GetState_y1(),           static_cast<int32_t>(pad.GetState_DaisyChainStyle())};
        handle = Board::CopyPad(model, container, place);
    } else {
        const TPCBObject::TFreshBitFields fresh = pad.FreshBitFields();
        Board::AddTo(container, pad);
        handle = pad.GetState_ObjectHandle();
        pad.SetFreshBitFields(fresh);
    }
    AttachTrueCopper(handle, pinPad.TrueCopper, pinPad.CentreX, pinPad.CentreY, &pinPad.Copper);
    pad.SetState_ObjectHandle(0);
    pad.SetState_Net(pinPad.Netless);
    pad.SetState_DaisyChainStyle(eDaisyChainLoad);
    if (pinPad.ZeroSized)
        ReportWarning("WARNING: Zero sized pad imported: " + fullName);
    return true;
}

TPadModel::~TPadModel() {
    if (FHandle != 0)
        Board::FreeObject(FHandle);
}

intptr_t TPadModel::For(TPcbPad& pad) {
    if (FTried)
        return FHandle;
    FTried = true;
    if (!Board::CanCopyPads())
        return 0;
    // Written as a pin's pad would be, the first write of a new pad; the
    // template keeps its note of what a new pad holds for the next one.
    const TPCBObject::TFreshBitFields fresh = pad.FreshBitFields();
    pad.SetState_ObjectHandle(Board::NewObject(ePadObject));
    if (pad.GetState_ObjectHandle() != 0 && Board::Write(pad))
        FHandle = pad.GetState_ObjectHandle();
    else if (pad.GetState_ObjectHandle() != 0)
        Board::FreeObject(pad.GetState_ObjectHandle());
    pad.SetFreshBitFields(fresh);
    pad.SetState_ObjectHandle(0);
    return FHandle;
}

void TSpecctraCompPin::AttachTrueCopper(intptr_t handle,
                                        const std::vector<TTrueCopperSource>& sources, double cx,
                                        double cy, TTrueCopperMemo* memo) {
    if (sources.empty() || handle == 0)
        return;
    // The pieces depend on the template's shapes and centre, which a memo's
    // template holds fixed, and on the pin's rotation.
    if (memo && memo->Valid && memo->Rotation == Rotation) {
        Board::SetPadOutline(handle, memo->Pieces);
        return;
    }
    // The pad lies at the pin plus (cx, cy) unturned, and turns by the pin's
    // rotation about that point: the shapes, turned about the pin, are
    // written about the pad's centre in its own frame.
    const double turn = Rotation * M_PI / 180.0;
    const double c = std::cos(turn), s = std::sin(turn);
    const double hx = HostLength(cx), hy = HostLength(cy);
    const double ox = hx * c + hy * s, oy = -hx * s + hy * c;
    // Every pin of a padstack writes the same pieces at its own place: the
    // pieces and their point lists are kept from one pin to the next, so
    // that only the first pin of the run allocates them.
    thread_local std::vector<Board::TPadCopperPiece> kept;
    std::vector<Board::TPadCopperPiece>& pieces = memo ? memo->Pieces : kept;
    std::size_t count = 0;
    for (const TTrueCopperSource& source : sources)
        for (const TSpecctraPad::TCopperPiece& piece : source.Source->TrueCopper()) {
            if (count == pieces.size())
                pieces.emplace_back();
            Board::TPadCopperPiece& out = pieces[count++];
            out.Entry = source.Entry;
            out.Radius = source.Source->HostLength(piece.Radius);
            out.XY.clear();
            out.XY.reserve(2 * piece.Points.size());
            for (const TVertex& v : piece.Points) {
                out.XY.push_back(RoundToBoard(source.Source->HostLength(v.X) - ox));
                out.XY.push_back(RoundToBoard(source.Source->HostLength(v.Y) - oy));
            }
        }
    pieces.resize(count);
    if (memo) {
        memo->Valid = true;
        memo->Rotation = Rotation;
    }
    Board::SetPadOutline(handle, pieces);
}

void TSpecctraCompPin::AssignNet(TPcbPad& pad, const std::string& fullName) {
    if (!DesignAccess::HasNetwork(*this)) {
        ReportError("No netlist information found. Cannot assign net to pin " + fullName);
    } else if (TSpecctraNet* net = DesignAccess::NetOfPin(*this, fullName)) {
        pad.SetState_Net(DesignAccess::NetHandle(*net));
        pad.SetState_DaisyChainStyle(DesignAccess::DaisyChainStyle(*net, fullName));
    } else {
        ReportEvent(PinReportText("Pin ", fullName, " has no net assigned."));
    }
}

// ---------------------------------------------------------------------------
// TSpecctraImageConductor

intptr_t TSpecctraImageConductor::ShapeContainer() {
    auto* image = dynamic_cast<TSpecctraCompImage*>(Owner);
    return image ? image->HarrowHandle : 0;
}

void TSpecctraCompImage::EnsureOutline() {
    if (Outline && Outline->AreaSize() != 0.0)
        return;
    double lx, ly, hx, hy;
    BoundingRectangle(lx, ly, hx, hy);
    auto rect = std::make_unique<TSpecctraRectShape>(this);
    rect->LayerID = "SIGNAL";
    rect->TopLeft() = TVertex{lx, ly};
    rect->BottomRight() = TVertex{hx, hy};
    Outline = std::move(rect);
}

void TSpecctraCompImage::ExportOutline() {
    if (FOutlineKept) {
        Outline->ExportToPCB_KeptTracks(FOutlineTracks, HarrowHandle);
        return;
    }
    EnsureOutline();
    if (!Outline || Outline->AreaSize() <= 0.0)
        return;
    // Circles and arcs make arcs: only outlines made of tracks are kept.
    const bool keep = !FOutlineTried && Outline->Kind != TSpecctraShapeType::eCircleShape &&
                      Outline->Kind != TSpecctraShapeType::eQArcShape;
    FOutlineTried = true;
    const uint64_t reportsBefore = ReportsMade();
    if (keep)
        Outline->KeepTracks(&FOutlineTracks);
    const bool ok = Outline->ExportToPCB();
    Outline->KeepTracks(nullptr);
    FOutlineKept = keep && ok && ReportsMade() == reportsBefore;
    if (!FOutlineKept)
        FOutlineTracks = {};
}

namespace {

// Asks for the pin-to-net index slots of the component's pins before its
// host component is built: the look-ups that give the pads their nets then
// find them loaded, where one after the other each would wait for memory on
// a large board. References too long for the buffer are left to the look-up.
void PrefetchPinNets(const TSpecctraCompImage& image) {
    constexpr int32_t kMostPins = 256;
    if (!image.TranslCompInst || !image.PinList)
        return;
    const TPinToNetIndex& index = TranslationState().PinToNetIndex;
    const std::string& reference = image.TranslCompInst->NameID;
    char text[128];
    if (index.Count() == 0 || reference.size() + 1 >= sizeof text)
        return;
    std::memcpy(text, reference.data(), reference.size());
    text[reference.size()] = '-';
    const int32_t count = std::min(image.PinCount(), kMostPins);
    for (int32_t i = 0; i < count; ++i) {
        const TSpecctraCompPin* const entry = image.GetState_Pin(i);
        if (!entry)
            continue;
        const std::string& pin = entry->NameID;
        const std::size_t length = reference.size() + 1 + pin.size();
        if (length > sizeof text)
            continue;
        std::memcpy(text + reference.size() + 1, pin.data(), pin.size());
        index.Prefetch(std::string_view(text, length));
    }
}

} // namespace

bool TSpecctraCompImage::ExportToPCB() {
    PrefetchPinNets(*this);
    if (!Built)
        Built = std::make_unique<TPcbComponent>(0);
    TPcbComponent& component = *Built;
    if (PlacementMemo && PlacementMemo->Component) {
        // A new component as the first one was made, but for its own handles:
        // copied over the last one built, whose texts have the room.
        component = *PlacementMemo->Component;
        component.SetState_ObjectHandle(Board::NewObject(eComponentObject));
        if (component.GetState_ObjectHandle() == 0) {
            HarrowHandle = 0;
            return true;
        }
        if (component.QueryTextHandles() != 1) {
            component.SetState_Name(0);
            component.SetState_Comment(0);
        }
    } else {
        component = TPcbComponent(0);
        if (!Board::Make(component)) {
            HarrowHandle = 0;
            return true;
        }
        // Kept only as read from the engine.
        if (PlacementMemo && component.FreshBitFields().Known)
            PlacementMemo->Component = component;
    }
    HarrowHandle = component.GetState_ObjectHandle();
    component.SetState_Pattern(NameID);
    TTranslationState& state = TranslationState();
    const int32_t offsetX = state.BoardOffsetX, offsetY = state.BoardOffsetY;
    state.BoardOffsetX = 0;
    state.BoardOffsetY = 0;

    ExportOutline();
    ExportListToPCB(PinList.get());
    if (EmbededConductorShapeList)
        ExportListToPCB(EmbededConductorShapeList.get());
    if (EmbededViaList)
        ExportListToPCB(EmbededViaList.get());
    if (KeepoutList)
        ExportListToPCB(KeepoutList.get());
    // The component record is written once, by the instance, with its place:
    // nothing above changed what the engine holds of it.

    state.BoardOffsetX = offsetX;
    state.BoardOffsetY = offsetY;
    return true;
}

bool TSpecctraComponentInstance::ExportToPCB() {
    TPlacementMemo memo;
    return ExportToPCB(memo);
}

bool TSpecctraComponentInstance::ExportToPCB(TPlacementMemo& memo) {
    // The components of an image follow one another: the image found for
    // one serves the next ones that name it the same way.
    if (!memo.Image || memo.ImageName != ImageRefID()) {
        memo.Image = Get_ImageByName(ImageRefID());
        memo.ImageName = ImageRefID();
    }
    TSpecctraCompImage* image = memo.Image;
    if (!image) {
        ReportError("Footprint " + ImageRefID() + " not found. Cannot import component " + NameID);
        return false;
    }
    if (image->Side != eBothSides && image->Side != Side) {
        ReportError("Footprint " + ImageRefID() + " doesn't allow placement on " + SideName(Side) +
                    " for component " + NameID);
        return false;
    }
    double angle = 0.0;
    if (!NormalizedRotation(Rotation, angle)) {
        ReportError("Component " + NameID + " has no valid rotation; it is placed at 0 degrees.");
    }
    // Positions beyond the host's coordinate range cannot be placed, nor can
    // a component whose pins or shapes would reach beyond it.
    if (!OnBoard(X(), Y(), image->HostReach())) {
        ReportError("Component " + NameID +
                    " lies outside the coordinate range of the board; it is not imported.");
        return true;
    }

    image->TranslCompInst = this;
    image->PlacementMemo = &memo;
    image->ExportToPCB();
    image->PlacementMemo = nullptr;
    HarrowHandle = image->HarrowHandle;
    image->HarrowHandle = 0;
    image->TranslCompInst = nullptr;
    if (HarrowHandle == 0)
        return false;

    TPcbComponent& component = *image->Built;
    component.SetState_NameOn(true);
    component.SetState_CommentOn(false);
    if (component.GetState_Name() != 0) {
        TPcbText designator(component.GetState_Name());
        if (memo.Designator) {
            designator = *memo.Designator;
            designator.SetState_ObjectHandle(component.GetState_Name());
            designator.SetState_Component(HarrowHandle);
        } else if (Board::Read(designator)) {
            // Not written since the engine made it with the component.
            designator.NoteFreshBitFields();
            memo.Designator = designator;
        }
        designator.SetState_Text(NameID);
        designator.SetState_Layer(eV6_TopOverlay);
        Board::Write(designator);
    }
    component.SetState_Moveable(true);
    component.SetState_Layer(Side == eBackSide ? eV6_BottomLayer : eV6_TopLayer);
    component.SetState_Angle(angle);
    // Side, rotation and position in one write: the engine turns and moves
    // the pads and outline with the component.
    component.SetState_x1(ExportToPCB_PositionX(X()));
    component.SetState_y1(ExportToPCB_PositionY(Y()));
    Board::Write(component);
    if (Board::Add(GetBoard(), HarrowHandle))
        return true;
    Board::FreeObject(HarrowHandle);
    HarrowHandle = 0;
    return false;
}
