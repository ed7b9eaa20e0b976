// The roots of the files written from a routed board: the route file (.rte)
// and the session file (.ses), with the route-file kinds of the structure,
// library and network sections and the session's component placement.
#pragma once

#include "board/BoardFacade.h"
#include "design/LibrarySection.h"
#include "design/NetworkSection.h"
#include "design/SpecctraClasses2.h"
#include "design/SpecctraWiring.h"
#include "design/StructureSection.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TReportManager;

// The structure of a route file: the stored board offset and the board's
// layer stack. Written as an empty "structure_out" block.
class TSpecctraRTEStructureDescriptor : public TSpecctraAbstractStructureDescriptor {
public:
    explicit TSpecctraRTEStructureDescriptor(TSpecctraObject* owner)
        : TSpecctraAbstractStructureDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraRTEStructureDescriptor"; }

    bool ImportFromPcb() override;
    bool ExportToFile() override;

    // The stored board offset, as read.
    double StoredOffsetX = 0.0;
    double StoredOffsetY = 0.0;

private:
    void ReadBoardOffset();
};

// The library of a route file: the padstacks stored in the board at design
// import, written back as "library_out".
class TSpecctraRteLibraryDescriptor : public TSpecctraAbstractLibraryDescriptor {
public:
    explicit TSpecctraRteLibraryDescriptor(TSpecctraObject* owner)
        : TSpecctraAbstractLibraryDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraRteLibraryDescriptor"; }

    // "PadstackList" gives the count S; every "PADSTACK" record with an
    // index from 0 to S loads one padstack.
    bool ImportFromPcb() override;
    bool ExportToFile() override;
};

// The network of a route file: one routed net per board net, in name order
// (by byte value); a second net of a name already there is dropped.
class TSpecctraRteNetworkDescriptor : public TSpecctraAbstractNetworkDescriptor {
public:
    explicit TSpecctraRteNetworkDescriptor(TSpecctraObject* owner);
    ~TSpecctraRteNetworkDescriptor() override;
    const char* ClassName() const override { return "TSpecctraRteNetworkDescriptor"; }

    bool ImportFromPcb() override;
    bool ExportToFile() override;

    // The routed nets in name order.
    const std::vector<std::unique_ptr<TSpecctraRoutedNet>>& RoutedNets() const { return FNets; }
    // The via numbers stored in the board, read once for every net.
    const TTaggedVias& StoredViaTags() const { return FStoredViaTags; }

private:
    TTaggedVias FStoredViaTags;
    std::vector<Board::TPlaneNet> FPlanes;
    std::vector<std::unique_ptr<TSpecctraRoutedNet>> FNets;
};

// The placement of a session file: components by footprint (names compared
// without regard to case), then by designator (with regard to case).
class TOutComponentPlacementDescriptor : public TSpecctraObject {
public:
    struct TPlacement {
        std::string Designator;
        int32_t X = 0;
        int32_t Y = 0;
        bool Back = false;
        double Rotation = 0.0;
    };
    struct TCaseless {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using TByDesignator = std::map<std::string, TPlacement>;
    using TByFootprint = std::map<std::string, TByDesignator, TCaseless>;

    explicit TOutComponentPlacementDescriptor(TSpecctraObject* owner) : TSpecctraObject(owner) {}
    const char* ClassName() const override { return "TOutComponentPlacementDescriptor"; }

    bool ImportFromPcb() override;
    bool ExportToFile() override;
    void AddPlacement(const std::string& footprint, TPlacement placement);
    const TByFootprint& Footprints() const { return FFootprints; }

private:
    TByFootprint FFootprints;
};

// The report of a route or session export: the file's whole name followed by
// ".rpt" (x.rte gives x.rte.rpt), so that it never replaces the report of
// the design import (x.dsn gives x.rpt) nor that of the other export.
std::string ExportReportName(const std::string& fileName);

// The root of a route file.
class TSpecctraRoutes : public TSpecctraFile {
public:
    TSpecctraRoutes(const std::string& fileName, TSpecctraParser* parser, TSpecctraWriter* writer,
                    intptr_t board);
    // Stops the report manager and writes the report (when reports are enabled).
    ~TSpecctraRoutes() override;
    const char* ClassName() const override { return "TSpecctraRoutes"; }

    TSpecctraAbstractStructureDescriptor* CreateStructureDescriptor() override;
    TSpecctraAbstractLibraryDescriptor* CreateLibraryDescriptor() override;
    TSpecctraAbstractNetworkDescriptor* CreateNetworkDescriptor() override;

    // Board to model: constants, board offset, layers, stored padstacks, nets
    // with their tracks and vias, test points.
    bool ImportFromPcb() override;
    // The "(routes" block.
    bool ExportToFile() override;

    void SetReportEnabled(bool enabled);
    // Also gives the report its viewer.
    void SetServices(const THostServices& services) override;
    TReportManager* Report() const { return FReportManager.get(); }
    TSpecctraTestpointsDescriptor* TestPoints() const { return FTestPoints.get(); }
    // The name the board gives a layer, as a route file writes it (quoted
    // when it holds a blank); asked once a layer.
    const std::string& HostLayerName(int32_t layer);

protected:
    void RegisterRuleReaders(TSpecctraRuleCollection& rules) override;

    int FUncaughtAtCreation = 0;
    std::unique_ptr<TReportManager> FReportManager;
    std::unique_ptr<TDimensionResolutionDescriptor> FDimension;
    std::unique_ptr<TSpecctraTestpointsDescriptor> FTestPoints;
    std::array<std::string, 256> FLayerNames;
    std::array<bool, 256> FLayerNameKnown{};
};

// The root of a session file: the route file with the component placement.
class TSpecctraSessionFile : public TSpecctraRoutes {
public:
    TSpecctraSessionFile(const std::string& fileName, TSpecctraParser* parser,
                         TSpecctraWriter* writer, intptr_t board);
    ~TSpecctraSessionFile() override;
    const char* ClassName() const override { return "TSpecctraSessionFile"; }

    bool ImportFromPcb() override;
    // "(session" with the base design, the placement and the routes.
    bool ExportToFile() override;

    TOutComponentPlacementDescriptor* Placement() const { return FPlacement.get(); }
    // The file name with every blank replaced by an underscore.
    std::string SessionName() const;

private:
    std::unique_ptr<TOutComponentPlacementDescriptor> FPlacement;
};
