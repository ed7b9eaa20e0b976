// Every real design of the corpus imported into a board: its host nets and
// classes, and the pin-to-net index, against a count of the design text made
// by a small scanner of this test (not the reader under test).
#include "support/CorpusImport.h"
#include "support/Sexpr.h"

#include "board/Pcbclass.h"
#include "rules/SpecctraNetRltd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;

struct TScannedBlock {
    std::string Name;
    std::vector<std::string> Members; // pins of a net, member nets of a class
};

struct TScannedNetwork {
    std::vector<TScannedBlock> Nets;
    std::vector<TScannedBlock> Classes;
};

// The network of a design text as a reader of the format sees it: words outside quotes in upper
// case (a semicolon, and an apostrophe that is not the quote, end a word), strings in the quote
// character that the parser block names (an apostrophe until then) as they are.
TScannedNetwork ScanNetwork(const std::string& text) {
    sexpr::Options options;
    options.Quote = '\'';
    options.UpperWords = true;
    options.WordEnds = ";'";
    options.Escapes = true;
    options.GluedPins = true;
    TScannedNetwork network;
    for (const sexpr::Node& top : sexpr::ReadAll(text, options).Items)
        for (const sexpr::Node& section : top.Items) {
            if (sexpr::Lower(section.Head()) != "network")
                continue;
            for (const sexpr::Node& block : section.Items) {
                const std::string keyword = sexpr::Lower(block.Head());
                if (keyword != "net" && keyword != "class")
                    continue;
                TScannedBlock scanned;
                if (block.Items.size() > 1 && !block.Items[1].IsList)
                    scanned.Name = block.Items[1].Atom;
                if (keyword == "class") { // member nets up to the first sub-block
                    for (std::size_t i = 2; i < block.Items.size() && !block.Items[i].IsList; ++i)
                        scanned.Members.push_back(block.Items[i].Atom);
                    network.Classes.push_back(std::move(scanned));
                    continue;
                }
                for (const sexpr::Node& pins : block.Items) {
                    const std::string what = sexpr::Lower(pins.Head());
                    if (what == "pins" || what == "order")
                        for (std::size_t i = 1; i < pins.Items.size(); ++i)
                            if (!pins.Items[i].IsList)
                                scanned.Members.push_back(pins.Items[i].Atom);
                }
                network.Nets.push_back(std::move(scanned));
            }
        }
    return network;
}

std::vector<std::string> ReportedNames(const std::vector<std::string>& lines,
                                       const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0)
            names.push_back(line.substr(prefix.size()));
    return names;
}

using NetCorpus = corpus::CorpusShardTest;

TEST_P(NetCorpus, HostNetsClassesAndPinIndexMatchTheDesignText) {
    std::size_t netBlocks = 0, hostNets = 0, droppedNets = 0, pinsChecked = 0, classes = 0;
    for (const fs::path& file : files) {
        const TScannedNetwork scanned = ScanNetwork(corpus::Text(file));
        corpus::TImport import(file);
        ASSERT_NE(import.board, 0);
        if (!import.read)
            continue;
        TSpecctraDesign& design = *import.design;
        auto* network = dynamic_cast<TSpecctraDsnNetworkDescriptor*>(design.Network());
        // The pins' look-up serves the components and is let go once the
        // board is written: its answers are taken before.
        std::map<std::string, const TSpecctraNet*> netOfPin;
        if (network)
            for (const TScannedBlock& net : scanned.Nets)
                for (const std::string& pin : net.Members)
                    netOfPin[pin] = network->GetState_NetByPinName(pin);
        import.Write();
        const intptr_t board = import.board;
        const std::vector<std::string>& lines = import.Report();

        // Host nets: the net blocks less those reported dropped, one per name.
        std::multiset<std::string> expected;
        std::map<std::string, int> pinUses;
        for (const TScannedBlock& net : scanned.Nets) {
            expected.insert(net.Name);
            for (const std::string& pin : net.Members)
                ++pinUses[pin];
        }
        std::set<std::string> dropped;
        for (const std::string& name : ReportedNames(lines, "ERROR: Loading net: ")) {
            auto it = expected.find(name);
            ASSERT_NE(it, expected.end()) << file << ": dropped net " << name << " not in the text";
            expected.erase(it);
            dropped.insert(name);
        }
        const std::set<std::string> expectedNames(expected.begin(), expected.end());
        std::vector<std::string> boardNames;
        for (intptr_t handle : CollectItems(board, eNetObject)) {
            TPcbNet net(handle);
            net.QueryDatabase(1);
            boardNames.push_back(net.GetState_Name());
        }
        std::sort(boardNames.begin(), boardNames.end());
        EXPECT_EQ(boardNames, std::vector<std::string>(expectedNames.begin(), expectedNames.end()))
            << file;
        netBlocks += scanned.Nets.size();
        hostNets += boardNames.size();
        droppedNets += dropped.size();

        // Every pin of a kept net finds its net; no pin of a dropped net finds one
        // (pins listed by more than one net are left out).
        for (const TScannedBlock& net : scanned.Nets) {
            const bool kept = expectedNames.count(net.Name) && !dropped.count(net.Name);
            const bool gone = !expectedNames.count(net.Name);
            for (const std::string& pin : net.Members) {
                if (pinUses[pin] != 1 || !network)
                    continue;
                const TSpecctraNet* found = netOfPin[pin];
                if (kept) {
                    ASSERT_NE(found, nullptr) << file << ": pin " << pin;
                    EXPECT_EQ(found->NameID, net.Name) << file << ": pin " << pin;
                } else if (gone) {
                    EXPECT_EQ(found, nullptr) << file << ": pin " << pin << " of dropped net";
                }
                ++pinsChecked;
            }
        }

        // Classes: each kept class with its member nets in file order.
        std::multimap<std::string, std::vector<std::string>> boardClasses;
        for (intptr_t handle : CollectItems(board, eClassObject)) {
            TPCBObjectClass hostClass(handle);
            hostClass.QueryDatabase(1);
            if (hostClass.GetState_MemberKind() == eClassMemberKind_Net)
                boardClasses.emplace(hostClass.GetState_Name(), hostClass.GetState_MemberList());
        }
        const std::vector<std::string> droppedClasses =
            ReportedNames(lines, "ERROR: Loading class: ");
        std::size_t keptClasses = 0;
        for (const TScannedBlock& scannedClass : scanned.Classes) {
            if (std::count(droppedClasses.begin(), droppedClasses.end(), scannedClass.Name))
                continue;
            ++keptClasses;
            auto range = boardClasses.equal_range(scannedClass.Name);
            EXPECT_TRUE(
                std::any_of(range.first, range.second,
                            [&](const auto& c) { return c.second == scannedClass.Members; }))
                << file << ": class " << scannedClass.Name;
        }
        EXPECT_EQ(boardClasses.size(), keptClasses) << file;
        classes += keptClasses;
    }
    std::printf("%zu net blocks, %zu host nets, %zu dropped, %zu pins checked, %zu classes\n",
                netBlocks, hostNets, droppedNets, pinsChecked, classes);
    EXPECT_GT(hostNets, netBlocks * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Shards, NetCorpus, ::testing::Range(0, NetCorpus::kShards));

} // namespace
