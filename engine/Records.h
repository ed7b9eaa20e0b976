// Record visitors: a compact binary form of a record (what a board document
// keeps in its objects table) and the JSON form of the board dump.
#pragma once

#include "engine/Model.h"

#include <cstring>
#include <functional>
#include <string>

namespace corvane {

// Writes a record's fields as little-endian binary. A Ref becomes the stable
// id that `refId` gives (0 for none).
class BlobWriter {
public:
    explicit BlobWriter(std::function<int64_t(intptr_t)> refId) : refId_(std::move(refId)) {}
    std::string out;

    void operator()(const char*, int32_t& v) { Raw(&v, 4); }
    void operator()(const char*, double& v) { Raw(&v, 8); }
    void operator()(const char*, std::string& v) { Str(v); }
    void operator()(const char*, Interned& v) { Str(v.str()); }
    void operator()(const char*, Ref& v) {
        int64_t id = v.handle ? refId_(v.handle) : 0;
        Raw(&id, 8);
    }
    void operator()(const char*, PcbApiLayerSet& v) { Raw(v.Bits, sizeof v.Bits); }
    // The table as its runs: their count, then each run's first layer and
    // entry.
    void operator()(const char*, PadLayerTable& v) {
        Count(static_cast<size_t>(v.RunCount()));
        Raw(v.Runs(), sizeof(PadLayerTable::Run) * static_cast<size_t>(v.RunCount()));
    }
    void operator()(const char*, std::array<uint8_t, PCBAPI_RULE_ATTRIBUTE_COUNT>& v) {
        Raw(v.data(), v.size());
    }
    template <class T> void operator()(const char*, std::vector<T>& v) {
        Count(v.size());
        if (!v.empty())
            Raw(v.data(), sizeof(T) * v.size());
    }
    void operator()(const char*, std::vector<std::string>& v) {
        Count(v.size());
        for (auto& s : v)
            Str(s);
    }

private:
    std::function<int64_t(intptr_t)> refId_;
    void Raw(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
    void Count(size_t n) {
        uint32_t c = static_cast<uint32_t>(n);
        Raw(&c, 4);
    }
    void Str(const std::string& s) {
        Count(s.size());
        out.append(s);
    }
};

// Reads what BlobWriter wrote; any shortfall or impossible count sets `bad`.
// Refs come back as stable ids in Ref::handle, for the caller to resolve.
// Records of documents of version 1 hold a pad's per-layer table whole, one
// entry per layer; later versions hold its runs.
class BlobReader {
public:
    BlobReader(const void* data, size_t size, int version)
        : p_(static_cast<const char*>(data)), n_(size), version_(version) {}
    bool bad = false;
    bool AtEnd() const { return pos_ == n_; }

    void operator()(const char*, int32_t& v) { Raw(&v, 4); }
    void operator()(const char*, double& v) { Raw(&v, 8); }
    void operator()(const char*, std::string& v) { Str(v); }
    void operator()(const char*, Interned& v) {
        std::string s;
        Str(s);
        v = s;
    }
    void operator()(const char*, Ref& v) {
        int64_t id = 0;
        Raw(&id, 8);
        v.handle = static_cast<intptr_t>(id);
    }
    void operator()(const char*, PcbApiLayerSet& v) { Raw(v.Bits, sizeof v.Bits); }
    void operator()(const char*, PadLayerTable& v) {
        static_assert(sizeof(PadLayerTable::Run) == 20 && sizeof(PadLayerEntry) == 16);
        if (version_ == 1) {
            PadLayers all;
            Raw(all.data(), sizeof(PadLayerEntry) * all.size());
            v.Assign(all);
            return;
        }
        const uint32_t c = Count(sizeof(PadLayerTable::Run));
        PadLayerTable::Run runs[kLayerCount];
        if (bad || c > kLayerCount) {
            bad = true;
            return;
        }
        Raw(runs, sizeof(PadLayerTable::Run) * c);
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
        uint32_t c = Count(4);
        v.resize(c);
        for (auto& s : v)
            Str(s);
    }

private:
    const char* p_;
    size_t n_;
    int version_;
    size_t pos_ = 0;
    void Raw(void* dst, size_t n) {
        if (bad || n > n_ - pos_) {
            bad = true;
            std::memset(dst, 0, n);
            return;
        }
        std::memcpy(dst, p_ + pos_, n);
        pos_ += n;
    }
    uint32_t Count(size_t elementSize) {
        uint32_t c = 0;
        Raw(&c, 4);
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
