// File-name helpers with the host's rules, the one place that knows them (report
// names, extension changes, "RenameDSN", the design name in reports). A folder
// separator is "\" or ":" as on the host's home platform and, on this one, also
// "/": a "." in a folder name ("/work/v1.2/board") never starts an extension.
// The extension is the text from the last "." after the last separator.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace HostSdk {

inline std::size_t NameStart(std::string_view path) {
    std::size_t sep = path.find_last_of("/\\:");
    return sep == std::string_view::npos ? 0 : sep + 1;
}

// The extension with its dot (".dsn"), or empty.
inline std::string ExtractFileExt(std::string_view path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < NameStart(path))
        return {};
    return std::string(path.substr(dot));
}

// The name after the last separator, extension included.
inline std::string ExtractFileName(std::string_view path) {
    return std::string(path.substr(NameStart(path)));
}

// The folder with its trailing separator ("" for a bare name).
inline std::string ExtractFilePath(std::string_view path) {
    return std::string(path.substr(0, NameStart(path)));
}

// Replaces (or adds) the extension; `extension` is given without the dot.
// An empty extension removes it.
inline std::string ChangeFileExt(std::string_view path, std::string_view extension) {
    std::size_t dot = path.rfind('.');
    std::string base(dot == std::string_view::npos || dot < NameStart(path) ? path
                                                                            : path.substr(0, dot));
    if (!extension.empty()) {
        base += '.';
        base.append(extension);
    }
    return base;
}

// True for an existing file that is not a folder.
inline bool FileExists(const std::string& path) {
    if (path.empty())
        return false;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

inline bool DirectoryExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The whole file name: a relative path is taken from the working folder.
inline std::string ExpandFileName(const std::string& path) {
    if (path.empty() || path.front() == '/')
        return path;
    std::string cwd(4096, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return path;
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    if (cwd.empty() || cwd.back() != '/')
        cwd += '/';
    return cwd + path;
}

} // namespace HostSdk
