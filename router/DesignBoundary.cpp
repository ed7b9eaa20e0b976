#include "router/DesignBoundary.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace Router {
namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Board units per design unit; 0 for a word that is no length unit.
double UnitScale(const std::string& unit) {
    const std::string u = Lower(unit);
    if (u == "inch")
        return 10000000.0;
    if (u == "mil")
        return 10000.0;
    if (u == "cm")
        return 100000.0 / 0.0254;
    if (u == "mm")
        return 10000.0 / 0.0254;
    if (u == "um")
        return 10.0 / 0.0254;
    return 0;
}

// The few tokens the boundary needs: "(", ")", words and quoted strings,
// with the quote character that the parser block sets.
class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    // False at the end of the text.
    bool Next(std::string& token, bool& quoted) {
        while (pos_ < text_.size() &&
               (std::isspace(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == ';'))
            ++pos_;
        if (pos_ >= text_.size())
            return false;
        quoted = false;
        const char c = text_[pos_];
        if (c == '(' || c == ')') {
            token.assign(1, c);
            ++pos_;
            return true;
        }
        if (afterStringQuote_) {
            afterStringQuote_ = false;
            quote_ = c;
            token.assign(1, c);
            ++pos_;
            return true;
        }
        if (c == quote_) {
            const std::size_t end = text_.find(quote_, pos_ + 1);
            const std::size_t stop = end == std::string::npos ? text_.size() : end;
            token = text_.substr(pos_ + 1, stop - pos_ - 1);
            pos_ = stop + 1;
            quoted = true;
            return true;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
               text_[pos_] != '(' && text_[pos_] != ')' && text_[pos_] != ';')
            ++pos_;
        token = text_.substr(start, pos_ - start);
        afterStringQuote_ = Lower(token) == "string_quote";
        return true;
    }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
    char quote_ = '\'';
    bool afterStringQuote_ = false;
};

struct BoundaryShape {
    bool signal = false;
    std::vector<Pt> points; // in design units
};

double Area(const std::vector<Pt>& polygon) {
    double twice = 0;
    for (std::size_t k = 0; k < polygon.size(); ++k) {
        const Pt& a = polygon[k];
        const Pt& b = polygon[(k + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

// The outline of one shape block "(KIND LAYER numbers...)" with its numbers.
std::vector<Pt> ShapePoints(const std::string& kind, const std::vector<double>& v) {
    std::vector<Pt> points;
    if (kind == "rect" && v.size() >= 4) {
        points = {{v[0], v[1]}, {v[2], v[1]}, {v[2], v[3]}, {v[0], v[3]}};
    } else if ((kind == "path" || kind == "polygon") && v.size() >= 7) {
        // The aperture width first, then the vertices.
        for (std::size_t i = 1; i + 1 < v.size(); i += 2)
            points.push_back({v[i], v[i + 1]});
        while (points.size() > 1 && std::fabs(points.front().x - points.back().x) < 1e-9 &&
               std::fabs(points.front().y - points.back().y) < 1e-9)
            points.pop_back();
    } else if (kind == "circle" && !v.empty() && v[0] > 0) {
        const double r = v[0] / 2, cx = v.size() >= 3 ? v[1] : 0, cy = v.size() >= 3 ? v[2] : 0;
        for (int k = 0; k < 36; ++k)
            points.push_back({cx + r * std::cos(k * M_PI / 18), cy + r * std::sin(k * M_PI / 18)});
    }
    return points.size() >= 3 && Area(points) > 0 ? points : std::vector<Pt>{};
}

} // namespace

std::vector<Pt> ReadDesignBoundary(const std::string& text, Pt origin) {
    Scanner scanner(text);
    std::vector<std::string> stack; // keywords of the open blocks
    bool afterOpen = false;
    std::string designUnit, resolutionUnit, structureUnit;
    std::vector<BoundaryShape> shapes;
    std::vector<std::string> words; // of the shape block being read
    std::string token;
    bool quoted = false;
    auto at = [&](std::size_t depth, const char* keyword) {
        return stack.size() > depth && stack[depth] == keyword;
    };
    while (scanner.Next(token, quoted)) {
        if (!quoted && token == "(") {
            afterOpen = true;
            continue;
        }
        if (!quoted && token == ")") {
            // The end of a shape block right inside a boundary.
            if (stack.size() == 4 && at(1, "structure") && at(2, "boundary") && words.size() >= 2) {
                std::vector<double> numbers;
                for (std::size_t i = 1; i < words.size(); ++i) {
                    char* end = nullptr;
                    const double value = std::strtod(words[i].c_str(), &end);
                    if (end != words[i].c_str() && *end == '\0')
                        numbers.push_back(value);
                }
                BoundaryShape shape;
                shape.signal = Lower(words[0]) == "signal";
                shape.points = ShapePoints(stack[3], numbers);
                if (!shape.points.empty() && (shape.signal || Lower(words[0]) == "pcb"))
                    shapes.push_back(std::move(shape));
            }
            words.clear();
            if (!stack.empty())
                stack.pop_back();
            afterOpen = false;
            continue;
        }
        if (afterOpen) {
            afterOpen = false;
            stack.push_back(Lower(token));
            words.clear();
            continue;
        }
        if (stack.size() == 2 && at(0, "pcb") && at(1, "unit"))
            designUnit = token;
        else if (stack.size() == 2 && at(0, "pcb") && at(1, "resolution") && resolutionUnit.empty())
            resolutionUnit = token;
        else if (stack.size() == 3 && at(1, "structure") && at(2, "unit"))
            structureUnit = token;
        else if (stack.size() == 4 && at(1, "structure") && at(2, "boundary"))
            words.push_back(token);
    }
    double scale = 0;
    for (const std::string* unit : {&structureUnit, &designUnit, &resolutionUnit})
        if (scale == 0 && !unit->empty())
            scale = UnitScale(*unit);
    if (scale == 0)
        scale = UnitScale("mil");
    // The routing boundary beats the board's; of several, the largest.
    const BoundaryShape* best = nullptr;
    for (const BoundaryShape& shape : shapes)
        if (best == nullptr || shape.signal > best->signal ||
            (shape.signal == best->signal && Area(shape.points) > Area(best->points)))
            best = &shape;
    std::vector<Pt> result;
    if (best != nullptr)
        for (const Pt& p : best->points)
            result.push_back(
                {origin.x + std::nearbyint(p.x * scale), origin.y + std::nearbyint(p.y * scale)});
    return result;
}

std::vector<Pt> ReadDesignBoundaryFile(const std::string& path, Pt origin) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    return ReadDesignBoundary(text.str(), origin);
}

} // namespace Router
