// Harrow project files: plain text, one document a line.
//
//   # harrow project
//   Document=board.pcbdoc
//
// Document paths are stored relative to the project file's folder when they
// lie inside it. Blank lines and lines starting with "#" are ignored. An empty
// file is an empty project.
#pragma once

#include "sdk/HostClient.h"

#include <string>
#include <vector>

namespace Harrow {

class Project : public HostSdk::IProject {
public:
    // Reads the project file; raises when it cannot be read or holds a line
    // that is not a document entry.
    static std::vector<std::string> ReadDocuments(const std::string& path);

    Project(std::string path, std::vector<std::string> documents);

    std::string FileName() const override { return path_; }
    void AddDocument(const std::string& path) override;
    std::vector<std::string> DocumentPaths() const override { return documents_; }
    void SetModified(bool modified) override { modified_ = modified; }
    bool Modified() const { return modified_; }

    // Writes the project file atomically; raises on failure.
    void Save();

private:
    std::string path_;
    std::vector<std::string> documents_; // whole file names
    bool modified_ = false;
};

} // namespace Harrow
