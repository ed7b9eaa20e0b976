// A fixture with a new, empty board of the linked engine per test, closed
// after it; NewBoard makes more boards of names of their own.
#pragma once

#include "support/SampleBoard.h"

#include <gtest/gtest.h>

namespace enginetest {

class NewBoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        board = NewBoard("board");
        ASSERT_NE(board, 0);
    }
    void TearDown() override { Corvane_CloseBoard(board); }

    // A new board named after `stem`; 0, and a failure, when none is made.
    static CorvaneBoard NewBoard(const std::string& stem) {
        char error[256] = {};
        const CorvaneBoard made = Corvane_NewBoard(UniqueName(stem).c_str(), error, sizeof error);
        EXPECT_NE(made, 0) << error;
        return made;
    }

    CorvaneBoard board = 0;
};

} // namespace enginetest
