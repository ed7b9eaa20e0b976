#include "digest/DesignDigest.h"

#include "digest/SexprScanner.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <unordered_set>

namespace Digest {
namespace {

// Millimetres per length unit; 0 for a word that is no unit.
double MillimetresPer(std::string_view unit) {
    if (SameTextAscii(unit, "inch"))
        return 25.4;
    if (SameTextAscii(unit, "mil"))
        return 0.0254;
    if (SameTextAscii(unit, "cm"))
        return 10.0;
    if (SameTextAscii(unit, "mm"))
        return 1.0;
    if (SameTextAscii(unit, "um"))
        return 0.001;
    return 0;
}

// The blocks whose words the digest takes.
enum class Place : unsigned char {
    Other,
    Quote,
    SpaceInQuoted,
    HostCad,
    DesignUnit,
    Resolution,
    StructureUnit,
    Named, // its first word is a name of the block's kind
    StructureVia,
    Boundary,
    WiringUnit,
    WiringResolution,
    WiringVia,
    ClearanceType,
};

// The open blocks: keyword (lower case), how many words stood in each, and
// what its words are (worked out once, as it opens).
struct Block {
    std::string keyword;
    int words = 0;
    Place place = Place::Other;
    NameKind named = NameKind::Layer; // of a Named block
};

class Reader {
public:
    Reader(std::string_view text, bool names)
        : scanner_(text, Scanner::Options{'\'', true, false, true}), names_(names) {}

    DesignDigest Read(std::size_t textSize) {
        // Room for every name at once: a text that grows by doubling would
        // give back blocks the allocator then keeps for itself.
        if (names_)
            out_.nameLines.reserve(textSize / 2 + 4096);
        Token token;
        bool afterOpen = false;
        while (scanner_.Next(token)) {
            if (token.kind == Token::Open) {
                afterOpen = true;
                continue;
            }
            if (token.kind == Token::Close) {
                if (afterOpen) // "()": an empty block
                    afterOpen = false;
                else if (!stack_.empty())
                    CloseBlock();
                continue;
            }
            if (afterOpen) {
                afterOpen = false;
                stack_.push_back({Lower(token.text), 0});
                std::tie(stack_.back().place, stack_.back().named) = PlaceOfTop();
                if (stack_.back().place == Place::WiringVia)
                    numbers_.clear();
                if (stack_.back().place == Place::Boundary) {
                    shape_ = BoundaryShape{stack_.back().keyword, {}, {}};
                }
                continue;
            }
            Word(token);
        }
        Finish();
        return std::move(out_);
    }

private:
    // True when the open blocks are exactly `path` ("*" matches any keyword).
    bool At(std::initializer_list<std::string_view> path) const {
        if (stack_.size() != path.size())
            return false;
        std::size_t i = 0;
        for (const std::string_view keyword : path) {
            if (keyword != "*" && stack_[i].keyword != keyword)
                return false;
            ++i;
        }
        return true;
    }

    void AddName(NameKind kind, const Token& token) {
        if (names_)
            AppendNameLine(out_.nameLines, kind, token.text, token.quoted);
    }

    // What the words of the innermost block are, and the kind of the name
    // a Named block's first word is.
    std::pair<Place, NameKind> PlaceOfTop() const {
        const std::size_t depth = stack_.size();
        if (depth == 2)
            return {At({"pcb", "unit"})         ? Place::DesignUnit
                    : At({"pcb", "resolution"}) ? Place::Resolution
                                                : Place::Other,
                    NameKind::Layer};
        if (depth == 3 && stack_[0].keyword == "pcb") {
            struct Path {
                std::string_view block;
                std::string_view keyword;
                Place place;
                NameKind named = NameKind::Layer;
            };
            static constexpr Path kPaths[] = {
                {"parser", "string_quote", Place::Quote},
                {"parser", "space_in_quoted_tokens", Place::SpaceInQuoted},
                {"parser", "host_cad", Place::HostCad},
                {"structure", "unit", Place::StructureUnit},
                {"structure", "layer", Place::Named, NameKind::Layer},
                {"structure", "via", Place::StructureVia},
                {"structure", "plane", Place::Named, NameKind::Net},
                {"library", "image", Place::Named, NameKind::Image},
                {"library", "padstack", Place::Named, NameKind::Padstack},
                {"placement", "component", Place::Named, NameKind::Image},
                {"network", "net", Place::Named, NameKind::Net},
                {"wiring", "unit", Place::WiringUnit},
                {"wiring", "resolution", Place::WiringResolution},
                {"wiring", "via", Place::WiringVia},
            };
            for (const Path& path : kPaths)
                if (stack_[1].keyword == path.block && stack_[2].keyword == path.keyword)
                    return {path.place, path.named};
        }
        if (depth == 4) {
            if (At({"pcb", "structure", "via", "spare"}))
                return {Place::StructureVia, NameKind::Layer};
            if (At({"pcb", "structure", "boundary", "*"}))
                return {Place::Boundary, NameKind::Layer};
            if (At({"pcb", "placement", "component", "place"}))
                return {Place::Named, NameKind::Component};
        }
        if (depth >= 2 && stack_.back().keyword == "type" &&
            stack_[depth - 2].keyword == "clearance")
            return {Place::ClearanceType, NameKind::Layer};
        return {Place::Other, NameKind::Layer};
    }

    // Where the first word of a block of that place is kept, if it is kept
    // as it stands.
    std::string* FirstWordKept(Place place) {
        switch (place) {
        case Place::HostCad:
            return &out_.hostCad;
        case Place::DesignUnit:
            return &designUnit_;
        case Place::Resolution:
            return &resolutionUnit_;
        case Place::StructureUnit:
            return &structureUnit_;
        case Place::Boundary:
            return &shape_.layer;
        case Place::WiringUnit:
            return &wiringUnit_;
        case Place::WiringResolution:
            return &wiringResolutionUnit_;
        case Place::WiringVia:
            return &viaPadstack_;
        default:
            return nullptr;
        }
    }

    void Word(const Token& token) {
        if (stack_.empty())
            return;
        const int index = ++stack_.back().words; // 1 for the first word of the block
        const Place place = stack_.back().place;
        if (index == 1) {
            if (std::string* kept = FirstWordKept(place)) {
                *kept = std::string(token.text);
                return;
            }
            if (place == Place::Named) {
                AddName(stack_.back().named, token);
                return;
            }
        }
        double value = 0;
        switch (place) {
        case Place::Quote:
            if (index == 1)
                out_.quote = token.text.empty() ? 0 : token.text.front();
            break;
        case Place::SpaceInQuoted:
            if (index == 1)
                out_.spaceInQuoted = SameTextAscii(token.text, "on");
            break;
        case Place::StructureVia:
            AddName(NameKind::Padstack, token);
            break;
        case Place::Boundary:
            if (ReadReal(token.text, value))
                shape_.numbers.push_back(value);
            break;
        case Place::WiringResolution:
            if (index == 2 && ReadReal(token.text, value) && value > 0)
                wiringResolution_ = value;
            break;
        case Place::WiringVia:
            if (index <= 3 && ReadReal(token.text, value))
                numbers_.push_back(value);
            break;
        case Place::ClearanceType:
            if (!token.quoted) {
                const std::string_view replacement = ForeignClearanceType(token.text);
                if (!replacement.empty())
                    out_.foreignWords.push_back({token.offset, token.text.size(), token.line,
                                                 std::string(token.text),
                                                 std::string(replacement)});
            }
            break;
        default:
            break;
        }
    }

    void CloseBlock() {
        const Place place = stack_.back().place;
        if (place == Place::Boundary)
            out_.boundary.push_back(std::move(shape_));
        if (place == Place::WiringVia && numbers_.size() == 2 && !viaPadstack_.empty())
            wiringVias_.push_back({viaPadstack_, numbers_[0], numbers_[1]});
        if (place == Place::WiringVia)
            viaPadstack_.clear();
        stack_.pop_back();
    }

    void Finish() {
        // The boundary's lengths: the structure's unit, else the design's,
        // else its resolution's, else mil.
        double mm = 0;
        for (const std::string* unit : {&structureUnit_, &designUnit_, &resolutionUnit_})
            if (mm == 0 && !unit->empty())
                mm = MillimetresPer(*unit);
        if (mm == 0)
            mm = MillimetresPer("mil");
        out_.boardUnitsPerUnit = mm / 0.0254 * 10000.0;
        // The wiring's: its own unit, else the design's; a resolution of its
        // own counts its numbers in steps of that resolution.
        double wiringMm = 0;
        for (const std::string* unit : {&wiringUnit_, &designUnit_, &resolutionUnit_})
            if (wiringMm == 0 && !unit->empty())
                wiringMm = MillimetresPer(*unit);
        if (wiringResolution_ > 0 && MillimetresPer(wiringResolutionUnit_) > 0)
            wiringMm = MillimetresPer(wiringResolutionUnit_) / wiringResolution_;
        if (wiringMm == 0)
            wiringMm = MillimetresPer("mil");
        for (const auto& [padstack, x, y] : wiringVias_)
            out_.vias.push_back({padstack, std::llround(x * wiringMm * 100000.0),
                                 std::llround(y * wiringMm * 100000.0)});
    }

    struct PendingVia {
        std::string padstack;
        double x, y;
    };

    Scanner scanner_;
    DesignDigest out_;
    std::vector<Block> stack_;
    bool names_;
    std::string designUnit_, resolutionUnit_, structureUnit_, wiringUnit_, wiringResolutionUnit_;
    double wiringResolution_ = 0;
    BoundaryShape shape_;
    std::string viaPadstack_;
    std::vector<double> numbers_;
    std::vector<PendingVia> wiringVias_;
};

} // namespace

const char* NameKindNoun(NameKind kind) {
    switch (kind) {
    case NameKind::Layer:
        return "layer";
    case NameKind::Net:
        return "net";
    case NameKind::Padstack:
        return "padstack";
    case NameKind::Image:
        return "footprint";
    case NameKind::Component:
        return "component";
    }
    return "name";
}

DesignDigest ReadDesignDigest(std::string_view text, bool names) {
    return Reader(text, names).Read(text.size());
}

std::vector<DesignName> DesignDigest::Names(NameKind kind) const {
    std::vector<DesignName> found;
    std::unordered_set<std::string> seen;
    ForEachLine(nameLines, [&](std::string_view line) {
        NameKind lineKind{};
        DesignName name;
        if (ParseNameLine(line, lineKind, name) && lineKind == kind &&
            seen.insert((name.quoted ? "q" : "p") + name.spelling).second)
            found.push_back(std::move(name));
    });
    return found;
}

namespace {

// Appends the text with its backslashes, blanks, line breaks and NULs
// escaped; most names hold none and go in one piece.
void AppendEscaped(std::string& out, std::string_view text) {
    const auto escaped = [](char c) {
        return c == '\\' || c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\0';
    };
    if (std::none_of(text.begin(), text.end(), escaped)) {
        out.append(text);
        return;
    }
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case ' ':
            out += "\\s";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

std::string EscapeName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

bool UnescapeName(std::string_view text, std::string& out) {
    if (text.find('\\') == std::string_view::npos) {
        out.assign(text);
        return true;
    }
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        default:
            return false;
        }
    }
    return true;
}

void AppendNameLine(std::string& out, NameKind kind, std::string_view spelling, bool quoted) {
    out += 'N';
    out += static_cast<char>('0' + static_cast<int>(kind));
    out += quoted ? " q " : " p ";
    AppendEscaped(out, spelling);
    out += '\n';
}

bool ParseNameLine(std::string_view line, NameKind& kind, DesignName& name) {
    if (line.size() < 5 || line[0] != 'N' || line[1] < '0' ||
        line[1] >= static_cast<char>('0' + kNameKinds) || line[2] != ' ' ||
        (line[3] != 'q' && line[3] != 'p') || line[4] != ' ' ||
        line.find(' ', 5) != std::string_view::npos)
        return false;
    kind = static_cast<NameKind>(line[1] - '0');
    name.quoted = line[3] == 'q';
    return UnescapeName(line.substr(5), name.spelling);
}

namespace {
struct ForeignType {
    std::string_view word, replacement;
};
const ForeignType kForeignClearanceTypes[] = {
    // KiCad's clearance of its SMD pads to every other object.
    {"default_smd", "smd_pin smd_via smd_wire smd_area"},
};
} // namespace

std::string_view ForeignClearanceType(std::string_view word) {
    for (const ForeignType& type : kForeignClearanceTypes)
        if (SameTextAscii(word, type.word))
            return type.replacement;
    return {};
}

bool MayHoldForeignWords(std::string_view text) {
    for (const ForeignType& type : kForeignClearanceTypes) {
        const std::string_view word = type.word;
        // Looked for where its first character without case stands (the
        // underscore of default_smd), which memchr finds fast; a word of
        // letters alone is taken to be there.
        const std::size_t anchor =
            word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
        if (anchor == std::string_view::npos)
            return true;
        for (std::size_t at = anchor; at < text.size();) {
            const void* found = std::memchr(text.data() + at, word[anchor], text.size() - at);
            if (found == nullptr)
                break;
            const auto hit =
                static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
            if (SameTextAscii(text.substr(hit - anchor, word.size()), word))
                return true;
            at = hit + 1;
        }
    }
    return false;
}

std::string ReplaceForeignWords(std::string_view text, const std::vector<ForeignWord>& words) {
    std::string out;
    out.reserve(text.size() + words.size() * 32);
    std::size_t at = 0;
    for (const ForeignWord& word : words) {
        if (word.offset < at || word.offset + word.length > text.size())
            continue;
        out.append(text.substr(at, word.offset - at));
        out.append(word.replacement);
        at = word.offset + word.length;
    }
    out.append(text.substr(at));
    return out;
}

} // namespace Digest
