#include "support/TempFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace testfs {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path WriteFile(const fs::path& path, const std::string& text) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/dsnlink-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

} // namespace testfs
