// The common root of a Specctra file. It owns the sections every file kind
// shares without knowing them: the root of each file kind makes them, and the
// root hands the questions its objects ask to the section that knows.
#pragma once

#include "design/FileSection.h"
#include "design/ParserSection.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraClasses1.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

class TSpecctraAbstractStructureDescriptor;
class TSpecctraAbstractLibraryDescriptor;
class TSpecctraDSNLibraryDescriptor;
class TSpecctraAbstractNetworkDescriptor;

// A section owned through the object base, so that its owner needs only its
// name; handed out by its own type. A section is given to it where its class
// is known.
template <class T> class TOwnedSection {
public:
    TOwnedSection& operator=(std::unique_ptr<T> section) {
        FTyped = section.get();
        FOwned = std::move(section);
        return *this;
    }
    T* get() const { return FTyped; }
    T* operator->() const { return FTyped; }
    T& operator*() const { return *FTyped; }
    explicit operator bool() const { return FTyped != nullptr; }
    // The section as a model object, for the questions the object base asks.
    TSpecctraObject* Object() const { return FOwned.get(); }

private:
    std::unique_ptr<TSpecctraObject> FOwned;
    T* FTyped = nullptr;
};

// The common root of a Specctra file: its name, parser or writer, board and
// the four sections every file kind shares.
class TSpecctraFile : public TSpecctraObject {
public:
    TSpecctraFile(const std::string& fileName, TSpecctraParser* parser, TSpecctraWriter* writer,
                  intptr_t board);
    ~TSpecctraFile() override;
    const char* ClassName() const override { return "TSpecctraFile"; }
    bool IsFileRoot() const override { return true; }

    intptr_t GetBoard() override { return FBoard; }
    TSpecctraRuleCollection* GetRuleCollection() override;
    // The net of that name from the network section, or none.
    TSpecctraObject* Get_NetByName(const std::string& name) override;
    // The layer of that name from the structure's layer stack, or none.
    TSpecctraObject* Get_LayerByName(const std::string& name) override;
    TV6_Layer Get_HostLayerByName(const std::string& name) override;
    // The padstack and the image of that name from the library, or none.
    TSpecctraPadstack* Get_PadstackByName(const std::string& name) override;
    TSpecctraCompImage* Get_ImageByName(const std::string& name) override;
    // The host's services for this translation (none until given): every
    // object under the root asks for them here, and the root hands the
    // Escape key to its reader.
    const THostServices& Services() const override { return FServices; }
    virtual void SetServices(const THostServices& services);

    virtual TSpecctraAbstractStructureDescriptor* CreateStructureDescriptor() = 0;
    virtual TSpecctraAbstractLibraryDescriptor* CreateLibraryDescriptor() = 0;
    virtual TSpecctraAbstractNetworkDescriptor* CreateNetworkDescriptor() = 0;

    const std::string& FileName() const { return FFileName; }
    TSpecctraParserDescriptor* ParserSection() const { return FParserSection.get(); }
    TSpecctraAbstractStructureDescriptor* Structure() const { return FStructure.get(); }
    TSpecctraAbstractLibraryDescriptor* Library() const { return FLibrary.get(); }
    TSpecctraAbstractNetworkDescriptor* Network() const { return FNetwork.get(); }
    // The library as a model object, or none.
    TSpecctraObject* LibraryObject() const { return FLibrary.Object(); }
    // The library when it is a design file's, or none.
    virtual TSpecctraDSNLibraryDescriptor* DesignLibrary() const { return nullptr; }
    // Whether the design's placement holds a component of that reference;
    // none for a file without a component placement.
    virtual std::optional<bool> PlacesComponent(const std::string&) const { return std::nullopt; }

protected:
    // Lets the rule collection, made on first use, read the rule blocks and
    // make the rule scopes of this file kind.
    virtual void RegisterRuleReaders(TSpecctraRuleCollection& rules) = 0;

    // Members are destroyed bottom up: the rules, which refer to objects of
    // the sections, go first.
    intptr_t FBoard;
    std::string FFileName;
    THostServices FServices;
    std::unique_ptr<TSpecctraParserDescriptor> FParserSection;
    TOwnedSection<TSpecctraAbstractStructureDescriptor> FStructure;
    TOwnedSection<TSpecctraAbstractLibraryDescriptor> FLibrary;
    TOwnedSection<TSpecctraAbstractNetworkDescriptor> FNetwork;
    std::unique_ptr<TSpecctraRuleCollection> FRules;
};
