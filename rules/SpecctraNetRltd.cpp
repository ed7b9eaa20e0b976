#include "rules/SpecctraNetRltd.h"

#include "board/BoardFacade.h"
#include "board/RuleConstraints.h"
#include "design/SpecctraClasses2.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"

#include <algorithm>
#include <optional>

namespace {

unsigned char Fold(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

// Ordering without regard to ASCII case.
int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string LineSuffix(const TSpecctraParser* parser) {
    return std::to_string(parser ? parser->LineNumber() : 0);
}

// The rule that keeps the router off a fixed net: a routing-layers rule on
// the net with every layer switched off.
void MakeDoNotRouteRule(intptr_t board, const std::string& net) {
    TPcbRuleEx rule(Board::NewRule(eRule_RoutingLayers));
    const intptr_t handle = rule.GetState_ObjectHandle();
    if (handle == 0)
        return;
    if (!Board::Add(board, handle)) {
        Board::FreeObject(handle);
        return;
    }
    Board::Read(rule);
    rule.SetState_Name("Don't route net " + net);
    rule.SetState_Scope1Expression("InNet" + QuotedParenthesised(net));
    Board::Write(rule);
    RuleConstraints::WriteRoutingLayers(handle, RuleConstraints::TRoutingLayers{});
}

} // namespace

bool SamePinReference(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareFolded(a, b) == 0;
}

// ---------------------------------------------------------------------------
// TNameSet

void TNameSet::Add(std::string name) {
    if (FSorted && !FItems.empty() && CompareFolded(FItems.back(), name) >= 0)
        FSorted = false;
    FItems.push_back(std::move(name));
}

void TNameSet::EnsureSorted() const {
    if (FSorted)
        return;
    std::stable_sort(FItems.begin(), FItems.end(), [](const std::string& a, const std::string& b) {
        return CompareFolded(a, b) < 0;
    });
    // The first spelling of equal names stays.
    FItems.erase(std::unique(FItems.begin(), FItems.end(),
                             [](const std::string& a, const std::string& b) {
                                 return CompareFolded(a, b) == 0;
                             }),
                 FItems.end());
    FSorted = true;
}

int32_t TNameSet::IndexOf(std::string_view name) const {
    EnsureSorted();
    auto it = std::lower_bound(
        FItems.begin(), FItems.end(), name,
        [](const std::string& item, std::string_view key) { return CompareFolded(item, key) < 0; });
    if (it == FItems.end() || CompareFolded(*it, name) != 0)
        return -1;
    return static_cast<int32_t>(it - FItems.begin());
}

int32_t TNameSet::Count() const {
    EnsureSorted();
    return static_cast<int32_t>(FItems.size());
}

const std::vector<std::string>& TNameSet::Items() const {
    EnsureSorted();
    return FItems;
}

// ---------------------------------------------------------------------------
// TPinReferenceBlock

namespace {

std::size_t LengthPrefixBytes(std::size_t length) {
    std::size_t bytes = 1;
    for (; length >= 0x80; length >>= 7)
        ++bytes;
    return bytes;
}

char* WriteReference(char* at, std::string_view pin) {
    std::size_t length = pin.size();
    for (; length >= 0x80; length >>= 7)
        *at++ = static_cast<char>((length & 0x7F) | 0x80);
    *at++ = static_cast<char>(length);
    return std::copy(pin.begin(), pin.end(), at);
}

} // namespace

bool TPinReferenceBlock::Append(TRun& run, std::string_view pin) {
    if (run.Generation != FGeneration)
        run = TRun{static_cast<uint32_t>(FText.size()), 0, 0, FGeneration}; // a new run
    const std::size_t bytes = LengthPrefixBytes(pin.size()) + pin.size();
    const std::size_t length = std::size_t{run.Length} + bytes;
    const bool last = std::size_t{run.Offset} + run.Room == FText.size();
    // The new end of the block, where the run moves when it has no room.
    const std::size_t end = length <= run.Room ? FText.size()
                            : last             ? run.Offset + length
                                               : FText.size() + 2 * length;
    if (end > UINT32_MAX || 2 * length > UINT32_MAX)
        return false; // offsets and lengths are 32 bits
    if (length > run.Room && last) {
        FText.resize(end);
        run.Room = static_cast<uint32_t>(length);
    } else if (length > run.Room) {
        const std::size_t offset = FText.size();
        FText.resize(end);
        std::copy_n(FText.data() + run.Offset, run.Length, FText.data() + offset);
        run.Offset = static_cast<uint32_t>(offset);
        run.Room = static_cast<uint32_t>(2 * length);
    }
    WriteReference(FText.data() + run.Offset + run.Length, pin);
    run.Length = static_cast<uint32_t>(length);
    return true;
}

void TPinReferenceBlock::Discard(TRun& run) {
    if (run.Generation == FGeneration && run.Room > 0 &&
        std::size_t{run.Offset} + run.Room == FText.size())
        FText.resize(run.Offset);
    run = TRun();
}

void TPinReferenceBlock::Clear() {
    // Swapped out: assigning an empty string would keep the buffer.
    std::string().swap(FText);
    ++FGeneration;
}

// ---------------------------------------------------------------------------
// TSpecctraAbstractNetGroupObject

std::string TSpecctraAbstractNetGroupObject::PinReferenceText(int32_t id) {
    std::string text = Parser->TokenString();
    const std::string& data = Parser->Input().Data();
    const std::size_t next = Parser->Position();
    const char quote = Parser->QuoteChar();
    if (id != eTok_QuotedString || quote == '-' || next >= data.size() || data[next] != '-')
        return text;
    // A quoted pin name ("J3"-"D+", "J3"-"VBUS #2") is taken as it stands
    // between its quotes; the tokens it was cut into are passed over.
    const std::size_t close = next + 1 < data.size() && data[next + 1] == quote
                                  ? data.find(quote, next + 2)
                                  : std::string::npos;
    if (close != std::string::npos) {
        while (Parser->Position() <= close && !Parser->EndOfFile())
            Parser->NextToken();
        return text + "-" + data.substr(next + 2, close - next - 2);
    }
    // Otherwise the next token is a word that starts with the "-".
    Parser->NextToken();
    return text + Parser->TokenString();
}

template <class TTake>
bool TSpecctraAbstractNetGroupObject::ReadTokenList(TTake&& take, bool pinReferences) {
    bool result = true;
    int depth = 0;
    while (!StopParsing()) {
        const int32_t id = Parser->NextToken();
        if (id == eTok_CloseParen) {
            if (depth == 0)
                break;
            --depth;
        } else if (id == eTok_OpenParen) {
            if (depth == 0) {
                Parser->ReportUnexpectedToken();
                result = false;
            }
            ++depth;
        } else if (depth == 0) {
            take(pinReferences ? PinReferenceText(id) : Parser->TokenString());
        }
    }
    --SectionsOpen;
    return result;
}

template <class TTake> bool TSpecctraAbstractNetGroupObject::ReadComposite(TTake&& take) {
    const std::string prefix = Parser->NextString();
    const int32_t first = Parser->NextInteger();
    const int32_t last = Parser->NextInteger();
    const int32_t step = Parser->NextInteger();
    const std::string suffix = Parser->NextString();
    bool result = !Parser->ConversionFailed();
    if (result && step <= 0 && first <= last) {
        // A step that never reaches the end would not stop.
        ReportError("Invalid composite step " + std::to_string(step) +
                    ". Line: " + LineSuffix(Parser));
        result = false;
    } else if (result) {
        for (int64_t i = first; i <= last; i += step)
            take(prefix + std::to_string(i) + suffix);
    }
    result = Parser->ExpectToken(eTok_CloseParen) && result;
    --SectionsOpen;
    return result;
}

template <class TSub>
bool TSpecctraAbstractNetGroupObject::ReadNamedBlock(std::vector<std::string>* members,
                                                     const char* unnamed, TSub&& subBlock) {
    const int32_t stop = SectionsOpen - 1;
    bool result = true;
    bool named = false;
    bool afterOpen = false;
    while (SectionsOpen > stop && !StopParsing()) {
        const int32_t id = Parser->NextToken();
        const bool isSubBlock = afterOpen;
        afterOpen = id == eTok_OpenParen;
        if (id == eTok_OpenParen || id == eTok_CloseParen) {
            if (!named && unnamed) {
                ReportError(std::string(unnamed) + " Line: " + LineSuffix(Parser));
                result = false;
            }
            named = true;
            members = nullptr; // members stand before the first sub-block
            HandleStructureToken();
            continue;
        }
        bool ok = true;
        if (!named) {
            named = true;
            NameID = Parser->TokenString();
            if (HoldsNul(NameID)) {
                ReportError("The name " + VisibleName(NameID) +
                            " holds a NUL character, which no board name can hold. Line: " +
                            LineSuffix(Parser));
                ok = false;
            }
        } else if (isSubBlock) {
            ok = subBlock(id);
        } else if (members) {
            members->push_back(Parser->TokenString());
        } else {
            ok = HandleStructureToken();
        }
        result = ok && result;
    }
    return result;
}

bool TSpecctraAbstractNetGroupObject::ReadRuleBlock(int32_t token, bool& ok) {
    switch (token) {
    case eTok_rule:
    case eTok_circuit:
        ok = ImportRuleScope();
        return true;
    case eTok_layer_rule:
        ok = ImportLayerRuleScope();
        return true;
    default:
        return false;
    }
}

bool TSpecctraAbstractNetGroupObject::ExportClassToPCB(TClassMemberKind kind,
                                                       const std::vector<std::string>& members) {
    TPCBObjectClass hostClass(0);
    hostClass.SetState_MemberKind(kind);
    const intptr_t handle = Board::MakeAndAdd(GetBoard(), hostClass, [&](TPCBObjectClass& c) {
        c.SetState_Name(NameID);
        c.SetState_MemberKind(kind);
        c.SetState_MemberList(members);
    });
    if (handle != 0)
        HarrowHandle = handle;
    return handle != 0;
}

// ---------------------------------------------------------------------------
// TSpecctraNet

TSpecctraNet::~TSpecctraNet() = default;

void TSpecctraNet::AddPin(std::string_view pin) {
    PinBlock().Append(FPins, pin);
}

std::vector<std::string> TSpecctraNet::PinNames() const {
    TNameSet names;
    PinBlock().ForEach(FPins, [&](std::string_view pin) { names.Add(std::string(pin)); });
    return names.Items();
}

void TSpecctraNet::ReleasePinNames() {
    PinBlock().Discard(FPins);
}

void TSpecctraNet::ReleasePins() {
    ReleasePinNames();
    if (!FLists)
        return;
    if (!FLists->FromTos) {
        FLists.reset();
        return;
    }
    // Only the from-tos stay.
    FLists->Exposed.reset();
    FLists->UnExposed.reset();
    FLists->Source.reset();
    FLists->Load.reset();
    FLists->Terminator.reset();
}

TSpecctraList& TSpecctraNet::FromTosToFill() {
    if (!FLists)
        FLists = std::make_unique<TSpecctraNetLists>();
    if (!FLists->FromTos)
        FLists->FromTos = CreateList();
    return *FLists->FromTos;
}

int TSpecctraNet::RuleScopeOwner() const {
    return eRuleOwnerNet;
}

bool TSpecctraNet::ImportFromFile() {
    return ReadNamedBlock(nullptr, "Net without a name.",
                          [&](int32_t id) { return ReadSubBlock(id); });
}

bool TSpecctraNet::ReadSubBlock(int32_t id) {
    bool ok = true;
    if (ReadRuleBlock(id, ok))
        return ok;
    switch (id) {
    case eTok_unassigned:
        UnAssigned = true;
        break;
    case eTok_net_number:
        NetNumber = Parser->NextInteger();
        ok = !Parser->ConversionFailed();
        break;
    case eTok_pins:
    case eTok_order:
        ok = ReadPins();
        break;
    case eTok_expose:
        ok = ReadPinList(&TSpecctraNetLists::Exposed);
        break;
    case eTok_noexpose:
        ok = ReadPinList(&TSpecctraNetLists::UnExposed);
        break;
    case eTok_source:
        ok = ReadPinList(&TSpecctraNetLists::Source);
        break;
    case eTok_load:
        ok = ReadPinList(&TSpecctraNetLists::Load);
        break;
    case eTok_terminator:
        ok = ReadPinList(&TSpecctraNetLists::Terminator);
        break;
    case eTok_fromto:
        ok = ReadFromTo();
        break;
    case eTok_type: {
        const int32_t word = Parser->NextToken();
        if (word == eTok_fix)
            NetType = eNetTypeFixed;
        else if (word == eTok_normal)
            NetType = eNetTypeNormal;
        else
            ok = HandleStructureToken();
        break;
    }
    case eTok_supply: {
        const int32_t word = Parser->NextToken();
        if (word == eTok_power)
            SupplyType = eSupplyPower;
        else if (word == eTok_ground)
            SupplyType = eSupplyGround;
        else
            ok = HandleStructureToken();
        break;
    }
    case eTok_property:
        ImportUnknownBlock();
        break;
    default:
        ok = HandleStructureToken();
        break;
    }
    return ok;
}

bool TSpecctraNet::ReadPins() {
    PrefetchNetSlot();
    TPinToNetIndex& index = TranslationState().PinToNetIndex;
    // On a large design the slots of the pins lie far apart in memory: those
    // of the next net's pins start loading now, while this net's, loaded by
    // the net before, are entered.
    if (const std::string_view data = Parser->Input().Data();
        index.Large() && Parser->Position() < data.size()) {
        const std::string_view ahead = data.substr(Parser->Position(), 4096);
        const std::size_t close = ahead.find(')');
        const std::size_t next = close == std::string_view::npos
                                     ? close
                                     : ahead.substr(0, close + 512).find("(pins", close);
        if (next != std::string_view::npos)
            index.PrefetchWords(ahead.substr(next + 5), 64);
    }
    return ReadTokenList(
        [&](const std::string& pin) {
            if (!index.Add(pin, this)) {
                const TSpecctraObject* holder = index.Find(pin);
                ReportWarning("Pin " + pin + " of net " + NameID + " is already on net " +
                              (holder ? holder->NameID : std::string()) +
                              "; it stays there. Line: " + LineSuffix(Parser));
            }
            AddPin(pin);
        },
        true);
}

bool TSpecctraNet::ReadPinList(TListField field) {
    if (!FLists)
        FLists = std::make_unique<TSpecctraNetLists>();
    auto& list = FLists.get()->*field;
    if (!list)
        list = std::make_unique<std::vector<std::string>>();
    return ReadTokenList([&](const std::string& pin) { list->push_back(pin); }, true);
}

bool TSpecctraNet::ReadFromTo() {
    auto fromTo = std::make_unique<TSpecctraFromTo>(this);
    const bool read = fromTo->ImportFromFile();
    --SectionsOpen;
    if (read && fromTo->IsValid()) {
        FromTosToFill().Add(std::move(fromTo));
    } else {
        fromTo->DropRuleScopes();
    }
    return read;
}

void TSpecctraNet::RemovePinsFromIndex() {
    TPinToNetIndex& index = TranslationState().PinToNetIndex;
    PinBlock().ForEach(FPins, [&](std::string_view pin) { index.Remove(pin, this); });
}

bool TSpecctraNet::GetState_PinOnNet(std::string_view pin) const {
    bool found = false;
    PinBlock().ForEach(
        FPins, [&](std::string_view name) { found = found || SamePinReference(name, pin); });
    return found;
}

TDaisyChainStyle TSpecctraNet::ExportToPCB_PinDaisyChainStyle(std::string_view pin,
                                                              int32_t& index) const {
    index = -1;
    const std::vector<std::string>* list = nullptr;
    TDaisyChainStyle style = eDaisyChainLoad;
    if ((list = SourcePinList()))
        style = eDaisyChainSource;
    else if ((list = LoadPinList()))
        style = eDaisyChainLoad;
    else if ((list = TerminatorPinList()))
        style = eDaisyChainTerminator;
    if (!list)
        return eDaisyChainLoad;
    for (std::size_t i = 0; i < list->size(); ++i)
        if (SamePinReference((*list)[i], pin)) {
            index = static_cast<int32_t>(i);
            return style;
        }
    return eDaisyChainLoad;
}

bool TSpecctraNet::MakeHostNet() {
    TPcbNet net(0);
    HarrowHandle = Board::MakeAndAdd(GetBoard(), net, [&](TPcbNet& n) {
        n.SetState_Name(NameID);
        n.SetState_Layer(eV6_MultiLayer);
    });
    return HarrowHandle != 0;
}

intptr_t TSpecctraNet::ForceHarrowHandle() {
    if (HarrowHandle == 0)
        MakeHostNet();
    return HarrowHandle;
}

bool TSpecctraNet::ExportToPCB() {
    const bool result = HarrowHandle != 0 || MakeHostNet();
    if (NetType == eNetTypeFixed)
        MakeDoNotRouteRule(GetBoard(), NameID);
    return result;
}

// ---------------------------------------------------------------------------
// TSpecctraNetClass

TSpecctraNetClass::TSpecctraNetClass(TSpecctraObject* owner)
    : TSpecctraAbstractNetGroupObject(owner) {}

TSpecctraNetClass::~TSpecctraNetClass() = default;

int TSpecctraNetClass::RuleScopeOwner() const {
    return eRuleOwnerNetClass;
}

bool TSpecctraNetClass::ImportFromFile() {
    return ReadNamedBlock(&Nets, nullptr, [&](int32_t id) {
        bool ruleOk = true;
        if (ReadRuleBlock(id, ruleOk))
            return true; // a failed rule block does not fail the class
        switch (id) {
        case eTok_composite:
            return ReadComposite([&](std::string name) { Nets.push_back(std::move(name)); });
        case eTok_topology:
            if (!Topology)
                Topology = std::make_unique<TSpecctraTopologyDescriptor>(this);
            Topology->ImportFromFile();
            --SectionsOpen;
            return true;
        default:
            return HandleStructureToken();
        }
    });
}

bool TSpecctraNetClass::IncludesNet(std::string_view name) const {
    for (; FIndexed < Nets.size(); ++FIndexed)
        FNetIndex.Add(Nets[FIndexed]);
    return FNetIndex.Contains(name);
}

bool TSpecctraNetClass::ExportToPCB() {
    ExportClassToPCB(eClassMemberKind_Net, Nets);
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraFromTo

TSpecctraFromTo::TSpecctraFromTo(TSpecctraObject* owner) : TSpecctraAbstractNetGroupObject(owner) {}

int TSpecctraFromTo::RuleScopeOwner() const {
    return eRuleOwnerFromTo;
}

std::string TSpecctraFromTo::CheckPinReference(const std::string& token) {
    auto* file = dynamic_cast<TSpecctraFile*>(Root());
    const std::optional<bool> placed = file ? file->PlacesComponent(token) : std::nullopt;
    if (!placed) {
        ReportError("Cannot create from-to, component list not loaded.");
        return std::string();
    }
    if (*placed) {
        ReportWarning("Component ref. not supported in from-to definition. Line: " +
                      LineSuffix(Parser));
        return std::string();
    }
    if (token.find('-') == std::string::npos) {
        ReportError("Pin reference should include - character. Line: " + LineSuffix(Parser));
        return std::string();
    }
    return token;
}

bool TSpecctraFromTo::ImportFromFile() {
    const int32_t stop = SectionsOpen - 1;
    bool result = true;
    int pinsRead = 0;
    bool afterOpen = false;
    while (SectionsOpen > stop && !StopParsing()) {
        const int32_t id = Parser->NextToken();
        bool ok = true;
        const bool subBlock = afterOpen;
        afterOpen = id == eTok_OpenParen;
        if (id == eTok_OpenParen || id == eTok_CloseParen) {
            HandleStructureToken();
            continue;
        }
        if (!subBlock) {
            if (pinsRead < 2) {
                std::string& pin = pinsRead == 0 ? FromPin : ToPin;
                ++pinsRead;
                pin = CheckPinReference(PinReferenceText(id));
                if (pin.empty()) {
                    // The from-to is unusable: leave its block unread.
                    Parser->SkipCurrentBlock();
                    SectionsOpen = stop;
                    return false;
                }
                if (pinsRead == 2)
                    NameID = FromPin + ":" + ToPin;
            } else {
                result = HandleStructureToken() && result;
            }
            continue;
        }
        if (ReadRuleBlock(id, ok)) {
            result = ok && result;
            continue;
        }
        switch (id) {
        case eTok_net:
            FNetIDref = Parser->NextString();
            ok = Parser->ExpectToken(eTok_CloseParen);
            --SectionsOpen;
            break;
        case eTok_type: {
            const int32_t word = Parser->NextToken();
            if (word == eTok_fix)
                Kind = eFTFixed;
            else if (word == eTok_normal)
                Kind = eFTNormal;
            else if (word == eTok_soft)
                Kind = eFTSoft;
            else
                ok = HandleStructureToken();
            break;
        }
        case eTok_virtual_pin:
            ReportWarning("Virtual pins not supported in from-to definition. Line: " +
                          LineSuffix(Parser));
            SkipCurrentBlock(); // the virtual_pin block
            --SectionsOpen;
            if (SectionsOpen > stop) {
                SkipCurrentBlock(); // the rest of the from-to block
                SectionsOpen = stop;
            }
            return false;
        default:
            ok = HandleStructureToken();
            break;
        }
        result = ok && result;
    }
    return result;
}

bool TSpecctraFromTo::ConnectsSamePinsAs(const TSpecctraFromTo& other) const {
    if (&other == this)
        return true;
    return (SamePinReference(FromPin, other.FromPin) && SamePinReference(ToPin, other.ToPin)) ||
           (SamePinReference(FromPin, other.ToPin) && SamePinReference(ToPin, other.FromPin));
}

bool TSpecctraFromTo::ExportToPCB() {
    if (!IsValid())
        return true;
    if (FNetIDref.empty())
        if (TSpecctraNet* net = NetOfPin(FromPin))
            FNetIDref = net->NameID;
    if (FNetIDref.empty())
        return true;
    TPcbManualFromTo fromTo(0);
    Board::MakeAndAdd(GetBoard(), fromTo, [&](TPcbManualFromTo& f) {
        f.SetState_FromPad(FromPin);
        f.SetState_ToPad(ToPin);
        f.SetState_NetName(FNetIDref);
    });
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraFromToClass

TSpecctraFromToClass::TSpecctraFromToClass(TSpecctraObject* owner)
    : TSpecctraAbstractNetGroupObject(owner) {}

TSpecctraFromToClass::~TSpecctraFromToClass() = default;

int TSpecctraFromToClass::RuleScopeOwner() const {
    return eRuleOwnerGroup;
}

bool TSpecctraFromToClass::ImportFromFile() {
    return ReadNamedBlock(nullptr, nullptr, [&](int32_t id) {
        bool ok = true;
        if (ReadRuleBlock(id, ok))
            return ok;
        if (id != eTok_fromto)
            return HandleStructureToken();
        auto fromTo = std::make_unique<TSpecctraFromTo>(this);
        ok = fromTo->ImportFromFile();
        --SectionsOpen;
        if (ok && fromTo->IsValid()) {
            if (!FromToList)
                FromToList = CreateList();
            FromToList->Add(std::move(fromTo));
        } else {
            fromTo->DropRuleScopes();
        }
        return ok;
    });
}

bool TSpecctraFromToClass::IncludesFromToObject(const TSpecctraFromTo& fromTo) const {
    if (!FromToList)
        return false;
    for (int32_t i = 0; i < FromToList->Count(); ++i)
        if (static_cast<TSpecctraFromTo*>(FromToList->GetState_SpecctraObject(i))
                ->ConnectsSamePinsAs(fromTo))
            return true;
    return false;
}

std::vector<std::string> TSpecctraFromToClass::MemberKeys() const {
    std::vector<std::string> keys;
    if (FromToList)
        for (int32_t i = 0; i < FromToList->Count(); ++i)
            keys.push_back(FromToList->NameAt(i));
    return keys;
}

bool TSpecctraFromToClass::ExportToPCB() {
    ExportClassToPCB(eClassMemberKind_FromTo, MemberKeys());
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraFromToSuperClass

TSpecctraFromToSuperClass::TSpecctraFromToSuperClass(TSpecctraObject* owner)
    : TSpecctraAbstractNetGroupObject(owner) {}

int TSpecctraFromToSuperClass::RuleScopeOwner() const {
    return eRuleOwnerGroupSet;
}

bool TSpecctraFromToSuperClass::ImportFromFile() {
    return ReadNamedBlock(&FromToClassList, nullptr, [&](int32_t id) {
        bool ruleOk = true;
        if (ReadRuleBlock(id, ruleOk))
            return true;
        if (id == eTok_composite)
            return ReadComposite(
                [&](std::string name) { FromToClassList.push_back(std::move(name)); });
        return HandleStructureToken();
    });
}

bool TSpecctraFromToSuperClass::IncludesFromToClass(std::string_view name) const {
    return std::find(FromToClassList.begin(), FromToClassList.end(), name) != FromToClassList.end();
}

// ---------------------------------------------------------------------------
// TSpecctraClassToClass

TSpecctraClassToClass::TSpecctraClassToClass(TSpecctraObject* owner)
    : TSpecctraAbstractNetGroupObject(owner) {}

int TSpecctraClassToClass::RuleScopeOwner() const {
    return eRuleOwnerClassPair;
}

bool TSpecctraClassToClass::ReadClasses() {
    const bool result = ReadTokenList([&](const std::string& name) { Classes.push_back(name); });
    NameID.clear();
    for (std::size_t i = 0; i < Classes.size() && i < 2; ++i)
        NameID += Classes[i] + " ";
    if (Classes.size() > 2)
        NameID += " ...";
    return result;
}

bool TSpecctraClassToClass::ImportFromFile() {
    const int32_t stop = SectionsOpen - 1;
    bool result = true;
    bool afterOpen = false;
    while (SectionsOpen > stop && !StopParsing()) {
        const int32_t id = Parser->NextToken();
        bool ok = true;
        const bool subBlock = afterOpen;
        afterOpen = id == eTok_OpenParen;
        if (!subBlock) {
            ok = HandleStructureToken();
        } else if (id == eTok_classes) {
            ok = ReadClasses();
        } else if (id == eTok_rule || id == eTok_layer_rule) {
            ReadRuleBlock(id, ok);
        } else {
            ok = HandleStructureToken();
        }
        if (!ok) {
            result = false;
            // The rest of the block is left unread.
            if (SectionsOpen > stop) {
                Parser->SkipCurrentBlock();
                SectionsOpen = stop;
            }
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Connections

void TSpecctraConnectionTerminal::SetState_TerminalType(TSpecctraObjectType type) {
    FTerminalType = type;
    if (type == eViaObjectType)
        NameID.clear();
}

std::string TSpecctraConnectionTerminal::GetState_Identifier() const {
    return FTerminalType == eViaObjectType ? std::string() : NameID;
}

void TSpecctraConnectionTerminal::SetState_Identifier(const std::string& id) {
    NameID = FTerminalType == eViaObjectType ? std::string() : id;
}

TSpecctraConnection::TSpecctraConnection(TSpecctraObject* owner)
    : TSpecctraObject(owner), Terminal1(std::make_unique<TSpecctraConnectionTerminal>(this)),
      Terminal2(std::make_unique<TSpecctraConnectionTerminal>(this)) {}

bool TSpecctraConnection::ReadTerminal(TSpecctraConnectionTerminal& terminal) {
    switch (Parser->NextToken()) {
    case eTok_pin:
        terminal.SetState_TerminalType(ePinObjectType);
        break;
    case eTok_smd:
        terminal.SetState_TerminalType(eSmdObjectType);
        break;
    case eTok_via:
        terminal.SetState_TerminalType(eViaObjectType);
        break;
    case eTok_wire:
        terminal.SetState_TerminalType(eWireObjectType);
        break;
    case eTok_area:
        terminal.SetState_TerminalType(eAreaObjectType);
        break;
    case eTok_testpoint:
        terminal.SetState_TerminalType(eTestpointObjectType);
        break;
    default:
        Parser->ReportUnexpectedToken();
        break;
    }
    const int32_t next = Parser->NextToken();
    if (next == eTok_CloseParen)
        return false;
    terminal.SetState_Identifier(Parser->TokenString());
    return Parser->ExpectToken(eTok_CloseParen);
}

bool TSpecctraConnection::ImportFromFile() {
    // connect ( terminal <type> [id] ) ( terminal <type> [id] ) )
    bool result = Parser->ExpectToken(eTok_OpenParen) && Parser->ExpectToken(eTok_terminal);
    result = result && ReadTerminal(*Terminal1);
    if (result) {
        result = Parser->ExpectToken(eTok_OpenParen) && Parser->ExpectToken(eTok_terminal);
        if (result) {
            ReadTerminal(*Terminal2);
            result = Parser->ExpectToken(eTok_CloseParen);
        }
    }
    if (!result) {
        SkipCurrentBlock();
        return false;
    }
    --SectionsOpen;
    return true;
}

TSpecctraNet* NetOfPin(std::string_view pin) {
    return static_cast<TSpecctraNet*>(TranslationState().PinToNetIndex.Find(pin));
}
