// The base of every Specctra model object: its place in the tree, the four
// translation operations, the block protocol, unit resolution, coordinate
// conversion and reporting.
#pragma once

#include "specctra/RecycledBlocks.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraTypes.h"
#include "specctra/TranslationState.h"

#include <cstdint>
#include <memory>
#include <string>

class TSpecctraParser;
class TSpecctraWriter;
class IReportSink;
class TSpecctraList;
class TSpecctraRuleCollection;
class TSpecctraRuleScopeBase;
class TSpecctraPadstack;
class TSpecctraCompImage;
struct THostServices;
enum TV6_Layer : uint8_t;

// Kinds of DSN objects whose blocks may hold rule blocks; the rule-scope
// factory picks a scope class by it.
enum TRuleScopeOwner : int {
    eRuleOwnerNone = 0,
    eRuleOwnerStructure,
    eRuleOwnerLayer,
    eRuleOwnerNetClass,
    eRuleOwnerGroupSet,
    eRuleOwnerNet,
    eRuleOwnerGroup,
    eRuleOwnerFromTo,
    eRuleOwnerClassPair,
    eRuleOwnerPadstack,
    eRuleOwnerRegion,
};

// While one lives, the model objects of this thread send no reports (they
// still count in ReportsMade): for text read a second time, whose reports the
// first reading sent.
class TReportsMuted {
public:
    TReportsMuted();
    ~TReportsMuted();
    TReportsMuted(const TReportsMuted&) = delete;
    TReportsMuted& operator=(const TReportsMuted&) = delete;
};

// The base of every model object: its place in the tree, the four translation
// operations, the block protocol, unit resolution, coordinate conversion and
// reporting.
class TSpecctraObject : public TRecycled {
public:
    explicit TSpecctraObject(TSpecctraObject* owner);
    virtual ~TSpecctraObject();

    TSpecctraObject(const TSpecctraObject&) = delete;
    TSpecctraObject& operator=(const TSpecctraObject&) = delete;

    // Fields, shared with the subclasses. The two 4-byte fields sit side by
    // side: a design holds millions of these objects.
    TSpecctraObject* Owner = nullptr;
    TSpecctraParser* Parser = nullptr;
    TSpecctraWriter* Writer = nullptr;
    IReportSink* ReportManager = nullptr;
    std::string NameID;
    intptr_t HarrowHandle = 0;
    TDimensionUnit FUnits = eDimNotSet;
    int32_t SectionsOpen = 1;

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
    // The host layer of the design's layer of that name; eV6_NoLayer for a
    // name the layer stack does not know.
    virtual TV6_Layer Get_HostLayerByName(const std::string& name);
    // The padstack of that name from the file's library, or none.
    virtual TSpecctraPadstack* Get_PadstackByName(const std::string& name);
    // The image of that name from the design's library, or none.
    virtual TSpecctraCompImage* Get_ImageByName(const std::string& name);
    // Writes the padstack of that name from this library as a board-wide
    // routing via style; false when the library has none of that name (and
    // for any object that is no library).
    virtual bool ExportToPCB_RoutingViaStyle(const std::string& padstack);
    // The host's services for this translation, handed down from the file
    // root; none for an object without one.
    virtual const THostServices& Services() const;

    virtual bool ImportFromFile();
    virtual bool ExportToPCB();
    virtual bool ImportFromPcb();
    virtual bool ExportToFile();

    // What kind of rule-bearing object this is (eRuleOwnerNone for none).
    virtual int RuleScopeOwner() const { return eRuleOwnerNone; }
    // Forgets the rule scopes this object opened (and their rules): for an
    // object that is dropped after reading.
    void DropRuleScopes();

    // Block protocol.
    void SkipCurrentBlock();
    // Asked at every token: inline.
    bool StopParsing() const {
        return !Parser || Parser->EndOfFile() || Parser->Aborted() || TranslationState().StopFlag;
    }
    bool HandleStructureToken();
    TDimensionUnit ReadUnit(int32_t tokenId);
    TDimensionUnit GetUnit();

    // The report of this object: its own, else its nearest owner's.
    IReportSink* ReportSink() const;
    void ReportError(const std::string& text) const;
    void ReportWarning(const std::string& text) const;
    void ReportFinalWarning(const std::string& text) const;
    void ReportEvent(const std::string& text) const;
    // How many reports (of any kind) objects of this thread made so far: a
    // step that made none may stand for its repetitions.
    static uint64_t ReportsMade();

    bool ExportListToFile(TSpecctraList* list);
    bool ExportListToPCB(TSpecctraList* list);
    // As ExportListToPCB, but frees each object right after it is written and
    // then the list itself: for objects nothing reads once they are on the
    // board. Stops at the first object that fails; the list is freed anyway.
    bool ExportListToPCBAndRelease(std::unique_ptr<TSpecctraList>& list);

    // Coordinate conversion between Specctra numbers and board units.
    int32_t FileToBoard(double value);
    int32_t ExportToPCB_PositionX(double value);
    int32_t ExportToPCB_PositionY(double value);
    // A length of the design, in this object's units, in host units: neither
    // rounded nor clamped.
    double HostLength(double value);
    // Whether the design point (x, y), in this object's units, lies inside
    // the host's coordinate range once moved by the board offset, with
    // `reach` host units all around it. The one check of every position an
    // import places; what fails it is reported and not imported, never
    // clamped or wrapped.
    bool OnBoard(double x, double y, double reach = 0.0);
    // OnBoard for the point (x, y) of what `name()` gives ("Via V1"): when it
    // fails, an error names the point in the design's numbers and says that
    // this is not imported. The name is made for that error only, not for
    // the many points that lie on the board.
    template <class TName> bool PlacedOnBoard(double x, double y, TName&& name) {
        if (OnBoard(x, y))
            return true;
        ReportOffBoard(x, y, name());
        return false;
    }
    // The error of PlacedOnBoard for the point (x, y) of `what`.
    void ReportOffBoard(double x, double y, const std::string& what);
    // Board lengths and positions as written text; inline, as a routed
    // board writes millions of them.
    static double BoardToFile(double value) {
        return RoundTiesToEven(value * TranslationState().ResolutionFactor);
    }
    static double BoardToFileX(int32_t x) {
        return BoardToFile(static_cast<double>(x) -
                           static_cast<double>(TranslationState().BoardOffsetX));
    }
    static double BoardToFileY(int32_t y) {
        return BoardToFile(static_cast<double>(y) -
                           static_cast<double>(TranslationState().BoardOffsetY));
    }

    // The topmost ancestor (this object for a root).
    TSpecctraObject* Root();
    // True for the root of a whole design or session file (the design's
    // sections hang below it); lets the model find that root without a
    // type query per object.
    virtual bool IsFileRoot() const { return false; }

private:
    // The scope of this object for the current rule block (found or made and
    // kept in the rule collection), or none after skipping the block.
    TSpecctraRuleScopeBase* OpenRuleScope();
};
