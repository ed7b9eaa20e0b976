// The real designs beside the checkout, for tests that compare what the
// translator makes of each one with an independent reading of its text. A
// test over them skips, naming the folder, when it is absent.
#pragma once

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace corpus {

namespace fs = std::filesystem;

// Every design file below the corpus folder in name order; none without it.
inline std::vector<fs::path> Designs() {
    std::vector<fs::path> files;
    const fs::path folder(DSNLINK_CORPUS_DIR);
    if (!fs::is_directory(folder))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".dsn")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string Text(const fs::path& path) {
    return testfs::ReadFile(path);
}

// A test over the corpus; `files` holds its designs.
class CorpusTest : public ::testing::Test {
protected:
    void SetUp() override {
        files = Designs();
        if (files.empty())
            GTEST_SKIP() << "corpus folder " << DSNLINK_CORPUS_DIR << " is absent";
    }
    std::vector<fs::path> files;
};

} // namespace corpus
