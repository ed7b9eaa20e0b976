#include "host/RuleListing.h"

#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace Harrow {
namespace {

// A JSON value as far as the listing needs it: numbers, texts, arrays and
// objects (members in document order).
struct JsonValue {
    enum Kind { kNull, kNumber, kText, kArray, kObject } kind = kNull;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    // Object members: names and values side by side (a pair cannot hold the
    // type being defined).
    std::vector<std::string> memberNames;
    std::vector<JsonValue> memberValues;

    const JsonValue* Member(const std::string& key) const {
        for (std::size_t i = 0; i < memberNames.size(); ++i)
            if (memberNames[i] == key)
                return &memberValues[i];
        return nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    bool Read(JsonValue& value, int depth = 0) {
        Blank();
        if (pos_ >= text_.size() || depth > 64)
            return false;
        const char c = text_[pos_];
        if (c == '{')
            return Object(value, depth);
        if (c == '[')
            return Array(value, depth);
        if (c == '"') {
            value.kind = JsonValue::kText;
            return String(value.text);
        }
        return Scalar(value);
    }

private:
    void Blank() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\t'))
            ++pos_;
    }
    bool Take(char c) {
        Blank();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Object(JsonValue& value, int depth) {
        value.kind = JsonValue::kObject;
        ++pos_;
        if (Take('}'))
            return true;
        do {
            std::string key;
            Blank();
            if (!String(key) || !Take(':'))
                return false;
            JsonValue member;
            if (!Read(member, depth + 1))
                return false;
            value.memberNames.push_back(std::move(key));
            value.memberValues.push_back(std::move(member));
        } while (Take(','));
        return Take('}');
    }
    bool Array(JsonValue& value, int depth) {
        value.kind = JsonValue::kArray;
        ++pos_;
        if (Take(']'))
            return true;
        do {
            JsonValue item;
            if (!Read(item, depth + 1))
                return false;
            value.items.push_back(std::move(item));
        } while (Take(','));
        return Take(']');
    }
    bool String(std::string& out) {
        if (pos_ >= text_.size() || text_[pos_] != '"')
            return false;
        ++pos_;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\' && pos_ < text_.size()) {
                const char e = text_[pos_++];
                switch (e) {
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 'u':
                    if (pos_ + 4 <= text_.size()) {
                        c = static_cast<char>(std::stoi(text_.substr(pos_, 4), nullptr, 16));
                        pos_ += 4;
                    }
                    break;
                default:
                    c = e;
                    break;
                }
            }
            out += c;
        }
        return pos_ < text_.size() && text_[pos_++] == '"';
    }
    bool Scalar(JsonValue& value) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '}' &&
               text_[pos_] != ']' && text_[pos_] != ' ' && text_[pos_] != '\n')
            ++pos_;
        const std::string word = text_.substr(start, pos_ - start);
        if (word == "null" || word == "true" || word == "false") {
            value.kind = JsonValue::kNumber;
            value.number = word == "true" ? 1 : 0;
            return true;
        }
        try {
            value.kind = JsonValue::kNumber;
            value.number = std::stod(word);
            return true;
        } catch (...) {
            return false;
        }
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

const char* const kRuleKindNames[] = {
    "Clearance",
    "ParallelSegment",
    "Width",
    "MaxMinLength",
    "MatchedLengths",
    "StubLength",
    "PowerPlaneConnectStyle",
    "RoutingTopology",
    "RoutingPriority",
    "RoutingLayers",
    "RoutingCornerStyle",
    "RoutingViaStyle",
    "PowerPlaneClearance",
    "SolderMaskExpansion",
    "PasteMaskExpansion",
    "ShortCircuit",
    "BrokenNets",
    "ViasUnderSMD",
    "MaximumViaCount",
    "MinimumAnnularRing",
    "PolygonConnectStyle",
    "AcuteAngle",
    "ConfinementConstraint",
    "SMDToCorner",
    "ComponentClearance",
    "ComponentRotations",
    "PermittedLayers",
    "NetsToIgnore",
    "SignalStimulus",
    "OvershootFalling",
    "OvershootRising",
    "UndershootFalling",
    "UndershootRising",
    "MaxMinImpedance",
    "SignalTopValue",
    "SignalBaseValue",
    "FlightTimeRising",
    "FlightTimeFalling",
    "LayerStack",
    "SlopeRising",
    "SlopeFalling",
    "SupplyNets",
    "MaxMinHoleSize",
    "TestPointStyle",
    "TestPointUsage",
    "UnconnectedPin",
    "SMDToPlane",
    "SMDNeckDown",
    "LayerPair",
    "FanoutControl",
    "MaxMinHeight",
    "DifferentialPairsRouting",
    "HoleToHoleClearance",
    "MinimumSolderMaskSliver",
    "SilkToSolderMaskClearance",
    "SilkToSilkClearance",
    "NetAntennae",
    "AssyTestPointStyle",
    "AssyTestPointUsage",
    "SilkToBoardRegionClearance",
    "SMDPadEntry",
    "ComponentPlacementGrid",
    "BoardOutlineClearance",
    "CrossTalk",
    "ThermalRelief",
    "BackDrilling",
    "ReturnPath",
};

bool IsTwoScopeKind(long kind) {
    return kind == 0 || kind == 1 || kind == 15 || kind == 21 || kind == 24;
}

// Constraint values that are counts or codes, not lengths.
bool IsLength(long kind, const std::string& name) {
    return kind != 7 && kind != 9 && kind != 17 && kind != 18 && name != "Topology" &&
           name != "Allowed" && name != "MaximumViaCount";
}

std::string Length(double hostUnits) {
    char text[96];
    std::snprintf(text, sizeof text, "%.4g mil (%.4g mm)", hostUnits / 10000.0,
                  hostUnits / 10000.0 * 0.0254);
    return text;
}

std::string Whole(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string Text(const JsonValue* value) {
    return value && value->kind == JsonValue::kText ? value->text : std::string();
}

void PrintRule(std::ostream& out, const JsonValue& rule) {
    const JsonValue* kindValue = rule.Member("Kind");
    const long kind = kindValue ? static_cast<long>(kindValue->number) : -1;
    out << "  " << HostRuleKindDisplayName(kind) << " \"" << Text(rule.Member("Name")) << "\"\n";
    out << "    scope: " << Text(rule.Member("Scope1Expression"));
    if (IsTwoScopeKind(kind))
        out << "  |  " << Text(rule.Member("Scope2Expression"));
    out << "\n";
    const JsonValue* constraints = rule.Member("Constraints");
    if (!constraints || constraints->memberNames.empty())
        return;
    if (kind == 9) {
        out << "    layers:";
        bool any = false;
        for (std::size_t i = 0; i < constraints->memberNames.size(); ++i) {
            const std::string& name = constraints->memberNames[i];
            const JsonValue& value = constraints->memberValues[i];
            if (value.number != 0) {
                out << " " << name.substr(name.find_first_of("0123456789")) << "="
                    << Whole(value.number);
                any = true;
            }
        }
        out << (any ? "\n" : " none\n");
        return;
    }
    out << "    values:";
    bool first = true;
    for (std::size_t i = 0; i < constraints->memberNames.size(); ++i) {
        const std::string& name = constraints->memberNames[i];
        const JsonValue& value = constraints->memberValues[i];
        out << (first ? " " : ", ") << name << " "
            << (IsLength(kind, name) ? Length(value.number) : Whole(value.number));
        first = false;
    }
    if (kind == 0) {
        const JsonValue* attributes = rule.Member("Attributes");
        const bool sameNet =
            attributes && attributes->items.size() > 1 && attributes->items[1].number != 0;
        out << ", same net " << (sameNet ? "yes" : "no");
    }
    out << "\n";
}

} // namespace

std::string HostRuleKindDisplayName(long kind) {
    const long count = static_cast<long>(sizeof kRuleKindNames / sizeof kRuleKindNames[0]);
    if (kind >= 0 && kind < count)
        return kRuleKindNames[kind];
    return "Kind " + std::to_string(kind);
}

void PrintRuleListing(std::ostream& out, const std::string& boardJson) {
    JsonValue board;
    if (!JsonReader(boardJson).Read(board))
        return;
    const JsonValue* objects = board.Member("Objects");
    const JsonValue* rules = objects ? objects->Member("Rule") : nullptr;
    if (!rules || rules->items.empty())
        return;
    out << "rule list:\n";
    for (const JsonValue& rule : rules->items)
        PrintRule(out, rule);
}

} // namespace Harrow
