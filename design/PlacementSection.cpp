#include "design/PlacementSection.h"

#include "geometry/SpecctraComp.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraRuleCollection.h"

TSpecctraPlacementDescriptor::TSpecctraPlacementDescriptor(TSpecctraObject* owner)
    : TSpecctraFileSectionDescriptor(owner) {}

TSpecctraPlacementDescriptor::~TSpecctraPlacementDescriptor() {
    ReleaseInstances();
}

int32_t TSpecctraPlacementDescriptor::InstanceCount() const {
    return static_cast<int32_t>(FInstances.size());
}

TSpecctraComponentInstance* TSpecctraPlacementDescriptor::GetInstance(int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= FInstances.size())
        return nullptr;
    return FInstances[static_cast<std::size_t>(index)].get();
}

bool TSpecctraPlacementDescriptor::NamedAt(uint32_t index, std::string_view name) const {
    // A component already freed (on the board) is found no more.
    const TSpecctraComponentInstance* instance = FInstances[index].get();
    return instance && SameNameAnyCase(instance->NameID, name);
}

TSpecctraComponentInstance*
TSpecctraPlacementDescriptor::GetState_InstanceByName(const std::string& name) const {
    for (; FIndexed < FInstances.size(); ++FIndexed)
        if (const TSpecctraComponentInstance* instance = FInstances[FIndexed].get()) {
            const std::string& key = instance->NameID;
            FByName.FindOrInsert(AnyCaseNameHash(key), static_cast<uint32_t>(FIndexed),
                                 [&](uint32_t i) { return NamedAt(i, key); });
        }
    const int64_t found =
        FByName.Find(AnyCaseNameHash(name), [&](uint32_t i) { return NamedAt(i, name); });
    return found < 0 ? nullptr : FInstances[static_cast<std::size_t>(found)].get();
}

void TSpecctraPlacementDescriptor::ReleaseInstances() {
    FByName.Clear();
    FIndexed = 0;
    // The newest first: a component may refer to one placed before it.
    while (!FInstances.empty())
        FInstances.pop_back();
    FInstances.shrink_to_fit();
}

bool TSpecctraPlacementDescriptor::IncludesComponent(const std::string& reference) const {
    return GetState_InstanceByName(reference) != nullptr;
}

bool TSpecctraPlacementDescriptor::ImportFromFile() {
    const bool result = ReadSubBlocks(
        *this, {{eTok_unit,
                 [&] {
                     FUnits = ReadUnit(Parser->NextToken());
                     return true;
                 }},
                {eTok_resolution, [&] { return ImportFromFile_DimensionResolution(); }},
                {eTok_place_control,
                 [&] {
                     // Its sub-blocks are read at this level.
                     FlipStyle = 0;
                     return true;
                 }},
                {eTok_flip_style,
                 [&] {
                     const int32_t style = Parser->NextToken();
                     if (style == eTok_mirror_first)
                         FlipStyle = 0;
                     else if (style == eTok_rotate_first)
                         FlipStyle = 1;
                     return true;
                 }},
                {eTok_component, [&] { return ReadComponent(); }}});
    // The list lives until the components are on the board.
    FInstances.shrink_to_fit();
    return result;
}

bool TSpecctraPlacementDescriptor::ReadComponent() {
    // (component IMAGE (place ...) (place ...) ...)
    const auto image = std::make_shared<const std::string>(Parser->NextString());
    const int32_t level = SectionsOpen - 1;
    bool result = true;
    while (SectionsOpen > level && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_place) {
            auto instance = std::make_unique<TSpecctraComponentInstance>(this);
            instance->SetImageRefID(image);
            instance->SectionsOpen = 1;
            const int32_t line = Parser->LineNumber();
            const bool read = instance->ImportFromFile();
            --SectionsOpen;
            if (read && !HoldsNul(instance->NameID))
                FInstances.push_back(std::move(instance));
            else
                ReportError("Component " + VisibleName(instance->NameID) + " in line " +
                            std::to_string(line) + " is not placed: " +
                            (read ? "its name holds a NUL character, which no board name can hold."
                                  : "its place block could not be read."));
            continue;
        }
        result = HandleStructureToken() && result;
    }
    return result;
}

bool TSpecctraPlacementDescriptor::ExportToPCB() {
    const int32_t count = InstanceCount();
    const TSpecctraRuleCollection* rules = GetRuleCollection();
    TPlacementMemo memo;
    for (int32_t i = 0; i < count; ++i) {
        if (GetInstance(i)->ExportToPCB(memo)) {
            // A component that owns no rules is not read again: its memory
            // goes to the board records that follow. The others wait for the
            // rules to be written.
            if (!rules || !rules->HasRuleScopes(GetInstance(i)))
                FInstances[static_cast<std::size_t>(i)].reset();
            continue;
        }
        if (i + 1 < count)
            ReportError("Placement stopped at component " + GetInstance(i)->NameID + "; " +
                        std::to_string(count - i - 1) + " components after it were not imported.");
        return false;
    }
    return true;
}
