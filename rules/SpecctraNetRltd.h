// Nets, net classes, groups, group sets, from-tos and wire connections of the
// network: the objects that read those blocks, the design-wide pin-to-net
// index they fill, and how each becomes a host net, class or from-to.
#pragma once

#include "board/Pcbclass.h"
#include "specctra/SpecctraClasses1.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum TSpecctraNetType : uint8_t {
    eNetTypenone = 0,
    eNetTypeFixed = 1,
    eNetTypeNormal = 2,
};

enum TSpecctraNetSupplyType : uint8_t {
    eSupplyNone = 0,
    eSupplyPower = 1,
    eSupplyGround = 2,
};

enum TSpecctraFromToType : uint8_t {
    eFTNormal = 0,
    eFTFixed = 1,
    eFTSoft = 2,
};

enum TSpecctraObjectType : uint8_t {
    eNoneObjectType = 0,
    ePinObjectType = 1,
    eSmdObjectType = 2,
    eViaObjectType = 3,
    eWireObjectType = 4,
    eAreaObjectType = 5,
    eTestpointObjectType = 6,
};

// True when two pin references are equal ignoring ASCII letter case.
bool SamePinReference(std::string_view a, std::string_view b);

// A sorted list of names compared without regard to ASCII case, duplicates
// ignored (the first spelling stays). Appending is O(1); the list sorts
// itself when first asked, so filling it costs O(n log n).
class TNameSet {
public:
    void Add(std::string name);
    bool Contains(std::string_view name) const { return IndexOf(name) >= 0; }
    // Position in sorted order, or -1.
    int32_t IndexOf(std::string_view name) const;
    int32_t Count() const;
    // The names in sorted order.
    const std::vector<std::string>& Items() const;

private:
    void EnsureSorted() const;
    mutable std::vector<std::string> FItems;
    mutable bool FSorted = true;
};

// The common base of nets, classes, from-tos, groups and group sets.
class TSpecctraAbstractNetGroupObject : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    const char* ClassName() const override { return "TSpecctraAbstractNetGroupObject"; }

protected:
    // Reads the tokens of the current sub-block up to its closing
    // parenthesis and hands each plain token to `take`; closes one level.
    // A nested block is reported as unexpected and gives false. With
    // `pinReferences`, tokens are read as pin references (PinReferenceText).
    template <class TTake> bool ReadTokenList(TTake&& take, bool pinReferences = false);
    // The current token (of id `id`) as a pin reference. A quoted component
    // reference directly followed by "-pin", as in "LED 1"-3, arrives as two
    // tokens, the quoted name and the word -3; the word is read here and the
    // two make one reference, LED 1-3. Any other token is taken as it is.
    std::string PinReferenceText(int32_t id);
    // Reads "(composite prefix first last step suffix)" after its keyword
    // and hands each generated name to `take`.
    template <class TTake> bool ReadComposite(TTake&& take);
    // Reads a block "name member... (sub-block)...": the first token into
    // NameID, plain tokens before the first sub-block into `members` (when
    // given; else to the default handler, as are those after it), each
    // sub-block keyword to `subBlock`, which answers whether it read well.
    // Without a name, `unnamed` (when given) is reported and fails the block.
    template <class TSub>
    bool ReadNamedBlock(std::vector<std::string>* members, const char* unnamed, TSub&& subBlock);
    // Handles a rule, circuit or layer_rule sub-block through the scope
    // hooks; true when the current token was one of them (result in `ok`).
    bool ReadRuleBlock(int32_t token, bool& ok);
    // Makes a host class of a member kind with the given name and members,
    // adds it to the board and keeps its handle; true when it was added.
    bool ExportClassToPCB(TClassMemberKind kind, const std::vector<std::string>& members);
};

class TSpecctraFromTo;
class TSpecctraDsnNetworkDescriptor;

// The pin references of every net of a network, back to back in one block of
// text, each prefixed by its length: a net holds only where its run of
// references starts, how long it is and how much room it has. A design has
// about as many nets as components, most with two or three pins; a string set
// per net would cost several times the references themselves.
class TPinReferenceBlock {
public:
    struct TRun {
        uint32_t Offset = 0;
        uint32_t Length = 0;     // bytes of the references in the run
        uint32_t Room = 0;       // bytes the run may fill in place
        uint32_t Generation = 0; // of the block's text it is in; 0 for none yet
    };
    // Appends the reference to the run. A run that is not the last one in the
    // block moves to the end first, with room for as much again: a net that
    // grows again and again is copied O(log n) times. Refuses (false) when
    // the block would pass 4 GiB.
    bool Append(TRun& run, std::string_view pin);
    // Hands each reference of the run, in the order appended, to `take`.
    template <class TTake> void ForEach(const TRun& run, TTake&& take) const {
        if (run.Generation != FGeneration)
            return; // a run of a block let go, or none yet
        const char* at = FText.data() + run.Offset;
        const char* const end = at + run.Length;
        while (at < end) {
            std::size_t length = 0;
            for (int shift = 0; at < end; shift += 7) {
                const auto byte = static_cast<unsigned char>(*at++);
                length |= static_cast<std::size_t>(byte & 0x7F) << shift;
                if ((byte & 0x80) == 0)
                    break;
            }
            take(std::string_view(at, length));
            at += length;
        }
    }
    // Empties the run; its bytes go back when it is the last one in the block.
    void Discard(TRun& run);
    // Gives back the room kept for more references.
    void Compact() { FText.shrink_to_fit(); }
    // Frees every reference; runs made before read empty from now on.
    void Clear();
    std::size_t Bytes() const { return FText.size(); }

private:
    std::string FText;
    uint32_t FGeneration = 1;
};

// What few nets have: their from-tos and their extra pin lists.
struct TSpecctraNetLists {
    std::unique_ptr<TSpecctraList> FromTos;
    std::unique_ptr<std::vector<std::string>> Exposed;
    std::unique_ptr<std::vector<std::string>> UnExposed;
    std::unique_ptr<std::vector<std::string>> Source;
    std::unique_ptr<std::vector<std::string>> Load;
    std::unique_ptr<std::vector<std::string>> Terminator;
};

// One "net" block. A design holds one per net, all alive until the design is
// on the board: what every net has is kept here, its pins in the network's
// pin block, what few nets have out of line.
class TSpecctraNet : public TSpecctraAbstractNetGroupObject {
public:
    explicit TSpecctraNet(TSpecctraDsnNetworkDescriptor* network);
    ~TSpecctraNet() override;
    const char* ClassName() const override { return "TSpecctraNet"; }
    int RuleScopeOwner() const override;

    int32_t NetNumber = 0;
    bool UnAssigned = false;
    TSpecctraNetType NetType = eNetTypenone;
    TSpecctraNetSupplyType SupplyType = eSupplyNone;

    bool ImportFromFile() override;
    bool ExportToPCB() override;

    // The net's pins (of its "pins" and "order" blocks) sorted without regard
    // to case, duplicates left out (the first spelling stays).
    std::vector<std::string> PinNames() const;
    int32_t PinCount() const { return static_cast<int32_t>(PinNames().size()); }
    // Adds a pin to the net's own list (not to the pin-to-net index).
    void AddPin(std::string_view pin);
    // Forgets the pins (of "pins" and "order"): they are read only while the
    // network is read; the pin-to-net index and the board hold them after.
    void ReleasePinNames();
    // Forgets the pins and the pin lists (once the components are on the
    // board, or of a net not kept); the from-tos stay.
    void ReleasePins();

    // The from-tos, or none.
    TSpecctraList* FromTolist() const { return FLists ? FLists->FromTos.get() : nullptr; }
    // The from-to list, made first when there is none.
    TSpecctraList& FromTosToFill();
    // The pin lists of the "expose", "noexpose", "source", "load" and
    // "terminator" blocks, or none for a block the net does not have.
    const std::vector<std::string>* ExposedPinList() const {
        return List(&TSpecctraNetLists::Exposed);
    }
    const std::vector<std::string>* UnExposedPinList() const {
        return List(&TSpecctraNetLists::UnExposed);
    }
    const std::vector<std::string>* SourcePinList() const {
        return List(&TSpecctraNetLists::Source);
    }
    const std::vector<std::string>* LoadPinList() const { return List(&TSpecctraNetLists::Load); }
    const std::vector<std::string>* TerminatorPinList() const {
        return List(&TSpecctraNetLists::Terminator);
    }

    // The host net, made first when there is none yet (0 without a board).
    intptr_t ForceHarrowHandle();
    // True when the pin is on the net (case ignored).
    bool GetState_PinOnNet(std::string_view pin) const;
    // The host daisy-chain style of a pin: only the first of the source,
    // load and terminator lists that exists is consulted. `index` receives
    // the pin's position in that list (-1 when absent).
    TDaisyChainStyle ExportToPCB_PinDaisyChainStyle(std::string_view pin, int32_t& index) const;
    // Takes every pin reference of the net out of the pin-to-net index
    // (those entered for this net only).
    void RemovePinsFromIndex();

private:
    using TListField = std::unique_ptr<std::vector<std::string>> TSpecctraNetLists::*;
    const std::vector<std::string>* List(TListField field) const {
        return FLists ? (FLists.get()->*field).get() : nullptr;
    }
    TPinReferenceBlock& PinBlock() const;
    // Loads the network's name index slot for this net while its pins are
    // read.
    void PrefetchNetSlot() const;
    bool ReadSubBlock(int32_t id);
    bool ReadPins();
    bool ReadPinList(TListField field);
    bool ReadFromTo();
    bool MakeHostNet();

    TPinReferenceBlock::TRun FPins;
    std::unique_ptr<TSpecctraNetLists> FLists;
};

// One "class" block: its member nets in file order.
class TSpecctraNetClass : public TSpecctraAbstractNetGroupObject {
public:
    explicit TSpecctraNetClass(TSpecctraObject* owner);
    ~TSpecctraNetClass() override;
    const char* ClassName() const override { return "TSpecctraNetClass"; }
    int RuleScopeOwner() const override;

    std::vector<std::string> Nets;
    std::unique_ptr<TSpecctraObject> Topology;

    bool ImportFromFile() override;
    bool ExportToPCB() override;
    // True when the net is a member (case ignored).
    bool IncludesNet(std::string_view name) const;

private:
    mutable TNameSet FNetIndex;
    mutable std::size_t FIndexed = 0;
};

// One "fromto" block: a point-to-point connection of two pins.
class TSpecctraFromTo : public TSpecctraAbstractNetGroupObject {
public:
    explicit TSpecctraFromTo(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraFromTo"; }
    int RuleScopeOwner() const override;

    std::string FNetIDref;
    std::string FromPin;
    std::string ToPin;
    TSpecctraFromToType Kind = eFTNormal;

    bool ImportFromFile() override;
    bool ExportToPCB() override;
    bool IsValid() const { return !FromPin.empty() && !ToPin.empty(); }
    // True for the same object, or when both connect the same two pins in
    // either direction (case ignored).
    bool ConnectsSamePinsAs(const TSpecctraFromTo& other) const;

private:
    // Checks a from or to token as a pin reference; empty when it is none.
    std::string CheckPinReference(const std::string& token);
};

// One "group" block: a class of from-tos.
class TSpecctraFromToClass : public TSpecctraAbstractNetGroupObject {
public:
    explicit TSpecctraFromToClass(TSpecctraObject* owner);
    ~TSpecctraFromToClass() override;
    const char* ClassName() const override { return "TSpecctraFromToClass"; }
    int RuleScopeOwner() const override;

    std::unique_ptr<TSpecctraList> FromToList;

    bool ImportFromFile() override;
    bool ExportToPCB() override;
    // True when a from-to of the group connects the same pins.
    bool IncludesFromToObject(const TSpecctraFromTo& fromTo) const;
    // The member keys of the host class (the from-tos' list keys, in order).
    std::vector<std::string> MemberKeys() const;
};

// One "group_set" block: a class of groups.
class TSpecctraFromToSuperClass : public TSpecctraAbstractNetGroupObject {
public:
    explicit TSpecctraFromToSuperClass(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraFromToSuperClass"; }
    int RuleScopeOwner() const override;

    std::vector<std::string> FromToClassList;

    bool ImportFromFile() override;
    bool ExportToPCB() override;
    bool IncludesFromToClass(std::string_view name) const;
};

// One "class_class" block: a pair (or more) of classes that rules relate.
class TSpecctraClassToClass : public TSpecctraAbstractNetGroupObject {
public:
    explicit TSpecctraClassToClass(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraClassToClass"; }
    int RuleScopeOwner() const override;

    std::vector<std::string> Classes;

    bool ImportFromFile() override;

private:
    bool ReadClasses();
};

// Blocks read only to be skipped: differential pairs, bundles, topologies,
// crosstalk windows.
class TSpecctraDiffPair : public TSpecctraAbstractNetGroupObject {
public:
    using TSpecctraAbstractNetGroupObject::TSpecctraAbstractNetGroupObject;
    const char* ClassName() const override { return "TSpecctraDiffPair"; }
};
class TSpecctraDiffBundle : public TSpecctraAbstractNetGroupObject {
public:
    using TSpecctraAbstractNetGroupObject::TSpecctraAbstractNetGroupObject;
    const char* ClassName() const override { return "TSpecctraDiffBundle"; }
};
class TSpecctraTopologyDescriptor : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    const char* ClassName() const override { return "TSpecctraTopologyDescriptor"; }
};
class TSpecctraCrosstalkWindow : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    const char* ClassName() const override { return "TSpecctraCrosstalkWindow"; }
};

// One end of a wire's "connect" block.
class TSpecctraConnectionTerminal : public TSpecctraObject {
public:
    using TSpecctraObject::TSpecctraObject;
    const char* ClassName() const override { return "TSpecctraConnectionTerminal"; }

    TSpecctraObjectType GetState_TerminalType() const { return FTerminalType; }
    // A via terminal has no identifier.
    void SetState_TerminalType(TSpecctraObjectType type);
    std::string GetState_Identifier() const;
    void SetState_Identifier(const std::string& id);

private:
    TSpecctraObjectType FTerminalType = eNoneObjectType;
};

// A wire's "connect" block: its two terminals.
class TSpecctraConnection : public TSpecctraObject {
public:
    explicit TSpecctraConnection(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraConnection"; }

    std::unique_ptr<TSpecctraConnectionTerminal> Terminal1;
    std::unique_ptr<TSpecctraConnectionTerminal> Terminal2;

    bool ImportFromFile() override;

private:
    // Reads "(terminal" already consumed up to the type keyword; true when
    // an identifier closed by ")" was read.
    bool ReadTerminal(TSpecctraConnectionTerminal& terminal);
};

// The net of a pin reference from the design-wide pin-to-net index, or none.
TSpecctraNet* NetOfPin(std::string_view pin);
