// Compares the scanner with a plain character-by-character model of the
// reading rules: every peek is a forward read followed by a step back, every
// space is read on its own. The scanner reads runs of bytes in one step; both
// must agree on every token, line number, position and character state.
#include "ReadScript.h"
#include "support/Corpus.h"
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
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

// Reads the text with both and reports the first difference.
void ExpectSameReading(const std::string& text, uint32_t seed) {
    auto parser = MakeParser(text);
    TReferenceScanner reference(text);
    std::mt19937 choose(seed);
    for (int step = 0; step < 100000 && !(parser->EndOfFile() && reference.Eof); ++step) {
        const bool number = choose() % 5 == 0;
        int32_t got = 0, want = 0; // a token's id, or a number's length
        if (number) {
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
                   "net_\x1f_of_the_long_names", "SIGNAL_NET_WITHOUT_LOWER"});
    std::mt19937 random(20240611);
    for (uint32_t round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k)
            text += pieces[random() % pieces.size()];
        ExpectSameReading(text, round);
        if (HasFatalFailure())
            return;
    }
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
