// The state one translation shares across the whole model: the resolution
// factor, the board offset, the stop request, the pin-to-net index, the
// polygons the import created and the board objects already written. Reset
// before every translation; one translation runs at a time.
#pragma once

#include "specctra/NameIndex.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TSpecctraObject;

// The network's pin-to-net index: pin reference ("REF-PIN") to the net that
// listed it (not owned). References compare without regard to ASCII letter
// case; the first net that lists a reference keeps it. The references sit
// one after the other in one block of text and the table is one flat array
// of slots, so that a look-up on a board of a million pins touches two
// places in memory and no entry costs an allocation of its own.
class TPinToNetIndex {
public:
    // Enters the reference for the net unless a net already holds it; true
    // when it was entered (or the same net holds it already).
    bool Add(std::string_view pin, TSpecctraObject* net);
    // The net of the reference, or none.
    TSpecctraObject* Find(std::string_view pin) const;
    // Starts loading what a look-up of the reference reads first. On a board
    // of a million pins the table lies far outside the processor's caches:
    // a reader that knows the references it will look up soon asks for all
    // of them at once, and the look-ups wait for memory once instead of once
    // each.
    void Prefetch(std::string_view pin) const;
    // True when the index is large enough to lie outside the processor's
    // caches, where prefetching pays.
    bool Large() const;
    // Prefetch for the plain references (words up to a space, a line break
    // or a parenthesis) that open `text`, up to a parenthesis, a quote or a
    // comment, or the first `most` of them. A reader about to enter a net's
    // pins asks for the next net's; a reference spelled otherwise is entered
    // as ever, only without its prefetch.
    void PrefetchWords(std::string_view text, int most) const;
    // Removes the reference when `net` is the net that holds it.
    void Remove(std::string_view pin, const TSpecctraObject* net);
    std::size_t Count() const { return FCount; }
    void Reserve(std::size_t count);
    // Once every reference is in: gives back the room kept for more
    // references when it is more than an eighth of the room used, and the
    // table's slots beyond three quarters full.
    void Compact();
    void Clear();

private:
    struct TEntry {
        uint32_t Offset; // of the reference in FText
        uint32_t Length;
        TSpecctraObject* Net; // none once removed
    };
    bool SameAs(uint32_t entry, std::string_view pin) const;
    const TEntry* Entry(std::string_view pin, uint64_t hash) const;

    TNamePositionIndex FSlots; // to FEntries
    std::vector<TEntry, TTableAllocator<TEntry>> FEntries;
    std::string FText;
    std::size_t FCount = 0;
};

// A set of board object handles (never 0), hashed in one flat table: a
// routed board puts a million tracks in it.
class THandleSet {
public:
    // True when the handle was not in the set yet.
    bool insert(intptr_t handle);
    std::size_t count(intptr_t handle) const;
    std::size_t size() const { return FSize; }
    void clear();

private:
    std::size_t Slot(intptr_t handle) const;
    std::vector<intptr_t, TTableAllocator<intptr_t>> FSlots;
    std::size_t FSize = 0;
};

struct TTranslationState {
    // Divisor applied to lengths read from text, multiplier applied to board
    // lengths written as text.
    double ResolutionFactor = 1.0;
    // Added to every position converted to the board; subtracted from every
    // board position written as text.
    int32_t BoardOffsetX = 0;
    int32_t BoardOffsetY = 0;
    // Set by a reader that met an error after which reading must stop.
    bool StopFlag = false;
    // Set while a design is read when an image holds conductors or vias, so
    // that free primitives need their nets refreshed afterwards.
    bool NetsNeedUpdate = false;
    // The polygons the import created on the board, in creation order.
    std::vector<intptr_t> CreatedPolygons;
    // The network's pin-to-net index ("REF-PIN" to the net object, not owned).
    TPinToNetIndex PinToNetIndex;
    // The board objects already written to a route or session file.
    THandleSet WrittenBoardObjects;

    // Back to the state before any translation.
    void Reset() { *this = TTranslationState(); }
};

// The one translation state of the plug-in. Readers ask for it at every
// token and writers at every coordinate, so it is a plain object reached
// inline (a global, so there is no guard to test on each use). GCC makes it
// before any code runs; it is not marked constinit because clang does not take
// the strings it holds as constant.
namespace TranslationDetail {
extern TTranslationState GState;
} // namespace TranslationDetail

inline TTranslationState& TranslationState() {
    return TranslationDetail::GState;
}

// Resets the translation state; every translation flow starts with it.
void ResetTranslationState();
