#include "design/LibrarySection.h"

#include "sdk/AsciiText.h"

#include "board/BoardFacade.h"
#include "design/StructureSection.h"
#include "geometry/DesignAccess.h"
#include "geometry/SpecctraComp.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "specctra/BlockReader.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraParser2.h"

#include <cstdio>
#include <type_traits>
#include <utility>

// ---------------------------------------------------------------------------
// TSpecctraAbstractLibraryDescriptor

TSpecctraAbstractLibraryDescriptor::TSpecctraAbstractLibraryDescriptor(TSpecctraObject* owner)
    : TSpecctraObject(owner), FPadstacks(CreateList()) {}

TSpecctraAbstractLibraryDescriptor::~TSpecctraAbstractLibraryDescriptor() = default;

// The structure's routing via styles: a board-wide rule (scope "All") for
// each via padstack of its via list.
bool TSpecctraAbstractLibraryDescriptor::ExportToPCB_RoutingViaStyle(const std::string& name) {
    TSpecctraPadstack* padstack = GetState_PadStackByName(name);
    if (!padstack)
        return false;
    padstack->ExportToPcb_AsRoutingViaRule(std::string(), std::string());
    return true;
}

int32_t TSpecctraAbstractLibraryDescriptor::PadstackCount() const {
    return FPadstacks->Count();
}

TSpecctraPadstack* TSpecctraAbstractLibraryDescriptor::GetPadstack(int32_t index) const {
    return static_cast<TSpecctraPadstack*>(FPadstacks->GetState_SpecctraObject(index));
}

void TSpecctraAbstractLibraryDescriptor::SetPadstack(int32_t index,
                                                     std::unique_ptr<TSpecctraPadstack> padstack) {
    if (index < 0 || index >= FPadstacks->Count())
        return;
    FPadstacks->SetState_SpecctraObject(index, std::move(padstack));
}

TSpecctraPadstack*
TSpecctraAbstractLibraryDescriptor::GetState_PadStackByName(const std::string& name) const {
    return static_cast<TSpecctraPadstack*>(FPadstacks->Find(name));
}

TSpecctraPadstack*
TSpecctraAbstractLibraryDescriptor::AddPadstack(std::unique_ptr<TSpecctraPadstack> padstack) {
    return FPadstacks->AddNew(std::move(padstack));
}

bool TSpecctraAbstractLibraryDescriptor::ImportFromPcb_Padstacks() {
    const intptr_t board = GetBoard();
    bool found = false;
    const TStoredParameters list(StoredRecordName(board, "PadstackList", found));
    if (!found) {
        ShowHostMessage(
            Services(),
            "You can export routes only for pcb files previously imported as design files.");
        return true;
    }
    std::string text;
    int32_t stored = 0;
    if (!list.Get("PDC", text) || !ConvertSpecctraInt(text, stored)) {
        ReportError("ERROR: Cannot read info on number of stored padstack defs.");
        return true;
    }
    // The records in the order found on the board.
    int32_t loaded = 0;
    ProcessItems(board, eEmbeddedObject, [&](intptr_t handle) {
        TPcbEmbedded record(handle);
        if (!Board::Read(record) || !IsOwnEmbeddedName(record.GetState_Name()))
            return true;
        const TStoredParameters name(record.GetState_Name());
        std::string type;
        std::string index;
        int32_t value = 0;
        if (!name.Get("Type", type) || !HostSdk::SameTextAscii(type, "PADSTACK") ||
            !name.Get("IDX", index) || !ConvertSpecctraInt(index, value))
            return true;
        if (value < 0 || value > stored) {
            char message[160];
            std::snprintf(message, sizeof message, "Padstack index out of range: (%d) (%s).",
                          stored, record.GetState_Name().c_str());
            ReportError(message);
            return true;
        }
        auto padstack = std::make_unique<TSpecctraPadstack>(this);
        if (padstack->ImportFromPCB_FromEmbedded(record))
            AddPadstack(std::move(padstack));
        ++loaded;
        return true;
    });
    if (loaded < stored) {
        char message[128];
        std::snprintf(message, sizeof message, "Cannot load all stored padstacks (S: %d) (L: %d).",
                      stored, loaded);
        ReportError(message);
    }
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraDSNLibraryDescriptor

TSpecctraDSNLibraryDescriptor::TSpecctraDSNLibraryDescriptor(TSpecctraObject* owner)
    : TSpecctraAbstractLibraryDescriptor(owner), FImages(CreateList()) {}

TSpecctraDSNLibraryDescriptor::~TSpecctraDSNLibraryDescriptor() = default;

TSpecctraCompImage*
TSpecctraDSNLibraryDescriptor::GetState_CompImageByName(const std::string& name) const {
    return static_cast<TSpecctraCompImage*>(FImages->Find(name));
}

int32_t TSpecctraDSNLibraryDescriptor::ImageCount() const {
    return FImages->Count();
}

TSpecctraCompImage* TSpecctraDSNLibraryDescriptor::GetImage(int32_t index) const {
    return static_cast<TSpecctraCompImage*>(FImages->GetState_SpecctraObject(index));
}

template <class T>
bool TSpecctraDSNLibraryDescriptor::ReadInto(std::unique_ptr<TSpecctraList>& list) {
    return DesignAccess::ReadChild(*this, std::make_unique<T>(this), list);
}

bool TSpecctraDSNLibraryDescriptor::ImportFromFile() {
    // Pairs of families or images are not translated: their blocks are read
    // past.
    const auto pairs = [&](auto& block) {
        using TBlock = typename std::remove_reference_t<decltype(block)>::element_type;
        if (!block)
            block = std::make_unique<TBlock>(this);
        block->SectionsOpen = 1;
        block->ImportFromFile();
        --SectionsOpen;
        return true;
    };
    // An image, padstack or jumper that is bad is left out; the library
    // reads on.
    const auto readOn = [](bool) { return true; };
    return ReadSubBlocks(
        *this, {{eTok_unit,
                 [&] {
                     FUnits = ReadUnit(Parser->NextToken());
                     return true;
                 }},
                {eTok_image, [&] { return readOn(ReadInto<TSpecctraCompImage>(FImages)); }},
                {eTok_padstack, [&] { return readOn(ReadInto<TSpecctraPadstack>(FPadstacks)); }},
                {eTok_jumper, [&] { return readOn(ReadInto<TSpecctraJumper>(Jumpers)); }},
                {eTok_via_array_template,
                 [&] { return readOn(ReadInto<TSpecctraViaArrayTemplate>(ViaArrayTemplates)); }},
                {eTok_directory,
                 [&] {
                     if (!Directories)
                         Directories = std::make_unique<std::vector<std::string>>();
                     while (!StopParsing() && Parser->NextToken() != eTok_CloseParen)
                         Directories->push_back(Parser->TokenString());
                     --SectionsOpen;
                     return true;
                 }},
                {eTok_extra_image_directory,
                 [&] {
                     ExtraImageDirectory = Parser->NextString();
                     return true;
                 }},
                {eTok_family_family, [&] { return pairs(FamilyPairs); }},
                {eTok_image_image, [&] { return pairs(ImagePairs); }}});
}

bool TSpecctraDSNLibraryDescriptor::ExportToPCB() {
    StorePadstacks();
    MakeLayerPairs();
    return true;
}

void TSpecctraDSNLibraryDescriptor::StorePadstacks() {
    const intptr_t board = GetBoard();
    if (FindEmbeddedObject(board, "PadstackList") != 0) {
        ReportWarning("Board  already contains padstack definitions which will be deleted.");
        // Only the earlier padstack definitions go: the constants and the
        // board offset this import stored a moment ago stay.
        DeleteEmbeddedObjectsOfTypes(board, {"PadstackList", "PADSTACK"});
    }
    if (!AddEmbeddedRecord(board,
                           "Server=Ravel|Type=PadstackList|PDC=" + std::to_string(PadstackCount()),
                           std::string()))
        ReportError("The padstack list could not be stored in the board.");
    for (int32_t i = 0; i < PadstackCount(); ++i)
        GetPadstack(i)->ExportToPcb_ToEmbedded(i);
}

void TSpecctraDSNLibraryDescriptor::MakeLayerPairs() {
    std::vector<std::pair<TV6_Layer, TV6_Layer>> pairs;
    for (int32_t i = 0; i < PadstackCount(); ++i) {
        TSpecctraPadstack* padstack = GetPadstack(i);
        TSpecctraLayer* first = padstack->StartLayer();
        TSpecctraLayer* last = padstack->EndLayer();
        if (!first || !last) {
            ReportError("Invalid padstack definition <" + padstack->NameID +
                        ">, no valid pads inside");
            continue;
        }
        if (first == last)
            continue;
        const TV6_Layer low = DesignAccess::HostLayer(*first);
        const TV6_Layer high = DesignAccess::HostLayer(*last);
        bool known = false;
        for (const auto& [l, h] : pairs)
            known = known || (l == low && h == high);
        if (!known)
            pairs.emplace_back(low, high);
    }
    Board::ReplaceLayerPairs(GetBoard(), pairs);
}
