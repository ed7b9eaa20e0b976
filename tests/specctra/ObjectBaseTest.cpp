// The model's object base: block protocol, units and conversions, lists and
// the rule collection.
#include "support/ParserTestSupport.h"

#include "design/SpecctraResolution.h"
#include "specctra/NameIndex.h"
#include "specctra/SpecctraClasses1.h"
#include "specctra/TranslationState.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

class TConversionTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTranslationState(); }
    void TearDown() override { ResetTranslationState(); }
};

// Lengths in every unit round to board units, are divided by a wiring
// section's own resolution (mil 1000) and clamp instead of overflowing.
TEST_F(TConversionTest, LengthsInEveryUnitRoundToBoardUnits) {
    struct Case {
        TDimensionUnit unit;
        double factor, length;
        int32_t board;
    };
    for (const Case& c : {Case{eDimMil, 1, 1.5, 15000}, Case{eDimMil, 1, 0.5, 5000},
                          Case{eDimMil, 1, 1234.5, 12345000}, Case{eDimMm, 1, 0.0254, 10000},
                          Case{eDimMm, 1, 1.0, 393701}, Case{eDimMm, 1, -1.0, -393701},
                          Case{eDimInch, 1, 0.1, 1000000}, Case{eDimCm, 1, 2.54, 10000000},
                          Case{eDimUm, 1, 25.4, 10000}, Case{eDimMil, 1000, 1000, 10000},
                          Case{eDimInch, 1, 1e9, INT32_MAX}, Case{eDimInch, 1, -1e9, INT32_MIN}}) {
        TSpecctraObject object(nullptr);
        object.FUnits = c.unit;
        TranslationState().ResolutionFactor = c.factor;
        EXPECT_EQ(object.FileToBoard(c.length), c.board) << c.length << " in unit " << c.unit;
    }
}

// Positions add the board offset and text subtracts it; board units go to
// text rounding ties to even.
TEST_F(TConversionTest, PositionsAddTheBoardOffsetAndTextRoundsTiesToEven) {
    TSpecctraObject object(nullptr);
    object.FUnits = eDimMil;
    TranslationState().BoardOffsetX = 1000;
    TranslationState().BoardOffsetY = -2000;
    EXPECT_EQ(object.ExportToPCB_PositionX(1.0), 11000);
    EXPECT_EQ(object.ExportToPCB_PositionY(1.0), 8000);
    EXPECT_EQ(TSpecctraObject::BoardToFileX(11000), 10000.0);
    EXPECT_EQ(TSpecctraObject::BoardToFileY(8000), 10000.0);
    TranslationState().ResolutionFactor = 0.5;
    for (const auto& [board, file] : {std::pair(5, 2.0), std::pair(7, 4.0), std::pair(-5, -2.0)})
        EXPECT_EQ(TSpecctraObject::BoardToFile(board), file) << board;
    TranslationState().ResolutionFactor = 0.254; // the route file resolution: 1 mil is 2540 steps
    EXPECT_EQ(TSpecctraObject::BoardToFile(10000), 2540.0);
}

TEST_F(TConversionTest, UnitIsInheritedThenCached) {
    TSpecctraObject parent(nullptr);
    parent.FUnits = eDimMm;
    TSpecctraObject child(&parent);
    child.FUnits = eDimNotSet; // as a section created before the unit was known
    EXPECT_EQ(child.GetUnit(), eDimMm);
    parent.FUnits = eDimInch;
    EXPECT_EQ(child.GetUnit(), eDimMm);
    EXPECT_EQ(child.FileToBoard(1.0), 393701);
}

// Unknown units, as a number or a token, fall back to mil with a warning.
TEST_F(TConversionTest, UnknownUnitsWarnAndUseMil) {
    TRecordingSink sink;
    TDimensionResolutionDescriptor object(nullptr);
    object.ReportManager = &sink;
    object.FUnits = static_cast<TDimensionUnit>(9);
    EXPECT_EQ(object.FileToBoard(2.0), 20000);
    EXPECT_EQ(object.ReadUnit(eTok_inch), eDimInch);
    EXPECT_EQ(object.ReadUnit(eTok_um), eDimUm);
    EXPECT_EQ(object.ReadUnit(eTok_ohm), eDimMil);
    EXPECT_EQ(sink.Lines,
              (std::vector<std::string>{"WARNING: Unknown dimension unit type, assuming mils. "
                                        "TDimensionResolutionDescriptor",
                                        "WARNING: Unknown unit token, mils will be used"}));
}

// A list entry that records when it is freed.
class TTracked : public TSpecctraObject {
public:
    TTracked(const std::string& name, std::vector<std::string>* freed)
        : TSpecctraObject(nullptr), Freed(freed) {
        NameID = name;
    }
    ~TTracked() override {
        if (Freed)
            Freed->push_back(NameID);
    }
    bool ExportToFile() override { return NameID != "FAIL"; }
    std::vector<std::string>* Freed;
};

TEST(SpecctraList, SortedListOrdersByNameNewDuplicatesFirstAndFreesNewestFirst) {
    std::vector<std::string> freed;
    {
        TSpecctraList list(true);
        list.Add(std::make_unique<TTracked>("R10", &freed));
        TSpecctraObject* firstC1 = list.Add(std::make_unique<TTracked>("C1", &freed));
        list.Add(std::make_unique<TTracked>("u3", &freed));
        TSpecctraObject* secondC1 = list.Add(std::make_unique<TTracked>("c1", &freed));
        ASSERT_EQ(list.Count(), 4);
        EXPECT_EQ(list.GetState_SpecctraObject(0), secondC1);
        EXPECT_EQ(list.GetState_SpecctraObject(1), firstC1);
        EXPECT_EQ(list.NameAt(2), "R10");
        EXPECT_EQ(list.NameAt(3), "u3");
        EXPECT_EQ(list.IndexOfName("U3"), 3);
        EXPECT_EQ(list.IndexOf(firstC1), 1);
        EXPECT_EQ(list.Find("C1"), secondC1);
        // The list stays in order across removals.
        auto removed = list.Extract(list.IndexOf(secondC1));
        EXPECT_EQ(removed.get(), secondC1);
        EXPECT_EQ(list.Find("c1")->NameID, "C1");
        list.Add(std::make_unique<TTracked>("A1", &freed));
        EXPECT_EQ(list.NameAt(0), "A1");
        EXPECT_EQ(list.IndexOfName("u3"), 3);
    }
    // `removed` goes first (declared last), then the list, newest first.
    EXPECT_EQ(freed, (std::vector<std::string>{"c1", "A1", "u3", "C1", "R10"}));
}

TEST(SpecctraList, FillingLargeSortedListsWithLookUpsStaysFast) {
    TSpecctraList list(true);
    const int count = 100000;
    auto name = [count](int i) { return "N" + std::to_string(i * 7919 % count); };
    int found = 0;
    for (int i = 0; i < count; ++i) {
        list.Add(std::make_unique<TTracked>(name(i), nullptr));
        found += list.Find(name(i / 2)) != nullptr;
    }
    EXPECT_EQ(found, count);
    EXPECT_EQ(list.NameAt(0), "N0");
    EXPECT_EQ(list.NameAt(1), "N1");
    EXPECT_EQ(list.IndexOfName("n10"), 2); // N0, N1, N10, ...
}

TEST(SpecctraList, LookUpsBetweenAddsSeeEveryEntryAddedSoFarAndTheListOwnsThem) {
    std::vector<std::string> freed;
    {
        TSpecctraList list;
        std::vector<TSpecctraObject*> added;
        for (int i = 0; i < 300; ++i) {
            added.push_back(list.Add(std::make_unique<TTracked>("P" + std::to_string(i), &freed)));
            ASSERT_EQ(list.IndexOfName("p" + std::to_string(i)), i);
            ASSERT_EQ(list.IndexOf(added.back()), i);
            ASSERT_EQ(list.IndexOfName("P" + std::to_string(i + 1)), -1);
        }
        list.Add(std::make_unique<TTracked>("p7", &freed));
        EXPECT_EQ(list.IndexOfName("P7"), 7); // the first of equal names
        EXPECT_EQ(list.Find("p8"), added[8]);
        EXPECT_EQ(list.GetState_SpecctraObject(301), nullptr);
        EXPECT_EQ(list.GetState_SpecctraObject(-1), nullptr);
        auto back = list.SetState_SpecctraObject(400, std::make_unique<TTracked>("SPARE", &freed));
        EXPECT_EQ(back->NameID, "SPARE"); // invalid index: nothing changed
        EXPECT_TRUE(freed.empty());
        // Taking an entry out renumbers the rest.
        auto removed = list.Extract(3);
        EXPECT_EQ(removed.get(), added[3]);
        EXPECT_EQ(list.IndexOfName("P3"), -1);
        EXPECT_EQ(list.IndexOfName("P4"), 3);
        EXPECT_EQ(list.IndexOf(added[299]), 298);
        EXPECT_EQ(list.IndexOf(added[3]), -1);
        list.Clear();
        EXPECT_EQ(freed.size(), 300u);
        EXPECT_EQ(list.IndexOfName("P4"), -1);
        list.Add(std::make_unique<TTracked>("P4", &freed));
        EXPECT_EQ(list.IndexOfName("p4"), 0);
    }
    EXPECT_EQ(freed.size(), 303u); // the new P4, the extracted P3 and the spare
}

TEST(PinToNetIndex, FirstNetKeepsAReferenceInAnyCaseUntilItLetsGo) {
    TSpecctraObject gnd(nullptr), vcc(nullptr);
    TPinToNetIndex index;
    EXPECT_EQ(index.Find("U1-1"), nullptr); // empty
    index.Remove("U1-1", &gnd);             // nothing to remove
    struct TStep {
        const char* Pin;
        TSpecctraObject* Net;
        bool Entered;
    };
    for (const TStep& step :
         {TStep{"U1-1", &gnd, true}, TStep{"u1-1", &vcc, false}, TStep{"U1-1", &gnd, true},
          TStep{"R2-A", &vcc, true}, TStep{"", &gnd, true}})
        EXPECT_EQ(index.Add(step.Pin, step.Net), step.Entered) << step.Pin;
    EXPECT_EQ(index.Count(), 3u);
    EXPECT_EQ(index.Find("u1-1"), &gnd);
    EXPECT_EQ(index.Find("r2-a"), &vcc);
    EXPECT_EQ(index.Find(""), &gnd);
    EXPECT_EQ(index.Find("U1-10"), nullptr);
    index.Remove("U1-1", &vcc); // not its net: kept
    EXPECT_EQ(index.Find("U1-1"), &gnd);
    index.Remove("u1-1", &gnd);
    EXPECT_EQ(index.Find("U1-1"), nullptr);
    EXPECT_EQ(index.Count(), 2u);
    EXPECT_TRUE(index.Add("U1-1", &vcc)); // free again for another net
    EXPECT_EQ(index.Find("U1-1"), &vcc);
    index.Clear();
    EXPECT_EQ(index.Count(), 0u);
    EXPECT_EQ(index.Find("R2-A"), nullptr);
}

TEST(PinToNetIndex, GrowsPastManyRemovalsAndKeepsEveryReference) {
    TSpecctraObject even(nullptr), odd(nullptr);
    TPinToNetIndex index;
    const int count = 50000;
    auto pin = [](int i) { return "IC" + std::to_string(i / 16) + "-" + std::to_string(i % 16); };
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(index.Add(pin(i), i % 2 ? &odd : &even));
        if (i % 3 == 0)
            index.Remove(pin(i / 2), (i / 2) % 2 ? &odd : &even);
    }
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (TSpecctraObject* net = index.Find(pin(i))) {
            ASSERT_EQ(net, i % 2 ? &odd : &even) << pin(i);
            ++kept;
        }
    EXPECT_EQ(static_cast<std::size_t>(kept), index.Count());
    EXPECT_LT(kept, count);
    EXPECT_GT(kept, count / 2);
}

TEST(SpecctraList, ExportStopsAtTheFirstFailureAndNeedsAList) {
    TSpecctraObject owner(nullptr);
    TSpecctraList empty;
    EXPECT_TRUE(owner.ExportListToFile(&empty));
    EXPECT_FALSE(owner.ExportListToFile(nullptr));
    TSpecctraList list;
    list.Add(std::make_unique<TTracked>("A", nullptr));
    list.Add(std::make_unique<TTracked>("FAIL", nullptr));
    EXPECT_FALSE(owner.ExportListToFile(&list));
}

TEST(RuleCollection, KeepsEachRuleOnceInTheListOfItsKind) {
    TSpecctraRuleCollection rules(nullptr);
    auto* width = rules.AddRule(std::make_unique<TSpecctraAbstractRule>(nullptr, 40));
    auto* clearance = rules.AddRule(std::make_unique<TSpecctraAbstractRule>(nullptr, 2));
    ASSERT_NE(width, nullptr);
    EXPECT_TRUE(rules.Contains(width));
    EXPECT_EQ(rules.AddRule(std::unique_ptr<TSpecctraAbstractRule>(width)), width);
    EXPECT_EQ(rules.GetState_RuleList(40)->Count(), 1);
    EXPECT_EQ(rules.GetState_RuleList(2)->GetState_SpecctraObject(0), clearance);
    EXPECT_EQ(rules.AddRule(std::make_unique<TSpecctraAbstractRule>(nullptr, 0)), nullptr);
    EXPECT_EQ(rules.AddRule(nullptr), nullptr);
    EXPECT_EQ(rules.GetState_RuleList(41), nullptr);
}

TEST(ModelHelpers, NamesAndTexts) {
    EXPECT_EQ(SideName(1), "Back Side");
    EXPECT_EQ(ShapeTypeName(4), "Quarter Arc Shape");
    EXPECT_EQ(ShapeTypeName(5), "ERROR: Unknown Specctra shape type.");
    EXPECT_EQ(UnitsPerInch(eDimMm), 25.4);
    EXPECT_EQ(UnitsPerInch(eDimMil), 1000.0);
    EXPECT_EQ(UnitsPerInch(17), 1000.0);
    EXPECT_TRUE(IsLayerClassName("signal"));
    EXPECT_TRUE(IsLayerClassName("Pcb"));
    EXPECT_FALSE(IsLayerClassName("TOP"));
    EXPECT_EQ(QuoteIfParenthesised("Net-(U1-Pad2)"), "'Net-(U1-Pad2)'");
    EXPECT_EQ(QuoteIfParenthesised("GND"), "GND");
    EXPECT_EQ(JoinWithOperator("", "InNet('A')", "Or"), "InNet('A')");
    EXPECT_EQ(JoinWithOperator("InNet('A')", "InNet('B')", "Or"), "InNet('A') Or InNet('B')");
    EXPECT_EQ(QuotedParenthesised("GND"), "('GND')");
    EXPECT_TRUE(IsAllScope("ALL"));
}

TEST(ModelHelpers, HexTextRoundTripsCoordinatesAndParametersArePairs) {
    for (const auto& [number, text] : {std::pair(0, "00"), std::pair(5, "05"),
                                       std::pair(0x1234, "1234"), std::pair(-1, "FFFFFFFF")})
        EXPECT_EQ(IntToHexText(number), text) << number;
    for (int32_t value : {0, 7, 393701, -393701, INT32_MAX, INT32_MIN}) {
        int32_t back = 12345;
        ASSERT_TRUE(HexTextToInt(IntToHexText(value), back)) << value;
        EXPECT_EQ(back, value);
    }
    // Parameter strings read and replace their pairs.
    std::string params = "Server=Ravel|Type=CONSTANTS";
    SetParameter(params, "type", "ViaTag");
    SetParameter(params, "ID", "5");
    std::string value;
    ASSERT_TRUE(GetParameter(params, "TYPE", value));
    EXPECT_EQ(value, "ViaTag");
    ASSERT_TRUE(GetParameter(params, "ID", value));
    EXPECT_EQ(value, "5");
    EXPECT_FALSE(GetParameter(params, "ChunkIdx", value));
}

// A scope that counts what it reads and keeps its layer names.
class TCountingScope : public TSpecctraRuleScopeBase {
public:
    explicit TCountingScope(TSpecctraObject* owner) : TSpecctraRuleScopeBase(owner, 7) {}
    bool ImportFromFile() override {
        ++Reads;
        Parser->SkipCurrentBlock();
        return true;
    }
    bool ImportCircuitDescriptor() override { return ImportFromFile(); }
    void AddScopeLayerName(const std::string& name) override { Layers.push_back(name); }
    void UnaryRuleExpression(std::string& e) override { e = "All"; }
    void BinaryRuleExpression(std::string& e1, std::string& e2) override { e1 = e2 = "All"; }
    int Reads = 0;
    std::vector<std::string> Layers;
};

// Rule and layer-rule blocks open a counting scope; nothing else does.
class TCountingScopeFactory : public IRuleScopeFactory {
public:
    int ScopeKindFor(int32_t token, const TSpecctraObject&) const override {
        return token == eTok_rule || token == eTok_layer_rule ? 7 : 0;
    }
    std::unique_ptr<TSpecctraRuleScopeBase> CreateScope(int,
                                                        TSpecctraObject& owner) const override {
        return std::make_unique<TCountingScope>(&owner);
    }
};

// A root that owns a rule collection, as the file root does.
class TScopeRoot : public TSpecctraObject {
public:
    TScopeRoot() : TSpecctraObject(nullptr) { Rules.SetScopeFactory(&Factory); }
    TSpecctraRuleCollection* GetRuleCollection() override { return &Rules; }
    TCountingScopeFactory Factory;
    TSpecctraRuleCollection Rules{nullptr};
};

TEST(RuleScopeHooks, OneScopePerOwnerAndClassCollectsLayerNames) {
    TRecordingSink sink;
    auto parser = MakeParser("(rule (width 8)) (rule (clearance 6)) (layer_rule TOP BOTTOM (rule "
                             "(width 5))) (circuit (use_via V1))",
                             &sink);
    TScopeRoot root;
    TSpecctraObject net(&root);
    net.Parser = parser.get();
    net.ReportManager = &sink;
    // Opens the next block: "(" and its keyword.
    const auto open = [&] {
        parser->NextToken();
        ++net.SectionsOpen;
        parser->NextToken();
    };
    for (int block = 0; block < 2; ++block) {
        open();
        EXPECT_TRUE(net.ImportRuleScope());
    }
    ASSERT_EQ(root.Rules.RuleScopes().Count(), 1);
    auto* scope = static_cast<TCountingScope*>(root.Rules.RuleScopes().GetState_SpecctraObject(0));
    EXPECT_EQ(scope->Reads, 2);
    EXPECT_EQ(scope->Owner, &net);

    open();
    EXPECT_TRUE(net.ImportLayerRuleScope());
    EXPECT_EQ(root.Rules.RuleScopes().Count(), 1);
    EXPECT_EQ(scope->Layers, (std::vector<std::string>{"TOP", "BOTTOM"}));
    EXPECT_EQ(scope->Reads, 3);
    EXPECT_EQ(net.SectionsOpen, 1);

    // No scope class for "circuit" here: the block is skipped with a warning.
    open();
    EXPECT_TRUE(net.ImportRuleScope());
    EXPECT_EQ(net.SectionsOpen, 1);
    EXPECT_EQ(sink.Lines,
              std::vector<std::string>{"WARNING: Skipped block between lines: 1-1, from keyword: "
                                       "CIRCUIT"});
}

// Names match and hash alike in any ASCII letter case, whatever their length
// (they are compared eight bytes at a time); other bytes must be equal.
TEST(NameComparison, NamesMatchInAnyCaseOnly) {
    const std::string base = "Net_Name-With.Mixed/Case[17]:pad@the`end{x}~0123456789";
    for (std::size_t n = 0; n <= base.size(); ++n) {
        const std::string name = base.substr(0, n);
        std::string swapped = name;
        for (char& c : swapped)
            if (std::isalpha(static_cast<unsigned char>(c)))
                c = static_cast<char>(c ^ 0x20);
        EXPECT_TRUE(SameNameAnyCase(name, swapped)) << name;
        EXPECT_EQ(AnyCaseNameHash(name), AnyCaseNameHash(swapped)) << name;
        for (std::size_t i = 0; i < n; ++i) {
            std::string other = name;
            other[i] = static_cast<char>(
                other[i] ^ (std::isalpha(static_cast<unsigned char>(other[i])) ? 0x01 : 0x20));
            EXPECT_FALSE(SameNameAnyCase(name, other)) << name << " / " << other;
        }
        if (n > 0) {
            EXPECT_FALSE(SameNameAnyCase(name, name.substr(0, n - 1)));
        }
    }
    EXPECT_FALSE(SameNameAnyCase("\xE9t\xE9", "\xC9T\xC9")); // only ASCII letters fold
    EXPECT_TRUE(SameNameAnyCase("\xE9t\xE9", "\xE9T\xE9"));
}

} // namespace
