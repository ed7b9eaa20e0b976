// Translation data stored inside the board as embedded objects (kind 20).
//
// Every embedded object this plug-in makes carries "Server=Ravel" and a
// "Type" in its Name (a parameter string); its Description holds the payload.
// A payload longer than one object can carry is cut into chunks of 4095
// characters, each marked with its "ChunkIdx".
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class TSpecctraWriter;

// Raised when the chunks of a payload have a gap ("Missing Chunk: <index>").
class EEmbeddedStorageAssertion : public std::logic_error {
public:
    explicit EEmbeddedStorageAssertion(const std::string& message) : std::logic_error(message) {}
};

// A parameter string ("name=value|name=value") held as pairs with an index by
// name, so that reading or setting one parameter costs O(1) however long the
// payload. Names compare without regard to ASCII case; the first pair of a
// name wins; a piece without "=" is a name with an empty value.
class TStoredParameters {
public:
    TStoredParameters() = default;
    explicit TStoredParameters(std::string_view text);

    bool Get(std::string_view name, std::string& value) const;
    bool Has(std::string_view name) const;
    // Replaces the value of the first pair of that name, else appends a pair.
    void Set(std::string_view name, std::string_view value);
    // Appends a pair whose name the caller knows to be new (a record built
    // name by name, each once): no look-up, the index catches up when next
    // asked.
    void Append(std::string_view name, std::string_view value);
    // Room for that many pairs in all, for a record about to be built.
    void Reserve(size_t pairs) { items_.reserve(pairs); }
    size_t Size() const { return items_.size(); }
    const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }
    std::string ToString() const;

private:
    // Brings the index up to every pair appended since it was last used.
    void CatchUp() const;

    std::vector<std::pair<std::string, std::string>> items_;
    mutable std::unordered_map<std::string, size_t> index_; // upper-cased name -> first pair
    mutable size_t indexed_ = 0;                            // pairs the index covers
};

// Texts kept inside a stored parameter string. The record cannot carry "|"
// and "=" (they separate the pairs), a NUL (the engine's texts end there),
// nor carriage return and line feed (stored records split at them). These
// are written "%7C", "%3D", "%00", "%0D" and "%0A"; a "%" that would read as
// one of these codes is written "%25". Every other character, "%" included,
// is kept as it is, so ordinary texts are stored unchanged.
std::string EscapeStoredText(std::string_view text);
// The inverse of EscapeStoredText; text without codes comes back unchanged.
std::string UnescapeStoredText(std::string_view text);

// True when a Name parameter string carries "Server" = "Ravel" (any case).
bool IsOwnEmbeddedName(std::string_view name);

class TEmbeddedStorageWrapper {
public:
    static constexpr size_t kChunkSize = 4095;

    // `tag` is a parameter string naming the payload, e.g. "Type=ViaTag|ID=5".
    TEmbeddedStorageWrapper(intptr_t board, std::string tag);

    // The payload as text.
    const std::string& GetState_StorageString() const;
    void SetState_StorageString(std::string text);

    // One parameter of the payload; false when absent.
    bool GetState_Parameter(std::string_view name, std::string& value) const;
    // Sets a parameter of the payload (replacing its value, else appending).
    void SetState_Parameter(std::string_view name, std::string_view value);

    // Stores the payload as (length div 4095) + 1 chunks. Existing chunks of
    // the same identity are not removed. False when a chunk could not be
    // made or added (always without an engine).
    bool WriteToBoard();
    // Rebuilds the payload from the board's chunks, assembled by index; true
    // when at least one chunk was found. Raises EEmbeddedStorageAssertion on
    // a gap in the indexes.
    bool ReadFromBoard();

    // "Server=Ravel" followed by the parameters of the tag.
    std::string Identity() const;
    // Whether an embedded object's Name belongs to this payload; gives its
    // chunk index.
    bool BelongsToThis(std::string_view objectName, int64_t& chunkIndex) const;

    intptr_t Board = 0;
    std::string Tag;

private:
    void EnsureParsed() const;

    mutable std::string text_;
    mutable bool textStale_ = false;
    mutable std::unique_ptr<TStoredParameters> params_;
    TStoredParameters identity_;
};

// The first embedded object of the board with "Server" = "Ravel" and "Type"
// equal to `type` (both without regard to case), or 0.
intptr_t FindEmbeddedObject(intptr_t board, std::string_view type);
// The Name (its parameters) of that first object; "" and `found` false when
// there is none.
std::string StoredRecordName(intptr_t board, std::string_view type, bool& found);

// Makes one embedded object with that Name and Description and adds it to
// the board; false (and nothing left behind) when it could not be made or
// added.
bool AddEmbeddedRecord(intptr_t board, const std::string& name, const std::string& description);

// Removes and destroys every embedded object of the board that carries
// "Server" = "Ravel"; others stay. Answers the number removed.
int DeleteEmbeddedObjects(intptr_t board);
// The same for the objects whose "Type" is one of `types` (any case); all of
// the translator's objects when the list is empty.
int DeleteEmbeddedObjectsOfTypes(intptr_t board, std::initializer_list<std::string_view> types);

// One text per embedded object of the board, whoever made it:
// "Name:         <Name>\n\rDescription: <Description>".
std::vector<std::string> DescribeEmbeddedObjects(intptr_t board);

// The listing of the "ViewEmbeddedObjects" command into a file: each
// description as a line of the writer (ended by CR LF), then an empty line.
void WriteEmbeddedListing(intptr_t board, TSpecctraWriter& writer);
