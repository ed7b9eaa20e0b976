#include "specctra/SpecctraWriter.h"

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

void SaveFileAtomically(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw std::runtime_error(ErrorText("Cannot create file", path, errno));
    }
    std::size_t written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    // mkstemp makes the file readable by its owner only; give it the usual mode.
    if (error == 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(temp.c_str(), 0666 & ~mask);
    }
    if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        std::remove(temp.c_str());
        throw std::runtime_error(ErrorText("Cannot write file", path, error));
    }
}

TSpecctraWriter::TSpecctraWriter(const std::string& fileName)
    : FFileName(fileName), FUncaughtAtCreation(std::uncaught_exceptions()) {}

TSpecctraWriter::~TSpecctraWriter() {
    // An exception on its way out means the translation failed: leave the
    // previous file (or none) in place.
    if (std::uncaught_exceptions() > FUncaughtAtCreation) {
        return;
    }
    try {
        Flush();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void TSpecctraWriter::Write(const std::string& text, bool indent) {
    if (indent && FIndentation > 0) {
        FBuffer.append(static_cast<std::size_t>(FIndentation), ' ');
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(kSpaceMarker, from);
        if (at == std::string::npos) {
            FBuffer.append(text, from, std::string::npos);
            break;
        }
        FBuffer.append(text, from, at - from);
        FBuffer.push_back(kUnitSeparator);
        from = at + kSpaceMarker.size();
    }
}

void TSpecctraWriter::Writeln(const std::string& text, bool indent) {
    Write(text, indent);
    FBuffer.append("\r\n");
}

void TSpecctraWriter::Indent(int32_t levels) {
    FIndentation += levels * FIndentStep;
}

void TSpecctraWriter::UnIndent(int32_t levels) {
    FIndentation -= levels * FIndentStep;
}

void TSpecctraWriter::Flush() {
    SaveFileAtomically(FFileName, FBuffer);
}
