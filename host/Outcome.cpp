#include "host/Outcome.h"

#include "sdk/FileNames.h"
#include "sdk/JsonText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace Harrow {
namespace {

std::string WorkingFolder() {
    std::string cwd(4096, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return {};
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    return cwd;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool IsSaveLeftover(const std::string& name) {
    return name.find(".tmp-") != std::string::npos || name.find(".saving-") != std::string::npos;
}

std::string FolderOf(const std::string& whole) {
    std::string folder = HostSdk::ExtractFilePath(whole);
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder.empty() ? std::string(".") : folder;
}

} // namespace

std::string WholePath(const std::string& path) {
    std::string whole = HostSdk::ExpandFileName(path);
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= whole.size()) {
        std::size_t end = whole.find('/', pos);
        if (end == std::string::npos)
            end = whole.size();
        std::string part = whole.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string result;
    for (const std::string& part : parts)
        result += "/" + part;
    return result.empty() ? std::string("/") : result;
}

std::string ShownPath(const std::string& path) {
    if (path.empty())
        return path;
    std::string whole = WholePath(path);
    std::string cwd = WorkingFolder();
    if (!cwd.empty() && cwd != "/" && whole.size() > cwd.size() + 1 &&
        whole.compare(0, cwd.size(), cwd) == 0 && whole[cwd.size()] == '/')
        return whole.substr(cwd.size() + 1);
    return whole;
}

FileState FileState::Of(const std::string& path) {
    FileState state;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return state;
    state.exists = true;
    state.folder = S_ISDIR(info.st_mode);
    state.device = info.st_dev;
    state.inode = info.st_ino;
    state.modified = info.st_mtim;
    state.size = info.st_size;
    state.mode = info.st_mode;
    return state;
}

bool FileState::WrittenSince(const FileState& before) const {
    if (!exists || folder)
        return false;
    return !before.exists || before.device != device || before.inode != inode ||
           !SameTime(before.modified, modified) || before.size != size;
}

void RequireReadableFile(const std::string& path, const std::string& what) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw InputError(ShownPath(path) + ": no such " + what + " file (" + std::strerror(errno) +
                         ")");
    if (S_ISDIR(info.st_mode))
        throw InputError(ShownPath(path) + " is a folder, not a " + what + " file");
    if (!S_ISREG(info.st_mode))
        throw InputError(ShownPath(path) + " is not a regular file");
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw InputError("cannot read " + ShownPath(path) + ": " + std::strerror(errno));
    ::close(fd);
}

bool IsProtected(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    return ::access(path.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    // The paths as harrow writes them: whole, their "." and ".." steps taken.
    const FileState first = FileState::Of(WholePath(a));
    const FileState second = FileState::Of(WholePath(b));
    if (first.exists && second.exists)
        return first.device == second.device && first.inode == second.inode;
    return !first.exists && !second.exists && WholePath(a) == WholePath(b);
}

ReplacingFile::ReplacingFile(std::string path)
    : path_(std::move(path)), temporary_(path_ + ".tmp-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(::time(nullptr))) {
    // A name planted in the temporary file's place is taken away, not
    // followed: the file is made new (O_EXCL) and never through a link.
    ::unlink(temporary_.c_str());
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0)
        throw HostError("cannot write " + ShownPath(path_) + ": " + std::strerror(errno));
}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

void ReplacingFile::Fail(int error) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.c_str());
    throw HostError("cannot write " + ShownPath(path_) + ": " + std::strerror(error));
}

void ReplacingFile::Write(std::string_view bytes) {
    if (fd_ < 0)
        throw HostError("cannot write " + ShownPath(path_) + ": written already");
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(n == 0 ? EIO : errno);
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

void ReplacingFile::Commit() {
    if (fd_ < 0)
        throw HostError("cannot write " + ShownPath(path_) + ": written already");
    if (::fsync(fd_) != 0)
        Fail(errno);
    const int fd = fd_;
    fd_ = -1;
    int error = ::close(fd) != 0 ? errno : 0;
    if (error == 0 && ::rename(temporary_.c_str(), path_.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary_.c_str());
        throw HostError("cannot write " + ShownPath(path_) + ": " + std::strerror(error));
    }
}

void WriteFileReplacing(const std::string& path, const std::string& bytes) {
    ReplacingFile file(path);
    file.Write(bytes);
    file.Commit();
}

void WriteOutputAsMade(const std::string& path, bool force, const std::string& board,
                       const std::function<void(const OutputSink&)>& write) {
    if (path == "-") {
        write([](std::string_view piece) {
            std::cout.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
        std::cout.flush();
        return;
    }
    OutputGuard guard(force);
    guard.AddInput(board, "board");
    guard.Add(path);
    ReplacingFile file(path);
    write([&file](std::string_view piece) { file.Write(piece); });
    file.Commit();
    guard.RestoreModes();
}

void WriteOutput(const std::string& path, const std::string& text, bool force,
                 const std::string& board) {
    WriteOutputAsMade(path, force, board, [&text](const OutputSink& sink) { sink(text); });
}

void OutputGuard::AddInput(const std::string& path, const std::string& what) {
    inputs_.emplace_back(WholePath(path), what);
}

void OutputGuard::Add(const std::string& path, const std::string& hint) {
    const std::string whole = WholePath(path);
    for (const auto& [input, what] : inputs_)
        if (SameFile(whole, input))
            throw HostError("cannot write " + ShownPath(whole) + ": it is the " + what + " " +
                            ShownPath(input) + " this run reads; give another output");
    for (const auto& [known, before] : files_)
        if (SameFile(whole, known))
            throw HostError("cannot write " + ShownPath(whole) + ": " +
                            (known == whole ? std::string("two outputs of this run are this file")
                                            : "it is the same file as " + ShownPath(known) +
                                                  ", another output of this run") +
                            "; give another output");
    FileState state = FileState::Of(whole);
    if (state.folder)
        throw HostError(ShownPath(whole) + " is a folder; it cannot be written as a file");
    if (state.exists && IsProtected(whole) && !force_)
        throw HostError(ShownPath(whole) +
                        " is read-only; it is not replaced (--force replaces it)");
    const std::string folder = FolderOf(whole);
    if (!HostSdk::DirectoryExists(folder))
        throw HostError("cannot write " + ShownPath(whole) + ": folder " + ShownPath(folder) +
                        " does not exist");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw HostError("cannot write " + ShownPath(whole) + ": folder " + ShownPath(folder) +
                        " is not writable (" + std::strerror(errno) + ")" + hint);
    files_.emplace_back(whole, state);
}

std::vector<std::string> OutputGuard::Written() const {
    std::vector<std::string> written;
    for (const auto& [path, before] : files_)
        if (FileState::Of(path).WrittenSince(before))
            written.push_back(path);
    return written;
}

bool OutputGuard::WasWritten(const std::string& path) const {
    const std::string whole = WholePath(path);
    for (const auto& [known, before] : files_)
        if (known == whole)
            return FileState::Of(known).WrittenSince(before);
    return false;
}

void OutputGuard::RestoreModes() const {
    for (const auto& [path, before] : files_) {
        FileState now = FileState::Of(path);
        if (before.exists && now.WrittenSince(before) &&
            (now.mode & 07777) != (before.mode & 07777))
            ::chmod(path.c_str(), before.mode & 07777);
    }
}

void FolderWatch::Add(const std::string& folder) {
    if (folder.empty() || !HostSdk::DirectoryExists(folder))
        return;
    const std::string whole = WholePath(folder);
    if (folders_.count(whole) != 0)
        return;
    auto& entries = folders_[whole];
    DIR* dir = ::opendir(whole.c_str());
    if (dir == nullptr)
        return;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        entries[name] = FileState::Of(whole + "/" + name);
    }
    ::closedir(dir);
}

namespace {

// Whether `state` is the file harrow's own stdout or stderr goes to: what
// harrow prints there is no file a command wrote.
bool IsOwnOutput(const FileState& state) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && info.st_dev == state.device && info.st_ino == state.inode)
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> FolderWatch::Written() const {
    std::vector<std::string> written;
    for (const auto& [folder, entries] : folders_) {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr)
            continue;
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || IsSaveLeftover(name))
                continue;
            std::string path = (folder == "/" ? std::string() : folder) + "/" + name;
            auto before = entries.find(name);
            FileState now = FileState::Of(path);
            if (now.WrittenSince(before == entries.end() ? FileState() : before->second) &&
                !IsOwnOutput(now))
                written.push_back(path);
        }
        ::closedir(dir);
    }
    std::sort(written.begin(), written.end());
    return written;
}

void FolderWatch::RestoreModes() const {
    for (const auto& [folder, entries] : folders_)
        for (const auto& [name, before] : entries) {
            if (!before.exists || before.folder)
                continue;
            std::string path = (folder == "/" ? std::string() : folder) + "/" + name;
            FileState now = FileState::Of(path);
            if (now.WrittenSince(before) && (now.mode & 07777) != (before.mode & 07777))
                ::chmod(path.c_str(), before.mode & 07777);
        }
}

ReportCounts ReportCounts::Read(const std::string& path) {
    ReportCounts counts;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return counts;
    counts.read = true;
    long totalErrors = 0, totalWarnings = 0;
    auto total = [](const std::string& line, const char* label, long& into) {
        const std::size_t size = std::strlen(label);
        if (line.compare(0, size, label) != 0)
            return false;
        into = std::strtol(line.c_str() + size, nullptr, 10);
        return true;
    };
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (counts.lines.empty() && (total(line, "Total errors encountered: ", totalErrors) ||
                                     total(line, "Total warnings encountered: ", totalWarnings)))
            continue;
        if (line.rfind("ERROR:", 0) == 0) {
            ++counts.errors;
            counts.lines.push_back(line);
        } else if (line.rfind("WARNING:", 0) == 0) {
            ++counts.warnings;
            counts.lines.push_back(line);
        }
    }
    const long most = std::numeric_limits<int>::max();
    counts.errors = static_cast<int>(std::clamp(totalErrors, long{counts.errors}, most));
    counts.warnings = static_cast<int>(std::clamp(totalWarnings, long{counts.warnings}, most));
    return counts;
}

long ReportLineNumber(const std::string& line) {
    // The reader names places as "in line 12" or "between lines: 12-42".
    for (const char* mark : {" line ", " lines: ", " line: "}) {
        std::size_t at = line.find(mark);
        if (at == std::string::npos)
            continue;
        std::size_t digits = at + std::strlen(mark);
        long number = 0;
        std::size_t i = digits;
        while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) &&
               number < 1000000000L)
            number = number * 10 + (line[i++] - '0');
        if (i > digits)
            return number;
    }
    return 0;
}

std::string JsonString(const std::string& text) {
    std::string out;
    HostSdk::AppendJsonString(out, text, true);
    return out;
}

} // namespace Harrow
