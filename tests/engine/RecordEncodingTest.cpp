// The compact form in which documents keep records (BlobWriter, BlobReader):
// values at the edges of their ranges come back bit for bit, and a record cut
// short, a varint longer than its value allows or a count beyond what is left
// is refused. The order of a per-layer table's runs is checked as it is for
// every version (DocumentVersionTest). Record texts are kept once each.
#include "engine/Records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace corvane;

namespace {

constexpr int kCompact = 3; // the document version that holds this form

// One field of every type that records hold.
struct Sample {
    int32_t i = 0;
    double d = 0.0;
    std::string s;
    Interned name;
    Ref ref;
    PcbApiLayerSet layers{};
    std::vector<int32_t> list;
    std::vector<std::string> texts;
    PadLayerTable table;
    template <class V> void visit(V& v) {
        v("i", i);
        v("d", d);
        v("s", s);
        v("name", name);
        v("ref", ref);
        v("layers", layers);
        v("list", list);
        v("texts", texts);
        v("table", table);
    }
};

std::string Write(Sample& sample) {
    BlobWriter w([](intptr_t handle) { return static_cast<int64_t>(handle); });
    sample.visit(w);
    return std::string(w.Bytes());
}

// True when `bytes` read whole as one record of T, nothing left over.
template <class T> bool Reads(const std::string& bytes, T& into) {
    BlobReader r(bytes.data(), bytes.size(), kCompact);
    into.visit(r);
    return !r.bad && r.AtEnd();
}

template <class T> struct One {
    T v{};
    template <class V> void visit(V& visitor) { visitor("v", v); }
};
template <class T> bool ReadsAs(const std::string& bytes) {
    One<T> one;
    return Reads(bytes, one);
}

double Bits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

PadLayerTable TableOf(std::initializer_list<std::pair<int, PadLayerEntry>> entries) {
    PadLayerTable t;
    for (const auto& [layer, entry] : entries)
        t.Set(layer, entry);
    return t;
}

} // namespace

TEST(EngineRecordEncoding, ValuesAtTheEdgesComeBackBitForBit) {
    using L = std::numeric_limits<double>;
    const int32_t ints[] = {0, 1, -1, 63, -64, 64, -65, 1967125984, INT32_MAX, INT32_MIN};
    const double doubles[] = {0.0,
                              -0.0,
                              1.0,
                              -1.0,
                              90.0,
                              0.5,
                              -123.25,
                              2147483647.0,
                              -2147483648.0,
                              2147483648.0,
                              -2147483649.0,
                              1e300,
                              L::denorm_min(),
                              L::infinity(),
                              -L::infinity(),
                              L::quiet_NaN(),
                              Bits(0xFFF8000000000123)};
    const std::string strings[] = {
        "", "1", "DIP4", std::string("a\0b", 3), std::string(200, 'x'), std::string(70000, 'y')};
    const int64_t refs[] = {0, 1, 127, 128, 10000005, INT64_MAX};
    const PcbApiLayerSet layerSets[] = {
        {{0, 0}}, {{1, 0}}, {{0, uint64_t{1} << 63}}, {{~uint64_t{0}, ~uint64_t{0}}}};
    const std::vector<int32_t> lists[] = {{}, {INT32_MIN, 0, INT32_MAX}};
    const std::vector<std::string> textLists[] = {{}, {"", "net"}};
    const PadLayerTable tables[] = {
        PadLayerTable(), TableOf({{5, {9, INT32_MAX, 0, 100}}, {82, {-1, INT32_MIN, 1, -5}}}),
        TableOf({{0, {1, 2, 3, 4}}, {1, {2, 3, 4, 5}}})};
    for (size_t k = 0; k < std::size(doubles); ++k) {
        Sample in;
        in.i = ints[k % std::size(ints)];
        in.d = doubles[k];
        in.s = strings[k % std::size(strings)];
        in.name = strings[(k + 1) % std::size(strings)];
        in.ref.handle = static_cast<intptr_t>(refs[k % std::size(refs)]);
        in.layers = layerSets[k % std::size(layerSets)];
        in.list = lists[k % std::size(lists)];
        in.texts = textLists[k % std::size(textLists)];
        in.table = tables[k % std::size(tables)];
        const std::string bytes = Write(in);
        Sample out;
        ASSERT_TRUE(Reads(bytes, out)) << "case " << k;
        EXPECT_EQ(out.i, in.i) << k;
        EXPECT_TRUE(SameBits(out.d, in.d)) << k << ": " << in.d << " came back as " << out.d;
        EXPECT_EQ(out.s, in.s) << k;
        EXPECT_EQ(out.name.str(), in.name.str()) << k;
        EXPECT_EQ(out.ref.handle, in.ref.handle) << k;
        EXPECT_EQ(std::memcmp(&out.layers, &in.layers, sizeof in.layers), 0) << k;
        EXPECT_EQ(out.list, in.list) << k;
        EXPECT_EQ(out.texts, in.texts) << k;
        PadLayers wrote, read;
        in.table.Expand(wrote);
        out.table.Expand(read);
        EXPECT_TRUE(wrote == read) << k;
        // Every field takes a byte at least: no record cut short reads whole.
        for (size_t n = 0; n < bytes.size(); ++n) {
            Sample cut;
            ASSERT_FALSE(Reads(bytes.substr(0, n), cut)) << k << " cut to " << n << " bytes";
        }
    }
}

TEST(EngineRecordEncoding, DamagedFieldsAreRefused) {
    struct Case {
        const char* what;
        bool (*read)(const std::string&);
        std::string bytes;
        bool ok;
    };
    using Table = PadLayerTable;
    const std::string ten(9, '\x80');
    const Case cases[] = {
        {"int32: nothing", ReadsAs<int32_t>, "", false},
        {"int32: varint past the end", ReadsAs<int32_t>, "\x80", false},
        {"int32: six bytes", ReadsAs<int32_t>, std::string("\x80\x80\x80\x80\x80\x00", 6), false},
        {"int32: a 33rd bit", ReadsAs<int32_t>, "\xFF\xFF\xFF\xFF\x10", false},
        {"int32: the lowest", ReadsAs<int32_t>, "\xFF\xFF\xFF\xFF\x0F", true},
        {"double: an even tag", ReadsAs<double>, "\x02", false},
        {"double: bytes cut short", ReadsAs<double>, std::string("\0\1\2", 3), false},
        {"double: a 34th bit", ReadsAs<double>, "\xFF\xFF\xFF\xFF\x3F", false},
        {"double: the lowest whole", ReadsAs<double>, "\xFF\xFF\xFF\xFF\x1F", true},
        {"ref: eleven bytes", ReadsAs<Ref>, ten + "\x80" + std::string(1, '\0'), false},
        {"ref: a 65th bit", ReadsAs<Ref>, ten + "\x02", false},
        {"ref: all 64 bits", ReadsAs<Ref>, std::string(9, '\xFF') + "\x01", true},
        {"string: longer than what is left", ReadsAs<std::string>, std::string(1, '\x05') + "abc",
         false},
        {"string: a length past the end", ReadsAs<std::string>, "\x83", false},
        {"strings: more than what is left", ReadsAs<std::vector<std::string>>, "\x03\x00\x00",
         false},
        {"list: elements cut short", ReadsAs<std::vector<int32_t>>, "\x02" + std::string(7, 'a'),
         false},
        {"layer set: a third word", ReadsAs<PcbApiLayerSet>, "\x04", false},
        {"layer set: a word missing", ReadsAs<PcbApiLayerSet>, "\x01", false},
        {"layer set: one word", ReadsAs<PcbApiLayerSet>, "\x01\x01", true},
        {"table: one run", ReadsAs<Table>, std::string("\x01\0\0\0\0\0", 6), true},
        {"table: no runs", ReadsAs<Table>, std::string(1, '\0'), false},
        {"table: more runs than layers", ReadsAs<Table>, "\x54" + std::string(84 * 5, '\0'), false},
        {"table: more runs than the record holds", ReadsAs<Table>, "\x02" + std::string(7, '\0'),
         false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.read(c.bytes), c.ok) << c.what;
}

// Record texts are kept once each: a board of 10^5 components names as many
// designators, next to pad names that recur on every component.
TEST(EngineRecordEncoding, InternedTextsAreKeptOnceAndComeBackAsWritten) {
    std::vector<Interned> designators;
    for (int i = 0; i < 100000; ++i)
        designators.emplace_back("R" + std::to_string(i));
    for (int i = 0; i < 100000; i += 997) {
        const std::string text = "R" + std::to_string(i);
        ASSERT_EQ(designators[i].str(), text);
        // The same text again is the same kept text; another case is another.
        const Interned again(text);
        EXPECT_EQ(&again.str(), &designators[i].str());
        const Interned lower("r" + std::to_string(i));
        EXPECT_EQ(lower.str(), "r" + std::to_string(i));
        EXPECT_NE(&lower.str(), &designators[i].str());
    }
    const Interned pad("1"), samePad(std::string_view("10").substr(0, 1)), none("");
    EXPECT_EQ(&pad.str(), &samePad.str());
    EXPECT_EQ(none.str(), "");
    EXPECT_EQ(&none.str(), &Interned().str());
}
