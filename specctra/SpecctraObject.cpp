#include "specctra/SpecctraObject.h"

#include "board/Layers.h"
#include "specctra/HostHooks.h"
#include "specctra/ReportSink.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraList.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraRuleCollection.h"
#include "specctra/SpecctraRuleScope.h"
#include "specctra/TranslationState.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    TSpecctraRuleScopeBase* scope = OpenRuleScope();
    if (!scope)
        return true;
    const bool result = Parser->CurrentToken() == eTok_circuit ? scope->ImportCircuitDescriptor()
                                                               : scope->ImportFromFile();
    --SectionsOpen;
    return result;
}

bool TSpecctraObject::ImportLayerRuleScope() {
    TSpecctraRuleScopeBase* scope = OpenRuleScope();
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

TSpecctraRuleScopeBase* TSpecctraObject::OpenRuleScope() {
    TSpecctraRuleCollection* rules = GetRuleCollection();
    const IRuleScopeFactory* factory = rules ? rules->ScopeFactory() : nullptr;
    const int kind = factory && Parser ? factory->ScopeKindFor(Parser->CurrentToken(), *this) : 0;
    TSpecctraRuleScopeBase* scope = kind != 0 ? rules->FindRuleScope(this, kind) : nullptr;
    if (!scope && kind != 0)
        scope = rules->AddRuleScope(factory->CreateScope(kind, *this));
    if (!scope)
        SkipUnknownBlock(); // no scope class for this block
    return scope;
}

void TSpecctraObject::DropRuleScopes() {
    if (TSpecctraRuleCollection* rules = GetRuleCollection())
        rules->DropRuleScopesOf(this);
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

TV6_Layer TSpecctraObject::Get_HostLayerByName(const std::string& name) {
    return Owner ? Owner->Get_HostLayerByName(name) : eV6_NoLayer;
}

TSpecctraPadstack* TSpecctraObject::Get_PadstackByName(const std::string& name) {
    return Owner ? Owner->Get_PadstackByName(name) : nullptr;
}

TSpecctraCompImage* TSpecctraObject::Get_ImageByName(const std::string& name) {
    return Owner ? Owner->Get_ImageByName(name) : nullptr;
}

const THostServices& TSpecctraObject::Services() const {
    static const THostServices kNone;
    return Owner ? Owner->Services() : kNone;
}

bool TSpecctraObject::ExportToPCB_RoutingViaStyle(const std::string&) {
    return false;
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

void TSpecctraObject::SkipCurrentBlock() {
    if (!Parser)
        return;
    const int32_t startLine = Parser->LineNumber();
    const std::string keyword = Parser->TokenString();
    Parser->SkipCurrentBlock();
    ReportWarning("Skipped block between lines: " + std::to_string(startLine) + "-" +
                  std::to_string(Parser->LineNumber()) + ", from keyword: " + keyword);
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

namespace {
thread_local uint64_t reportsMade = 0;
thread_local int32_t reportsMuted = 0;
} // namespace

TReportsMuted::TReportsMuted() {
    ++reportsMuted;
}

TReportsMuted::~TReportsMuted() {
    --reportsMuted;
}

IReportSink* TSpecctraObject::ReportSink() const {
    if (reportsMuted > 0)
        return nullptr;
    // An object made before its root had a report manager reports through
    // the nearest owner that has one.
    for (const TSpecctraObject* node = this; node; node = node->Owner)
        if (node->ReportManager)
            return node->ReportManager;
    return nullptr;
}

uint64_t TSpecctraObject::ReportsMade() {
    return reportsMade;
}

void TSpecctraObject::ReportError(const std::string& text) const {
    ++reportsMade;
    if (IReportSink* sink = ReportSink())
        sink->ReportError(text);
}

void TSpecctraObject::ReportWarning(const std::string& text) const {
    ++reportsMade;
    if (IReportSink* sink = ReportSink())
        sink->ReportWarning(text);
}

void TSpecctraObject::ReportFinalWarning(const std::string& text) const {
    ++reportsMade;
    if (IReportSink* sink = ReportSink())
        sink->ReportFinalWarning(text);
}

void TSpecctraObject::ReportEvent(const std::string& text) const {
    ++reportsMade;
    if (IReportSink* sink = ReportSink())
        sink->AddReportEvent(text);
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

bool TSpecctraObject::ExportListToPCBAndRelease(std::unique_ptr<TSpecctraList>& list) {
    if (!list)
        return false;
    bool result = true;
    for (int32_t i = 0; i < list->Count() && result; ++i) {
        result = list->GetState_SpecctraObject(i)->ExportToPCB();
        list->SetState_SpecctraObject(i, nullptr); // the old object is freed here
    }
    list.reset();
    return result;
}

namespace {

// Apart from the conversion, which runs for every coordinate of a design.
[[gnu::cold, gnu::noinline]] void ReportUnknownUnit(const TSpecctraObject& object) {
    object.ReportWarning(std::string("Unknown dimension unit type, assuming mils. ") +
                         object.ClassName());
}

} // namespace

int32_t TSpecctraObject::FileToBoard(double value) {
    // Dividing by 1 gives the value itself: the usual factor needs no division.
    const double factor = TranslationState().ResolutionFactor;
    const double w = factor == 1.0 ? value : value / factor;
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
        ReportUnknownUnit(*this);
        return RoundToBoard(w * 10000.0);
    }
}

namespace {

// A board position: the offset plus a length already in board units, both
// whole, so the sum needs no rounding, only the clamp to the 32-bit range.
int32_t OffsetOnBoard(int32_t offset, int32_t length) {
    const int64_t sum = int64_t{offset} + length;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

int32_t TSpecctraObject::ExportToPCB_PositionX(double value) {
    return OffsetOnBoard(TranslationState().BoardOffsetX, FileToBoard(value));
}

int32_t TSpecctraObject::ExportToPCB_PositionY(double value) {
    return OffsetOnBoard(TranslationState().BoardOffsetY, FileToBoard(value));
}

double TSpecctraObject::HostLength(double value) {
    return value * 1e7 / UnitsPerInch(GetUnit()) / TranslationState().ResolutionFactor;
}

bool TSpecctraObject::OnBoard(double x, double y, double reach) {
    const double limit = static_cast<double>(std::numeric_limits<int32_t>::max());
    const double boardX = TranslationState().BoardOffsetX + HostLength(x);
    const double boardY = TranslationState().BoardOffsetY + HostLength(y);
    return std::fabs(boardX) + reach < limit && std::fabs(boardY) + reach < limit;
}

void TSpecctraObject::ReportOffBoard(double x, double y, const std::string& what) {
    ReportError(what + " at (" + GeneralNumberText(x) + ", " + GeneralNumberText(y) +
                ") lies outside the coordinate range of the board; it is not imported.");
}

TSpecctraObject* TSpecctraObject::Root() {
    TSpecctraObject* node = this;
    while (node->Owner)
        node = node->Owner;
    return node;
}
