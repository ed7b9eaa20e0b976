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
