// The base of every section of a Specctra file.
#pragma once

#include "design/SpecctraResolution.h"
#include "specctra/SpecctraClasses1.h"

#include <memory>

// Base of every file section: owns the section's dimension resolution.
class TSpecctraFileSectionDescriptor : public TSpecctraObject {
public:
    explicit TSpecctraFileSectionDescriptor(TSpecctraObject* owner);
    ~TSpecctraFileSectionDescriptor() override;
    const char* ClassName() const override { return "TSpecctraFileSectionDescriptor"; }

    // Reads the current "resolution" block into the section's dimension
    // resolution and closes one nesting level of the section.
    bool ImportFromFile_DimensionResolution();
    TDimensionResolutionDescriptor* DimensionResolution() const {
        return FDimensionResolution.get();
    }

private:
    std::unique_ptr<TDimensionResolutionDescriptor> FDimensionResolution;
};
