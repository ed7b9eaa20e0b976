// Reading the network: nets with their pins and lists, the pin-to-net index, classes, groups, group
// sets, class pairs and from-tos, and what a bad block does to them.
#include "support/DesignText.h"
#include "support/ParserTestSupport.h"

#include "rules/SpecctraNetRltd.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using TStrings = std::vector<std::string>;

TEST(NetRead, NetsKeepTheirNamesPinsAndFieldsInNameOrder) {
    TReadDesign read(WithNetwork("(net VCC (pins U2-8 U1-8))\n"
                                 "(net \"Net-(U1-Pad3)\" (pins R1-2 u1-3 R1-2) (order U1-3 R9-1)\n"
                                 "  (unassigned) (net_number 17) (type fix) (supply power)\n"
                                 "  (source U1-3) (load R1-2 R9-1) (terminator R9-1)\n"
                                 "  (expose R1-2) (noexpose R9-1) (property (foo 1)))\n"
                                 "(net gnd (pins U1-4))"));
    EXPECT_EQ(read.NetNames(), (TStrings{"GND", "Net-(U1-Pad3)", "VCC"}));
    const TSpecctraNet* net = read.Network().GetState_NetByName("Net-(U1-Pad3)");
    ASSERT_NE(net, nullptr);
    // Sorted without regard to case, duplicates ignored, the first spelling kept.
    EXPECT_EQ(net->PinNames(), (TStrings{"R1-2", "R9-1", "U1-3"}));
    EXPECT_TRUE(net->GetState_PinOnNet("r9-1"));
    EXPECT_FALSE(net->GetState_PinOnNet("U1-8"));
    EXPECT_TRUE(net->UnAssigned);
    EXPECT_EQ(net->NetNumber, 17);
    EXPECT_EQ(net->NetType, eNetTypeFixed);
    EXPECT_EQ(net->SupplyType, eSupplyPower);
    ASSERT_TRUE(net->LoadPinList() && net->ExposedPinList() && net->UnExposedPinList());
    EXPECT_EQ(*net->LoadPinList(), (TStrings{"R1-2", "R9-1"}));
    EXPECT_EQ(*net->UnExposedPinList(), (TStrings{"R9-1"}));
    EXPECT_EQ(net->HarrowHandle, 0);
    // The property block is skipped with a warning; the net stays.
    EXPECT_EQ(read.LinesStartingWith("WARNING: Skipped block between lines: 7-7"),
              (TStrings{"WARNING: Skipped block between lines: 7-7, from keyword: PROPERTY"}));
    EXPECT_TRUE(read.LinesStartingWith("ERROR:").empty());
}

TEST(NetRead, PinIndexAnswersEveryPinIgnoringCase) {
    TReadDesign read(WithNetwork("(net A (pins U1-1 \"u1-2\"))\n(net B (pins U2-1) (order U2-2))"));
    auto& network = read.Network();
    ASSERT_NE(network.GetState_NetByPinName("U1-2"), nullptr);
    EXPECT_EQ(network.GetState_NetByPinName("U1-2")->NameID, "A");
    EXPECT_EQ(network.GetState_NetByPinName("u1-1")->NameID, "A");
    EXPECT_EQ(network.GetState_NetByPinName("U2-2")->NameID, "B");
    EXPECT_EQ(network.GetState_NetByPinName("U2-3"), nullptr);
    EXPECT_EQ(TranslationState().PinToNetIndex.Count(), 4u);
    // The design root and every object under it find nets by name.
    EXPECT_EQ(read.Design->Get_NetByName("B"), network.GetState_NetByName("B"));
    EXPECT_EQ(read.Design->Get_NetByName("C"), nullptr);
}

TEST(NetRead, DaisyChainStyleLooksOnlyAtTheFirstListThatExists) {
    TReadDesign read(WithNetwork("(net N (pins U1-1 U2-1 U3-1) (source U1-1) (terminator U3-1))\n"
                                 "(net M (pins U1-2 U2-2) (terminator u2-2))"));
    const TSpecctraNet* n = read.Network().GetState_NetByName("N");
    int32_t index = 0;
    EXPECT_EQ(n->ExportToPCB_PinDaisyChainStyle("U1-1", index), eDaisyChainSource);
    EXPECT_EQ(index, 0);
    // Only the source list is consulted: a terminator pin is a load.
    EXPECT_EQ(n->ExportToPCB_PinDaisyChainStyle("U3-1", index), eDaisyChainLoad);
    EXPECT_EQ(index, -1);
    const TSpecctraNet* m = read.Network().GetState_NetByName("M");
    EXPECT_EQ(m->ExportToPCB_PinDaisyChainStyle("U2-2", index), eDaisyChainTerminator);
    EXPECT_EQ(m->ExportToPCB_PinDaisyChainStyle("U1-2", index), eDaisyChainLoad);
}

TEST(NetRead, NetWithBadFromToIsDroppedWithItsPins) {
    TReadDesign read(
        WithNetwork("(net KEEP (pins U3-1))\n"
                    "(net A (pins U1-1 U2-3) (fromto U1-1 U2))\n"
                    "(net B (pins U4-1 U5-1)\n (fromto U4-1 U5-1 (virtual_pin V1 (x 1))))"));
    EXPECT_EQ(read.NetNames(), (TStrings{"KEEP"}));
    for (const char* line :
         {"ERROR: Pin reference should include - character. Line: 4", "ERROR: Loading net: A",
          "WARNING: Virtual pins not supported in from-to definition. Line: 6",
          "ERROR: Loading net: B"})
        EXPECT_TRUE(read.Has(line)) << line;
    auto& network = read.Network();
    for (const char* pin : {"U1-1", "U5-1"})
        EXPECT_EQ(network.GetState_NetByPinName(pin), nullptr) << pin;
    EXPECT_EQ(network.GetState_NetByPinName("U3-1")->NameID, "KEEP");
    EXPECT_EQ(TranslationState().PinToNetIndex.Count(), 1u);
}

TEST(NetRead, UnknownTokensInANetDropIt) {
    TReadDesign read(WithNetwork("(net GND 1 (pins U1-1))\n(net P (type protect) (pins U2-1))\n"
                                 "(net OK (pins U3-1))"));
    EXPECT_EQ(read.NetNames(), (TStrings{"OK"}));
    for (const char* line :
         {"ERROR: Unexpected token <1> in line 3", "ERROR: Loading net: GND",
          "ERROR: Unexpected token <PROTECT> in line 4", "ERROR: Loading net: P"})
        EXPECT_TRUE(read.Has(line)) << line;
}

TEST(NetRead, NetListedTwiceKeepsOneNetWithAllPins) {
    TReadDesign read(
        WithNetwork("(net A (pins U1-1))\n(net B (pins U9-9))\n(net A (pins U1-2 U9-9))"));
    EXPECT_EQ(read.NetNames(), (TStrings{"A", "B"}));
    const TSpecctraNet* a = read.Network().GetState_NetByName("A");
    EXPECT_EQ(a->PinNames(), (TStrings{"U1-1", "U1-2", "U9-9"}));
    EXPECT_EQ(read.Network().GetState_NetByPinName("U1-2"), a);
    // A pin already on another net stays there.
    EXPECT_EQ(read.Network().GetState_NetByPinName("U9-9")->NameID, "B");
    EXPECT_TRUE(
        read.Has("WARNING: Pin U9-9 of net A is already on net B; it stays there. Line: 5"));
    EXPECT_TRUE(read.Has("WARNING: Net A is defined again; its pins and from-tos join the first "
                         "definition. Line: 5"));
}

TEST(NetRead, NetsDefinedAgainAndAgainKeepEveryPinAndLeaveOthersAlone) {
    // A and B are each defined twenty times, in turns, with a net C and a
    // net that fails between them: each addition moves the pins of A or B
    // in the network's pin block, past the pins of the others.
    std::string network;
    TStrings pinsOfA, pinsOfB;
    for (int i = 0; i < 20; ++i) {
        const std::string n = std::to_string(i);
        pinsOfA.push_back("A" + n + "-1");
        pinsOfB.push_back("B" + n + "-" + std::string(130 + i, 'X'));
        network += "(net A (pins " + pinsOfA.back() + "))\n(net C" + n + " (pins C" + n + "-1 C" +
                   n + "-2))\n(net B (pins " + pinsOfB.back() + "))\n(net BAD" + n + " (pins Z" +
                   n + "-1) 7)\n";
    }
    TReadDesign read(WithNetwork(network));
    std::sort(pinsOfA.begin(), pinsOfA.end());
    std::sort(pinsOfB.begin(), pinsOfB.end());
    const TSpecctraNet* a = read.Network().GetState_NetByName("A");
    const TSpecctraNet* b = read.Network().GetState_NetByName("B");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->PinNames(), pinsOfA);
    EXPECT_EQ(b->PinNames(), pinsOfB);
    EXPECT_TRUE(b->GetState_PinOnNet("b7-" + std::string(137, 'X')));
    for (int i = 0; i < 20; ++i) {
        const std::string n = std::to_string(i);
        const TSpecctraNet* c = read.Network().GetState_NetByName("C" + n);
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->PinNames(), (TStrings{"C" + n + "-1", "C" + n + "-2"}));
        EXPECT_EQ(read.Network().GetState_NetByPinName("B" + n + "-" + std::string(130 + i, 'x')),
                  b);
        EXPECT_EQ(read.Network().GetState_NetByPinName("Z" + n + "-1"), nullptr);
    }
    EXPECT_EQ(read.Count("ERROR: Loading net: BAD3"), 1);
    EXPECT_EQ(read.LinesStartingWith("WARNING: Net A is defined again").size(), 19u);
    EXPECT_EQ(TranslationState().PinToNetIndex.Count(), 80u);
}

TEST(PinReferenceBlock, RunsGrowInTurnsAndReadBackInOrder) {
    TPinReferenceBlock block;
    TPinReferenceBlock::TRun first, second;
    TStrings expectFirst, expectSecond;
    for (int i = 0; i < 300; ++i) {
        // Lengths around the one-byte length prefix's limit, and none at all.
        const std::string one(static_cast<std::size_t>(i % 3 == 0 ? 0 : 120 + i % 20), 'a');
        const std::string two = "P" + std::to_string(i);
        ASSERT_TRUE(block.Append(first, one));
        ASSERT_TRUE(block.Append(second, two));
        expectFirst.push_back(one);
        expectSecond.push_back(two);
    }
    const auto read = [&](const TPinReferenceBlock::TRun& run) {
        TStrings names;
        block.ForEach(run, [&](std::string_view name) { names.emplace_back(name); });
        return names;
    };
    EXPECT_EQ(read(first), expectFirst);
    EXPECT_EQ(read(second), expectSecond);
    // The last run gives its bytes back; a run that is not last keeps them.
    const std::size_t bytes = block.Bytes();
    TPinReferenceBlock::TRun third;
    block.Append(third, "Q1-1");
    EXPECT_GT(block.Bytes(), bytes);
    block.Discard(third);
    EXPECT_EQ(block.Bytes(), bytes);
    block.Discard(first);
    EXPECT_EQ(block.Bytes(), bytes);
    EXPECT_TRUE(read(first).empty());
    EXPECT_EQ(read(second), expectSecond);
    // A run of a block let go reads empty and starts again when added to.
    block.Clear();
    EXPECT_TRUE(read(second).empty());
    TStrings expectThird;
    for (int i = 0; i < 2000; ++i) {
        expectThird.push_back("R" + std::to_string(i) + "-1");
        block.Append(third, expectThird.back());
    }
    // The second run's old place lies inside the third's bytes now.
    EXPECT_TRUE(read(second).empty());
    block.Append(second, "R2-2");
    EXPECT_EQ(read(third), expectThird);
    EXPECT_EQ(read(second), (TStrings{"R2-2"}));
}

TEST(NetRead, FromTosSeePlacedComponentsOfAnyCaseOnly) {
    TReadDesign read("(pcb t (parser (string_quote \"))\n"
                     "(placement (component IMG (place R1 0 0 front 0) (place \"r7\" 0 0 front 0))"
                     "\n (component IMG2 (place R1 5 5 front 0)))\n"
                     "(network\n(net N (pins R1-1 R7-1) (fromto R1-1 R7-1))\n"
                     "(net M (pins R2-1 R2-2) (fromto R7 R2-2))\n"
                     "(net K (pins R3-1 R3-2) (fromto R3 R3-2))\n))\n");
    const TSpecctraNet* n = read.Network().GetState_NetByName("N");
    ASSERT_NE(n, nullptr);
    ASSERT_TRUE(n->FromTolist());
    EXPECT_EQ(n->FromTolist()->Count(), 1);
    // R7 names the component placed as r7: not a pin; R3 names none.
    EXPECT_TRUE(read.Has("WARNING: Component ref. not supported in from-to definition. Line: 6"));
    EXPECT_TRUE(read.Has("ERROR: Pin reference should include - character. Line: 7"));
    const auto* placement = read.Design->Placement();
    ASSERT_EQ(placement->InstanceCount(), 3);
    EXPECT_EQ(placement->GetState_InstanceByName("r1"), placement->GetInstance(0));
    EXPECT_EQ(placement->GetState_InstanceByName("R7"), placement->GetInstance(1));
    EXPECT_EQ(placement->GetState_InstanceByName("R3"), nullptr);
}

TEST(NetRead, ClassesKeepMembersInFileOrder) {
    TReadDesign read(WithNetwork("(net A (pins U1-1))\n"
                                 "(class C1 A B (rule (width 10)) X)\n"
                                 "(class C2 \"\" z a (composite D 0 6 2 _N) (topology (foo)))\n"
                                 "(class C3 Q (composite P 5 1 1 S))"));
    ASSERT_NE(read.Network().Classes, nullptr);
    TSpecctraList& classes = *read.Network().Classes;
    // C1 failed on X and is dropped; C2 and C3 stay in file order.
    ASSERT_EQ(classes.Count(), 2);
    for (const char* line : {"ERROR: Unexpected token <X> in line 4", "ERROR: Loading class: C1"})
        EXPECT_TRUE(read.Has(line)) << line;
    auto* c2 = static_cast<TSpecctraNetClass*>(classes.GetState_SpecctraObject(0));
    EXPECT_EQ(c2->NameID, "C2");
    EXPECT_EQ(c2->Nets, (TStrings{"", "Z", "A", "D0_N", "D2_N", "D4_N", "D6_N"}));
    EXPECT_TRUE(c2->IncludesNet("d2_n"));
    EXPECT_FALSE(c2->IncludesNet("D1_N"));
    EXPECT_NE(c2->Topology, nullptr);
    auto* c3 = static_cast<TSpecctraNetClass*>(classes.GetState_SpecctraObject(1));
    EXPECT_EQ(c3->Nets, (TStrings{"Q"}));
}

TEST(NetRead, ClassPairsAreNamedFromTheirFirstTwoClasses) {
    TReadDesign read(WithNetwork("(class_class (classes A B C))\n(class_class (classes P Q))\n"
                                 "(class_class (classes R))"));
    ASSERT_NE(read.Network().ClassPairs, nullptr);
    TSpecctraList& pairs = *read.Network().ClassPairs;
    ASSERT_EQ(pairs.Count(), 3);
    EXPECT_EQ(pairs.GetState_SpecctraObject(0)->NameID, "A B  ...");
    EXPECT_EQ(pairs.GetState_SpecctraObject(1)->NameID, "P Q ");
    EXPECT_EQ(pairs.GetState_SpecctraObject(2)->NameID, "R ");
}

TEST(NetRead, FromTosGroupsAndGroupSets) {
    TReadDesign read(WithNetwork("(net N (pins U1-1 U2-3) (fromto U1-1 U2-3 (type soft) (net N)))\n"
                                 "(group_set GS G1 MISSING (rule (width 3)))\n"
                                 "(group G1 (fromto U2-3 u1-1) (fromto U1-1 U9-9 (type fix)))\n"
                                 "(group G0 (fromto U1 U2-1))\n"
                                 "(group G1 (fromto U5-1 U5-2))"));
    auto& network = read.Network();
    const TSpecctraNet* net = network.GetState_NetByName("N");
    ASSERT_TRUE(net->FromTolist());
    ASSERT_EQ(net->FromTolist()->Count(), 1);
    auto* netFromTo = static_cast<TSpecctraFromTo*>(net->FromTolist()->GetState_SpecctraObject(0));
    EXPECT_EQ(netFromTo->Kind, eFTSoft);
    EXPECT_EQ(netFromTo->FNetIDref, "N");
    // G0 failed on its pin reference and is dropped; the second G1 is ignored.
    EXPECT_TRUE(read.Has("ERROR: Loading group: G0"));
    ASSERT_EQ(network.Groups.Count(), 1u);
    const TSpecctraFromToClass* g1 = network.GetState_GroupByName("G1");
    ASSERT_TRUE(g1 && g1->FromToList);
    EXPECT_EQ(g1->FromToList->Count(), 2);
    EXPECT_TRUE(g1->IncludesFromToObject(*netFromTo));
    EXPECT_EQ(g1->MemberKeys(), (TStrings{"U2-3:U1-1", "U1-1:U9-9"}));
    EXPECT_TRUE(read.Has("WARNING: Group G1 is defined again; the second definition is ignored. "
                         "Line: 7"));
    ASSERT_EQ(network.GroupSets.Count(), 1u);
    const TSpecctraFromToSuperClass* gs = network.GroupSets.Find("GS");
    EXPECT_EQ(gs->FromToClassList, (TStrings{"G1", "MISSING"}));
    EXPECT_TRUE(gs->IncludesFromToClass("G1"));
}

TEST(FromTo, ConnectsSamePinsInEitherDirectionIgnoringCase) {
    TSpecctraFromTo a(nullptr), b(nullptr), c(nullptr), empty1(nullptr), empty2(nullptr);
    std::tie(a.FromPin, a.ToPin, b.FromPin, b.ToPin, c.FromPin, c.ToPin) =
        std::make_tuple("U1-1", "U2-3", "u2-3", "U1-1", "U1-1", "U2-4");
    EXPECT_TRUE(a.ConnectsSamePinsAs(b));
    EXPECT_TRUE(b.ConnectsSamePinsAs(a));
    EXPECT_FALSE(a.ConnectsSamePinsAs(c));
    EXPECT_TRUE(a.ConnectsSamePinsAs(a));
    EXPECT_TRUE(empty1.ConnectsSamePinsAs(empty2));
    EXPECT_FALSE(empty1.ConnectsSamePinsAs(a));
    EXPECT_TRUE(a.IsValid());
    EXPECT_FALSE(empty1.IsValid());
}

TEST(Connection, ReadsBothTerminalsAndViaHasNoIdentifier) {
    TReadDesign read(WithNetwork(""));
    auto parser =
        MakeParser("(terminal pin U1-1) (terminal via V7)) (terminal smd) (terminal pin X))");
    TSpecctraConnection good(read.Design.get());
    good.Parser = parser.get();
    EXPECT_TRUE(good.ImportFromFile());
    EXPECT_EQ(good.Terminal1->GetState_TerminalType(), ePinObjectType);
    EXPECT_EQ(good.Terminal1->GetState_Identifier(), "U1-1");
    EXPECT_EQ(good.Terminal2->GetState_TerminalType(), eViaObjectType);
    EXPECT_EQ(good.Terminal2->GetState_Identifier(), "");
    TSpecctraConnection bad(read.Design.get());
    bad.Parser = parser.get();
    EXPECT_FALSE(bad.ImportFromFile());
    EXPECT_EQ(bad.Terminal1->GetState_TerminalType(), eSmdObjectType);
}

} // namespace
