// Record visitors: a compact binary form of a record (what a board document
// keeps in its objects table) and the JSON form of the board dump.
#pragma once

#include "engine/Model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

namespace corvane {

// Documents of version 3 keep whole numbers as LEB128 varints: seven bits a
// byte, lowest first, the top bit set on every byte but the last. Signed
// values are zigzagged first (0, -1, 1, -2... as 0, 1, 2, 3...), so that small
// negative ones stay short too.
namespace varint {

inline uint32_t ZigZag(int32_t v) {
    return (static_cast<uint32_t>(v) << 1) ^ (v < 0 ? ~0u : 0u);
}
inline int32_t UnZigZag(uint32_t u) {
    return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1)));
}

} // namespace varint

// The fields every object has, at the head of its record in documents of
// version 3 (earlier versions keep them in columns of the objects table).
struct ObjectCommon {
    int32_t layer = 0, bitField = 0, bitField2 = 0, bitField3 = 0, index = 0, moveable = 0;
    int32_t x1 = 0, y1 = 0;
    template <class V> void visit(V& v) {
        v("layer", layer);
        v("bit field", bitField);
        v("bit field 2", bitField2);
        v("bit field 3", bitField3);
        v("index", index);
        v("moveable", moveable);
        v("x1", x1);
        v("y1", y1);
    }
    // The first field outside what the object can hold ("layer 83 is out of
    // range"); empty when every one fits.
    std::string Problem() const {
        const struct {
            const char* name;
            int32_t value, most;
        } bounded[] = {{"layer", layer, kLayerCount - 1}, {"bit field", bitField, 0xFFFF},
                       {"bit field 2", bitField2, 0xFF},  {"bit field 3", bitField3, 0xFFFF},
                       {"index", index, 0xFFFF},          {"moveable", moveable, 1}};
        for (const auto& field : bounded)
            if (field.value < 0 || field.value > field.most)
                return std::string(field.name) + " " + std::to_string(field.value) +
                       " is out of range";
        return {};
    }
};

// Writes a record's fields in the form of documents of version 3: int32 values
// zigzagged and counts and Ref ids plain as varints; a double that holds a
// whole int32 as a varint of that value's zigzag shifted left, with the low
// bit set, any other as a 0 byte and its 8 bytes; a pad's per-layer table as
// its run count and each run's first layer and entry, field by field; a layer
// set as a varint mask of its nonzero words, then those words; the rule
// attributes and the elements of other lists as their bytes. A Ref becomes
// the stable id that `refId` gives (0 for none).
//
// A save writes millions of records through one writer: its buffer only
// grows, and a field is put straight into it.
class BlobWriter {
public:
    explicit BlobWriter(std::function<int64_t(intptr_t)> refId) : refId_(std::move(refId)) {}
    // The record written since the last Clear, until the next write.
    std::string_view Bytes() const { return {buf_.data(), size_}; }
    void Clear() { size_ = 0; }

    // Most whole numbers of a record are small (flags, shapes, zeros): one
    // byte, written without the loop.
    [[gnu::always_inline]] void operator()(const char*, int32_t& v) {
        const uint32_t z = varint::ZigZag(v);
        if (z < 0x80 && size_ < buf_.size()) {
            buf_[size_++] = static_cast<char>(z);
            return;
        }
        Varint(z);
    }
    void operator()(const char*, double& v) {
        if (v >= kInt32Low && v <= kInt32High && v == static_cast<int32_t>(v) &&
            !(v == 0 && std::signbit(v))) {
            Varint((uint64_t{varint::ZigZag(static_cast<int32_t>(v))} << 1) | 1);
            return;
        }
        char* at = Room(9);
        at[0] = 0;
        std::memcpy(at + 1, &v, 8);
        size_ += 9;
    }
    void operator()(const char*, std::string& v) { Str(v); }
    void operator()(const char*, Interned& v) { Str(v.str()); }
    void operator()(const char*, Ref& v) {
        Varint(static_cast<uint64_t>(v.handle ? refId_(v.handle) : 0));
    }
    void operator()(const char*, PcbApiLayerSet& v) {
        uint32_t mask = 0;
        for (size_t i = 0; i < std::size(v.Bits); ++i)
            mask |= v.Bits[i] ? 1u << i : 0u;
        Varint(mask);
        for (uint64_t word : v.Bits)
            if (word)
                Varint(word);
    }
    void operator()(const char*, PadLayerTable& v) {
        const PadLayerTable::Run* runs = v.Runs();
        const int32_t count = v.RunCount();
        Varint(static_cast<uint32_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            const PadLayerTable::Run& run = runs[i];
            Varint(static_cast<uint32_t>(run.first));
            for (int32_t field :
                 {run.entry.shape, run.entry.xSize, run.entry.ySize, run.entry.crPct})
                Varint(varint::ZigZag(field));
        }
    }
    void operator()(const char*, std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT>& v) {
        Raw(v.data(), v.size());
    }
    template <class T> void operator()(const char*, std::vector<T>& v) {
        Varint(v.size());
        if (!v.empty())
            Raw(v.data(), sizeof(T) * v.size());
    }
    void operator()(const char*, std::vector<std::string>& v) {
        Varint(v.size());
        for (auto& s : v)
            Str(s);
    }

private:
    static constexpr double kInt32Low = INT32_MIN, kInt32High = INT32_MAX;
    std::function<int64_t(intptr_t)> refId_;
    std::string buf_; // its size is the room; the record is its first size_ bytes
    size_t size_ = 0;

    // Room for n more bytes, where the next ones go.
    char* Room(size_t n) {
        if (buf_.size() - size_ < n)
            buf_.resize(std::max(2 * buf_.size(), size_ + n + 256));
        return buf_.data() + size_;
    }
    [[gnu::always_inline]] void Varint(uint64_t v) {
        char* const start = Room(10);
        char* at = start;
        while (v >= 0x80) {
            *at++ = static_cast<char>(v | 0x80);
            v >>= 7;
        }
        *at++ = static_cast<char>(v);
        size_ += static_cast<size_t>(at - start);
    }
    void Raw(const void* p, size_t n) {
        std::memcpy(Room(n), p, n);
        size_ += n;
    }
    void Str(std::string_view s) {
        Varint(s.size());
        Raw(s.data(), s.size());
    }
};

// Reads what BlobWriter wrote; any shortfall, impossible count or varint
// longer than its value allows sets `bad`. Refs come back as stable ids in
// Ref::handle, for the caller to resolve. Documents of versions 1 and 2 hold
// their records with every value at its full width, little-endian, and counts
// as 4 bytes; those of version 1 hold a pad's per-layer table whole, one entry
// per layer, those of version 2 its runs as they lie in memory.
class BlobReader {
public:
    BlobReader(const void* data, size_t size, int version)
        : p_(static_cast<const char*>(data)), n_(size), version_(version) {}
    bool bad = false;
    bool AtEnd() const { return pos_ == n_; }

    void operator()(const char*, int32_t& v) {
        if (version_ < 3)
            Raw(&v, 4);
        else
            v = varint::UnZigZag(static_cast<uint32_t>(Varint(32)));
    }
    void operator()(const char*, double& v) {
        if (version_ < 3)
            return Raw(&v, 8);
        const uint64_t tagged = Varint(33);
        if (tagged & 1)
            v = varint::UnZigZag(static_cast<uint32_t>(tagged >> 1));
        else if (tagged == 0)
            Raw(&v, 8);
        else
            Fail(&v, sizeof v);
    }
    void operator()(const char*, std::string& v) { Str(v); }
    void operator()(const char*, Interned& v) {
        std::string s;
        Str(s);
        v = s;
    }
    void operator()(const char*, Ref& v) {
        int64_t id = 0;
        if (version_ < 3)
            Raw(&id, 8);
        else
            id = static_cast<int64_t>(Varint(64));
        v.handle = static_cast<intptr_t>(id);
    }
    void operator()(const char*, PcbApiLayerSet& v) {
        if (version_ < 3)
            return Raw(v.Bits, sizeof v.Bits);
        const uint64_t mask = Varint(static_cast<unsigned>(std::size(v.Bits)));
        for (size_t i = 0; i < std::size(v.Bits); ++i)
            v.Bits[i] = ((mask >> i) & 1) ? Varint(64) : 0;
    }
    void operator()(const char*, PadLayerTable& v) {
        static_assert(sizeof(PadLayerTable::Run) == 20 && sizeof(PadLayerEntry) == 16);
        if (version_ == 1) {
            PadLayers all;
            Raw(all.data(), sizeof(PadLayerEntry) * all.size());
            v.Assign(all);
            return;
        }
        // A run takes 20 bytes at full width, 5 at the least as varints.
        const uint32_t c = Count(version_ < 3 ? sizeof(PadLayerTable::Run) : 5);
        PadLayerTable::Run runs[kLayerCount];
        if (bad || c > kLayerCount) {
            bad = true;
            return;
        }
        if (version_ < 3) {
            Raw(runs, sizeof(PadLayerTable::Run) * c);
        } else {
            for (uint32_t i = 0; i < c; ++i) {
                runs[i].first = static_cast<int32_t>(Varint(32));
                for (int32_t* field : {&runs[i].entry.shape, &runs[i].entry.xSize,
                                       &runs[i].entry.ySize, &runs[i].entry.crPct})
                    *field = varint::UnZigZag(static_cast<uint32_t>(Varint(32)));
            }
        }
        if (!bad && !v.AssignRuns(runs, static_cast<int32_t>(c)))
            bad = true;
    }
    void operator()(const char*, std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT>& v) {
        Raw(v.data(), v.size());
    }
    template <class T> void operator()(const char*, std::vector<T>& v) {
        uint32_t c = Count(sizeof(T));
        v.resize(c);
        if (c)
            Raw(v.data(), sizeof(T) * c);
    }
    void operator()(const char*, std::vector<std::string>& v) {
        // A string takes its 4-byte length at full width, 1 byte at the least
        // as a varint.
        uint32_t c = Count(version_ < 3 ? 4 : 1);
        v.resize(c);
        for (auto& s : v)
            Str(s);
    }

private:
    const char* p_;
    size_t n_;
    int version_;
    size_t pos_ = 0;
    void Fail(void* dst, size_t n) {
        bad = true;
        std::memset(dst, 0, n);
    }
    void Raw(void* dst, size_t n) {
        if (bad || n > n_ - pos_)
            return Fail(dst, n);
        std::memcpy(dst, p_ + pos_, n);
        pos_ += n;
    }
    // A varint whose value has at most `bits` bits (1..64), so at most
    // (bits + 6) / 7 bytes; 0 and bad when it runs past the end, is longer
    // or has higher bits set.
    uint64_t Varint(unsigned bits) {
        if (bad || pos_ == n_) {
            bad = true;
            return 0;
        }
        uint8_t b = static_cast<uint8_t>(p_[pos_++]);
        if (b < 0x80 && (bits >= 7 || b >> bits == 0))
            return b;
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint64_t part = b & 0x7F;
            if (shift + 7 > bits && part >> (bits - shift) != 0)
                break;
            v |= part << shift;
            if (b < 0x80)
                return v;
            if (shift + 7 >= bits || pos_ == n_)
                break;
            b = static_cast<uint8_t>(p_[pos_++]);
        }
        bad = true;
        return 0;
    }
    uint32_t Count(size_t elementSize) {
        uint32_t c = 0;
        if (version_ < 3)
            Raw(&c, 4);
        else
            c = static_cast<uint32_t>(Varint(32));
        if (static_cast<uint64_t>(c) * elementSize > n_ - pos_) {
            bad = true;
            return 0;
        }
        return c;
    }
    void Str(std::string& s) {
        uint32_t c = Count(1);
        s.assign(bad ? "" : std::string(p_ + pos_, c));
        if (!bad)
            pos_ += c;
    }
};

// Applies `f` to every Ref of a record.
struct RefVisitor {
    std::function<void(Ref&)> f;
    template <class T> void operator()(const char*, T&) {}
    void operator()(const char*, Ref& r) { f(r); }
};

// Appends JSON text.
class JsonOut {
public:
    std::string out;
    void String(const std::string& s);
    void Number(int64_t v) { out += std::to_string(v); }
    void Number(double v);
    void Key(const char* k) {
        Sep();
        String(k);
        out += ':';
        needComma_ = false;
    }
    void Open(char c) {
        Sep();
        out += c;
        needComma_ = false;
    }
    void Close(char c) {
        out += c;
        needComma_ = true;
    }
    void Value() { needComma_ = true; }
    void Sep() {
        if (needComma_)
            out += ',';
        needComma_ = false;
    }

private:
    bool needComma_ = false;
};

// Writes a record's fields as JSON members. A Ref becomes the label that
// `label` gives (null for none).
class JsonRecord {
public:
    JsonRecord(JsonOut& j, std::function<std::string(intptr_t)> label,
               const std::vector<const char*>* constraintNames = nullptr)
        : j_(j), label_(std::move(label)), constraintNames_(constraintNames) {}

    void operator()(const char* k, int32_t& v) {
        j_.Key(k);
        j_.Number(static_cast<int64_t>(v));
        j_.Value();
    }
    void operator()(const char* k, double& v) {
        j_.Key(k);
        j_.Number(v);
        j_.Value();
    }
    void operator()(const char* k, std::string& v) {
        j_.Key(k);
        j_.String(v);
        j_.Value();
    }
    void operator()(const char* k, Interned& v) {
        j_.Key(k);
        j_.String(v.str());
        j_.Value();
    }
    void operator()(const char* k, Ref& v);
    void operator()(const char* k, PcbApiLayerSet& v);
    void operator()(const char* k, PadLayerTable& v);
    void operator()(const char* k, std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT>& v);
    void operator()(const char* k, std::vector<PcbApiPoint>& v);
    void operator()(const char* k, std::vector<PcbApiPolySegment>& v);
    void operator()(const char* k, std::vector<int32_t>& v);
    void operator()(const char* k, std::vector<std::string>& v);

private:
    JsonOut& j_;
    std::function<std::string(intptr_t)> label_;
    const std::vector<const char*>* constraintNames_;
};

// Documents (Document.cpp). Both answer an empty string on success, else a
// one-line reason.
std::string SaveBoardDocument(uint32_t boardSlot, const std::string& path);
std::string LoadBoardDocument(const std::string& path, uint32_t& boardSlot);
// The board as JSON (JsonDump.cpp), handed to `write` piece by piece.
void BoardJson(uint32_t boardSlot, const std::function<void(const std::string&)>& write);
// Its rules alone, as the dump of a board that holds nothing else.
void RulesJson(uint32_t boardSlot, const std::function<void(const std::string&)>& write);

} // namespace corvane
