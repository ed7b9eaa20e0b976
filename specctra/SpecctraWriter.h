// The indented text writer of Specctra output files. Lines are collected in
// memory and saved when the writer is flushed or destroyed; a large text goes
// to a temporary file next to the target as it is made, which replaces the
// target only once the whole text is there.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// A growing run of bytes that hands out room to be written in place: a line
// is formatted straight into it, with one check of the room it needs instead
// of one per piece, and no bytes are cleared before they are written.
class TTextBuffer {
public:
    TTextBuffer() = default;
    TTextBuffer(const TTextBuffer&) = delete;
    TTextBuffer& operator=(const TTextBuffer&) = delete;

    // At least `bytes` writable bytes at the end; End(p) then takes what was
    // written up to p.
    char* Room(std::size_t bytes) {
        if (FCapacity - FSize < bytes)
            Grow(bytes);
        return FData.get() + FSize;
    }
    void End(const char* end) { FSize = static_cast<std::size_t>(end - FData.get()); }
    void Append(std::string_view text) {
        if (!text.empty()) {
            std::memcpy(Room(text.size()), text.data(), text.size());
            FSize += text.size();
        }
    }
    void Append(std::size_t count, char c) {
        if (count > 0) {
            std::memset(Room(count), c, count);
            FSize += count;
        }
    }
    void Reserve(std::size_t bytes) {
        if (bytes > FCapacity)
            Grow(bytes - FSize);
    }
    void Clear() { FSize = 0; }
    std::size_t Size() const { return FSize; }
    std::size_t Capacity() const { return FCapacity; }
    char* Data() const { return FData.get(); }
    std::string_view View() const { return {FData.get(), FSize}; }

private:
    void Grow(std::size_t bytes);
    std::unique_ptr<char[]> FData;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

// A file that replaces `path` once it is complete: its bytes go to a
// temporary file in the same folder, which Commit moves over the path. A file
// never committed (an error, or freed before) leaves the path as it was.
class TReplacementFile {
public:
    explicit TReplacementFile(std::string path) : FPath(std::move(path)) {}
    ~TReplacementFile();
    TReplacementFile(const TReplacementFile&) = delete;
    TReplacementFile& operator=(const TReplacementFile&) = delete;

    // Errors are kept and raised by Commit.
    void Append(const char* bytes, std::size_t size);
    // Saves and replaces the path. Throws std::runtime_error naming the path
    // on a failure of any step.
    void Commit();

private:
    void Abandon();
    std::string FPath;
    std::string FTemp;
    int FFd = -1;
    int FError = 0;
    bool FFailedToCreate = false;
};

class TSpecctraWriter {
public:
    // Nothing is written to disk until Flush or destruction.
    explicit TSpecctraWriter(const std::string& fileName);
    // Saves the file (an empty file when nothing was written), unless the
    // writer is destroyed while an exception unwinds the stack or nothing was
    // written since a successful Flush. A failure to save is reported on
    // stderr; call Flush first to see it as an exception.
    ~TSpecctraWriter();

    TSpecctraWriter(const TSpecctraWriter&) = delete;
    TSpecctraWriter& operator=(const TSpecctraWriter&) = delete;

    // Appends the text, preceded by the indentation when indent is true; every
    // "~SP~" becomes the character 31.
    void Write(std::string_view text, bool indent);
    // Write followed by a carriage return and a line feed.
    void Writeln(std::string_view text, bool indent);
    // One line built in place, piece by piece, with no temporary strings:
    // BeginLine puts the indentation, Put text (with the "~SP~" rule of
    // Write), PutNumber a number as "%g" with 15 significant digits (whole
    // numbers as plain integers), EndLine the carriage return and line feed.
    void BeginLine() { FBuffer.Append(static_cast<std::size_t>(std::max(FIndentation, 0)), ' '); }
    void Put(std::string_view text);
    // Put for a text that holds no "~SP~" (a keyword or a separator).
    void PutPlain(std::string_view text) { FBuffer.Append(text); }
    void PutNumber(double value);
    // A whole line of two numbers, each followed by a space: one vertex of a
    // path, formatted in place.
    void PointLine(double x, double y);
    void EndLine() {
        FBuffer.Append("\r\n");
        if (FBuffer.Size() >= kSpillSize)
            Spill();
    }
    void Indent(int32_t levels);
    void UnIndent(int32_t levels);
    void ResetIndentation() { FIndentation = 0; }
    // Makes room for that many more bytes at once, for a writer that knows
    // roughly how much text follows: the buffer is not copied as it grows,
    // and a large one is backed by huge pages where the system offers them.
    void Reserve(std::size_t bytes);
    // Saves the whole text to the file, replacing it atomically. A text that
    // stayed in memory is kept (a later Flush saves it again with what was
    // added); a large one was streamed and is gone from memory. Throws
    // std::runtime_error naming the file on a failure.
    void Flush();

    // The text in memory: everything written, for a text below kSpillSize.
    std::string_view Buffer() const { return FBuffer.View(); }
    // Bytes written in all.
    std::size_t Size() const { return FSpilled + FBuffer.Size(); }
    // True when everything written has been saved by Flush.
    bool Saved() const { return !FFile && FSavedSize == FBuffer.Size(); }

    // Text in memory beyond which lines go to the temporary file.
    static constexpr std::size_t kSpillSize = std::size_t(4) << 20;
    int32_t Indentation() const { return FIndentation; }
    int32_t IndentStep() const { return FIndentStep; }
    const std::string& FileName() const { return FFileName; }

private:
    void Spill();
    TTextBuffer FBuffer;
    std::unique_ptr<TReplacementFile> FFile;
    std::size_t FSpilled = 0;
    int32_t FIndentation = 0;
    int32_t FIndentStep = 2;
    std::string FFileName;
    int FUncaughtAtCreation = 0;
    // The buffer's size at the last successful Flush (npos: never saved).
    std::size_t FSavedSize = static_cast<std::size_t>(-1);
};

// Writes the bytes to the path through a temporary file in the same folder
// that then replaces the path, so that a failure never leaves half a file.
// Throws std::runtime_error naming the path on a failure.
void SaveFileAtomically(const std::string& path, std::string_view bytes);

// "<what> "<path>": <system message of error>", the text of a file error.
std::string ErrorText(const std::string& what, const std::string& path, int error);
