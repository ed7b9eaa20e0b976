// The rules of a design file as read: the rule blocks of every scope, each
// rule's grammar, the circuit descriptor and the factory that makes a rule
// for its keyword. How each rule goes to the board is in
// SpecctraRules_Board.cpp.
#include "rules/SpecctraRules.h"

#include "rules/RuleScopes.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/TranslationState.h"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

namespace {

constexpr bool IsParen(int32_t id) {
    return id == eTok_OpenParen || id == eTok_CloseParen;
}

// Reading steps shared by the rule readers. Each keeps the object's nesting
// count right: a ")" read in place of a value closes the block.

// Reports the current token as unexpected, keeping the nesting count right
// when it is a parenthesis.
void Unexpected(TSpecctraObject& self, int32_t id) {
    if (IsParen(id))
        self.SectionsOpen += id == eTok_OpenParen ? 1 : -1;
    self.Parser->ReportUnexpectedToken();
}

// The next token as a number. A parenthesis or a text that is no number is
// reported and gives false.
bool ReadReal(TSpecctraObject& self, double& value) {
    const int32_t id = self.Parser->NextToken();
    if (IsParen(id)) {
        Unexpected(self, id);
        return false;
    }
    double read = 0.0;
    if (!self.Parser->TokenStr2Real(read) || !std::isfinite(read))
        return false;
    value = read;
    return true;
}

bool ReadInteger(TSpecctraObject& self, int32_t& value) {
    const int32_t id = self.Parser->NextToken();
    if (IsParen(id)) {
        Unexpected(self, id);
        return false;
    }
    int32_t read = 0;
    if (!self.Parser->TokenStr2Int(read))
        return false;
    value = read;
    return true;
}

// The next token as "on" or "off".
bool ReadOnOff(TSpecctraObject& self, bool& value) {
    const int32_t id = self.Parser->NextToken();
    if (id == eTok_on || id == eTok_off) {
        value = id == eTok_on;
        return true;
    }
    Unexpected(self, id);
    return false;
}

// The ")" that closes the current sub-block.
bool CloseBlock(TSpecctraObject& self) {
    if (!self.Parser->ExpectToken(eTok_CloseParen)) {
        if (self.Parser->CurrentToken() == eTok_OpenParen)
            ++self.SectionsOpen;
        return false;
    }
    --self.SectionsOpen;
    return true;
}

// The next token as one of the words of `choices`, then the ")" of the
// sub-block.
template <class T>
bool ReadChoice(TSpecctraObject& self, std::initializer_list<std::pair<int32_t, T>> choices,
                T& value) {
    const int32_t id = self.Parser->NextToken();
    for (const auto& [word, choice] : choices)
        if (id == word) {
            value = choice;
            return CloseBlock(self);
        }
    Unexpected(self, id);
    return false;
}

// Skips what is left of the object's block down to `stopLevel` and reports
// the skipped lines once.
void SkipRestOfBlock(TSpecctraObject& self, int32_t stopLevel) {
    if (self.SectionsOpen <= stopLevel || self.StopParsing()) {
        if (self.SectionsOpen > stopLevel)
            self.SectionsOpen = stopLevel;
        return;
    }
    const int32_t startLine = self.Parser->LineNumber();
    const std::string keyword = self.Parser->TokenString();
    while (self.SectionsOpen > stopLevel && !self.StopParsing()) {
        self.Parser->SkipCurrentBlock();
        --self.SectionsOpen;
    }
    self.SectionsOpen = stopLevel;
    self.ReportWarning("Skipped block between lines: " + std::to_string(startLine) + "-" +
                       std::to_string(self.Parser->LineNumber()) + ", from keyword: " + keyword);
}

// Reads the rest of a block whose sub-blocks go to `handle` (called with the
// keyword after a "("; it consumes the sub-block through its ")" and answers
// 1 when read, 0 when failed, -1 for a keyword it does not take, which is
// skipped with a warning). Stray tokens are unexpected. A failed sub-block
// skips the rest of the block. `afterOpen`: a "(" has just been read.
template <class Handle>
bool ReadSubBlocks(TSpecctraObject& self, int32_t stop, Handle&& handle, bool afterOpen = false) {
    bool result = true;
    while (self.SectionsOpen > stop && !self.StopParsing()) {
        const int32_t id = self.Parser->NextToken();
        if (id == eTok_OpenParen) {
            ++self.SectionsOpen;
            afterOpen = true;
            continue;
        }
        if (id == eTok_CloseParen) {
            --self.SectionsOpen;
            afterOpen = false;
            continue;
        }
        if (!afterOpen) {
            result = self.HandleStructureToken() && result;
            continue;
        }
        afterOpen = false;
        const int handled = handle(id);
        if (handled < 0) {
            self.ImportUnknownBlock();
        } else if (handled == 0) {
            SkipRestOfBlock(self, stop);
            return false;
        }
    }
    return result;
}

template <class Handle> bool ReadSubBlocks(TSpecctraObject& self, Handle&& handle) {
    return ReadSubBlocks(self, self.SectionsOpen - 1, std::forward<Handle>(handle));
}

// Names read up to the ")" of the current sub-block.
bool ReadNames(TSpecctraObject& self, std::vector<std::string>& names) {
    while (!self.StopParsing()) {
        const int32_t id = self.Parser->NextToken();
        if (id == eTok_CloseParen) {
            --self.SectionsOpen;
            return true;
        }
        if (id == eTok_OpenParen) {
            ++self.SectionsOpen;
            self.Parser->ReportUnexpectedToken();
            return false;
        }
        names.push_back(self.Parser->TokenString());
    }
    return false;
}

struct TClearanceType {
    int32_t Token;
    int Index;
};

const TClearanceType kClearanceTypes[] = {
    {eTok_Pin_Pin, 0},           {eTok_Pin_Smd, 1},           {eTok_Smd_Pin, 1},
    {eTok_Pin_Via, 2},           {eTok_Via_Pin, 2},           {eTok_Pin_Wire, 3},
    {eTok_Wire_Pin, 3},          {eTok_Pin_Area, 4},          {eTok_Area_Pin, 4},
    {eTok_Pin_TestPoint, 5},     {eTok_Testpoint_Pin, 5},     {eTok_Smd_Smd, 6},
    {eTok_Smd_Via, 7},           {eTok_Via_Smd, 7},           {eTok_Smd_Wire, 8},
    {eTok_Wire_Smd, 8},          {eTok_Smd_Area, 9},          {eTok_area_smd, 9},
    {eTok_Smd_TestPoint, 10},    {eTok_TestPoint_Smd, 10},    {eTok_via_via, 11},
    {eTok_Via_Wire, 12},         {eTok_Wire_Via, 12},         {eTok_Via_Area, 13},
    {eTok_Area_Via, 13},         {eTok_Via_TestPoint, 14},    {eTok_TestPoint_Via, 14},
    {eTok_Wire_Wire, 15},        {eTok_Wire_Area, 16},        {eTok_Area_Wire, 16},
    {eTok_Wire_TestPoint, 17},   {eTok_TestPoint_Wire, 17},   {eTok_Area_Area, 18},
    {eTok_Area_TestPoint, 19},   {eTok_TestPoint_Area, 19},   {eTok_TestPoint_TestPoint, 20},
    {eTok_smd_via_same_net, 21}, {eTok_via_via_same_net, 22}, {eTok_buried_via_gap, 23},
};

// Reads a rule of one value and its ")"; a bad rule skips the rest of its
// block.
template <class T>
bool ReadValueRule(TSpecctraObject& self, bool (*read)(TSpecctraObject&, T&), T& value) {
    const int32_t stop = self.SectionsOpen - 1;
    if (!read(self, value) || !CloseBlock(self)) {
        SkipRestOfBlock(self, stop);
        return false;
    }
    return true;
}

} // namespace

// ------------------------------------------------------------------ tables

int ClearanceTypeIndex(int32_t tokenId) {
    for (const TClearanceType& type : kClearanceTypes)
        if (type.Token == tokenId)
            return type.Index;
    return -1;
}

// ------------------------------------------------------------------- width

bool TSpecctraWidthRule::ImportFromFile() {
    return ReadValueRule(*this, ReadReal, Value);
}

// --------------------------------------------------------------- clearance

void TClearanceConstraint::Add(int index) {
    if (index < 0 || index >= kClearanceTypeCount || Contains(index))
        return;
    FDomain |= 1u << index;
    ++FDomainCount;
}

bool TClearanceConstraint::Contains(int index) const {
    return index >= 0 && index < kClearanceTypeCount && (FDomain & (1u << index)) != 0;
}

void TConstraintList::AddConstraint(double value, int index) {
    if (!FCurrentConstraint) {
        FItems.push_back(std::make_unique<TClearanceConstraint>());
        FCurrentConstraint = FItems.back().get();
        FCurrentConstraint->Value = value;
    }
    FCurrentConstraint->Add(index);
}

bool TSpecctraClearanceRule::ImportFromFile() {
    // One rule reads every clearance block of its scope.
    SectionsOpen = 1;
    Constraints.DropCurrent();
    double value = 0.0;
    if (!ReadReal(*this, value)) {
        SkipRestOfBlock(*this, 0);
        return false;
    }
    const int32_t id = Parser->NextToken();
    if (id == eTok_CloseParen) {
        --SectionsOpen;
        UniformValue = value;
        FUniformRead = true;
        return true;
    }
    if (id != eTok_OpenParen || !Parser->ExpectToken(eTok_type)) {
        if (id == eTok_OpenParen)
            ++SectionsOpen;
        else
            Parser->ReportUnexpectedToken();
        SkipRestOfBlock(*this, 0);
        return false;
    }
    ++SectionsOpen;
    if (!ReadTypes(value)) {
        SkipRestOfBlock(*this, 0);
        return false;
    }
    return true;
}

bool TSpecctraClearanceRule::ReadTypes(double value) {
    while (SectionsOpen > 0 && !StopParsing()) {
        const int32_t id = Parser->NextToken();
        if (id == eTok_layer_depth) {
            if (!ReadInteger(*this, BuriedViaLayerDepthSpan))
                return false;
            continue;
        }
        if (id == eTok_smd_to_turn_gap) {
            SMDToTurnGap = value;
            continue;
        }
        if (id == eTok_pad_to_turn_gap || id == eTok_antipad_gap || id == eTok_drill_gap)
            continue;
        const int index = ClearanceTypeIndex(id);
        if (index >= 0) {
            Constraints.AddConstraint(value, index);
            continue;
        }
        if (!HandleStructureToken())
            return false;
    }
    return SectionsOpen <= 0;
}

// ------------------------------------------------------------------ timing

bool TSpecctraTimingRule::ImportFromFile() {
    const int32_t stop = SectionsOpen - 1;
    bool ok = false;
    if (Parser->CurrentToken() == eTok_length_gap) {
        ok = ReadReal(*this, LengthGap) && CloseBlock(*this);
    } else if (ReadReal(*this, MaxLengthAmplitude)) {
        // An optional minimum, then the end of the block.
        const int32_t id = Parser->NextToken();
        if (id == eTok_CloseParen) {
            --SectionsOpen;
            ok = true;
        } else if (id == eTok_OpenParen) {
            ++SectionsOpen;
            Parser->ReportUnexpectedToken();
        } else {
            ok = Parser->TokenStr2Real(MinLengthAmplitude) && CloseBlock(*this);
        }
    }
    if (!ok)
        SkipRestOfBlock(*this, stop);
    return ok;
}

// ------------------------------------------------------------- stub length

bool TSpecctraStubLengthRule::ImportFromFile() {
    return ReadValueRule(*this, ReadReal, Value);
}

// --------------------------------------------------------- maximum vias

bool TSpecctraMaxViaCountRule::ImportFromFile() {
    return ReadValueRule(*this, ReadInteger, Value);
}

// ------------------------------------------------ parallel / tandem segment

bool TSpecctraParallelSegmentRule::ImportFromFile() {
    const int32_t stop = SectionsOpen - 1;
    // "off" as the first word drops the rule.
    const int32_t first = Parser->NextToken();
    if (first == eTok_CloseParen) {
        --SectionsOpen;
        return true;
    }
    if (first != eTok_OpenParen) {
        if (first != eTok_off)
            Parser->ReportUnexpectedToken();
        SkipRestOfBlock(*this, stop);
        return false;
    }
    ++SectionsOpen;
    return ReadSubBlocks(
        *this, stop,
        [this](int32_t id) {
            if (id == eTok_gap)
                return ReadReal(*this, Gap) && CloseBlock(*this) ? 1 : 0;
            if (id == eTok_limit)
                return ReadReal(*this, Limit) && CloseBlock(*this) ? 1 : 0;
            return -1;
        },
        true);
}

bool TSpecctraRouteOrderRule::ReadOrder() {
    const int32_t id = Parser->NextToken();
    if (id == eTok_starburst) {
        OrderType = eStarburst;
        return CloseBlock(*this);
    }
    if (id != eTok_daisy) {
        Parser->ReportUnexpectedToken();
        return false;
    }
    OrderType = eDaisySimple;
    const int32_t next = Parser->NextToken();
    if (next == eTok_CloseParen) {
        --SectionsOpen;
        return true;
    }
    if (next != eTok_OpenParen || !Parser->ExpectToken(eTok_type)) {
        if (next != eTok_OpenParen)
            Parser->ReportUnexpectedToken();
        return false;
    }
    const int32_t type = Parser->NextToken();
    if (type == eTok_mid_driven)
        OrderType = eDaisyMidDriven;
    else if (type == eTok_balanced)
        OrderType = eDaisyBalanced;
    else {
        Parser->ReportUnexpectedToken();
        return false;
    }
    return Parser->ExpectToken(eTok_CloseParen) && CloseBlock(*this);
}

bool TSpecctraRouteOrderRule::ImportFromFile() {
    if (ReadOrder())
        return true;
    // Reading of the whole file stops at a routing order it cannot take.
    TranslationState().StopFlag = true;
    return false;
}

// -------------------------------------------------------------- testpoint

bool TSpecctraTestpointRule::ImportFromFile() {
    return ReadSubBlocks(*this, [this](int32_t id) {
        bool ok = true;
        switch (id) {
        case eTok_allow_antenna:
            ok = ReadOnOff(*this, AllowAntena) && CloseBlock(*this);
            break;
        case eTok_max_len:
            ok = ReadReal(*this, MaxAntenaLength) && CloseBlock(*this);
            break;
        case eTok_center_center:
            ok = ReadReal(*this, CenterToCenterClearance) && CloseBlock(*this);
            break;
        case eTok_comp_edge_center:
            ok = ReadReal(*this, CompEdgeToCenterClearance) && CloseBlock(*this);
            break;
        case eTok_image_outline_clearance:
            ok = ReadReal(*this, CompEdgeToTPEdgeClearance) && CloseBlock(*this);
            break;
        case eTok_grid: {
            std::vector<std::string> words;
            ok = ReadNames(*this, words);
            if (ok && !words.empty())
                ConvertSpecctraReal(words[0], GridX);
            if (ok && words.size() > 1)
                ConvertSpecctraReal(words[1], GridY);
            if (ok && words.size() > 2)
                ConvertSpecctraReal(words[2], Offset);
            break;
        }
        case eTok_insert:
            ok = ReadOnOff(*this, AllowInsertion) && CloseBlock(*this);
            break;
        case eTok_pin_allow:
            ok = ReadOnOff(*this, AllowPins) && CloseBlock(*this);
            break;
        case eTok_side:
            ok = ReadChoice(
                *this, {{eTok_front, eFrontSide}, {eTok_back, eBackSide}, {eTok_both, eBothSides}},
                Side);
            break;
        case eTok_comp:
            ok = ReadNames(*this, AllowedComps);
            break;
        case eTok_use_via:
            ok = ReadNames(*this, UsedVias);
            break;
        default:
            return -1;
        }
        return ok ? 1 : 0;
    });
}

// -------------------------------------------------------------- via at SMD

bool TSpecctraViaAtSmdRule::ImportFromFile() {
    const int32_t stop = SectionsOpen - 1;
    if (!ReadOnOff(*this, Allowed)) {
        SkipRestOfBlock(*this, stop);
        return false;
    }
    return ReadSubBlocks(*this, [this](int32_t id) {
        if (id == eTok_grid)
            return ReadOnOff(*this, OnGrid) && CloseBlock(*this) ? 1 : 0;
        if (id == eTok_fit)
            return ReadOnOff(*this, MustFitUnderPad) && CloseBlock(*this) ? 1 : 0;
        return -1;
    });
}

bool TSpecctraCircuitDescriptor::ReadMatch(TSpecctraMatchRecord& match, bool withRatio) {
    match.Present = true;
    if (!ReadOnOff(*this, match.On))
        return false;
    const int32_t next = Parser->NextToken();
    if (next == eTok_CloseParen) {
        --SectionsOpen;
        return true;
    }
    if (next != eTok_OpenParen) {
        Parser->ReportUnexpectedToken();
        return false;
    }
    ++SectionsOpen;
    const int32_t kind = Parser->NextToken();
    if (kind == eTok_tolerance || (withRatio && kind == eTok_ratio)) {
        match.IsRatio = kind == eTok_ratio;
        return ReadReal(*this, match.Tolerance) && CloseBlock(*this) && CloseBlock(*this);
    }
    Parser->ReportUnexpectedToken();
    return false;
}

bool TSpecctraCircuitDescriptor::ReadShield() {
    if (!ReadOnOff(*this, ShieldActive))
        return false;
    return ReadSubBlocks(*this, [this](int32_t id) {
        if (id == eTok_type)
            return ReadChoice(*this,
                              {{eTok_parallel, eShieldParallel},
                               {eTok_tandem, eShieldTandem},
                               {eTok_coax, eShieldCoax}},
                              ShieldType)
                       ? 1
                       : 0;
        if (id == eTok_use_net) {
            ShieldNetIdRef = Parser->NextString();
            if (IsParen(Parser->CurrentToken())) {
                Parser->ReportUnexpectedToken();
                return 0;
            }
            return CloseBlock(*this) ? 1 : 0;
        }
        return -1;
    });
}

bool TSpecctraCircuitDescriptor::ReadUsedVias() {
    // Plain padstack names, and (use_array <padstack> <rows> <columns>)
    // entries, which are kept apart from the names.
    while (!StopParsing()) {
        const int32_t id = Parser->NextToken();
        if (id == eTok_CloseParen) {
            --SectionsOpen;
            return true;
        }
        if (id == eTok_OpenParen) {
            ++SectionsOpen;
            if (!Parser->ExpectToken(eTok_use_array))
                return false;
            std::vector<std::string> array;
            if (!ReadNames(*this, array))
                return false;
            continue;
        }
        UsedVias.push_back(Parser->TokenString());
    }
    return false;
}

bool TSpecctraCircuitDescriptor::ReadSubBlock(int32_t keyword) {
    switch (keyword) {
    case eTok_length: {
        if (!ReadReal(*this, MaxLength))
            return false;
        while (!StopParsing()) {
            const int32_t id = Parser->NextToken();
            if (id == eTok_CloseParen) {
                --SectionsOpen;
                return true;
            }
            if (id == eTok_OpenParen) {
                ++SectionsOpen;
                if (!Parser->ExpectToken(eTok_type))
                    return false;
                const int32_t type = Parser->NextToken();
                if (type != eTok_actual && type != eTok_ratio) {
                    Parser->ReportUnexpectedToken();
                    return false;
                }
                LengthAsRatio = type == eTok_ratio;
                if (!CloseBlock(*this))
                    return false;
                continue;
            }
            if (!Parser->TokenStr2Real(MinLength))
                return false;
        }
        return false;
    }
    case eTok_max_delay:
        return ReadReal(*this, MaxDelay) && CloseBlock(*this);
    case eTok_min_delay:
        return ReadReal(*this, MinDelay) && CloseBlock(*this);
    case eTok_max_total_delay:
        return ReadReal(*this, TotalMaxDelay) && CloseBlock(*this);
    case eTok_min_total_delay:
        return ReadReal(*this, TotalMinDelay) && CloseBlock(*this);
    case eTok_max_total_length:
        return ReadReal(*this, TotalMaxLength) && CloseBlock(*this);
    case eTok_min_total_length:
        return ReadReal(*this, TotalMinLength) && CloseBlock(*this);
    case eTok_max_restricted_layer_length:
        return ReadReal(*this, MaxLenOnLayer) && CloseBlock(*this);
    case eTok_total:
        MaxLenOnLayerIsTotal = true;
        return CloseBlock(*this);
    case eTok_priority: {
        int32_t priority = 0;
        if (!ReadInteger(*this, priority) || !CloseBlock(*this))
            return false;
        Priority = static_cast<uint32_t>(priority);
        return true;
    }
    case eTok_match_fromto_length:
        return ReadMatch(FromToMatchLength, true);
    case eTok_match_group_length:
        return ReadMatch(GroupMatchLength, true);
    case eTok_match_net_length:
        return ReadMatch(NetMatchLength, true);
    case eTok_match_fromto_delay:
        return ReadMatch(FromToMatchDelay, false);
    case eTok_match_group_delay:
        return ReadMatch(GroupMatchDelay, false);
    case eTok_match_net_delay:
        return ReadMatch(NetMatchDelay, false);
    case eTok_shield:
        return ReadShield();
    case eTok_use_layer:
        return ReadNames(*this, UsedLayers);
    case eTok_use_via:
        return ReadUsedVias();
    case eTok_sample_window:
    case eTok_switch_window:
    default:
        ImportUnknownBlock();
        return true;
    }
}

bool TSpecctraCircuitDescriptor::ImportFromFile() {
    SectionsOpen = 1;
    return ReadSubBlocks(*this, [this](int32_t id) { return ReadSubBlock(id) ? 1 : 0; });
}

// ------------------------------------------------------------ rule blocks

bool IsSkippedRuleKeyword(int32_t keyword) {
    switch (keyword) {
    case eTok_power_fanout:
    case eTok_allow_redundant_wiring:
    case eTok_effective_via_length:
    case eTok_inter_layer_clearance:
    case eTok_junction_type:
    case eTok_length_factor:
    case eTok_limit_bends:
    case eTok_limit_crossing:
    case eTok_limit_vias:
    case eTok_limit_way:
    case eTok_max_noise:
    case eTok_max_stagger:
    case eTok_parallel_noise:
    case eTok_pin_width_taper:
    case eTok_restricted_layer_length_factor:
    case eTok_saturation_length:
    case eTok_shield_gap:
    case eTok_shield_loop:
    case eTok_shield_tie_down_interval:
    case eTok_shield_width:
    case eTok_spiral_via:
    case eTok_stack_via:
    case eTok_stack_via_depth:
    case eTok_staggered_via:
    case eTok_staired_via:
    case eTok_tandem_noise:
    case eTok_tandem_shield_overhang:
    case eTok_time_length_factor:
    case eTok_tjunction:
    case eTok_track_id:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<TSpecctraAbstractRule> CreateRuleForKeyword(int32_t keyword,
                                                            TSpecctraRuleScopeBase& scope) {
    TSpecctraObject* owner = scope.Owner ? scope.Owner : &scope;
    std::unique_ptr<TSpecctraAbstractRule> rule;
    switch (keyword) {
    case eTok_clear:
    case eTok_clearance:
        rule = std::make_unique<TSpecctraClearanceRule>(owner);
        break;
    case eTok_width:
        rule = std::make_unique<TSpecctraWidthRule>(owner);
        break;
    case eTok_max_stub:
        rule = std::make_unique<TSpecctraStubLengthRule>(owner);
        break;
    case eTok_max_total_vias:
        rule = std::make_unique<TSpecctraMaxViaCountRule>(owner);
        break;
    case eTok_parallel_segment:
        rule = std::make_unique<TSpecctraParallelSegmentRule>(owner);
        break;
    case eTok_tandem_segment:
        rule = std::make_unique<TSpecctraTandemSegmentRule>(owner);
        break;
    case eTok_reorder:
        rule = std::make_unique<TSpecctraRouteOrderRule>(owner);
        break;
    case eTok_via_at_smd:
        rule = std::make_unique<TSpecctraViaAtSmdRule>(owner);
        break;
    case eTok_testpoint:
        rule = std::make_unique<TSpecctraTestpointRule>(owner);
        break;
    case eTok_length_amplitude:
    case eTok_length_gap:
        rule = std::make_unique<TSpecctraTimingRule>(owner);
        break;
    case eTok_circuit:
        rule = std::make_unique<TSpecctraCircuitDescriptor>(owner);
        break;
    default:
        return nullptr;
    }
    rule->FScope = &scope;
    return rule;
}

bool TSpecctraRuleBlockReader::ReadRuleBlock(TSpecctraRuleScopeBase& scope,
                                             bool clearanceAndWidthOnly) const {
    TSpecctraRuleCollection* rules = scope.GetRuleCollection();
    auto* ruleScope = dynamic_cast<TAbstractRuleScope*>(&scope);
    TSpecctraClearanceRule* unkept = nullptr;
    TSpecctraClearanceRule*& clearanceRule = ruleScope ? ruleScope->ClearanceRule : unkept;
    scope.SectionsOpen = 1;
    bool result = true;
    bool afterOpen = false;
    while (scope.SectionsOpen > 0 && !scope.StopParsing()) {
        const int32_t id = scope.Parser->NextToken();
        if (IsParen(id)) {
            scope.HandleStructureToken();
            afterOpen = id == eTok_OpenParen;
            continue;
        }
        const bool keyword = afterOpen;
        afterOpen = false;
        const bool allowed =
            keyword && (!clearanceAndWidthOnly || id == eTok_clearance || id == eTok_width);
        if (allowed && (id == eTok_clear || id == eTok_clearance) && rules) {
            if (!clearanceRule)
                clearanceRule = static_cast<TSpecctraClearanceRule*>(
                    rules->AddRule(CreateRuleForKeyword(id, scope)));
            result = clearanceRule->ImportFromFile() && result;
            --scope.SectionsOpen;
            continue;
        }
        std::unique_ptr<TSpecctraAbstractRule> rule =
            allowed && id != eTok_circuit && rules ? CreateRuleForKeyword(id, scope) : nullptr;
        if (rule) {
            const bool read = rule->ImportFromFile();
            --scope.SectionsOpen;
            if (read)
                rules->AddRule(std::move(rule));
            result = read && result;
            continue;
        }
        if (keyword && !clearanceAndWidthOnly && IsSkippedRuleKeyword(id)) {
            scope.ImportUnknownBlock();
            continue;
        }
        result = scope.HandleStructureToken() && result;
    }
    // The clearance rule joined the collection when it was made.
    return result;
}

bool TSpecctraRuleBlockReader::ReadCircuitBlock(TSpecctraRuleScopeBase& scope) const {
    auto circuit = CreateRuleForKeyword(eTok_circuit, scope);
    const bool read = circuit->ImportFromFile();
    TSpecctraRuleCollection* rules = scope.GetRuleCollection();
    if (read && rules)
        rules->AddRule(std::move(circuit));
    return read;
}

void RegisterRuleBlockReader(TSpecctraRuleCollection& rules) {
    static const TSpecctraRuleBlockReader reader;
    rules.SetRuleBlockReader(&reader);
}

void RegisterDesignRuleReaders(TSpecctraRuleCollection& rules) {
    RegisterRuleScopes(rules);
    RegisterRuleBlockReader(rules);
}
