// What the PcbApi_ entry points share: the store, handle lookups, the
// exchange of fields one way or the other, and the checks of lists, sizes
// and rules. Inline: the entry points answer millions of calls an import.
#pragma once

#include "engine/Model.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::pcbapi {

inline Store& S() {
    return Store::Get();
}

inline void PutText(char* dst, std::string_view s) {
    size_t n = std::min(s.size(), static_cast<size_t>(PCBAPI_TEXT_CAPACITY - 1));
    std::memcpy(dst, s.data(), n);
    dst[n] = '\0';
}

inline std::string_view TextView(const char* src) {
    return std::string_view(src, strnlen(src, PCBAPI_TEXT_CAPACITY - 1));
}

inline std::string GetText(const char* src) {
    return std::string(TextView(src));
}

template <class... P> bool AllSet(P*... p) {
    return ((p != nullptr) && ...);
}

inline bool IsRead(int32_t mode) {
    return mode == 1;
}
inline bool IsWrite(int32_t mode) {
    return mode == 0 || mode == 2;
}
inline bool ValidMode(int32_t mode) {
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
            field = TextView(p);
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
            field = TextView(p);
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
inline bool CheckCommon(int32_t mode, int32_t* layer, intptr_t* net) {
    if (IsRead(mode))
        return true;
    if (*layer < 0 || *layer >= kLayerCount)
        return false;
    return *net == 0 || SlotOf<kNet>(*net) != kNone;
}

// Writes the common record fields of a primitive, the net given as its slot
// (kNone for none); the caller has checked them.
inline void WriteCommon(uint32_t slot, uint16_t bitField, uint16_t index, int32_t layer,
                        uint32_t netSlot, int32_t moveable, int32_t x1, int32_t y1) {
    Store& s = S();
    ObjectRec& o = s.At(slot);
    if (bitField != 0 || index != 0 || o.hasExtras) {
        ObjectExtras extras = s.Extras(slot);
        extras.bitField = bitField;
        extras.index = index;
        s.SetExtras(slot, extras);
    }
    o.moveable = moveable != 0 ? 1 : 0;
    o.x1 = x1;
    o.y1 = y1;
    if (o.board == kNone) {
        // A free object is in no list yet: adding it to a board links it.
        o.layer = static_cast<uint8_t>(layer);
        s.NameNetOffBoard(o, netSlot);
        return;
    }
    s.SetLayer(slot, layer);
    s.SetNet(slot, netSlot);
    s.MarkModified(s.At(slot));
}

inline void ExchangeCommon(int32_t mode, uint32_t slot, uint16_t* bitField, uint16_t* index,
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
    WriteCommon(slot, *bitField, *index, *layer, *net == 0 ? kNone : s.ObjectSlot(*net), *moveable,
                *x1, *y1);
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
inline constexpr int32_t kRuleOk = 0;
inline constexpr int32_t kRuleFail = 1;

inline RuleBody* RuleOf(intptr_t handle, int32_t kind) {
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

inline LayerRec* LayerOf(intptr_t board, int32_t layerId) {
    BoardRec* b = S().Board(board);
    if (!b || layerId < 1 || layerId >= kLayerCount)
        return nullptr;
    return &b->layers[layerId];
}

inline void PutDielectric(PcbApiDielectric* dst, const PcbApiDielectric& src) {
    *dst = src;
}
inline PcbApiDielectric GetDielectric(const PcbApiDielectric* src) {
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

} // namespace corvane::pcbapi
