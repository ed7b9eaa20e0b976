// The plug-in's folders form layers: the board binding at the bottom, the
// text and storage layer above it, the design model above those and the
// plug-in frame on top. These tests read the sources so that a shortcut
// through the layers fails the build's tests the day it is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TFinding {
    std::string Where;
    std::string Line;
};

// Every line of the C++ sources in `folder` that contains `needle`.
std::vector<TFinding> FindInFolder(const std::string& folder, const std::string& needle) {
    std::vector<TFinding> found;
    const fs::path root = fs::path(DSNLINK_SOURCE_DIR) / folder;
    if (!fs::is_directory(root))
        return found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".def"))
            continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number)
            if (line.find(needle) != std::string::npos)
                found.push_back(
                    {folder + "/" + entry.path().filename().string() + ":" + std::to_string(number),
                     line});
    }
    return found;
}

std::string Describe(const std::vector<TFinding>& findings) {
    std::string text;
    for (const TFinding& f : findings)
        text += f.Where + ": " + f.Line + "\n";
    return text;
}

const char* const kModelFolders[] = {"design", "geometry", "rules"};

} // namespace

TEST(Layering, ModelReachesTheEngineOnlyThroughTheBoardLayer) {
    for (const char* folder : kModelFolders) {
        const auto calls = FindInFolder(folder, "PCBProcs");
        EXPECT_TRUE(calls.empty()) << "engine reached directly:\n" << Describe(calls);
        const auto sdk = FindInFolder(folder, "sdk/PcbApi.h");
        EXPECT_TRUE(sdk.empty()) << "engine table included directly:\n" << Describe(sdk);
    }
}

TEST(Layering, NoFolderIncludesFromALayerAboveIt) {
    struct TRule {
        const char* Folder;
        std::vector<const char*> Above;
    };
    const TRule rules[] = {
        {"board", {"specctra/", "persistence/", "design/", "geometry/", "rules/", "plugin/"}},
        {"specctra", {"design/", "geometry/", "rules/", "plugin/"}},
        {"persistence", {"design/", "geometry/", "rules/", "plugin/"}},
        {"design", {"plugin/"}},
        {"geometry", {"plugin/"}},
        {"rules", {"plugin/"}},
        {"engine",
         {"board/", "specctra/", "persistence/", "design/", "geometry/", "rules/", "plugin/"}},
    };
    for (const TRule& rule : rules)
        for (const char* above : rule.Above) {
            const auto found = FindInFolder(rule.Folder, std::string("#include \"") + above);
            EXPECT_TRUE(found.empty()) << rule.Folder << " includes from " << above << ":\n"
                                       << Describe(found);
        }
}
