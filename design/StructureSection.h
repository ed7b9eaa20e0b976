// The "structure" section: layers, layer stack, boundary, keepouts, planes, grids, vias and rules
// of the board.
#pragma once

#include "design/FileSection.h"

class TSpecctraAbstractStructureDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraAbstractStructureDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraAbstractStructureDescriptor"; }
};

class TSpecctraDSNStructureDescriptor : public TSpecctraAbstractStructureDescriptor {
public:
    explicit TSpecctraDSNStructureDescriptor(TSpecctraObject* owner)
        : TSpecctraAbstractStructureDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraDSNStructureDescriptor"; }
};
