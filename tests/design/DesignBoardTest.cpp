// The design model writing to a board of the engine loaded into this process,
// as the host loads it: the parser section's constants and the board rules.
#include "support/EngineFixture.h"

#include "board/Pcbclass.h"
#include "design/SpecctraDesign.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using ::testing::Contains;
using TConstants = std::vector<std::pair<std::string, std::string>>;

class DesignOnBoard : public enginetest::EngineBoardTest {
protected:
    // Reads the design text and writes it to the test's board.
    std::unique_ptr<TSpecctraDesign> Import(const std::string& text) {
        ResetTranslationState();
        parser = std::make_unique<TSpecctraParser>(std::make_unique<TInputFile>("t.dsn", text));
        parser->RegisterKeywords();
        auto design = std::make_unique<TSpecctraDesign>("t.dsn", parser.get(), nullptr, board);
        EXPECT_TRUE(design->ImportFromFile());
        EXPECT_TRUE(design->ExportToPCB());
        return design;
    }
    // The constants a route export would read back from the board.
    TConstants ReadBack(std::vector<std::string>* report = nullptr) {
        TSpecctraDesign reader("t.rte", nullptr, nullptr, board);
        EXPECT_TRUE(reader.ParserSection()->ImportFromPcb());
        if (report)
            *report = reader.Report()->Events();
        return reader.ParserSection()->Constants;
    }
    std::unique_ptr<TSpecctraParser> parser;
};

TEST_F(DesignOnBoard, ConstantsAreStoredOnceInOrderAndReadBack) {
    // A NUL, "|", "=", carriage return or line feed inside a quoted constant
    // would cut or split the stored record; every constant comes back whole.
    // Without network and library both are reported, and the rest is written.
    auto design =
        Import("(pcb x (parser (constant W 0.25) (constant 'Edge Clear' 0.5)"
               " (constant 'A|B' 'x=y') (constant 'N" +
               std::string(1, '\0') + "L' 'v\rw\nz') (constant '50%' '%7C') (constant GAP 6)))");
    for (const char* missing : {"Netlist", "Library"})
        EXPECT_THAT(design->Report()->Events(), Contains(std::string("ERROR: ") + missing +
                                                         " not loaded, can't export to PCB."));
    const intptr_t record = FindEmbeddedObject(board, "constants");
    ASSERT_NE(record, 0);
    TPcbEmbedded embedded(record);
    embedded.QueryDatabase(1);
    const std::string stored = embedded.GetState_Name();
    // Ordinary constants are stored as they are.
    EXPECT_TRUE(stored.starts_with("Server=Ravel|Type=CONSTANTS|CONSTCOUNT=6|C0=W\r0.25|"
                                   "C1=Edge Clear\r0.5|C2="))
        << stored;
    EXPECT_TRUE(stored.ends_with("|C5=GAP\r6")) << stored;
    EXPECT_EQ(ReadBack(), (TConstants{{"W", "0.25"},
                                      {"Edge Clear", "0.5"},
                                      {"A|B", "x=y"},
                                      {std::string("N\0L", 3), "v\rw\nz"},
                                      {"50%", "%7C"},
                                      {"GAP", "6"}}));
    EXPECT_EQ(CollectItems(board, eEmbeddedObject).size(), 1u);
}

TEST_F(DesignOnBoard, DesignWithoutConstantsStoresNothing) {
    Import("(pcb x (parser (host_cad kicad)) (unit mm))");
    EXPECT_EQ(FindEmbeddedObject(board, "CONSTANTS"), 0);
    EXPECT_TRUE(ReadBack().empty());
}

TEST_F(DesignOnBoard, BrokenStoredConstantIsReportedAndSkipped) {
    const intptr_t handle = PCBProcs::PcbApi_CreateObject(eEmbeddedObject);
    TPcbEmbedded record(handle);
    record.QueryDatabase(1);
    record.SetState_Name("Server=Ravel|Type=CONSTANTS|CONSTCOUNT=3|C0=A\r1|C1=NOVALUE|C2=B\r2");
    record.QueryDatabase(0);
    ASSERT_EQ(TPcbBoard(board).AddObject(handle), 0);
    std::vector<std::string> report;
    EXPECT_EQ(ReadBack(&report), (TConstants{{"A", "1"}, {"B", "2"}}));
    EXPECT_EQ(report,
              std::vector<std::string>{"ERROR: Error reading stored constant from PCB design."});
}

class BoardRules : public enginetest::EngineBoardTest {
protected:
    intptr_t AddRule(TRuleKind kind, const std::string& name, const std::string& scope1,
                     const std::string& scope2, uint8_t maker = 0) {
        const intptr_t handle = PCBProcs::PcbApi_CreateRuleObject(kind);
        TPcbRuleEx rule(handle);
        rule.QueryDatabase(1);
        rule.SetState_Name(name);
        rule.SetState_Scope1Expression(scope1);
        rule.SetState_Scope2Expression(scope2);
        rule.QueryDatabase(0);
        uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {maker};
        PCBProcs::PcbApi_QueryRuleExt(0, handle, attributes);
        EXPECT_EQ(TPcbBoard(board).AddObject(handle), 0);
        return handle;
    }
    std::vector<std::string> RuleNames() {
        std::vector<std::string> names;
        for (intptr_t handle : CollectItems(board, eRuleObject)) {
            TPcbRuleEx rule(handle);
            rule.QueryDatabase(1);
            names.push_back(rule.GetState_Name());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(BoardRules, DefaultRuleNeedsAllScopesAndBothForTwoScopeKinds) {
    AddRule(eRule_Clearance, "NetClear", "All", "InNet('GND')");
    const intptr_t clearance = AddRule(eRule_Clearance, "Clear", "All", "all");
    AddRule(eRule_MaxMinWidth, "GndWidth", "InNet('GND')", "All");
    const intptr_t width = AddRule(eRule_MaxMinWidth, "Width", "All", "InNet('X')");
    EXPECT_EQ(FindDefaultRule(board, eRule_Clearance), clearance);
    EXPECT_EQ(FindDefaultRule(board, eRule_MaxMinWidth), width); // one scope counts
    EXPECT_EQ(FindDefaultRule(board, eRule_RoutingLayers), 0);
}

TEST_F(BoardRules, RulesAreDeletedByKindAndByMaker) {
    AddRule(eRule_Clearance, "Clear", "All", "All");
    AddRule(eRule_MaxMinWidth, "Width", "All", "All");
    AddRule(eRule_MaxMinWidth, "Width2", "InNet('A')", "All", 2);
    AddRule(eRule_RoutingLayers, "Layers", "All", "All", 7);
    DeleteRulesOfKind(eRule_MaxMinWidth, board);
    EXPECT_EQ(RuleNames(), (std::vector<std::string>{"Clear", "Layers"}));
    AddRule(eRule_MaxMinWidth, "Width2", "InNet('A')", "All", 2);
    EXPECT_EQ(DeleteRulesMadeBy(board, 0), 1);
    EXPECT_EQ(DeleteRulesMadeBy(board, 2), 1);
    EXPECT_EQ(RuleNames(), std::vector<std::string>{"Layers"});
}

TEST_F(BoardRules, NamesOfRulesNetsAndLayers) {
    TSpecctraAbstractRule rule(nullptr, 40);
    rule.NameID = "W8";
    EXPECT_EQ(RuleDisplayName(40, &rule), "Width W8");
    EXPECT_EQ(RuleDisplayName(2, nullptr), "ERROR: Invalid Rule Name");

    const intptr_t net = PCBProcs::PcbApi_CreateObject(eNetObject);
    TPcbNet netRecord(net);
    netRecord.QueryDatabase(1);
    netRecord.SetState_Name("VCC_3V3");
    netRecord.QueryDatabase(0);
    ASSERT_EQ(TPcbBoard(board).AddObject(net), 0);
    const intptr_t track = PCBProcs::PcbApi_CreateObject(eTrackObject);
    TPcbTrack trackRecord(track);
    trackRecord.QueryDatabase(1);
    trackRecord.SetState_Net(net);
    trackRecord.SetState_x2(100000);
    trackRecord.QueryDatabase(0);
    ASSERT_EQ(TPcbBoard(board).AddObject(track), 0);
    EXPECT_EQ(NetNameOf(net), "VCC_3V3");
    EXPECT_EQ(NetNameOf(track), "VCC_3V3");
    EXPECT_EQ(NetNameOf(0), "");
    EXPECT_FALSE(LayerNameOf(board, eV6_TopLayer).empty());
    EXPECT_NE(LayerNameOf(board, eV6_TopLayer), LayerNameOf(board, eV6_BottomLayer));
}

} // namespace
