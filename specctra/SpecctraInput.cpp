// The input of a reader: a design file read whole (only a regular file of a
// sane size).
#include "specctra/SpecctraParser2.h"

#include "board/PCBProcs.h"
#include "sdk/AsciiText.h"
#include "specctra/HostHooks.h"
#include "specctra/NameIndex.h"
#include "specctra/SpecctraHelpers.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------
// TInputFile

TInputFile::TInputFile(const std::string& fileName) : FFileName(fileName) {
    // Opened without waiting (a FIFO has no writer) and looked at before a
    // byte is read: only a regular file of a sane size is read, so that a
    // device or a pipe named as a design neither blocks nor reads forever.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        throw EInputFileError("Cannot open file \"" + fileName + "\": " + std::strerror(errno));
    }
    struct stat info {};
    std::string refusal;
    if (::fstat(fd, &info) != 0) {
        refusal = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        refusal = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > kMaxSize) {
        refusal = "it is larger than " + std::to_string(kMaxSize >> 20) + " MB";
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        refusal = std::strerror(errno);
    }
    std::FILE* file = refusal.empty() ? ::fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        if (refusal.empty()) {
            refusal = std::strerror(errno);
        }
        ::close(fd);
        throw EInputFileError("Cannot open file \"" + fileName + "\": " + refusal);
    }
    int error = 0;
    bool more = true;
    // The file's size is read in one piece into room taken once; what grows
    // meanwhile is read after it, up to the limit.
    const auto expected = static_cast<std::uintmax_t>(info.st_size);
    if (expected > 0) {
        FData.resize(static_cast<std::size_t>(expected));
        const std::size_t got = std::fread(FData.data(), 1, FData.size(), file);
        if (got < FData.size()) {
            FData.resize(got);
            more = false;
            if (std::ferror(file) != 0) {
                error = errno != 0 ? errno : EIO;
            }
        }
    }
    char chunk[1 << 16];
    while (more && error == 0) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        FData.append(chunk, got);
        if (FData.size() > kMaxSize) {
            error = EFBIG;
            break;
        }
        if (got < sizeof chunk) {
            if (std::ferror(file) != 0) {
                error = errno != 0 ? errno : EIO;
            }
            break;
        }
    }
    std::fclose(file);
    if (error != 0) {
        FData.clear();
        FData.shrink_to_fit();
        throw EInputFileError("Cannot read file \"" + fileName + "\": " + std::strerror(error));
    }
}

TInputFile::TInputFile(const std::string& fileName, std::string contents)
    : FFileName(fileName), FData(std::move(contents)) {}

TInputFile::TInputFile(const std::string& fileName, const std::string& text, TInPlace)
    : FFileName(fileName), FText(&text) {}
