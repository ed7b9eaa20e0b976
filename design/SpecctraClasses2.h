// The roots of a Specctra file: the common file root and the design root of a
// .dsn file, with every section they hold.
#pragma once

#include "design/FileSection.h"
#include "design/LibrarySection.h"
#include "design/NetworkSection.h"
#include "design/ParserSection.h"
#include "design/PlacementSection.h"
#include "design/SpecctraResolution.h"
#include "design/SpecctraWiring.h"
#include "design/StructureSection.h"
#include "specctra/SpecctraClasses1.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class TIncludedFiles;
class TReportManager;

// The common root of a Specctra file: its name, parser or writer, board and
// the four sections every file kind shares.
class TSpecctraFile : public TSpecctraObject {
public:
    TSpecctraFile(const std::string& fileName, TSpecctraParser* parser, TSpecctraWriter* writer,
                  intptr_t board);
    ~TSpecctraFile() override;
    const char* ClassName() const override { return "TSpecctraFile"; }
    bool IsFileRoot() const override { return true; }

    intptr_t GetBoard() override { return FBoard; }
    TSpecctraRuleCollection* GetRuleCollection() override;
    // The net of that name from the network section, or none.
    TSpecctraObject* Get_NetByName(const std::string& name) override;
    // The layer of that name from the structure's layer stack, or none.
    TSpecctraObject* Get_LayerByName(const std::string& name) override;

    virtual TSpecctraAbstractStructureDescriptor* CreateStructureDescriptor() = 0;
    virtual TSpecctraAbstractLibraryDescriptor* CreateLibraryDescriptor() = 0;
    virtual TSpecctraAbstractNetworkDescriptor* CreateNetworkDescriptor() = 0;

    const std::string& FileName() const { return FFileName; }
    TSpecctraParserDescriptor* ParserSection() const { return FParserSection.get(); }
    TSpecctraAbstractStructureDescriptor* Structure() const { return FStructure.get(); }
    TSpecctraAbstractLibraryDescriptor* Library() const { return FLibrary.get(); }
    TSpecctraAbstractNetworkDescriptor* Network() const { return FNetwork.get(); }

protected:
    // Members are destroyed bottom up: the rules, which refer to objects of
    // the sections, go first.
    intptr_t FBoard;
    std::string FFileName;
    std::unique_ptr<TSpecctraParserDescriptor> FParserSection;
    std::unique_ptr<TSpecctraAbstractStructureDescriptor> FStructure;
    std::unique_ptr<TSpecctraAbstractLibraryDescriptor> FLibrary;
    std::unique_ptr<TSpecctraAbstractNetworkDescriptor> FNetwork;
    std::unique_ptr<TSpecctraRuleCollection> FRules;
};

// The root of a design file (.dsn): recognises the "pcb" block, hands each
// top-level block to its section and writes the design to the board.
class TSpecctraDesign : public TSpecctraFile {
public:
    TSpecctraDesign(const std::string& fileName, TSpecctraParser* parser, TSpecctraWriter* writer,
                    intptr_t board);
    // Writes the report (when reports are enabled).
    ~TSpecctraDesign() override;
    const char* ClassName() const override { return "TSpecctraDesign"; }

    TSpecctraAbstractStructureDescriptor* CreateStructureDescriptor() override;
    TSpecctraAbstractLibraryDescriptor* CreateLibraryDescriptor() override;
    TSpecctraAbstractNetworkDescriptor* CreateNetworkDescriptor() override;

    // True when the file is a design file (even if blocks in it reported
    // errors); false when it is not.
    bool ImportFromFile() override;
    bool ExportToPCB() override;

    TReportManager* Report() const { return FReportManager.get(); }
    // Whether freeing the design writes and shows its report (the command
    // flag of the translation that made it).
    void SetReportEnabled(bool enabled);
    // How the wiring holds its wires and vias until the board is written:
    // off, kept whole; on, read again from files of at least `fromBytes`,
    // their text copied in pieces of `pieceBytes` (see
    // TSpecctraDSNWiringDescriptor). Set before reading.
    void
    SetWiringReadAgain(bool on,
                       std::size_t fromBytes = TSpecctraDSNWiringDescriptor::kReadAgainFromBytes,
                       std::size_t pieceBytes = TSpecctraDSNWiringDescriptor::kPieceBytes) {
        FWiringReadAgain = on;
        FWiringReadAgainFromBytes = fromBytes;
        FWiringPieceBytes = pieceBytes;
    }
    TDimensionResolutionDescriptor* DimensionResolution() const { return FDimension.get(); }
    TSpecctraPlacementDescriptor* Placement() const { return FPlacement.get(); }
    TSpecctraDSNWiringDescriptor* Wiring() const { return FWiring.get(); }
    TSpecctraFloorPlanDescriptor* FloorPlan() const { return FFloorPlan.get(); }
    TSpecctraPartLibraryDescriptor* PartLibrary() const { return FPartLibrary.get(); }

private:
    // Lets a section read its block, then closes the level the design counted.
    bool ReadSection(TSpecctraObject& section);
    void ReadIncludedFile();

    // Members are destroyed bottom up, after the destructor has written the
    // report: the sections first, the report manager last.
    int FUncaughtAtCreation = 0;
    bool FWiringReadAgain = true;
    std::size_t FWiringReadAgainFromBytes = TSpecctraDSNWiringDescriptor::kReadAgainFromBytes;
    std::size_t FWiringPieceBytes = TSpecctraDSNWiringDescriptor::kPieceBytes;
    std::unique_ptr<TIncludedFiles> FIncludedFiles;
    std::unique_ptr<TReportManager> FReportManager;
    std::unique_ptr<TCapacitanceResolutionDescriptor> FCapacitance;
    std::unique_ptr<TConductanceResolutionDescriptor> FConductance;
    std::unique_ptr<TCurrentResolutionDescriptor> FCurrent;
    std::unique_ptr<TInductanceResolutionDescriptor> FInductance;
    std::unique_ptr<TResistanceResolutionDescriptor> FResistance;
    std::unique_ptr<TDimensionResolutionDescriptor> FDimension;
    std::unique_ptr<TVoltageResolutionDescriptor> FVoltage;
    std::unique_ptr<TTimeResolutionDescriptor> FTime;
    std::unique_ptr<TSpecctraPlacementDescriptor> FPlacement;
    std::unique_ptr<TSpecctraFloorPlanDescriptor> FFloorPlan;
    std::unique_ptr<TSpecctraPartLibraryDescriptor> FPartLibrary;
    std::unique_ptr<TSpecctraDSNWiringDescriptor> FWiring;
};
