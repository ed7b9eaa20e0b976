// The "placement" section with its placed components, and the "floor_plan" section.
#pragma once

#include "design/FileSection.h"
#include "specctra/NameIndex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    bool NamedAt(uint32_t index, std::string_view name) const;
    // The placed components in file order, each freed once it is on the
    // board (a design may place millions: one pointer each, the names stay
    // in the components).
    std::vector<std::unique_ptr<TSpecctraComponentInstance>> FInstances;
    // The first component of each name (any case), made when first asked
    // for: only from-tos ask, while the design is read.
    mutable TNamePositionIndex FByName;
    mutable std::size_t FIndexed = 0;
};

class TSpecctraFloorPlanDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraFloorPlanDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraFloorPlanDescriptor"; }
};
