// The wiring read a second time from a copy of its text while it is written to
// the board, against the wiring kept whole from the reading to the writing:
// for every corpus design with a wiring section, and for wiring text that
// reads differently with the reader's state (units changed between wires,
// comments, numbered vias, damaged objects), the board's document and the
// report's lines are the same either way. Likewise with the tracks of a path
// or an outline made in one engine call and the pads of a padstack copied
// from a model pad, against every object made and written alone.
#include "support/CorpusImport.h"
#include "support/Sexpr.h"
#include "support/TempFolder.h"

#include "board/BoardFacade.h"
#include "board/Pcbclass.h"
#include "design/SpecctraDesign.h"
#include "design/SpecctraWiring.h"
#include "persistence/ReportManager.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using TDumpBoard = int32_t (*)(intptr_t, const char*, char*, int32_t);

// The board's whole document as the engine writes it out, or a message.
std::string BoardDocument(intptr_t board, const fs::path& json) {
    static const auto dump =
        reinterpret_cast<TDumpBoard>(dlsym(RTLD_DEFAULT, "Corvane_DumpBoardJson"));
    if (dump == nullptr)
        return "no Corvane_DumpBoardJson in the engine";
    char error[256] = {};
    if (!dump(board, json.c_str(), error, sizeof error))
        return std::string("dump failed: ") + error;
    std::string text = testfs::ReadFile(json);
    fs::remove(json);
    return text;
}

struct TOutcome {
    bool Read = false, Written = false;
    std::size_t PendingWires = 0, PendingVias = 0;
    std::vector<std::string> Report;
    int32_t Errors = 0, Warnings = 0;
    std::string Document;
};

// `pieceBytes` 0 keeps the wiring whole; otherwise files of at least
// `fromBytes` have their wiring text copied in pieces of about that size.
TOutcome ImportOnce(const fs::path& file, const std::string& text, std::size_t pieceBytes,
                    const fs::path& json, std::size_t fromBytes = 0) {
    corpus::TImport import(file, &text, [&](TSpecctraDesign& design) {
        design.SetWiringReadAgain(pieceBytes > 0, fromBytes, pieceBytes);
    });
    TOutcome outcome;
    outcome.Read = import.read;
    if (import.read) {
        if (const TSpecctraDSNWiringDescriptor* wiring = import.design->Wiring()) {
            outcome.PendingWires = wiring->PendingWires();
            outcome.PendingVias = wiring->PendingVias();
        }
        outcome.Written = import.Write();
    }
    outcome.Report = import.Report();
    outcome.Errors = import.design->Report()->ErrorCount();
    outcome.Warnings = import.design->Report()->WarningCount();
    outcome.Document = BoardDocument(import.board, json);
    return outcome;
}

// Compares the two imports of one design; false (with failures added) when
// they differ.
bool SameBothWays(const fs::path& file, const std::string& text, const fs::path& json,
                  std::size_t pieceBytes, std::size_t fromBytes = 0) {
    const TOutcome whole = ImportOnce(file, text, 0, json);
    const TOutcome again = ImportOnce(file, text, pieceBytes, json, fromBytes);
    EXPECT_EQ(again.Read, whole.Read) << file;
    EXPECT_EQ(again.Written, whole.Written) << file;
    EXPECT_EQ(again.PendingWires, whole.PendingWires) << file;
    EXPECT_EQ(again.PendingVias, whole.PendingVias) << file;
    EXPECT_EQ(again.Report, whole.Report) << file;
    EXPECT_EQ(again.Errors, whole.Errors) << file;
    EXPECT_EQ(again.Warnings, whole.Warnings) << file;
    EXPECT_EQ(again.Document.size(), whole.Document.size()) << file;
    EXPECT_TRUE(again.Document == whole.Document) << file << ": the board documents differ";
    return again.Read == whole.Read && again.Report == whole.Report &&
           again.Document == whole.Document;
}

// The same import with every track and pad made alone and every component's
// text handles read with its whole record, as with an engine without the
// batch, copy and text-handle entry points; false (with failures added) when
// the two differ.
bool SameWithObjectsMadeAlone(const fs::path& file, const std::string& text, const fs::path& json) {
    const TOutcome batched = ImportOnce(file, text, 0, json);
    struct TAlone {
        TAlone() {
            Board::UseTrackBatches(false);
            Board::UsePadCopies(false);
            TPcbComponent::UseTextHandleQueries(false);
        }
        ~TAlone() {
            Board::UseTrackBatches(true);
            Board::UsePadCopies(true);
            TPcbComponent::UseTextHandleQueries(true);
        }
    };
    const TOutcome alone = [&] {
        TAlone seam;
        return ImportOnce(file, text, 0, json);
    }();
    EXPECT_EQ(alone.Written, batched.Written) << file;
    EXPECT_EQ(alone.Report, batched.Report) << file;
    EXPECT_EQ(alone.Document.size(), batched.Document.size()) << file;
    EXPECT_TRUE(alone.Document == batched.Document) << file << ": the board documents differ";
    return alone.Report == batched.Report && alone.Document == batched.Document;
}

class WiringReadAgainCorpus : public corpus::CorpusShardTest {};

TEST_P(WiringReadAgainCorpus, BoardAndReportAreTheSameAsWithTheWiringKeptWhole) {
    testfs::TempFolder folder;
    int compared = 0, differing = 0;
    for (const fs::path& file : files) {
        const std::string text = corpus::Text(file);
        if (sexpr::Lower(text).find("(wiring") == std::string::npos)
            continue;
        ++compared;
        // Small pieces: most objects are read again from a piece of their
        // own, and some pieces begin or end between two of them.
        const std::size_t pieceBytes = compared % 2 == 0 ? 200 : 4000;
        if (!SameBothWays(file, text, folder.path / "board.json", pieceBytes) && ++differing >= 3)
            break; // enough to look into
    }
    if (compared == 0)
        GTEST_SKIP() << "no design with a wiring section in this shard";
}

TEST_P(WiringReadAgainCorpus, TracksInBatchesAndCopiedPadsAreTheObjectsMadeAlone) {
    testfs::TempFolder folder;
    int seen = 0, compared = 0, differing = 0;
    for (const fs::path& file : files) {
        // Every fourth design: the rest of the corpus goes the same two ways
        // through the same code.
        if (seen++ % 4 != 0)
            continue;
        ++compared;
        if (!SameWithObjectsMadeAlone(file, corpus::Text(file), folder.path / "board.json") &&
            ++differing >= 3)
            break;
    }
    if (compared == 0)
        GTEST_SKIP() << "no design in this shard";
}

INSTANTIATE_TEST_SUITE_P(Shards, WiringReadAgainCorpus,
                         ::testing::Range(0, WiringReadAgainCorpus::kShards));

// A two-layer design in mil with via padstack V1, the given nets and the rest.
std::string Design(const std::string& nets, const std::string& rest) {
    return "(pcb t (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
           " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
           "  (boundary (rect pcb 0 0 5000 5000)) (via V1))\n"
           " (library (padstack V1 (shape (circle Top 20)) (shape (circle Bottom 20))))\n"
           " (network " +
           nets + ")\n" + rest;
}

// Designs whose wiring text exercises the reader's state at each object.
class WiringReadAgainText : public corpus::CorpusBoardTest {
protected:
    void SetUp() override {
        const enginetest::EngineLibrary& engine = enginetest::EngineLibrary::Get();
        if (!engine.error.empty())
            GTEST_SKIP() << engine.error;
        ASSERT_TRUE(PCBProcs::BindEngine());
    }
    void Check(const std::string& wiring) {
        const std::string text = Design("(net A) (net \"B c\")", " (wiring\n" + wiring + "))\n");
        testfs::TempFolder folder;
        for (std::size_t pieceBytes :
             {std::size_t{1}, std::size_t{90}, TSpecctraDSNWiringDescriptor::kPieceBytes})
            SameBothWays("w.dsn", text, folder.path / "board.json", pieceBytes);
    }
};

TEST_F(WiringReadAgainText, TracksOfPathsAndOutlinesAndPadsAreTheSameMadeAlone) {
    // Two placements of a footprint with a path outline (kept and made again
    // for the second) and pins of two padstacks, one turned; a rectangle
    // outline; wires of one and of many segments, and a wire on a layer the
    // board lacks (its tracks fail alone).
    const std::string text =
        "(pcb t (parser (string_quote \")) (resolution mil 10) (unit mil)\n"
        " (structure (layer Top (type signal)) (layer Bottom (type signal))\n"
        "  (boundary (rect pcb 0 0 5000 5000)) (via V1))\n"
        " (placement (component F (place U1 1000 1000 front 0) (place U2 2000 1000 back 90))\n"
        "  (component R (place R1 3000 3000 front 0)))\n"
        " (library (image F (outline (path signal 5 -50 -50 50 -50 50 50 -50 50 -50 -50))\n"
        "   (pin V1 1 0 0) (pin V1 (rotate 90) 2 100 0) (pin S2 3 -100 0))\n"
        "  (image R (outline (rect signal -20 -20 20 20)) (pin V1 1 0 0))\n"
        "  (padstack V1 (shape (circle Top 20)) (shape (circle Bottom 20)))\n"
        "  (padstack S2 (shape (rect Top -10 -20 10 20)) (attach off)))\n"
        " (network (net A (pins U1-1 U2-1 R1-1)) (net \"B c\" (pins U1-2 U2-3)))\n"
        " (wiring (wire (path Top 10 0 0 100 0 100 100 200 100 200 300) (net A))\n"
        "  (wire (path Bottom 8 5 5 6 6) (net \"B c\") (type protect))\n"
        "  (wire (path Inner9 8 0 0 10 10 20 0) (net A))))\n";
    testfs::TempFolder folder;
    SameWithObjectsMadeAlone("t.dsn", text, folder.path / "board.json");
}

TEST_F(WiringReadAgainText, UnitsChangedBetweenWiresApplyToTheWiresAfterThem) {
    Check("(wire (path Top 10 0 0 100 0) (net A))\n"
          "(unit mm)\n"
          "(wire (path Top 0.2 0 0 1 1) (net A)) (via V1 1 1 (net A))\n"
          "(unit inch) (via V1 0.1 0.1 (net \"B c\"))\n");
}

TEST_F(WiringReadAgainText, CommentsLineBreaksAndQuotesReadTheSame) {
    Check("# a comment line\n"
          "(wire\n (path Top 10\n  0 0\n# between points\n  100 0) (net \"B c\"))\n"
          "(wire (path Bottom 10 0 0 100 0)     (net A)   )\t(via V1 5 5 (net A))\n");
}

TEST_F(WiringReadAgainText, DamagedObjectsReportOnceAndTheRestIsWritten) {
    Check("(wire (path Top 10 0 0 1 1) (net A) (type sometimes))\n"
          "(wire (path Top 10 0 0 x 1) (net A))\n"
          "(via V1 1 1 (net Nowhere) (via_number 300))\n"
          "(wire (path Top 10 0 0 1 1) (net Nowhere) (clearance_class x))\n"
          "(via Unknown 2 2 (net A))\n");
}

TEST_F(WiringReadAgainText, NumberedViasAreKeptWholeAndTheirNumbersStored) {
    Check("(via V1 1 1 (net A) (via_number 3)) (via V1 2 2 (net A))\n"
          "(wire (path Top 10 0 0 1 1) (net A)) (via V1 3 3 (net A) (via_number 3))\n");
}

TEST_F(WiringReadAgainText, TwoWiringSectionsAndAnUnclosedLastWire) {
    Check("(wire (path Top 10 0 0 1 1) (net A)))\n"
          " (wiring (via V1 4 4 (net A)) (wire (path Top 10 0 0 2 2) (net A)\n");
}

TEST_F(WiringReadAgainText, AnIncludedSmallerFileIsReadAgainLikeTheDesignBeforeIt) {
    testfs::TempFolder folder;
    folder.Write("more.dsn",
                 " (wiring (via V1 4 4 (net A)) (wire (path Top 10 0 0 2 2) (net A))))\n");
    const std::string text =
        Design("(net A)", " (wiring (wire (path Bottom 10 0 0 1 1) (net A)) (via V1 1 1 (net A)))\n"
                          " (file \"more.dsn\")\n");
    // Only the design itself is large enough to be read again: the included
    // file's wiring follows the same way, so that the objects keep their order.
    SameBothWays(folder.path / "main.dsn", text, folder.path / "board.json", 64, text.size());
}

} // namespace
