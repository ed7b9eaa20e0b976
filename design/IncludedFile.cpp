#include "design/IncludedFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace {

namespace fs = std::filesystem;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path with symbolic links and "." and ".." resolved; empty when it does
// not exist.
std::string Resolved(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    return ec ? std::string() : canonical.string();
}

bool SameTextAnyCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// `name` below `folder`, each part of it found in any letter case when it is
// not there as written (unquoted names arrive upper-cased).
std::string FindAnyCase(const fs::path& folder, const std::string& name) {
    fs::path at = folder;
    for (const fs::path& part : fs::path(name)) {
        std::error_code ec;
        fs::path next = at / part;
        if (!fs::exists(fs::symlink_status(next, ec)))
            for (const auto& entry : fs::directory_iterator(at, ec))
                if (SameTextAnyCase(entry.path().filename().string(), part.string())) {
                    next = entry.path();
                    break;
                }
        at = next;
    }
    return at.string();
}

} // namespace

TIncludedFiles::TIncludedFiles(const std::string& designFile)
    : FFolder(Resolved(FolderOf(designFile))) {
    struct stat st {};
    if (::stat(designFile.c_str(), &st) == 0)
        FRead.emplace(st.st_dev, st.st_ino);
}

std::string TIncludedFiles::RefusalText(const std::string& name, const std::string& reason) {
    return "Included file <" + name + "> not read: " + reason + ".";
}

bool TIncludedFiles::Admit(const std::string& name, const std::string& currentFile,
                           std::string& path, std::string& reason) {
    if (name.empty()) {
        reason = "the file block names no file";
        return false;
    }
    const std::string base = name[0] == '/' ? "/" : FolderOf(currentFile);
    const std::string found = FindAnyCase(base, name[0] == '/' ? name.substr(1) : name);
    const std::string resolved = Resolved(found);
    struct stat st {};
    if (resolved.empty() || ::stat(resolved.c_str(), &st) != 0) {
        // Not there: opening it fails and says so.
        path = found;
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "it is not a regular file";
        return false;
    }
    if (FFolder.empty() ||
        (FFolder != "/" && resolved.compare(0, FFolder.size() + 1, FFolder + "/") != 0)) {
        reason = "it lies outside the design's folder";
        return false;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxFileSize) {
        reason = "it is larger than " + std::to_string(kMaxFileSize >> 20) + " MB";
        return false;
    }
    if (FRead.count({st.st_dev, st.st_ino}) != 0) {
        reason = "it has been read already (a file that includes itself would be read forever)";
        return false;
    }
    if (FCount >= kMaxFiles) {
        reason = "a design may chain at most " + std::to_string(kMaxFiles) + " files";
        return false;
    }
    FRead.emplace(st.st_dev, st.st_ino);
    ++FCount;
    path = resolved;
    return true;
}
