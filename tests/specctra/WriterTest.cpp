#include "specctra/SpecctraWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

class WriterTest : public ::testing::Test {
protected:
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(Folder), fs::directory_iterator()));
    }

    testfs::TempFolder Scratch;
    const fs::path Folder = Scratch.path;
};

// The space marker becomes the unit separator; an empty line and
// indentation that never goes below zero.
TEST_F(WriterTest, SpaceMarkerEmptyLineAndNegativeIndentation) {
    TSpecctraWriter writer((Folder / "x.ses").string());
    writer.Writeln("(net Vcc~SP~3v3 ~SP", false);
    writer.Writeln("(net A\037B)", false);
    writer.Writeln("", true);
    writer.UnIndent(1);
    writer.Write("a", true);
    writer.Indent(1);
    EXPECT_EQ(writer.Indentation(), 0);
    writer.Write("b", true);
    writer.Indent(1);
    writer.Write("c", true);
    writer.ResetIndentation();
    writer.Write("d", true);
    EXPECT_EQ(writer.Buffer(), "(net Vcc\0373v3 ~SP\r\n(net A\037B)\r\n\r\nab  cd");
}

TEST_F(WriterTest, NothingWrittenGivesAnEmptyFileAndReplacesOldContent) {
    const fs::path path = Scratch.Write("old.rte", "previous content");
    { TSpecctraWriter writer(path.string()); }
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(FilesInFolder(), 1u); // no temporary file left
}

TEST_F(WriterTest, FlushKeepsTheBufferAndCanBeRepeated) {
    const fs::path path = Folder / "twice.ses";
    TSpecctraWriter writer(path.string());
    writer.Writeln("(session x)", false);
    writer.Flush();
    EXPECT_EQ(testfs::ReadFile(path), "(session x)\r\n");
    writer.Writeln("(more)", false);
    writer.Flush();
    EXPECT_EQ(testfs::ReadFile(path), "(session x)\r\n(more)\r\n");
}

TEST_F(WriterTest, FailureNamesTheFileAndLeavesNothingBehind) {
    const fs::path path = Folder / "missing-folder" / "board.rte";
    TSpecctraWriter writer(path.string());
    writer.Writeln("(routes)", false);
    try {
        writer.Flush();
        FAIL() << "saving into a missing folder succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(WriterTest, ExceptionDuringTranslationLeavesThePreviousFile) {
    const fs::path path = Scratch.Write("kept.rte", "(routes old)\r\n");
    try {
        TSpecctraWriter writer(path.string());
        writer.Writeln("(routes half", false);
        throw std::runtime_error("translation failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(testfs::ReadFile(path), "(routes old)\r\n");
    EXPECT_EQ(FilesInFolder(), 1u);
}

} // namespace
