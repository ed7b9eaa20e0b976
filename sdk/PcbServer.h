// The host's PCB server as the plug-in sees it: board interfaces by handle or
// by document path, batches of board changes, board feature switches, numbered
// board messages and the object factory for keep-out regions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace HostSdk {

// Board messages understood by the host.
inline constexpr int32_t kBoardMessage_PolygonCreated = 2;
inline constexpr int32_t kBoardMessage_BeginImport = 14;

class IPCB_Board {
public:
    virtual ~IPCB_Board() = default;
    // The engine's handle of this board (PcbApi_ entry points take it).
    virtual intptr_t BoardHandle() const = 0;
    virtual std::string FileName() const = 0;
    // Switches a named board feature ("Polygon", "DRC") on or off. An unknown
    // name raises.
    virtual void SetFeatureEnabled(const std::string& feature, bool enabled) = 0;
    virtual bool IsFeatureEnabled(const std::string& feature) const = 0;
    // Sends the board a numbered message with an object handle as its data.
    virtual void SendMessage(int32_t message, intptr_t object) = 0;
    // Redraws the board's views.
    virtual void RefreshView() = 0;
};

struct TRegionPoint {
    int32_t x = 0;
    int32_t y = 0;
};

enum class TRegionKind : int32_t { eRegion_Copper = 0, eRegion_Cutout = 1, eRegion_Keepout = 2 };

class IPCB_ServerInterface {
public:
    virtual ~IPCB_ServerInterface() = default;
    // Board interfaces stay owned by the host; null when there is none.
    virtual IPCB_Board* GetPCBBoardByBoardHandle(intptr_t board) = 0;
    virtual IPCB_Board* GetPCBBoardByPath(const std::string& path) = 0;
    virtual IPCB_Board* GetCurrentPCBBoard() = 0;
    // A batch of board changes: changes between the two calls are applied
    // together. Calls nest.
    virtual void PreProcess() = 0;
    virtual void PostProcess() = 0;
    // Makes a region of `kind` on `layer` with the main contour `contour`, not
    // yet added to a board; answers the new object's handle, 0 when the host
    // cannot make one.
    virtual intptr_t CreateRegion(intptr_t board, TRegionKind kind, int32_t layer, bool keepout,
                                  const std::vector<TRegionPoint>& contour) = 0;
};

} // namespace HostSdk
