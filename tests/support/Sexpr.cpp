#include "support/Sexpr.h"

#include <cctype>

namespace sexpr {

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

Node ReadAll(std::string_view text, const Options& options) {
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

bool Parse(std::string_view text, Node& root, char quote, bool apostrophes) {
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
