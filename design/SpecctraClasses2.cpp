#include "design/SpecctraClasses2.h"

#include "board/PCBProcs.h"
#include "board/Pcbclass.h"
#include "design/IncludedFile.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <exception>

namespace {

// "C" followed by the decimal index: the key of a stored constant.
std::string ConstantKey(std::size_t index) {
    std::string key(1, 'C');
    key.append(std::to_string(index));
    return key;
}

} // namespace

// ---------------------------------------------------------------------------
// TSpecctraFileSectionDescriptor

TSpecctraFileSectionDescriptor::TSpecctraFileSectionDescriptor(TSpecctraObject* owner)
    : TSpecctraObject(owner),
      FDimensionResolution(std::make_unique<TDimensionResolutionDescriptor>(this)) {}

TSpecctraFileSectionDescriptor::~TSpecctraFileSectionDescriptor() = default;

bool TSpecctraFileSectionDescriptor::ImportFromFile_DimensionResolution() {
    if (!FDimensionResolution)
        FDimensionResolution = std::make_unique<TDimensionResolutionDescriptor>(this);
    FDimensionResolution->SectionsOpen = 1;
    const bool result = FDimensionResolution->ImportFromFile();
    --SectionsOpen;
    return result;
}

// ---------------------------------------------------------------------------
// TSpecctraParserDescriptor

TSpecctraParserDescriptor::TSpecctraParserDescriptor(TSpecctraObject* owner)
    : TSpecctraFileSectionDescriptor(owner) {}

bool TSpecctraParserDescriptor::ImportFromFile() {
    bool result = true;
    SectionsOpen = 1;
    while (SectionsOpen > 0 && !StopParsing()) {
        switch (Parser->NextToken()) {
        case eTok_string_quote: {
            // The scanner takes the next character as the quote character and
            // hands it over as the token's text. A parenthesis cannot quote:
            // it keeps its place in the block structure.
            const int32_t quote = Parser->NextToken();
            if (quote == eTok_OpenParen || quote == eTok_CloseParen) {
                ReportError("string_quote without a quote character in line " +
                            std::to_string(Parser->LineNumber()) + "; the quote character stays " +
                            std::string(1, Parser->QuoteChar()) + ".");
                SectionsOpen += quote == eTok_OpenParen ? 1 : -1;
                result = false;
                break;
            }
            StringQuote =
                Parser->TokenString().empty() ? Parser->QuoteChar() : Parser->TokenString()[0];
            if (StringQuote != '"' && StringQuote != '$' && StringQuote != '\'')
                ReportWarning("Recommended quote chars are: '', \" , $.");
            break;
        }
        case eTok_space_in_quoted_tokens:
            SpaceInQuotedTokens = Parser->NextToken() == eTok_on;
            break;
        case eTok_wires_include:
            WiresInclude = Parser->NextToken() == eTok_on;
            break;
        case eTok_case_sensitive:
            CaseSensitive = Parser->NextToken() == eTok_on;
            break;
        case eTok_via_rotate_first:
            ViaRotateFirst = Parser->NextToken() == eTok_on;
            break;
        case eTok_host_cad:
            Parser->NextString(HostCad);
            break;
        case eTok_host_version:
            Parser->NextString(HostVersion);
            break;
        case eTok_constant: {
            std::string name = Parser->NextString();
            std::string value = Parser->NextString();
            Constants.emplace_back(std::move(name), std::move(value));
            break;
        }
        case eTok_routes_include:
            result = ReadRoutesInclude() && result;
            break;
        case eTok_write_resolution:
            result = ImportFromFile_DimensionResolution() && result;
            break;
        default:
            if (!HandleStructureToken())
                result = false;
            break;
        }
    }
    return result;
}

bool TSpecctraParserDescriptor::ReadRoutesInclude() {
    bool result = true;
    while (!StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_CloseParen) {
            --SectionsOpen;
            break;
        }
        if (token == eTok_testpoint)
            RoutesInclude |= eIncludeTestpoint;
        else if (token == eTok_guides)
            RoutesInclude |= eIncludeGuides;
        else if (token == eTok_image_conductor)
            RoutesInclude |= eIncludeImageConductor;
        else {
            Parser->ReportUnexpectedToken();
            result = false;
        }
    }
    return result;
}

bool TSpecctraParserDescriptor::ExportToPCB() {
    if (Constants.empty())
        return true;
    // Names and values are escaped: a "|", "=", carriage return or NUL in
    // them would otherwise cut or split the record.
    std::string name = "Server=Ravel|Type=CONSTANTS|CONSTCOUNT=" + std::to_string(Constants.size());
    for (std::size_t i = 0; i < Constants.size(); ++i)
        name.append("|")
            .append(ConstantKey(i))
            .append("=")
            .append(EscapeStoredText(Constants[i].first))
            .append("\r")
            .append(EscapeStoredText(Constants[i].second));
    if (name.size() >= PCBAPI_TEXT_CAPACITY) {
        ReportError("The design's constants are too long to be stored in the board (" +
                    std::to_string(name.size()) + " characters).");
        return true;
    }
    const intptr_t handle = PCBProcs::PcbApi_CreateObject(eEmbeddedObject);
    TPcbEmbedded record(handle);
    record.QueryDatabase(1);
    record.SetState_Name(name);
    record.SetState_Description("");
    record.QueryDatabase(0);
    TPcbBoard(GetBoard()).AddObject(handle);
    return true;
}

bool TSpecctraParserDescriptor::ImportFromPcb() {
    const intptr_t handle = FindEmbeddedObject(GetBoard(), "CONSTANTS");
    if (!handle)
        return true;
    TPcbEmbedded record(handle);
    record.QueryDatabase(1);
    TStoredParameters stored(record.GetState_Name());
    std::string text;
    int32_t count = 0;
    if (stored.Get("CONSTCOUNT", text))
        ConvertSpecctraInt(text, count);
    for (int32_t i = 0; i < count; ++i) {
        std::string entry;
        stored.Get(ConstantKey(static_cast<std::size_t>(i)), entry);
        const std::size_t cr = entry.find('\r');
        std::string name =
            UnescapeStoredText(cr == std::string::npos ? entry : entry.substr(0, cr));
        std::string value =
            cr == std::string::npos ? std::string() : UnescapeStoredText(entry.substr(cr + 1));
        if (name.empty() || value.empty()) {
            ReportError("Error reading stored constant from PCB design.");
            continue;
        }
        Constants.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool TSpecctraParserDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("(parser ", true);
    Writer->Indent(1);
    for (const auto& [name, value] : Constants)
        Writer->Writeln("(constant " + name + " " + value + ")", true);
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraFile

TSpecctraFile::TSpecctraFile(const std::string& fileName, TSpecctraParser* parser,
                             TSpecctraWriter* writer, intptr_t board)
    : TSpecctraObject(nullptr), FBoard(board), FFileName(fileName) {
    Parser = parser;
    Writer = writer;
    HarrowHandle = board;
    FParserSection = std::make_unique<TSpecctraParserDescriptor>(this);
}

TSpecctraFile::~TSpecctraFile() {
    // Rules refer to the sections' objects: free them first.
    FRules.reset();
    FNetwork.reset();
    FLibrary.reset();
    FStructure.reset();
    FParserSection.reset();
}

TSpecctraRuleCollection* TSpecctraFile::GetRuleCollection() {
    if (!FRules)
        FRules = std::make_unique<TSpecctraRuleCollection>(this);
    return FRules.get();
}

// ---------------------------------------------------------------------------
// TSpecctraDesign

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
    FCapacitance.reset();
    FConductance.reset();
    FCurrent.reset();
    FInductance.reset();
    FResistance.reset();
    FDimension.reset();
    FVoltage.reset();
    FTime.reset();
    FFloorPlan.reset();
    FPartLibrary.reset();
    FWiring.reset();
    FPlacement.reset();
    FRules.reset();
    FNetwork.reset();
    FLibrary.reset();
    FStructure.reset();
    if (Parser && Parser->ReportManager() == FReportManager.get())
        Parser->SetReportManager(nullptr);
    FReportManager->Stop();
    // A translation that ends by an exception leaves no report.
    if (std::uncaught_exceptions() > FUncaughtAtCreation)
        return;
    try {
        FReportManager->OutputReportFile();
    } catch (const std::exception& error) {
        // A destructor must not throw; the host still learns why.
        std::fprintf(stderr, "%s\n", error.what());
    }
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
            if (!FWiring)
                FWiring = std::make_unique<TSpecctraDSNWiringDescriptor>(this);
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
        ReportWarning("Reading aborted by the user in line " +
                      std::to_string(Parser->LineNumber()) +
                      "; the design is imported as far as it was read.");
    return true;
}

bool TSpecctraDesign::ExportToPCB() {
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
    if (FWiring)
        FWiring->ExportToPCB();
    PCBProcs::PcbApi_Percent_Finish();
    return true;
}
