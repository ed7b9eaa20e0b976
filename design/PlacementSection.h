// The "placement" section with its placed components, and the "floor_plan" section.
#pragma once

#include "design/FileSection.h"

class TSpecctraPlacementDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraPlacementDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraPlacementDescriptor"; }
};

class TSpecctraFloorPlanDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraFloorPlanDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraFloorPlanDescriptor"; }
};
