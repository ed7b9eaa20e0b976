// Chunked storage in a real board: chunk sizes and indexes, tags that share a
// prefix, foreign objects, chunks in any order and a missing chunk.
#include "board/Pcbclass.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "specctra/SpecctraWriter.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

TEST_F(EmbeddedStorage, TenThousandCharactersMakeThreeChunks) {
    const std::string payload = Payload(10000);
    TEmbeddedStorageWrapper writer(board, "Type=CONSTANTS");
    writer.SetState_StorageString(payload);
    ASSERT_TRUE(writer.WriteToBoard());

    const auto objects = EmbeddedOnBoard(board);
    ASSERT_EQ(objects.size(), 3u);
    std::map<std::string, size_t> sizeByIndex;
    for (const auto& [name, description] : objects) {
        const TStoredParameters p(name);
        std::string server, type, index;
        ASSERT_TRUE(p.Get("Server", server) && p.Get("Type", type) && p.Get("ChunkIdx", index));
        EXPECT_EQ(server, "Ravel");
        EXPECT_EQ(type, "CONSTANTS");
        sizeByIndex[index] = description.size();
    }
    EXPECT_EQ(sizeByIndex, (std::map<std::string, size_t>{{"0", 4095}, {"1", 4095}, {"2", 1810}}));

    TEmbeddedStorageWrapper reader(board, "Type=CONSTANTS");
    ASSERT_TRUE(reader.ReadFromBoard());
    EXPECT_EQ(reader.GetState_StorageString(), payload);
}

TEST_F(EmbeddedStorage, ExactMultipleEndsWithAnEmptyChunk) {
    TEmbeddedStorageWrapper exact(board, "Type=PadstackList");
    exact.SetState_StorageString(Payload(4095));
    ASSERT_TRUE(exact.WriteToBoard());
    auto objects = EmbeddedOnBoard(board);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].second.size(), 4095u);
    EXPECT_EQ(objects[1].second, "");
    TEmbeddedStorageWrapper reader(board, "Type=PadstackList");
    ASSERT_TRUE(reader.ReadFromBoard());
    EXPECT_EQ(reader.GetState_StorageString(), Payload(4095));

    TEmbeddedStorageWrapper empty(board, "Type=BoardOffset");
    ASSERT_TRUE(empty.WriteToBoard());
    objects = EmbeddedOnBoard(board);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[2].first, "Server=Ravel|Type=BoardOffset|ChunkIdx=0");
    EXPECT_EQ(objects[2].second, "");
    TEmbeddedStorageWrapper emptyReader(board, "Type=BoardOffset");
    EXPECT_TRUE(emptyReader.ReadFromBoard());
    EXPECT_EQ(emptyReader.GetState_StorageString(), "");
}

TEST_F(EmbeddedStorage, ViaTagOneIgnoresViaTagTwelve) {
    TEmbeddedStorageWrapper tag12(board, "Type=ViaTag|ID=12");
    tag12.SetState_Parameter("C", "1");
    tag12.SetState_Parameter("X0", "1F4");
    tag12.SetState_Parameter("Y0", "-A");
    ASSERT_TRUE(tag12.WriteToBoard());

    TEmbeddedStorageWrapper tag1(board, "Type=ViaTag|ID=1");
    EXPECT_FALSE(tag1.ReadFromBoard());
    EXPECT_EQ(tag1.GetState_StorageString(), "");

    tag1.SetState_Parameter("C", "0");
    ASSERT_TRUE(tag1.WriteToBoard());
    TEmbeddedStorageWrapper again1(board, "Type=ViaTag|ID=1");
    ASSERT_TRUE(again1.ReadFromBoard());
    EXPECT_EQ(again1.GetState_StorageString(), "C=0");
    TEmbeddedStorageWrapper again12(board, "type=viatag|id=12");
    ASSERT_TRUE(again12.ReadFromBoard());
    std::string x;
    ASSERT_TRUE(again12.GetState_Parameter("X0", x));
    EXPECT_EQ(x, "1F4");
}

TEST_F(EmbeddedStorage, ChunksAreAssembledByIndexInAnyOrder) {
    AddEmbedded(board, "Server=Ravel|Type=CONSTANTS|ChunkIdx=2", "ccc");
    AddEmbedded(board, "Server=Ravel|Type=Other|ChunkIdx=1", "zzz");
    AddEmbedded(board, "SERVER=ravel|ChunkIdx=0|TYPE=constants", "aaa");
    AddEmbedded(board, "Server=Ravel|Type=CONSTANTS|ChunkIdx=1", "bbb");
    TEmbeddedStorageWrapper reader(board, "Type=CONSTANTS");
    ASSERT_TRUE(reader.ReadFromBoard());
    EXPECT_EQ(reader.GetState_StorageString(), "aaabbbccc");
}

TEST_F(EmbeddedStorage, LaterChunkOfTheSameIndexWins) {
    AddEmbedded(board, "Server=Ravel|Type=T|ChunkIdx=0", "old");
    AddEmbedded(board, "Server=Ravel|Type=T|ChunkIdx=0", "new");
    TEmbeddedStorageWrapper reader(board, "Type=T");
    ASSERT_TRUE(reader.ReadFromBoard());
    EXPECT_EQ(reader.GetState_StorageString(), "new");
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
    const std::filesystem::path file = scratch / "listing";
    {
        TSpecctraWriter writer(file.string());
        WriteEmbeddedListing(board, writer);
    }
    std::ifstream in(file, std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
