// The PcbApi_ entry points over the board database. Every entry point checks
// its handles first (a stale, zero or foreign one gives the failure value) and
// validates a write before it changes anything.
#include "engine/PcbApiShared.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace corvane;
using namespace corvane::pcbapi;

extern "C" {

// ----------------------------------------------------------------- boards

intptr_t PcbApi_GetCurrentBoardHandle(void) {
    return S().Board(S().currentBoard) ? S().currentBoard : 0;
}

intptr_t PcbApi_GetBoardHandleFromFileName(const char* fileName) {
    if (!fileName)
        return 0;
    std::string name = GetText(fileName);
    uint32_t slot = S().FindBoardByFileName(name);
    if (slot == kNone)
        slot = S().FindBoardByFileName(AbsolutePath(name));
    return slot == kNone ? 0 : S().BoardHandle(slot);
}

int32_t PcbApi_QueryBoard(int32_t mode, intptr_t board, intptr_t* window, char* fileName,
                          int32_t* isLibrary, int32_t* originX, int32_t* originY, int32_t* cursorX,
                          int32_t* cursorY, int32_t* displayUnit, PcbApiDielectric* dielectricTop,
                          PcbApiDielectric* dielectricBottom, int32_t* currentLayer,
                          int32_t* drillGuideHoleSize, intptr_t* boardOutline) {
    BoardRec* b = S().Board(board);
    if (!b || !ValidMode(mode) ||
        !AllSet(window, fileName, isLibrary, originX, originY, cursorX, cursorY, displayUnit,
                dielectricTop, dielectricBottom, currentLayer, drillGuideHoleSize, boardOutline))
        return 0;
    Ex ex{IsRead(mode)};
    if (ex.read) {
        *window = 0;
        PutText(fileName, b->fileName);
        *isLibrary = b->isLibrary;
        *boardOutline = b->outline == kNone ? 0 : S().ObjectHandle(b->outline);
        PutDielectric(dielectricTop, b->dielTop);
        PutDielectric(dielectricBottom, b->dielBottom);
    } else {
        if (*currentLayer < 0 || *currentLayer >= kLayerCount || dielectricTop->Height < 0 ||
            dielectricBottom->Height < 0)
            return 0;
        b->dielTop = GetDielectric(dielectricTop);
        b->dielBottom = GetDielectric(dielectricBottom);
        b->modified = true;
    }
    ex(originX, b->originX);
    ex(originY, b->originY);
    ex(cursorX, b->cursorX);
    ex(cursorY, b->cursorY);
    ex(displayUnit, b->displayUnit);
    ex(currentLayer, b->currentLayer);
    ex(drillGuideHoleSize, b->drillGuideHoleSize);
    return 1;
}

int32_t PcbApi_QueryBoardGridsEx(int32_t mode, intptr_t board, double* snapGridUnit,
                                 double* bigVisibleGridUnit, double* visibleGridUnit,
                                 double* bigVisibleGridSize, double* visibleGridSize,
                                 double* snapGridSize, double* snapGridSizeX, double* snapGridSizeY,
                                 double* trackGridSize, double* viaGridSize,
                                 double* componentGridSize, double* componentGridSizeX,
                                 double* componentGridSizeY) {
    BoardRec* b = S().Board(board);
    double* fields[] = {snapGridUnit,       bigVisibleGridUnit, visibleGridUnit,
                        bigVisibleGridSize, visibleGridSize,    snapGridSize,
                        snapGridSizeX,      snapGridSizeY,      trackGridSize,
                        viaGridSize,        componentGridSize,  componentGridSizeX,
                        componentGridSizeY};
    if (!b || !ValidMode(mode))
        return 0;
    for (double* f : fields)
        if (!f)
            return 0;
    Ex ex{IsRead(mode)};
    for (size_t i = 0; i < b->grids.v.size(); ++i)
        ex(fields[i], b->grids.v[i]);
    if (!ex.read)
        b->modified = true;
    return 1;
}

// ----------------------------------------------------------------- layers

int32_t PcbApi_QueryLayer(int32_t mode, int32_t layerId, intptr_t board, char* name,
                          int32_t* copperThickness, PcbApiDielectric* dielectric,
                          int32_t* usedByPrims, int32_t* isDisplayed, int32_t* previousLayer,
                          int32_t* nextLayer, int32_t* mechanicalLayerEnabled) {
    LayerRec* l = LayerOf(board, layerId);
    if (!l || !ValidMode(mode) ||
        !AllSet(name, copperThickness, dielectric, usedByPrims, isDisplayed, previousLayer,
                nextLayer, mechanicalLayerEnabled))
        return 0;
    if (IsWrite(mode) && (*copperThickness < 0 || dielectric->Height < 0))
        return 0;
    BoardRec* b = S().Board(board);
    Ex ex{IsRead(mode)};
    ex.Text(name, l->name);
    ex(copperThickness, l->copperThickness);
    ex.Bool(isDisplayed, l->isDisplayed);
    ex.Bool(mechanicalLayerEnabled, l->mechanicalEnabled);
    if (ex.read) {
        PutDielectric(dielectric, l->dielectric);
        *usedByPrims = static_cast<int32_t>(b->byLayer[layerId].count);
        *previousLayer = l->prev;
        *nextLayer = l->next;
    } else {
        l->dielectric = GetDielectric(dielectric);
        b->modified = true;
    }
    return 1;
}

int32_t PcbApi_QueryInternalPlane(int32_t mode, int32_t layerId, intptr_t board, char* netName) {
    LayerRec* l = LayerOf(board, layerId);
    if (!l || layerId < 39 || layerId > 54 || !ValidMode(mode) || !netName)
        return 0;
    Ex ex{IsRead(mode)};
    ex.Text(netName, l->planeNet);
    if (!ex.read)
        S().Board(board)->modified = true;
    return 1;
}

static bool StackLayer(int32_t layer) {
    return (layer >= 1 && layer <= 32) || (layer >= 39 && layer <= 54);
}

int32_t PcbApi_InsertLayerInStack(intptr_t board, int32_t layerId, int32_t afterLayer) {
    BoardRec* b = S().Board(board);
    if (!b || !StackLayer(layerId) || !StackLayer(afterLayer))
        return 1;
    LayerRec& l = b->layers[layerId];
    LayerRec& a = b->layers[afterLayer];
    if (l.inStack || !a.inStack)
        return 1;
    l.prev = afterLayer;
    l.next = a.next;
    if (a.next != 0)
        b->layers[a.next].prev = layerId;
    a.next = layerId;
    l.inStack = true;
    b->modified = true;
    return 0;
}

int32_t PcbApi_RemoveLayerFromStack(intptr_t board, int32_t layerId) {
    BoardRec* b = S().Board(board);
    if (!b || !StackLayer(layerId))
        return 1;
    LayerRec& l = b->layers[layerId];
    if (!l.inStack || (l.prev == 0 && l.next == 0))
        return 1; // not there, or the last layer of the stack
    if (l.prev != 0)
        b->layers[l.prev].next = l.next;
    if (l.next != 0)
        b->layers[l.next].prev = l.prev;
    l.prev = l.next = 0;
    l.inStack = false;
    b->modified = true;
    return 0;
}

// ----------------------------------------------------------------- layer pairs

int32_t PcbApi_GetLayerPairCount(intptr_t board) {
    BoardRec* b = S().Board(board);
    return b ? static_cast<int32_t>(b->pairs.size()) : 0;
}

int32_t PcbApi_QueryLayerPair(int32_t mode, intptr_t board, int32_t pairIndex, char* name,
                              int32_t* v7LowLayer, int32_t* v7HighLayer, int32_t* drillDrawing,
                              int32_t* drillGuide, char* substackList, int32_t* isBackDrill) {
    BoardRec* b = S().Board(board);
    if (!b || !ValidMode(mode) || pairIndex < 0 ||
        pairIndex >= static_cast<int32_t>(b->pairs.size()) ||
        !AllSet(name, v7LowLayer, v7HighLayer, drillDrawing, drillGuide, substackList, isBackDrill))
        return 0;
    LayerPairRec& p = b->pairs[pairIndex];
    Ex ex{IsRead(mode)};
    ex.Text(name, p.name);
    ex(v7LowLayer, p.low);
    ex(v7HighLayer, p.high);
    ex.Bool(drillDrawing, p.drillDrawing);
    ex.Bool(drillGuide, p.drillGuide);
    ex.Text(substackList, p.substack);
    ex.Bool(isBackDrill, p.backDrill);
    if (!ex.read)
        b->modified = true;
    return 1;
}

int32_t PcbApi_AddLayerPair(intptr_t board, const char* name, int32_t v7LowLayer,
                            int32_t v7HighLayer) {
    BoardRec* b = S().Board(board);
    if (!b || v7LowLayer == v7HighLayer || v7LowLayer <= 0 || v7HighLayer <= 0)
        return 1;
    for (const auto& p : b->pairs)
        if (p.low == v7LowLayer && p.high == v7HighLayer)
            return 1;
    LayerPairRec p;
    p.name = name ? GetText(name) : std::string();
    p.low = v7LowLayer;
    p.high = v7HighLayer;
    b->pairs.push_back(std::move(p));
    b->modified = true;
    return 0;
}

int32_t PcbApi_RemoveLayerPair(intptr_t board, int32_t pairIndex) {
    BoardRec* b = S().Board(board);
    if (!b || pairIndex < 0 || pairIndex >= static_cast<int32_t>(b->pairs.size()))
        return 1;
    b->pairs.erase(b->pairs.begin() + pairIndex);
    b->modified = true;
    return 0;
}

int32_t PcbApi_RemoveAllLayerPairs(intptr_t board) {
    BoardRec* b = S().Board(board);
    if (!b)
        return 1;
    b->pairs.clear();
    b->modified = true;
    return 0;
}

// ----------------------------------------------------------------- outline

intptr_t PcbApi_CreateBoardOutline(intptr_t board) {
    uint32_t bs = S().BoardSlot(board);
    if (bs == kNone)
        return 0;
    BoardRec& b = S().BoardAt(bs);
    if (b.outline != kNone)
        return S().ObjectHandle(b.outline);
    uint32_t slot = S().CreateObject(kBoardOutline);
    S().AttachToBoard(slot, bs);
    return S().ObjectHandle(slot);
}

int32_t PcbApi_UpdateBoardOutline(intptr_t outline) {
    uint32_t slot = SlotOf<kBoardOutline>(outline);
    if (slot == kNone || S().At(slot).board == kNone)
        return 0;
    S().MarkModified(S().At(slot));
    return 1;
}

// ----------------------------------------------------------------- objects

intptr_t PcbApi_CreateObject(int32_t objectId) {
    if (objectId == kClass || objectId == kRule)
        return 0;
    uint32_t slot = S().CreateObject(objectId);
    return slot == kNone ? 0 : S().ObjectHandle(slot);
}

intptr_t PcbApi_CreateRuleObject(int32_t ruleKind) {
    if (ruleKind < 0 || ruleKind >= kRuleKindCount)
        return 0;
    uint32_t slot = S().CreateObject(kRule);
    RuleBody& r = BodyOf<RuleBody>(slot);
    r.ruleKind = ruleKind;
    r.values = DefaultConstraints(ruleKind);
    return S().ObjectHandle(slot);
}

intptr_t PcbApi_CreateClassObject(int32_t memberObjectId) {
    int32_t memberKind;
    switch (memberObjectId) {
    case kNet:
        memberKind = 0;
        break;
    case kComponent:
        memberKind = 1;
        break;
    case kFromTo:
    case kManualFromTo:
        memberKind = 2;
        break;
    case kPad:
        memberKind = 3;
        break;
    case kPolygon:
        memberKind = 7;
        break;
    case kSplitPlane:
        memberKind = 8;
        break;
    default:
        return 0;
    }
    uint32_t slot = S().CreateObject(kClass);
    BodyOf<ClassBody>(slot).memberKind = memberKind;
    return S().ObjectHandle(slot);
}

int32_t PcbApi_AddObjectToContainer(intptr_t container, intptr_t object) {
    uint32_t slot = S().ObjectSlot(object);
    if (slot == kNone)
        return 1;
    uint32_t bs = S().BoardSlot(container);
    if (bs != kNone) {
        if (S().At(slot).container != kNone)
            return 1;
        return S().AttachToBoard(slot, bs) ? 0 : 1;
    }
    uint32_t cs = SlotOf<kComponent>(container);
    if (cs == kNone)
        return 1;
    return S().AddToComponent(slot, cs) ? 0 : 1;
}

int32_t PcbApi_DeleteObjectFromContainer(intptr_t container, intptr_t object) {
    uint32_t slot = S().ObjectSlot(object);
    if (slot == kNone)
        return 1;
    const ObjectRec& o = S().At(slot);
    uint32_t bs = S().BoardSlot(container);
    if (bs != kNone) {
        if (o.board != bs)
            return 1;
    } else {
        uint32_t cs = SlotOf<kComponent>(container);
        if (cs == kNone || o.container != cs)
            return 1;
    }
    S().DestroyObject(slot);
    return 0;
}

void PcbApi_DestroyObject(intptr_t object) {
    uint32_t slot = S().ObjectSlot(object);
    if (slot != kNone)
        S().DestroyObject(slot);
}

int32_t PcbApi_GetObjectIdFromObjectHandle(intptr_t object) {
    ObjectRec* o = S().Object(object);
    return o ? o->kind : 0;
}

intptr_t PcbApi_GetNetByName(intptr_t board, const char* name) {
    BoardRec* b = S().Board(board);
    if (!b || !name)
        return 0;
    const uint32_t found = b->netByName.Find(GetText(name));
    return found == kNone ? 0 : S().ObjectHandle(found);
}

int32_t PcbApi_GetObjectBitField2(intptr_t object, uint8_t* bitField2) {
    const uint32_t slot = S().ObjectSlot(object);
    if (slot == kNone || !bitField2)
        return 0;
    *bitField2 = S().Extras(slot).bitField2;
    return 1;
}

int32_t PcbApi_SetObjectBitField2(intptr_t object, uint8_t bitField2) {
    const uint32_t slot = S().ObjectSlot(object);
    if (slot == kNone)
        return 0;
    ObjectExtras extras = S().Extras(slot);
    extras.bitField2 = bitField2;
    S().SetExtras(slot, extras);
    S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_GetObjectBitField3(intptr_t object, uint16_t* bitField3) {
    const uint32_t slot = S().ObjectSlot(object);
    if (slot == kNone || !bitField3)
        return 0;
    *bitField3 = S().Extras(slot).bitField3;
    return 1;
}

int32_t PcbApi_SetObjectBitField3(intptr_t object, uint16_t bitField3) {
    const uint32_t slot = S().ObjectSlot(object);
    if (slot == kNone)
        return 0;
    ObjectExtras extras = S().Extras(slot);
    extras.bitField3 = bitField3;
    S().SetExtras(slot, extras);
    S().MarkModified(S().At(slot));
    return 1;
}

// ----------------------------------------------------------------- iterators

intptr_t PcbApi_CreateIterator(intptr_t board, int32_t objectId, intptr_t filter, int32_t layer) {
    uint32_t bs = S().BoardSlot(board);
    if (bs == kNone || objectId < 0 || objectId >= kKindCount || layer < 0 || layer >= kLayerCount)
        return 0;
    return S().CreateIterator(bs, objectId, filter, layer);
}

static intptr_t NextLive(IteratorRec& it) {
    while (it.pos < it.items.size()) {
        intptr_t h = it.items[it.pos++];
        ObjectRec* o = S().Object(h);
        if (o && o->board == it.board)
            return h;
    }
    return 0;
}

intptr_t PcbApi_GetFirstObject(intptr_t iterator) {
    IteratorRec* it = S().Iterator(iterator);
    if (!it)
        return 0;
    S().BuildIterator(*it);
    return NextLive(*it);
}

intptr_t PcbApi_GetNextObject(intptr_t iterator) {
    IteratorRec* it = S().Iterator(iterator);
    if (!it)
        return 0;
    if (!it->built)
        S().BuildIterator(*it);
    return NextLive(*it);
}

void PcbApi_DestroyIterator(intptr_t iterator) {
    S().DestroyIterator(iterator);
}

} // extern "C"
