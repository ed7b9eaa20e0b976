#include "design/SpecctraDesign.h"

#include "board/BoardFacade.h"
#include "design/IncludedFile.h"
#include "persistence/ReportManager.h"
#include "rules/SpecctraRules.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <exception>

TSpecctraDesign::TSpecctraDesign(const std::string& fileName, TSpecctraParser* parser,
                                 TSpecctraWriter* writer, intptr_t board)
    : TSpecctraFile(fileName, parser, writer, board),
      FUncaughtAtCreation(std::uncaught_exceptions()) {
    FReportManager = std::make_unique<TReportManager>(fileName);
    FReportManager->Start();
    ReportManager = FReportManager.get();
    FParserSection->ReportManager = ReportManager;
    if (Parser)
        Parser->SetReportManager(FReportManager.get());
    FCapacitance = std::make_unique<TCapacitanceResolutionDescriptor>(this);
    FConductance = std::make_unique<TConductanceResolutionDescriptor>(this);
    FCurrent = std::make_unique<TCurrentResolutionDescriptor>(this);
    FInductance = std::make_unique<TInductanceResolutionDescriptor>(this);
    FResistance = std::make_unique<TResistanceResolutionDescriptor>(this);
    FDimension = std::make_unique<TDimensionResolutionDescriptor>(this);
    FVoltage = std::make_unique<TVoltageResolutionDescriptor>(this);
    FTime = std::make_unique<TTimeResolutionDescriptor>(this);
    CreateStructureDescriptor();
    FPlacement = std::make_unique<TSpecctraPlacementDescriptor>(this);
}

TSpecctraDesign::~TSpecctraDesign() {
    // The rules refer to objects of every section: they go before any.
    FRules.reset();
    if (Parser && Parser->ReportManager() == FReportManager.get())
        Parser->SetReportManager(nullptr);
    FReportManager->Finish(std::uncaught_exceptions() > FUncaughtAtCreation);
}

void TSpecctraDesign::SetServices(const THostServices& services) {
    TSpecctraFile::SetServices(services);
    FReportManager->SetViewer(services.ReportViewer);
}

void TSpecctraDesign::SetReportEnabled(bool enabled) {
    FReportManager->SetEnabled(enabled);
}

void TSpecctraDesign::RegisterRuleReaders(TSpecctraRuleCollection& rules) {
    RegisterDesignRuleReaders(rules);
}

std::optional<bool> TSpecctraDesign::PlacesComponent(const std::string& reference) const {
    if (!FPlacement)
        return std::nullopt;
    return FPlacement->IncludesComponent(reference);
}

TSpecctraDSNLibraryDescriptor* TSpecctraDesign::DesignLibrary() const {
    return dynamic_cast<TSpecctraDSNLibraryDescriptor*>(FLibrary.get());
}

TSpecctraAbstractStructureDescriptor* TSpecctraDesign::CreateStructureDescriptor() {
    FStructure = std::make_unique<TSpecctraDSNStructureDescriptor>(this);
    return FStructure.get();
}

TSpecctraAbstractLibraryDescriptor* TSpecctraDesign::CreateLibraryDescriptor() {
    FLibrary = std::make_unique<TSpecctraDSNLibraryDescriptor>(this);
    return FLibrary.get();
}

TSpecctraAbstractNetworkDescriptor* TSpecctraDesign::CreateNetworkDescriptor() {
    FNetwork = std::make_unique<TSpecctraDsnNetworkDescriptor>(this);
    return FNetwork.get();
}

bool TSpecctraDesign::ReadSection(TSpecctraObject& section) {
    section.SectionsOpen = 1;
    const bool result = section.ImportFromFile();
    --SectionsOpen;
    return result;
}

void TSpecctraDesign::ReadIncludedFile() {
    const std::string name = Parser->NextString();
    if (!FIncludedFiles)
        FIncludedFiles = std::make_unique<TIncludedFiles>(FFileName);
    std::string path, reason;
    if (!FIncludedFiles->Admit(name, Parser->Input().FileName(), path, reason)) {
        ReportError(TIncludedFiles::RefusalText(name, reason));
        return;
    }
    try {
        Parser->SwitchToFile(path);
    } catch (const std::exception& error) {
        ReportError(error.what());
    }
}

// Long: one case per top-level block of a design file, in one switch that reads as its outline.
bool TSpecctraDesign::ImportFromFile() {
    if (!Parser)
        return false;
    if (Parser->NextToken() != eTok_OpenParen) {
        ReportError("Not a valid DSN file.");
        return false;
    }
    if (!Parser->ExpectToken(eTok_pcb)) {
        ReportError("Not a valid DSN file. Expected <pcb> as second keyword.");
        return false;
    }
    // The design's name is not kept: skip to the first block.
    SectionsOpen = 1;
    while (!StopParsing()) {
        if (Parser->NextToken() == eTok_OpenParen) {
            ++SectionsOpen;
            break;
        }
    }
    while (!StopParsing() && SectionsOpen >= 1) {
        const int32_t token = Parser->NextToken();
        switch (token) {
        case eTok_parser:
            ReadSection(*FParserSection);
            break;
        case eTok_resolution:
            FDimension->SectionsOpen = 1;
            FDimension->ImportFromFile();
            --SectionsOpen;
            if (FUnits == eDimNotSet)
                FUnits = static_cast<TDimensionUnit>(FDimension->GetState_Unit());
            break;
        case eTok_unit:
            FUnits = DimensionUnitOfToken(Parser->NextToken(), *this);
            break;
        case eTok_capacitance_resolution:
            ReadSection(*FCapacitance);
            break;
        case eTok_conductance_resolution:
            ReadSection(*FConductance);
            break;
        case eTok_current_resolution:
            ReadSection(*FCurrent);
            break;
        case eTok_inductance_resolution:
            ReadSection(*FInductance);
            break;
        case eTok_resistance_resolution:
            ReadSection(*FResistance);
            break;
        case eTok_time_resolution:
            ReadSection(*FTime);
            break;
        case eTok_voltage_resolution:
            ReadSection(*FVoltage);
            break;
        case eTok_structure:
            ReadSection(FStructure ? *FStructure : *CreateStructureDescriptor());
            break;
        case eTok_placement:
            if (!FPlacement)
                FPlacement = std::make_unique<TSpecctraPlacementDescriptor>(this);
            ReadSection(*FPlacement);
            break;
        case eTok_library:
            ReadSection(FLibrary ? *FLibrary : *CreateLibraryDescriptor());
            break;
        case eTok_network:
            ReadSection(FNetwork ? *FNetwork : *CreateNetworkDescriptor());
            break;
        case eTok_floor_plan:
            if (!FFloorPlan)
                FFloorPlan = std::make_unique<TSpecctraFloorPlanDescriptor>(this);
            ReadSection(*FFloorPlan);
            break;
        case eTok_part_library:
            if (!FPartLibrary)
                FPartLibrary = std::make_unique<TSpecctraPartLibraryDescriptor>(this);
            ReadSection(*FPartLibrary);
            break;
        case eTok_wiring:
            if (!FWiring) {
                FWiring = std::make_unique<TSpecctraDSNWiringDescriptor>(this);
                FWiring->SetReadAgainFromText(FWiringReadAgain, FWiringReadAgainFromBytes,
                                              FWiringPieceBytes);
            }
            ReadSection(*FWiring);
            break;
        case eTok_colors:
            ReportEvent("Custom color settings are not supported and not loaded.");
            ImportUnknownBlock();
            break;
        case eTok_file:
            ReadIncludedFile();
            break;
        default:
            if (token > 0 && token < eTok_OpenParen)
                ImportUnknownBlock(); // a keyword no section handles
            else
                HandleStructureToken();
            break;
        }
    }
    if (Parser->Aborted())
        ReportFinalWarning("Reading aborted by the user in line " +
                           std::to_string(Parser->LineNumber()) +
                           "; the design is imported as far as it was read.");
    return true;
}

bool TSpecctraDesign::ExportToPCB() {
    // Rules of an earlier import go before the sections make new ones.
    GetRuleCollection()->ClearBoardRules();
    FParserSection->ExportToPCB();
    if (FStructure)
        FStructure->ExportToPCB();
    if (FNetwork)
        FNetwork->ExportToPCB();
    else
        ReportError("Netlist not loaded, can't export to PCB.");
    if (FLibrary)
        FLibrary->ExportToPCB();
    else
        ReportError("Library not loaded, can't export to PCB.");
    if (FPlacement)
        FPlacement->ExportToPCB();
    GetRuleCollection()->ExportToPCB();
    // The placed components are on the board and their rules written: their
    // memory, and that of the pins' net look-ups, goes to the wiring's board
    // records.
    if (FPlacement)
        FPlacement->ReleaseInstances();
    if (FNetwork)
        FNetwork->ReleasePins();
    if (FWiring)
        FWiring->ExportToPCB();
    Board::FinishProgress();
    return true;
}
