// The one small reader of parenthesised Specctra text the tests use to count
// what a design or a written route or session file holds, written apart from
// the translator's own reader: atoms and lists, with the line and byte range
// of each list. The quote character starts as given and becomes the character
// after "string_quote"; a string runs to its closing quote (or the end).
#pragma once

#include <cctype>
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

inline std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
inline std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

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
inline Node ReadAll(std::string_view text, const Options& options = {}) {
    Node root;
    root.IsList = true;
    std::vector<Node*> stack{&root};
    char quote = options.Quote;
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto blank = [&](char c) {
        return std::isspace(static_cast<unsigned char>(c)) ||
               (c != quote && options.WordEnds.find(c) != std::string::npos);
    };
    while (i < n) {
        const char c = text[i];
        if (blank(c)) {
            line += c == '\n';
            ++i;
            continue;
        }
        Node& list = *stack.back();
        if (c == '(') {
            Node child;
            child.IsList = true;
            child.Line = line;
            child.Begin = i++;
            list.Items.push_back(std::move(child));
            stack.push_back(&list.Items.back());
            continue;
        }
        if (c == ')') {
            if (stack.size() > 1) {
                list.Closed = true;
                list.EndLine = line;
                list.End = i + 1;
                stack.pop_back();
            }
            ++i;
            continue;
        }
        Node atom;
        atom.Line = line;
        if (list.Items.size() == 1 && Lower(list.Head()) == "string_quote") {
            // The character after string_quote is the quote itself.
            atom.Atom = std::string(1, c);
            quote = c;
            ++i;
        } else if (c == quote || (options.Apostrophes && c == '\'')) {
            std::size_t end = text.find(c, i + 1);
            while (options.Escapes && end != std::string_view::npos && text[end - 1] == '\\')
                end = text.find(c, end + 1);
            const std::size_t stop = end == std::string_view::npos ? n : end;
            atom.Atom = std::string(text.substr(i + 1, stop - i - 1));
            atom.Quoted = true;
            for (char inside : atom.Atom)
                line += inside == '\n';
            i = stop + 1;
            if (options.GluedPins && i + 1 < n && text[i] == '-' && !blank(text[i + 1]) &&
                text[i + 1] != '(' && text[i + 1] != ')') {
                // "LED 1"-3 or "J3"-"D+": the pin, quoted or not, joins the name.
                std::size_t end = ++i;
                std::string pin;
                if (text[i] == quote) {
                    end = text.find(quote, i + 1);
                    const std::size_t pinStop = end == std::string_view::npos ? n : end;
                    pin = std::string(text.substr(i + 1, pinStop - i - 1));
                    i = pinStop + 1;
                } else {
                    while (end < n && !blank(text[end]) && text[end] != '(' && text[end] != ')')
                        ++end;
                    pin = std::string(text.substr(i, end - i));
                    if (options.UpperWords)
                        pin = Upper(std::move(pin));
                    i = end;
                }
                atom.Atom += "-" + pin;
            }
        } else {
            std::size_t end = i;
            while (end < n && !blank(text[end]) && text[end] != '(' && text[end] != ')')
                ++end;
            atom.Atom = std::string(text.substr(i, end - i));
            if (options.UpperWords)
                atom.Atom = Upper(std::move(atom.Atom));
            i = end;
        }
        list.Items.push_back(std::move(atom));
    }
    for (Node* open : stack)
        open->End = n;
    return root;
}

// Parses the first top-level list; false when the text does not start with a
// list or that list does not close.
inline bool Parse(std::string_view text, Node& root, char quote = '"', bool apostrophes = false) {
    Options options;
    options.Quote = quote;
    options.Apostrophes = apostrophes;
    Node all = ReadAll(text, options);
    if (all.Items.empty() || !all.Items[0].IsList || !all.Items[0].Closed)
        return false;
    root = std::move(all.Items[0]);
    return true;
}

} // namespace sexpr
