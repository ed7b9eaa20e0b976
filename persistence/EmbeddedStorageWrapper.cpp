#include "persistence/EmbeddedStorageWrapper.h"

#include "sdk/AsciiText.h"

#include "board/BoardFacade.h"
#include "board/PCBProcs.h"
#include "board/Pcbclass.h"
#include "sdk/Parameters.h"
#include "specctra/SpecctraWriter.h"

#include <charconv>
#include <map>

namespace {

const char* const kServerName = "Server";
const char* const kServerValue = "Ravel";
const char* const kChunkIndexName = "ChunkIdx";

// A non-negative decimal integer making up the whole text.
bool parseChunkIndex(const std::string& text, int64_t& index) {
    if (text.empty())
        return false;
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+')
        ++first;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || value < 0)
        return false;
    index = value;
    return true;
}

// Reads an embedded object; false when the engine refuses it.
bool readEmbedded(intptr_t handle, TPcbEmbedded& embedded) {
    embedded = TPcbEmbedded(handle);
    return embedded.QueryDatabase(1) == 1;
}

} // namespace

// ----------------------------------------------------------- stored texts

namespace {

// The character a "%XX" code at `at` stands for, or -1 when there is none.
int StoredTextCode(std::string_view text, size_t at) {
    if (at + 3 > text.size() || text[at] != '%')
        return -1;
    const std::string_view code = text.substr(at + 1, 2);
    if (code == "00")
        return '\0';
    if (code == "0A")
        return '\n';
    if (code == "0D")
        return '\r';
    if (code == "25")
        return '%';
    if (code == "3D")
        return '=';
    if (code == "7C")
        return '|';
    return -1;
}

} // namespace

std::string EscapeStoredText(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool special = c == '\0' || c == '\n' || c == '\r' || c == '|' || c == '=' ||
                             (c == '%' && StoredTextCode(text, i) >= 0);
        if (!special) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    return out;
}

std::string UnescapeStoredText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const int code = StoredTextCode(text, i);
        if (code >= 0) {
            out += static_cast<char>(code);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// ----------------------------------------------------------- TStoredParameters

TStoredParameters::TStoredParameters(std::string_view text) {
    HostSdk::ForEachParameter(text, [this](std::string_view name, std::string_view value) {
        items_.emplace_back(std::string(name), std::string(value));
    });
}

void TStoredParameters::CatchUp() const {
    for (; indexed_ < items_.size(); ++indexed_)
        index_.try_emplace(HostSdk::UpperAscii(items_[indexed_].first), indexed_);
}

bool TStoredParameters::Get(std::string_view name, std::string& value) const {
    CatchUp();
    const auto it = index_.find(HostSdk::UpperAscii(name));
    if (it == index_.end())
        return false;
    value = items_[it->second].second;
    return true;
}

bool TStoredParameters::Has(std::string_view name) const {
    CatchUp();
    return index_.count(HostSdk::UpperAscii(name)) != 0;
}

void TStoredParameters::Set(std::string_view name, std::string_view value) {
    CatchUp();
    const auto [it, inserted] = index_.try_emplace(HostSdk::UpperAscii(name), items_.size());
    if (inserted) {
        items_.emplace_back(std::string(name), std::string(value));
        indexed_ = items_.size();
    } else {
        items_[it->second].second.assign(value);
    }
}

void TStoredParameters::Append(std::string_view name, std::string_view value) {
    items_.emplace_back(std::string(name), std::string(value));
}

std::string TStoredParameters::ToString() const {
    size_t length = 0;
    for (const auto& [name, value] : items_)
        length += name.size() + value.size() + 2;
    std::string text;
    text.reserve(length);
    for (const auto& [name, value] : items_) {
        if (!text.empty())
            text += '|';
        text += name;
        text += '=';
        text += value;
    }
    return text;
}

bool IsOwnEmbeddedName(std::string_view name) {
    std::string server;
    return TStoredParameters(name).Get(kServerName, server) &&
           HostSdk::SameTextAscii(server, kServerValue);
}

// ----------------------------------------------------- TEmbeddedStorageWrapper

TEmbeddedStorageWrapper::TEmbeddedStorageWrapper(intptr_t board, std::string tag)
    : Board(board), Tag(std::move(tag)) {
    identity_.Set(kServerName, kServerValue);
    const TStoredParameters tagParameters(Tag);
    for (const auto& [name, value] : tagParameters.Items())
        identity_.Set(name, value);
}

void TEmbeddedStorageWrapper::EnsureParsed() const {
    if (!params_)
        params_ = std::make_unique<TStoredParameters>(text_);
}

const std::string& TEmbeddedStorageWrapper::GetState_StorageString() const {
    if (textStale_) {
        text_ = params_->ToString();
        textStale_ = false;
    }
    return text_;
}

void TEmbeddedStorageWrapper::SetState_StorageString(std::string text) {
    text_ = std::move(text);
    textStale_ = false;
    params_.reset();
}

bool TEmbeddedStorageWrapper::GetState_Parameter(std::string_view name, std::string& value) const {
    EnsureParsed();
    return params_->Get(name, value);
}

void TEmbeddedStorageWrapper::SetState_Parameter(std::string_view name, std::string_view value) {
    EnsureParsed();
    params_->Set(name, value);
    textStale_ = true;
}

std::string TEmbeddedStorageWrapper::Identity() const {
    return identity_.ToString();
}

bool TEmbeddedStorageWrapper::BelongsToThis(std::string_view objectName,
                                            int64_t& chunkIndex) const {
    const TStoredParameters object(objectName);
    std::string value;
    for (const auto& [name, wanted] : identity_.Items())
        if (!object.Get(name, value) || !HostSdk::SameTextAscii(value, wanted))
            return false;
    return object.Get(kChunkIndexName, value) && parseChunkIndex(value, chunkIndex);
}

bool TEmbeddedStorageWrapper::WriteToBoard() {
    const std::string& payload = GetState_StorageString();
    const size_t pieces = payload.size() / kChunkSize + 1;
    for (size_t i = 0; i < pieces; ++i) {
        TStoredParameters name = identity_;
        name.Set(kChunkIndexName, std::to_string(i));
        if (!AddEmbeddedRecord(Board, name.ToString(), payload.substr(i * kChunkSize, kChunkSize)))
            return false;
    }
    return true;
}

bool TEmbeddedStorageWrapper::ReadFromBoard() {
    SetState_StorageString(std::string());
    std::map<int64_t, std::string> chunks;
    ProcessItems(Board, eEmbeddedObject, [&](intptr_t handle) {
        TPcbEmbedded embedded(handle);
        int64_t index = 0;
        if (readEmbedded(handle, embedded) && BelongsToThis(embedded.Name, index))
            chunks[index] = std::move(embedded.Description);
        return true;
    });
    if (chunks.empty())
        return false;
    std::string payload;
    int64_t expected = 0;
    for (auto& [index, piece] : chunks) {
        if (index != expected)
            throw EEmbeddedStorageAssertion("Missing Chunk: " + std::to_string(expected));
        payload += piece;
        ++expected;
    }
    SetState_StorageString(std::move(payload));
    return true;
}

// ---------------------------------------------------------- module operations

intptr_t FindEmbeddedObject(intptr_t board, std::string_view type) {
    intptr_t found = 0;
    ProcessItems(board, eEmbeddedObject, [&](intptr_t handle) {
        TPcbEmbedded embedded(handle);
        if (!readEmbedded(handle, embedded))
            return true;
        const TStoredParameters name(embedded.Name);
        std::string server, objectType;
        if (name.Get(kServerName, server) && HostSdk::SameTextAscii(server, kServerValue) &&
            name.Get("Type", objectType) && HostSdk::SameTextAscii(objectType, type)) {
            found = handle;
            return false;
        }
        return true;
    });
    return found;
}

std::string StoredRecordName(intptr_t board, std::string_view type, bool& found) {
    const intptr_t handle = FindEmbeddedObject(board, type);
    found = handle != 0;
    if (!found)
        return std::string();
    TPcbEmbedded record(handle);
    Board::Read(record);
    return record.GetState_Name();
}

int DeleteEmbeddedObjects(intptr_t board) {
    return DeleteEmbeddedObjectsOfTypes(board, {});
}

int DeleteEmbeddedObjectsOfTypes(intptr_t board, std::initializer_list<std::string_view> types) {
    // Collected first: deleting must not disturb the walk.
    const std::vector<intptr_t> handles = CollectItems(board, eEmbeddedObject);
    const TPcbBoard host(board);
    int removed = 0;
    for (intptr_t handle : handles) {
        TPcbEmbedded embedded(handle);
        if (!readEmbedded(handle, embedded) || !IsOwnEmbeddedName(embedded.Name))
            continue;
        if (types.size() != 0) {
            std::string type;
            TStoredParameters(embedded.Name).Get("Type", type);
            bool listed = false;
            for (std::string_view wanted : types)
                listed = listed || HostSdk::SameTextAscii(type, wanted);
            if (!listed)
                continue;
        }
        if (host.DeleteObject(handle) == 0)
            ++removed;
        else
            PCBProcs::PcbApi_DestroyObject(handle);
    }
    return removed;
}

std::vector<std::string> DescribeEmbeddedObjects(intptr_t board) {
    std::vector<std::string> texts;
    ProcessItems(board, eEmbeddedObject, [&](intptr_t handle) {
        TPcbEmbedded embedded(handle);
        if (readEmbedded(handle, embedded))
            texts.push_back("Name:         " + embedded.Name + "\n\r" +
                            "Description: " + embedded.Description);
        return true;
    });
    return texts;
}

void WriteEmbeddedListing(intptr_t board, TSpecctraWriter& writer) {
    for (const std::string& text : DescribeEmbeddedObjects(board)) {
        writer.Writeln(text, false);
        writer.Writeln("", false);
    }
}

bool AddEmbeddedRecord(intptr_t board, const std::string& name, const std::string& description) {
    TPcbEmbedded embedded(0);
    return Board::MakeAndAdd(board, embedded, [&](TPcbEmbedded& record) {
               record.Name = name;
               record.Description = description;
           }) != 0;
}
