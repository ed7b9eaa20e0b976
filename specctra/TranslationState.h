// The state one translation shares across the whole model: the resolution
// factor, the board offset, the stop request, the pin-to-net index, the
// polygons the import created and the board objects already written. Reset
// before every translation; one translation runs at a time.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TSpecctraObject;

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
    std::unordered_map<std::string, TSpecctraObject*> PinToNetIndex;
    // The board objects already written to a route or session file.
    std::unordered_set<intptr_t> WrittenBoardObjects;

    // Back to the state before any translation.
    void Reset() { *this = TTranslationState(); }
};

// The one translation state of the plug-in.
TTranslationState& TranslationState();

// Resets the translation state; every translation flow starts with it.
void ResetTranslationState();
