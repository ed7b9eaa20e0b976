// Compares the scanner with a plain character-by-character model of the
// reading rules: every peek is a forward read followed by a step back, every
// space is read on its own. The scanner reads runs of bytes in one step; both
// must agree on every token, line number, position and character state.
#include "ReadScript.h"
#include "support/Corpus.h"
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <map>
#include <random>
#include <span>
#include <string_view>
#include <tuple>

namespace {

class TReferenceScanner {
public:
    explicit TReferenceScanner(std::string data) : D(std::move(data)) {
        Keywords["DR"] = 0;
        for (const auto& r : SpecctraKeywordRegistrations())
            Keywords.emplace(Upper(r.Keyword), r.Id); // the first spelling in any case

        Eof = D.empty();
    }

    int32_t NextToken() { return Last = Scan(false); }
    int32_t NextNumberToken() { return Scan(true); }

    std::string D;
    std::size_t Pos = 0;
    unsigned char Prev = 0;
    unsigned char Cur = 0;
    bool Eof = false;
    int32_t Line = 1;
    unsigned char Quote = '\'';
    int32_t Last = 0;
    std::string Token;
    std::map<std::string, int32_t> Keywords; // in upper case

private:
    static bool LineBreak(unsigned char c) { return c == 10 || c == 13; }

    bool Delimiter(unsigned char c, bool number) const {
        if (number)
            return c != 0 && !(c == '+' || c == ',' || c == '-' || c == '.' ||
                               std::isalnum(static_cast<int>(c)) != 0);
        return c == 10 || c == 13 || c == ' ' || c == '\'' || c == '(' || c == ')' || c == ';';
    }

    unsigned char Read() {
        Prev = Cur;
        if (Pos < D.size())
            Cur = static_cast<unsigned char>(D[Pos++]);
        if (Pos >= D.size())
            Eof = true;
        return Cur;
    }

    unsigned char PeekNonSpace() {
        if (Pos >= D.size())
            return ' ';
        const std::size_t start = Pos;
        do {
            Prev = Cur;
            Cur = static_cast<unsigned char>(D[Pos++]);
        } while (Cur == ' ' && Pos < D.size());
        Pos = start;
        return Cur;
    }

    unsigned char PrevNonSpace() const {
        std::size_t b = Pos;
        while (b > 0 && D[b - 1] == ' ')
            --b;
        return b == 0 ? 10 : static_cast<unsigned char>(D[b - 1]);
    }

    unsigned char PeekRaw() {
        if (Pos >= D.size())
            return 0;
        Prev = Cur;
        return Cur = static_cast<unsigned char>(D[Pos]);
    }

    void NextLine() {
        ++Line;
        unsigned char c = 0;
        do {
            c = Read();
        } while (!LineBreak(c) && !Eof);
        while ((LineBreak(Cur) || Cur == 20) && !Eof)
            Read();
        if (Pos > 0) {
            --Pos;
            if (Eof && !LineBreak(Cur) && Cur != 20 && (LineBreak(Prev) || Prev == 20))
                Eof = false;
        }
    }

    int32_t Scan(bool number) {
        Token.clear();
        unsigned char ch = ' ';
        while ((ch == ' ' || ch == '\t') && !Eof) {
            if (LineBreak(PeekNonSpace()) || (PeekNonSpace() == '#' && LineBreak(PrevNonSpace())))
                NextLine();
            else
                ch = Read();
        }
        if (ch == '(' || ch == ')') {
            Token = std::string(1, static_cast<char>(ch));
            return ch == '(' ? 10000 : 10001;
        }
        if (Last == 409) {
            Quote = ch;
            Token = std::string(1, static_cast<char>(ch));
            return 0;
        }
        if (ch == Quote) {
            std::string raw;
            unsigned char c = Read();
            while (!(c == Quote && (raw.empty() || raw.back() != '\\' || PeekRaw() == ' ')) &&
                   !Eof) {
                raw += static_cast<char>(c);
                c = Read();
            }
            for (std::size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] != '\\' || i + 1 == raw.size()) {
                    Token += raw[i];
                    continue;
                }
                const char e = raw[++i];
                const std::size_t at = std::string_view("\\fFnNrRtT").find(e);
                if (at != std::string_view::npos)
                    Token += "\\\f\f\n\n\r\r\v\v"[at];
                else if (static_cast<unsigned char>(e) == Quote)
                    Token += e;
            }
            return -4;
        }
        while (!Delimiter(ch, number) && !Eof) {
            Token += static_cast<char>(ch);
            ch = LineBreak(PeekNonSpace()) ? ' ' : Read();
        }
        if (ch == '(' || ch == ')') {
            --Pos;
        } else if (!Delimiter(ch, number)) {
            Token += static_cast<char>(ch);
        }
        Token = Upper(Token);
        const auto found = Keywords.find(Token);
        std::string shown;
        for (char c : Token)
            shown += c == 31 ? std::string("~SP~") : std::string(1, c);
        Token = shown;
        return found == Keywords.end() ? -5 : found->second;
    }
};

// Reads the text with both and reports the first difference; counts the
// numbers the parser read in pairs.
void ExpectSameReading(const std::string& text, uint32_t seed, std::size_t* paired = nullptr) {
    auto parser = MakeParser(text);
    TReferenceScanner reference(text);
    std::mt19937 choose(seed);
    for (int step = 0; step < 100000 && !(parser->EndOfFile() && reference.Eof); ++step) {
        const uint32_t kind = choose() % 5;
        const bool number = kind == 0;
        int32_t got = 0, want = 0; // a token's id, or a number's length, or the numbers paired
        if (kind == 1) {
            // The numbers of a run are tokens read one by one, each the value
            // of its text.
            double values[8];
            const std::size_t read =
                parser->ReadNumberPairs(std::span(values, 2 + 2 * (choose() % 4)));
            for (std::size_t i = 0; i < read; ++i) {
                reference.NextToken();
                double value = 0;
                ASSERT_TRUE(ConvertSpecctraReal(reference.Token, value)) << reference.Token;
                ASSERT_EQ(std::bit_cast<uint64_t>(values[i]), std::bit_cast<uint64_t>(value))
                    << reference.Token << " in pair run at step " << step << ", seed " << seed;
            }
            if (paired)
                *paired += read;
            got = want = static_cast<int32_t>(read);
        } else if (number) {
            parser->NextNum();
            got = static_cast<int32_t>(parser->TokenString().size());
            reference.NextNumberToken();
            want = static_cast<int32_t>(reference.Token.size());
        } else {
            got = parser->NextToken();
            want = reference.NextToken();
        }
        const auto u = [](char c) { return static_cast<unsigned char>(c); };
        // Token, text, line, position, end, current, previous and quote character.
        ASSERT_EQ(std::tuple(got, parser->TokenString(), parser->LineNumber(), parser->Position(),
                             parser->EndOfFile(), u(parser->CurrentChar()),
                             u(parser->PreviousChar()), u(parser->QuoteChar())),
                  std::tuple(want, reference.Token, reference.Line, reference.Pos, reference.Eof,
                             reference.Cur, reference.Prev, reference.Quote))
            << "step " << step << (number ? " (number)" : "") << " in text of " << text.size()
            << " bytes, seed " << seed;
    }
}

TEST(ScannerReference, RandomTextsReadAlike) {
    std::vector<std::string> pieces = {"(", ")", " ",  "    ", "\t", "\n", "\r\n", "\n\n",
                                       "#", "'", "\"", "\\",   ";",  "ab", "Pcb",  "12"};
    pieces.insert(pieces.end(),
                  {"-1.5e2", "\x14", "\x1f", "string_quote ", "(string_quote \")", "circle",
                   "  # remark (x)\n", "\\' ", "x\tY", "'q\\'r'", "$FF", "mil",
                   // keywords and names past 16 bytes, in either case, with a marker
                   "allow_redundant_wiring", "AVERAGE_PAIR_LENGTH", "Conflict_Clearance",
                   "net_\x1f_of_the_long_names", "SIGNAL_NET_WITHOUT_LOWER",
                   // points as paths hold them, and numbers no run takes
                   " 2540 -1270.5", "\n      0.254 7", "\r\n  12 ", "+3 .5", "1234567890123456",
                   "1,5", "-", "0.5'", " 33;", "\t 8"});
    std::mt19937 random(20240611);
    std::size_t paired = 0;
    for (uint32_t round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k)
            text += pieces[random() % pieces.size()];
        ExpectSameReading(text, round, &paired);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(paired, 200u); // the runs were taken, not only refused
}

// A path's points cross the places where the reader polls the Escape key and
// moves the progress bar: a run stops before each, and the reading goes on
// as one token at a time would read it.
TEST(ScannerReference, LongPathsReadAlike) {
    std::string text = "(path signal 10";
    std::mt19937 random(31);
    for (int i = 0; i < 12000; ++i)
        text += (i % 7 == 0 ? "\n    " : " ") +
                std::to_string(static_cast<int>(random() % 200000) - 100000) +
                (i % 3 == 0 ? ".25" : "");
    text += ")\n";
    std::size_t paired = 0;
    ExpectSameReading(text, 5, &paired);
    EXPECT_GT(paired, 0u);
    // Read through in runs where they can be taken, or a token at a time:
    // the same numbers, the key polled as often, and a reading stopped at a
    // poll past the start (the key held, the question answered yes the
    // third time) stops after the same number.
    struct TThirdTimeYes : TScriptedEscapeHost {
        TThirdTimeYes(bool stop) : TScriptedEscapeHost(false), Stop(stop) {}
        bool AskYesNo(const std::string& question) override {
            TScriptedEscapeHost::AskYesNo(question);
            return Stop && Questions.size() == 3;
        }
        bool Stop;
    };
    const auto readAll = [&](bool runs, bool stop, std::size_t& polls) {
        auto parser = MakeParser(text);
        TThirdTimeYes key(stop);
        parser->SetEscapeKey(&key);
        std::vector<double> values;
        double run[64];
        while (!parser->EndOfFile() && !parser->Aborted()) {
            const std::size_t read = runs ? parser->ReadNumberPairs(run) : 0;
            values.insert(values.end(), run, run + read);
            double value = 0;
            if (read == 0 && parser->NextTokenForNumber() == eTok_Word &&
                !parser->TokenString().empty() && parser->TokenStr2Real(value))
                values.push_back(value);
        }
        polls = key.Questions.size();
        return values;
    };
    std::size_t runPolls = 0, tokenPolls = 0;
    const std::vector<double> inRuns = readAll(true, false, runPolls);
    EXPECT_EQ(inRuns, readAll(false, false, tokenPolls));
    EXPECT_EQ(inRuns.size(), 12001u); // the width and every point
    EXPECT_EQ(runPolls, tokenPolls);
    EXPECT_GE(runPolls, text.size() / TBlockParser::PollInterval);
    const std::vector<double> stopped = readAll(true, true, runPolls);
    EXPECT_EQ(stopped, readAll(false, true, tokenPolls));
    EXPECT_GT(stopped.size(), 2 * TBlockParser::PollInterval / 10); // two polls passed
    EXPECT_LT(stopped.size(), inRuns.size());
}

using ScannerReferenceCorpus = corpus::CorpusTest;

TEST_F(ScannerReferenceCorpus, SmallDesignsReadAlike) {
    std::vector<std::pair<std::uintmax_t, std::filesystem::path>> smallest;
    for (const auto& path : files)
        smallest.emplace_back(std::filesystem::file_size(path), path);
    std::sort(smallest.begin(), smallest.end());
    smallest.resize(std::min<std::size_t>(smallest.size(), 25));
    for (const auto& [size, path] : smallest) {
        ExpectSameReading(corpus::Text(path), static_cast<uint32_t>(size));
        if (HasFatalFailure()) {
            ADD_FAILURE() << path;
            return;
        }
    }
}

} // namespace
