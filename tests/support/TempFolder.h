// Files for tests: a scratch folder removed with all it holds (made writable
// first, in case a test took its rights away), and whole files read and
// written as bytes.
#pragma once

#include <filesystem>
#include <string>

namespace testfs {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path);
// Writes `text` to `path`, making its folders; gives the path back.
fs::path WriteFile(const fs::path& path, const std::string& text);

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    fs::path operator/(const std::string& name) const { return path / name; }
    fs::path Write(const std::string& name, const std::string& text) const {
        return WriteFile(path / name, text);
    }

    fs::path path;
};

} // namespace testfs
