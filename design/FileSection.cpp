#include "design/FileSection.h"

TSpecctraFileSectionDescriptor::TSpecctraFileSectionDescriptor(TSpecctraObject* owner)
    : TSpecctraObject(owner),
      FDimensionResolution(std::make_unique<TDimensionResolutionDescriptor>(this)) {}

TSpecctraFileSectionDescriptor::~TSpecctraFileSectionDescriptor() = default;

bool TSpecctraFileSectionDescriptor::ImportFromFile_DimensionResolution() {
    if (!FDimensionResolution)
        FDimensionResolution = std::make_unique<TDimensionResolutionDescriptor>(this);
    FDimensionResolution->SectionsOpen = 1;
    const bool result = FDimensionResolution->ImportFromFile();
    --SectionsOpen;
    return result;
}
