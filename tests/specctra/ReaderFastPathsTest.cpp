// The reader's quick paths must give exactly what the slow ones give: the
// rounding to whole board units (the hardware rounding), the conversion of
// short decimals (a full conversion) and the keyword table every parser
// shares (registering each keyword in turn).
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

uint64_t Bits(double value) {
    return std::bit_cast<uint64_t>(value);
}

TEST(Rounding, TiesToEvenMatchesTheHardwareBitForBit) {
    const double two52 = 4503599627370496.0;
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0.49999999999999994};
    values.insert(values.end(),
                  {-0.49999999999999994, 0.5000000000000001, 1e-300, -1e-300,
                   std::numeric_limits<double>::denorm_min(), -0.3, 2147483647.5, -2147483648.5});
    values.insert(values.end(),
                  {two52 - 0.5, two52 - 1.5, -(two52 - 0.5), two52, two52 + 1.0, 1e300, -1e300});
    values.insert(values.end(), {inf, -inf});
    // Halves and their neighbours over a wide range of magnitudes.
    for (double m = 1.0; m < 1e16; m *= 3.7) {
        const double half = std::floor(m) + 0.5;
        for (double v : {half, std::nextafter(half, 0.0), std::nextafter(half, 1e300)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    }
    std::mt19937_64 random(12);
    for (int i = 0; i < 200000; ++i) {
        values.push_back(std::bit_cast<double>(random()));
        values.push_back(
            static_cast<double>(static_cast<int64_t>(random() % 2000000001) - 1000000000) /
            static_cast<double>(1 << (random() % 12)));
    }
    for (double v : values) {
        if (std::isnan(v))
            continue;
        ASSERT_EQ(Bits(RoundTiesToEven(v)), Bits(std::nearbyint(v))) << v;
    }
    EXPECT_TRUE(std::isnan(RoundTiesToEven(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(RoundToBoard(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundToBoard(2.5), 2);
    EXPECT_EQ(RoundToBoard(-3.5), -4);
    EXPECT_EQ(RoundToBoard(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(RoundToBoard(-1e12), std::numeric_limits<int32_t>::min());
}

// The value of a full conversion of the text, or false when it is not a
// whole-text decimal.
bool FullConversion(const std::string& text, double& value) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const auto result = std::from_chars(text.data() + start, text.data() + text.size(), value,
                                        std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return false;
    value = negative ? -value : value;
    return true;
}

TEST(Decimals, EveryShortDecimalConvertsExactly) {
    std::vector<std::string> texts = {"0",  "-0",  "7.",  ".5",          "-.5",      "0.254",
                                      "+3", "0.1", "0.7", "99999.99999", "2540.0001"};
    texts.insert(texts.end(),
                 {"123456789012345", "1234567890123456", "0.000000000000001", "000000000000000.5"});
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        std::string t = random() % 2 ? "-" : "";
        const std::size_t start = t.size();
        const int digits = 1 + static_cast<int>(random() % 17);
        for (int d = 0; d < digits; ++d)
            t.push_back(static_cast<char>('0' + random() % 10));
        t.insert(start + random() % (t.size() - start + 1), ".");
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        double expected = 0.0;
        ASSERT_TRUE(FullConversion(t, expected)) << t;
        double converted = 1.0;
        EXPECT_TRUE(ConvertSpecctraReal(t, converted)) << t;
        ASSERT_EQ(Bits(converted), Bits(expected)) << t;
    }
}

TEST(Decimals, OtherFormsStillConvertOrFail) {
    double value = 0.0;
    EXPECT_TRUE(ConvertSpecctraReal("-1.5e2", value));
    EXPECT_EQ(value, -150.0);
    EXPECT_FALSE(ConvertSpecctraReal(".", value));
    EXPECT_FALSE(ConvertSpecctraReal("1.2.3", value));
    EXPECT_EQ(value, 1.2); // the valid part
    EXPECT_FALSE(ConvertSpecctraReal("12MIL", value));
    EXPECT_EQ(value, 12.0);
    EXPECT_FALSE(ConvertSpecctraReal("inf", value));
    EXPECT_FALSE(ConvertSpecctraReal("NAN", value));
    EXPECT_FALSE(ConvertSpecctraReal("", value));
}

// Words as a design's numbers come: decimals of 1 to 22 digits (past the 15
// that convert quickly, and past the 19 a whole number holds), with a sign
// or a point or not, and the near misses around them: a unit or exponent
// after the digits, a second point, a comma, a sign alone, a space marker,
// the bytes beside the digits (":" and "/"), a byte past 127.
std::string NumberLikeWord(std::mt19937_64& random) {
    static const char* const kTails[] = {"",
                                         "",
                                         "",
                                         "",
                                         "e2",
                                         "E-1",
                                         "MIL",
                                         "mm",
                                         ".5",
                                         ",5",
                                         "\x1f"
                                         "5",
                                         "-",
                                         "+",
                                         "x",
                                         ":5",
                                         "/2",
                                         "\xc2\xb5m"};
    static const char* const kAlone[] = {"-", "+", ".", "-.", "+.", "5.", ".5", "0", "-0"};
    if (random() % 16 == 0)
        return kAlone[random() % std::size(kAlone)];
    std::string word = random() % 3 == 0 ? (random() % 2 ? "-" : "+") : "";
    const std::size_t start = word.size();
    const int digits = 1 + static_cast<int>(random() % 22);
    for (int d = 0; d < digits; ++d)
        word.push_back(static_cast<char>('0' + random() % 10));
    if (random() % 2)
        word.insert(start + random() % (word.size() - start + 1), ".");
    word += kTails[random() % std::size(kTails)];
    return word;
}

// The scanner converts a plain decimal while it finds the word's end; what it
// gives must be what converting the word's text gives, bit for bit, whatever
// stands after the digits, with either set of delimiters, up to the data's
// last byte.
TEST(Decimals, ScannedWordsConvertAsTheirTextDoes) {
    static const char* const kGaps[] = {" ", " ", "  ", "\n", "\r\n", "\n    ", ")(", "(", " )"};
    std::mt19937_64 random(11);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        for (int i = 0; i < 2000; ++i) {
            text += NumberLikeWord(random);
            text += kGaps[random() % std::size(kGaps)];
        }
        text += NumberLikeWord(random); // the data ends in a word

        // As the readers of coordinates take them: the token, then its value,
        // with the token read for a number or as any token.
        TRecordingSink sink;
        auto parser = MakeParser(text, &sink);
        int words = 0;
        while (!parser->EndOfFile()) {
            const int32_t id = random() % 2 ? parser->NextTokenForNumber() : parser->NextToken();
            if (id == eTok_OpenParen || id == eTok_CloseParen || parser->TokenString().empty())
                continue;
            ++words;
            const std::string word = parser->TokenString();
            double expected = -1.0, converted = -1.0;
            const bool expectedOk = ConvertSpecctraReal(word, expected);
            ASSERT_EQ(parser->TokenStr2Real(converted), expectedOk) << word;
            ASSERT_EQ(Bits(converted), Bits(expectedOk ? expected : -1.0)) << word;
        }
        EXPECT_GE(words, 2000);

        // As NextReal takes them, with the number delimiters: the value, or
        // the valid part of a word that fails.
        auto numbers = MakeParser(text, &sink);
        int failures = 0;
        const std::size_t reportsBefore = sink.Lines.size();
        while (!numbers->EndOfFile()) {
            const double value = numbers->NextReal();
            const std::string word = numbers->TokenString();
            failures += numbers->ConversionFailed() ? 1 : 0; // each reported once
            if (word.empty() || word == "(" || word == ")")
                continue;
            double expected = -32000.0;
            const bool expectedOk = ConvertSpecctraReal(word, expected);
            ASSERT_EQ(numbers->ConversionFailed(), !expectedOk) << word;
            ASSERT_EQ(Bits(value), Bits(expected)) << word;
        }
        EXPECT_GT(failures, 0);
        EXPECT_EQ(sink.Lines.size() - reportsBefore, static_cast<std::size_t>(failures));
    }
}

TEST(SharedKeywords, EveryParserSeesTheSameTableAndOwnAdditionsStayOwn) {
    auto first = MakeParser("(pcb made_up_WORD)");
    auto second = MakeParser("(pcb X)");
    TSpecctraParser oneByOne(std::make_unique<TInputFile>("own.dsn", std::string("(pcb X)")));
    for (const auto& registration : SpecctraKeywordRegistrations())
        oneByOne.AddToken(registration.Keyword, registration.Id);
    EXPECT_EQ(first->Keywords().Sorted(), oneByOne.Keywords().Sorted());

    // A keyword added to one parser is that parser's alone; a spelling it
    // holds in any case is not added again.
    first->AddToken("made_up_word", 424242);
    first->AddToken("Pcb", 999);
    first->AddToken("MADE_UP_word", 900);
    int32_t id = 0;
    EXPECT_TRUE(first->FindKeyword("MADE_UP_WORD", id));
    EXPECT_EQ(id, 424242);
    EXPECT_EQ(first->NextToken(), eTok_OpenParen);
    EXPECT_EQ(first->NextToken(), eTok_pcb);
    EXPECT_EQ(first->NextToken(), 424242);
    EXPECT_TRUE(first->IsKnownToken());
    EXPECT_FALSE(second->FindKeyword("made_up_word", id));
    EXPECT_EQ(second->Keywords().Count(), oneByOne.Keywords().Count());

    // Words that start as numbers are looked up only in a parser that has
    // such keywords; there they are still the keywords, read as any token or
    // for a number, and they convert.
    for (const bool forNumber : {false, true}) {
        auto numbers = MakeParser("(pcb -1.5 2 2.0 12 +5V)");
        EXPECT_FALSE(numbers->Keywords().HasNumberLikeKeywords());
        numbers->AddToken("-1.5", 4101);
        numbers->AddToken("2", 4102);
        numbers->AddToken("+5v", 4103);
        EXPECT_TRUE(numbers->Keywords().HasNumberLikeKeywords());
        EXPECT_FALSE(second->Keywords().HasNumberLikeKeywords());
        EXPECT_EQ(numbers->NextToken(), eTok_OpenParen);
        EXPECT_EQ(numbers->NextToken(), eTok_pcb);
        for (const int32_t expected : {4101, 4102, int32_t{eTok_Word}, int32_t{eTok_Word}, 4103}) {
            const int32_t id = forNumber ? numbers->NextTokenForNumber() : numbers->NextToken();
            EXPECT_EQ(id, expected) << numbers->TokenString();
            EXPECT_EQ(numbers->IsKnownToken(), expected != eTok_Word) << numbers->TokenString();
            double value = 0.0;
            EXPECT_EQ(numbers->TokenStr2Real(value), expected != 4103) << numbers->TokenString();
        }
    }

    // Keywords added before the registration are kept and win over later ones.
    TSpecctraParser early(std::make_unique<TInputFile>("early.dsn", std::string("(pcb X)")));
    early.AddToken("pcb", 777);
    early.AddToken("another_word", 778);
    early.RegisterKeywords();
    EXPECT_TRUE(early.FindKeyword("PCB", id));
    EXPECT_EQ(id, 777);
    EXPECT_TRUE(early.FindKeyword("another_word", id));
    EXPECT_TRUE(early.FindKeyword("structure", id));
    EXPECT_EQ(id, eTok_structure);
    EXPECT_EQ(early.Keywords().Count(), oneByOne.Keywords().Count() + 1);
}

// Text the caller holds is read where it lies: the tokens, their values and
// the reports are those of the same text copied into the input, up to a
// word, a number or a quoted string that ends at the text's last byte (the
// scanner reads words in steps of several bytes), and the caller's text is
// left as it was, also once the reader has let go of its input.
TEST(InPlaceInput, ReadsAsACopyIsReadAndLeavesTheTextAlone) {
    const auto tokens = [](TSpecctraParser& parser, TRecordingSink& sink) {
        std::vector<std::string> seen;
        parser.SetReportManager(&sink);
        while (!parser.EndOfFile()) {
            const int32_t id = parser.NextTokenForNumber();
            double value = 0.0;
            const bool number = parser.TokenStr2Real(value);
            seen.push_back(std::to_string(id) + " " + parser.TokenString() + " " +
                           (number ? std::to_string(value) : "-"));
        }
        return seen;
    };
    for (const char* last : {"W", "12.5", "-0.0001", "'a quoted name'", "keepout", "1e3x"}) {
        for (std::size_t pad = 0; pad < 40; ++pad) {
            std::string text = "(pcb \"a b\" (parser (string_quote ')) (resolution mil 10)\n  " +
                               std::string(pad, 'X') + " " + last;
            const std::string before = text;
            TRecordingSink copiedSink, inPlaceSink;
            TSpecctraParser copied(std::make_unique<TInputFile>("t.dsn", text));
            TSpecctraParser inPlace(
                std::make_unique<TInputFile>("t.dsn", text, TInputFile::TInPlace{}));
            for (TSpecctraParser* parser : {&copied, &inPlace})
                parser->RegisterKeywords();
            ASSERT_EQ(inPlace.Input().Data().data(), text.data());
            ASSERT_NE(copied.Input().Data().data(), text.data());
            ASSERT_EQ(tokens(inPlace, inPlaceSink), tokens(copied, copiedSink)) << text;
            ASSERT_EQ(inPlaceSink.Lines, copiedSink.Lines) << text;
            inPlace.ReleaseInput();
            ASSERT_EQ(inPlace.Input().Size(), 0u);
            ASSERT_EQ(text, before);
        }
    }
}

} // namespace
