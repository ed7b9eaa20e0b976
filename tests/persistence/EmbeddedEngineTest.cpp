// Chunked storage in a real board: chunk sizes and indexes, tags that share a
// prefix, foreign objects, chunks in any order and a missing chunk.
#include "board/Pcbclass.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "specctra/SpecctraWriter.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using EmbeddedStorage = enginetest::EngineBoardTest;

// Name -> Description of every embedded object on the board, in board order.
std::vector<std::pair<std::string, std::string>> EmbeddedOnBoard(intptr_t board) {
    std::vector<std::pair<std::string, std::string>> objects;
    for (intptr_t h : CollectItems(board, eEmbeddedObject)) {
        TPcbEmbedded e(h);
        EXPECT_EQ(e.QueryDatabase(1), 1);
        objects.emplace_back(e.Name, e.Description);
    }
    return objects;
}

// A payload whose every character tells its position.
std::string Payload(size_t length) {
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i)
        text += static_cast<char>('A' + (i * 7 + i / 4095) % 26);
    return text;
}

void AddEmbedded(intptr_t board, const std::string& name, const std::string& description) {
    TPcbEmbedded e(PCBProcs::PcbApi_CreateObject(eEmbeddedObject));
    ASSERT_NE(e.ObjectHandle, 0);
    e.Name = name;
    e.Description = description;
    ASSERT_EQ(e.QueryDatabase(0), 1);
    ASSERT_EQ(TPcbBoard(board).AddObject(e.ObjectHandle), 0);
}

// Chunks hold 4095 characters; an exact multiple, and an empty text, end with an empty chunk.
TEST_F(EmbeddedStorage, TextsAreCutIntoChunksOf4095AndComeBackWhole) {
    struct TCase {
        std::string Type;
        size_t Length;
        std::vector<size_t> Sizes;
    };
    const TCase cases[] = {{"CONSTANTS", 10000, {4095, 4095, 1810}},
                           {"PadstackList", 4095, {4095, 0}},
                           {"BoardOffset", 0, {0}}};
    size_t before = 0;
    for (const TCase& c : cases) {
        TEmbeddedStorageWrapper writer(board, "Type=" + c.Type);
        if (c.Length > 0)
            writer.SetState_StorageString(Payload(c.Length));
        ASSERT_TRUE(writer.WriteToBoard());
        const auto objects = EmbeddedOnBoard(board);
        ASSERT_EQ(objects.size(), before + c.Sizes.size()) << c.Type;
        for (size_t i = 0; i < c.Sizes.size(); ++i) {
            EXPECT_EQ(objects[before + i].first,
                      "Server=Ravel|Type=" + c.Type + "|ChunkIdx=" + std::to_string(i));
            EXPECT_EQ(objects[before + i].second.size(), c.Sizes[i]) << c.Type << " " << i;
        }
        before = objects.size();
        TEmbeddedStorageWrapper reader(board, "Type=" + c.Type);
        EXPECT_TRUE(reader.ReadFromBoard()) << c.Type;
        EXPECT_EQ(reader.GetState_StorageString(), Payload(c.Length));
    }
}

// Chunks are put together by index, whatever their order and the case of
// their names; of two chunks with the same index the later one wins.
TEST_F(EmbeddedStorage, ChunksAreAssembledByIndexInAnyOrder) {
    AddEmbedded(board, "Server=Ravel|Type=CONSTANTS|ChunkIdx=2", "ccc");
    AddEmbedded(board, "Server=Ravel|Type=Other|ChunkIdx=1", "zzz");
    AddEmbedded(board, "SERVER=ravel|ChunkIdx=0|TYPE=constants", "aaa");
    AddEmbedded(board, "Server=Ravel|Type=CONSTANTS|ChunkIdx=1", "old");
    AddEmbedded(board, "Server=Ravel|Type=CONSTANTS|ChunkIdx=1", "bbb");
    TEmbeddedStorageWrapper reader(board, "Type=CONSTANTS");
    ASSERT_TRUE(reader.ReadFromBoard());
    EXPECT_EQ(reader.GetState_StorageString(), "aaabbbccc");
}

TEST_F(EmbeddedStorage, GapRaisesMissingChunk) {
    AddEmbedded(board, "Server=Ravel|Type=PADSTACK|ChunkIdx=0", "a");
    AddEmbedded(board, "Server=Ravel|Type=PADSTACK|ChunkIdx=2", "c");
    TEmbeddedStorageWrapper reader(board, "Type=PADSTACK");
    try {
        reader.ReadFromBoard();
        FAIL() << "a gap must raise";
    } catch (const EEmbeddedStorageAssertion& e) {
        EXPECT_STREQ(e.what(), "Missing Chunk: 1");
    }
    EXPECT_EQ(reader.GetState_StorageString(), "");
}

TEST_F(EmbeddedStorage, DeleteKeepsForeignObjectsAndFindLooksByType) {
    TEmbeddedStorageWrapper big(board, "Type=PadstackList");
    big.SetState_StorageString(Payload(9000));
    ASSERT_TRUE(big.WriteToBoard());
    AddEmbedded(board, "Server=Ravel|Type=PADSTACK|ID=R60|IDX=0|PC=1", "pad");
    AddEmbedded(board, "Server=SomeoneElse|Type=PADSTACK", "theirs");
    AddEmbedded(board, "Owner=none", "plain");

    const intptr_t found = FindEmbeddedObject(board, "padstack");
    ASSERT_NE(found, 0);
    TPcbEmbedded e(found);
    ASSERT_EQ(e.QueryDatabase(1), 1);
    EXPECT_EQ(e.Description, "pad");
    EXPECT_EQ(FindEmbeddedObject(board, "ViaTag"), 0);

    const std::vector<std::string> listing = DescribeEmbeddedObjects(board);
    ASSERT_EQ(listing.size(), 6u);
    EXPECT_EQ(listing[5], "Name:         Owner=none\n\rDescription: plain");
    // Written to a file, each text is a line of the writer followed by an
    // empty line, both ended by CR LF.
    const testfs::TempFolder scratch;
    {
        TSpecctraWriter writer((scratch / "listing").string());
        WriteEmbeddedListing(board, writer);
    }
    const std::string all = testfs::ReadFile(scratch / "listing");
    EXPECT_THAT(
        all,
        HasSubstr("Name:         Server=SomeoneElse|Type=PADSTACK\n\rDescription: theirs\r\n\r\n"));
    EXPECT_EQ(all.substr(all.size() - 48),
              "Name:         Owner=none\n\rDescription: plain\r\n\r\n");
    EXPECT_THAT(all, Not(HasSubstr("\n\n")));

    EXPECT_EQ(DeleteEmbeddedObjects(board), 4);
    const auto left = EmbeddedOnBoard(board);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].second, "theirs");
    EXPECT_EQ(left[1].second, "plain");
    EXPECT_EQ(FindEmbeddedObject(board, "PADSTACK"), 0);
    TEmbeddedStorageWrapper gone(board, "Type=PadstackList");
    EXPECT_FALSE(gone.ReadFromBoard());
    EXPECT_EQ(DeleteEmbeddedObjects(board), 0);
}

} // namespace
