// Pin references whose component part is quoted: "LED 1"-3 is one reference in a net's pin lists
// and in a from-to, though the tokenizer gives the quoted name and the word -3 as two tokens.
#include "support/DesignText.h"

#include "rules/SpecctraNetRltd.h"

#include <gtest/gtest.h>

namespace {

using TStrings = std::vector<std::string>;

TEST(PinReference, QuotedComponentDirectlyFollowedByPinIsOneReference) {
    struct Case {
        const char* pins;
        TStrings expected; // the net's Pins, sorted
    };
    const Case cases[] = {
        {"\"LED 1\"-3 R1-2", {"LED 1-3", "R1-2"}},
        {"\"reg in\"-1 \"reg in\"-2", {"reg in-1", "reg in-2"}},
        {"\"LED 1\"-a", {"LED 1-A"}},
        {"\"J3-\"-\"D+\" \"J1\"-\"d-\"", {"J1-d-", "J3--D+"}}, // a quoted pin keeps its case
        {"\"J3 -+\"-\"_VBUS #22\" U1-1", {"J3 -+-_VBUS #22", "U1-1"}},
        {"\"LED 1\" -3", {"-3", "LED 1"}},            // a blank between: two tokens
        {"\"U1-4\" \"LED 2\"", {"LED 2", "U1-4"}},    // whole quoted references stay
        {"\"LED 1\"-3) (noexpose R1-1", {"LED 1-3"}}, // the word ends at ")"
    };
    for (const Case& c : cases) {
        TReadDesign read(WithNetwork(std::string("(net N (pins ") + c.pins + "))"));
        const TSpecctraNet* net = read.Network().GetState_NetByName("N");
        ASSERT_NE(net, nullptr) << c.pins;
        EXPECT_EQ(net->PinNames(), c.expected) << c.pins;
        EXPECT_TRUE(read.LinesStartingWith("ERROR:").empty()) << c.pins;
    }
}

TEST(PinReference, JoinedReferencesReachIndexListsAndFromTos) {
    TReadDesign read(WithNetwork("(net N (pins \"LED 1\"-3 U2-1) (load \"LED 1\"-3)\n"
                                 "  (fromto \"LED 1\"-3 U2-1))"));
    auto& network = read.Network();
    const TSpecctraNet* net = network.GetState_NetByName("N");
    ASSERT_NE(net, nullptr);
    ASSERT_NE(network.GetState_NetByPinName("led 1-3"), nullptr);
    EXPECT_EQ(network.GetState_NetByPinName("LED 1-3")->NameID, "N");
    ASSERT_TRUE(net->LoadPinList());
    EXPECT_EQ(*net->LoadPinList(), (TStrings{"LED 1-3"}));
    ASSERT_TRUE(net->FromTolist());
    ASSERT_EQ(net->FromTolist()->Count(), 1);
    const auto* fromTo =
        static_cast<TSpecctraFromTo*>(net->FromTolist()->GetState_SpecctraObject(0));
    EXPECT_EQ(fromTo->FromPin, "LED 1-3");
    EXPECT_EQ(fromTo->ToPin, "U2-1");
    EXPECT_TRUE(read.LinesStartingWith("ERROR:").empty());
}

} // namespace
