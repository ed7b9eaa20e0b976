#include "host/BoardSummary.h"

#include <cctype>
#include <map>
#include <ostream>

namespace Harrow {
namespace {

// The arrays of the engine's JSON dump and their sizes: those of the top
// level by their key ("LayerStack"), and those one object further down by both
// keys ("Objects/Track"). Only the structure is scanned: strings are skipped,
// values ignored.
class JsonOutline {
public:
    explicit JsonOutline(const std::string& text) : text_(text) {}

    std::map<std::string, long> ArrayCounts() {
        std::map<std::string, long> counts;
        Blank();
        if (Peek() == '{')
            CollectArrays(counts, "", 1);
        return counts;
    }

private:
    // At "{": records every array member, looking `depth` objects further in.
    void CollectArrays(std::map<std::string, long>& counts, const std::string& prefix, int depth) {
        Take('{');
        while (true) {
            Blank();
            if (Take('}') || Peek() != '"')
                return;
            std::string key = String();
            Blank();
            if (!Take(':'))
                return;
            Blank();
            if (Peek() == '[')
                counts[prefix + key] = ArrayCount();
            else if (Peek() == '{' && depth > 0)
                CollectArrays(counts, prefix + key + "/", depth - 1);
            else
                SkipValue();
            Blank();
            if (!Take(',')) {
                Take('}');
                return;
            }
        }
    }

    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool Take(char c) {
        if (Peek() != c)
            return false;
        ++pos_;
        return true;
    }
    void Blank() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }
    std::string String() {
        std::string value;
        ++pos_; // opening quote
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\\')
                ++pos_;
            if (pos_ < text_.size())
                value += text_[pos_++];
        }
        ++pos_;
        return value;
    }
    // Skips one value of any kind, nested ones included.
    void SkipValue() {
        int depth = 0;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '"') {
                String();
                if (depth == 0)
                    return;
                continue;
            }
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (depth == 0)
                    return;
                if (--depth == 0) {
                    ++pos_;
                    return;
                }
            } else if (c == ',' && depth == 0) {
                return;
            }
            ++pos_;
        }
    }
    long ArrayCount() {
        ++pos_; // [
        Blank();
        if (Take(']'))
            return 0;
        long count = 0;
        while (pos_ < text_.size()) {
            Blank();
            SkipValue();
            ++count;
            Blank();
            if (Take(']'))
                break;
            if (!Take(','))
                break;
        }
        return count;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

// The board objects the translator makes, by the engine's kind name; the
// summary always counts these, and any other kind the board holds after them.
struct SummaryKind {
    const char* kind;
    const char* label;
};
const SummaryKind kSummaryKinds[] = {
    {"Net", "nets"},
    {"Class", "classes"},
    {"FromTo", "from-tos"},
    {"Rule", "rules"},
    {"Component", "components"},
    {"Pad", "pads"},
    {"Track", "tracks"},
    {"Arc", "arcs"},
    {"Via", "vias"},
    {"Fill", "fills"},
    {"Region", "regions"},
    {"Polygon", "polygons"},
    {"Text", "texts"},
    {"Embedded", "embedded objects"},
};

} // namespace

void PrintBoardSummary(std::ostream& out, const std::string& boardPath, const std::string& json,
                       bool modified) {
    PrintBoardSummary(out, boardPath, JsonOutline(json).ArrayCounts(), modified);
}

void PrintBoardSummary(std::ostream& out, const std::string& boardPath,
                       std::map<std::string, long> counts, bool modified) {
    auto take = [&counts](const std::string& key) {
        auto it = counts.find(key);
        if (it == counts.end())
            return 0L;
        long count = it->second;
        counts.erase(it);
        return count;
    };
    out << "board: " << boardPath << "\n";
    out << "modified: " << (modified ? "yes" : "no") << "\n";
    out << "layers in stack: " << take("LayerStack") << "\n";
    out << "layer pairs: " << take("LayerPairs") << "\n";
    for (const SummaryKind& kind : kSummaryKinds)
        out << kind.label << ": " << take(std::string("Objects/") + kind.kind) << "\n";
    const std::string objects = "Objects/";
    for (const auto& [key, count] : counts)
        if (key.compare(0, objects.size(), objects) == 0)
            out << key.substr(objects.size()) << " objects: " << count << "\n";
}

} // namespace Harrow
