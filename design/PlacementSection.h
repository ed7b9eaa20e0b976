// The "placement" section with its placed components, and the "floor_plan" section.
#pragma once

#include "design/FileSection.h"

#include <cstdint>
#include <memory>
#include <string>

class TSpecctraComponentInstance;

class TSpecctraPlacementDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraPlacementDescriptor(TSpecctraObject* owner);
    ~TSpecctraPlacementDescriptor() override;
    const char* ClassName() const override { return "TSpecctraPlacementDescriptor"; }

    // True when a component of that reference is placed.
    virtual bool IncludesComponent(const std::string& reference) const;
    bool ImportFromFile() override;
    // Writes the components in file order; stops at the first that fails.
    bool ExportToPCB() override;
    // Frees the placed components once they are on the board and the rules
    // that name them are written; nothing after the import reads them.
    void ReleaseInstances();

    int32_t InstanceCount() const;
    TSpecctraComponentInstance* GetInstance(int32_t index) const;
    // The placed component of that designator (any case), or none.
    TSpecctraComponentInstance* GetState_InstanceByName(const std::string& name) const;

    // "mirror_first" 0, "rotate_first" 1.
    uint8_t FlipStyle = 0;

private:
    bool ReadComponent();
    std::unique_ptr<TSpecctraList> FInstances;
};

class TSpecctraFloorPlanDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraFloorPlanDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraFloorPlanDescriptor"; }
};
