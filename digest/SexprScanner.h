// The tokens of a Specctra text as any reader of the format sees them:
// "(", ")", words and quoted strings, with the offset and line of each. The
// quote character is the one the text declares with (string_quote C); the
// translator's own output, which declares none, wraps names in apostrophes.
#pragma once

#include "sdk/AsciiText.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace Digest {

struct Token {
    enum Kind { Open, Close, Word };
    Kind kind = Word;
    std::string_view text; // a quoted string without its quotes (and its escapes decoded)
    std::string decoded;   // where `text` points when a string held escapes
    bool quoted = false;
    std::size_t offset = 0; // of the token's first character (a quote included)
    std::size_t end = 0;    // one past its last character
    long line = 1;
};

inline std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}
using HostSdk::SameTextAscii;
using HostSdk::UpperAscii;

// Calls each(line) for every line of a text, without its line break.
template <typename Each> void ForEachLine(std::string_view text, Each&& each) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        each(text.substr(at, end - at));
        at = end + 1;
    }
}

// A whole word as a finite number ("12.5", "-3e2"); false for anything else.
inline bool ReadReal(std::string_view word, double& value) {
    if (word.empty() || word.size() > 63)
        return false;
    char buffer[64];
    word.copy(buffer, word.size());
    buffer[word.size()] = '\0';
    char* end = nullptr;
    value = std::strtod(buffer, &end);
    return end != buffer && *end == '\0' && std::isfinite(value);
}

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// What ends a word: a blank or a parenthesis (a table, for the scan of long
// texts byte by byte).
struct WordStops {
    bool stop[256] = {};
    constexpr WordStops() {
        for (const char c : {' ', '\t', '\r', '\n', '\f', '\v', '(', ')'})
            stop[static_cast<unsigned char>(c)] = true;
    }
    bool operator[](char c) const { return stop[static_cast<unsigned char>(c)]; }
};
inline constexpr WordStops kWordStops{};

class Scanner {
public:
    struct Options {
        char quote = 0;                // the quote character until the text declares one
        bool followStringQuote = true; // (string_quote C) sets the quote character
        // The translator's own files: one name a line, wrapped in
        // apostrophes that nothing escapes, so a name ends at the last
        // apostrophe of its line before a blank, ")" or the line's end.
        bool lastQuoteOfLine = false;
        // A design: a backslash escapes the quote and a few letters, as the
        // translator reads them.
        bool escapes = false;
    };

    explicit Scanner(std::string_view text) : text_(text) {}
    Scanner(std::string_view text, Options options)
        : text_(text), quote_(options.quote), follow_(options.followStringQuote),
          lastQuoteOfLine_(options.lastQuoteOfLine), escapes_(options.escapes) {}

    // False at the end of the text.
    bool Next(Token& token) {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            if (text_[pos_] == '\n')
                ++line_;
            ++pos_;
        }
        if (pos_ >= text_.size())
            return false;
        token.offset = pos_;
        token.line = line_;
        token.quoted = false;
        const char c = text_[pos_];
        if (c == '(' || c == ')') {
            token.kind = c == '(' ? Token::Open : Token::Close;
            token.text = text_.substr(pos_, 1);
            token.end = ++pos_;
            return true;
        }
        token.kind = Token::Word;
        if (afterStringQuote_) {
            // The character itself is the word, whatever it is.
            afterStringQuote_ = false;
            quote_ = c;
            token.text = text_.substr(pos_, 1);
            token.end = ++pos_;
            return true;
        }
        if (quote_ != 0 && c == quote_) {
            const std::size_t stop = lastQuoteOfLine_ ? LastQuoteOfLine() : ClosingQuote();
            token.text = text_.substr(pos_ + 1, stop - pos_ - 1);
            token.quoted = true;
            for (char inside : token.text)
                if (inside == '\n')
                    ++line_;
            if (escapes_ && token.text.find('\\') != std::string_view::npos) {
                token.decoded = Decode(token.text);
                token.text = token.decoded;
            }
            pos_ = stop == text_.size() ? stop : stop + 1;
            token.end = pos_;
            return true;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !kWordStops[text_[pos_]])
            ++pos_;
        token.text = text_.substr(start, pos_ - start);
        token.end = pos_;
        afterStringQuote_ =
            follow_ && token.text.size() == 12 && SameTextAscii(token.text, "string_quote");
        return true;
    }

    char Quote() const { return quote_; }

private:
    bool Delimits(std::size_t at) const {
        return at >= text_.size() || IsBlank(text_[at]) || text_[at] == ')';
    }

    // The quote that ends the string opened at pos_; the end of the text when
    // none does. With escapes, a quote after a backslash ends it only when a
    // blank follows.
    std::size_t ClosingQuote() const {
        for (std::size_t at = pos_ + 1;; ++at) {
            at = text_.find(quote_, at);
            if (at == std::string_view::npos)
                return text_.size();
            if (!escapes_ || text_[at - 1] != '\\' ||
                (at + 1 < text_.size() && text_[at + 1] == ' '))
                return at;
        }
    }

    std::size_t LastQuoteOfLine() const {
        std::size_t lineEnd = text_.find('\n', pos_);
        if (lineEnd == std::string_view::npos)
            lineEnd = text_.size();
        std::size_t last = std::string_view::npos;
        for (std::size_t at = pos_ + 1; at < lineEnd; ++at)
            if (text_[at] == quote_ && Delimits(at + 1))
                last = at;
        return last != std::string_view::npos ? last : ClosingQuote();
    }

    // The translator's escape pairs: backslash, f, n, r, t and the quote
    // stand for a character, any other pair for nothing.
    std::string Decode(std::string_view raw) const {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\' || i + 1 >= raw.size()) {
                out += raw[i];
                continue;
            }
            const char next = raw[++i];
            switch (next) {
            case '\\':
                out += '\\';
                break;
            case 'f':
            case 'F':
                out += '\f';
                break;
            case 'n':
            case 'N':
                out += '\n';
                break;
            case 'r':
            case 'R':
                out += '\r';
                break;
            case 't':
            case 'T':
                out += '\v';
                break;
            default:
                if (next == quote_)
                    out += next;
            }
        }
        return out;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    long line_ = 1;
    char quote_ = 0;
    bool follow_ = true;
    bool lastQuoteOfLine_ = false;
    bool escapes_ = false;
    bool afterStringQuote_ = false;
};

} // namespace Digest
