// Every rule block of every corpus design gives host rules or a report line.
// The rule blocks are found by a scanner of this test, not by the reader.
#include "support/CorpusImport.h"

#include "board/Pcbclass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A rule entry of a rule or circuit block: its keyword and first argument.
struct TEntry {
    std::string Keyword;
    std::vector<std::string> Arguments;
};

// A rule, circuit or layer_rule block with the object that holds it.
struct TRuleBlock {
    std::string OwnerKeyword; // the enclosing block's keyword, lower case
    std::string OwnerName;    // its first argument, upper case
    int FirstLine = 0, LastLine = 0;
    std::vector<TEntry> Entries;
};

// Splits design text into parentheses and words the way the format does:
// the quote character starts as the apostrophe and becomes the character
// after "string_quote"; words keep their text, compared without case.
class TBlockScanner {
public:
    explicit TBlockScanner(const std::string& text) : FText(text) {}

    std::vector<TRuleBlock> RuleBlocks() {
        std::vector<TRuleBlock> blocks;
        struct TOpen {
            std::string Keyword, FirstArgument;
            int Line;
            int Block; // index of the rule block this opens, or -1
            int Entry; // index of the entry this opens in its rule block, or -1
        };
        std::vector<TOpen> stack;
        bool expectKeyword = false;
        std::string token;
        while (Next(token)) {
            if (token == "(") {
                stack.push_back({"", "", FLine, -1, -1});
                expectKeyword = true;
                continue;
            }
            if (token == ")") {
                if (!stack.empty()) {
                    if (stack.back().Block >= 0)
                        blocks[stack.back().Block].LastLine = FLine;
                    stack.pop_back();
                }
                expectKeyword = false;
                continue;
            }
            if (stack.empty())
                continue;
            TOpen& top = stack.back();
            if (expectKeyword) {
                expectKeyword = false;
                top.Keyword = Lower(token);
                if (top.Keyword == "string_quote")
                    FQuoteNext = true;
                const bool ruleBlock = top.Keyword == "rule" || top.Keyword == "circuit" ||
                                       top.Keyword == "layer_rule";
                if (ruleBlock && stack.size() >= 2) {
                    const TOpen& owner = stack[stack.size() - 2];
                    // A rule block inside a rule block (layer_rule's rule) is
                    // the same block.
                    if (owner.Block < 0 && owner.Keyword != "autoroute_settings") {
                        // The structure section goes by the name PCB.
                        const std::string name =
                            owner.Keyword == "structure" ? "PCB" : Upper(owner.FirstArgument);
                        blocks.push_back({owner.Keyword, name, top.Line, top.Line, {}});
                        top.Block = static_cast<int>(blocks.size()) - 1;
                    } else if (owner.Block >= 0) {
                        top.Block = owner.Block;
                    }
                } else if (stack.size() >= 2 && stack[stack.size() - 2].Block >= 0) {
                    TRuleBlock& block = blocks[stack[stack.size() - 2].Block];
                    block.Entries.push_back({top.Keyword, {}});
                    top.Entry = static_cast<int>(block.Entries.size()) - 1;
                    top.Block = -1;
                }
                continue;
            }
            if (top.FirstArgument.empty())
                top.FirstArgument = token;
            if (top.Entry >= 0 && stack.size() >= 2 && stack[stack.size() - 2].Block >= 0)
                blocks[stack[stack.size() - 2].Block].Entries[top.Entry].Arguments.push_back(
                    Upper(token));
        }
        return blocks;
    }

private:
    static std::string Lower(std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }
    bool Next(std::string& token) {
        const std::size_t n = FText.size();
        while (FPos < n && std::isspace(static_cast<unsigned char>(FText[FPos]))) {
            if (FText[FPos] == '\n')
                ++FLine;
            ++FPos;
        }
        if (FPos >= n)
            return false;
        if (FQuoteNext) {
            FQuoteNext = false;
            FQuote = FText[FPos];
            token = std::string(1, FText[FPos++]);
            return true;
        }
        const char c = FText[FPos];
        if (c == '(' || c == ')') {
            token = std::string(1, c);
            ++FPos;
            return true;
        }
        if (c == FQuote) {
            const std::size_t end = FText.find(FQuote, FPos + 1);
            const std::size_t stop = end == std::string::npos ? n : end;
            token = FText.substr(FPos + 1, stop - FPos - 1);
            FLine += static_cast<int>(std::count(token.begin(), token.end(), '\n'));
            FPos = stop == n ? n : stop + 1;
            return true;
        }
        const std::size_t start = FPos;
        while (FPos < n && !std::isspace(static_cast<unsigned char>(FText[FPos])) &&
               FText[FPos] != '(' && FText[FPos] != ')')
            ++FPos;
        token = FText.substr(start, FPos - start);
        return true;
    }

    const std::string& FText;
    std::size_t FPos = 0;
    int FLine = 1;
    char FQuote = '\'';
    bool FQuoteNext = false;
};

struct TBoardRule {
    int32_t Kind;
    std::string Name; // upper case
};

// The lines a report line names ("in line n", "between lines: a-b").
bool NamesLineIn(const std::string& line, int first, int last) {
    static const std::regex single("line (\\d+)");
    static const std::regex range("lines: (\\d+)-(\\d+)");
    std::smatch match;
    if (std::regex_search(line, match, range)) {
        const int a = std::stoi(match[1]), b = std::stoi(match[2]);
        return a <= last && b >= first;
    }
    if (std::regex_search(line, match, single)) {
        const int a = std::stoi(match[1]);
        return a >= first && a <= last;
    }
    return false;
}

// The host rule an entry makes when it is translated, or none.
const char* HostKindName(const std::string& keyword) {
    if (keyword == "width")
        return "WIDTH";
    if (keyword == "clear" || keyword == "clearance")
        return "CLEARANCE";
    if (keyword == "max_stub")
        return "STUBLENGTH";
    if (keyword == "max_total_vias")
        return "MAXIMUMVIACOUNT";
    if (keyword == "parallel_segment" || keyword == "tandem_segment")
        return "PARALLELSEGMENT";
    if (keyword == "reorder")
        return "ROUTINGTOPOLOGY";
    if (keyword == "via_at_smd")
        return "VIASUNDERSMD";
    if (keyword == "use_layer")
        return "ROUTINGLAYERS";
    return nullptr;
}

bool HasRuleNamed(const std::vector<TBoardRule>& rules, const std::string& name) {
    return std::any_of(rules.begin(), rules.end(),
                       [&](const TBoardRule& rule) { return rule.Name == name; });
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return Upper(line).find(part) != std::string::npos;
    });
}

// True when the entry left a host rule, or the report speaks of it.
bool Accounted(const TRuleBlock& block, const TEntry& entry, const std::vector<TBoardRule>& rules,
               const std::vector<std::string>& report) {
    for (const std::string& line : report)
        if (NamesLineIn(line, block.FirstLine, block.LastLine))
            return true;
    if (const char* kind = HostKindName(entry.Keyword)) {
        if (HasRuleNamed(rules, std::string(kind) + " " + block.OwnerName))
            return true;
        if (std::string(kind) == "CLEARANCE" &&
            HasRuleNamed(rules, "SMDTOCORNER " + block.OwnerName))
            return true;
        if (std::string(kind) == "PARALLELSEGMENT" &&
            Contains(report, "PARALLEL SEGMENT RULE WITH ZERO VALUES FOR " + block.OwnerName))
            return true;
        if (std::string(kind) == "ROUTINGLAYERS" &&
            Contains(report, "ROUTING LAYERS RULE FOR: " + block.OwnerName))
            return true;
        if (!block.OwnerName.empty() && Contains(report, block.OwnerName))
            return true;
        return false;
    }
    if (entry.Keyword == "use_via") {
        for (const std::string& padstack : entry.Arguments) {
            const bool styled = std::any_of(rules.begin(), rules.end(), [&](const TBoardRule& r) {
                return r.Kind == eRule_RoutingViaStyle &&
                       r.Name.find(padstack) != std::string::npos;
            });
            if (!styled && !Contains(report, "PADSTACK REFERENCE RETURNED FOR: " + padstack) &&
                !Contains(report, "INVALID LIBRARY REFERENCE RETURNED"))
                return false;
        }
        return true;
    }
    // Read and kept, not written (timing, test points, circuit limits).
    return entry.Keyword == "length_gap" || entry.Keyword == "length_amplitude" ||
           entry.Keyword == "testpoint" || entry.Keyword.rfind("max_", 0) == 0 ||
           entry.Keyword.rfind("min_", 0) == 0 || entry.Keyword.rfind("match_", 0) == 0 ||
           entry.Keyword == "length" || entry.Keyword == "priority" || entry.Keyword == "shield" ||
           entry.Keyword == "total";
}

using RuleCorpus = corpus::CorpusBoardTest;

// Every design is also read and written whole without an exception.
TEST_F(RuleCorpus, EveryRuleBlockGivesHostRulesOrAReportLine) {
    long blocks = 0, entries = 0, hostRules = 0;
    int designs = 0, imported = 0;
    for (const fs::path& file : files) {
        const std::vector<TRuleBlock> found = TBlockScanner(corpus::Text(file)).RuleBlocks();
        ++designs;
        std::vector<std::string> report;
        std::vector<TBoardRule> rules;
        {
            corpus::TImport import(file);
            ASSERT_NE(import.board, 0);
            if (import.read) {
                EXPECT_TRUE(import.Write()) << file;
                ++imported;
            }
            report = import.Report();
            for (intptr_t handle : CollectItems(import.board, eRuleObject)) {
                TPcbRuleEx rule(handle);
                rule.QueryDatabase(1);
                rules.push_back({rule.GetState_Kind(), Upper(rule.GetState_Name())});
            }
        }
        hostRules += static_cast<long>(rules.size());

        for (const TRuleBlock& block : found) {
            ++blocks;
            for (const TEntry& entry : block.Entries) {
                ++entries;
                EXPECT_TRUE(Accounted(block, entry, rules, report))
                    << file << ": (" << entry.Keyword << ") of the " << block.OwnerKeyword << " "
                    << block.OwnerName << " rule block, lines " << block.FirstLine << "-"
                    << block.LastLine << ", gave no host rule and no report line";
            }
        }
    }
    std::printf("%d designs, %d read: %ld rule blocks, %ld rule entries, %ld host rules\n", designs,
                imported, blocks, entries, hostRules);
    EXPECT_GT(blocks, 1000); // the corpus holds rule blocks in most designs
    // A few corpus files are broken on purpose; nearly all are designs.
    EXPECT_GT(imported, designs * 9 / 10);
}

} // namespace
