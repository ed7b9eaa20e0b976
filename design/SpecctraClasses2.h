// The roots of a Specctra file and its sections: the common file root, the
// design root of a .dsn file, the section base and the parser section with the
// design's constants.
#pragma once

#include "design/SpecctraResolution.h"
#include "specctra/SpecctraClasses1.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class TIncludedFiles;
class TReportManager;

// Base of every file section: owns the section's dimension resolution.
class TSpecctraFileSectionDescriptor : public TSpecctraObject {
public:
    explicit TSpecctraFileSectionDescriptor(TSpecctraObject* owner);
    ~TSpecctraFileSectionDescriptor() override;
    const char* ClassName() const override { return "TSpecctraFileSectionDescriptor"; }

    // Reads the current "resolution" block into the section's dimension
    // resolution and closes one nesting level of the section.
    bool ImportFromFile_DimensionResolution();
    TDimensionResolutionDescriptor* DimensionResolution() const {
        return FDimensionResolution.get();
    }

private:
    std::unique_ptr<TDimensionResolutionDescriptor> FDimensionResolution;
};

// Sections whose blocks are read by their own readers as the model grows; until
// a reader handles a block, the object base skips it with a warning.
#define DSNLINK_SECTION_CLASS(NAME, BASE)                                                          \
    class NAME : public BASE {                                                                     \
    public:                                                                                        \
        explicit NAME(TSpecctraObject* owner) : BASE(owner) {}                                     \
        const char* ClassName() const override { return #NAME; }                                   \
    };

DSNLINK_SECTION_CLASS(TSpecctraAbstractStructureDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraDSNStructureDescriptor, TSpecctraAbstractStructureDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraRTEStructureDescriptor, TSpecctraAbstractStructureDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraPlacementDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraFloorPlanDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraPartLibraryDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraAbstractNetworkDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraDsnNetworkDescriptor, TSpecctraAbstractNetworkDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraRteNetworkDescriptor, TSpecctraAbstractNetworkDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraTestpointsDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraAbstractWiringDescriptor, TSpecctraFileSectionDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraDSNWiringDescriptor, TSpecctraAbstractWiringDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraAbstractLibraryDescriptor, TSpecctraObject)
DSNLINK_SECTION_CLASS(TSpecctraDSNLibraryDescriptor, TSpecctraAbstractLibraryDescriptor)
DSNLINK_SECTION_CLASS(TSpecctraRteLibraryDescriptor, TSpecctraAbstractLibraryDescriptor)
#undef DSNLINK_SECTION_CLASS

// The "parser" section: quoting, host CAD and the design's constants, which
// are kept in the board so that a later route or session export can write
// them back.
class TSpecctraParserDescriptor : public TSpecctraFileSectionDescriptor {
public:
    enum TRoutesInclude : uint8_t {
        eIncludeTestpoint = 1,
        eIncludeGuides = 2,
        eIncludeImageConductor = 4
    };

    explicit TSpecctraParserDescriptor(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraParserDescriptor"; }

    char StringQuote = 0;
    bool SpaceInQuotedTokens = false;
    std::string HostCad;
    std::string HostVersion;
    std::vector<std::pair<std::string, std::string>> Constants;
    uint8_t RoutesInclude = 0;
    bool WiresInclude = false;
    bool CaseSensitive = false;
    bool ViaRotateFirst = true;

    bool ImportFromFile() override;
    // Stores the constants in the board as one "CONSTANTS" record.
    bool ExportToPCB() override;
    // Reads the stored constants back from the board.
    bool ImportFromPcb() override;
    // Writes "(parser" with one "(constant name value)" line a constant.
    bool ExportToFile() override;

private:
    bool ReadRoutesInclude();
};

// The common root of a Specctra file: its name, parser or writer, board and
// the four sections every file kind shares.
class TSpecctraFile : public TSpecctraObject {
public:
    TSpecctraFile(const std::string& fileName, TSpecctraParser* parser, TSpecctraWriter* writer,
                  intptr_t board);
    ~TSpecctraFile() override;
    const char* ClassName() const override { return "TSpecctraFile"; }

    intptr_t GetBoard() override { return FBoard; }
    TSpecctraRuleCollection* GetRuleCollection() override;

    virtual TSpecctraAbstractStructureDescriptor* CreateStructureDescriptor() = 0;
    virtual TSpecctraAbstractLibraryDescriptor* CreateLibraryDescriptor() = 0;
    virtual TSpecctraAbstractNetworkDescriptor* CreateNetworkDescriptor() = 0;

    const std::string& FileName() const { return FFileName; }
    TSpecctraParserDescriptor* ParserSection() const { return FParserSection.get(); }
    TSpecctraAbstractStructureDescriptor* Structure() const { return FStructure.get(); }
    TSpecctraAbstractLibraryDescriptor* Library() const { return FLibrary.get(); }
    TSpecctraAbstractNetworkDescriptor* Network() const { return FNetwork.get(); }

protected:
    intptr_t FBoard;
    std::string FFileName;
    std::unique_ptr<TSpecctraRuleCollection> FRules;
    std::unique_ptr<TSpecctraParserDescriptor> FParserSection;
    std::unique_ptr<TSpecctraAbstractStructureDescriptor> FStructure;
    std::unique_ptr<TSpecctraAbstractLibraryDescriptor> FLibrary;
    std::unique_ptr<TSpecctraAbstractNetworkDescriptor> FNetwork;
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
    TDimensionResolutionDescriptor* DimensionResolution() const { return FDimension.get(); }
    TSpecctraPlacementDescriptor* Placement() const { return FPlacement.get(); }
    TSpecctraDSNWiringDescriptor* Wiring() const { return FWiring.get(); }
    TSpecctraFloorPlanDescriptor* FloorPlan() const { return FFloorPlan.get(); }
    TSpecctraPartLibraryDescriptor* PartLibrary() const { return FPartLibrary.get(); }

private:
    // Lets a section read its block, then closes the level the design counted.
    bool ReadSection(TSpecctraObject& section);
    void ReadIncludedFile();

    int FUncaughtAtCreation = 0;
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
