#include "digest/HomeText.h"

#include "digest/SexprScanner.h"

#include <algorithm>
#include <bitset>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace Digest {
namespace {

constexpr std::string_view kMagic = "harrow-home 1";

// A whole number (what the translator and the table write as coordinates).
bool ReadWhole(std::string_view text, long long& value) {
    double real = 0;
    if (!ReadReal(text, real) || real != std::floor(real) || std::fabs(real) > 1e17)
        return false;
    value = static_cast<long long>(real);
    return true;
}

// The keywords of the blocks whose words the rewriting mends, in any case;
// Other for every other block.
enum class Keyword : unsigned char {
    Other,
    Component,
    Placement,
    Place,
    Padstack,
    LibraryOut,
    Shape, // path, rect, circle, polygon, qarc, circ, poly: a layer comes first
    Net,
    Via,
    TestPoints,
    Parser,
};

Keyword KeywordOf(std::string_view word) {
    static constexpr std::pair<std::string_view, Keyword> kKeywords[] = {
        {"component", Keyword::Component},
        {"placement", Keyword::Placement},
        {"place", Keyword::Place},
        {"padstack", Keyword::Padstack},
        {"library_out", Keyword::LibraryOut},
        {"path", Keyword::Shape},
        {"rect", Keyword::Shape},
        {"circle", Keyword::Shape},
        {"polygon", Keyword::Shape},
        {"qarc", Keyword::Shape},
        {"circ", Keyword::Shape},
        {"poly", Keyword::Shape},
        {"net", Keyword::Net},
        {"via", Keyword::Via},
        {"test_points", Keyword::TestPoints},
        {"parser", Keyword::Parser},
    };
    for (const auto& [name, keyword] : kKeywords)
        if (SameTextAscii(word, name))
            return keyword;
    return Keyword::Other;
}

// The design's spellings of one kind of name, found by the translator's form.
class Speller {
public:
    void Build(const std::vector<DesignName>& names) {
        names_ = &names;
        for (std::size_t i = 0; i < names.size(); ++i)
            byUpper_[UpperAscii(names[i].spelling)].push_back(i);
    }

    // The design's spelling of `written`; `ambiguous` names the others when
    // several design names became this one.
    const std::string* Find(std::string_view written, std::string* ambiguous) const {
        auto found = byUpper_.find(UpperAscii(written));
        if (found == byUpper_.end())
            return nullptr;
        const std::vector<std::size_t>& candidates = found->second;
        for (std::size_t i : candidates)
            if ((*names_)[i].spelling == written)
                return &(*names_)[i].spelling;
        // Otherwise only a plain word: the translator keeps a quoted name's
        // case, so a name in other case is another one.
        const DesignName* chosen = nullptr;
        for (std::size_t i : candidates)
            if (!(*names_)[i].quoted && chosen == nullptr)
                chosen = &(*names_)[i];
        if (chosen == nullptr)
            return nullptr;
        if (ambiguous != nullptr) {
            ambiguous->clear();
            // Names spelled alike are one name, whichever block gave them.
            std::vector<const std::string*> listed{&chosen->spelling};
            for (std::size_t i : candidates) {
                const DesignName& other = (*names_)[i];
                if (other.quoted || std::any_of(listed.begin(), listed.end(),
                                                [&](auto* s) { return *s == other.spelling; }))
                    continue;
                listed.push_back(&other.spelling);
                *ambiguous += (ambiguous->empty() ? "" : ", ") + other.spelling;
            }
        }
        return &chosen->spelling;
    }

private:
    const std::vector<DesignName>* names_ = nullptr;
    std::unordered_map<std::string, std::vector<std::size_t>> byUpper_;
};

struct PairHash {
    std::size_t operator()(const std::pair<long long, long long>& p) const {
        return std::hash<long long>()(p.first * 1000003LL ^ p.second);
    }
};

class Rewriter {
public:
    Rewriter(std::string_view literal, const HomeTable& table) : literal_(literal), table_(table) {
        for (std::size_t k = 0; k < kNameKinds; ++k)
            spellers_[k].Build(table.names[k]);
        for (const DesignVia& via : table.vias)
            vias_.emplace(std::pair{via.x, via.y}, &via.padstack);
        newline_ = literal.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    }

    HomeText Run() {
        // First the characters of every name the file will hold, to choose a
        // quote character none of them holds; then the text.
        Pass(false);
        HomeText result;
        result.counts.quote = ChooseQuote();
        quote_ = result.counts.quote;
        counts_ = HomeCounts{};
        counts_.quote = quote_;
        notes_.clear();
        Pass(true);
        result.text = std::move(out_);
        result.counts = counts_;
        for (const auto& [note, unused] : notes_)
            result.notes.push_back(note);
        return result;
    }

private:
    struct Frame {
        Keyword keyword = Keyword::Other;
        int words = 0;
        bool children = false;
        std::size_t outStart = 0; // where the block's text (and the blanks before it) began
        bool back = false;        // a place block on the back side
    };

    char ChooseQuote() const {
        std::string candidates;
        if (table_.quote != 0)
            candidates += table_.quote;
        candidates += "\"'$|#!%&@^~`?";
        for (char c : candidates)
            if (!used_.test(static_cast<unsigned char>(c)) && !IsBlank(c) && c != '(' && c != ')')
                return c;
        return '"';
    }

    static bool NeedsQuotes(std::string_view name, char quote) {
        if (name.empty())
            return true;
        // A name that starts as a number does ("-12V", "3V3"), for readers
        // that take it for one.
        const char first = name.front();
        if ((first >= '0' && first <= '9') || first == '-' || first == '+' || first == '.')
            return true;
        // Blanks and parentheses split a name; a control character or a byte
        // above 127 is quoted too, for readers that take it for a blank.
        for (char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte <= ' ' || byte >= 127 || c == '(' || c == ')' || c == quote)
                return true;
        }
        return false;
    }

    // A name as the file writes it.
    void Name(std::string_view name, bool emit) {
        if (!emit) {
            for (char c : name)
                used_.set(static_cast<unsigned char>(c));
            return;
        }
        if (NeedsQuotes(name, quote_)) {
            ++counts_.quoted;
            out_ += quote_;
            out_.append(name);
            out_ += quote_;
        } else {
            out_.append(name);
        }
    }

    // A via's first word that is its x, not a padstack: a whole number no
    // padstack of the design is named.
    bool ViaWithoutPadstack(const Token& token) const {
        long long x = 0;
        return !token.quoted && ReadWhole(token.text, x) &&
               spellers_[static_cast<std::size_t>(NameKind::Padstack)].Find(token.text, nullptr) ==
                   nullptr;
    }

    // The design's spelling of a name the translator wrote.
    std::string_view Spelled(NameKind kind, const Token& token) {
        std::string ambiguous;
        const std::string* spelled =
            spellers_[static_cast<std::size_t>(kind)].Find(token.text, &ambiguous);
        if (spelled == nullptr)
            return token.text;
        if (!ambiguous.empty())
            notes_.emplace(std::string(NameKindNoun(kind)) + " " + *spelled + " stands for " +
                               ambiguous + " of the design too (one " + NameKindNoun(kind) +
                               " on the board)",
                           0);
        if (*spelled != token.text)
            ++counts_.respelled;
        return *spelled;
    }

    // One pass over the text's tokens, copying the blanks between them and
    // mending names and vias on the way; the cases share the pass's stack,
    // its place in the text and the via being read, so they stay in one loop.
    void Pass(bool emit) {
        Scanner scanner(literal_, Scanner::Options{'\'', false, true, false});
        std::vector<Frame> stack;
        std::size_t copied = 0;
        std::size_t viaNameAt = 0, viaNameLength = 0;
        std::string viaName;
        long long viaX = 0;
        bool afterOpen = false;
        std::size_t openStart = 0;
        out_.clear();
        if (emit)
            out_.reserve(literal_.size() + literal_.size() / 16 + 256);
        Token token;
        auto blanks = [&](const Token& t) {
            if (emit)
                out_.append(literal_.substr(copied, t.offset - copied));
            copied = t.end;
        };
        while (scanner.Next(token)) {
            if (token.kind == Token::Open) {
                openStart = out_.size();
                blanks(token);
                if (emit)
                    out_ += '(';
                if (!stack.empty())
                    stack.back().children = true;
                afterOpen = true;
                continue;
            }
            if (token.kind == Token::Close) {
                if (afterOpen) {
                    afterOpen = false;
                    blanks(token);
                    if (emit)
                        out_ += ')';
                    continue;
                }
                if (!stack.empty() && stack.back().keyword == Keyword::TestPoints &&
                    !stack.back().children && stack.back().words == 0) {
                    // A reader that knows no test points refuses even an
                    // empty block of them.
                    counts_.droppedTestPoints = true;
                    if (emit)
                        out_.resize(stack.back().outStart);
                    copied = token.end;
                    stack.pop_back();
                    continue;
                }
                blanks(token);
                if (emit)
                    out_ += ')';
                if (!stack.empty())
                    stack.pop_back();
                continue;
            }
            if (afterOpen) {
                afterOpen = false;
                blanks(token);
                if (emit)
                    out_.append(token.text);
                const Keyword keyword = KeywordOf(token.text);
                stack.push_back({keyword, 0, false, openStart, false});
                if (keyword == Keyword::Parser && emit) {
                    // After the blanks that end the keyword's line.
                    while (copied < literal_.size() && literal_[copied] == ' ')
                        out_ += literal_[copied++];
                    DeclareQuote(openStart);
                }
                continue;
            }
            blanks(token);
            if (stack.empty()) {
                Name(token.text, emit);
                continue;
            }
            Frame& frame = stack.back();
            const int index = ++frame.words;
            const Keyword parent =
                stack.size() >= 2 ? stack[stack.size() - 2].keyword : Keyword::Other;
            if (frame.keyword == Keyword::Component && parent == Keyword::Placement && index == 1) {
                Name(Spelled(NameKind::Image, token), emit);
            } else if (frame.keyword == Keyword::Place && index == 1) {
                Name(Spelled(NameKind::Component, token), emit);
            } else if (frame.keyword == Keyword::Place && index == 4) {
                frame.back = SameTextAscii(token.text, "back");
                Raw(token, emit);
            } else if (frame.keyword == Keyword::Place && index == 5 && frame.back) {
                Rotation(token, emit);
            } else if (frame.keyword == Keyword::Padstack && parent == Keyword::LibraryOut &&
                       index == 1) {
                Name(Spelled(NameKind::Padstack, token), emit);
            } else if (frame.keyword == Keyword::Shape && index == 1) {
                Name(Spelled(NameKind::Layer, token), emit);
            } else if (frame.keyword == Keyword::Net && index == 1) {
                Name(Spelled(NameKind::Net, token), emit);
            } else if (frame.keyword == Keyword::Via && parent == Keyword::Net && index == 1 &&
                       !ViaWithoutPadstack(token)) {
                viaName = std::string(Spelled(NameKind::Padstack, token));
                viaNameAt = out_.size();
                Name(viaName, emit);
                viaNameLength = out_.size() - viaNameAt;
            } else if (frame.keyword == Keyword::Via && parent == Keyword::Net && index <= 2) {
                // A via the translator found no padstack for starts with its
                // position: the name goes in before it.
                if (index == 1) {
                    frame.words = 2;
                    viaName.clear();
                    viaNameAt = out_.size();
                    viaNameLength = 0;
                }
                if (!ReadWhole(token.text, viaX))
                    viaX = LLONG_MIN;
                Raw(token, emit);
            } else if (frame.keyword == Keyword::Via && parent == Keyword::Net && index == 3) {
                long long viaY = 0;
                if (viaX != LLONG_MIN && ReadWhole(token.text, viaY)) {
                    if (const std::string* own = ViaPadstack(viaX, viaY); own && *own != viaName) {
                        ++counts_.viasRenamed;
                        if (emit) {
                            std::string tail = out_.substr(viaNameAt + viaNameLength);
                            out_.resize(viaNameAt);
                            Name(*own, emit);
                            if (viaNameLength == 0)
                                out_ += ' ';
                            out_ += tail;
                        } else {
                            Name(*own, emit);
                        }
                    }
                }
                Raw(token, emit);
            } else if (token.quoted) {
                Name(token.text, emit);
            } else {
                Raw(token, emit);
            }
        }
        if (emit)
            out_.append(literal_.substr(copied));
    }

    void Raw(const Token& token, bool emit) {
        if (emit)
            out_.append(literal_.substr(token.offset, token.end - token.offset));
    }

    // The translator writes a back-side part's rotation less 180 degrees; the
    // design's writer means the rotation it gave the part.
    void Rotation(const Token& token, bool emit) {
        double angle = 0;
        if (!ReadReal(token.text, angle)) {
            Raw(token, emit);
            return;
        }
        angle = std::fmod(angle + 180.0, 360.0);
        if (angle < 0)
            angle += 360.0;
        if (angle == 0)
            angle = 0; // no "-0"
        ++counts_.turned;
        if (emit) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.15g", angle);
            out_ += buffer;
        }
    }

    // The line that declares the quote character, right after "(parser".
    void DeclareQuote(std::size_t blockStart) {
        std::size_t lineStart = out_.rfind('\n', blockStart);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        std::size_t indent = 0;
        while (lineStart + indent < out_.size() && out_[lineStart + indent] == ' ')
            ++indent;
        const std::string inner(indent + 2, ' ');
        out_ += newline_ + inner + "(string_quote " + quote_ + ")";
        out_ += newline_ + inner + "(space_in_quoted_tokens on)";
        // The design's writer, as its own header names it. Readers that take
        // every double quote for a string's start, whatever the file declares,
        // read the declaration above as a string up to this line's quote and
        // still find the blocks balanced, as in the CAD system's own files.
        out_ += newline_ + inner + "(host_cad " + quote_ + HostCad() + quote_ + ")";
    }

    // The design's host_cad when it is words a reader cannot misread, else
    // this program's name.
    std::string HostCad() const {
        const std::string& named = table_.hostCad;
        bool plain = !named.empty() && named.back() != ' ' && named.front() != ' ';
        for (char c : named) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < ' ' || byte >= 127 || c == '(' || c == ')' || c == '"' || c == quote_ ||
                c == '\\')
                plain = false;
        }
        return plain ? named : std::string("DsnLink harrow");
    }

    const std::string* ViaPadstack(long long x, long long y) const {
        // Positions come back through the board's units: a step or two off.
        for (long long dx = 0; dx <= 2; ++dx)
            for (long long sx : {1LL, -1LL})
                for (long long dy = 0; dy <= 2; ++dy)
                    for (long long sy : {1LL, -1LL}) {
                        auto found = vias_.find({x + sx * dx, y + sy * dy});
                        if (found != vias_.end())
                            return found->second;
                    }
        return nullptr;
    }

    std::string_view literal_;
    const HomeTable& table_;
    std::array<Speller, kNameKinds> spellers_;
    std::unordered_map<std::pair<long long, long long>, const std::string*, PairHash> vias_;
    std::string newline_;
    std::bitset<256> used_;
    char quote_ = '"';
    std::string out_;
    HomeCounts counts_;
    std::map<std::string, int> notes_;
};

} // namespace

HomeTable::HomeTable(const DesignDigest& digest)
    : quote(digest.quote), hostCad(digest.hostCad), vias(digest.vias) {
    for (std::size_t k = 0; k < kNameKinds; ++k)
        names[k] = digest.Names(static_cast<NameKind>(k));
}

void HomeTable::Add(const HomeTable& other) {
    for (std::size_t k = 0; k < kNameKinds; ++k) {
        std::unordered_map<std::string, bool> have;
        for (const DesignName& name : names[k])
            have.emplace((name.quoted ? "q" : "p") + name.spelling, true);
        for (const DesignName& name : other.names[k])
            if (have.emplace((name.quoted ? "q" : "p") + name.spelling, true).second)
                names[k].push_back(name);
    }
    std::unordered_map<std::string, bool> haveVia;
    for (const DesignVia& via : vias)
        haveVia.emplace(ViaLine(via), true);
    for (const DesignVia& via : other.vias)
        if (haveVia.emplace(ViaLine(via), true).second)
            vias.push_back(via);
    if (quote == 0)
        quote = other.quote;
    if (hostCad.empty())
        hostCad = other.hostCad;
}

std::string HomeTable::Serialize() const {
    std::string out(kMagic);
    out += "\nquote " + std::to_string(static_cast<unsigned char>(quote)) + "\n";
    if (!hostCad.empty())
        out += "host " + EscapeName(hostCad) + "\n";
    for (std::size_t k = 0; k < kNameKinds; ++k)
        for (const DesignName& name : names[k])
            AppendNameLine(out, static_cast<NameKind>(k), name.spelling, name.quoted);
    for (const DesignVia& via : vias)
        out += ViaLine(via);
    return out;
}

std::string HomeTable::ViaLine(const DesignVia& via) {
    return "V " + EscapeName(via.padstack) + " " + std::to_string(via.x) + " " +
           std::to_string(via.y) + "\n";
}

std::optional<HomeTable> HomeTable::Parse(std::string_view text) {
    HomeTable table;
    bool magic = false, sound = true;
    ForEachLine(text, [&](std::string_view line) {
        if (line == kMagic) {
            magic = true;
            return;
        }
        std::vector<std::string_view> fields;
        for (std::size_t from = 0; from <= line.size();) {
            std::size_t blank = line.find(' ', from);
            if (blank == std::string_view::npos)
                blank = line.size();
            fields.push_back(line.substr(from, blank - from));
            from = blank + 1;
        }
        std::string value;
        DesignName name;
        long long x = 0, y = 0;
        if (fields.size() == 2 && fields[0] == "quote" && ReadWhole(fields[1], x) && x >= 0 &&
            x < 256)
            table.quote = static_cast<char>(x);
        else if (fields.size() == 2 && fields[0] == "host" && UnescapeName(fields[1], value))
            table.hostCad = value;
        else if (NameKind kind{}; ParseNameLine(line, kind, name))
            table.names[static_cast<std::size_t>(kind)].push_back(std::move(name));
        else if (fields.size() == 4 && fields[0] == "V" && UnescapeName(fields[1], value) &&
                 ReadWhole(fields[2], x) && ReadWhole(fields[3], y))
            table.vias.push_back({value, x, y});
        else
            sound = false;
    });
    // The magic line heads every table this code writes.
    if (!magic || !sound)
        return std::nullopt;
    return table;
}

std::string PruneTableText(std::string_view tableText) {
    std::string out;
    ForEachLine(tableText, [&](std::string_view line) {
        NameKind kind{};
        DesignName name;
        if (!ParseNameLine(line, kind, name) ||
            std::any_of(name.spelling.begin(), name.spelling.end(),
                        [](char c) { return c >= 'a' && c <= 'z'; }))
            out.append(line).append("\n");
    });
    return out;
}

std::vector<std::string> HomeTable::CaseMerges() const {
    return CaseMergesIn(Serialize());
}

namespace {

// A name line's kind, and its name as the escaped text holds it, without
// unescaping: false for a line that is not a well-formed name line.
bool NameLineFields(std::string_view line, NameKind& kind, bool& quoted, std::string_view& text) {
    if (line.size() < 5 || line[0] != 'N' || line[1] < '0' ||
        line[1] >= static_cast<char>('0' + kNameKinds) || line[2] != ' ' ||
        (line[3] != 'q' && line[3] != 'p') || line[4] != ' ')
        return false;
    text = line.substr(5);
    if (text.find(' ') != std::string_view::npos)
        return false;
    // Every escape is a backslash and one of a few letters.
    for (std::size_t at = text.find('\\'); at != std::string_view::npos;
         at = text.find('\\', at + 2))
        if (at + 1 >= text.size() ||
            std::string_view("\\snrt0").find(text[at + 1]) == std::string_view::npos)
            return false;
    kind = static_cast<NameKind>(line[1] - '0');
    quoted = line[3] == 'q';
    return true;
}

// The board's name of an escaped name, still escaped, with the letters of
// its escapes in upper case: a plain word in upper case, a quoted one as it
// is. Two names give the same key exactly when the board holds them as one.
void BoardKey(char kind, bool quoted, std::string_view text, std::string& key) {
    key.assign(1, kind);
    key.append(text);
    for (std::size_t i = 1; i < key.size(); ++i) {
        const bool escape = key[i] == '\\';
        if (escape)
            ++i;
        if ((!quoted || escape) && key[i] >= 'a' && key[i] <= 'z')
            key[i] = static_cast<char>(key[i] - 'a' + 'A');
    }
}

} // namespace

std::vector<std::string> CaseMergesIn(std::string_view tableText) {
    // Two spellings are one board name when their keys agree. A spelling
    // that is its own key (a plain word in upper case, a quoted name with no
    // escape in lower case) can share it only with one that is not, so a
    // first pass keeps the keys of the names that are not their own key (in
    // most designs few or none), as hashes: a design may hold millions of
    // names. A second pass keeps the names of those keys, as hashes, and a
    // third collects the spellings of the few board names that several
    // spellings share. Nothing is unescaped: the escaped text stands for its
    // name one to one.
    const std::hash<std::string_view> hash;
    std::string key;
    auto each = [&](auto&& visit) {
        ForEachLine(tableText, [&](std::string_view line) {
            NameKind kind{};
            bool quoted = false;
            std::string_view text;
            if (!NameLineFields(line, kind, quoted, text))
                return;
            BoardKey(static_cast<char>('0' + static_cast<int>(kind)), quoted, text, key);
            visit(line, text);
        });
    };
    std::vector<std::size_t> respelled; // keys of names that are not their own key
    each([&](std::string_view, std::string_view text) {
        if (std::string_view(key).substr(1) != text)
            respelled.push_back(hash(key));
    });
    if (respelled.empty())
        return {};
    std::sort(respelled.begin(), respelled.end());
    respelled.erase(std::unique(respelled.begin(), respelled.end()), respelled.end());
    std::vector<std::pair<std::size_t, std::size_t>> seen; // (board name, spelling)
    each([&](std::string_view, std::string_view text) {
        if (const std::size_t board = hash(key);
            std::binary_search(respelled.begin(), respelled.end(), board))
            seen.emplace_back(board, hash(text));
    });
    respelled = {};
    std::sort(seen.begin(), seen.end());
    std::unordered_map<std::size_t, bool> shared;
    for (std::size_t i = 1; i < seen.size(); ++i)
        if (seen[i].first == seen[i - 1].first && seen[i].second != seen[i - 1].second)
            shared.emplace(seen[i].first, true);
    seen = {};
    std::map<std::pair<NameKind, std::string>, std::vector<std::string>> spellings;
    if (!shared.empty())
        each([&](std::string_view line, std::string_view) {
            NameKind kind{};
            DesignName name;
            if (!shared.count(hash(key)) || !ParseNameLine(line, kind, name))
                return;
            const std::string boardName = name.quoted ? name.spelling : UpperAscii(name.spelling);
            std::vector<std::string>& list = spellings[{kind, boardName}];
            if (std::find(list.begin(), list.end(), name.spelling) == list.end())
                list.push_back(name.spelling);
        });
    std::vector<std::string> lines;
    for (const auto& [key, list] : spellings) {
        if (list.size() < 2)
            continue;
        const std::string noun = NameKindNoun(key.first);
        std::string line = noun + "s ";
        for (std::size_t i = 0; i < list.size(); ++i)
            line += (i == 0 ? "" : i + 1 == list.size() ? " and " : ", ") + list[i];
        lines.push_back(line + " differ only in case and are one " + noun + " " + key.second +
                        " on the board");
    }
    return lines;
}

HomeText WriteHomeText(std::string_view literal, const HomeTable& table) {
    return Rewriter(literal, table).Run();
}

std::string DescribeHomeCounts(const HomeCounts& counts) {
    std::string line = std::to_string(counts.respelled) + " names spelled as in the design, " +
                       std::to_string(counts.quoted) + " quoted with " + counts.quote;
    if (counts.turned > 0)
        line += ", " + std::to_string(counts.turned) + " back-side parts at the design's rotation";
    if (counts.viasRenamed > 0)
        line += ", " + std::to_string(counts.viasRenamed) + " vias under their own padstack";
    if (counts.droppedTestPoints)
        line += ", the empty test_points block left out";
    return line;
}

} // namespace Digest
