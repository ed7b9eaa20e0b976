// The netlist service of the engine: primitives without a net that touch a
// pad with a net take that net, and pass it on to the net-less primitives
// that touch them in turn. The copper and its grid are the rule check's
// (Connectivity.h), so the whole update costs about the number of objects.
#include "sdk/CorvaneEngine.h"

#include "engine/Connectivity.h"
#include "engine/Model.h"

#include <algorithm>
#include <deque>
#include <vector>

using namespace corvane;

extern "C" int32_t Corvane_UpdateFreePrimitiveNets(CorvaneBoard board) {
    Store& s = Store::Get();
    const uint32_t boardSlot = s.BoardSlot(board);
    if (boardSlot == kNone)
        return -1;
    BoardRec& b = s.BoardAt(boardSlot);
    Copper copper(boardSlot, false);
    const size_t count = copper.objects.size();
    // The pieces of an object lie together.
    std::vector<uint32_t> firstPiece(count + 1, static_cast<uint32_t>(copper.pieces.size()));
    for (uint32_t i = static_cast<uint32_t>(copper.pieces.size()); i-- > 0;)
        firstPiece[copper.pieces[i].object] = i;
    for (size_t i = count; i-- > 0;)
        firstPiece[i] = std::min(firstPiece[i], firstPiece[i + 1]);

    // Breadth first from the netted pads through the net-less tracks, arcs,
    // vias and fills.
    auto takesNet = [&](const CopperObject& o) {
        return o.net == kNone && o.role == CopperRole::kCopper &&
               (o.kind == kTrack || o.kind == kArc || o.kind == kVia || o.kind == kFill);
    };
    std::vector<uint32_t> netOf(count, kNone);
    std::deque<uint32_t> queue;
    for (uint32_t i = 0; i < count; ++i)
        if (copper.objects[i].kind == kPad && copper.objects[i].net != kNone) {
            netOf[i] = copper.objects[i].net;
            queue.push_back(i);
        }
    int32_t updated = 0;
    while (!queue.empty()) {
        const uint32_t i = queue.front();
        queue.pop_front();
        for (uint32_t p = firstPiece[i]; p < firstPiece[i + 1]; ++p)
            copper.Near(p, kTouch, [&](uint32_t q) {
                const uint32_t j = copper.pieces[q].object;
                if (netOf[j] != kNone || !takesNet(copper.objects[j]) ||
                    !copper.pieces[p].layers.Meets(copper.pieces[q].layers) ||
                    copper.Distance(copper.pieces[p], copper.pieces[q]).distance > kTouch)
                    return;
                netOf[j] = netOf[i];
                s.SetNet(copper.objects[j].slot, netOf[i]);
                ++updated;
                queue.push_back(j);
            });
    }
    if (updated)
        b.modified = true;
    return updated;
}
