// The PcbApi_ entry points over the board database. Every entry point checks
// its handles first (a stale, zero or foreign one gives the failure value) and
// validates a write before it changes anything.
#include "engine/Model.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace corvane;

namespace {

Store& S() {
    return Store::Get();
}

void PutText(char* dst, std::string_view s) {
    size_t n = std::min(s.size(), static_cast<size_t>(PCBAPI_TEXT_CAPACITY - 1));
    std::memcpy(dst, s.data(), n);
    dst[n] = '\0';
}

std::string GetText(const char* src) {
    return std::string(src, strnlen(src, PCBAPI_TEXT_CAPACITY - 1));
}

template <class... P> bool AllSet(P*... p) {
    return ((p != nullptr) && ...);
}

bool IsRead(int32_t mode) {
    return mode == 1;
}
bool IsWrite(int32_t mode) {
    return mode == 0 || mode == 2;
}
bool ValidMode(int32_t mode) {
    return IsRead(mode) || IsWrite(mode);
}

// Exchanges fields one way or the other.
struct Ex {
    bool read;
    template <class T> void operator()(T* p, T& field) const {
        if (read)
            *p = field;
        else
            field = *p;
    }
    void Bool(int32_t* p, int32_t& field) const {
        if (read)
            *p = field;
        else
            field = *p != 0 ? 1 : 0;
    }
    void Text(char* p, std::string& field) const {
        if (read)
            PutText(p, field);
        else
            field = GetText(p);
    }
    void Text(char* p, SmallText& field) const {
        if (read)
            PutText(p, field.view());
        else
            field = std::string_view(p, strnlen(p, PCBAPI_TEXT_CAPACITY - 1));
    }
    template <size_t N> void Text(char* p, RareTexts<N>& texts, size_t i) const {
        if (read)
            PutText(p, texts.str(i));
        else
            texts.set(i, GetText(p));
    }
    void Text(char* p, Interned& field) const {
        if (read)
            PutText(p, field.str());
        else
            field = std::string_view(p, strnlen(p, PCBAPI_TEXT_CAPACITY - 1));
    }
    void Ref(intptr_t* p, corvane::Ref& field) const {
        if (read)
            *p = S().Object(field.handle) ? field.handle : 0;
        else
            field.handle = *p;
    }
};

// Looks up a live object of one of the given kinds.
template <int32_t... Kinds> uint32_t SlotOf(intptr_t handle) {
    const uint32_t slot = S().ObjectSlot(handle);
    if (slot == kNone)
        return kNone;
    const int32_t kind = S().At(slot).kind;
    return ((kind == Kinds) || ...) ? slot : kNone;
}

template <class B> B& BodyOf(uint32_t slot) {
    return *static_cast<B*>(S().At(slot).body.get());
}

// The common record fields of a primitive. A write is checked first: the
// layer must be a TV6_Layer and the net 0 or a live net.
bool CheckCommon(int32_t mode, int32_t* layer, intptr_t* net) {
    if (IsRead(mode))
        return true;
    if (*layer < 0 || *layer >= kLayerCount)
        return false;
    return *net == 0 || SlotOf<kNet>(*net) != kNone;
}

void ExchangeCommon(int32_t mode, uint32_t slot, uint16_t* bitField, uint16_t* index,
                    int32_t* layer, intptr_t* net, int32_t* moveable, intptr_t* component,
                    int32_t* x1, int32_t* y1) {
    Store& s = S();
    ObjectRec& o = s.At(slot);
    Ex ex{IsRead(mode)};
    if (ex.read) {
        const ObjectExtras extras = s.Extras(slot);
        *bitField = extras.bitField;
        *index = extras.index;
        *layer = o.layer;
        const uint32_t netSlot = s.NetOf(o);
        *net = netSlot == kNone ? 0 : s.ObjectHandle(netSlot);
        *moveable = o.moveable;
        *component = o.container == kNone ? 0 : s.ObjectHandle(o.container);
        *x1 = o.x1;
        *y1 = o.y1;
        return;
    }
    if (*bitField != 0 || *index != 0 || o.hasExtras) {
        ObjectExtras extras = s.Extras(slot);
        extras.bitField = *bitField;
        extras.index = *index;
        s.SetExtras(slot, extras);
    }
    o.moveable = *moveable != 0 ? 1 : 0;
    o.x1 = *x1;
    o.y1 = *y1;
    const uint32_t netSlot = *net == 0 ? kNone : s.ObjectSlot(*net);
    if (o.board == kNone) {
        // A free object is in no list yet: adding it to a board links it.
        o.layer = static_cast<uint8_t>(*layer);
        s.NameNetOffBoard(o, netSlot);
        return;
    }
    s.SetLayer(slot, *layer);
    s.SetNet(slot, netSlot);
    s.MarkModified(s.At(slot));
}

// Sizes (widths, radii, hole and pad sizes) are never negative.
template <class... P> bool SizesOk(int32_t mode, const P*... sizes) {
    return IsRead(mode) || ((*sizes >= 0) && ...);
}

#define COMMON_OK(mode)                                                                            \
    (ValidMode(mode) && AllSet(bitField, index, layer, net, moveable, component, x1, y1) &&        \
     CheckCommon(mode, layer, net))

template <class T>
bool CheckList(int32_t mode, const T* data, const int32_t* count, int32_t capacity) {
    if (!count || capacity < 0 || (capacity > 0 && !data))
        return false;
    return IsRead(mode) || *count >= 0;
}

template <class T>
void ExchangeList(int32_t mode, std::vector<T>& field, T* data, int32_t* count, int32_t capacity) {
    if (IsRead(mode)) {
        *count = static_cast<int32_t>(field.size());
        size_t n = std::min(field.size(), static_cast<size_t>(capacity));
        if (n)
            std::copy_n(field.begin(), n, data);
        return;
    }
    size_t n = std::min(static_cast<size_t>(*count), static_cast<size_t>(capacity));
    field.assign(data, data + n);
}

// Rule entry points answer 0 on success and 1 on failure.
constexpr int32_t kRuleOk = 0;
constexpr int32_t kRuleFail = 1;

RuleBody* RuleOf(intptr_t handle, int32_t kind) {
    uint32_t slot = SlotOf<kRule>(handle);
    if (slot == kNone)
        return nullptr;
    RuleBody& r = BodyOf<RuleBody>(slot);
    if (kind >= 0 && r.ruleKind != kind)
        return nullptr;
    return &r;
}

// Exchanges constraint values of a rule of `kind`.
template <class... P> int32_t RuleValues(int32_t mode, intptr_t handle, int32_t kind, P*... p) {
    RuleBody* r = RuleOf(handle, kind);
    if (!r || !ValidMode(mode) || !AllSet(p...))
        return kRuleFail;
    int32_t* ptrs[] = {p...};
    if (r->values.size() < sizeof...(P))
        r->values.resize(sizeof...(P), 0);
    for (size_t i = 0; i < sizeof...(P); ++i) {
        if (IsRead(mode))
            *ptrs[i] = r->values[i];
        else
            r->values[i] = kind == 17 ? (*ptrs[i] != 0) : *ptrs[i];
    }
    if (IsWrite(mode))
        S().MarkModified(S().At(S().ObjectSlot(handle)));
    return kRuleOk;
}

LayerRec* LayerOf(intptr_t board, int32_t layerId) {
    BoardRec* b = S().Board(board);
    if (!b || layerId < 1 || layerId >= kLayerCount)
        return nullptr;
    return &b->layers[layerId];
}

void PutDielectric(PcbApiDielectric* dst, const PcbApiDielectric& src) {
    *dst = src;
}
PcbApiDielectric GetDielectric(const PcbApiDielectric* src) {
    PcbApiDielectric d = *src;
    d.Material[PCBAPI_MATERIAL_CAPACITY - 1] = '\0';
    return d;
}

// Changes one entry of a pad's per-layer table when `valid`; the board counts
// as modified whenever the pad and layer are good.
template <class F> int32_t ChangePadLayer(intptr_t object, int32_t layer, bool valid, F&& change) {
    uint32_t slot = SlotOf<kPad>(object);
    if (slot == kNone || layer < 1 || layer >= kLayerCount)
        return 0;
    S().MarkModified(S().At(slot));
    if (!valid)
        return 0;
    PadLayerTable& table = BodyOf<PadBody>(slot).layers;
    PadLayerEntry e = table.At(layer);
    change(e);
    table.Set(layer, e);
    return 1;
}

} // namespace

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

// ----------------------------------------------------------------- primitives

int32_t PcbApi_QueryTrack(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* x2,
                          int32_t* y2, int32_t* width, intptr_t* polygon, intptr_t* coordinate,
                          intptr_t* dimension) {
    uint32_t slot = SlotOf<kTrack>(object);
    if (slot == kNone || !COMMON_OK(mode) ||
        !AllSet(x2, y2, width, polygon, coordinate, dimension) || !SizesOk(mode, width))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    TrackBody& b = BodyOf<TrackBody>(slot);
    Ex ex{IsRead(mode)};
    ex(x2, b.x2);
    ex(y2, b.y2);
    TrackShared shared = b.shared.get();
    ex(width, shared.width);
    ex.Ref(polygon, shared.polygon);
    ex.Ref(coordinate, shared.coordinate);
    ex.Ref(dimension, shared.dimension);
    b.shared.set(shared);
    return 1;
}

int32_t PcbApi_QueryArc(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* radius,
                        double* angle1, double* angle2, int32_t* lineWidth, intptr_t* polygon) {
    uint32_t slot = SlotOf<kArc>(object);
    if (slot == kNone || !COMMON_OK(mode) || !AllSet(radius, angle1, angle2, lineWidth, polygon) ||
        !SizesOk(mode, radius, lineWidth))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    ArcBody& b = BodyOf<ArcBody>(slot);
    Ex ex{IsRead(mode)};
    ex(radius, b.radius);
    ex(angle1, b.angle1);
    ex(angle2, b.angle2);
    ex(lineWidth, b.lineWidth);
    ex.Ref(polygon, b.polygon);
    return 1;
}

int32_t PcbApi_QueryFill(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* x2,
                         int32_t* y2, intptr_t* polygon, double* angle) {
    uint32_t slot = SlotOf<kFill>(object);
    if (slot == kNone || !COMMON_OK(mode) || !AllSet(x2, y2, polygon, angle))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    FillBody& b = BodyOf<FillBody>(slot);
    Ex ex{IsRead(mode)};
    ex(x2, b.x2);
    ex(y2, b.y2);
    ex.Ref(polygon, b.polygon);
    ex(angle, b.angle);
    return 1;
}

int32_t PcbApi_QueryVia(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* size,
                        int32_t* holeSize, int32_t* lowLayer, int32_t* highLayer,
                        int32_t* isTestPointTop, int32_t* isTestPointBottom) {
    uint32_t slot = SlotOf<kVia>(object);
    if (slot == kNone || !COMMON_OK(mode) ||
        !AllSet(size, holeSize, lowLayer, highLayer, isTestPointTop, isTestPointBottom) ||
        !SizesOk(mode, size, holeSize))
        return 0;
    if (IsWrite(mode) &&
        (*lowLayer < 0 || *lowLayer >= kLayerCount || *highLayer < 0 || *highLayer >= kLayerCount))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    ViaBody& b = BodyOf<ViaBody>(slot);
    Ex ex{IsRead(mode)};
    ex(size, b.size);
    ex(holeSize, b.holeSize);
    ex(lowLayer, b.lowLayer);
    ex(highLayer, b.highLayer);
    ex.Bool(isTestPointTop, b.testTop);
    ex.Bool(isTestPointBottom, b.testBottom);
    return 1;
}

int32_t PcbApi_QueryViaHeight(int32_t mode, intptr_t object, int32_t* height) {
    uint32_t slot = SlotOf<kVia>(object);
    if (slot == kNone || !ValidMode(mode) || !height)
        return 0;
    Ex{IsRead(mode)}(height, BodyOf<ViaBody>(slot).height);
    if (IsWrite(mode))
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_QueryPadStackMode(int32_t mode, intptr_t object, int32_t* padMode) {
    uint32_t slot = SlotOf<kPad>(object);
    if (slot == kNone || !ValidMode(mode) || !padMode)
        return 0;
    if (IsWrite(mode) && (*padMode < 0 || *padMode > 2))
        return 0;
    PadBody& b = BodyOf<PadBody>(slot);
    PadShared shared = b.shared.get();
    Ex{IsRead(mode)}(padMode, shared.mode);
    if (IsWrite(mode)) {
        b.shared.set(shared);
        S().MarkModified(S().At(slot));
    }
    return 1;
}

int32_t PcbApi_QueryPad(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* topXSize,
                        int32_t* topYSize, int32_t* midXSize, int32_t* midYSize, int32_t* botXSize,
                        int32_t* botYSize, int32_t* holeSize, int32_t* topShape, int32_t* midShape,
                        int32_t* botShape, char* name, int32_t* daisyChainStyle, int32_t* plated,
                        double* angle, char* swapIdPad, char* swapIdPart, int32_t* ownerPartId,
                        char* swappedPadName, int32_t* drillType, int32_t* holeType,
                        int32_t* holeWidth, double* holeRotation, int32_t* padOffsetX,
                        int32_t* padOffsetY, int32_t* jumperId, int32_t* isTestPointTop,
                        int32_t* isTestPointBottom) {
    uint32_t slot = SlotOf<kPad>(object);
    if (slot == kNone || !COMMON_OK(mode) ||
        !AllSet(topXSize, topYSize, midXSize, midYSize, botXSize, botYSize, holeSize, topShape,
                midShape, botShape, name, daisyChainStyle, plated, angle, swapIdPad, swapIdPart,
                ownerPartId, swappedPadName, drillType, holeType, holeWidth, holeRotation,
                padOffsetX, padOffsetY, jumperId, isTestPointTop, isTestPointBottom) ||
        !SizesOk(mode, topXSize, topYSize, midXSize, midYSize, botXSize, botYSize, holeSize))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    PadBody& pad = BodyOf<PadBody>(slot);
    PadShared b = pad.shared.get();
    Ex ex{IsRead(mode)};
    if (!ex.read) {
        // A changed top, mid or bottom size or shape carries to its layers,
        // all three in one change of the layer table.
        PadLayerTable::ShapeAndSize changes[3];
        int changed = 0;
        auto carry = [&](int from, int to, int32_t x, int32_t y, int32_t shape, int32_t ox,
                         int32_t oy, int32_t oshape) {
            if (x == ox && y == oy && shape == oshape)
                return;
            changes[changed++] = {from, to, shape, x, y};
        };
        carry(1, 1, *topXSize, *topYSize, *topShape, b.topX, b.topY, b.topShape);
        carry(2, 31, *midXSize, *midYSize, *midShape, b.midX, b.midY, b.midShape);
        carry(32, 32, *botXSize, *botYSize, *botShape, b.botX, b.botY, b.botShape);
        pad.layers.SetShapesAndSizes(changes, changed);
    }
    ex(topXSize, b.topX);
    ex(topYSize, b.topY);
    ex(midXSize, b.midX);
    ex(midYSize, b.midY);
    ex(botXSize, b.botX);
    ex(botYSize, b.botY);
    ex(holeSize, b.holeSize);
    ex(topShape, b.topShape);
    ex(midShape, b.midShape);
    ex(botShape, b.botShape);
    ex.Text(name, pad.name);
    ex(daisyChainStyle, b.daisyChainStyle);
    ex.Bool(plated, b.plated);
    ex(angle, b.angle);
    ex.Text(swapIdPad, b.swapIdPad);
    ex.Text(swapIdPart, b.swapIdPart);
    ex(ownerPartId, b.ownerPartId);
    ex.Text(swappedPadName, b.swappedPadName);
    ex(drillType, b.drillType);
    ex(holeType, b.holeType);
    ex(holeWidth, b.holeWidth);
    ex(holeRotation, b.holeRotation);
    ex(padOffsetX, b.padOffsetX);
    ex(padOffsetY, b.padOffsetY);
    ex(jumperId, b.jumperId);
    ex.Bool(isTestPointTop, b.testTop);
    ex.Bool(isTestPointBottom, b.testBottom);
    pad.shared.set(b);
    return 1;
}

// Per-layer pad or via entries; a via is round with its size on the layers
// of its span.
static bool PadOrViaOnLayer(intptr_t object, int32_t layer, PadLayerEntry& out) {
    uint32_t slot = SlotOf<kPad, kVia>(object);
    if (slot == kNone || layer < 1 || layer >= kLayerCount)
        return false;
    const ObjectRec& o = S().At(slot);
    if (o.kind == kPad) {
        out = BodyOf<PadBody>(slot).layers.At(layer);
        return true;
    }
    const ViaBody& v = BodyOf<ViaBody>(slot);
    int32_t lo = std::min(v.lowLayer, v.highLayer), hi = std::max(v.lowLayer, v.highLayer);
    bool inSpan = layer >= lo && layer <= hi;
    out = inSpan ? PadLayerEntry{1, v.size, v.size, 0} : PadLayerEntry{};
    return true;
}

int32_t PcbApi_QueryPadOrViaShapeOnLayer(intptr_t object, int32_t layer, int32_t* shape) {
    PadLayerEntry e;
    if (!shape || !PadOrViaOnLayer(object, layer, e))
        return 0;
    *shape = e.shape;
    return 1;
}

int32_t PcbApi_QueryPadOrViaSizeOnLayer(intptr_t object, int32_t layer, int32_t* xSize,
                                        int32_t* ySize) {
    PadLayerEntry e;
    if (!xSize || !ySize || !PadOrViaOnLayer(object, layer, e))
        return 0;
    *xSize = e.xSize;
    *ySize = e.ySize;
    return 1;
}

static int32_t CornerRadius(const PadLayerEntry& e) {
    const int64_t smaller = std::min(e.xSize, e.ySize);
    return static_cast<int32_t>(smaller * e.crPct / 200);
}

int32_t PcbApi_QueryPadCornerRadiusOnLayer(intptr_t object, int32_t layer, int32_t* cornerRadius) {
    PadLayerEntry e;
    if (!cornerRadius || !PadOrViaOnLayer(object, layer, e))
        return 0;
    *cornerRadius = CornerRadius(e);
    return 1;
}

int32_t PcbApi_QueryPadCRPercentageOnLayer(intptr_t object, int32_t layer, int32_t* percentage) {
    PadLayerEntry e;
    if (!percentage || !PadOrViaOnLayer(object, layer, e))
        return 0;
    *percentage = e.crPct;
    return 1;
}

int32_t PcbApi_QueryPadLayers(intptr_t object, int32_t firstLayer, int32_t count, int32_t* shapes,
                              int32_t* xSizes, int32_t* ySizes, int32_t* cornerRadii,
                              int32_t* crPcts) {
    uint32_t slot = SlotOf<kPad, kVia>(object);
    if (slot == kNone || firstLayer < 1 || count < 0 || count > kLayerCount - firstLayer ||
        !shapes || !xSizes || !ySizes || !cornerRadii || !crPcts)
        return 0;
    // A pad's table is expanded once rather than searched for every layer.
    const bool pad = S().At(slot).kind == kPad;
    PadLayers all{};
    if (pad)
        BodyOf<PadBody>(slot).layers.Expand(all);
    for (int32_t i = 0; i < count; ++i) {
        PadLayerEntry e = all[firstLayer + i];
        if (!pad)
            PadOrViaOnLayer(object, firstLayer + i, e);
        shapes[i] = e.shape;
        xSizes[i] = e.xSize;
        ySizes[i] = e.ySize;
        cornerRadii[i] = CornerRadius(e);
        crPcts[i] = e.crPct;
    }
    return 1;
}

int32_t PcbApi_SetPadShapeOnLayer(intptr_t object, int32_t layer, int32_t shape) {
    return ChangePadLayer(object, layer, shape >= 0 && shape <= 9,
                          [&](PadLayerEntry& e) { e.shape = shape; });
}

int32_t PcbApi_SetPadSizeOnLayer(intptr_t object, int32_t layer, int32_t xSize, int32_t ySize) {
    return ChangePadLayer(object, layer, xSize >= 0 && ySize >= 0, [&](PadLayerEntry& e) {
        e.xSize = xSize;
        e.ySize = ySize;
    });
}

int32_t PcbApi_SetCRPctOnLayer(intptr_t object, int32_t layer, int32_t percentage) {
    return ChangePadLayer(object, layer, percentage >= 0 && percentage <= 100,
                          [&](PadLayerEntry& e) { e.crPct = percentage; });
}

int32_t PcbApi_SetPadLayers(intptr_t object, int32_t firstLayer, int32_t count,
                            const int32_t* shapes, const int32_t* xSizes, const int32_t* ySizes,
                            const int32_t* crPcts) {
    uint32_t slot = SlotOf<kPad>(object);
    if (slot == kNone || firstLayer < 1 || count < 0 || count > kLayerCount - firstLayer ||
        !shapes || !xSizes || !ySizes || !crPcts)
        return 0;
    S().MarkModified(S().At(slot));
    // One new table for the whole change instead of one per value.
    return BodyOf<PadBody>(slot).layers.SetLayers(firstLayer, count, shapes, xSizes, ySizes, crPcts)
               ? 1
               : 0;
}

int32_t PcbApi_QueryRegion(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS,
                           PcbApiPoint* contour, int32_t* contourCount, int32_t contourCapacity,
                           PcbApiPoint* holePoints, int32_t* holePointCount,
                           int32_t holePointCapacity, int32_t* holeSizes, int32_t* holeCount,
                           int32_t holeCapacity, int32_t* regionKind, PcbApiLayerSet* layerSet,
                           int32_t* data, intptr_t* polygon) {
    uint32_t slot = SlotOf<kRegion>(object);
    if (slot == kNone || !COMMON_OK(mode) || !AllSet(regionKind, layerSet, data, polygon) ||
        !CheckList(mode, contour, contourCount, contourCapacity) ||
        !CheckList(mode, holePoints, holePointCount, holePointCapacity) ||
        !CheckList(mode, holeSizes, holeCount, holeCapacity))
        return 0;
    if (IsWrite(mode)) {
        // The hole sizes must account for the hole points exactly.
        int64_t sum = 0;
        int32_t holes = std::min(*holeCount, holeCapacity);
        for (int32_t i = 0; i < holes; ++i) {
            if (holeSizes[i] < 0)
                return 0;
            sum += holeSizes[i];
        }
        if (sum != std::min(*holePointCount, holePointCapacity))
            return 0;
    }
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    RegionBody& b = BodyOf<RegionBody>(slot);
    ExchangeList(mode, b.contour, contour, contourCount, contourCapacity);
    ExchangeList(mode, b.holePoints, holePoints, holePointCount, holePointCapacity);
    ExchangeList(mode, b.holeSizes, holeSizes, holeCount, holeCapacity);
    Ex ex{IsRead(mode)};
    ex(regionKind, b.regionKind);
    ex(layerSet, b.layerSet);
    ex(data, b.data);
    ex.Ref(polygon, b.polygon);
    return 1;
}

int32_t PcbApi_QueryText(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* size,
                         int32_t* font, double* angle, int32_t* mirror, char* text,
                         int32_t* lineWidth, int32_t* useTTFonts, int32_t* bold, int32_t* italic,
                         char* fontName, int32_t* inverted, int32_t* invertedBorder,
                         int32_t* barCodeKind, int32_t* barCodeRenderMode,
                         int32_t* barCodeFullWidth, int32_t* barCodeFullHeight,
                         int32_t* barCodeXMargin, int32_t* barCodeYMargin, int32_t* barCodeShowText,
                         int32_t* barCodeInverted) {
    uint32_t slot = SlotOf<kText>(object);
    if (slot == kNone || !COMMON_OK(mode) ||
        !AllSet(size, font, angle, mirror, text, lineWidth, useTTFonts, bold, italic, fontName,
                inverted, invertedBorder, barCodeKind, barCodeRenderMode, barCodeFullWidth,
                barCodeFullHeight, barCodeXMargin, barCodeYMargin, barCodeShowText,
                barCodeInverted) ||
        !SizesOk(mode, size, lineWidth))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    TextBody& t = BodyOf<TextBody>(slot);
    TextShared b = t.shared.get();
    Ex ex{IsRead(mode)};
    ex(size, b.size);
    ex(font, b.font);
    ex(angle, b.angle);
    ex.Bool(mirror, b.mirror);
    ex.Text(text, t.text);
    ex(lineWidth, b.lineWidth);
    ex.Bool(useTTFonts, b.useTTFonts);
    ex.Bool(bold, b.bold);
    ex.Bool(italic, b.italic);
    ex.Text(fontName, b.fontName);
    ex.Bool(inverted, b.inverted);
    ex(invertedBorder, b.invertedBorder);
    int32_t* bar[] = {barCodeKind,    barCodeRenderMode, barCodeFullWidth, barCodeFullHeight,
                      barCodeXMargin, barCodeYMargin,    barCodeShowText,  barCodeInverted};
    for (size_t i = 0; i < b.barCode.size(); ++i)
        ex(bar[i], b.barCode[i]);
    t.shared.set(b);
    return 1;
}

int32_t PcbApi_QueryComponent(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS,
                              int32_t* channelOffset, int32_t* componentKind, intptr_t* nameText,
                              intptr_t* commentText, char* pattern, int32_t* nameOn,
                              int32_t* commentOn, int32_t* groupNum, double* angle,
                              int32_t* primitiveLock, int32_t* height, int32_t* nameAutoPosition,
                              int32_t* commentAutoPosition, int32_t* unionIndex,
                              char* sourceDesignator, char* sourceUniqueId,
                              char* sourceHierarchicalPath, char* sourceLibraryName,
                              char* footprintDescription, char* defaultPcb3DModel,
                              char* libraryLinkId) {
    uint32_t slot = SlotOf<kComponent>(object);
    if (slot == kNone || !COMMON_OK(mode) ||
        !AllSet(channelOffset, componentKind, nameText, commentText, pattern, nameOn, commentOn,
                groupNum, angle, primitiveLock, height, nameAutoPosition, commentAutoPosition,
                unionIndex, sourceDesignator, sourceUniqueId, sourceHierarchicalPath,
                sourceLibraryName, footprintDescription, defaultPcb3DModel, libraryLinkId))
        return 0;
    ComponentBody& c = BodyOf<ComponentBody>(slot);
    ComponentShared b = c.shared.get();
    const ObjectRec& o = S().At(slot);
    const int32_t oldX = o.x1, oldY = o.y1, oldLayer = o.layer;
    const double oldAngle = b.angle;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    Ex ex{IsRead(mode)};
    ex(channelOffset, b.channelOffset);
    ex(componentKind, b.componentKind);
    if (ex.read) {
        ex.Ref(nameText, c.nameText);
        ex.Ref(commentText, c.commentText);
    }
    ex.Text(pattern, b.pattern);
    ex.Bool(nameOn, b.nameOn);
    ex.Bool(commentOn, b.commentOn);
    ex(groupNum, b.groupNum);
    ex(angle, b.angle);
    ex.Bool(primitiveLock, b.primitiveLock);
    ex(height, b.height);
    ex(nameAutoPosition, b.nameAutoPosition);
    ex(commentAutoPosition, b.commentAutoPosition);
    ex(unionIndex, b.unionIndex);
    ex.Text(sourceDesignator, c.source, ComponentBody::kSourceDesignator);
    ex.Text(sourceUniqueId, c.source, ComponentBody::kSourceUniqueId);
    ex.Text(sourceHierarchicalPath, b.sourceHierarchicalPath);
    ex.Text(sourceLibraryName, b.sourceLibraryName);
    ex.Text(footprintDescription, b.footprintDescription);
    ex.Text(defaultPcb3DModel, b.defaultPcb3DModel);
    ex.Text(libraryLinkId, b.libraryLinkId);
    c.shared.set(b);
    if (!ex.read) {
        const ObjectRec& now = S().At(slot);
        S().TransformChildren(slot, oldX, oldY, oldAngle, oldLayer, now.x1, now.y1, b.angle,
                              now.layer);
    }
    return 1;
}

static int32_t QueryPolygonLike(int32_t mode, uint32_t slot, PCBAPI_COMMON_PARAMS,
                                int32_t* pointCount, PcbApiPolySegment* segments,
                                int32_t* segmentCount, int32_t segmentCapacity) {
    if (slot == kNone || !COMMON_OK(mode) || !pointCount ||
        !CheckList(mode, segments, segmentCount, segmentCapacity))
        return 0;
    ExchangeCommon(mode, slot, PCBAPI_COMMON_ARGS);
    PolygonBody& b = BodyOf<PolygonBody>(slot);
    Ex{IsRead(mode)}(pointCount, b.pointCount);
    ExchangeList(mode, b.segments, segments, segmentCount, segmentCapacity);
    return 1;
}

int32_t PcbApi_QueryPolygonEx(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS,
                              int32_t* pointCount, PcbApiPolySegment* segments,
                              int32_t* segmentCount, int32_t segmentCapacity, int32_t* splitPlane,
                              int32_t* removeDead, int32_t* useOctagons, int32_t* pourOver,
                              int32_t* grid, int32_t* trackSize, int32_t* minTrack,
                              int32_t* primitiveLock, int32_t* polyHatchStyle) {
    uint32_t slot = SlotOf<kPolygon, kBoardOutline, kSplitPlane>(object);
    if (!AllSet(splitPlane, removeDead, useOctagons, pourOver, grid, trackSize, minTrack,
                primitiveLock, polyHatchStyle) ||
        !QueryPolygonLike(mode, slot, PCBAPI_COMMON_ARGS, pointCount, segments, segmentCount,
                          segmentCapacity))
        return 0;
    PolygonBody& b = BodyOf<PolygonBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Bool(splitPlane, b.splitPlane);
    ex.Bool(removeDead, b.removeDead);
    ex.Bool(useOctagons, b.useOctagons);
    ex.Bool(pourOver, b.pourOver);
    ex(grid, b.grid);
    ex(trackSize, b.trackSize);
    ex(minTrack, b.minTrack);
    ex.Bool(primitiveLock, b.primitiveLock);
    ex(polyHatchStyle, b.hatchStyle);
    return 1;
}

int32_t PcbApi_QuerySplitPlane(int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS,
                               int32_t* pointCount, PcbApiPolySegment* segments,
                               int32_t* segmentCount, int32_t segmentCapacity,
                               int32_t* primitiveLock) {
    uint32_t slot = SlotOf<kSplitPlane, kPolygon>(object);
    if (!primitiveLock || !QueryPolygonLike(mode, slot, PCBAPI_COMMON_ARGS, pointCount, segments,
                                            segmentCount, segmentCapacity))
        return 0;
    Ex{IsRead(mode)}.Bool(primitiveLock, BodyOf<PolygonBody>(slot).primitiveLock);
    return 1;
}

// ----------------------------------------------------------------- nets etc.

int32_t PcbApi_QueryNet(int32_t mode, intptr_t object, char* name, int32_t* connectsVisible,
                        int32_t* pwrGndColor) {
    uint32_t slot = SlotOf<kNet>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(name, connectsVisible, pwrGndColor))
        return 0;
    NetBody& b = BodyOf<NetBody>(slot);
    Ex ex{IsRead(mode)};
    if (ex.read)
        PutText(name, b.name);
    else if (!S().RenameNet(slot, GetText(name)))
        return 0;
    NetShared shared = b.shared.get();
    ex.Bool(connectsVisible, shared.connectsVisible);
    ex(pwrGndColor, shared.pwrGndColor);
    b.shared.set(shared);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_QueryManualFromTo(int32_t mode, intptr_t object, char* fromPad, char* toPad,
                                 char* netName, int32_t* color) {
    uint32_t slot = SlotOf<kManualFromTo, kFromTo>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(fromPad, toPad, netName, color))
        return 0;
    FromToBody& b = BodyOf<FromToBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Text(fromPad, b.fromPad);
    ex.Text(toPad, b.toPad);
    ex.Text(netName, b.netName);
    ex(color, b.color);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_QueryEmbedded(int32_t mode, intptr_t object, char* name, char* description) {
    uint32_t slot = SlotOf<kEmbedded>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(name, description))
        return 0;
    EmbeddedBody& b = BodyOf<EmbeddedBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Text(name, b.name);
    ex.Text(description, b.description);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

// ----------------------------------------------------------------- classes

int32_t PcbApi_QueryClass(int32_t mode, intptr_t object, char* name, int32_t* memberKind,
                          int32_t* superClass) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone || !ValidMode(mode) || !AllSet(name, memberKind, superClass))
        return 0;
    if (IsWrite(mode) && (*memberKind < 0 || *memberKind > 8))
        return 0;
    ClassBody& b = BodyOf<ClassBody>(slot);
    Ex ex{IsRead(mode)};
    ex.Text(name, b.name);
    ex(memberKind, b.memberKind);
    ex.Bool(superClass, b.superClass);
    if (!ex.read)
        S().MarkModified(S().At(slot));
    return 1;
}

int32_t PcbApi_AddMemberToClass(intptr_t object, const char* memberName) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone || !memberName)
        return 1;
    ClassBody& b = BodyOf<ClassBody>(slot);
    std::string m = GetText(memberName);
    if (b.memberSet.insert(m).second)
        b.members.push_back(std::move(m));
    S().MarkModified(S().At(slot));
    return 0;
}

int32_t PcbApi_GetMemberFromClassAt(intptr_t object, int32_t memberIndex, char* memberName) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone || !memberName || memberIndex < 0)
        return 1;
    ClassBody& b = BodyOf<ClassBody>(slot);
    if (memberIndex >= static_cast<int32_t>(b.members.size()))
        return 1;
    PutText(memberName, b.members[memberIndex]);
    return 0;
}

int32_t PcbApi_RemoveAllMembersFromClass(intptr_t object) {
    uint32_t slot = SlotOf<kClass>(object);
    if (slot == kNone)
        return 1;
    ClassBody& b = BodyOf<ClassBody>(slot);
    b.members.clear();
    b.memberSet.clear();
    S().MarkModified(S().At(slot));
    return 0;
}

// ----------------------------------------------------------------- rules

int32_t PcbApi_QueryRuleEx(int32_t mode, intptr_t object, int32_t* ruleKind, int32_t* netScope,
                           int32_t* priority, int32_t* layerKind, char* scope1Expression,
                           char* scope2Expression) {
    RuleBody* r = RuleOf(object, -1);
    if (!r || !ValidMode(mode) ||
        !AllSet(ruleKind, netScope, priority, layerKind, scope1Expression, scope2Expression))
        return kRuleFail;
    Ex ex{IsRead(mode)};
    if (ex.read)
        *ruleKind = r->ruleKind;
    ex(netScope, r->netScope);
    ex(priority, r->priority);
    ex(layerKind, r->layerKind);
    ex.Text(scope1Expression, r->scope1);
    ex.Text(scope2Expression, r->scope2);
    if (!ex.read)
        S().MarkModified(S().At(S().ObjectSlot(object)));
    return kRuleOk;
}

int32_t PcbApi_QueryRuleExtEx(int32_t mode, intptr_t object, char* name) {
    RuleBody* r = RuleOf(object, -1);
    if (!r || !ValidMode(mode) || !name)
        return kRuleFail;
    Ex{IsRead(mode)}.Text(name, r->name);
    if (IsWrite(mode))
        S().MarkModified(S().At(S().ObjectSlot(object)));
    return kRuleOk;
}

int32_t PcbApi_QueryRuleExt(int32_t mode, intptr_t object, uint8_t* attributes) {
    RuleBody* r = RuleOf(object, -1);
    if (!r || !ValidMode(mode) || !attributes)
        return kRuleFail;
    if (IsRead(mode))
        std::copy(r->attributes.begin(), r->attributes.end(), attributes);
    else {
        std::copy_n(attributes, r->attributes.size(), r->attributes.begin());
        S().MarkModified(S().At(S().ObjectSlot(object)));
    }
    return kRuleOk;
}

int32_t PcbApi_QueryRuleClearanceConstraint(int32_t mode, intptr_t object, int32_t* gap) {
    return RuleValues(mode, object, 0, gap);
}

int32_t PcbApi_QueryRuleHoleToHoleClearance(int32_t mode, intptr_t object, int32_t* gap) {
    return RuleValues(mode, object, kHoleToHoleRule, gap);
}

int32_t PcbApi_QueryRuleParallelSegmentConstraint(int32_t mode, intptr_t object, int32_t* gap,
                                                  int32_t* limit) {
    return RuleValues(mode, object, 1, gap, limit);
}

int32_t PcbApi_QueryRuleMaxMinWidthConstraintExt(int32_t mode, intptr_t object, int32_t* maxWidth,
                                                 int32_t* minWidth, int32_t* preferredWidth) {
    return RuleValues(mode, object, 2, maxWidth, minWidth, preferredWidth);
}

int32_t PcbApi_QueryRuleDaisyChainStubLengthConstraint(int32_t mode, intptr_t object,
                                                       int32_t* length) {
    return RuleValues(mode, object, 5, length);
}

int32_t PcbApi_QueryRuleRoutingTopologyRule(int32_t mode, intptr_t object, int32_t* topology) {
    return RuleValues(mode, object, 7, topology);
}

int32_t PcbApi_QueryRuleRoutingLayersRule(int32_t mode, intptr_t object, int32_t* layerCodes) {
    RuleBody* r = RuleOf(object, 9);
    if (!r || !ValidMode(mode) || !layerCodes)
        return kRuleFail;
    r->values.resize(PCBAPI_ROUTING_LAYER_COUNT, 0);
    if (IsRead(mode))
        std::copy(r->values.begin(), r->values.end(), layerCodes);
    else {
        std::copy_n(layerCodes, PCBAPI_ROUTING_LAYER_COUNT, r->values.begin());
        S().MarkModified(S().At(S().ObjectSlot(object)));
    }
    return kRuleOk;
}

int32_t PcbApi_QueryRuleRoutingViaStyleRuleExt(int32_t mode, intptr_t object, int32_t* minHoleWidth,
                                               int32_t* minWidth, int32_t* maxHoleWidth,
                                               int32_t* maxWidth, int32_t* preferredHoleWidth,
                                               int32_t* preferredWidth) {
    return RuleValues(mode, object, 11, minHoleWidth, minWidth, maxHoleWidth, maxWidth,
                      preferredHoleWidth, preferredWidth);
}

int32_t PcbApi_QueryRuleViasUnderSMDConstraint(int32_t mode, intptr_t object, int32_t* allowed) {
    return RuleValues(mode, object, 17, allowed);
}

int32_t PcbApi_QueryRuleMaximumViaCountRule(int32_t mode, intptr_t object, int32_t* count) {
    return RuleValues(mode, object, 18, count);
}

int32_t PcbApi_QueryRuleSMDToCorner(int32_t mode, intptr_t object, int32_t* distance) {
    return RuleValues(mode, object, 23, distance);
}

} // extern "C"
