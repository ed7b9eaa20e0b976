// What the library, placement and network sections of a design text hold,
// counted with the tests' own reader of the text (not the translator's).
#pragma once

#include "support/Sexpr.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace scan {

using sexpr::Node;
using sexpr::Upper;

inline const Node* Child(const Node& list, const std::string& head) {
    for (const Node& item : list.Items)
        if (Upper(item.Head()) == head)
            return &item;
    return nullptr;
}

struct Place {
    std::string Ref, Image;
    double X = 0, Y = 0, Rotation = 0;
    bool Back = false;
    bool Positioned = false;
};

struct Design {
    std::vector<Place> Places;
    std::map<std::string, int64_t> PinsOfImage; // upper-case image name, first wins
    int64_t Padstacks = 0;
    std::map<std::string, std::string> NetOfPin; // upper-case pin -> net ("" when ambiguous)
    std::string Unit;                            // upper case: design unit for placement
};

inline bool Number(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0';
}

inline int64_t PinsOf(const Node& image) {
    int64_t pins = 0;
    for (const Node& item : image.Items) {
        if (Upper(item.Head()) != "PIN")
            continue;
        const Node* array = Child(item, "ARRAY");
        if (!array) {
            ++pins;
            continue;
        }
        if (array->Items.size() < 4)
            continue;
        const long long first = std::atoll(array->Items[1].Atom.c_str());
        const long long last = std::atoll(array->Items[2].Atom.c_str());
        const long long step = std::atoll(array->Items[3].Atom.c_str());
        if (step > 0 && last >= first)
            pins += (last - first) / step + 1;
    }
    return pins;
}

inline Design Scan(const std::string& text) {
    Design design;
    sexpr::Options options;
    options.UpperWords = true;
    options.GluedPins = true; // "J3"-"D+" is one pin reference, as the network reads it
    const Node root = sexpr::ReadAll(text, options);
    const Node* pcb = nullptr;
    for (const Node& item : root.Items)
        if (Upper(item.Head()) == "PCB")
            pcb = &item;
    if (!pcb)
        return design;
    std::string resolutionUnit, topUnit, placementUnit;
    for (const Node& section : pcb->Items) {
        const std::string head = Upper(section.Head());
        if (head == "RESOLUTION" && section.Items.size() > 1 && resolutionUnit.empty() &&
            topUnit.empty())
            resolutionUnit = section.Items[1].Atom;
        if (head == "UNIT" && section.Items.size() > 1)
            topUnit = section.Items[1].Atom;
        if (head == "PLACEMENT") {
            for (const Node& component : section.Items) {
                const std::string kind = Upper(component.Head());
                if (kind == "UNIT" && component.Items.size() > 1)
                    placementUnit = component.Items[1].Atom;
                if (kind != "COMPONENT" || component.Items.size() < 2)
                    continue;
                const std::string image = component.Items[1].Atom;
                for (const Node& place : component.Items) {
                    if (Upper(place.Head()) != "PLACE" || place.Items.size() < 2)
                        continue;
                    Place p;
                    p.Ref = place.Items[1].Atom;
                    p.Image = image;
                    if (place.Items.size() >= 6 && !place.Items[2].IsList) {
                        p.Positioned = Number(place.Items[2].Atom, p.X) &&
                                       Number(place.Items[3].Atom, p.Y) &&
                                       Number(place.Items[5].Atom, p.Rotation);
                        p.Back = Upper(place.Items[4].Atom) == "BACK";
                    }
                    design.Places.push_back(p);
                }
            }
        }
        if (head == "LIBRARY") {
            for (const Node& item : section.Items) {
                const std::string kind = Upper(item.Head());
                if (kind == "PADSTACK")
                    ++design.Padstacks;
                if (kind == "IMAGE" && item.Items.size() > 1)
                    design.PinsOfImage.emplace(Upper(item.Items[1].Atom), PinsOf(item));
            }
        }
        if (head == "NETWORK") {
            for (const Node& net : section.Items) {
                if (Upper(net.Head()) != "NET" || net.Items.size() < 2)
                    continue;
                const std::string name = net.Items[1].Atom;
                for (const Node& pins : net.Items) {
                    const std::string what = Upper(pins.Head());
                    if (what != "PINS" && what != "ORDER")
                        continue;
                    for (std::size_t i = 1; i < pins.Items.size(); ++i) {
                        const std::string pin = Upper(pins.Items[i].Atom);
                        auto [at, inserted] = design.NetOfPin.emplace(pin, name);
                        if (!inserted && at->second != name)
                            at->second.clear(); // listed by two nets: not checked
                    }
                }
            }
        }
    }
    design.Unit = Upper(!placementUnit.empty() ? placementUnit
                        : !topUnit.empty()     ? topUnit
                                               : resolutionUnit);
    return design;
}

// Host units (10000 per mil) per unit of the design text.
inline double HostPerUnit(const std::string& unit) {
    if (unit == "INCH")
        return 1e7;
    if (unit == "MM")
        return 1e4 / 0.0254;
    if (unit == "CM")
        return 1e5 / 0.0254;
    if (unit == "UM")
        return 10 / 0.0254;
    return 1e4;
}

} // namespace scan
