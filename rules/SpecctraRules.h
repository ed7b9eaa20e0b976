// The routing rules of a design: one class per rule keyword, each read from
// the rule block of the scope that holds it and written to the board as host
// design rules scoped by the scope's query expressions.
#pragma once

#include "specctra/SpecctraRuleCollection.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TPcbRuleEx;

// One kind per rule keyword of the design language.
enum TSpecctraRuleKind : uint8_t {
    eAbstract_Rule = 0,
    eCircuitDesc_Rule,
    eClearance_Rule,
    eEffectiveViaLength_Rule,
    eInterLayerClearance_Rule,
    eJunctionType_Rule,
    eLengthAmplitude_Rule,
    eLengthFactor_Rule,
    eLengthGap_Rule,
    eLimitBends_Rule,
    eLimitCrossing_Rule,
    eLimitVias_Rule,
    eLimitWay_Rule,
    eMaxNoise_Rule,
    eMaxStagger_Rule,
    eMaxStub_Rule,
    eMaxTotalVias_Rule,
    eParallelNoise_Rule,
    eParallelSegment_Rule,
    ePinWidthTaper_Rule,
    ePowerFanout_Rule,
    eRedundantWiring_Rule,
    eReorder_Rule,
    eRestrictedLayerLengthFactor_Rule,
    eSaturationLength_Rule,
    eShieldGap_Rule,
    eShieldLoop_Rule,
    eShieldTieDownInterval_Rule,
    eShieldWidth_Rule,
    eStackVia_Rule,
    eStackVia_Depth_Rule,
    eTandemNoise_Rule,
    eTandemSegment_Rule,
    eTandemShieldOverhang_Rule,
    eTestpoint_Rule,
    eTimeLength_Factor_Rule,
    eTJunction_Rule,
    eTrackId_Rule,
    eViaAtSmd_Rule,
    eViaPattern_Rule,
    eWidth_Rule,
};

enum TSpecctraShieldType : uint8_t { eShieldParallel = 0, eShieldTandem, eShieldCoax };
enum TSpecctraRoutingOrder : uint8_t {
    eStarburst = 0,
    eDaisySimple,
    eDaisyMidDriven,
    eDaisyBalanced
};
enum TSpecctraBoardSide : uint8_t { eFrontSide = 0, eBackSide, eBothSides };

// Number of clearance types; a constraint's domain is a mask of them.
constexpr int kClearanceTypeCount = 28;

// The clearance type index of a type keyword (token id), or -1.
int ClearanceTypeIndex(int32_t tokenId);
// The host object filters of a clearance type (first and second object);
// empty for the types that filter nothing.
const char* ClearanceFirstFilter(int index);
const char* ClearanceSecondFilter(int index);

// The name of a host rule kind as rule names use it ("Clearance", "Width", ...).
const char* HostRuleKindName(int32_t hostKind);
// True for the host rule kinds with two scopes (0, 1, 15, 21, 24).
bool IsTwoScopeHostRuleKind(int32_t hostKind);

// ------------------------------------------------------------------- scopes

// The expressions of a rule's scope; "All" for a rule without a scope.
std::string ScopeUnaryExpression(TSpecctraRuleScopeBase* scope);
void ScopeBinaryExpressions(TSpecctraRuleScopeBase* scope, std::string& expression1,
                            std::string& expression2);

// ------------------------------------------------------------------- rules

// The scope step every rule runs on its host rule, and the rule name.
class TSpecctraHostRule : public TSpecctraAbstractRule {
public:
    using TSpecctraAbstractRule::TSpecctraAbstractRule;

    // Sets the wrapper's expressions from the scope (both for a two-scope
    // host kind, else the unary one) and writes the wrapper. False without a
    // wrapper or when the write fails.
    virtual bool ExportToPCB_Scope(TPcbRuleEx* rule);
    // The host kind's name, a blank and the owner's name; the error text
    // "ERROR: Invalid Rule Name" without a rule.
    std::string HostRuleName(const TPcbRuleEx* rule) const;
    // The name of the object whose block holds the rule.
    std::string OwnerName() const;

protected:
    // Converts a length of the design to host units. A length that does not
    // fit the host's range is reported and refused.
    bool ToHostLength(double value, const char* what, int32_t& converted);
    // Makes a host rule of a kind, runs the scope step and names it. On false
    // nothing is left behind.
    bool MakeHostRule(TPcbRuleEx& rule, int32_t hostKind);
    // Adds a made rule to the board; the board refusing it destroys it.
    bool AddHostRule(TPcbRuleEx& rule);
};

// (width <w>)
class TSpecctraWidthRule : public TSpecctraHostRule {
public:
    explicit TSpecctraWidthRule(TSpecctraObject* owner) : TSpecctraHostRule(owner, eWidth_Rule) {}
    const char* ClassName() const override { return "TSpecctraWidthRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    double Value = 0.0;
};

// One typed clearance value: the clearance types it applies to and its value.
struct TClearanceConstraint {
    uint32_t FDomain = 0;
    int32_t FDomainCount = 0;
    double Value = 0.0;
    void Add(int index);
    bool Contains(int index) const;
};

class TConstraintList {
public:
    // Creates the current constraint with the value when there is none and
    // adds the index to it.
    void AddConstraint(double value, int index);
    void DropCurrent() { FCurrentConstraint = nullptr; }
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    const TClearanceConstraint& At(int32_t index) const { return *FItems[index]; }

    TClearanceConstraint* FCurrentConstraint = nullptr;

private:
    std::vector<std::unique_ptr<TClearanceConstraint>> FItems;
};

// (clearance <v> [(type <t>...)]) and (clear ...): one per scope; each block
// read adds to it.
class TSpecctraClearanceRule : public TSpecctraHostRule {
public:
    explicit TSpecctraClearanceRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eClearance_Rule) {}
    const char* ClassName() const override { return "TSpecctraClearanceRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;

    int32_t BuriedViaLayerDepthSpan = 0;
    TConstraintList Constraints;
    double UniformValue = -1.0;
    double SMDToTurnGap = -1.0;
    double SMDToViaSameNet = -1.0;

    // The two expressions of a typed constraint for the given scope
    // expressions.
    static void ConstraintExpressions(const TClearanceConstraint& constraint,
                                      const std::string& scope1, const std::string& scope2,
                                      std::string& expression1, std::string& expression2);

private:
    bool FUniformRead = false;
    bool ReadTypes(double value);
    bool WriteClearance(double value, const std::string& expression1,
                        const std::string& expression2, bool sameNet);
};

// (length_amplitude <max> [<min>]) and (length_gap <gap>): kept, not written.
class TSpecctraTimingRule : public TSpecctraHostRule {
public:
    explicit TSpecctraTimingRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eLengthGap_Rule) {}
    const char* ClassName() const override { return "TSpecctraTimingRule"; }
    bool ImportFromFile() override;
    double LengthGap = 0.0;
    double MinLengthAmplitude = 0.0;
    double MaxLengthAmplitude = 0.0;
};

// (max_stub <length>)
class TSpecctraStubLengthRule : public TSpecctraHostRule {
public:
    explicit TSpecctraStubLengthRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eMaxStub_Rule) {}
    const char* ClassName() const override { return "TSpecctraStubLengthRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    double Value = 0.0;
};

// (max_total_vias <n>)
class TSpecctraMaxViaCountRule : public TSpecctraHostRule {
public:
    explicit TSpecctraMaxViaCountRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eMaxTotalVias_Rule) {}
    const char* ClassName() const override { return "TSpecctraMaxViaCountRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    int32_t Value = 0;
};

// (parallel_segment [off] (gap <g>) (limit <l>)); the tandem segment rule
// reads the same block.
class TSpecctraParallelSegmentRule : public TSpecctraHostRule {
public:
    explicit TSpecctraParallelSegmentRule(TSpecctraObject* owner,
                                          uint8_t kind = eParallelSegment_Rule)
        : TSpecctraHostRule(owner, kind) {}
    const char* ClassName() const override { return "TSpecctraParallelSegmentRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    double Gap = 0.0;
    double Limit = 0.0;
};

class TSpecctraTandemSegmentRule : public TSpecctraParallelSegmentRule {
public:
    explicit TSpecctraTandemSegmentRule(TSpecctraObject* owner)
        : TSpecctraParallelSegmentRule(owner, eTandemSegment_Rule) {}
    const char* ClassName() const override { return "TSpecctraTandemSegmentRule"; }
    bool ExportToPCB() override;
};

// (reorder starburst|daisy [(type mid_driven|balanced)])
class TSpecctraRouteOrderRule : public TSpecctraHostRule {
public:
    explicit TSpecctraRouteOrderRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eReorder_Rule) {}
    const char* ClassName() const override { return "TSpecctraRouteOrderRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    TSpecctraRoutingOrder OrderType = eStarburst;
    // The host's routing-topology code of an order.
    static int32_t TopologyCode(TSpecctraRoutingOrder order);

private:
    bool ReadOrder();
};

// (testpoint ...): kept, not written.
class TSpecctraTestpointRule : public TSpecctraHostRule {
public:
    explicit TSpecctraTestpointRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eTestpoint_Rule) {}
    const char* ClassName() const override { return "TSpecctraTestpointRule"; }
    bool ImportFromFile() override;
    bool AllowAntena = false;
    double MaxAntenaLength = 0.0;
    double CenterToCenterClearance = 0.0;
    double CompEdgeToCenterClearance = 0.0;
    double GridX = 0.0;
    double GridY = 0.0;
    double Offset = 0.0;
    double CompEdgeToTPEdgeClearance = 0.0;
    bool AllowInsertion = false;
    bool AllowPins = false;
    TSpecctraBoardSide Side = eBothSides;
    std::vector<std::string> AllowedComps;
    std::vector<std::string> UsedVias;
};

// (via_at_smd on|off [(grid on|off)] [(fit on|off)])
class TSpecctraViaAtSmdRule : public TSpecctraHostRule {
public:
    explicit TSpecctraViaAtSmdRule(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eViaAtSmd_Rule) {}
    const char* ClassName() const override { return "TSpecctraViaAtSmdRule"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    bool Allowed = false;
    bool OnGrid = false;
    bool MustFitUnderPad = false;
};

// A match record of a circuit: absent, or on/off with a ratio or a tolerance.
struct TSpecctraMatchRecord {
    bool Present = false;
    bool On = false;
    bool IsRatio = false;
    double Tolerance = 0.0;
};

// What a circuit needs of the design when it is written: the routing data of
// a layer and the via style of a padstack. By default the design's layer stack
// and library answer; a test may put other answers in (empty links restore
// the design's).
struct TCircuitLayerInfo {
    bool SignalOrMixed = false;
    int32_t HostLayer = 0;     // 1 .. 32, 0 for none
    int32_t DirectionCode = 0; // host direction code; kToggleDirection alternates
    static constexpr int32_t kToggleDirection = -1;
};
struct TCircuitDesignLinks {
    // The routing data of a design layer; false for an unknown layer.
    std::function<bool(TSpecctraObject& rule, const std::string& layer, TCircuitLayerInfo& info)>
        Layer;
    // Whether the design has a library section.
    std::function<bool(TSpecctraObject& rule)> HasLibrary;
    // Writes the routing via style of a library padstack with a name prefix
    // and scope text; false when the library has no such padstack.
    std::function<bool(TSpecctraObject& rule, const std::string& padstack,
                       const std::string& prefix, const std::string& scope)>
        ViaStyle;
};
void SetCircuitDesignLinks(TCircuitDesignLinks links);

// (circuit ...)
class TSpecctraCircuitDescriptor : public TSpecctraHostRule {
public:
    explicit TSpecctraCircuitDescriptor(TSpecctraObject* owner)
        : TSpecctraHostRule(owner, eCircuitDesc_Rule) {}
    const char* ClassName() const override { return "TSpecctraCircuitDescriptor"; }
    bool ImportFromFile() override;
    bool ExportToPCB() override;

    double MaxDelay = 0.0, MinDelay = 0.0, TotalMaxDelay = 0.0, TotalMinDelay = 0.0;
    double MaxLength = 0.0, MinLength = 0.0;
    bool LengthAsRatio = false;
    double TotalMaxLength = 0.0, TotalMinLength = 0.0;
    TSpecctraMatchRecord FromToMatchLength, FromToMatchDelay, GroupMatchLength, GroupMatchDelay,
        NetMatchLength, NetMatchDelay;
    bool ShieldActive = false;
    std::string ShieldNetIdRef;
    TSpecctraShieldType ShieldType = eShieldParallel;
    double MaxLenOnLayer = 0.0;
    bool MaxLenOnLayerIsTotal = false;
    uint32_t Priority = 0;
    std::vector<std::string> UsedLayers;
    std::vector<std::string> UsedVias;

private:
    bool ReadSubBlock(int32_t keyword);
    bool ReadMatch(TSpecctraMatchRecord& match, bool withRatio);
    bool ReadShield();
    bool ReadUsedVias();
    void WriteViaStyles();
    void WriteRoutingLayers();
};

// ------------------------------------------------------------ rule blocks

// Reads the rule and circuit blocks of scopes: each rule sub-block becomes a
// rule owned by the design's rule collection; "clear" and "clearance" blocks
// go to the scope's one clearance rule (made on first use). Known rules that
// are not translated are skipped with a warning; anything else is an
// unexpected token and makes the result false.
class TSpecctraRuleBlockReader : public IRuleBlockReader {
public:
    bool ReadRuleBlock(TSpecctraRuleScopeBase& scope, bool clearanceAndWidthOnly) const override;
    bool ReadCircuitBlock(TSpecctraRuleScopeBase& scope) const override;
};
// Makes the rule collection read rule blocks with the routing rules.
void RegisterRuleBlockReader(TSpecctraRuleCollection& rules);
// The rule scopes and the rule block reader of a design or route file.
void RegisterDesignRuleReaders(TSpecctraRuleCollection& rules);

// A new rule object for a rule keyword, with the scope as its scope and the
// scope's owner as its owner; none for a keyword that makes no rule object.
std::unique_ptr<TSpecctraAbstractRule> CreateRuleForKeyword(int32_t keyword,
                                                            TSpecctraRuleScopeBase& scope);
// True for the rule keywords that are known but not translated.
bool IsSkippedRuleKeyword(int32_t keyword);
