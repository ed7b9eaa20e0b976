// The base of every Specctra model object, the owning name-keyed object list,
// the rule collection, the translation state shared by one translation and the
// small helpers used across the model.
#pragma once

#include "specctra/SpecctraTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class TBlockParser;
class TSpecctraParser;
class TSpecctraWriter;
class IReportSink;
class TSpecctraList;
class TSpecctraRuleCollection;

// ---------------------------------------------------------------------------
// Translation state: one set for the whole plug-in, reset before every
// translation by ResetTranslationState.

// Divisor applied to lengths read from text, multiplier applied to board
// lengths written as text.
inline double ResolutionFactor = 1.0;
// Added to every position converted to the board; subtracted from every board
// position written as text.
inline int32_t BoardOffsetX = 0;
inline int32_t BoardOffsetY = 0;
// Set by a reader that met an error after which reading must stop.
inline bool StopFlag = false;

class TSpecctraObject;

// Module-wide lists emptied by ResetTranslationState:
// the polygons the import created on the board, in creation order;
inline std::vector<intptr_t> CreatedPolygons;
// the network's pin-to-net index ("REF-PIN" to the net object, not owned);
inline std::unordered_map<std::string, TSpecctraObject*> PinToNetIndex;
// the board objects already written to a route or session file.
inline std::unordered_set<intptr_t> WrittenBoardObjects;

void ResetTranslationState();

// ---------------------------------------------------------------------------

// The base of every model object: its place in the tree, the four translation
// operations, the block protocol, unit resolution, coordinate conversion and
// reporting.
class TSpecctraObject {
public:
    explicit TSpecctraObject(TSpecctraObject* owner);
    virtual ~TSpecctraObject();

    TSpecctraObject(const TSpecctraObject&) = delete;
    TSpecctraObject& operator=(const TSpecctraObject&) = delete;

    // Fields, shared with the subclasses.
    TDimensionUnit FUnits = eDimNotSet;
    TSpecctraObject* Owner = nullptr;
    int32_t SectionsOpen = 1;
    TSpecctraParser* Parser = nullptr;
    TSpecctraWriter* Writer = nullptr;
    IReportSink* ReportManager = nullptr;
    std::string NameID;
    intptr_t HarrowHandle = 0;

    // Class name used in messages.
    virtual const char* ClassName() const { return "TSpecctraObject"; }

    virtual intptr_t GetBoard();
    virtual TSpecctraRuleCollection* GetRuleCollection();
    std::unique_ptr<TSpecctraList> CreateList();
    std::unique_ptr<TSpecctraList> CreateSortedList();
    // The default for a sub-block whose keyword the object does not handle:
    // skip it with a warning and close one nesting level.
    virtual bool ImportUnknownBlock();
    // Reads a rule-scope sub-block whose keyword is the current token.
    virtual bool ImportRuleScope();
    // Reads a rule-scope sub-block that starts with a list of layer names.
    virtual bool ImportLayerRuleScope();
    virtual void SkipUnknownBlock();
    // The net of that name from the design's net list, or none.
    virtual TSpecctraObject* Get_NetByName(const std::string& name);
    // The layer of that name from the design's layer stack, or none.
    virtual TSpecctraObject* Get_LayerByName(const std::string& name);

    virtual bool ImportFromFile();
    virtual bool ExportToPCB();
    virtual bool ImportFromPcb();
    virtual bool ExportToFile();

    // Hooks of rule scopes (the rules layer overrides them): reading a
    // "circuit" block, keeping the layer names of a "layer_rule" block, and
    // the scope kind (1 .. 19; 0 for an object that is no scope).
    virtual bool ImportCircuitDescriptor();
    virtual void AddScopeLayerName(const std::string& name);
    virtual int RuleScopeKind() const;

    // Block protocol.
    void SkipCurrentBlock();
    bool StopParsing() const;
    bool HandleStructureToken();
    TDimensionUnit ReadUnit(int32_t tokenId);
    TDimensionUnit GetUnit();

    void ReportError(const std::string& text) const;
    void ReportWarning(const std::string& text) const;
    void ReportEvent(const std::string& text) const;

    bool ExportListToFile(TSpecctraList* list);
    bool ExportListToPCB(TSpecctraList* list);

    // Coordinate conversion between Specctra numbers and board units.
    int32_t FileToBoard(double value);
    int32_t ExportToPCB_PositionX(double value);
    int32_t ExportToPCB_PositionY(double value);
    static double BoardToFile(double value);
    static double BoardToFileX(int32_t x);
    static double BoardToFileY(int32_t y);

    // The topmost ancestor (this object for a root).
    TSpecctraObject* Root();

private:
    // The scope of this object for the current rule block (found or made and
    // kept in the rule collection), or none after skipping the block.
    TSpecctraObject* OpenRuleScope();
    TSpecctraObject* FindOrAddRuleScope(TSpecctraRuleCollection& rules,
                                        std::unique_ptr<TSpecctraObject> candidate);
};

// Creates the rule-scope object for a scope keyword with the given parent, or
// none when the keyword selects no scope class. The rules layer installs it.
using TRuleScopeFactory = std::unique_ptr<TSpecctraObject> (*)(int32_t tokenId,
                                                               TSpecctraObject* parent);
void SetRuleScopeFactory(TRuleScopeFactory factory);

// An owning list of (name, object) pairs. Names are looked up without regard
// to ASCII case through an index. A sorted list keeps its entries ordered by
// name (a newly added duplicate goes before the equal names already there);
// it sorts lazily, when an entry is first asked for by position, so that
// filling it costs O(n log n) however adds and look-ups by name interleave.
class TSpecctraList {
public:
    explicit TSpecctraList(bool sorted = false) : FSorted(sorted) {}
    ~TSpecctraList();

    TSpecctraList(const TSpecctraList&) = delete;
    TSpecctraList& operator=(const TSpecctraList&) = delete;

    // Appends (object's NameID, object); the list owns the object. Returns it.
    TSpecctraObject* Add(std::unique_ptr<TSpecctraObject> object);
    template <class T> T* AddNew(std::unique_ptr<T> object) {
        T* raw = object.get();
        Add(std::move(object));
        return raw;
    }
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    bool Sorted() const { return FSorted; }
    // The object at an index, or none outside 0 .. Count() - 1.
    TSpecctraObject* GetState_SpecctraObject(int32_t index) const;
    // Replaces the object at a valid index and hands the old one back; an
    // invalid index changes nothing and hands the new object back.
    std::unique_ptr<TSpecctraObject>
    SetState_SpecctraObject(int32_t index, std::unique_ptr<TSpecctraObject> object);
    // The name stored with the entry at an index.
    const std::string& NameAt(int32_t index) const;
    // Index by identity, or -1.
    int32_t IndexOf(const TSpecctraObject* object) const;
    // Index of the first entry with that name (any case), or -1.
    int32_t IndexOfName(std::string_view name) const;
    TSpecctraObject* Find(std::string_view name) const;
    // Removes the entry and hands its object back.
    std::unique_ptr<TSpecctraObject> Extract(int32_t index);
    // Frees every object and empties the list.
    void Clear();

private:
    struct TEntry {
        std::string Name;
        std::unique_ptr<TSpecctraObject> Object;
        uint64_t Seq = 0; // order of adding
    };
    void EnsureOrder() const;
    void Reindex() const;

    bool FSorted;
    mutable std::vector<TEntry> FItems;
    mutable bool FOrderValid = true;
    uint64_t FNextSeq = 0;
    mutable std::unordered_map<std::string, int32_t> FIndex; // upper-case name -> first index
    mutable std::unordered_map<const TSpecctraObject*, int32_t> FIdentity;
    mutable bool FIndexValid = true;
    // Sorted lists: upper-case name -> the entry that sorts first among its
    // equals (the newest), kept while nothing is replaced or removed.
    std::unordered_map<std::string, TSpecctraObject*> FNewest;
    bool FNewestValid = true;
};

// Base of every routing rule: its scope and kind (1 .. 40; 0 for the abstract
// rule).
class TSpecctraAbstractRule : public TSpecctraObject {
public:
    explicit TSpecctraAbstractRule(TSpecctraObject* owner, uint8_t ruleKind = 0)
        : TSpecctraObject(owner), RuleKind(ruleKind) {}
    const char* ClassName() const override { return "TSpecctraAbstractRule"; }

    TSpecctraObject* FScope = nullptr; // the scope that read the rule
    uint8_t RuleKind = 0;
};

// All rules of a design, one owning list per rule kind 1 .. 40, and the rule
// scopes that read them (owned too).
class TSpecctraRuleCollection : public TSpecctraObject {
public:
    static constexpr int RuleKindCount = 40;
    explicit TSpecctraRuleCollection(TSpecctraObject* owner);
    ~TSpecctraRuleCollection() override;
    const char* ClassName() const override { return "TSpecctraRuleCollection"; }

    // Takes the rule into the list of its kind and answers it; a rule of no
    // valid kind, or none, is dropped and the answer is none.
    TSpecctraAbstractRule* AddRule(std::unique_ptr<TSpecctraAbstractRule> rule);
    // True when the rule is already held (by identity).
    bool Contains(const TSpecctraAbstractRule* rule) const;
    // The list of a kind (1 .. 40), or none.
    TSpecctraList* GetState_RuleList(int kind) const;
    TSpecctraList& RuleScopes() { return *FScopes; }

    bool ExportToPCB() override;

private:
    std::unique_ptr<TSpecctraList> FRules[RuleKindCount + 1];
    std::unique_ptr<TSpecctraList> FScopes;
};

// ---------------------------------------------------------------------------
// Helpers.

// Units per inch of a dimension unit (mil and anything unknown: 1000).
double UnitsPerInch(int unit);
// "Front Side", "Back Side", "Both Sides".
std::string SideName(int side);
// Display name of a shape kind 0 .. 4.
std::string ShapeTypeName(int kind);
// True for "SIGNAL", "POWER" or "PCB" in any case.
bool IsLayerClassName(std::string_view text);
// Eight upper-case hexadecimal digits of the two's complement value, with
// leading zeros removed while at least two digits remain.
std::string IntToHexText(int32_t value);
// Reads a value written by IntToHexText back ("$" + text, converted).
bool HexTextToInt(std::string_view text, int32_t& value);
// Name=value pairs joined by "|".
bool GetParameter(std::string_view parameters, std::string_view name, std::string& value);
void SetParameter(std::string& parameters, std::string_view name, std::string_view value);
// The name in apostrophes when it holds "(" or ")".
std::string QuoteIfParenthesised(const std::string& name);
std::string Quoted(const std::string& text);
std::string Parenthesised(const std::string& text);
std::string QuotedParenthesised(const std::string& text);
std::string JoinWithOperator(const std::string& left, const std::string& right,
                             const std::string& op);
bool IsAllScope(std::string_view scope);
// Rounds to the nearest integer, ties to even, clamped to the 32-bit range.
int32_t RoundToBoard(double value);

// Board rules.
// The first board rule of a host rule kind whose scope is "All" (both scopes
// for the two-scope kinds 0, 1, 15, 21 and 24), or 0.
intptr_t FindDefaultRule(intptr_t board, int32_t ruleKind);
// Removes and destroys every board rule of a host rule kind.
void DeleteRulesOfKind(int32_t ruleKind, intptr_t board);
// Removes and destroys every board rule whose extended attributes can be read
// and begin with `firstByte`. Answers the number removed.
int DeleteRulesMadeBy(intptr_t board, uint8_t firstByte);
// "ERROR: Invalid Rule Name" without a rule, else the display name of the
// rule kind (1 .. 40), a space and the rule's name.
std::string RuleDisplayName(int ruleKind, const TSpecctraAbstractRule* rule);
// The name of a net, or of the net of a primitive; empty for none.
std::string NetNameOf(intptr_t object);
// The name of a board layer (a TV6_Layer value).
std::string LayerNameOf(intptr_t board, int32_t layer);
