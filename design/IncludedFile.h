// The files a design reads through its "file" blocks. A "file" block makes
// the reader go on from the start of another file, which may hold "file"
// blocks of its own; this guard keeps that chain finite and harmless: only
// regular files, only inside the design's folder, each at most once, none
// larger than a design can sensibly be, and only so many of them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

class TIncludedFiles {
public:
    static constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{256} << 20;
    static constexpr int kMaxFiles = 32;

    // `designFile`: the path of the design file whose reading starts the
    // chain; its folder bounds every file the chain may name.
    explicit TIncludedFiles(const std::string& designFile);

    // Checks the file that a "file" block names while `currentFile` is read
    // (a relative name is taken beside the current file, in any letter case).
    // True with the path to read (also for a file that is not there, which
    // then fails to open); false with the reason it may not be read.
    bool Admit(const std::string& name, const std::string& currentFile, std::string& path,
               std::string& reason);

    // The report line for a refused "file" block.
    static std::string RefusalText(const std::string& name, const std::string& reason);

private:
    std::string FFolder; // the design's folder, resolved; empty when it cannot be
    std::set<std::pair<std::uintmax_t, std::uintmax_t>> FRead; // device and inode
    int FCount = 1;
};
