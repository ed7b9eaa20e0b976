// The indented text writer of Specctra output files. Lines are collected in
// memory and saved in one piece when the writer is flushed or destroyed.
#pragma once

#include <cstdint>
#include <string>

class TSpecctraWriter {
public:
    // Nothing is written to disk until Flush or destruction.
    explicit TSpecctraWriter(const std::string& fileName);
    // Saves the file (an empty file when nothing was written), unless the
    // writer is destroyed while an exception unwinds the stack. A failure to
    // save is reported on stderr; call Flush first to see it as an exception.
    ~TSpecctraWriter();

    TSpecctraWriter(const TSpecctraWriter&) = delete;
    TSpecctraWriter& operator=(const TSpecctraWriter&) = delete;

    // Appends the text, preceded by the indentation when indent is true; every
    // "~SP~" becomes the character 31.
    void Write(const std::string& text, bool indent);
    // Write followed by a carriage return and a line feed.
    void Writeln(const std::string& text, bool indent);
    void Indent(int32_t levels);
    void UnIndent(int32_t levels);
    void ResetIndentation() { FIndentation = 0; }
    // Saves the whole buffer to the file, replacing it atomically. The buffer is
    // kept. Throws std::runtime_error naming the file on a failure.
    void Flush();

    const std::string& Buffer() const { return FBuffer; }
    int32_t Indentation() const { return FIndentation; }
    int32_t IndentStep() const { return FIndentStep; }
    const std::string& FileName() const { return FFileName; }

private:
    std::string FBuffer;
    int32_t FIndentation = 0;
    int32_t FIndentStep = 2;
    std::string FFileName;
    int FUncaughtAtCreation = 0;
};

// Writes the bytes to the path through a temporary file in the same folder
// that then replaces the path, so that a failure never leaves half a file.
// Throws std::runtime_error naming the path on a failure.
void SaveFileAtomically(const std::string& path, const std::string& bytes);

// "<what> "<path>": <system message of error>", the text of a file error.
std::string ErrorText(const std::string& what, const std::string& path, int error);
