// A design root, an owner and a scope that reads rule blocks, for rule tests
// that need no network or structure reader.
#pragma once

#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "rules/RuleScopes.h"
#include "rules/SpecctraRules.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/TranslationState.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace ruletest {

// The scope a test reads rule blocks into.
using TTestScope = TAbstractRuleScope;

// A design read from text, with owners and scopes made by the test.
class TRuleBench {
public:
    explicit TRuleBench(const std::string& text, intptr_t board = 0,
                        TDimensionUnit unit = eDimMil) {
        ResetTranslationState();
        parser = std::make_unique<TSpecctraParser>(std::make_unique<TInputFile>("t.dsn", text));
        parser->RegisterKeywords();
        design = std::make_unique<TSpecctraDesign>("t.dsn", parser.get(), nullptr, board);
        design->SetReportEnabled(false);
        design->FUnits = unit;
    }

    // An owner object under the design with a name.
    TSpecctraObject& Owner(const std::string& name) {
        owners.push_back(std::make_unique<TSpecctraObject>(design.get()));
        owners.back()->NameID = name;
        return *owners.back();
    }
    // A scope of the owner, kept by the design's rule collection.
    template <class TScope> TTestScope& Scope(TSpecctraObject& owner) {
        auto* scope =
            static_cast<TTestScope*>(design->GetRuleCollection()->AddRuleScope(std::make_unique<TScope>(&owner)));
        return *scope;
    }
    TTestScope& NetScope(const std::string& net) { return Scope<TNetRuleScope>(Owner(net)); }
    TTestScope& BoardScope() { return Scope<TPCBRuleScope>(Owner("")); }
    TTestScope& ClassScope(const std::string& name) {
        return Scope<TClassRuleScope>(Owner(name));
    }

    // Reads the next "(rule ...)" or "(circuit ...)" block of the text into the scope.
    bool Read(TTestScope& scope) {
        if (parser->NextToken() != eTok_OpenParen)
            return false;
        const int32_t keyword = parser->NextToken();
        return keyword == eTok_circuit ? scope.ImportCircuitDescriptor() : scope.ImportFromFile();
    }

    std::vector<TSpecctraAbstractRule*> Rules(int kind) {
        std::vector<TSpecctraAbstractRule*> rules;
        TSpecctraList* list = design->GetRuleCollection()->GetState_RuleList(kind);
        for (int32_t i = 0; list && i < list->Count(); ++i)
            rules.push_back(static_cast<TSpecctraAbstractRule*>(list->GetState_SpecctraObject(i)));
        return rules;
    }
    const std::vector<std::string>& Report() const { return design->Report()->Events(); }
    bool Reported(const std::string& line) const {
        const auto& lines = Report();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool ReportedStart(const std::string& start) const {
        for (const std::string& line : Report())
            if (line.compare(0, start.size(), start) == 0)
                return true;
        return false;
    }

    // Destroyed bottom up: the design before the owners its rules name.
    std::unique_ptr<TSpecctraParser> parser;
    std::vector<std::unique_ptr<TSpecctraObject>> owners;
    std::unique_ptr<TSpecctraDesign> design;
};

} // namespace ruletest
