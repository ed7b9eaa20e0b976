#include "design/NetworkSection.h"

#include "specctra/BlockReader.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return text;
}

} // namespace

TSpecctraDsnNetworkDescriptor::TSpecctraDsnNetworkDescriptor(TSpecctraObject* owner)
    : TSpecctraAbstractNetworkDescriptor(owner) {}

TSpecctraDsnNetworkDescriptor::~TSpecctraDsnNetworkDescriptor() = default;

TSpecctraNet* TSpecctraDsnNetworkDescriptor::GetState_NetByName(std::string_view name) const {
    TSpecctraNet* net = Nets.Find(name);
    return net ? net : Nets.FindAnyCase(name);
}

TSpecctraObject* TSpecctraDsnNetworkDescriptor::Get_NetByName(const std::string& name) {
    return GetState_NetByName(name);
}

bool TSpecctraDsnNetworkDescriptor::ReadNet() {
    auto net = std::make_unique<TSpecctraNet>(this);
    const bool read = net->ImportFromFile();
    --SectionsOpen;
    if (!read) {
        ReportError("Loading net: " + VisibleName(net->NameID));
        net->RemovePinsFromIndex();
        if (TSpecctraList* fromTos = net->FromTolist())
            for (int32_t i = 0; i < fromTos->Count(); ++i)
                fromTos->GetState_SpecctraObject(i)->DropRuleScopes();
        net->DropRuleScopes();
        net->ReleasePins();
        return true;
    }
    if (!Nets.Add(net)) {
        TSpecctraNet* first = Nets.Find(net->NameID);
        MergeNet(*first, std::move(net));
    }
    return true;
}

void TSpecctraDsnNetworkDescriptor::MergeNet(TSpecctraNet& first,
                                             std::unique_ptr<TSpecctraNet> again) {
    ReportWarning("Net " + again->NameID +
                  " is defined again; its pins and from-tos join the first definition. Line: " +
                  std::to_string(Parser->LineNumber()));
    TPinToNetIndex& index = TranslationState().PinToNetIndex;
    // Read out first: adding to the first net's pins may move the block.
    for (const std::string& pin : again->PinNames()) {
        if (index.Find(pin) == again.get()) {
            index.Remove(pin, again.get());
            index.Add(pin, &first);
        }
        first.AddPin(pin);
    }
    if (TSpecctraList* fromTos = again->FromTolist()) {
        TSpecctraList& into = first.FromTosToFill();
        while (fromTos->Count() > 0)
            into.Add(fromTos->Extract(0));
    }
    // Its rule blocks still name this net: keep the object for them, but not
    // its pins, which the first definition holds now.
    again->ReleasePins();
    FMerged.push_back(std::move(again));
}

bool TSpecctraDsnNetworkDescriptor::ReadClass() {
    auto netClass = std::make_unique<TSpecctraNetClass>(this);
    const bool read = netClass->ImportFromFile();
    --SectionsOpen;
    if (!read) {
        ReportError("Loading class: " + netClass->NameID);
        netClass->DropRuleScopes();
        return true;
    }
    if (!Classes)
        Classes = CreateList();
    Classes->Add(std::move(netClass));
    return true;
}

template <class T>
bool TSpecctraDsnNetworkDescriptor::ReadNamed(TCaseSortedList<T>& list, const char* what) {
    auto object = std::make_unique<T>(this);
    const bool read = object->ImportFromFile();
    --SectionsOpen;
    if (!read) {
        ReportError("Loading " + Lower(what) + ": " + object->NameID);
        if constexpr (std::is_same_v<T, TSpecctraFromToClass>)
            if (object->FromToList)
                for (int32_t i = 0; i < object->FromToList->Count(); ++i)
                    object->FromToList->GetState_SpecctraObject(i)->DropRuleScopes();
        object->DropRuleScopes();
        return true;
    }
    if (!list.Add(object)) {
        ReportWarning(std::string(what) + " " + object->NameID +
                      " is defined again; the second definition is ignored. Line: " +
                      std::to_string(Parser->LineNumber()));
        FMerged.push_back(std::move(object));
    }
    return true;
}

template <class T>
bool TSpecctraDsnNetworkDescriptor::ReadKept(std::unique_ptr<TSpecctraList>& list) {
    auto object = std::make_unique<T>(this);
    const bool read = object->ImportFromFile();
    --SectionsOpen;
    if (read) {
        if (!list)
            list = CreateList();
        list->Add(std::move(object));
    }
    return true;
}

bool TSpecctraDsnNetworkDescriptor::ReadClassPair() {
    if (!ClassPairs)
        ClassPairs = CreateList();
    // Kept whether it reads or not: its rules refer to it.
    TSpecctraObject* pair = ClassPairs->Add(std::make_unique<TSpecctraClassToClass>(this));
    pair->ImportFromFile();
    --SectionsOpen;
    return true;
}

bool TSpecctraDsnNetworkDescriptor::ImportFromFile() {
    // What each sub-block gives is kept or reported by its reader; the
    // network reads on.
    const auto readOn = [](bool) { return true; };
    const bool result = ReadSubBlocks(
        *this,
        {{eTok_net, [&] { return readOn(ReadNet()); }},
         {eTok_class, [&] { return readOn(ReadClass()); }},
         {eTok_group, [&] { return readOn(ReadNamed(Groups, "Group")); }},
         {eTok_group_set, [&] { return readOn(ReadNamed(GroupSets, "Group set")); }},
         {eTok_pair, [&] { return readOn(ReadKept<TSpecctraDiffPair>(Pairs)); }},
         {eTok_bundle, [&] { return readOn(ReadKept<TSpecctraDiffBundle>(Bundles)); }},
         {eTok_class_class, [&] { return readOn(ReadClassPair()); }}},
        {.Others = TOtherTokens::SkipKeywordBlocks, .KeywordsAfterOpenOnly = true});
    // The index is read until the components are on the board: the room
    // for more pins would wait as long.
    TranslationState().PinToNetIndex.Compact();
    PinBlock.Compact();
    Nets.Compact();
    return result;
}

bool TSpecctraDsnNetworkDescriptor::ExportToPCB() {
    // Every net, whatever each answers.
    for (TSpecctraNet* net : Nets.Ordered())
        net->ExportToPCB();
    if (Classes)
        ExportListToPCB(Classes.get());
    for (TSpecctraFromToClass* group : Groups.Ordered())
        if (!group->ExportToPCB())
            break;
    for (TSpecctraFromToSuperClass* groupSet : GroupSets.Ordered())
        if (!groupSet->ExportToPCB())
            break;
    // The from-tos of the nets and groups.
    for (TSpecctraNet* net : Nets.Ordered())
        if (TSpecctraList* fromTos = net->FromTolist())
            ExportListToPCB(fromTos);
    for (TSpecctraFromToClass* group : Groups.Ordered())
        if (group->FromToList)
            ExportListToPCB(group->FromToList.get());
    // The nets are on the board and the pin-to-net index answers for their
    // pins: their own pin lists go before the components are written.
    Nets.ForEachTaken([](TSpecctraNet* net) { net->ReleasePinNames(); });
    PinBlock.Clear();
    Nets.ForgetOrder();
    return true;
}

void TSpecctraDsnNetworkDescriptor::ReleasePins() {
    {
        // Moved out and dropped, so that its text buffer goes too (assigning
        // an empty index would keep that buffer: an empty string's
        // assignment copies into it).
        const TPinToNetIndex released = std::move(TranslationState().PinToNetIndex);
    }
    TranslationState().PinToNetIndex.Clear();
    Nets.ForEachTaken([](TSpecctraNet* net) { net->ReleasePins(); });
    PinBlock.Clear();
}
