// Pads whose true copper the per-layer entries cannot hold keep an outline
// beside their record (ObjectExtras::outline): here it is shared between the
// pads of one shape, placed on the board, and kept in a document.
#pragma once

#include "engine/Connectivity.h"
#include "engine/Model.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The entry of a pad's per-layer table that holds its copper on `layer`: a
// simple pad (mode 0) has one entry for all layers, a top-middle-bottom pad
// (mode 1) the top, the bottom and one middle entry, a full stack its own.
inline int32_t PadEntryLayer(int32_t mode, int32_t layer) {
    if (mode == 0)
        return kTopLayer;
    if (mode == 1)
        return layer == kTopLayer || layer == kBottomLayer ? layer : 2;
    return layer;
}

// The one outline of this content, made once for every pad that has it.
std::shared_ptr<const PadOutline> SharedPadOutline(PadOutline outline);

// The piece's points on the board for a pad at (x, y) turned by `angle`
// degrees (mirrored first when `mirrored`).
std::vector<Point> PlacedPiece(const PadOutlinePiece& piece, double x, double y, double angle,
                               bool mirrored);

// The outlines of a board's pads as a document keeps them: each distinct
// outline once, then for every pad with one its document id, the outline's
// number and whether it is mirrored.
struct KeptPadOutline {
    int64_t id = 0;
    std::shared_ptr<const PadOutline> outline;
    bool mirrored = false;
};
std::string PackPadOutlines(const std::vector<KeptPadOutline>& pads);
// False for bytes that are not such a record (cut short, counts beyond it).
bool UnpackPadOutlines(std::string_view bytes, std::vector<KeptPadOutline>& pads);

} // namespace corvane
