// Files for tests: a scratch folder removed with all it holds (made writable
// first, in case a test took its rights away), and whole files read and
// written as bytes.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace testfs {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes `text` to `path`, making its folders; gives the path back.
inline fs::path WriteFile(const fs::path& path, const std::string& text) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/dsnlink-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    fs::path operator/(const std::string& name) const { return path / name; }
    fs::path Write(const std::string& name, const std::string& text) const {
        return WriteFile(path / name, text);
    }

    fs::path path;
};

} // namespace testfs
