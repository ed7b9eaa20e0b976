// The one small reader of parenthesised Specctra text the tests use to count
// what a design or a written route or session file holds, written apart from
// the translator's own reader: atoms and lists, with the line and byte range
// of each list. The quote character starts as given and becomes the character
// after "string_quote"; a string runs to its closing quote (or the end).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sexpr {

struct Node {
    bool IsList = false;
    bool Quoted = false;
    bool Closed = false; // a list whose ")" was read
    std::string Atom;
    std::vector<Node> Items;
    int Line = 1, EndLine = 0;      // lines of "(" and ")" (0: never closed)
    std::size_t Begin = 0, End = 0; // byte range of a list, parentheses included

    // The list's first atom ("" for an atom or an empty list).
    const std::string& Head() const {
        static const std::string none;
        return IsList && !Items.empty() && !Items[0].IsList ? Items[0].Atom : none;
    }
    // Child lists with that head.
    std::vector<const Node*> All(std::string_view head) const {
        std::vector<const Node*> found;
        for (const Node& item : Items)
            if (item.Head() == head)
                found.push_back(&item);
        return found;
    }
    const Node* First(std::string_view head) const {
        for (const Node& item : Items)
            if (item.IsList && item.Head() == head)
                return &item;
        return nullptr;
    }
};

std::string Upper(std::string text);
std::string Lower(std::string text);

struct Options {
    char Quote = '"';
    bool Apostrophes = false; // names in apostrophes too, as route and session files write them
    bool UpperWords = false;  // unquoted words in upper case (the format ignores case)
    std::string WordEnds{};   // characters that end a word and are skipped (unless the quote)
    bool Escapes = false;     // a quote after a backslash does not close a string
    bool GluedPins = false;   // a quoted name directly followed by "-pin" is one pin reference
};

// Every top-level item of the text, as the items of an unnamed list; an
// unbalanced text gives what was read.
Node ReadAll(std::string_view text, const Options& options = {});

// Parses the first top-level list; false when the text does not start with a
// list or that list does not close.
bool Parse(std::string_view text, Node& root, char quote = '"', bool apostrophes = false);

} // namespace sexpr
