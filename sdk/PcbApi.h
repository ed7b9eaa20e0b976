// The Corvane engine's PcbApi_ entry points: the board database as the plug-in
// sees it. The engine (libcorvane.so) exports every name below with C linkage;
// the plug-in never links the engine but binds these names at run time from the
// already loaded library (board/PCBProcs.h).
//
// Conventions
// - Handles (boards, objects, iterators) are pointer-sized integers, 0 for none.
//   A stale, zero or foreign handle is refused with the entry point's failure
//   value; the engine never dereferences it.
// - Lengths are int32_t host units, 10000 per mil. Angles are doubles, degrees.
// - Layers are TV6_Layer bytes passed as int32_t (layer pairs take TV7_Layer
//   values, which also fit an int32_t).
// - Kinds are TObjectId / TRuleKind ordinals passed as int32_t; other engine
//   enumerations (TShape, TPadMode, TRegionKind, ...) likewise.
// - Booleans are int32_t, 0 false and 1 true (any non-zero value written is
//   read back as 1).
// - A text field is a char buffer of PCBAPI_TEXT_CAPACITY bytes holding
//   NUL-terminated 8-bit text: filled on a read (mode 1), read on a write (mode 0).
//   A longer text is cut to PCBAPI_TEXT_CAPACITY - 1 bytes.
// - Query entry points take (mode, handle, field addresses...): mode 1 reads the
//   object's record into the fields, mode 0 writes the fields into the object
//   (mode 2 is also a write). Every field address must be valid.
//
// Results
// - Object queries (PcbApi_QueryTrack ... PcbApi_QueryClass, the board, layer,
//   grid and layer-pair queries, the pad per-layer entry points, the bit-field
//   exchanges, PcbApi_UpdateBoardOutline): 1 on success, 0 on failure.
// - Rule queries (PcbApi_QueryRuleEx, PcbApi_QueryRuleExtEx, PcbApi_QueryRuleExt
//   and every rule constraint entry point): 0 on success, 1 on failure.
// - Edits of containers, classes, the layer stack and the layer pairs
//   (PcbApi_AddObjectToContainer, PcbApi_DeleteObjectFromContainer,
//   PcbApi_AddMemberToClass, PcbApi_RemoveAllMembersFromClass,
//   PcbApi_InsertLayerInStack, PcbApi_RemoveLayerFromStack, PcbApi_AddLayerPair,
//   PcbApi_RemoveLayerPair, PcbApi_RemoveAllLayerPairs): 0 on success, 1 on
//   failure. Unbound, they answer 1.
// - PcbApi_GetMemberFromClassAt: 0 with the member's name, 1 past the last
//   member (and for a bad class). Unbound it answers 1, so a member walk ends.
//
// Objects and containers
// - PcbApi_CreateObject / PcbApi_CreateRuleObject / PcbApi_CreateClassObject
//   make a free object that belongs to no board. PcbApi_AddObjectToContainer
//   with a board handle puts it on that board; with a component handle (the
//   component already on a board) it puts it on the component's board inside
//   that component. A component may be added with its primitives already in it.
// - PcbApi_DeleteObjectFromContainer removes the object from the board (a
//   component takes its primitives with it) and frees it: its handle becomes
//   stale. PcbApi_DestroyObject frees an object wherever it is.
// - A new component owns two text objects, its designator and its comment,
//   whose handles its record gives (NameText, CommentText).
// - Writing a component record with a new position, angle or side moves,
//   rotates about the component's position or mirrors (top to bottom side) the
//   primitives it contains.
// - The Component field of a primitive's record is read-only (set by adding the
//   primitive to a component). A pad's or via's Net may be written.
//
// Iterators
// - PcbApi_CreateIterator(board, kind, filter, layer): kind 0 walks every kind;
//   filter 0 for none, a net (objects of that net) or a component (its
//   primitives, designator and comment included); layer 0 for every layer.
//   Objects come in the order they were added to the board. An object deleted
//   during a walk is skipped. Iteration: create, first, next until 0, destroy.
//
// Record order of every primitive query (track, arc, fill, via, pad, region,
// text, component, polygon, split plane): mode, handle, then the common fields
//   BitField (uint16_t), Index (uint16_t), layer (int32_t), Net (intptr_t),
//   Moveable (int32_t), Component (intptr_t), x1, y1 (int32_t),
// then the kind's own fields as each entry below lists them.
//
// Every entry point is listed once, in one of the two X-macro tables below:
//   PCBAPI_FUNCTIONS(X):  X(ReturnType, Name, UnboundResult, (params), (args))
//   PCBAPI_PROCEDURES(X): X(Name, (params), (args))
// UnboundResult is what the plug-in's binding answers while the engine is
// absent (0 for nearly all).
#pragma once

#include <cstdint>

#define PCBAPI_TEXT_CAPACITY 8192

// Number of signal layers in a routing-layers rule table (host layers 1..32,
// entry i for layer i + 1).
#define PCBAPI_ROUTING_LAYER_COUNT 32
// Bytes of a rule's extended attributes (PcbApi_QueryRuleExt). Byte 0 tells
// who made the rule (0 for a rule made through these entry points), byte 1 is
// the same-net flag of a clearance rule; the others are kept as written.
#define PCBAPI_RULE_ATTRIBUTE_COUNT 8
// Capacity of a dielectric record's material text.
#define PCBAPI_MATERIAL_CAPACITY 64
// BitField flag: the primitive is a keep-out.
#define PCBAPI_BITFIELD_KEEPOUT 0x0001

extern "C" {

// One vertex.
typedef struct PcbApiPoint {
    int32_t x;
    int32_t y;
} PcbApiPoint;

// One segment of a polygon, split plane or board outline. Kind 0 is a line to
// (vx, vy); kind 1 an arc about (cx, cy) with Radius from Angle1 to Angle2.
typedef struct PcbApiPolySegment {
    int32_t Kind;
    int32_t vx;
    int32_t vy;
    int32_t cx;
    int32_t cy;
    int32_t Radius;
    double Angle1;
    double Angle2;
} PcbApiPolySegment;

// One track as PcbApi_QueryNetTracks lists it: its handle, ends, width,
// TV6_Layer and whether it may be moved (0 or 1).
typedef struct PcbApiTrackRow {
    intptr_t Handle;
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    int32_t Width;
    int32_t Layer;
    int32_t Moveable;
} PcbApiTrackRow;

// One new track for PcbApi_AddTracks: its ends, width, TV6_Layer, net (0
// for none), whether it may be moved (0 or 1) and its BitField; every other
// field of the record is a new track's.
typedef struct PcbApiNewTrack {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    int32_t Width;
    int32_t Layer;
    intptr_t Net;
    int32_t Moveable;
    uint16_t BitField;
} PcbApiNewTrack;

// Where PcbApi_CopyPad puts its copy of a pad: the new pad's name, net (0 for
// none), angle, position and daisy-chain style.
typedef struct PcbApiPadPlace {
    const char* Name;
    intptr_t Net;
    double Angle;
    int32_t x1;
    int32_t y1;
    int32_t DaisyChainStyle;
} PcbApiPadPlace;

// A set of TV6_Layer values: layer L is bit (L % 64) of Bits[L / 64].
typedef struct PcbApiLayerSet {
    uint64_t Bits[2];
} PcbApiLayerSet;

// A dielectric record. A new board's top and bottom records are material
// "FR-4", kind 1, constant 4.8, height 126000.
typedef struct PcbApiDielectric {
    int32_t Kind;
    int32_t Height;
    double Constant;
    char Material[PCBAPI_MATERIAL_CAPACITY];
} PcbApiDielectric;

} // extern "C"

// The entry of a pad's per-layer table that holds its copper on signal layer
// `layer`, by its padstack mode (PcbApi_QueryPadStackMode): a simple pad (0)
// has one entry, the top layer's, for all layers; a top-middle-bottom pad (1)
// its top, its bottom and entry 2 for every inner layer; a full stack (2) one
// entry for each layer.
inline int32_t PcbApiPadEntryLayer(int32_t mode, int32_t layer) {
    if (mode == 0)
        return 1;
    if (mode == 1)
        return layer == 1 || layer == 32 ? layer : 2;
    return layer;
}

// The name of an object kind (TObjectId 0..26) as the engine's board dump
// spells it; "Unknown" for any other value.
inline const char* PcbApiKindName(int32_t kind) {
    static const char* const names[] = {"Ignore",
                                        "Arc",
                                        "Pad",
                                        "Via",
                                        "Track",
                                        "Text",
                                        "Fill",
                                        "FromTo",
                                        "Net",
                                        "Component",
                                        "Polygon",
                                        "Region",
                                        "ComponentBody",
                                        "Dimension",
                                        "Coordinate",
                                        "Class",
                                        "Rule",
                                        "ManualFromTo",
                                        "DifferentialPair",
                                        "Violation",
                                        "Embedded",
                                        "EmbeddedBoard",
                                        "SplitPlane",
                                        "Trace",
                                        "SpareVia",
                                        "Board",
                                        "BoardOutline"};
    return kind >= 0 && kind < static_cast<int32_t>(sizeof names / sizeof names[0]) ? names[kind]
                                                                                    : "Unknown";
}

// Parameter lists shared by several entries.
#define PCBAPI_COMMON_PARAMS                                                                       \
    uint16_t *bitField, uint16_t *index, int32_t *layer, intptr_t *net, int32_t *moveable,         \
        intptr_t *component, int32_t *x1, int32_t *y1
#define PCBAPI_COMMON_ARGS bitField, index, layer, net, moveable, component, x1, y1

// clang-format off
#define PCBAPI_FUNCTIONS(X) \
    /* ---- boards ---- */ \
    /* The focused board, or 0. */ \
    X(intptr_t, PcbApi_GetCurrentBoardHandle, 0, (void), ()) \
    /* The open board whose document has that file name (compared as given,  \
       then as an absolute path), or 0. */ \
    X(intptr_t, PcbApi_GetBoardHandleFromFileName, 0, (const char* fileName), (fileName)) \
    /* Board record. FileName, IsLibrary, Window and BoardOutline are read-only \
       (written values are ignored); BoardOutline is 0 until one is made. */ \
    X(int32_t, PcbApi_QueryBoard, 0, \
      (int32_t mode, intptr_t board, intptr_t* window, char* fileName, int32_t* isLibrary, \
       int32_t* originX, int32_t* originY, int32_t* cursorX, int32_t* cursorY, \
       int32_t* displayUnit, PcbApiDielectric* dielectricTop, PcbApiDielectric* dielectricBottom, \
       int32_t* currentLayer, int32_t* drillGuideHoleSize, intptr_t* boardOutline), \
      (mode, board, window, fileName, isLibrary, originX, originY, cursorX, cursorY, displayUnit, \
       dielectricTop, dielectricBottom, currentLayer, drillGuideHoleSize, boardOutline)) \
    /* Grid settings; units are TUnit values held as doubles. */ \
    X(int32_t, PcbApi_QueryBoardGridsEx, 0, \
      (int32_t mode, intptr_t board, double* snapGridUnit, double* bigVisibleGridUnit, \
       double* visibleGridUnit, double* bigVisibleGridSize, double* visibleGridSize, \
       double* snapGridSize, double* snapGridSizeX, double* snapGridSizeY, double* trackGridSize, \
       double* viaGridSize, double* componentGridSize, double* componentGridSizeX, \
       double* componentGridSizeY), \
      (mode, board, snapGridUnit, bigVisibleGridUnit, visibleGridUnit, bigVisibleGridSize, \
       visibleGridSize, snapGridSize, snapGridSizeX, snapGridSizeY, trackGridSize, viaGridSize, \
       componentGridSize, componentGridSizeX, componentGridSizeY)) \
    /* ---- layers and layer stack ---- */ \
    /* One layer's record (TV6_Layer 1..82). PreviousLayer and NextLayer are \
       the neighbours in the layer stack (0 for none) and UsedByPrims counts \
       the primitives on the layer; these three are read-only. */ \
    X(int32_t, PcbApi_QueryLayer, 0, \
      (int32_t mode, int32_t layerId, intptr_t board, char* name, int32_t* copperThickness, \
       PcbApiDielectric* dielectric, int32_t* usedByPrims, int32_t* isDisplayed, \
       int32_t* previousLayer, int32_t* nextLayer, int32_t* mechanicalLayerEnabled), \
      (mode, layerId, board, name, copperThickness, dielectric, usedByPrims, isDisplayed, \
       previousLayer, nextLayer, mechanicalLayerEnabled)) \
    /* An internal plane's (39..54) net name. */ \
    X(int32_t, PcbApi_QueryInternalPlane, 0, \
      (int32_t mode, int32_t layerId, intptr_t board, char* netName), \
      (mode, layerId, board, netName)) \
    /* Puts `layerId` (not yet in the stack) into the stack right after \
       `afterLayer` (a stack layer). */ \
    X(int32_t, PcbApi_InsertLayerInStack, 1, \
      (intptr_t board, int32_t layerId, int32_t afterLayer), (board, layerId, afterLayer)) \
    /* Takes a layer out of the stack (a stack keeps at least one layer). */ \
    X(int32_t, PcbApi_RemoveLayerFromStack, 1, (intptr_t board, int32_t layerId), \
      (board, layerId)) \
    /* ---- layer pairs (drill pairs) ---- */ \
    X(int32_t, PcbApi_GetLayerPairCount, 0, (intptr_t board), (board)) \
    /* The pair at `pairIndex` (0-based). SubstackList is a text. */ \
    X(int32_t, PcbApi_QueryLayerPair, 0, \
      (int32_t mode, intptr_t board, int32_t pairIndex, char* name, int32_t* v7LowLayer, \
       int32_t* v7HighLayer, int32_t* drillDrawing, int32_t* drillGuide, char* substackList, \
       int32_t* isBackDrill), \
      (mode, board, pairIndex, name, v7LowLayer, v7HighLayer, drillDrawing, drillGuide, \
       substackList, isBackDrill)) \
    /* Appends a pair; refused when low equals high or the pair exists. */ \
    X(int32_t, PcbApi_AddLayerPair, 1, \
      (intptr_t board, const char* name, int32_t v7LowLayer, int32_t v7HighLayer), \
      (board, name, v7LowLayer, v7HighLayer)) \
    X(int32_t, PcbApi_RemoveLayerPair, 1, (intptr_t board, int32_t pairIndex), (board, pairIndex)) \
    X(int32_t, PcbApi_RemoveAllLayerPairs, 1, (intptr_t board), (board)) \
    /* ---- board outline ---- */ \
    /* The board's outline object (kind 26), made when the board has none; \
       read and written with PcbApi_QueryPolygonEx. */ \
    X(intptr_t, PcbApi_CreateBoardOutline, 0, (intptr_t board), (board)) \
    /* Refreshes the outline after its segments changed (1 on success). */ \
    X(int32_t, PcbApi_UpdateBoardOutline, 0, (intptr_t outline), (outline)) \
    /* ---- objects ---- */ \
    /* A new free object of a primitive or board-object kind: arc 1, pad 2, \
       via 3, track 4, text 5, fill 6, from-to 7, net 8, component 9, \
       polygon 10, region 11, manual from-to 17, embedded 20, split plane 22, \
       board outline 26; 0 for any other kind. */ \
    X(intptr_t, PcbApi_CreateObject, 0, (int32_t objectId), (objectId)) \
    /* A new free rule of a TRuleKind (0..66). */ \
    X(intptr_t, PcbApi_CreateRuleObject, 0, (int32_t ruleKind), (ruleKind)) \
    /* A new free class whose members are of `memberObjectId` (8 nets, \
       9 components, 2 pads, 17 from-tos, 10 polygons, 22 split planes). */ \
    X(intptr_t, PcbApi_CreateClassObject, 0, (int32_t memberObjectId), (memberObjectId)) \
    X(int32_t, PcbApi_AddObjectToContainer, 1, (intptr_t container, intptr_t object), \
      (container, object)) \
    X(int32_t, PcbApi_DeleteObjectFromContainer, 1, (intptr_t container, intptr_t object), \
      (container, object)) \
    /* The object's TObjectId, 0 for a bad handle. */ \
    X(int32_t, PcbApi_GetObjectIdFromObjectHandle, 0, (intptr_t object), (object)) \
    /* The board net of that name, or 0. */ \
    X(intptr_t, PcbApi_GetNetByName, 0, (intptr_t board, const char* name), (board, name)) \
    /* Further flag words of any object. */ \
    X(int32_t, PcbApi_GetObjectBitField2, 0, (intptr_t object, uint8_t* bitField2), \
      (object, bitField2)) \
    X(int32_t, PcbApi_SetObjectBitField2, 0, (intptr_t object, uint8_t bitField2), \
      (object, bitField2)) \
    X(int32_t, PcbApi_GetObjectBitField3, 0, (intptr_t object, uint16_t* bitField3), \
      (object, bitField3)) \
    X(int32_t, PcbApi_SetObjectBitField3, 0, (intptr_t object, uint16_t bitField3), \
      (object, bitField3)) \
    /* ---- iterators ---- */ \
    X(intptr_t, PcbApi_CreateIterator, 0, \
      (intptr_t board, int32_t objectId, intptr_t filter, int32_t layer), \
      (board, objectId, filter, layer)) \
    X(intptr_t, PcbApi_GetFirstObject, 0, (intptr_t iterator), (iterator)) \
    X(intptr_t, PcbApi_GetNextObject, 0, (intptr_t iterator), (iterator)) \
    /* ---- primitive queries ---- */ \
    /* Track: common, x2, y2, Width, Polygon, Coordinate, Dimension. */ \
    X(int32_t, PcbApi_QueryTrack, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* x2, int32_t* y2, \
       int32_t* width, intptr_t* polygon, intptr_t* coordinate, intptr_t* dimension), \
      (mode, object, PCBAPI_COMMON_ARGS, x2, y2, width, polygon, coordinate, dimension)) \
    /* The tracks on the board among the members of net `net`, in the order \
       an iterator over the net's tracks gives them: the first `capacity` of \
       them in rows; *count is set to their number (more than capacity: ask \
       again with room for all). 1 when done; 0 (nothing filled) when `net` \
       is no live net of a board or the arguments are bad. */ \
    X(int32_t, PcbApi_QueryNetTracks, 0, \
      (intptr_t net, PcbApiTrackRow* rows, int32_t capacity, int32_t* count), \
      (net, rows, capacity, count)) \
    /* Makes `count` tracks in the order given and adds each to `container` \
       (a board or a component), as PcbApi_CreateObject, a write by \
       PcbApi_QueryTrack and PcbApi_AddObjectToContainer would one by one: \
       handles[i] is the new track's handle, or 0 where the record or the \
       adding was refused (that track is destroyed and the next one made). 1 \
       when done; 0 (nothing made) when the arguments are bad. */ \
    X(int32_t, PcbApi_AddTracks, 0, \
      (intptr_t container, const PcbApiNewTrack* tracks, int32_t count, intptr_t* handles), \
      (container, tracks, count, handles)) \
    /* Arc (x1, y1 the centre): common, Radius, Angle1, Angle2, LineWidth, Polygon. */ \
    X(int32_t, PcbApi_QueryArc, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* radius, double* angle1, \
       double* angle2, int32_t* lineWidth, intptr_t* polygon), \
      (mode, object, PCBAPI_COMMON_ARGS, radius, angle1, angle2, lineWidth, polygon)) \
    /* Fill: common, x2, y2, Polygon, Angle. */ \
    X(int32_t, PcbApi_QueryFill, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* x2, int32_t* y2, \
       intptr_t* polygon, double* angle), \
      (mode, object, PCBAPI_COMMON_ARGS, x2, y2, polygon, angle)) \
    /* Via: common, Size, HoleSize, LowLayer, HighLayer, test point top, \
       test point bottom. */ \
    X(int32_t, PcbApi_QueryVia, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* size, int32_t* holeSize, \
       int32_t* lowLayer, int32_t* highLayer, int32_t* isTestPointTop, \
       int32_t* isTestPointBottom), \
      (mode, object, PCBAPI_COMMON_ARGS, size, holeSize, lowLayer, highLayer, isTestPointTop, \
       isTestPointBottom)) \
    X(int32_t, PcbApi_QueryViaHeight, 0, (int32_t mode, intptr_t object, int32_t* height), \
      (mode, object, height)) \
    /* Pad stack mode (TPadMode). */ \
    X(int32_t, PcbApi_QueryPadStackMode, 0, (int32_t mode, intptr_t object, int32_t* padMode), \
      (mode, object, padMode)) \
    /* Pad: common, top X, top Y, mid X, mid Y, bottom X, bottom Y, HoleSize, \
       top, mid and bottom shape, Name (text), DaisyChainStyle, Plated, Angle, \
       SwapID_Pad (text), SwapID_Part (text), OwnerPart_ID, SwappedPadName \
       (text), DrillType, HoleType, HoleWidth, HoleRotation, pad offset X, Y, \
       JumperID, test point top, test point bottom. Writing top, mid or bottom \
       sizes or shapes also sets the per-layer entries of the top layer (1), \
       the mid layers (2..31) and the bottom layer (32). */ \
    X(int32_t, PcbApi_QueryPad, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* topXSize, \
       int32_t* topYSize, int32_t* midXSize, int32_t* midYSize, int32_t* botXSize, \
       int32_t* botYSize, int32_t* holeSize, int32_t* topShape, int32_t* midShape, \
       int32_t* botShape, char* name, int32_t* daisyChainStyle, int32_t* plated, double* angle, \
       char* swapIdPad, char* swapIdPart, int32_t* ownerPartId, char* swappedPadName, \
       int32_t* drillType, int32_t* holeType, int32_t* holeWidth, double* holeRotation, \
       int32_t* padOffsetX, int32_t* padOffsetY, int32_t* jumperId, int32_t* isTestPointTop, \
       int32_t* isTestPointBottom), \
      (mode, object, PCBAPI_COMMON_ARGS, topXSize, topYSize, midXSize, midYSize, botXSize, \
       botYSize, holeSize, topShape, midShape, botShape, name, daisyChainStyle, plated, angle, \
       swapIdPad, swapIdPart, ownerPartId, swappedPadName, drillType, holeType, holeWidth, \
       holeRotation, padOffsetX, padOffsetY, jumperId, isTestPointTop, isTestPointBottom)) \
    /* A new pad that holds what pad `model` holds (its record, stack mode \
       and per-layer entries, not its true copper outline) but for the \
       fields of `place`, added to `container` (a board or a component): \
       the pad PcbApi_CreateObject, a write of such a record and \
       PcbApi_AddObjectToContainer would make. Its handle; 0 when `model` is \
       no pad, the net no live net or the container refuses it (nothing is \
       made then). */ \
    X(intptr_t, PcbApi_CopyPad, 0, \
      (intptr_t model, intptr_t container, const PcbApiPadPlace* place), \
      (model, container, place)) \
    /* Per-layer pad (or via) entries, TV6_Layer 1..82. The corner radius is \
       the percentage of half the smaller size. */ \
    X(int32_t, PcbApi_QueryPadOrViaShapeOnLayer, 0, \
      (intptr_t object, int32_t layer, int32_t* shape), (object, layer, shape)) \
    X(int32_t, PcbApi_QueryPadOrViaSizeOnLayer, 0, \
      (intptr_t object, int32_t layer, int32_t* xSize, int32_t* ySize), \
      (object, layer, xSize, ySize)) \
    X(int32_t, PcbApi_QueryPadCornerRadiusOnLayer, 0, \
      (intptr_t object, int32_t layer, int32_t* cornerRadius), (object, layer, cornerRadius)) \
    X(int32_t, PcbApi_QueryPadCRPercentageOnLayer, 0, \
      (intptr_t object, int32_t layer, int32_t* percentage), (object, layer, percentage)) \
    X(int32_t, PcbApi_SetPadShapeOnLayer, 0, (intptr_t object, int32_t layer, int32_t shape), \
      (object, layer, shape)) \
    X(int32_t, PcbApi_SetPadSizeOnLayer, 0, \
      (intptr_t object, int32_t layer, int32_t xSize, int32_t ySize), \
      (object, layer, xSize, ySize)) \
    X(int32_t, PcbApi_SetCRPctOnLayer, 0, (intptr_t object, int32_t layer, int32_t percentage), \
      (object, layer, percentage)) \
    /* The per-layer entries of `count` layers from `firstLayer` on in one \
       call: layer firstLayer + i takes shapes[i], xSizes[i], ySizes[i] and \
       crPcts[i], each value taken or refused as the three entry points above \
       take it. 1 when every value was taken; 0 when one was refused (the \
       others are taken all the same) or the pad or layer range is bad. */ \
    X(int32_t, PcbApi_SetPadLayers, 0, \
      (intptr_t object, int32_t firstLayer, int32_t count, const int32_t* shapes, \
       const int32_t* xSizes, const int32_t* ySizes, const int32_t* crPcts), \
      (object, firstLayer, count, shapes, xSizes, ySizes, crPcts)) \
    /* What the four queries above answer for `count` layers from \
       `firstLayer` on, in one call: layer firstLayer + i gives shapes[i], \
       xSizes[i], ySizes[i], cornerRadii[i] and crPcts[i]. 1 when filled; 0 \
       (nothing filled) when the object is no pad or via or the layer range \
       is bad. */ \
    X(int32_t, PcbApi_QueryPadLayers, 0, \
      (intptr_t object, int32_t firstLayer, int32_t count, int32_t* shapes, int32_t* xSizes, \
       int32_t* ySizes, int32_t* cornerRadii, int32_t* crPcts), \
      (object, firstLayer, count, shapes, xSizes, ySizes, cornerRadii, crPcts)) \
    /* Region: common, main contour (points, count, capacity), holes (all \
       hole points one after another, their count and capacity; then the \
       number of points of each hole, the hole count and capacity), Kind \
       (TRegionKind), layer set, Data, Polygon. On a read the counts are the \
       stored counts and at most `capacity` entries are filled (read once \
       with capacity 0 to size the buffers); on a write the first \
       min(count, capacity) entries are stored. */ \
    X(int32_t, PcbApi_QueryRegion, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, PcbApiPoint* contour, \
       int32_t* contourCount, int32_t contourCapacity, PcbApiPoint* holePoints, \
       int32_t* holePointCount, int32_t holePointCapacity, int32_t* holeSizes, \
       int32_t* holeCount, int32_t holeCapacity, int32_t* regionKind, PcbApiLayerSet* layerSet, \
       int32_t* data, intptr_t* polygon), \
      (mode, object, PCBAPI_COMMON_ARGS, contour, contourCount, contourCapacity, holePoints, \
       holePointCount, holePointCapacity, holeSizes, holeCount, holeCapacity, regionKind, \
       layerSet, data, polygon)) \
    /* Text: common, Size, Font, Angle, Mirror, Text (text), LineWidth, then \
       true-type settings UseTTFonts, Bold, Italic, FontName (text), Inverted, \
       InvertedBorder, then bar-code settings BarCodeKind, BarCodeRenderMode, \
       BarCodeFullWidth, BarCodeFullHeight, BarCodeXMargin, BarCodeYMargin, \
       BarCodeShowText, BarCodeInverted. */ \
    X(int32_t, PcbApi_QueryText, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* size, int32_t* font, \
       double* angle, int32_t* mirror, char* text, int32_t* lineWidth, int32_t* useTTFonts, \
       int32_t* bold, int32_t* italic, char* fontName, int32_t* inverted, \
       int32_t* invertedBorder, int32_t* barCodeKind, int32_t* barCodeRenderMode, \
       int32_t* barCodeFullWidth, int32_t* barCodeFullHeight, int32_t* barCodeXMargin, \
       int32_t* barCodeYMargin, int32_t* barCodeShowText, int32_t* barCodeInverted), \
      (mode, object, PCBAPI_COMMON_ARGS, size, font, angle, mirror, text, lineWidth, useTTFonts, \
       bold, italic, fontName, inverted, invertedBorder, barCodeKind, barCodeRenderMode, \
       barCodeFullWidth, barCodeFullHeight, barCodeXMargin, barCodeYMargin, barCodeShowText, \
       barCodeInverted)) \
    /* Component: common, ChannelOffset, ComponentKind, NameText and \
       CommentText (handles of the designator and comment texts, read-only), \
       Pattern (text), NameOn, CommentOn, GroupNum, Angle, PrimitiveLock, \
       Height, NameAutoPosition, CommentAutoPosition, UnionIndex, then the \
       texts SourceDesignator, SourceUniqueId, SourceHierarchicalPath, \
       SourceLibraryName, FootprintDescription, DefaultPCB3DModel, \
       LibraryLinkId. */ \
    X(int32_t, PcbApi_QueryComponent, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* channelOffset, \
       int32_t* componentKind, intptr_t* nameText, intptr_t* commentText, char* pattern, \
       int32_t* nameOn, int32_t* commentOn, int32_t* groupNum, double* angle, \
       int32_t* primitiveLock, int32_t* height, int32_t* nameAutoPosition, \
       int32_t* commentAutoPosition, int32_t* unionIndex, char* sourceDesignator, \
       char* sourceUniqueId, char* sourceHierarchicalPath, char* sourceLibraryName, \
       char* footprintDescription, char* defaultPcb3DModel, char* libraryLinkId), \
      (mode, object, PCBAPI_COMMON_ARGS, channelOffset, componentKind, nameText, commentText, \
       pattern, nameOn, commentOn, groupNum, angle, primitiveLock, height, nameAutoPosition, \
       commentAutoPosition, unionIndex, sourceDesignator, sourceUniqueId, \
       sourceHierarchicalPath, sourceLibraryName, footprintDescription, defaultPcb3DModel, \
       libraryLinkId)) \
    /* The handles of a component's designator and comment texts (0 for a \
       text it no longer has): what a read of the component gives of them, \
       without the rest of the record. 0 when `component` is no component \
       or a pointer is null. */ \
    X(int32_t, PcbApi_QueryComponentTexts, 0, \
      (intptr_t component, intptr_t* nameText, intptr_t* commentText), \
      (component, nameText, commentText)) \
    /* Polygon or board outline: common, PointCount, segments (array, count, \
       capacity, as the region's lists), SplitPlane, RemoveDead, UseOctagons, \
       PourOver, Grid, TrackSize, MinTrack, PrimitiveLock, PolyHatchStyle. \
       PointCount is kept as written (the segment list may hold one more, \
       closing segment). */ \
    X(int32_t, PcbApi_QueryPolygonEx, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* pointCount, \
       PcbApiPolySegment* segments, int32_t* segmentCount, int32_t segmentCapacity, \
       int32_t* splitPlane, int32_t* removeDead, int32_t* useOctagons, int32_t* pourOver, \
       int32_t* grid, int32_t* trackSize, int32_t* minTrack, int32_t* primitiveLock, \
       int32_t* polyHatchStyle), \
      (mode, object, PCBAPI_COMMON_ARGS, pointCount, segments, segmentCount, segmentCapacity, \
       splitPlane, removeDead, useOctagons, pourOver, grid, trackSize, minTrack, primitiveLock, \
       polyHatchStyle)) \
    /* Split plane: common, PointCount, segments (as the polygon's), \
       PrimitiveLock. */ \
    X(int32_t, PcbApi_QuerySplitPlane, 0, \
      (int32_t mode, intptr_t object, PCBAPI_COMMON_PARAMS, int32_t* pointCount, \
       PcbApiPolySegment* segments, int32_t* segmentCount, int32_t segmentCapacity, \
       int32_t* primitiveLock), \
      (mode, object, PCBAPI_COMMON_ARGS, pointCount, segments, segmentCount, segmentCapacity, \
       primitiveLock)) \
    /* ---- nets, from-tos, embedded objects ---- */ \
    /* Net: Name (text, unique on a board: a clashing name is refused), \
       ConnectsVisible, PwrGndColor. */ \
    X(int32_t, PcbApi_QueryNet, 0, \
      (int32_t mode, intptr_t object, char* name, int32_t* connectsVisible, \
       int32_t* pwrGndColor), \
      (mode, object, name, connectsVisible, pwrGndColor)) \
    /* Manual from-to (and from-to): FromPad, ToPad, NetName (texts), Color. */ \
    X(int32_t, PcbApi_QueryManualFromTo, 0, \
      (int32_t mode, intptr_t object, char* fromPad, char* toPad, char* netName, \
       int32_t* color), \
      (mode, object, fromPad, toPad, netName, color)) \
    /* Embedded object: Name, Description (texts). */ \
    X(int32_t, PcbApi_QueryEmbedded, 0, \
      (int32_t mode, intptr_t object, char* name, char* description), \
      (mode, object, name, description)) \
    /* ---- classes ---- */ \
    /* Class: Name (text), MemberKind (TClassMemberKind), SuperClass. */ \
    X(int32_t, PcbApi_QueryClass, 0, \
      (int32_t mode, intptr_t object, char* name, int32_t* memberKind, int32_t* superClass), \
      (mode, object, name, memberKind, superClass)) \
    /* Appends a member name (a name already there is not added twice). */ \
    X(int32_t, PcbApi_AddMemberToClass, 1, (intptr_t object, const char* memberName), \
      (object, memberName)) \
    X(int32_t, PcbApi_GetMemberFromClassAt, 1, \
      (intptr_t object, int32_t memberIndex, char* memberName), (object, memberIndex, memberName)) \
    X(int32_t, PcbApi_RemoveAllMembersFromClass, 1, (intptr_t object), (object)) \
    /* ---- rules (0 on success, 1 on failure) ---- */ \
    /* Rule: Kind (TRuleKind, read-only), NetScope, Priority, LayerKind, \
       Scope1Expression, Scope2Expression (texts). A new rule has NetScope 0, \
       Priority 1, LayerKind 0, both expressions "All" and an empty name. */ \
    X(int32_t, PcbApi_QueryRuleEx, 0, \
      (int32_t mode, intptr_t object, int32_t* ruleKind, int32_t* netScope, int32_t* priority, \
       int32_t* layerKind, char* scope1Expression, char* scope2Expression), \
      (mode, object, ruleKind, netScope, priority, layerKind, scope1Expression, \
       scope2Expression)) \
    /* Rule name (text). */ \
    X(int32_t, PcbApi_QueryRuleExtEx, 0, (int32_t mode, intptr_t object, char* name), \
      (mode, object, name)) \
    /* Extended attributes: PCBAPI_RULE_ATTRIBUTE_COUNT bytes. */ \
    X(int32_t, PcbApi_QueryRuleExt, 0, (int32_t mode, intptr_t object, uint8_t* attributes), \
      (mode, object, attributes)) \
    /* Each constraint entry point accepts only rules of its kind. */ \
    /* Clearance (kind 0): the gap. */ \
    X(int32_t, PcbApi_QueryRuleClearanceConstraint, 0, \
      (int32_t mode, intptr_t object, int32_t* gap), (mode, object, gap)) \
    /* Parallel segment (kind 1): gap and parallel limit. */ \
    X(int32_t, PcbApi_QueryRuleParallelSegmentConstraint, 0, \
      (int32_t mode, intptr_t object, int32_t* gap, int32_t* limit), (mode, object, gap, limit)) \
    /* Width (kind 2): maximum, minimum, preferred. */ \
    X(int32_t, PcbApi_QueryRuleMaxMinWidthConstraintExt, 0, \
      (int32_t mode, intptr_t object, int32_t* maxWidth, int32_t* minWidth, \
       int32_t* preferredWidth), \
      (mode, object, maxWidth, minWidth, preferredWidth)) \
    /* Daisy-chain stub length (kind 5). */ \
    X(int32_t, PcbApi_QueryRuleDaisyChainStubLengthConstraint, 0, \
      (int32_t mode, intptr_t object, int32_t* length), (mode, object, length)) \
    /* Routing topology (kind 7): topology code. */ \
    X(int32_t, PcbApi_QueryRuleRoutingTopologyRule, 0, \
      (int32_t mode, intptr_t object, int32_t* topology), (mode, object, topology)) \
    /* Routing layers (kind 9): PCBAPI_ROUTING_LAYER_COUNT direction codes, \
       0 for a layer not used. */ \
    X(int32_t, PcbApi_QueryRuleRoutingLayersRule, 0, \
      (int32_t mode, intptr_t object, int32_t* layerCodes), (mode, object, layerCodes)) \
    /* Routing via style (kind 11): min hole, min width, max hole, max width, \
       preferred hole, preferred width. */ \
    X(int32_t, PcbApi_QueryRuleRoutingViaStyleRuleExt, 0, \
      (int32_t mode, intptr_t object, int32_t* minHoleWidth, int32_t* minWidth, \
       int32_t* maxHoleWidth, int32_t* maxWidth, int32_t* preferredHoleWidth, \
       int32_t* preferredWidth), \
      (mode, object, minHoleWidth, minWidth, maxHoleWidth, maxWidth, preferredHoleWidth, \
       preferredWidth)) \
    /* Vias under SMD (kind 17): allowed. */ \
    X(int32_t, PcbApi_QueryRuleViasUnderSMDConstraint, 0, \
      (int32_t mode, intptr_t object, int32_t* allowed), (mode, object, allowed)) \
    /* Maximum via count (kind 18). */ \
    X(int32_t, PcbApi_QueryRuleMaximumViaCountRule, 0, \
      (int32_t mode, intptr_t object, int32_t* count), (mode, object, count)) \
    /* Hole to hole (kind 52): the gap between the edges of two holes. */ \
    X(int32_t, PcbApi_QueryRuleHoleToHoleClearance, 0, \
      (int32_t mode, intptr_t object, int32_t* gap), (mode, object, gap)) \
    /* SMD to corner (kind 23): distance. */ \
    X(int32_t, PcbApi_QueryRuleSMDToCorner, 0, \
      (int32_t mode, intptr_t object, int32_t* distance), (mode, object, distance))

#define PCBAPI_PROCEDURES(X) \
    /* Frees an object (taking it off its board) or does nothing for a bad handle. */ \
    X(PcbApi_DestroyObject, (intptr_t object), (object)) \
    X(PcbApi_DestroyIterator, (intptr_t iterator), (iterator)) \
    X(PcbApi_Percent_Init, (const char* caption, int32_t steps), (caption, steps)) \
    X(PcbApi_Percent_Update, (void), ()) \
    X(PcbApi_Percent_Finish, (void), ())
// clang-format on

#define PCBAPI_DECLARE_FUNCTION(R, N, D, P, A) R N P;
#define PCBAPI_DECLARE_PROCEDURE(N, P, A) void N P;
extern "C" {
PCBAPI_FUNCTIONS(PCBAPI_DECLARE_FUNCTION)
PCBAPI_PROCEDURES(PCBAPI_DECLARE_PROCEDURE)
}
