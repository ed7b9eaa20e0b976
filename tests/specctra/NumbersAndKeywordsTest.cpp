#include "ReadScript.h"
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <set>

#include <strings.h>

namespace {

TEST(Numbers, ReadsGiveTheirValuesAndReportFailures) {
    const std::vector<std::array<std::string, 3>> cases = {
        // An integer with a unit gives its leading value and is reported.
        {"(width 12mil)\n", "ttnt",
         "( <WIDTH> 12! ) | ERROR: Integer value expected <12MIL> in line 1."},
        // Reals take a dot and an exponent; a ")" where a number should be is
        // a failure and is consumed.
        {"-1.5e2 0.254 +3 .5\n)\n7\n", "rrrrrr",
         "-150 0.254 3 0.5 0! 7 | ERROR: Floating point value expected <)> in line 2."},
        // Tabs, quotes of any kind and underscores end a number.
        {"250\t-75_3 \"9\"", "nnn", "250 -75 3"},
        // An empty number gives the default.
        {"; ;", "nr",
         "-32000! -32000! | ERROR: Integer value expected <> in line 1. | ERROR: Floating point "
         "value expected <> in line 1."},
        // A conversion of the current token leaves the value alone when it fails.
        {"(rotate 90.0) abc", "tttidttd",
         "( <ROTATE> 90.0 7! 90 ) ABC 7! | ERROR: Integer value expected <90.0> in line 1. | "
         "ERROR: Floating point value expected <ABC> in line 1."},
        // An empty token converts to zero.
        {";", "tid", " 0 0"},
        // A boolean is "on" in any case.
        {"on ON 'On' off 1 true", "bbbbbb", "on on on off off off"}};
    for (const auto& [text, script, shown] : cases)
        EXPECT_EQ(Read(text, script), shown) << testing::PrintToString(text);
}

// Hexadecimal forms (a negative coordinate stored as hex among them), the
// decimal range and signs; a failed conversion may leave the leading value.
TEST(Numbers, IntegerForms) {
    struct TCase {
        const char* Text;
        bool Ok;
        int32_t Value;
    };
    for (const TCase& c :
         {TCase{"$1F4", true, 500}, TCase{"0X7FFFFFFF", true, 2147483647}, TCase{"X10", true, 16},
          TCase{"$FFFFFFFF", true, -1}, TCase{"$FFFB6C20", true, -300000}, TCase{"$", false, 0},
          TCase{"$1FFFFFFFF", false, 0}, TCase{"  -2147483648", true, INT32_MIN},
          TCase{"2147483648", false, 0}, TCase{"1,5", false, 1}, TCase{"-", false, 0}}) {
        int32_t v = 0;
        EXPECT_EQ(ConvertSpecctraInt(c.Text, v), c.Ok) << c.Text;
        if (c.Ok || c.Value != 0) {
            EXPECT_EQ(v, c.Value) << c.Text;
        }
    }
}

// The scanner looks a word up where it stands in the text: every keyword is
// found in lower, upper and mixed case, well inside the text and among its
// last bytes (fewer than sixteen after it), while a word that differs from
// it in one letter only, with the same first and last letters and length, is
// no keyword.
TEST(Keywords, EveryKeywordIsFoundInAnyCaseWhereverItStands) {
    const std::string delimiters = " ()';\n\r\"\t";
    const std::string far(40, ' ');
    auto table = MakeParser("");
    int checked = 0;
    for (const auto& registration : SpecctraKeywordRegistrations()) {
        const std::string keyword = registration.Keyword;
        if (keyword.empty() || keyword.find_first_of(delimiters) != std::string::npos)
            continue;
        int32_t expected = eTok_Word;
        ASSERT_TRUE(table->FindKeyword(keyword, expected)) << keyword;
        const std::string lower = sexpr::Lower(keyword);
        std::string mixed = lower;
        for (std::size_t i = 0; i < mixed.size(); i += 2)
            mixed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(mixed[i])));
        // A letter in the middle changed to one no keyword of that shape has
        // there ("Q" becomes "Z", anything else "Q"); only checked in words of
        // three bytes or more when the result is no keyword of the table.
        std::string other = Upper(keyword);
        char& middle = other[other.size() / 2];
        middle = middle == 'Q' ? 'Z' : 'Q';
        int32_t otherId = eTok_Word;
        const bool checkOther = other.size() >= 3 && !table->FindKeyword(other, otherId);
        for (const std::string& spelling : {lower, Upper(keyword), mixed}) {
            for (const std::string& after : {std::string(")"), ")" + far + ")"}) {
                EXPECT_EQ(Read("(" + spelling + after, "tt"), "( <" + Upper(keyword) + ">")
                    << spelling << " before " << after.size();
                if (checkOther) {
                    EXPECT_EQ(Read("(" + other + after, "tt"), "( " + other) << after.size();
                }
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 500);
}

// Every token name with its id, as the keyword list gives them.
std::map<std::string, int32_t> TokenIdsOfTheKeywordList() {
    return {
        {"QuotedString", eTok_QuotedString},
        {"Word", eTok_Word},
        {"DR", eTok_DR},
        {"OpenParen", eTok_OpenParen},
        {"CloseParen", eTok_CloseParen},
#define SPECCTRA_KEYWORD(name, id) {#name, eTok_##name},
#define SPECCTRA_KEYWORD_SPELLED(name, text, id) {#name, eTok_##name},
#include "specctra/SpecctraKeywords.def"
    };
}

TEST(Keywords, EveryTokenKeepsItsNameAndIdAndTheFirstSpellingWins) {
    // Token ids are stored with boards and switched on by every reader: the
    // list of names and ids beside this test must match the keyword list.
    std::ifstream in(std::string(DSNLINK_SOURCE_DIR) + "/tests/specctra/TokenIds.txt");
    ASSERT_TRUE(in.good());
    std::map<std::string, int32_t> expected;
    std::string name;
    int32_t id = 0;
    while (in >> name >> id)
        EXPECT_TRUE(expected.emplace(name, id).second) << name;
    EXPECT_EQ(expected.size(), 544u);
    EXPECT_EQ(TokenIdsOfTheKeywordList(), expected);
    const auto& registrations = SpecctraKeywordRegistrations();
    EXPECT_EQ(registrations.size(), 541u);
    auto parser = MakeParser("");
    EXPECT_EQ(parser->Keywords().Count(), 540u); // 539 distinct keywords and DR
    std::set<int32_t> ids;
    for (const auto& r : registrations) {
        ids.insert(r.Id);
        // Every registered spelling carries the id of the token of that name
        // in any case ("plus-pat" is the token plus_pat)...
        std::string token = r.Keyword;
        std::replace(token.begin(), token.end(), '-', '_');
        const auto named = std::find_if(expected.begin(), expected.end(), [&](const auto& e) {
            return strcasecmp(e.first.c_str(), token.c_str()) == 0;
        });
        ASSERT_NE(named, expected.end()) << r.Keyword;
        EXPECT_EQ(r.Id, named->second) << r.Keyword;
        // ... and the first registration of a spelling in any case owns it.
        const auto first =
            std::find_if(registrations.begin(), registrations.end(),
                         [&](const auto& e) { return strcasecmp(e.Keyword, r.Keyword) == 0; });
        ASSERT_TRUE(parser->FindKeyword(r.Keyword, id)) << r.Keyword;
        EXPECT_EQ(id, first->Id) << r.Keyword;
    }
    EXPECT_EQ(ids.size(), 536u);
    EXPECT_EQ(ids.count(518), 0u);
    EXPECT_EQ(ids.count(521), 0u);
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), 538);
    // The sorted view is in case-insensitive order.
    const auto sorted = parser->Keywords().Sorted();
    ASSERT_EQ(sorted.size(), 540u);
    for (std::size_t i = 1; i < sorted.size(); ++i)
        EXPECT_LT(Upper(sorted[i - 1].first), Upper(sorted[i].first));
}

} // namespace
