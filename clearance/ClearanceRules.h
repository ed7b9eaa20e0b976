// The clearance between two objects of a board, as its rules ask it: the
// rule with the narrowest pair of scopes that holds for the two objects (a
// net above a class above a layer above a kind of object), the board's own
// clearance otherwise; a net or class asks its own gap of copper near it
// where no rule names the pair. One resolver for the rule check and the router, so
// that what the router keeps is what the check asks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace clearance {

// What a rule's scope can ask about one object on one layer. `kind` is the
// engine's object kind (sdk/ObjectKinds.h).
struct Subject {
    int32_t kind = 0;
    bool smd = false; // a pad on one layer
    bool testPoint = false;
    bool keepout = false; // copper kept out, not copper
    bool pour = false;    // copper of a poured polygon
    double holeSize = 0;
    std::string_view net;   // empty for none
    std::string_view layer; // the layer's name in upper case
};

// The clearance rules of one board: net classes first, then the rules.
class Rules {
public:
    Rules();
    ~Rules();
    Rules(Rules&&) noexcept;
    Rules& operator=(Rules&&) noexcept;

    // A net class and the names of its nets.
    void AddClass(const std::string& name, const std::vector<std::string>& nets);
    // A clearance between nets: its two scope expressions and its gap. False
    // (and nothing kept) when a scope does not read or the gap is not above 0.
    bool AddRule(const std::string& scope1, const std::string& scope2, int32_t gap);

    // The board's own clearance: the widest rule for everything, else the
    // narrowest gap of any rule; 0 without rules.
    int32_t Board() const { return board_; }
    // The widest gap any rule asks.
    int32_t Widest() const { return widest_; }
    // Whether every rule is for everything (so that Between is Board()).
    bool Uniform() const { return uniform_; }
    // Whether the answer for two objects follows from their nets, kinds,
    // layers and whether they have a hole at all (no rule compares hole
    // sizes otherwise).
    bool HoleSizeBlind() const { return holeSizeBlind_; }

    // The gap between two objects of different nets on one layer: the rule
    // with the narrowest scopes that holds for the two. When that rule names
    // no net or class on one of its sides (the board's, a layer's, a kind of
    // object's), each object keeps at least the gap its own net's or class's
    // rule asks between its own copper. The board's without rules.
    int32_t Between(const Subject& a, const Subject& b) const;
    // The widest gap that objects of net `net` (of any kind, on any layer)
    // may be asked to keep from any other copper.
    int32_t WidestFor(std::string_view net) const;

private:
    struct Rule;
    std::vector<Rule> rules_;
    std::map<std::string, std::set<std::string, std::less<>>, std::less<>> classes_;
    int32_t board_ = 0, widest_ = 0;
    bool uniform_ = true, holeSizeBlind_ = true;
    // The widest gap of the rules that may meet any net, and of those that
    // ask for one net or one class on both sides, by that net or class.
    int32_t anyNet_ = 0;
    std::map<std::string, int32_t, std::less<>> byNet_, byClass_;
    void Settle();
    // The gap of the narrowest rules that hold for a and b (of those that
    // name a net or class on both sides when `namedOnly`), -1 for none;
    // `named` tells whether they all name one.
    int32_t Narrowest(const Subject& a, const Subject& b, bool namedOnly, bool& named) const;
};

} // namespace clearance
