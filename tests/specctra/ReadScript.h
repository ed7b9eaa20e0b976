// What a parser reads from a text under a script of calls, one character a
// call, shown in one line:
//   t  NextToken: "(" and ")" as they are, a keyword as <TEXT> (with its id,
//      <TEXT#id>, when the table gives the text none or another one), a
//      quoted string in apostrophes, a word bare (an empty word leaves two
//      blanks); "?" follows a word or quoted string the parser calls known,
//      or another token it does not
//   T  NextToken up to the end of the data, without the empty word the
//      scanner answers once nothing is left
//   n  NextNum   r  NextReal   b  NextBoolean ("on" or "off")
//   i  TokenStr2Int, d  TokenStr2Real: the current token into a value of 7
//   s  SkipCurrentBlock   k  SkipBlock (nothing shown)
//   c  PreviousChar, as ^ and the character (^0 for none)
//   .  EndOfFile: "eof" or "more"
// "@N" comes before a token read on another line than the one before it, "!"
// after a failed conversion; the report's lines follow, each after " | ".
#pragma once

#include "support/ParserTestSupport.h"
#include "support/Sexpr.h"

#include <charconv>
#include <string>
#include <vector>

using sexpr::Upper; // the text in upper case (ASCII letters)

inline std::string Read(const std::string& text, const std::string& script) {
    static const auto table = MakeParser("");
    TRecordingSink sink;
    auto parser = MakeParser(text, &sink);
    std::vector<std::string> shown;
    int32_t line = 1;
    const auto number = [](double value) {
        char buffer[32];
        return std::string(buffer, std::to_chars(buffer, buffer + 32, value).ptr);
    };
    const auto token = [&](bool last) {
        const int32_t id = parser->NextToken();
        const std::string& t = parser->TokenString();
        if (last && parser->EndOfFile() && id == eTok_Word && t.empty())
            return;
        std::string out;
        if (parser->LineNumber() != line)
            out = "@" + std::to_string(line = parser->LineNumber()) + " ";
        const bool plain = id == eTok_Word || id == eTok_QuotedString;
        int32_t tableId = eTok_Word;
        if (plain || id == eTok_OpenParen || id == eTok_CloseParen)
            out += id == eTok_QuotedString ? "'" + t + "'" : t;
        else if (table->FindKeyword(t, tableId) && tableId == id)
            out += "<" + t + ">";
        else
            out += "<" + t + "#" + std::to_string(id) + ">";
        shown.push_back(out + (parser->IsKnownToken() == plain ? "?" : ""));
    };
    for (const char call : script) {
        int32_t i = 7;
        double d = 7;
        bool failed = false;
        if (call == 't')
            token(false);
        while (call == 'T' && !parser->EndOfFile())
            token(true);
        if (call == 'n' || call == 'r') {
            shown.push_back(call == 'n' ? std::to_string(parser->NextNum())
                                        : number(parser->NextReal()));
            failed = parser->ConversionFailed();
        } else if (call == 'i' || call == 'd') {
            failed = call == 'i' ? !parser->TokenStr2Int(i) : !parser->TokenStr2Real(d);
            shown.push_back(call == 'i' ? std::to_string(i) : number(d));
        } else if (call == 'b') {
            shown.push_back(parser->NextBoolean() ? "on" : "off");
        } else if (call == 'c') {
            const char c = parser->PreviousChar();
            shown.push_back(c == 0 ? "^0" : "^" + std::string(1, c));
        } else if (call == '.') {
            shown.push_back(parser->EndOfFile() ? "eof" : "more");
        } else if (call == 's' || call == 'k') {
            call == 's' ? parser->SkipCurrentBlock() : parser->SkipBlock();
        }
        if (failed)
            shown.back() += "!";
    }
    std::string out;
    for (std::size_t k = 0; k < shown.size(); ++k)
        out += (k == 0 ? "" : " ") + shown[k];
    for (const std::string& report : sink.Lines)
        out += " | " + report;
    return out;
}
