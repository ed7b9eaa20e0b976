// The "network" section: nets, classes, groups and from-tos.
#pragma once

#include "design/FileSection.h"

class TSpecctraAbstractNetworkDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraAbstractNetworkDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraAbstractNetworkDescriptor"; }
};

class TSpecctraDsnNetworkDescriptor : public TSpecctraAbstractNetworkDescriptor {
public:
    explicit TSpecctraDsnNetworkDescriptor(TSpecctraObject* owner)
        : TSpecctraAbstractNetworkDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraDsnNetworkDescriptor"; }
};
