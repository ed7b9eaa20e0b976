// The PcbApi_ entry points of primitives: tracks, arcs, fills, vias, pads,
// regions, texts, components, polygons and split planes.
#include "engine/PcbApiShared.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace corvane;
using namespace corvane::pcbapi;

extern "C" {

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

int32_t PcbApi_QueryNetTracks(intptr_t net, PcbApiTrackRow* rows, int32_t capacity,
                              int32_t* count) {
    Store& s = S();
    const uint32_t netSlot = SlotOf<kNet>(net);
    if (netSlot == kNone || !count || capacity < 0 || (capacity > 0 && !rows))
        return 0;
    const uint32_t board = s.At(netSlot).board;
    if (board == kNone)
        return 0;
    int32_t n = 0;
    s.ForEach(Store::Members(netSlot), kByNet, [&](uint32_t slot) {
        const ObjectRec& o = s.At(slot);
        if (o.kind != kTrack || o.board != board)
            return;
        if (n < capacity) {
            const TrackBody& b = BodyOf<TrackBody>(slot);
            rows[n] = PcbApiTrackRow{s.ObjectHandle(slot),
                                     o.x1,
                                     o.y1,
                                     b.x2,
                                     b.y2,
                                     b.shared.get().width,
                                     o.layer,
                                     static_cast<int32_t>(o.moveable)};
        }
        ++n;
    });
    *count = n;
    return 1;
}

int32_t PcbApi_AddTracks(intptr_t container, const PcbApiNewTrack* tracks, int32_t count,
                         intptr_t* handles) {
    if (count < 0 || (count > 0 && (tracks == nullptr || handles == nullptr)))
        return 0;
    Store& s = S();
    // The container is the same for every track: a board, a component or
    // neither (then every track is refused as the entry point refuses it).
    const uint32_t boardSlot = s.BoardSlot(container);
    const uint32_t componentSlot = boardSlot == kNone ? SlotOf<kComponent>(container) : kNone;
    // Runs of tracks share a net and a width: the last of each is kept, so
    // that the next track neither looks up the net nor the pool of widths.
    intptr_t lastNet = 0;
    uint32_t lastNetSlot = kNone;
    int32_t lastWidth = -1;
    Shared<TrackShared> lastShared;
    for (int32_t i = 0; i < count; ++i) {
        PcbApiNewTrack t = tracks[i];
        if (t.Net != lastNet) {
            lastNet = t.Net;
            lastNetSlot = t.Net == 0 ? kNone : SlotOf<kNet>(t.Net);
        }
        const uint32_t netSlot = lastNetSlot;
        if (t.Layer < 0 || t.Layer >= kLayerCount || t.Width < 0 ||
            (t.Net != 0 && netSlot == kNone)) {
            // A track the record checks refuse takes the steps of one made
            // alone, so that the store is left as it would then be.
            intptr_t handle = PcbApi_CreateObject(kTrack);
            uint16_t index = 0;
            intptr_t component = 0, polygon = 0, coordinate = 0, dimension = 0;
            if (handle != 0 &&
                (PcbApi_QueryTrack(0, handle, &t.BitField, &index, &t.Layer, &t.Net, &t.Moveable,
                                   &component, &t.x1, &t.y1, &t.x2, &t.y2, &t.Width, &polygon,
                                   &coordinate, &dimension) != 1 ||
                 PcbApi_AddObjectToContainer(container, handle) != 0)) {
                PcbApi_DestroyObject(handle);
                handle = 0;
            }
            handles[i] = handle;
            continue;
        }
        // A sound track is written into its fresh record directly, as a
        // write of the record would, without its handle look-ups.
        const uint32_t slot = s.CreateObject(kTrack);
        if (slot == kNone) {
            handles[i] = 0;
            continue;
        }
        WriteCommon(slot, t.BitField, 0, t.Layer, netSlot, t.Moveable, t.x1, t.y1);
        TrackBody& body = BodyOf<TrackBody>(slot);
        body.x2 = t.x2;
        body.y2 = t.y2;
        if (t.Width != lastWidth) {
            TrackShared shared = body.shared.get();
            shared.width = t.Width;
            shared.polygon.handle = shared.coordinate.handle = shared.dimension.handle = 0;
            body.shared.set(shared);
            lastShared = body.shared;
            lastWidth = t.Width;
        } else {
            body.shared = lastShared;
        }
        const bool added = boardSlot != kNone       ? s.AttachToBoard(slot, boardSlot)
                           : componentSlot != kNone ? s.AddToComponent(slot, componentSlot)
                                                    : false;
        if (!added) {
            s.DestroyObject(slot);
            handles[i] = 0;
            continue;
        }
        handles[i] = s.ObjectHandle(slot);
    }
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

intptr_t PcbApi_CopyPad(intptr_t model, intptr_t container, const PcbApiPadPlace* place) {
    Store& s = S();
    const uint32_t from = SlotOf<kPad>(model);
    if (from == kNone || place == nullptr || place->Name == nullptr)
        return 0;
    // The steps of a pad made alone: made, its record written, then added;
    // a refused record or container leaves the store as it would then.
    const intptr_t handle = PcbApi_CreateObject(kPad);
    if (handle == 0)
        return 0;
    const uint32_t netSlot = place->Net == 0 ? kNone : SlotOf<kNet>(place->Net);
    const bool netLive = place->Net == 0 || netSlot != kNone;
    if (netLive) {
        const uint32_t slot = s.ObjectSlot(handle);
        const ObjectRec& source = s.At(from);
        ObjectRec& o = s.At(slot);
        o.layer = source.layer;
        o.moveable = source.moveable;
        o.x1 = place->x1;
        o.y1 = place->y1;
        // The bit fields and index go along; a true copper outline is the
        // caller's to give each pad.
        ObjectExtras extras = s.Extras(from);
        extras.outline.reset();
        extras.outlineMirrored = false;
        s.SetExtras(slot, extras);
        PadBody& pad = BodyOf<PadBody>(slot);
        pad = BodyOf<PadBody>(from);
        pad.name = TextView(place->Name);
        PadShared b = pad.shared.get();
        b.angle = place->Angle;
        b.daisyChainStyle = place->DaisyChainStyle;
        pad.shared.set(b);
        s.NameNetOffBoard(o, netSlot);
    }
    if (!netLive || PcbApi_AddObjectToContainer(container, handle) != 0) {
        PcbApi_DestroyObject(handle);
        return 0;
    }
    return handle;
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
    const auto put = [&](int32_t from, int32_t to, const PadLayerEntry& e) {
        for (int32_t i = from; i < to; ++i) {
            shapes[i] = e.shape;
            xSizes[i] = e.xSize;
            ySizes[i] = e.ySize;
            crPcts[i] = e.crPct;
        }
        std::fill(cornerRadii + from, cornerRadii + to, CornerRadius(e));
    };
    if (S().At(slot).kind != kPad) {
        for (int32_t i = 0; i < count; ++i) {
            PadLayerEntry e{};
            PadOrViaOnLayer(object, firstLayer + i, e);
            put(i, i + 1, e);
        }
        return 1;
    }
    // A pad's table is taken run by run: most pads have a few runs.
    const PadLayerTable& table = BodyOf<PadBody>(slot).layers;
    const PadLayerTable::Run* runs = table.Runs();
    const int32_t runCount = table.RunCount();
    for (int32_t r = 0; r < runCount; ++r) {
        const int32_t end = r + 1 < runCount ? runs[r + 1].first : kLayerCount;
        const int32_t from = std::max(runs[r].first, firstLayer) - firstLayer;
        const int32_t to = std::min(end, firstLayer + count) - firstLayer;
        if (from < to)
            put(from, to, runs[r].entry);
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

int32_t PcbApi_QueryComponentTexts(intptr_t component, intptr_t* nameText, intptr_t* commentText) {
    const uint32_t slot = SlotOf<kComponent>(component);
    if (slot == kNone || !AllSet(nameText, commentText))
        return 0;
    ComponentBody& c = BodyOf<ComponentBody>(slot);
    const Ex ex{true};
    ex.Ref(nameText, c.nameText);
    ex.Ref(commentText, c.commentText);
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

} // extern "C"
