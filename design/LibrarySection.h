// The "library" section with images and padstacks, and the "part_library" section.
#pragma once

#include "design/FileSection.h"

#include <memory>
#include <string>
#include <vector>

class TSpecctraPadstack;
class TSpecctraCompImage;

// The padstacks of a library, in file order, found by name without regard to
// case (the first of two equal names wins).
class TSpecctraAbstractLibraryDescriptor : public TSpecctraObject {
public:
    explicit TSpecctraAbstractLibraryDescriptor(TSpecctraObject* owner);
    ~TSpecctraAbstractLibraryDescriptor() override;
    const char* ClassName() const override { return "TSpecctraAbstractLibraryDescriptor"; }

    int32_t PadstackCount() const;
    // None outside 0 .. count - 1.
    TSpecctraPadstack* GetPadstack(int32_t index) const;
    // Ignored outside 0 .. count - 1.
    void SetPadstack(int32_t index, std::unique_ptr<TSpecctraPadstack> padstack);
    TSpecctraPadstack* GetState_PadStackByName(const std::string& name) const;
    bool ExportToPCB_RoutingViaStyle(const std::string& padstack) override;
    TSpecctraPadstack* Get_PadstackByName(const std::string& name) override {
        return GetState_PadStackByName(name);
    }
    // A library of padstacks only has no images.
    TSpecctraCompImage* Get_ImageByName(const std::string&) override { return nullptr; }
    TSpecctraPadstack* AddPadstack(std::unique_ptr<TSpecctraPadstack> padstack);

    // Reads the padstacks the design import stored in the board ("PadstackList"
    // and its "PADSTACK" records, in the order found on the board). A board
    // without them is told to the user and leaves the library empty; records
    // out of the list's range and a short count are reported.
    bool ImportFromPcb_Padstacks();

protected:
    std::unique_ptr<TSpecctraList> FPadstacks;
};

class TSpecctraFamilyToFamily : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    const char* ClassName() const override { return "TSpecctraFamilyToFamily"; }
    bool ImportFromFile() override { return ImportUnknownBlock(); }
};

class TSpecctraImageToImage : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    const char* ClassName() const override { return "TSpecctraImageToImage"; }
    bool ImportFromFile() override { return ImportUnknownBlock(); }
};

// The library of a design file: padstacks, images, jumpers and the rest.
class TSpecctraDSNLibraryDescriptor : public TSpecctraAbstractLibraryDescriptor {
public:
    explicit TSpecctraDSNLibraryDescriptor(TSpecctraObject* owner);
    ~TSpecctraDSNLibraryDescriptor() override;
    const char* ClassName() const override { return "TSpecctraDSNLibraryDescriptor"; }

    bool ImportFromFile() override;
    // Stores the padstacks in the board and makes the layer pairs.
    bool ExportToPCB() override;

    TSpecctraCompImage* GetState_CompImageByName(const std::string& name) const;
    TSpecctraCompImage* Get_ImageByName(const std::string& name) override {
        return GetState_CompImageByName(name);
    }
    int32_t ImageCount() const;
    TSpecctraCompImage* GetImage(int32_t index) const;

    std::unique_ptr<TSpecctraList> Jumpers;
    std::unique_ptr<TSpecctraList> ViaArrayTemplates;
    std::unique_ptr<std::vector<std::string>> Directories;
    std::string ExtraImageDirectory;
    std::unique_ptr<TSpecctraFamilyToFamily> FamilyPairs;
    std::unique_ptr<TSpecctraImageToImage> ImagePairs;

private:
    void StorePadstacks();
    void MakeLayerPairs();
    template <class T> bool ReadInto(std::unique_ptr<TSpecctraList>& list);

    std::unique_ptr<TSpecctraList> FImages;
};

class TSpecctraPartLibraryDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraPartLibraryDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraPartLibraryDescriptor"; }
};
