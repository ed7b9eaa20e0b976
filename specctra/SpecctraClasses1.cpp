#include "specctra/SpecctraClasses1.h"

#include "board/PCBProcs.h"
#include "board/Pcbclass.h"
#include "host/sdk/Parameters.h"
#include "specctra/ReportSink.h"
#include "specctra/SpecctraParser2.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>
#include <typeinfo>

namespace {

TRuleScopeFactory GRuleScopeFactory = nullptr;

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// Ordering of a sorted list: by name without regard to ASCII case.
bool NameLess(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

// Rounds with ties to even under the nearest rounding mode, restoring the
// caller's mode afterwards.
double RoundTiesToEven(double value) {
    const int saved = std::fegetround();
    if (saved != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    if (saved != FE_TONEAREST)
        std::fesetround(saved);
    return rounded;
}

} // namespace

void ResetTranslationState() {
    ResolutionFactor = 1.0;
    BoardOffsetX = 0;
    BoardOffsetY = 0;
    StopFlag = false;
    CreatedPolygons.clear();
    PinToNetIndex.clear();
    WrittenBoardObjects.clear();
}

void SetRuleScopeFactory(TRuleScopeFactory factory) {
    GRuleScopeFactory = factory;
}

int32_t RoundToBoard(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = RoundTiesToEven(value);
    if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(rounded);
}

// ---------------------------------------------------------------------------
// TSpecctraObject

TSpecctraObject::TSpecctraObject(TSpecctraObject* owner) : Owner(owner) {
    if (owner) {
        Parser = owner->Parser;
        Writer = owner->Writer;
        ReportManager = owner->ReportManager;
        FUnits = owner->GetUnit();
    }
    HarrowHandle = GetBoard();
}

TSpecctraObject::~TSpecctraObject() = default;

intptr_t TSpecctraObject::GetBoard() {
    return Owner ? Owner->GetBoard() : 0;
}

TSpecctraRuleCollection* TSpecctraObject::GetRuleCollection() {
    return Owner ? Owner->GetRuleCollection() : nullptr;
}

std::unique_ptr<TSpecctraList> TSpecctraObject::CreateList() {
    return std::make_unique<TSpecctraList>(false);
}

std::unique_ptr<TSpecctraList> TSpecctraObject::CreateSortedList() {
    return std::make_unique<TSpecctraList>(true);
}

bool TSpecctraObject::ImportUnknownBlock() {
    SkipCurrentBlock();
    --SectionsOpen;
    return true;
}

bool TSpecctraObject::ImportRuleScope() {
    TSpecctraObject* scope = OpenRuleScope();
    if (!scope)
        return true;
    const bool result = Parser->CurrentToken() == eTok_circuit ? scope->ImportCircuitDescriptor()
                                                               : scope->ImportFromFile();
    --SectionsOpen;
    return result;
}

bool TSpecctraObject::ImportLayerRuleScope() {
    TSpecctraObject* scope = OpenRuleScope();
    if (!scope)
        return true;
    int32_t id = Parser->NextToken();
    while (id != eTok_OpenParen && !StopParsing()) {
        scope->AddScopeLayerName(Parser->TokenString());
        id = Parser->NextToken();
    }
    if (!Parser->ExpectToken(eTok_rule))
        return false;
    bool result = scope->ImportFromFile();
    result = Parser->ExpectToken(eTok_CloseParen) && result;
    --SectionsOpen;
    return result;
}

TSpecctraObject* TSpecctraObject::OpenRuleScope() {
    TSpecctraRuleCollection* rules = GetRuleCollection();
    const int32_t token = Parser ? Parser->CurrentToken() : 0;
    std::unique_ptr<TSpecctraObject> candidate =
        (rules && GRuleScopeFactory) ? GRuleScopeFactory(token, this) : nullptr;
    if (!candidate) {
        // No scope class for this block: skip it with the usual warning.
        SkipUnknownBlock();
        return nullptr;
    }
    return FindOrAddRuleScope(*rules, std::move(candidate));
}

TSpecctraObject* TSpecctraObject::FindOrAddRuleScope(TSpecctraRuleCollection& rules,
                                                     std::unique_ptr<TSpecctraObject> candidate) {
    TSpecctraList& scopes = rules.RuleScopes();
    const std::type_info& kind = typeid(*candidate);
    for (int32_t i = 0; i < scopes.Count(); ++i) {
        TSpecctraObject* existing = scopes.GetState_SpecctraObject(i);
        if (existing->Owner == this && typeid(*existing) == kind)
            return existing;
    }
    return scopes.Add(std::move(candidate));
}

void TSpecctraObject::SkipUnknownBlock() {
    ImportUnknownBlock();
}

TSpecctraObject* TSpecctraObject::Get_NetByName(const std::string& name) {
    return Owner ? Owner->Get_NetByName(name) : nullptr;
}

TSpecctraObject* TSpecctraObject::Get_LayerByName(const std::string& name) {
    return Owner ? Owner->Get_LayerByName(name) : nullptr;
}

bool TSpecctraObject::ImportFromFile() {
    SkipCurrentBlock();
    return true;
}

bool TSpecctraObject::ExportToPCB() {
    return true;
}
bool TSpecctraObject::ImportFromPcb() {
    return true;
}
bool TSpecctraObject::ExportToFile() {
    return true;
}

bool TSpecctraObject::ImportCircuitDescriptor() {
    return ImportFromFile();
}
void TSpecctraObject::AddScopeLayerName(const std::string&) {}
int TSpecctraObject::RuleScopeKind() const {
    return 0;
}

void TSpecctraObject::SkipCurrentBlock() {
    if (!Parser)
        return;
    const int32_t startLine = Parser->LineNumber();
    const std::string keyword = Parser->TokenString();
    Parser->SkipCurrentBlock();
    ReportWarning("Skipped block between lines: " + std::to_string(startLine) + "-" +
                  std::to_string(Parser->LineNumber()) + ", from keyword: " + keyword);
}

bool TSpecctraObject::StopParsing() const {
    return !Parser || Parser->EndOfFile() || Parser->Aborted() || StopFlag;
}

bool TSpecctraObject::HandleStructureToken() {
    const int32_t token = Parser->CurrentToken();
    if (token == eTok_OpenParen) {
        ++SectionsOpen;
        return true;
    }
    if (token == eTok_CloseParen) {
        --SectionsOpen;
        return true;
    }
    Parser->ReportUnexpectedToken();
    return false;
}

TDimensionUnit TSpecctraObject::ReadUnit(int32_t tokenId) {
    switch (tokenId) {
    case eTok_inch:
        return eDimInch;
    case eTok_mil:
        return eDimMil;
    case eTok_cm:
        return eDimCm;
    case eTok_mm:
        return eDimMm;
    case eTok_um:
        return eDimUm;
    default:
        ReportWarning("Unknown unit token, mils will be used");
        return eDimMil;
    }
}

TDimensionUnit TSpecctraObject::GetUnit() {
    if (FUnits == eDimNotSet && Owner)
        FUnits = Owner->GetUnit();
    return FUnits;
}

void TSpecctraObject::ReportError(const std::string& text) const {
    if (ReportManager)
        ReportManager->ReportError(text);
}

void TSpecctraObject::ReportWarning(const std::string& text) const {
    if (ReportManager)
        ReportManager->ReportWarning(text);
}

void TSpecctraObject::ReportEvent(const std::string& text) const {
    if (ReportManager)
        ReportManager->AddReportEvent(text);
}

bool TSpecctraObject::ExportListToFile(TSpecctraList* list) {
    if (!list)
        return false;
    for (int32_t i = 0; i < list->Count(); ++i)
        if (!list->GetState_SpecctraObject(i)->ExportToFile())
            return false;
    return true;
}

bool TSpecctraObject::ExportListToPCB(TSpecctraList* list) {
    if (!list)
        return false;
    for (int32_t i = 0; i < list->Count(); ++i)
        if (!list->GetState_SpecctraObject(i)->ExportToPCB())
            return false;
    return true;
}

int32_t TSpecctraObject::FileToBoard(double value) {
    const double w = value / ResolutionFactor;
    switch (GetUnit()) {
    case eDimInch:
        return RoundToBoard(w * 1000.0 * 10000.0);
    case eDimMil:
        return RoundToBoard(w * 10000.0);
    case eDimCm:
        return RoundToBoard(w * 10.0 * 10000.0 / 0.0254);
    case eDimMm:
        return RoundToBoard(w * 10000.0 / 0.0254);
    case eDimUm:
        return RoundToBoard(w / 1000.0 * 10000.0 / 0.0254);
    default:
        ReportWarning(std::string("Unknown dimension unit type, assuming mils. ") + ClassName());
        return RoundToBoard(w * 10000.0);
    }
}

int32_t TSpecctraObject::ExportToPCB_PositionX(double value) {
    return RoundToBoard(static_cast<double>(BoardOffsetX) + FileToBoard(value));
}

int32_t TSpecctraObject::ExportToPCB_PositionY(double value) {
    return RoundToBoard(static_cast<double>(BoardOffsetY) + FileToBoard(value));
}

double TSpecctraObject::BoardToFile(double value) {
    return RoundTiesToEven(value * ResolutionFactor);
}

double TSpecctraObject::BoardToFileX(int32_t x) {
    return BoardToFile(static_cast<double>(x) - static_cast<double>(BoardOffsetX));
}

double TSpecctraObject::BoardToFileY(int32_t y) {
    return BoardToFile(static_cast<double>(y) - static_cast<double>(BoardOffsetY));
}

TSpecctraObject* TSpecctraObject::Root() {
    TSpecctraObject* node = this;
    while (node->Owner)
        node = node->Owner;
    return node;
}

// ---------------------------------------------------------------------------
// TSpecctraList

TSpecctraList::~TSpecctraList() {
    Clear();
}

TSpecctraObject* TSpecctraList::Add(std::unique_ptr<TSpecctraObject> object) {
    TSpecctraObject* raw = object.get();
    std::string name = raw ? raw->NameID : std::string();
    if (FSorted) {
        if (FNewestValid)
            FNewest[UpperAscii(name)] = raw;
        FItems.push_back(TEntry{std::move(name), std::move(object), FNextSeq++});
        FOrderValid = false;
        FIndexValid = false;
        return raw;
    }
    const int32_t index = Count();
    FItems.push_back(TEntry{std::move(name), std::move(object), FNextSeq++});
    if (FIndexValid) {
        FIndex.emplace(UpperAscii(FItems.back().Name), index); // keeps the first
        FIdentity.emplace(raw, index);
    }
    return raw;
}

void TSpecctraList::EnsureOrder() const {
    if (FOrderValid)
        return;
    // By name; among equal names the newest first.
    std::sort(FItems.begin(), FItems.end(), [](const TEntry& a, const TEntry& b) {
        if (NameLess(a.Name, b.Name))
            return true;
        if (NameLess(b.Name, a.Name))
            return false;
        return a.Seq > b.Seq;
    });
    FOrderValid = true;
    FIndexValid = false;
}

void TSpecctraList::Reindex() const {
    EnsureOrder();
    if (FIndexValid)
        return;
    FIndex.clear();
    FIdentity.clear();
    FIndex.reserve(FItems.size());
    FIdentity.reserve(FItems.size());
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        FIndex.emplace(UpperAscii(FItems[i].Name), static_cast<int32_t>(i)); // keeps the first
        FIdentity.emplace(FItems[i].Object.get(), static_cast<int32_t>(i));
    }
    FIndexValid = true;
}

TSpecctraObject* TSpecctraList::GetState_SpecctraObject(int32_t index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    EnsureOrder();
    return FItems[static_cast<std::size_t>(index)].Object.get();
}

std::unique_ptr<TSpecctraObject>
TSpecctraList::SetState_SpecctraObject(int32_t index, std::unique_ptr<TSpecctraObject> object) {
    if (index < 0 || index >= Count())
        return object;
    EnsureOrder();
    FNewestValid = false;
    std::unique_ptr<TSpecctraObject> old =
        std::move(FItems[static_cast<std::size_t>(index)].Object);
    FItems[static_cast<std::size_t>(index)].Object = std::move(object);
    FIndexValid = false;
    return old;
}

const std::string& TSpecctraList::NameAt(int32_t index) const {
    static const std::string empty;
    if (index < 0 || index >= Count())
        return empty;
    EnsureOrder();
    return FItems[static_cast<std::size_t>(index)].Name;
}

int32_t TSpecctraList::IndexOf(const TSpecctraObject* object) const {
    Reindex();
    auto it = FIdentity.find(object);
    return it == FIdentity.end() || !object ? -1 : it->second;
}

int32_t TSpecctraList::IndexOfName(std::string_view name) const {
    Reindex();
    auto it = FIndex.find(UpperAscii(name));
    return it == FIndex.end() ? -1 : it->second;
}

TSpecctraObject* TSpecctraList::Find(std::string_view name) const {
    if (FSorted && FNewestValid) {
        auto it = FNewest.find(UpperAscii(name));
        return it == FNewest.end() ? nullptr : it->second;
    }
    return GetState_SpecctraObject(IndexOfName(name));
}

std::unique_ptr<TSpecctraObject> TSpecctraList::Extract(int32_t index) {
    if (index < 0 || index >= Count())
        return nullptr;
    EnsureOrder();
    FNewestValid = false;
    std::unique_ptr<TSpecctraObject> object =
        std::move(FItems[static_cast<std::size_t>(index)].Object);
    FItems.erase(FItems.begin() + index);
    FIndexValid = false;
    return object;
}

void TSpecctraList::Clear() {
    // Free the newest first, so that objects made later (which may refer to
    // earlier ones) go first.
    if (FSorted)
        std::sort(FItems.begin(), FItems.end(),
                  [](const TEntry& a, const TEntry& b) { return a.Seq < b.Seq; });
    while (!FItems.empty())
        FItems.pop_back();
    FIndex.clear();
    FIdentity.clear();
    FNewest.clear();
    FIndexValid = true;
    FOrderValid = true;
    FNewestValid = true;
}

// ---------------------------------------------------------------------------
// TSpecctraRuleCollection

TSpecctraRuleCollection::TSpecctraRuleCollection(TSpecctraObject* owner)
    : TSpecctraObject(owner), FScopes(std::make_unique<TSpecctraList>(false)) {
    for (int kind = 1; kind <= RuleKindCount; ++kind)
        FRules[kind] = std::make_unique<TSpecctraList>(false);
}

TSpecctraRuleCollection::~TSpecctraRuleCollection() {
    // Rules refer to their scopes: free them first.
    for (auto& list : FRules)
        if (list)
            list->Clear();
    FScopes->Clear();
}

TSpecctraAbstractRule*
TSpecctraRuleCollection::AddRule(std::unique_ptr<TSpecctraAbstractRule> rule) {
    if (!rule || rule->RuleKind < 1 || rule->RuleKind > RuleKindCount)
        return nullptr;
    TSpecctraList& list = *FRules[rule->RuleKind];
    if (list.IndexOf(rule.get()) >= 0)
        return rule.release(); // already held: keep the one entry
    return list.AddNew(std::move(rule));
}

bool TSpecctraRuleCollection::Contains(const TSpecctraAbstractRule* rule) const {
    if (!rule || rule->RuleKind < 1 || rule->RuleKind > RuleKindCount)
        return false;
    return FRules[rule->RuleKind]->IndexOf(rule) >= 0;
}

TSpecctraList* TSpecctraRuleCollection::GetState_RuleList(int kind) const {
    if (kind < 1 || kind > RuleKindCount)
        return nullptr;
    return FRules[kind].get();
}

bool TSpecctraRuleCollection::ExportToPCB() {
    // Rules this translator wrote before (and those of the other maker mark)
    // go first, so that a repeated import does not pile rules up.
    DeleteRulesMadeBy(GetBoard(), 0);
    DeleteRulesMadeBy(GetBoard(), 2);
    // Rules are written grouped by the kind of scope that read them, scope
    // kinds 1 .. 19, each group in rule-kind order and list order.
    for (int scopeKind = 1; scopeKind <= 19; ++scopeKind) {
        std::vector<TSpecctraAbstractRule*> group;
        for (int kind = 1; kind <= RuleKindCount; ++kind) {
            TSpecctraList& list = *FRules[kind];
            for (int32_t i = 0; i < list.Count(); ++i) {
                auto* rule = static_cast<TSpecctraAbstractRule*>(list.GetState_SpecctraObject(i));
                if (rule->FScope && rule->FScope->RuleScopeKind() == scopeKind)
                    group.push_back(rule);
            }
        }
        for (TSpecctraAbstractRule* rule : group)
            if (!rule->ExportToPCB())
                break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Helpers

double UnitsPerInch(int unit) {
    switch (unit) {
    case eDimInch:
        return 1.0;
    case eDimCm:
        return 2.54;
    case eDimMm:
        return 25.4;
    case eDimUm:
        return 25400.0;
    default:
        return 1000.0;
    }
}

std::string SideName(int side) {
    switch (side) {
    case 0:
        return "Front Side";
    case 1:
        return "Back Side";
    case 2:
        return "Both Sides";
    default:
        return std::string();
    }
}

std::string ShapeTypeName(int kind) {
    switch (kind) {
    case 0:
        return "Filled Polygon Shape";
    case 1:
        return "Rectangular Shape";
    case 2:
        return "Circular Shape";
    case 3:
        return "Polyline Shape";
    case 4:
        return "Quarter Arc Shape";
    default:
        return "ERROR: Unknown Specctra shape type.";
    }
}

bool IsLayerClassName(std::string_view text) {
    return HostSdk::SameTextAscii(text, "SIGNAL") || HostSdk::SameTextAscii(text, "POWER") ||
           HostSdk::SameTextAscii(text, "PCB");
}

std::string IntToHexText(int32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    uint32_t bits = static_cast<uint32_t>(value);
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = digits[bits & 0xFu];
        bits >>= 4;
    }
    std::size_t first = 0;
    while (first < 6 && text[first] == '0')
        ++first;
    return text.substr(first);
}

bool HexTextToInt(std::string_view text, int32_t& value) {
    std::string hex(1, '$');
    hex.append(text);
    return ConvertSpecctraInt(hex, value);
}

bool GetParameter(std::string_view parameters, std::string_view name, std::string& value) {
    return HostSdk::GetState_Parameter(parameters, name, value);
}

void SetParameter(std::string& parameters, std::string_view name, std::string_view value) {
    HostSdk::AddStringParameter(parameters, name, value);
}

std::string QuoteIfParenthesised(const std::string& name) {
    if (name.find_first_of("()") != std::string::npos)
        return "'" + name + "'";
    return name;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}
std::string Parenthesised(const std::string& text) {
    return "(" + text + ")";
}
std::string QuotedParenthesised(const std::string& text) {
    return "('" + text + "')";
}

std::string JoinWithOperator(const std::string& left, const std::string& right,
                             const std::string& op) {
    if (left.empty())
        return right;
    return left + " " + op + " " + right;
}

bool IsAllScope(std::string_view scope) {
    return HostSdk::SameTextAscii(scope, "All");
}

// ---------------------------------------------------------------------------
// Board rules

namespace {

bool IsTwoScopeRuleKind(int32_t kind) {
    return kind == 0 || kind == 1 || kind == 15 || kind == 21 || kind == 24;
}

// Every rule of the board, kind and scopes read.
template <typename Visit> void ForEachBoardRule(intptr_t board, Visit visit) {
    for (intptr_t handle : CollectItems(board, eRuleObject)) {
        TPcbRuleEx rule(handle);
        if (rule.QueryDatabase(1) == 0 && !visit(handle, rule))
            return;
    }
}

void RemoveRule(intptr_t board, intptr_t rule) {
    // The board frees an object deleted from it; a rule it does not hold is
    // destroyed here.
    if (TPcbBoard(board).DeleteObject(rule) != 0)
        PCBProcs::PcbApi_DestroyObject(rule);
}

// Display names of the Specctra rule kinds 0 .. 40.
const char* const kRuleKindNames[] = {
    "Abstract",
    "Circuit Descriptor",
    "Clearance",
    "Effective Via Length",
    "Inter Layer Clearance",
    "Junction Type",
    "Length Amplitude",
    "Length Factor",
    "Length Gap",
    "Limit Bends",
    "Limit Crossing",
    "Limit Vias",
    "Limit Way",
    "Max Noise",
    "Max Stagger",
    "Max Stub",
    "Max Total Vias",
    "Parallel Noise",
    "Parallel Segment",
    "Pin Width Taper",
    "Power Fanout",
    "Redundant Wiring",
    "Reorder",
    "Restricted Layer Length Factor",
    "Saturation Length",
    "Shield Gap",
    "Shield Loop",
    "Shield Tie Down Interval",
    "Shield Width",
    "Stack Via",
    "Stack Via Depth",
    "Tandem Noise",
    "Tandem Segment",
    "Tandem Shield Overhang",
    "Testpoint",
    "Time Length Factor",
    "T Junction",
    "Track Id",
    "Via At Smd",
    "Via Pattern",
    "Width",
};

} // namespace

intptr_t FindDefaultRule(intptr_t board, int32_t ruleKind) {
    intptr_t found = 0;
    ForEachBoardRule(board, [&](intptr_t handle, const TPcbRuleEx& rule) {
        if (static_cast<int32_t>(rule.GetState_Kind()) != ruleKind ||
            !IsAllScope(rule.GetState_Scope1Expression()))
            return true;
        if (IsTwoScopeRuleKind(ruleKind) && !IsAllScope(rule.GetState_Scope2Expression()))
            return true;
        found = handle;
        return false;
    });
    return found;
}

void DeleteRulesOfKind(int32_t ruleKind, intptr_t board) {
    std::vector<intptr_t> doomed;
    ForEachBoardRule(board, [&](intptr_t handle, const TPcbRuleEx& rule) {
        if (static_cast<int32_t>(rule.GetState_Kind()) == ruleKind)
            doomed.push_back(handle);
        return true;
    });
    for (intptr_t handle : doomed)
        RemoveRule(board, handle);
}

int DeleteRulesMadeBy(intptr_t board, uint8_t firstByte) {
    std::vector<intptr_t> doomed;
    for (intptr_t handle : CollectItems(board, eRuleObject)) {
        uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {};
        if (PCBProcs::PcbApi_QueryRuleExt(1, handle, attributes) == 0 && attributes[0] == firstByte)
            doomed.push_back(handle);
    }
    for (intptr_t handle : doomed)
        RemoveRule(board, handle);
    return static_cast<int>(doomed.size());
}

std::string RuleDisplayName(int ruleKind, const TSpecctraAbstractRule* rule) {
    if (!rule)
        return "ERROR: Invalid Rule Name";
    const char* kind = ruleKind >= 0 && ruleKind <= TSpecctraRuleCollection::RuleKindCount
                           ? kRuleKindNames[ruleKind]
                           : "Unknown";
    return std::string(kind) + " " + rule->NameID;
}

std::string NetNameOf(intptr_t object) {
    intptr_t net = object;
    if (GetObjectKind(object) != eNetObject) {
        switch (GetObjectKind(object)) {
        case eTrackObject: {
            TPcbTrack track(object);
            track.QueryDatabase(1);
            net = track.GetState_Net();
            break;
        }
        case eViaObject: {
            TPcbVia via(object);
            via.QueryDatabase(1);
            net = via.GetState_Net();
            break;
        }
        case ePadObject: {
            TPcbPad pad(object);
            pad.QueryDatabase(1);
            net = pad.GetState_Net();
            break;
        }
        case eArcObject: {
            TPcbArc arc(object);
            arc.QueryDatabase(1);
            net = arc.GetState_Net();
            break;
        }
        case eFillObject: {
            TPcbFill fill(object);
            fill.QueryDatabase(1);
            net = fill.GetState_Net();
            break;
        }
        default:
            return std::string();
        }
    }
    if (net == 0)
        return std::string();
    TPcbNet record(net);
    if (record.QueryDatabase(1) == 0)
        return std::string();
    return record.GetState_Name();
}

std::string LayerNameOf(intptr_t board, int32_t layer) {
    TLayerObject record(board, static_cast<TV6_Layer>(layer));
    if (record.QueryDatabase(1) == 0)
        return std::string();
    return record.GetState_Name();
}
