#include "host/Project.h"

#include "host/sdk/FileNames.h"

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

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    // The bytes reach the disk under a temporary name in the same folder before
    // the rename replaces the old file: a reader or a crash sees one or the
    // other, never a part.
    std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    bool written = true;
    while (written && left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        written = n > 0;
        if (written) {
            data += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    int error = written ? 0 : errno;
    if (written && ::fsync(fd) != 0) {
        written = false;
        error = errno;
    }
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot replace " + path + ": " + std::strerror(error));
    }
}

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
    WriteFileAtomically(path_, out.str());
    modified_ = false;
}

} // namespace Harrow
