// The "library" section with images and padstacks, and the "part_library" section.
#pragma once

#include "design/FileSection.h"

class TSpecctraAbstractLibraryDescriptor : public TSpecctraObject {
public:
    explicit TSpecctraAbstractLibraryDescriptor(TSpecctraObject* owner) : TSpecctraObject(owner) {}
    const char* ClassName() const override { return "TSpecctraAbstractLibraryDescriptor"; }
};

class TSpecctraDSNLibraryDescriptor : public TSpecctraAbstractLibraryDescriptor {
public:
    explicit TSpecctraDSNLibraryDescriptor(TSpecctraObject* owner)
        : TSpecctraAbstractLibraryDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraDSNLibraryDescriptor"; }
};

class TSpecctraPartLibraryDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraPartLibraryDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraPartLibraryDescriptor"; }
};
