// The "placement" section with its placed components, and the "floor_plan" section.
#pragma once

#include "design/FileSection.h"

#include <string>

class TSpecctraPlacementDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraPlacementDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraPlacementDescriptor"; }

    // True when a component of that reference is placed.
    virtual bool IncludesComponent(const std::string& reference) const { return false; }
};

class TSpecctraFloorPlanDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraFloorPlanDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraFloorPlanDescriptor"; }
};
