// Walks over the board's objects: an engine iterator over the objects of a
// kind (on a layer, under a filter) handing each to a visitor, and the kind
// of an object.
#include "board/Pcbclass.h"

#include "board/PCBProcs.h"

#include <vector>

namespace {
namespace P = PCBProcs;

// An engine iterator, destroyed with its scope.
class TIterator {
public:
    TIterator(intptr_t board, TObjectId kind, intptr_t filter, TV6_Layer layer)
        : handle_(P::PcbApi_CreateIterator(board, kind, filter, layer)) {}
    ~TIterator() {
        if (handle_ != 0)
            P::PcbApi_DestroyIterator(handle_);
    }
    TIterator(const TIterator&) = delete;
    TIterator& operator=(const TIterator&) = delete;

    int Walk(const TObjectVisitor& visit) {
        if (handle_ == 0)
            return 0;
        int visited = 0;
        for (intptr_t object = P::PcbApi_GetFirstObject(handle_); object != 0;
             object = P::PcbApi_GetNextObject(handle_)) {
            ++visited;
            if (!visit(object))
                break;
        }
        return visited;
    }

private:
    intptr_t handle_;
};

} // namespace

int ProcessItems(intptr_t board, TObjectId kind, const TObjectVisitor& visit, intptr_t filter,
                 TV6_Layer layer) {
    TIterator iterator(board, kind, filter, layer);
    return iterator.Walk(visit);
}

int ProcessItemsOnLayers(intptr_t board, TObjectId kind, const TV6_LayerSet& layers,
                         const TObjectVisitor& visit, intptr_t filter) {
    int visited = 0;
    bool stopped = false;
    for (TV6_Layer layer : layers.Layers()) {
        if (layer == eV6_NoLayer)
            continue; // layer 0 would mean every layer
        TIterator iterator(board, kind, filter, layer);
        visited += iterator.Walk([&](intptr_t object) {
            if (!visit(object)) {
                stopped = true;
                return false;
            }
            return true;
        });
        if (stopped)
            break;
    }
    return visited;
}

std::vector<intptr_t> CollectItems(intptr_t board, TObjectId kind, intptr_t filter,
                                   TV6_Layer layer) {
    std::vector<intptr_t> handles;
    ProcessItems(
        board, kind,
        [&](intptr_t object) {
            handles.push_back(object);
            return true;
        },
        filter, layer);
    return handles;
}

TObjectId GetObjectKind(intptr_t object) {
    const int32_t kind = P::PcbApi_GetObjectIdFromObjectHandle(object);
    return kind >= eIgnoreObject && kind <= eBoardOutlineObject ? static_cast<TObjectId>(kind)
                                                                : eIgnoreObject;
}
