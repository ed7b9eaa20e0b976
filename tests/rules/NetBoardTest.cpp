// The network written to a board of the engine loaded in process: host nets,
// net classes with their members, from-to classes, manual from-tos, the
// do-not-route rule of a fixed net, and what a repeated write leaves.
#include "support/DesignText.h"
#include "support/EngineFixture.h"

#include "board/Pcbclass.h"
#include "rules/SpecctraNetRltd.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

using TStrings = std::vector<std::string>;

class NetsOnBoard : public enginetest::EngineBoardTest {
protected:
    std::unique_ptr<TReadDesign> Import(const std::string& network) {
        auto read = std::make_unique<TReadDesign>(WithNetwork(network), board);
        EXPECT_TRUE(read->Design->ExportToPCB());
        return read;
    }
    // Every board object of a wrapper's kind, read.
    template <class TWrapper> std::vector<TWrapper> Read(TObjectId kind) const {
        std::vector<TWrapper> objects;
        for (intptr_t handle : CollectItems(board, kind)) {
            objects.emplace_back(handle);
            objects.back().QueryDatabase(1);
        }
        return objects;
    }
    TStrings NetNames() const {
        TStrings names;
        for (const TPcbNet& net : Read<TPcbNet>(eNetObject))
            names.push_back(net.GetState_Name());
        return names;
    }
    std::vector<TPCBObjectClass> Classes() const { return Read<TPCBObjectClass>(eClassObject); }
};

// A net's host handle, made early, is the one the write keeps; unquoted
// names go upper-cased and in name order, a bad net block makes no net.
TEST_F(NetsOnBoard, ANetMadeEarlierIsNotMadeTwice) {
    auto read = std::make_unique<TReadDesign>(
        WithNetwork("(net gnd (pins U1-4))\n(net A (pins U1-1))\n(net BAD 1 (pins U1-5))"), board);
    auto* net = read->Network().GetState_NetByName("A");
    const intptr_t early = net->ForceHarrowHandle();
    ASSERT_NE(early, 0);
    EXPECT_EQ(net->ForceHarrowHandle(), early);
    EXPECT_TRUE(read->Design->ExportToPCB());
    EXPECT_EQ(NetNames(), (TStrings{"A", "GND"}));
    EXPECT_EQ(net->HarrowHandle, early);
    TPcbNet host(early);
    ASSERT_EQ(host.QueryDatabase(1), 1);
    EXPECT_EQ(host.GetState_Name(), "A");
}

TEST_F(NetsOnBoard, ClassesKeepTheirMembersAndUnknownNetsAsGiven) {
    auto read = Import("(net A (pins U1-1))\n(net B (pins U1-2))\n"
                       "(class Power B A GHOST (rule (width 8)))\n(class kicad_default \"\" A)");
    const auto classes = Classes();
    ASSERT_EQ(classes.size(), 2u);
    EXPECT_EQ(classes[0].GetState_Name(), "POWER");
    EXPECT_EQ(classes[0].GetState_MemberKind(), eClassMemberKind_Net);
    EXPECT_EQ(classes[0].GetState_MemberList(), (TStrings{"B", "A", "GHOST"}));
    EXPECT_EQ(classes[1].GetState_MemberList(), (TStrings{"", "A"}));
    auto* power =
        static_cast<TSpecctraNetClass*>(read->Network().Classes->GetState_SpecctraObject(0));
    EXPECT_EQ(power->HarrowHandle, classes[0].GetState_ObjectHandle());
}

TEST_F(NetsOnBoard, GroupsGroupSetsAndFromTos) {
    auto read = Import("(net N (pins U1-1 U2-3 U3-1) (fromto U1-1 U2-3))\n"
                       "(net M (pins U4-1))\n"
                       "(group G1 (fromto U2-3 U3-1) (fromto U4-1 U9-9 (net X)))\n"
                       "(group G2 (fromto U8-1 U8-2))\n"
                       "(group_set S G2 NOPE G1)");
    // From-tos: the net's own, and the groups' (net from the from pin, or given).
    std::vector<TStrings> seen;
    for (const auto& f : Read<TPcbManualFromTo>(eManualFromToObject))
        seen.push_back({f.GetState_FromPad(), f.GetState_ToPad(), f.GetState_NetName()});
    EXPECT_EQ(seen, (std::vector<TStrings>{
                        {"U1-1", "U2-3", "N"}, {"U2-3", "U3-1", "N"}, {"U4-1", "U9-9", "X"}}));
    // U8-1 is on no net: its from-to makes nothing.
    const auto classes = Classes();
    ASSERT_EQ(classes.size(), 3u);
    EXPECT_EQ(classes[0].GetState_Name(), "G1");
    EXPECT_EQ(classes[0].GetState_MemberKind(), eClassMemberKind_FromTo);
    EXPECT_EQ(classes[0].GetState_MemberList(), (TStrings{"U2-3:U3-1", "U4-1:U9-9"}));
    EXPECT_EQ(classes[1].GetState_MemberList(), (TStrings{"U8-1:U8-2"}));
    EXPECT_EQ(classes[2].GetState_Name(), "S");
    EXPECT_EQ(classes[2].GetState_MemberList(), (TStrings{"U8-1:U8-2", "U2-3:U3-1", "U4-1:U9-9"}));
    EXPECT_TRUE(
        read->Has("WARNING: Invalid from-to class reference <NOPE> in from-to supper class <S>"));
    // The from-to without a net of its own remembers the net it was given.
    auto* g1 = read->Network().GetState_GroupByName("G1");
    EXPECT_EQ(static_cast<TSpecctraFromTo*>(g1->FromToList->GetState_SpecctraObject(0))->FNetIDref,
              "N");
}

TEST_F(NetsOnBoard, FixedNetGetsADoNotRouteRule) {
    TReadDesign read(WithNetwork("(net CLK (pins U1-1) (type fix))\n"
                                 "(net D (pins U1-2 U1-3) (type normal) (source U1-3))"),
                     board);
    EXPECT_TRUE(read.Network().ExportToPCB());
    // Once the nets are on the board, their own pin lists are let go; the pins'
    // nets and the daisy-chain lists stay for the components.
    const TSpecctraNet* d = read.Network().GetState_NetByName("D");
    EXPECT_EQ(d->PinCount(), 0);
    EXPECT_EQ(read.Network().GetState_NetByPinName("U1-2"), d);
    int32_t index = -1;
    EXPECT_EQ(d->ExportToPCB_PinDaisyChainStyle("U1-3", index), eDaisyChainSource);
    EXPECT_EQ(index, 0);
    const std::vector<TPcbRuleEx> rules = Read<TPcbRuleEx>(eRuleObject);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].GetState_Kind(), eRule_RoutingLayers);
    EXPECT_EQ(rules[0].GetState_Name(), "Don't route net CLK");
    EXPECT_EQ(rules[0].GetState_Scope1Expression(), "InNet('CLK')");
}

TEST_F(NetsOnBoard, OddNamesReachTheBoardUnchanged) {
    const std::string latin1 = "N\xe4\xdf";
    TReadDesign read(WithNetwork("(net \"A|B=C\" (pins U1-1))\n(net \"it's\" (pins U1-2))\n"
                                 "(net \"P(1)\" (pins U1-3))\n(net \"" +
                                 latin1 +
                                 "\" (pins U1-4))\n"
                                 "(class \"K|1\" \"A|B=C\" \"P(1)\")"),
                     board);
    // The pins' look-up serves until the board is written.
    const TSpecctraNet* byPin = read.Network().GetState_NetByPinName("u1-4");
    ASSERT_NE(byPin, nullptr);
    EXPECT_EQ(byPin->NameID, latin1);
    EXPECT_TRUE(read.Design->ExportToPCB());
    EXPECT_EQ(NetNames(), (TStrings{"A|B=C", latin1, "P(1)", "it's"}));
    ASSERT_EQ(Classes().size(), 1u);
    EXPECT_EQ(Classes()[0].GetState_MemberList(), (TStrings{"A|B=C", "P(1)"}));
}

} // namespace

namespace {

// A network of `nets` nets of ten pins each, and one class of every tenth net.
std::string SyntheticNetwork(int nets) {
    std::string text;
    for (int n = 0; n < nets; ++n) {
        text.append("(net N").append(std::to_string(n)).append(" (pins");
        for (int p = 1; p <= 10; ++p)
            text.append(" U").append(std::to_string(n)).append(1, '-').append(std::to_string(p));
        text.append("))\n");
    }
    text.append("(class TENTHS");
    for (int n = 0; n < nets; n += 10)
        text.append(" N").append(std::to_string(n));
    return text.append(")");
}

// Processor seconds to read and write a network to a fresh board.
double ImportSeconds(const std::string& network, intptr_t board) {
    const std::clock_t start = std::clock();
    TReadDesign read(WithNetwork(network), board);
    read.Design->ExportToPCB();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

TEST_F(NetsOnBoard, NetworksReadAndWriteInLinearTime) {
    const double small = ImportSeconds(SyntheticNetwork(3000), board);
    const enginetest::TNewBoard second("big.pcbdoc");
    ASSERT_NE(second.board, 0);
    const double large = ImportSeconds(SyntheticNetwork(24000), second.board);
    EXPECT_EQ(CollectItems(second.board, eNetObject).size(), 24000u);
    // Eight times the network: linear is ~8x; anything quadratic is ~64x.
    EXPECT_LT(large, small * 24 + 0.5) << small << " s vs " << large << " s";
}

TEST_F(NetsOnBoard, OneNetOfAHundredThousandPins) {
    std::string network = "(net HUGE (pins";
    for (int p = 0; p < 100000; ++p)
        network += " P" + std::to_string(p / 100) + "-" + std::to_string(p % 100);
    network.append("))\n(net SMALL (pins Q1-1))");
    auto read = std::make_unique<TReadDesign>(WithNetwork(network), board);
    const TSpecctraNet* huge = read->Network().GetState_NetByName("HUGE");
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->PinCount(), 100000);
    EXPECT_EQ(read->Network().GetState_NetByPinName("p999-99"), huge);
    EXPECT_EQ(TranslationState().PinToNetIndex.Count(), 100001u);
    EXPECT_TRUE(read->Design->ExportToPCB());
    EXPECT_EQ(NetNames(), (TStrings{"HUGE", "SMALL"}));
    // Once the components and rules are written, the pins' look-ups are let go.
    EXPECT_EQ(huge->PinCount(), 0);
    EXPECT_EQ(read->Network().GetState_NetByPinName("p999-99"), nullptr);
    EXPECT_EQ(TranslationState().PinToNetIndex.Count(), 0u);
}

// Past half a million pins the reader starts loading the slots of the next
// net's pins from the text ahead while it enters a net's.
// What it enters must not change: references cut by quotes, in another
// case, over several lines and past a comment, listed twice, and a list
// that ends the network.
TEST_F(NetsOnBoard, PinsOfAMillionPinNetworkAreEnteredAsRead) {
    std::string network;
    for (int n = 0; n < 140000; ++n) {
        network += "(net N" + std::to_string(n) + " (pins";
        for (int p = 0; p < 4; ++p)
            network += " U" + std::to_string(n) + "-" + std::to_string(p);
        network += "))\n";
    }
    network += "(net Q (pins \"J3\"-\"D+\" u7-1\n# a comment\n  J4-1 J4-2))\n"
               "(net S (pins J4-5\n";
    network += "  J4-6))";
    TReadDesign read(WithNetwork(network));
    const TSpecctraDsnNetworkDescriptor& nets = read.Network();
    EXPECT_EQ(TranslationState().PinToNetIndex.Count(), 140000u * 4 + 5);
    for (const int n : {0, 70000, 139999})
        for (const char* pin : {"-0", "-3"}) {
            const std::string ref = "U" + std::to_string(n) + pin;
            ASSERT_NE(nets.GetState_NetByPinName(ref), nullptr) << ref;
            EXPECT_EQ(nets.GetState_NetByPinName(ref)->NameID, "N" + std::to_string(n));
        }
    ASSERT_NE(nets.GetState_NetByPinName("J3-D+"), nullptr);
    EXPECT_EQ(nets.GetState_NetByPinName("J3-D+")->NameID, "Q");
    EXPECT_EQ(nets.GetState_NetByPinName("J4-1")->NameID, "Q");
    EXPECT_EQ(nets.GetState_NetByPinName("J4-6")->NameID, "S");
    for (const char* word : {"#", "a", "comment"})
        EXPECT_EQ(nets.GetState_NetByPinName(word), nullptr) << word;
    EXPECT_EQ(read.LinesStartingWith("WARNING: Pin"),
              std::vector<std::string>{
                  "WARNING: Pin U7-1 of net Q is already on net N7; it stays there. Line: 140003"});
}

} // namespace
