// The tokens of a Specctra text as any reader of the format sees them:
// "(", ")", words and quoted strings, with the offset and line of each. The
// quote character is the one the text declares with (string_quote C); the
// translator's own output, which declares none, wraps names in apostrophes.
#pragma once

#include "host/sdk/AsciiText.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace Digest {

struct Token {
    enum Kind { Open, Close, Word };
    Kind kind = Word;
    std::string_view text; // a quoted string without its quotes
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

class Scanner {
public:
    struct Options {
        char quote = 0;                // the quote character until the text declares one
        bool followStringQuote = true; // (string_quote C) sets the quote character
        // A quote closes a string only before a blank, ")" or the end (the
        // translator's apostrophes, which do not escape one inside a name).
        bool closeBeforeDelimiter = false;
    };

    explicit Scanner(std::string_view text) : text_(text) {}
    Scanner(std::string_view text, Options options)
        : text_(text), quote_(options.quote), follow_(options.followStringQuote),
          closeBeforeDelimiter_(options.closeBeforeDelimiter) {}

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
            std::size_t close = pos_ + 1;
            for (;; ++close) {
                close = text_.find(quote_, close);
                if (close == std::string_view::npos || !closeBeforeDelimiter_ ||
                    close + 1 >= text_.size() || IsBlank(text_[close + 1]) ||
                    text_[close + 1] == ')')
                    break;
            }
            const std::size_t stop = close == std::string_view::npos ? text_.size() : close;
            token.text = text_.substr(pos_ + 1, stop - pos_ - 1);
            token.quoted = true;
            for (char inside : token.text)
                if (inside == '\n')
                    ++line_;
            pos_ = stop == text_.size() ? stop : stop + 1;
            token.end = pos_;
            return true;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != '(' &&
               text_[pos_] != ')')
            ++pos_;
        token.text = text_.substr(start, pos_ - start);
        token.end = pos_;
        afterStringQuote_ = follow_ && SameTextAscii(token.text, "string_quote");
        return true;
    }

    char Quote() const { return quote_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    long line_ = 1;
    char quote_ = 0;
    bool follow_ = true;
    bool closeBeforeDelimiter_ = false;
    bool afterStringQuote_ = false;
};

} // namespace Digest
