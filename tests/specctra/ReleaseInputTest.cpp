// A parser lets go of the design text once the design is read: it keeps the
// file name and line number for later messages and reads nothing more.
#include "support/ParserTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(ReleaseInput, KeepsNameAndLineAndReadsNothingMore) {
    auto parser = MakeParser("(pcb board1\n  (net GND)\n  (net VCC)\n");
    for (int i = 0; i < 5; ++i)
        parser->NextToken(); // ( PCB BOARD1 ( NET
    const std::string name = parser->Input().FileName();
    const int32_t line = parser->LineNumber();
    EXPECT_EQ(line, 2);
    ASSERT_GT(parser->Input().Size(), 0u);

    parser->ReleaseInput();
    // The last word read stays readable after its text is let go.
    EXPECT_EQ(parser->TokenString(), "NET");
    EXPECT_EQ(parser->Input().Size(), 0u);
    EXPECT_EQ(parser->Input().FileName(), name);
    EXPECT_EQ(parser->LineNumber(), line);
    for (int i = 0; i < 4 && !parser->EndOfFile(); ++i)
        parser->NextToken();
    EXPECT_TRUE(parser->EndOfFile()) << "the released text is read no further";
    EXPECT_NE(parser->TokenString(), "VCC");
}

} // namespace
