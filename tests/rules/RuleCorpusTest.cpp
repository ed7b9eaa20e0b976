// Every rule block of every corpus design gives host rules or a report line.
// The rule blocks are found by a scanner of this test, not by the reader.
#include "support/CorpusImport.h"
#include "support/Sexpr.h"

#include "board/Pcbclass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using sexpr::Upper;

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

// The rule blocks in `list`, which is (or lies in) rule block `block`, or
// -1. A rule block inside a rule block (layer_rule's rule) is the same block;
// a new one is named by its owner's keyword and the first word before it (the
// structure section goes by the name PCB).
void CollectRuleBlocks(const sexpr::Node& list, int block, std::vector<TRuleBlock>& blocks) {
    std::string owner;
    for (const sexpr::Node& item : list.Items) {
        if (!item.IsList) {
            if (owner.empty() && &item != &list.Items[0])
                owner = item.Atom;
            continue;
        }
        if (item.Items.empty() || item.Items[0].IsList) { // a list without a keyword
            CollectRuleBlocks(item, -1, blocks);
            continue;
        }
        const std::string keyword = sexpr::Lower(item.Head());
        const std::string ownerKeyword = sexpr::Lower(list.Head());
        int inner = -1;
        if (keyword == "rule" || keyword == "circuit" || keyword == "layer_rule") {
            if (block >= 0) {
                inner = block;
            } else if (ownerKeyword != "autoroute_settings") {
                blocks.push_back({ownerKeyword,
                                  ownerKeyword == "structure" ? "PCB" : Upper(owner),
                                  item.Line,
                                  item.EndLine ? item.EndLine : item.Line,
                                  {}});
                inner = static_cast<int>(blocks.size()) - 1;
            }
        } else if (block >= 0) {
            TEntry entry{keyword, {}};
            for (std::size_t i = 1; i < item.Items.size(); ++i)
                if (!item.Items[i].IsList)
                    entry.Arguments.push_back(Upper(item.Items[i].Atom));
            blocks[block].Entries.push_back(std::move(entry));
        }
        CollectRuleBlocks(item, inner, blocks);
    }
}

std::vector<TRuleBlock> RuleBlocks(const std::string& text) {
    sexpr::Options options;
    options.Quote = '\'';
    std::vector<TRuleBlock> blocks;
    for (const sexpr::Node& top : sexpr::ReadAll(text, options).Items)
        CollectRuleBlocks(top, -1, blocks);
    return blocks;
}

struct TBoardRule {
    int32_t Kind;
    std::string Name; // upper case
};

// The lines a report line names ("in line n", "between lines: a-b").
bool NamesLineIn(const std::string& line, int first, int last) {
    static const std::regex lines("line (\\d+)|lines: (\\d+)-(\\d+)");
    std::smatch match;
    if (!std::regex_search(line, match, lines))
        return false;
    const int a = std::stoi(match[1].matched ? match[1] : match[2]);
    const int b = match[3].matched ? std::stoi(match[3]) : a;
    return a <= last && b >= first;
}

// The host rule an entry makes when it is translated, or none.
const char* HostKindName(const std::string& keyword) {
    static const std::map<std::string, const char*> kinds = {
        {"width", "WIDTH"},
        {"clear", "CLEARANCE"},
        {"clearance", "CLEARANCE"},
        {"max_stub", "STUBLENGTH"},
        {"max_total_vias", "MAXIMUMVIACOUNT"},
        {"parallel_segment", "PARALLELSEGMENT"},
        {"tandem_segment", "PARALLELSEGMENT"},
        {"reorder", "ROUTINGTOPOLOGY"},
        {"via_at_smd", "VIASUNDERSMD"},
        {"use_layer", "ROUTINGLAYERS"}};
    const auto it = kinds.find(keyword);
    return it == kinds.end() ? nullptr : it->second;
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
        return !block.OwnerName.empty() && Contains(report, block.OwnerName);
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
    static const std::set<std::string> kept = {
        "length_gap", "length_amplitude", "testpoint", "length", "priority", "shield", "total"};
    return kept.count(entry.Keyword) || entry.Keyword.rfind("max_", 0) == 0 ||
           entry.Keyword.rfind("min_", 0) == 0 || entry.Keyword.rfind("match_", 0) == 0;
}

using RuleCorpus = corpus::CorpusShardTest;

// Every design is also read and written whole without an exception.
TEST_P(RuleCorpus, EveryRuleBlockGivesHostRulesOrAReportLine) {
    long blocks = 0, entries = 0, hostRules = 0;
    int designs = 0, imported = 0;
    for (const fs::path& file : files) {
        const std::vector<TRuleBlock> found = RuleBlocks(corpus::Text(file));
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
    EXPECT_GT(blocks, 1000 / kShards); // the corpus holds rule blocks in most designs
    // A few corpus files are broken on purpose; nearly all are designs.
    EXPECT_GT(imported, designs * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Shards, RuleCorpus, ::testing::Range(0, RuleCorpus::kShards));

} // namespace
