#include "host/Project.h"

#include "host/Outcome.h"

#include "sdk/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace Harrow {

std::vector<std::string> Project::ReadDocuments(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read project " + path);
    std::string folder = HostSdk::ExtractFilePath(HostSdk::ExpandFileName(path));
    std::vector<std::string> documents;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const std::string key = "Document=";
        if (line.compare(0, key.size(), key) != 0 || line.size() == key.size())
            throw std::runtime_error("project " + path + " line " + std::to_string(number) +
                                     ": expected Document=<path>");
        std::string document = line.substr(key.size());
        documents.push_back(document.front() == '/' ? document : folder + document);
    }
    return documents;
}

Project::Project(std::string path, std::vector<std::string> documents)
    : path_(std::move(path)), documents_(std::move(documents)) {}

void Project::AddDocument(const std::string& path) {
    std::string whole = HostSdk::ExpandFileName(path);
    if (std::find(documents_.begin(), documents_.end(), whole) == documents_.end())
        documents_.push_back(whole);
    modified_ = true;
}

void Project::Save() {
    std::string folder = HostSdk::ExtractFilePath(HostSdk::ExpandFileName(path_));
    std::ostringstream out;
    out << "# harrow project\n";
    for (const std::string& document : documents_) {
        bool inside = !folder.empty() && document.compare(0, folder.size(), folder) == 0;
        out << "Document=" << (inside ? document.substr(folder.size()) : document) << "\n";
    }
    WriteFileReplacing(path_, out.str());
    modified_ = false;
}

} // namespace Harrow
