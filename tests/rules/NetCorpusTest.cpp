// Every real design of the corpus imported into a board: its host nets and
// classes, and the pin-to-net index, against a count of the design text made
// by a small scanner of this test (not the reader under test).
#include "support/CorpusImport.h"

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

// The network of a design text as a reader of the format sees it: words
// outside quotes in upper case, strings in the quote character that the
// parser block names (an apostrophe until then) as they are.
class TNetworkScanner {
public:
    explicit TNetworkScanner(const std::string& text) : FText(text) {}

    TScannedNetwork Scan() {
        TScannedNetwork network;
        std::vector<std::string> stack; // keywords of the open blocks
        bool afterOpen = false;
        bool wantName = false;     // the next token names the net or class
        bool classMembers = false; // plain tokens are member nets
        std::string token;
        bool quoted = false;
        while (Next(token, quoted)) {
            if ((token == "(" || token == ")") && !quoted)
                wantName = false; // a block without a name
            if (token == "(" && !quoted) {
                afterOpen = true;
                classMembers = false;
                continue;
            }
            if (token == ")" && !quoted) {
                if (!stack.empty())
                    stack.pop_back();
                afterOpen = false;
                classMembers = false;
                continue;
            }
            if (afterOpen) {
                afterOpen = false;
                std::string keyword = Lower(token);
                stack.push_back(keyword);
                if (keyword == "string_quote" && stack.size() >= 2 &&
                    stack[stack.size() - 2] == "parser") {
                    SkipBlanks();
                    if (FPos < FText.size())
                        FQuote = FText[FPos++];
                    continue;
                }
                if (InNetwork(stack) && (keyword == "net" || keyword == "class")) {
                    (keyword == "net" ? network.Nets : network.Classes).push_back({});
                    wantName = true;
                }
                continue;
            }
            if (wantName) {
                wantName = false;
                const bool isNet = stack.back() == "net";
                (isNet ? network.Nets : network.Classes).back().Name = token;
                classMembers = !isNet;
                continue;
            }
            if (classMembers) {
                network.Classes.back().Members.push_back(token);
                continue;
            }
            if (stack.size() >= 2 && (stack.back() == "pins" || stack.back() == "order") &&
                stack[stack.size() - 2] == "net" && stack.size() == 4 && stack[1] == "network")
                network.Nets.back().Members.push_back(quoted ? token + PinPart() : token);
        }
        return network;
    }

private:
    static std::string Lower(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        return text;
    }
    static std::string Upper(std::string text) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        return text;
    }
    // (pcb (network (net|class: the block opened right inside the network.
    static bool InNetwork(const std::vector<std::string>& stack) {
        return stack.size() == 3 && stack[1] == "network";
    }
    // Blanks, and the apostrophe and semicolon, which end words (unless the
    // apostrophe is the quote character).
    bool IsDelimiter(char c) const {
        return std::isspace(static_cast<unsigned char>(c)) || c == ';' ||
               (c == '\'' && FQuote != '\'');
    }
    void SkipBlanks() {
        while (FPos < FText.size() && IsDelimiter(FText[FPos]))
            ++FPos;
    }
    bool Next(std::string& token, bool& quoted) {
        SkipBlanks();
        if (FPos >= FText.size())
            return false;
        const char c = FText[FPos];
        quoted = false;
        if (c == '(' || c == ')') {
            token.assign(1, c);
            ++FPos;
            return true;
        }
        if (c == FQuote) {
            quoted = true;
            const std::size_t start = ++FPos;
            while (FPos < FText.size() && !(FText[FPos] == FQuote && FText[FPos - 1] != '\\'))
                ++FPos;
            token = FText.substr(start, FPos - start);
            ++FPos;
            return true;
        }
        const std::size_t start = FPos;
        // A quote character inside a word belongs to the word.
        while (FPos < FText.size() && !IsDelimiter(FText[FPos]) && FText[FPos] != '(' &&
               FText[FPos] != ')')
            ++FPos;
        token = Upper(FText.substr(start, FPos - start));
        return true;
    }

    // After a quoted component name: a pin directly glued to it by "-", as
    // in "LED 1"-3 or "J3-"-"D+", belongs to the same pin reference.
    std::string PinPart() {
        if (FPos >= FText.size() || FText[FPos] != '-')
            return std::string();
        ++FPos;
        std::string pin;
        bool quoted = false;
        if (FPos < FText.size() && !IsDelimiter(FText[FPos]) && FText[FPos] != '(' &&
            FText[FPos] != ')')
            Next(pin, quoted);
        return "-" + pin;
    }

    const std::string& FText;
    std::size_t FPos = 0;
    char FQuote = '\'';
};

std::vector<std::string> ReportedNames(const std::vector<std::string>& lines,
                                       const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0)
            names.push_back(line.substr(prefix.size()));
    return names;
}

using NetCorpus = corpus::CorpusBoardTest;

TEST_F(NetCorpus, HostNetsClassesAndPinIndexMatchTheDesignText) {
    std::size_t netBlocks = 0, hostNets = 0, droppedNets = 0, pinsChecked = 0, classes = 0;
    for (const fs::path& file : files) {
        const TScannedNetwork scanned = TNetworkScanner(corpus::Text(file)).Scan();
        corpus::TImport import(file);
        ASSERT_NE(import.board, 0);
        if (!import.read)
            continue;
        import.Write();
        const intptr_t board = import.board;
        TSpecctraDesign& design = *import.design;
        const std::vector<std::string>& lines = import.Report();

        // Host nets: the net blocks less those reported dropped, one per name.
        std::multiset<std::string> expected;
        for (const TScannedBlock& net : scanned.Nets)
            expected.insert(net.Name);
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

        // Every pin of a kept net finds its net; no pin of a dropped net
        // finds one (pins listed by more than one net are left out).
        std::map<std::string, int> pinUses;
        for (const TScannedBlock& net : scanned.Nets)
            for (const std::string& pin : net.Members)
                ++pinUses[pin];
        auto* network = dynamic_cast<TSpecctraDsnNetworkDescriptor*>(design.Network());
        for (const TScannedBlock& net : scanned.Nets) {
            const bool kept = expectedNames.count(net.Name) && !dropped.count(net.Name);
            const bool gone = !expectedNames.count(net.Name);
            for (const std::string& pin : net.Members) {
                if (pinUses[pin] != 1 || !network)
                    continue;
                const TSpecctraNet* found = network->GetState_NetByPinName(pin);
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
            bool matched = false;
            for (auto it = range.first; it != range.second && !matched; ++it)
                matched = it->second == scannedClass.Members;
            EXPECT_TRUE(matched) << file << ": class " << scannedClass.Name;
        }
        EXPECT_EQ(boardClasses.size(), keptClasses) << file;
        classes += keptClasses;
    }
    std::printf("%zu net blocks, %zu host nets, %zu dropped, %zu pins checked, %zu classes\n",
                netBlocks, hostNets, droppedNets, pinsChecked, classes);
    EXPECT_GT(hostNets, netBlocks * 9 / 10);
}

} // namespace
