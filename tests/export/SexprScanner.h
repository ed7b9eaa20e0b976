// A small reader of parenthesised Specctra text for tests, written apart
// from the translator's own reader: atoms and lists, strings in double quotes
// or apostrophes kept as they stand, unquoted words as written. Used to check
// designs and written route and session files independently of the model.
#pragma once

#include <cctype>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sexpr {

struct Node {
    bool IsList = false;
    bool Quoted = false;
    std::string Atom;
    std::vector<Node> Items;

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
            if (item.Head() == head)
                return &item;
        return nullptr;
    }
};

// Parses one top-level list. `quote` is the string quote at the start (a
// design's string_quote block changes it); `apostrophes` also accepts names
// in apostrophes, as route and session files write them. False on a text that
// does not close its parentheses.
inline bool Parse(std::string_view text, Node& root, char quote = '"', bool apostrophes = false) {
    std::vector<Node*> stack;
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool started = false;
    while (i < n) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '(') {
            if (!started) {
                root = Node{};
                root.IsList = true;
                stack.push_back(&root);
                started = true;
            } else {
                if (stack.empty())
                    return false;
                Node list;
                list.IsList = true;
                stack.back()->Items.push_back(std::move(list));
                stack.push_back(&stack.back()->Items.back());
            }
            ++i;
            continue;
        }
        if (c == ')') {
            if (stack.empty())
                return false;
            stack.pop_back();
            ++i;
            if (stack.empty())
                return true;
            continue;
        }
        if (stack.empty())
            return false;
        Node atom;
        Node& list = *stack.back();
        if (list.Items.size() == 1 && list.Head() == "string_quote") {
            // The character after string_quote is the quote itself.
            atom.Atom = std::string(1, c);
            quote = c;
            ++i;
        } else if (c == quote || (apostrophes && c == '\'')) {
            const char close = c;
            const std::size_t end = text.find(close, i + 1);
            if (end == std::string_view::npos)
                return false;
            atom.Atom = std::string(text.substr(i + 1, end - i - 1));
            atom.Quoted = true;
            i = end + 1;
        } else {
            std::size_t end = i;
            while (end < n && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   text[end] != '(' && text[end] != ')')
                ++end;
            atom.Atom = std::string(text.substr(i, end - i));
            i = end;
        }
        list.Items.push_back(std::move(atom));
    }
    return false;
}

} // namespace sexpr
