// Loads the engine library into the test process (as the host does) and makes
// fresh boards through its host-side interface. The library path defaults to
// the build's bin folder; DSNLINK_ENGINE_LIBRARY overrides it.
#pragma once

#include "board/PCBProcs.h"
#include "sdk/CorvaneEngine.h"

#include <gtest/gtest.h>

#include <string>

namespace enginetest {

struct EngineLibrary {
    void* module = nullptr;
    std::string error;
    decltype(&Corvane_NewBoard) newBoard = nullptr;
    decltype(&Corvane_CloseBoard) closeBoard = nullptr;
    decltype(&Corvane_SetCurrentBoard) setCurrentBoard = nullptr;

    static EngineLibrary& Get() {
        static EngineLibrary library;
        return library;
    }

private:
    EngineLibrary();
};

// A new board of the loaded engine, closed when this goes.
struct TNewBoard {
    explicit TNewBoard(const std::string& name = "scratch.pcbdoc") {
        char error[256] = {};
        board = EngineLibrary::Get().newBoard(name.c_str(), error, sizeof error);
        EXPECT_NE(board, 0) << error;
    }
    ~TNewBoard() {
        if (board != 0)
            EngineLibrary::Get().closeBoard(board);
    }
    TNewBoard(const TNewBoard&) = delete;
    TNewBoard& operator=(const TNewBoard&) = delete;
    intptr_t board = 0;
};

// A fixture with one new, current board per test.
class EngineBoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        EngineLibrary& engine = EngineLibrary::Get();
        if (!engine.error.empty())
            GTEST_SKIP() << engine.error;
        ASSERT_TRUE(PCBProcs::BindEngine());
        static int serial = 0;
        const std::string name = "engine-test-" + std::to_string(++serial) + ".pcbdoc";
        char error[256] = {};
        board = engine.newBoard(name.c_str(), error, sizeof error);
        ASSERT_NE(board, 0) << error;
        engine.setCurrentBoard(board);
        fileName = name;
    }
    void TearDown() override {
        if (board != 0)
            EngineLibrary::Get().closeBoard(board);
    }

    intptr_t board = 0;
    std::string fileName;
};

} // namespace enginetest
