// "file" blocks, which make the reader go on in another file: hostile designs
// that must neither hang the reader, nor read what lies outside the design,
// nor swallow the rest of the design.
#include "support/TempFolder.h"

#include "design/IncludedFile.h"
#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

using Folder = testfs::TempFolder;

// Reads a design file from disk as the import does.
struct TReadFile {
    std::unique_ptr<TSpecctraParser> Parser;
    std::unique_ptr<TSpecctraDesign> Design;
    bool Result = false;
    double Seconds = 0;

    explicit TReadFile(const fs::path& file) {
        const auto start = std::chrono::steady_clock::now();
        ResetTranslationState();
        Parser = std::make_unique<TSpecctraParser>(file.string());
        Parser->RegisterKeywords();
        Design = std::make_unique<TSpecctraDesign>(file.string(), Parser.get(), nullptr, 0);
        Result = Design->ImportFromFile();
        Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const std::vector<std::string>& Lines() const { return Design->Report()->Events(); }
    // The lines that contain `text`.
    int Count(const std::string& text) const {
        return static_cast<int>(std::count_if(Lines().begin(), Lines().end(), [&](const auto& l) {
            return l.find(text) != std::string::npos;
        }));
    }
};

} // namespace

TEST(IncludedFiles, AFileThatIncludesItselfIsReadOnce) {
    Folder dir;
    // Directly, and through a second file that names the first again.
    TReadFile read(dir.Write("self.dsn", "(pcb x (unit mm) (file 'self.dsn') (unit mil))\n"));
    EXPECT_TRUE(read.Result);
    EXPECT_LT(read.Seconds, 2.0);
    EXPECT_EQ(read.Count("ERROR: Included file <self.dsn> not read: it has been read already"), 1);
    EXPECT_EQ(read.Design->GetUnit(), eDimMil) << "the design is read on after the block";

    dir.Write("b.dsn", "(unit inch) (file A.DSN)\n");
    TReadFile cycle(dir.Write("a.dsn", "(pcb x (file b.dsn) (unit mm))\n"));
    EXPECT_EQ(cycle.Count("Included file <A.DSN> not read: it has been read already"), 1);
    EXPECT_EQ(cycle.Design->GetUnit(), eDimInch) << "b.dsn was read";
}

TEST(IncludedFiles, OnlyRegularFilesInsideTheDesignFolderAreRead) {
    Folder dir;
    dir.Write("parts/inner.dsn", "(unit inch)\n");
    fs::create_symlink("/etc/passwd", dir.path / "link.dsn");
    fs::create_directory(dir.path / "folder.dsn");
    // Each block and why it is not read ("": it cannot be opened).
    const std::pair<std::string, std::string> cases[] = {
        {"(file '/dev/zero')", "it is not a regular file"},
        {"(file '/etc/passwd')", "it lies outside the design's folder"},
        {"(file '../../etc/passwd')", "it lies outside the design's folder"},
        {"(file 'link.dsn')", "it lies outside the design's folder"},
        {"(file 'folder.dsn')", "it is not a regular file"},
        {"(file 'missing.dsn')", ""},
    };
    for (const auto& [block, reason] : cases) {
        TReadFile read(dir.Write("d.dsn", "(pcb x (unit mm) " + block + " (unit mil))"));
        EXPECT_LT(read.Seconds, 2.0) << block;
        EXPECT_EQ(read.Count(reason.empty() ? "ERROR: Cannot open file" : "not read: " + reason), 1)
            << block;
        EXPECT_EQ(read.Count("Unexpected token"), 0) << block << ": nothing of it was read";
        EXPECT_EQ(read.Design->GetUnit(), eDimMil) << block;
    }
    // A file in a subfolder is read, by the name the design gives it.
    TReadFile inner(dir.Write("d.dsn", "(pcb x (unit mm) (file PARTS/INNER.DSN))"));
    EXPECT_EQ(inner.Count("not read"), 0);
    EXPECT_EQ(inner.Design->GetUnit(), eDimInch);
}

TEST(IncludedFiles, OversizedFilesAndLongChainsAreRefused) {
    Folder dir;
    const fs::path big = dir.path / "big.dsn";
    std::ofstream(big) << "(unit inch)";
    fs::resize_file(big, TIncludedFiles::kMaxFileSize + 1); // sparse: takes no room
    TReadFile oversized(dir.Write("d.dsn", "(pcb x (file big.dsn) (unit mil))"));
    EXPECT_EQ(oversized.Count("not read: it is larger than 256 MB"), 1);
    EXPECT_EQ(oversized.Design->GetUnit(), eDimMil);

    // f0 -> f1 -> ... -> f40: the chain stops after kMaxFiles files.
    for (int i = 1; i <= 40; ++i)
        dir.Write("f" + std::to_string(i) + ".dsn",
                  "(unit mil) (file f" + std::to_string(i + 1) + ".dsn)");
    TReadFile chain(dir.Write("f0.dsn", "(pcb x (file f1.dsn)"));
    EXPECT_EQ(chain.Count("a design may chain at most 32 files"), 1);
    EXPECT_EQ(
        chain.Parser->Input().FileName(),
        fs::canonical(dir.path / ("f" + std::to_string(TIncludedFiles::kMaxFiles - 1) + ".dsn"))
            .string());
}
