// The root of a design file (.dsn): the composition of every section of a
// design, which it makes, reads block by block and writes to the board.
#pragma once

#include "design/LibrarySection.h"
#include "design/NetworkSection.h"
#include "design/PlacementSection.h"
#include "design/SpecctraClasses2.h"
#include "design/SpecctraResolution.h"
#include "design/SpecctraWiring.h"
#include "design/StructureSection.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

class TIncludedFiles;
class TReportManager;

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
    // Also gives the report its viewer.
    void SetServices(const THostServices& services) override;
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
    TSpecctraDSNLibraryDescriptor* DesignLibrary() const override;
    std::optional<bool> PlacesComponent(const std::string& reference) const override;

protected:
    void RegisterRuleReaders(TSpecctraRuleCollection& rules) override;

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
