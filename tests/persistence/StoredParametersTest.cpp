// Parameter strings of stored data and the chunk identity of the storage wrapper; no engine needed.
#include "board/PCBProcs.h"
#include "persistence/EmbeddedStorageWrapper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

TEST(StoredParameters, ParsesPairsCaseInsensitivelyFirstWins) {
    const TStoredParameters p("Server=Ravel|type=PADSTACK||ID=R_60|Flag|ID=second|Empty=");
    std::string v;
    const std::pair<const char*, const char*> pairs[] = {
        {"SERVER", "Ravel"}, {"Type", "PADSTACK"}, {"id", "R_60"}, {"Flag", ""}, {"Empty", ""}};
    for (const auto& [name, value] : pairs) {
        ASSERT_TRUE(p.Get(name, v)) << name;
        EXPECT_EQ(v, value) << name;
    }
    EXPECT_FALSE(p.Get("Missing", v));
    EXPECT_EQ(p.Size(), 6u);
}

TEST(StoredParameters, SetReplacesOrAppendsAndValuesMayHoldEquals) {
    TStoredParameters p("A=1|B=2");
    p.Set("b", "3");
    p.Set("C", "x=y");
    EXPECT_EQ(p.ToString(), "A=1|B=3|C=x=y");
    std::string v;
    ASSERT_TRUE(TStoredParameters(p.ToString()).Get("c", v));
    EXPECT_EQ(v, "x=y");
    EXPECT_EQ(TStoredParameters("").Size(), 0u);
}

TEST(StoredParameters, AppendedPairsAreFoundAndSetAfterwards) {
    // A record built by appending is looked up and changed like a parsed one:
    // the index catches up with every pair appended since it was last used.
    TStoredParameters p("A=1");
    std::string v;
    ASSERT_TRUE(p.Get("a", v)); // the index covers the parsed pair
    p.Append("0PT", "R");
    p.Append("0PVC", "2");
    ASSERT_TRUE(p.Get("0pvc", v));
    EXPECT_EQ(v, "2");
    p.Append("0PX1", "C350");
    p.Set("0pt", "C");         // replaces the appended pair in place
    p.Set("0PY1", "FFFF3CB0"); // a new name goes at the end
    EXPECT_TRUE(p.Has("0PX1"));
    EXPECT_FALSE(p.Has("0PX0"));
    EXPECT_EQ(p.ToString(), "A=1|0PT=C|0PVC=2|0PX1=C350|0PY1=FFFF3CB0");
    EXPECT_EQ(p.Size(), 5u);
    // A copy carries the pairs the index has not seen yet.
    p.Append("0PD", "13880");
    const TStoredParameters copy = p;
    ASSERT_TRUE(copy.Get("0pd", v));
    EXPECT_EQ(v, "13880");
}

TEST(StoredParameters, ManyParametersStayIndexed) {
    // A via tag with thousands of positions: building and reading it must
    // not slow down with its size.
    TEmbeddedStorageWrapper tag(0, "Type=ViaTag|ID=3");
    const int count = 20000;
    tag.SetState_Parameter("C", std::to_string(count));
    for (int i = 0; i < count; ++i) {
        tag.SetState_Parameter("X" + std::to_string(i), std::to_string(i * 7));
        tag.SetState_Parameter("Y" + std::to_string(i), std::to_string(-i));
    }
    TEmbeddedStorageWrapper copy(0, "Type=ViaTag|ID=3");
    copy.SetState_StorageString(tag.GetState_StorageString());
    std::string v;
    ASSERT_TRUE(copy.GetState_Parameter("x19999", v));
    EXPECT_EQ(v, std::to_string(19999 * 7));
    ASSERT_TRUE(copy.GetState_Parameter("C", v));
    EXPECT_EQ(v, "20000");
    copy.SetState_Parameter("C", "1");
    EXPECT_EQ(copy.GetState_StorageString().rfind("C=1|X0=0|", 0), 0u);
}

TEST(StorageIdentity, ChunkBelongsOnlyToItsOwnTag) {
    const TEmbeddedStorageWrapper tag1(0, "Type=ViaTag|ID=1");
    EXPECT_EQ(tag1.Identity(), "Server=Ravel|Type=ViaTag|ID=1");
    int64_t index = -1;
    EXPECT_TRUE(tag1.BelongsToThis("Server=Ravel|Type=ViaTag|ID=1|ChunkIdx=0", index));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(tag1.BelongsToThis("server=RAVEL|ChunkIdx=7|id=1|TYPE=viatag", index));
    EXPECT_EQ(index, 7);
    for (const char* other :
         {"Server=Ravel|Type=ViaTag|ID=12|ChunkIdx=0", "Server=Other|Type=ViaTag|ID=1|ChunkIdx=0",
          "Server=Ravel|Type=ViaTag|ID=1", "Server=Ravel|Type=ViaTag|ID=1|ChunkIdx=-1",
          "Server=Ravel|Type=ViaTag|ID=1|ChunkIdx=2x", "Server=Ravel|Type=ViaTag|ID=1|ChunkIdx="})
        EXPECT_FALSE(tag1.BelongsToThis(other, index)) << other;
    EXPECT_TRUE(IsOwnEmbeddedName("type=X|SERVER=ravel"));
    for (const char* other : {"Server=Ravel2", ""})
        EXPECT_FALSE(IsOwnEmbeddedName(other)) << other;
}

TEST(StorageWithoutEngine, NothingIsStoredOrFound) {
    ASSERT_FALSE(PCBProcs::BindEngine());
    TEmbeddedStorageWrapper storage(1, "Type=CONSTANTS");
    storage.SetState_StorageString("A=1");
    EXPECT_FALSE(storage.WriteToBoard());
    EXPECT_FALSE(storage.ReadFromBoard());
    EXPECT_EQ(storage.GetState_StorageString(), "");
    EXPECT_EQ(FindEmbeddedObject(1, "CONSTANTS"), 0);
    EXPECT_EQ(DeleteEmbeddedObjects(1), 0);
    EXPECT_TRUE(DescribeEmbeddedObjects(1).empty());
}

} // namespace

TEST(StoredTexts, WhatTheRecordCannotCarryIsEscapedAndComesBack) {
    const std::string texts[] = {
        "",         "plain text 0.25",     "50%",  "a|b=c",  std::string("nul\0inside", 11),
        "cr\rlf\n", "%7C literal",         "%%7C", "%25",    "%",
        "%|%",      std::string("%\0", 2), "%7",   "100%3Dx"};
    for (const std::string& text : texts) {
        const std::string stored = EscapeStoredText(text);
        for (char c : {'|', '=', '\r', '\n', '\0'})
            EXPECT_THAT(stored, Not(HasSubstr(std::string(1, c)))) << text;
        EXPECT_EQ(UnescapeStoredText(stored), text) << stored;
    }
    EXPECT_EQ(EscapeStoredText("W1"), "W1");
    EXPECT_EQ(EscapeStoredText("50% off"), "50% off");
    EXPECT_EQ(EscapeStoredText("a|b=c"), "a%7Cb%3Dc");
    EXPECT_EQ(EscapeStoredText("%7C"), "%257C");
    EXPECT_EQ(UnescapeStoredText("100%"), "100%");
}
