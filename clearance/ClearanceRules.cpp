#include "clearance/ClearanceRules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace clearance {

// ------------------------------------------------------------------ scopes
// A rule's scope is a query: All, IsPad, IsSMTPin, IsVia, IsTrack, IsArc,
// IsFill, IsRegion, IsKeepout, InPolygon, TestPointTop, TestPointBottom,
// HoleSize compared with a number, InNet('..'), InNetClass('..'),
// OnLayer('..'), joined by And, Or, Not and parentheses. A term the resolver
// does not know matches nothing.

namespace {

constexpr int32_t kArc = 1, kPad = 2, kVia = 3, kTrack = 4, kFill = 6, kRegion = 11;

enum Term : uint8_t {
    kAll,
    kNothing,
    kAnd,
    kOr,
    kNot,
    kIsPad,
    kIsSmd,
    kIsVia,
    kIsTrack,
    kIsArc,
    kIsFill,
    kIsRegion,
    kIsKeepout,
    kInPolygon,
    kTestPointTop,
    kTestPointBottom,
    kHoleSize,
    kInNet,
    kInNetClass,
    kOnLayer,
};

struct QueryNode {
    Term term = kAll;
    std::string name; // InNet, InNetClass, OnLayer: upper case
    char compare = '>';
    double number = 0;
    std::vector<QueryNode> parts;
};

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class QueryReader {
public:
    explicit QueryReader(const std::string& text) : t_(text) {}
    QueryNode Read(bool& ok) {
        QueryNode q = Or();
        Space();
        ok = ok_ && pos_ == t_.size();
        return q;
    }

private:
    const std::string& t_;
    size_t pos_ = 0;
    bool ok_ = true;

    void Space() {
        while (pos_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[pos_])))
            ++pos_;
    }
    std::string Word() {
        Space();
        size_t start = pos_;
        while (pos_ < t_.size() && (std::isalnum(static_cast<unsigned char>(t_[pos_])) ||
                                    t_[pos_] == '_' || t_[pos_] == '.'))
            ++pos_;
        return t_.substr(start, pos_ - start);
    }
    bool Keyword(const char* word) {
        Space();
        const size_t n = std::strlen(word);
        if (t_.size() - pos_ >= n && Upper(t_.substr(pos_, n)) == word &&
            (pos_ + n == t_.size() || !std::isalnum(static_cast<unsigned char>(t_[pos_ + n])))) {
            pos_ += n;
            return true;
        }
        return false;
    }
    bool Char(char c) {
        Space();
        if (pos_ < t_.size() && t_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    QueryNode Join(Term term, QueryNode a, QueryNode b) {
        QueryNode q;
        q.term = term;
        q.parts.push_back(std::move(a));
        q.parts.push_back(std::move(b));
        return q;
    }
    QueryNode Or() {
        QueryNode q = And();
        while (ok_ && Keyword("OR"))
            q = Join(kOr, std::move(q), And());
        return q;
    }
    QueryNode And() {
        QueryNode q = Unary();
        while (ok_ && Keyword("AND"))
            q = Join(kAnd, std::move(q), Unary());
        return q;
    }
    QueryNode Unary() {
        if (Keyword("NOT")) {
            QueryNode q;
            q.term = kNot;
            q.parts.push_back(Unary());
            return q;
        }
        if (Char('(')) {
            QueryNode q = Or();
            if (!Char(')'))
                ok_ = false;
            return q;
        }
        return Atom();
    }
    QueryNode Atom() {
        QueryNode q;
        const std::string word = Upper(Word());
        if (word.empty()) {
            ok_ = false;
            return q;
        }
        static const std::pair<const char*, Term> kNames[] = {
            {"ALL", kAll},
            {"ISPAD", kIsPad},
            {"ISSMTPIN", kIsSmd},
            {"ISVIA", kIsVia},
            {"ISTRACK", kIsTrack},
            {"ISARC", kIsArc},
            {"ISFILL", kIsFill},
            {"ISREGION", kIsRegion},
            {"ISKEEPOUT", kIsKeepout},
            {"INPOLYGON", kInPolygon},
            {"TESTPOINTTOP", kTestPointTop},
            {"TESTPOINTBOTTOM", kTestPointBottom},
            {"HOLESIZE", kHoleSize},
            {"INNET", kInNet},
            {"INNETCLASS", kInNetClass},
            {"ONLAYER", kOnLayer},
        };
        q.term = kNothing;
        for (const auto& [name, term] : kNames)
            if (word == name)
                q.term = term;
        if (q.term == kInNet || q.term == kInNetClass || q.term == kOnLayer ||
            (q.term == kNothing && pos_ < t_.size() && t_[pos_] == '(')) {
            if (!Char('(') || !Char('\'')) {
                ok_ = false;
                return q;
            }
            const size_t end = t_.find('\'', pos_);
            if (end == std::string::npos) {
                ok_ = false;
                return q;
            }
            q.name = t_.substr(pos_, end - pos_);
            if (q.term == kOnLayer)
                q.name = Upper(q.name);
            pos_ = end + 1;
            if (!Char(')'))
                ok_ = false;
        } else if (q.term == kHoleSize) {
            Space();
            if (pos_ < t_.size() && std::strchr("<>=", t_[pos_]))
                q.compare = t_[pos_++];
            if (pos_ < t_.size() && t_[pos_] == '=')
                ++pos_; // >= and <= count as > and <: hole sizes are whole units
            Space();
            char* end = nullptr;
            q.number = std::strtod(t_.c_str() + pos_, &end);
            if (end == t_.c_str() + pos_)
                ok_ = false;
            pos_ = static_cast<size_t>(end - t_.c_str());
        }
        return q;
    }
};

using Classes = std::map<std::string, std::set<std::string, std::less<>>, std::less<>>;

bool Matches(const QueryNode& q, const Subject& s, const Classes& classes) {
    switch (q.term) {
    case kAll:
        return true;
    case kNothing:
        return false;
    case kAnd:
        return Matches(q.parts[0], s, classes) && Matches(q.parts[1], s, classes);
    case kOr:
        return Matches(q.parts[0], s, classes) || Matches(q.parts[1], s, classes);
    case kNot:
        return !Matches(q.parts[0], s, classes);
    case kIsPad:
        return s.kind == kPad;
    case kIsSmd:
        return s.kind == kPad && s.smd;
    case kIsVia:
        return s.kind == kVia;
    case kIsTrack:
        return s.kind == kTrack;
    case kIsArc:
        return s.kind == kArc;
    case kIsFill:
        return s.kind == kFill;
    case kIsRegion:
        return s.kind == kRegion;
    case kIsKeepout:
        return s.keepout;
    case kInPolygon:
        return s.pour;
    case kTestPointTop:
    case kTestPointBottom:
        return s.testPoint;
    case kHoleSize:
        return q.compare == '>'   ? s.holeSize > q.number
               : q.compare == '<' ? s.holeSize < q.number
                                  : s.holeSize == q.number;
    case kInNet:
        return !s.net.empty() && s.net == q.name;
    case kInNetClass: {
        if (s.net.empty())
            return false;
        auto it = classes.find(q.name);
        return it != classes.end() && it->second.count(s.net) != 0;
    }
    case kOnLayer:
        return s.layer == q.name;
    }
    return false;
}

// What a query asks of an object's net, if it asks one thing: a net, or a
// class it must be in; none when it may hold for any net.
struct NetDemand {
    Term term = kAll; // kInNet, kInNetClass or kAll for none
    std::string name;
};

NetDemand DemandOf(const QueryNode& q) {
    if (q.term == kInNet || q.term == kInNetClass)
        return {q.term, q.name};
    if (q.term == kAnd) {
        NetDemand first = DemandOf(q.parts[0]);
        return first.term != kAll ? first : DemandOf(q.parts[1]);
    }
    return {};
}

// How narrow a query is: a net above a class above a layer above an object
// type. The rule with the narrowest pair of scopes that holds decides.
int Narrowness(const QueryNode& q) {
    switch (q.term) {
    case kAnd:
        return Narrowness(q.parts[0]) + Narrowness(q.parts[1]);
    case kOr:
        return std::min(Narrowness(q.parts[0]), Narrowness(q.parts[1]));
    case kInNet:
        return 1000;
    case kInNetClass:
        return 100;
    case kOnLayer:
        return 10;
    case kAll:
    case kNot:
    case kNothing:
        return 0;
    default:
        return 1;
    }
}

bool UsesOddHoleTest(const QueryNode& q) {
    if (q.term == kHoleSize && !(q.compare == '>' && q.number == 0))
        return true;
    for (const QueryNode& p : q.parts)
        if (UsesOddHoleTest(p))
            return true;
    return false;
}

} // namespace

struct Rules::Rule {
    QueryNode first, second;
    int32_t gap = 0;
    int narrowness = 0;
    bool all = false;   // both scopes All
    bool named = false; // both scopes ask for a net or a class
};

Rules::Rules() = default;
Rules::~Rules() = default;
Rules::Rules(Rules&&) noexcept = default;
Rules& Rules::operator=(Rules&&) noexcept = default;

void Rules::AddClass(const std::string& name, const std::vector<std::string>& nets) {
    auto& members = classes_[name];
    members.insert(nets.begin(), nets.end());
}

bool Rules::AddRule(const std::string& scope1, const std::string& scope2, int32_t gap) {
    if (gap <= 0)
        return false;
    bool ok1 = false, ok2 = false;
    Rule rule;
    rule.first = QueryReader(scope1).Read(ok1);
    rule.second = QueryReader(scope2).Read(ok2);
    if (!ok1 || !ok2)
        return false;
    rule.gap = gap;
    rule.narrowness = Narrowness(rule.first) + Narrowness(rule.second);
    rule.all = rule.first.term == kAll && rule.second.term == kAll;
    holeSizeBlind_ =
        holeSizeBlind_ && !UsesOddHoleTest(rule.first) && !UsesOddHoleTest(rule.second);
    // The widest gap by what the rule's sides ask of a net: a side that asks
    // nothing may meet any net.
    const NetDemand sides[2] = {DemandOf(rule.first), DemandOf(rule.second)};
    rule.named = sides[0].term != kAll && sides[1].term != kAll;
    if (sides[0].term == kAll || sides[1].term == kAll)
        anyNet_ = std::max(anyNet_, gap);
    else
        for (const NetDemand& side : sides) {
            int32_t& widest = (side.term == kInNet ? byNet_ : byClass_)[side.name];
            widest = std::max(widest, gap);
        }
    rules_.push_back(std::move(rule));
    Settle();
    return true;
}

void Rules::Settle() {
    board_ = widest_ = 0;
    uniform_ = true;
    for (const Rule& r : rules_) {
        if (r.all)
            board_ = std::max(board_, r.gap);
        widest_ = std::max(widest_, r.gap);
        uniform_ = uniform_ && r.all;
    }
    if (board_ == 0)
        for (const Rule& r : rules_)
            board_ = board_ == 0 ? r.gap : std::min(board_, r.gap);
}

int32_t Rules::Narrowest(const Subject& a, const Subject& b, bool namedOnly, bool& named) const {
    int best = -1;
    int32_t gap = 0;
    named = false;
    for (const Rule& r : rules_) {
        if (r.narrowness < best || (namedOnly && !r.named))
            continue;
        const bool holds = (Matches(r.first, a, classes_) && Matches(r.second, b, classes_)) ||
                           (Matches(r.first, b, classes_) && Matches(r.second, a, classes_));
        if (!holds)
            continue;
        if (r.narrowness > best) {
            best = r.narrowness, gap = r.gap, named = r.named;
        } else {
            gap = std::max(gap, r.gap); // equally narrow rules: the wider gap
            named = named && r.named;
        }
    }
    return best < 0 ? -1 : gap;
}

int32_t Rules::Between(const Subject& a, const Subject& b) const {
    bool named = false;
    const int32_t gap = Narrowest(a, b, false, named);
    if (gap < 0)
        return board_;
    if (named)
        return gap; // a rule for these two nets or classes
    // A rule for everything, a layer or a kind of object: each object keeps
    // at least what its own net or class asks between its copper.
    bool unused = false;
    return std::max({gap, Narrowest(a, a, true, unused), Narrowest(b, b, true, unused)});
}

int32_t Rules::WidestFor(std::string_view net) const {
    int32_t widest = std::max(board_, anyNet_);
    if (auto it = byNet_.find(net); it != byNet_.end())
        widest = std::max(widest, it->second);
    for (const auto& [name, gap] : byClass_)
        if (gap > widest)
            if (auto members = classes_.find(name);
                members != classes_.end() && members->second.count(net) != 0)
                widest = gap;
    return widest;
}

} // namespace clearance
