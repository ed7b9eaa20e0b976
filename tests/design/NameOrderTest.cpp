// The network's name-ordered lists and the name index under them: look-ups
// with and without regard to case, the order by name, and names that share
// their hash or their first eight bytes.
#include "design/NetworkSection.h"
#include "specctra/NameIndex.h"
#include "specctra/SpecctraObject.h"
#include "specctra/TranslationState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct TNamed {
    explicit TNamed(std::string name) : NameID(std::move(name)) {}
    std::string NameID;
};

std::vector<std::string> NamesOf(const std::vector<TNamed*>& items) {
    std::vector<std::string> names;
    for (const TNamed* item : items)
        names.push_back(item->NameID);
    return names;
}

TNamed* Take(TCaseSortedList<TNamed>& list, const std::string& name) {
    auto object = std::make_unique<TNamed>(name);
    return list.Add(object);
}

TEST(NamePrefixKey, OrdersAsBytesAndTiesOnlyOnEqualFirstEightBytes) {
    const std::vector<std::string> names = {
        "",       "A",        "a",         "AB",          std::string("AB\0", 3),
        "AB\x01", "ABCDEFGH", "ABCDEFGH1", "ABCDEFGHZZZ", "\xC3\xA9t\xC3\xA9",
        "z"};
    for (const std::string& a : names)
        for (const std::string& b : names) {
            const uint64_t ka = NamePrefixKey(a), kb = NamePrefixKey(b);
            // Equal keys only for names whose first eight bytes, padded
            // with zeros, are equal.
            const auto padded = [](const std::string& name) {
                return (name + std::string(8, '\0')).substr(0, 8);
            };
            EXPECT_EQ(ka == kb, padded(a) == padded(b)) << a << " / " << b;
            if (ka != kb) {
                EXPECT_EQ(ka < kb, a < b) << a << " / " << b;
            }
        }
}

TEST(CaseSortedList, OrdersByBytesWithNamesThatShareTheirFirstEightBytes) {
    TCaseSortedList<TNamed> list;
    std::vector<std::string> names = {"NET_ABCDEFGH2",
                                      "NET_ABCDEFGH10",
                                      "NET_ABCD",
                                      "NET_ABCDEFGH",
                                      "net_abcdefgh",
                                      "Net",
                                      "NET",
                                      "net",
                                      "",
                                      std::string("AB\0", 3),
                                      "AB",
                                      "AB\x01",
                                      "\xC3\xA9",
                                      "~",
                                      "12345678",
                                      "123456789"};
    for (const std::string& name : names)
        ASSERT_NE(Take(list, name), nullptr) << name;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(NamesOf(list.Ordered()), names);

    // Many names that share long prefixes, in a shuffled order; the order
    // is made again after every addition.
    std::mt19937 random(7);
    std::vector<std::string> more;
    for (int i = 0; i < 3000; ++i)
        more.push_back((i % 3 == 0   ? "SIGNAL_BUS_"
                        : i % 3 == 1 ? "signal_bus_"
                                     : "SIG") +
                       std::to_string(i * 7919 % 1000) + (i % 2 ? "_N" : "_P") + std::to_string(i));
    std::shuffle(more.begin(), more.end(), random);
    for (const std::string& name : more)
        ASSERT_NE(Take(list, name), nullptr) << name;
    names.insert(names.end(), more.begin(), more.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(NamesOf(list.Ordered()), names);
    ASSERT_NE(Take(list, "NET_ABCDEFGH0"), nullptr);
    names.insert(std::upper_bound(names.begin(), names.end(), "NET_ABCDEFGH0"), "NET_ABCDEFGH0");
    EXPECT_EQ(NamesOf(list.Ordered()), names);
}

TEST(CaseSortedList, ExactNamesAreRefusedAndTheFirstSpellingAnswersInAnyCase) {
    TCaseSortedList<TNamed> list;
    EXPECT_EQ(list.Find("GND"), nullptr);
    EXPECT_EQ(list.FindAnyCase("GND"), nullptr);
    TNamed* lower = Take(list, "gnd");
    TNamed* upper = Take(list, "GND");
    ASSERT_NE(lower, nullptr);
    ASSERT_NE(upper, nullptr);
    auto again = std::make_unique<TNamed>("GND");
    EXPECT_EQ(list.Add(again), nullptr);
    EXPECT_NE(again, nullptr); // refused, still held by the caller
    TNamed* empty = Take(list, "");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(Take(list, ""), nullptr);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Find("GND"), upper);
    EXPECT_EQ(list.Find("gnd"), lower);
    EXPECT_EQ(list.Find("Gnd"), nullptr);
    EXPECT_EQ(list.Find(""), empty);
    EXPECT_EQ(list.FindAnyCase("Gnd"), lower);
    EXPECT_EQ(list.FindAnyCase("GND"), lower);

    // Spellings of one name taken in turn while the index grows many times:
    // each name in any case answers the spelling taken first.
    std::vector<TNamed*> first;
    for (int i = 0; i < 20000; ++i) {
        std::string name = "Net" + std::to_string(i);
        if (i % 2)
            std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        first.push_back(Take(list, name));
        ASSERT_NE(first.back(), nullptr);
        if (i % 5 == 0) {
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            ASSERT_NE(Take(list, name), nullptr) << name;
        }
    }
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "nEt" + std::to_string(i);
        ASSERT_EQ(list.FindAnyCase(name), first[i]) << name;
        ASSERT_EQ(list.Find(name), nullptr) << name;
    }
    EXPECT_EQ(list.FindAnyCase("net20000"), nullptr);
}

TEST(NamePositionIndex, NamesWhoseHashesAreEqualAreToldApartByTheirText) {
    // Every name gets one hash: the whole probe runs on tag matches, and the
    // text alone decides.
    const std::vector<std::string> names = {"A", "B", "C", "a", "D", "E", "F", "G", "H", "I"};
    const uint64_t hash = 0x1234567800000003ull;
    TNamePositionIndex index;
    for (uint32_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(index.FindOrInsert(hash, i, [&](uint32_t at) { return names[at] == names[i]; }),
                  -1);
    for (uint32_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(index.Find(hash, [&](uint32_t at) { return names[at] == names[i]; }), i);
        EXPECT_EQ(index.FindOrInsert(hash, 99, [&](uint32_t at) { return names[at] == names[i]; }),
                  i);
    }
    EXPECT_EQ(index.Find(hash, [&](uint32_t at) { return names[at] == "Z"; }), -1);
    // Several names answer: the lowest position wins, wherever it was probed.
    EXPECT_EQ(index.FindLowest(hash, [&](uint32_t at) { return at >= 4; }), 4);
    EXPECT_EQ(index.FindLowest(hash, [&](uint32_t at) { return at % 3 == 2; }), 2);
    EXPECT_EQ(index.FindLowest(hash, [](uint32_t) { return false; }), -1);
    index.Erase(hash, [&](uint32_t at) { return at == 2; });
    EXPECT_EQ(index.FindLowest(hash, [&](uint32_t at) { return at % 3 == 2; }), 5);
    EXPECT_EQ(index.Find(hash, [&](uint32_t at) { return at == 9; }), 9);
    // A hash that differs only in the tag bits above the slot starts at the
    // same slot and must not answer.
    const uint64_t other = hash ^ 0x8000000000000000ull;
    EXPECT_EQ(index.Find(other, [](uint32_t) { return true; }), -1);
    EXPECT_EQ(index.FindLowest(other, [](uint32_t) { return true; }), -1);
    TNamePositionIndex empty;
    EXPECT_EQ(empty.FindLowest(hash, [](uint32_t) { return true; }), -1);
}

TEST(NamePositionIndex, ShrinkingACompleteIndexKeepsEveryNameAndTakesMoreAfter) {
    // Names 0..n-1, hashed so that neighbours share their start slot often
    // (runs of probes cross the table's end after shrinking).
    const auto hashOf = [](uint32_t i) { return (uint64_t{i / 3} * 0x9E3779B97F4A7C15ull) | 1u; };
    const auto same = [](uint32_t wanted) {
        return [wanted](uint32_t at) { return at == wanted; };
    };
    TNamePositionIndex index;
    const uint32_t count = 2'100'000 / 2 + 1; // just past a power of two at half full
    for (uint32_t i = 0; i < count; ++i)
        ASSERT_EQ(index.FindOrInsert(hashOf(i), i, same(i)), -1);
    for (uint32_t i = 0; i < count; i += 10)
        index.Erase(hashOf(i), same(i));
    const std::size_t grown = index.SlotCount();
    index.Shrink();
    // The smallest table at most three quarters full.
    const std::size_t live = count - (count + 9) / 10;
    EXPECT_LT(index.SlotCount(), grown);
    EXPECT_LE(live * 4, index.SlotCount() * 3);
    EXPECT_GT(live * 4, index.SlotCount() / 2 * 3);
    for (uint32_t i = 0; i < count; ++i)
        ASSERT_EQ(index.Find(hashOf(i), same(i)), i % 10 == 0 ? -1 : int64_t{i}) << i;
    // A name added after shrinking finds room again, and the rest stay.
    for (uint32_t i = count; i < count + 1000; ++i)
        ASSERT_EQ(index.FindOrInsert(hashOf(i), i, same(i)), -1);
    for (uint32_t i = 1; i < count + 1000; i += 997)
        EXPECT_EQ(index.Find(hashOf(i), same(i)), i % 10 == 0 ? -1 : int64_t{i}) << i;
    // An index already small enough, or empty, is left as it is.
    const std::size_t small = index.SlotCount();
    index.Shrink();
    EXPECT_EQ(index.SlotCount(), small);
    TNamePositionIndex empty;
    empty.Shrink();
    EXPECT_EQ(empty.SlotCount(), 0u);
}

TEST(PinToNetIndex, ATableOfManyMegabytesKeepsEveryReferenceThroughCompaction) {
    // Large enough that the slots and the entries take room of their own
    // (huge pages where the system has them) and grow through it.
    TSpecctraObject even(nullptr), odd(nullptr);
    TPinToNetIndex index;
    const int count = 300000;
    auto pin = [](int i) { return "U" + std::to_string(i / 8) + "-" + std::to_string(i % 8); };
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(index.Add(pin(i), i % 2 ? &odd : &even));
    index.Compact();
    for (int i = 0; i < count; ++i) {
        const std::string reference = pin(i);
        index.Prefetch(reference);
        ASSERT_EQ(index.Find(reference), i % 2 ? &odd : &even) << reference;
    }
    index.Prefetch("U0-8");
    EXPECT_EQ(index.Find("U0-8"), nullptr);
    EXPECT_EQ(index.Find("u37499-7"), &odd);
    EXPECT_EQ(index.Count(), static_cast<std::size_t>(count));
}

} // namespace
