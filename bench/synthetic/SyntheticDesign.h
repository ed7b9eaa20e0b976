// A synthetic Specctra design of any size: N components on a grid, two
// kinds of footprints (a two-pin SMD part and a four-pin through-hole part),
// nets joining neighbouring pins (or nets of one pin each), and optionally a pre-routed wire and a
// via for every net. Used by the scaling benchmark and by tests that need a design of known
// content.
#pragma once

#include <cstdint>
#include <string>

struct TSyntheticOptions {
    int64_t Components = 1000;
    bool Wires = false;
    bool Vias = false;
    // Every net holds one pin (pin 1 of its own component) instead of
    // joining two neighbouring components: as many nets as components.
    bool OnePinNets = false;
};

// What the generated design holds, counted while it is written.
struct TSyntheticCounts {
    int64_t Components = 0;
    int64_t Pads = 0;
    int64_t Nets = 0;
    int64_t NettedPins = 0;
    int64_t Padstacks = 0;
};

std::string MakeSyntheticDesign(const TSyntheticOptions& options,
                                TSyntheticCounts* counts = nullptr);
