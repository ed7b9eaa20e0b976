// A corpus design read into a fresh board of the engine loaded into the test
// process, as the host loads it.
#pragma once

#include "support/Corpus.h"
#include "support/EngineFixture.h"

#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/TranslationState.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corpus {

// A corpus test that also needs the engine; skipped without either.
class CorpusBoardTest : public CorpusTest {
protected:
    void SetUp() override {
        CorpusTest::SetUp();
        if (IsSkipped())
            return;
        const enginetest::EngineLibrary& engine = enginetest::EngineLibrary::Get();
        if (!engine.error.empty())
            GTEST_SKIP() << engine.error;
        ASSERT_TRUE(PCBProcs::BindEngine());
    }
};

// The corpus read in four shards (every fourth design, from the parameter's
// design on), so that each stays well inside a test's time limit under the
// sanitizers on a busy machine.
class CorpusShardTest : public CorpusBoardTest, public ::testing::WithParamInterface<int> {
public:
    static constexpr int kShards = 4;

protected:
    void SetUp() override {
        CorpusBoardTest::SetUp();
        if (IsSkipped())
            return;
        std::vector<fs::path> shard;
        for (std::size_t i = static_cast<std::size_t>(GetParam()); i < files.size(); i += kShards)
            shard.push_back(files[i]);
        files.swap(shard);
    }
};

// Reads a design (the file, or `text` in its place) on a new board; Write()
// puts it on the board. The board is closed when this goes. `prepare` sees
// the design before it reads.
class TImport {
public:
    explicit TImport(const fs::path& file, const std::string* text = nullptr,
                     const std::function<void(TSpecctraDesign&)>& prepare = {})
        : host("corpus-" + std::to_string(++serial) + ".pcbdoc"), board(host.board) {
        ResetTranslationState();
        parser = text ? std::make_unique<TSpecctraParser>(
                            std::make_unique<TInputFile>(file.string(), *text))
                      : std::make_unique<TSpecctraParser>(file.string());
        parser->RegisterKeywords();
        design = std::make_unique<TSpecctraDesign>(file.string(), parser.get(), nullptr, board);
        if (prepare)
            prepare(*design);
        try {
            read = design->ImportFromFile();
        } catch (const std::exception& error) {
            ADD_FAILURE() << file << ": " << error.what();
        }
    }
    ~TImport() { design.reset(); } // before its board closes

    bool Write() {
        try {
            return design->ExportToPCB();
        } catch (const std::exception& error) {
            ADD_FAILURE() << design->FileName() << ": " << error.what();
            return false;
        }
    }
    const std::vector<std::string>& Report() const { return design->Report()->Events(); }

    static inline int serial = 0;
    enginetest::TNewBoard host;
    const intptr_t board;
    std::unique_ptr<TSpecctraParser> parser;
    std::unique_ptr<TSpecctraDesign> design;
    bool read = false;
};

} // namespace corpus
