#include "design/SpecctraRoutes.h"
#include "sdk/AsciiText.h"

#include "board/BoardFacade.h"
#include "board/BoardRules.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "rules/SpecctraRules.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

// Reads a block's section through the writer: "(keyword ", the body one
// level deeper, ")".
template <class TBody> bool WriteBlock(TSpecctraWriter& writer, const char* opening, TBody body) {
    writer.Writeln(opening, true);
    writer.Indent(1);
    const bool result = body();
    writer.UnIndent(1);
    writer.Writeln(")", true);
    return result;
}

} // namespace

// ---------------------------------------------------------------------------
// TSpecctraRTEStructureDescriptor

void TSpecctraRTEStructureDescriptor::ReadBoardOffset() {
    bool found = false;
    const TStoredParameters stored(StoredRecordName(GetBoard(), "BoardOffset", found));
    if (!found)
        return;
    struct {
        const char* Key;
        double* Value;
    } const axes[] = {{"X", &StoredOffsetX}, {"Y", &StoredOffsetY}};
    for (const auto& axis : axes) {
        std::string text;
        if (!stored.Get(axis.Key, text))
            continue;
        double value = 0.0;
        if (ConvertSpecctraReal(text, value)) {
            *axis.Value = value;
        } else {
            ReportError(std::string("Retreiving stored ") + axis.Key + " value for board offset");
            *axis.Value = 0.0;
        }
    }
    TranslationState().BoardOffsetX += RoundToBoard(StoredOffsetX);
    TranslationState().BoardOffsetY += RoundToBoard(StoredOffsetY);
}

bool TSpecctraRTEStructureDescriptor::ImportFromPcb() {
    ReadBoardOffset();
    // The board's layer stack, top to bottom: signal layers and planes.
    TPcbBoard board(GetBoard());
    board.QueryLayers(1);
    int32_t found = 0;
    for (const TLayerObject* layer = board.GetState_FirstLayerInStack(); layer && found < 256;
         layer = board.GetState_NextLayerInStack(layer)) {
        const TV6_Layer id = layer->GetState_LayerId();
        const bool plane = id >= eV6_InternalPlane1 && id <= eV6_InternalPlane16;
        const bool signal = id >= eV6_TopLayer && id <= eV6_BottomLayer;
        if (!plane && !signal)
            continue;
        auto entry = std::make_unique<TSpecctraLayer>(FLayerStack.get());
        entry->NameID = layer->GetState_Name();
        entry->FHostLayer = id;
        entry->FType = plane ? eLayerType_Power : eLayerType_Signal;
        FLayerStack->AddLayer(std::move(entry));
        ++found;
    }
    return found > 0;
}

bool TSpecctraRTEStructureDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    return WriteBlock(*Writer, "(structure_out ", [] { return true; });
}

// ---------------------------------------------------------------------------
// TSpecctraRteLibraryDescriptor

bool TSpecctraRteLibraryDescriptor::ImportFromPcb() {
    return ImportFromPcb_Padstacks();
}

bool TSpecctraRteLibraryDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    return WriteBlock(*Writer, "(library_out ", [this] {
        for (int32_t i = 0; i < PadstackCount(); ++i)
            if (!GetPadstack(i)->ExportToFile())
                return false;
        return true;
    });
}

// ---------------------------------------------------------------------------
// TSpecctraRteNetworkDescriptor

TSpecctraRteNetworkDescriptor::TSpecctraRteNetworkDescriptor(TSpecctraObject* owner)
    : TSpecctraAbstractNetworkDescriptor(owner) {}

TSpecctraRteNetworkDescriptor::~TSpecctraRteNetworkDescriptor() = default;

bool TSpecctraRteNetworkDescriptor::ImportFromPcb() {
    const intptr_t board = GetBoard();
    FStoredViaTags = ReadStoredViaTags(board);
    FPlanes = Board::PlaneNets(board);
    ProcessItems(board, eNetObject, [&](intptr_t handle) {
        auto net = std::make_unique<TSpecctraRoutedNet>(this, handle);
        net->StoredTags = &FStoredViaTags;
        net->Planes = &FPlanes;
        if (net->ImportFromPcb())
            FNets.push_back(std::move(net));
        return true;
    });
    // Name order by byte value; of equal names the first read stays.
    std::stable_sort(FNets.begin(), FNets.end(),
                     [](const auto& a, const auto& b) { return a->NameID < b->NameID; });
    FNets.erase(std::unique(FNets.begin(), FNets.end(),
                            [](const auto& a, const auto& b) { return a->NameID == b->NameID; }),
                FNets.end());
    return true;
}

bool TSpecctraRteNetworkDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    return WriteBlock(*Writer, "(network_out ", [this] {
        for (const auto& net : FNets)
            if (!net->ExportToFile())
                return false;
        return true;
    });
}

// ---------------------------------------------------------------------------
// TOutComponentPlacementDescriptor

bool TOutComponentPlacementDescriptor::TCaseless::operator()(const std::string& a,
                                                             const std::string& b) const {
    return UpperAscii(a) < UpperAscii(b);
}

void TOutComponentPlacementDescriptor::AddPlacement(const std::string& footprint,
                                                    TPlacement placement) {
    TByDesignator& components = FFootprints[footprint];
    const std::string designator = placement.Designator;
    components.emplace(designator, std::move(placement));
}

bool TOutComponentPlacementDescriptor::ImportFromPcb() {
    ProcessItems(GetBoard(), eComponentObject, [&](intptr_t handle) {
        TPcbComponent component(handle);
        if (!Board::Read(component))
            return true;
        TPlacement placement;
        TPcbText designator(component.GetState_Name());
        if (component.GetState_Name() != 0 && Board::Read(designator))
            placement.Designator = designator.GetState_Text();
        placement.X = component.GetState_x1();
        placement.Y = component.GetState_y1();
        placement.Back = component.GetState_Layer() != eV6_TopLayer;
        placement.Rotation = component.GetState_Angle();
        AddPlacement(component.GetState_Pattern(), std::move(placement));
        return true;
    });
    return true;
}

bool TOutComponentPlacementDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    std::string line;
    for (const auto& [footprint, components] : FFootprints) {
        Writer->Writeln("(component " + QuoteIfParenthesised(footprint), true);
        Writer->Indent(1);
        for (const auto& [designator, place] : components) {
            line.assign("(place ");
            line.append(QuoteIfParenthesised(designator)).push_back(' ');
            AppendGeneralNumber(line, BoardToFileX(place.X));
            line.push_back(' ');
            AppendGeneralNumber(line, BoardToFileY(place.Y));
            line.append(place.Back ? " back " : " front ");
            AppendGeneralNumber(line, place.Back ? place.Rotation - 180.0 : place.Rotation);
            line.push_back(')');
            Writer->Writeln(line, true);
        }
        Writer->UnIndent(1);
        Writer->Writeln(")", true);
    }
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraRoutes

std::string ExportReportName(const std::string& fileName) {
    return fileName + ".rpt";
}

TSpecctraRoutes::TSpecctraRoutes(const std::string& fileName, TSpecctraParser* parser,
                                 TSpecctraWriter* writer, intptr_t board)
    : TSpecctraFile(fileName, parser, writer, board),
      FUncaughtAtCreation(std::uncaught_exceptions()) {
    FReportManager = std::make_unique<TReportManager>(fileName);
    FReportManager->SetReportName(ExportReportName(fileName));
    FReportManager->Start();
    ReportManager = FReportManager.get();
    FParserSection->ReportManager = ReportManager;
    FDimension = std::make_unique<TDimensionResolutionDescriptor>(this);
    FTestPoints = std::make_unique<TSpecctraTestpointsDescriptor>(this);
}

TSpecctraRoutes::~TSpecctraRoutes() {
    FRules.reset();
    const bool failing = std::uncaught_exceptions() > FUncaughtAtCreation;
    if (Writer && !failing && !Writer->Saved()) {
        try {
            Writer->Flush();
        } catch (const std::exception& error) {
            ReportError(error.what());
        }
    }
    FReportManager->Finish(failing);
}

void TSpecctraRoutes::SetServices(const THostServices& services) {
    TSpecctraFile::SetServices(services);
    FReportManager->SetViewer(services.ReportViewer);
}

void TSpecctraRoutes::SetReportEnabled(bool enabled) {
    FReportManager->SetEnabled(enabled);
}

void TSpecctraRoutes::RegisterRuleReaders(TSpecctraRuleCollection& rules) {
    RegisterDesignRuleReaders(rules);
}

TSpecctraAbstractStructureDescriptor* TSpecctraRoutes::CreateStructureDescriptor() {
    FStructure = std::make_unique<TSpecctraRTEStructureDescriptor>(this);
    return FStructure.get();
}

TSpecctraAbstractLibraryDescriptor* TSpecctraRoutes::CreateLibraryDescriptor() {
    FLibrary = std::make_unique<TSpecctraRteLibraryDescriptor>(this);
    return FLibrary.get();
}

TSpecctraAbstractNetworkDescriptor* TSpecctraRoutes::CreateNetworkDescriptor() {
    FNetwork = std::make_unique<TSpecctraRteNetworkDescriptor>(this);
    return FNetwork.get();
}

const std::string& TSpecctraRoutes::HostLayerName(int32_t layer) {
    if (layer < 0 || layer >= static_cast<int32_t>(FLayerNames.size()))
        return NoText();
    const auto index = static_cast<std::size_t>(layer);
    if (!FLayerNameKnown[index]) {
        // As written: a host name with a blank ("Top Layer") is quoted.
        FLayerNames[index] = QuoteIfParenthesised(LayerNameOf(GetBoard(), layer));
        FLayerNameKnown[index] = true;
    }
    return FLayerNames[index];
}

bool TSpecctraRoutes::ImportFromPcb() {
    CreateLibraryDescriptor();
    CreateNetworkDescriptor();
    CreateStructureDescriptor();
    FParserSection->ImportFromPcb();
    FStructure->ImportFromPcb();
    FLibrary->ImportFromPcb();
    FNetwork->ImportFromPcb();
    FTestPoints->ImportFromPcb();
    return true;
}

bool TSpecctraRoutes::ExportToFile() {
    if (!Writer)
        return false;
    if (auto* network = dynamic_cast<TSpecctraRteNetworkDescriptor*>(FNetwork.get())) {
        // A wire takes about 150 bytes of text: room for all at once (up to
        // what the writer keeps in memory).
        std::size_t tracks = 0;
        for (const auto& net : network->RoutedNets())
            tracks += net->Tracks().size();
        Writer->Reserve(tracks * 160 + 4096);
    }
    Writer->Writeln("(routes ", true);
    Writer->Indent(1);
    FDimension->ExportToFile();
    FParserSection->ExportToFile();
    if (FStructure)
        FStructure->ExportToFile();
    if (FLibrary)
        FLibrary->ExportToFile();
    if (FNetwork)
        FNetwork->ExportToFile();
    FTestPoints->ExportToFile();
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraSessionFile

TSpecctraSessionFile::TSpecctraSessionFile(const std::string& fileName, TSpecctraParser* parser,
                                           TSpecctraWriter* writer, intptr_t board)
    : TSpecctraRoutes(fileName, parser, writer, board),
      FPlacement(std::make_unique<TOutComponentPlacementDescriptor>(this)) {}

TSpecctraSessionFile::~TSpecctraSessionFile() = default;

std::string TSpecctraSessionFile::SessionName() const {
    std::string name = FileName();
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

bool TSpecctraSessionFile::ImportFromPcb() {
    if (!TSpecctraRoutes::ImportFromPcb())
        return false;
    return FPlacement->ImportFromPcb();
}

bool TSpecctraSessionFile::ExportToFile() {
    if (!Writer)
        return false;
    const std::string name = SessionName();
    std::string design = name;
    const std::size_t slash = design.find_last_of("/\\");
    const std::size_t dot = design.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        design.erase(dot);
    design.append(".dsn");
    Writer->Writeln("(session " + name, true);
    Writer->Indent(2);
    Writer->Writeln("(base_design " + design + ")", true);
    Writer->Writeln("(placement ", true);
    Writer->Indent(1);
    FDimension->ExportToFile();
    FPlacement->ExportToFile();
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    TSpecctraRoutes::ExportToFile();
    Writer->UnIndent(2);
    Writer->Writeln(")", true);
    return true;
}
