// The "wiring" section of a design and the test points of a route file.
#pragma once

#include "design/FileSection.h"

class TSpecctraAbstractWiringDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraAbstractWiringDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraAbstractWiringDescriptor"; }
};

class TSpecctraDSNWiringDescriptor : public TSpecctraAbstractWiringDescriptor {
public:
    explicit TSpecctraDSNWiringDescriptor(TSpecctraObject* owner)
        : TSpecctraAbstractWiringDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraDSNWiringDescriptor"; }
};

class TSpecctraTestpointsDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraTestpointsDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraTestpointsDescriptor"; }
};
