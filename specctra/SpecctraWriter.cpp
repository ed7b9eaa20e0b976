#include "specctra/SpecctraWriter.h"

#include "sdk/HugePages.h"
#include "specctra/SpecctraHelpers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string ErrorText(const std::string& what, const std::string& path, int error) {
    return what + " \"" + path + "\": " + std::strerror(error);
}

TReplacementFile::~TReplacementFile() {
    Abandon();
}

void TReplacementFile::Append(const char* bytes, std::size_t size) {
    if (FError != 0)
        return;
    if (FFd < 0) {
        FTemp = FPath + ".XXXXXX";
        FFd = ::mkstemp(FTemp.data());
        if (FFd < 0) {
            FError = errno;
            FFailedToCreate = true;
            return;
        }
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(FFd, bytes + written, size - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FError = errno;
            Abandon();
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

void TReplacementFile::Commit() {
    Append("", 0); // creates the file when nothing was appended
    if (FError == 0 && ::fsync(FFd) != 0)
        FError = errno;
    if (FFd >= 0 && ::close(FFd) != 0 && FError == 0)
        FError = errno;
    FFd = -1;
    // mkstemp makes the file readable by its owner only; give it the usual mode.
    if (FError == 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(FTemp.c_str(), 0666 & ~mask);
        if (std::rename(FTemp.c_str(), FPath.c_str()) != 0)
            FError = errno;
        else
            FTemp.clear();
    }
    if (FError != 0) {
        Abandon();
        throw std::runtime_error(
            ErrorText(FFailedToCreate ? "Cannot create file" : "Cannot write file", FPath, FError));
    }
}

void TReplacementFile::Abandon() {
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    if (!FTemp.empty())
        std::remove(FTemp.c_str());
    FTemp.clear();
}

void TTextBuffer::Grow(std::size_t bytes) {
    // Doubling keeps the copies of a growing text to about its own size.
    const std::size_t capacity = std::max({FSize + bytes, 2 * FCapacity, std::size_t{256}});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (FSize > 0)
        std::memcpy(data.get(), FData.get(), FSize);
    FData = std::move(data);
    FCapacity = capacity;
}

void SaveFileAtomically(const std::string& path, std::string_view bytes) {
    TReplacementFile file(path);
    file.Append(bytes.data(), bytes.size());
    file.Commit();
}

TSpecctraWriter::TSpecctraWriter(const std::string& fileName)
    : FFileName(fileName), FUncaughtAtCreation(std::uncaught_exceptions()) {}

TSpecctraWriter::~TSpecctraWriter() {
    // An exception on its way out means the translation failed: leave the
    // previous file (or none) in place.
    if (std::uncaught_exceptions() > FUncaughtAtCreation) {
        return;
    }
    // Saved already and unchanged since.
    if (Saved()) {
        return;
    }
    try {
        Flush();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void TSpecctraWriter::Write(std::string_view text, bool indent) {
    if (indent)
        BeginLine();
    Put(text);
}

void TSpecctraWriter::Put(std::string_view text) {
    // Most texts hold no marker: one scan for its first character.
    if (text.find(kSpaceMarker.front()) == std::string_view::npos) {
        FBuffer.Append(text);
        return;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(kSpaceMarker, from);
        if (at == std::string_view::npos) {
            FBuffer.Append(text.substr(from));
            break;
        }
        FBuffer.Append(text.substr(from, at - from));
        FBuffer.Append(1, kUnitSeparator);
        from = at + kSpaceMarker.size();
    }
}

void TSpecctraWriter::PutNumber(double value) {
    FBuffer.End(FormatGeneralNumber(FBuffer.Room(kGeneralNumberRoom), value));
}

void TSpecctraWriter::PointLine(double x, double y) {
    const auto indentation = static_cast<std::size_t>(std::max(FIndentation, 0));
    char* end = FBuffer.Room(indentation + 2 * kGeneralNumberRoom + 4);
    std::memset(end, ' ', indentation);
    end = FormatGeneralNumber(end + indentation, x);
    *end++ = ' ';
    end = FormatGeneralNumber(end, y);
    *end++ = ' ';
    *end++ = '\r';
    *end++ = '\n';
    FBuffer.End(end);
    if (FBuffer.Size() >= kSpillSize)
        Spill();
}

void TSpecctraWriter::Writeln(std::string_view text, bool indent) {
    Write(text, indent);
    EndLine();
}

void TSpecctraWriter::Reserve(std::size_t bytes) {
    // Text beyond the spill size goes to the file: no need for more room.
    FBuffer.Reserve(FBuffer.Size() + std::min(bytes, kSpillSize + (kSpillSize >> 2)));
    // Fewer page faults for a buffer of many megabytes, where asked for.
    if (FBuffer.Capacity() >= 4 * HostSdk::kHugePageBytes)
        HostSdk::AdviseHugePagesWithin(FBuffer.Data(), FBuffer.Capacity());
}

void TSpecctraWriter::Indent(int32_t levels) {
    FIndentation += levels * FIndentStep;
}

void TSpecctraWriter::UnIndent(int32_t levels) {
    FIndentation -= levels * FIndentStep;
}

void TSpecctraWriter::Spill() {
    // A large text goes to the new file as it is made: memory stays small,
    // and the old file stays until the whole text is there.
    if (!FFile)
        FFile = std::make_unique<TReplacementFile>(FFileName);
    FFile->Append(FBuffer.Data(), FBuffer.Size());
    FSpilled += FBuffer.Size();
    FBuffer.Clear();
}

void TSpecctraWriter::Flush() {
    if (!FFile) {
        SaveFileAtomically(FFileName, FBuffer.View());
        FSavedSize = FBuffer.Size();
        return;
    }
    std::unique_ptr<TReplacementFile> file = std::move(FFile);
    file->Append(FBuffer.Data(), FBuffer.Size());
    FSpilled += FBuffer.Size();
    FBuffer.Clear();
    FSavedSize = 0;
    file->Commit();
}
