// The board as the design model sees it: objects made, read, written and
// added through wrappers, every answer a plain success flag. The model
// (design, geometry, rules) reaches the engine only through this header, the
// wrappers of Pcbclass.h and the stored-data helpers.
#pragma once

#include "board/Pcbclass.h"

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace Board {

// A new free engine object of a kind (0 without an engine). Rules and classes
// have their own makers.
intptr_t NewObject(TObjectId kind);
intptr_t NewRule(TRuleKind kind);
intptr_t NewClass(TObjectId memberKind);
// Destroys an object that no board or component holds.
void FreeObject(intptr_t object);

// Reads the engine record into the wrapper's fields / writes the fields into
// the engine object. True on success, whatever code the kind's query uses.
bool Read(TPCBObject& object);
bool Write(TPCBObject& object);
bool Read(TLayerObject& layer);
bool Write(TLayerObject& layer);

// Steps of making a board object: Make creates the engine object of the
// wrapper's kind (a rule of its rule kind, a class of its member kind) and
// reads the engine's defaults into the wrapper; the caller sets the fields;
// AddTo writes them and adds the object to a board or a component, which owns
// it from then on. A failed AddTo destroys the object and clears the
// wrapper's handle. Without an engine both answer false.
bool Make(TPCBObject& object);
bool AddTo(intptr_t container, TPCBObject& object);

// The record of a new track that holds the wrapper's fields.
PcbApiNewTrack NewTrackOf(const TPcbTrack& track);
// Makes the tracks in order and adds each to `container` (a board or a
// component): handles[i] is the new track's handle, or 0 where its record or
// the adding was refused. In one engine call where the engine offers it,
// else each as Make and AddTo would.
void AddTracks(intptr_t container, const std::vector<PcbApiNewTrack>& tracks,
               std::vector<intptr_t>& handles);
// Test seam: false makes AddTracks go one track at a time, as with an engine
// that has no batch entry point.
void UseTrackBatches(bool use);

// Pads made as copies of a model pad that holds every field they share: a
// free pad written once, never added to a board (FreeObject frees it).
// Whether the engine makes such copies (and the test seam UsePadCopies has
// not turned them off).
bool CanCopyPads();
void UsePadCopies(bool use);
// A copy of pad `model` with the fields of `place`, added to `container` (a
// board or a component): the pad Make, a write of the model's fields with
// those and AddTo would make. Its handle, or 0 where it was refused.
intptr_t CopyPad(intptr_t model, intptr_t container, const PcbApiPadPlace& place);

// A pad's true copper, kept by the engine beside its record where the host's
// pad kinds cannot hold the shape: pieces of one point, a segment or a polygon
// grown by a radius, each on an entry of the pad's per-layer table, about the
// pad's centre before its rotation (host units). False when the engine keeps
// no such outlines or refuses these.
struct TPadCopperPiece {
    int32_t Entry = 0;
    double Radius = 0.0;
    std::vector<int32_t> XY; // x and y in turn
};
bool SetPadOutline(intptr_t pad, const std::vector<TPadCopperPiece>& pieces);

// Make for the objects an import makes by the thousand or more (tracks,
// arcs, vias, nets, stored records): a fresh object of such a kind always
// answers the same record, which holds every field of the wrapper, so the
// engine's defaults are read once and every later object starts from a copy
// of them.
template <class TWrapper> bool MakeFromDefaults(TWrapper& object) {
    constexpr bool plainRecord =
        std::is_same_v<TWrapper, TPcbTrack> || std::is_same_v<TWrapper, TPcbArc> ||
        std::is_same_v<TWrapper, TPcbVia> || std::is_same_v<TWrapper, TPcbNet> ||
        std::is_same_v<TWrapper, TPcbEmbedded>;
    if constexpr (!plainRecord) {
        return Make(object);
    } else {
        static std::optional<TWrapper> defaults;
        if (!defaults) {
            if (!Make(object))
                return false;
            defaults = object;
            return true;
        }
        const intptr_t handle = NewObject(object.GetState_ObjectKind());
        if (handle == 0)
            return false;
        object = *defaults;
        object.SetState_ObjectHandle(handle);
        return true;
    }
}

// The three steps at once: the handle of the new object, or 0.
template <class TWrapper, class TFill>
intptr_t MakeAndAdd(intptr_t container, TWrapper& object, TFill&& fill) {
    if (container == 0 || !MakeFromDefaults(object))
        return 0;
    fill(object);
    return AddTo(container, object) ? object.GetState_ObjectHandle() : 0;
}

// Adds an object made earlier (free) to the board; true on success.
bool Add(intptr_t board, intptr_t object);
// Removes an object from the board and destroys it.
bool Remove(intptr_t board, intptr_t object);

// The board net of that name, or 0.
intptr_t NetByName(intptr_t board, const std::string& name);
// The board's outline object, made when the board has none (0 without one).
intptr_t BoardOutline(intptr_t board);
// Refreshes the board outline after its segments were written.
bool UpdateBoardOutline(intptr_t outline);

// Closes the host's progress indicator opened by the reader.
void FinishProgress();

// The six values of a routing via style rule (minimum hole, minimum width,
// maximum hole, maximum width, preferred hole, preferred width): read from
// the engine object, or written to it. True on success.
bool ExchangeViaStyle(const TPcbRuleEx& rule, int32_t values[6], bool read);
// Sets the first byte of a rule's extended attributes (who made the rule).
bool SetRuleMaker(const TPcbRuleEx& rule, uint8_t maker);
// The board's layer pairs become exactly these (low, high) pairs.
void ReplaceLayerPairs(intptr_t board, const std::vector<std::pair<TV6_Layer, TV6_Layer>>& pairs);
// The tracks of a net in one engine call, in the order a walk over the net's
// tracks gives them, each row's layer as a track record reads it. False
// (rows unchanged) when the engine cannot list them: walk them one by one.
bool ReadNetTracks(intptr_t net, std::vector<PcbApiTrackRow>& rows);

// An internal plane of the layer stack: its name and its plane net's name.
struct TPlaneNet {
    std::string Layer;
    std::string Net;
};
// The internal planes of the stack in layer order, read once for a walk
// that asks for the planes of many nets.
std::vector<TPlaneNet> PlaneNets(intptr_t board);
// The names of the planes whose plane net is `net`, each preceded by one
// blank; empty for an empty net name.
std::string PlaneLayersOfNet(const std::vector<TPlaneNet>& planes, const std::string& net);
// The same, for the planes of the board as they are now.
std::string PlaneLayersOfNet(intptr_t board, const std::string& net);
// A host coordinate as text in the board's display unit ("1000mil", "2.54mm").
std::string CoordinateText(intptr_t board, int32_t value);

} // namespace Board
