#include "host/StagedDesign.h"

#include "host/Outcome.h"
#include "sdk/FileNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace Harrow {

StagedDesign::StagedDesign(const std::string& design, const std::string& parent,
                           const std::string& linkName, const std::string* text) {
    std::string pattern = WholePath(parent) + "/.harrow-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw HostError("cannot make a work folder in " + ShownPath(parent) + ": " +
                        std::strerror(errno));
    folder_ = pattern;
    link_ =
        folder_ + "/" + (linkName.empty() ? HostSdk::ExtractFileName(WholePath(design)) : linkName);
    int error = 0;
    if (text != nullptr) {
        if (FILE* file = std::fopen(link_.c_str(), "wb")) {
            if (std::fwrite(text->data(), 1, text->size(), file) != text->size())
                error = errno != 0 ? errno : EIO;
            if (std::fclose(file) != 0 && error == 0)
                error = errno;
        } else {
            error = errno;
        }
    } else if (::symlink(WholePath(design).c_str(), link_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(link_.c_str());
        ::rmdir(folder_.c_str());
        throw HostError("cannot " + std::string(text != nullptr ? "copy " : "link ") +
                        ShownPath(design) + " into " + ShownPath(parent) + ": " +
                        std::strerror(error));
    }
}

StagedDesign::~StagedDesign() {
    if (DIR* dir = ::opendir(folder_.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                ::unlink((folder_ + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder_.c_str());
}

std::string StagedDesign::Named(const std::string& extension) const {
    return HostSdk::ChangeFileExt(link_, extension);
}

bool StagedDesign::MoveOut(const std::string& extension, const std::string& target) const {
    const std::string from = Named(extension);
    if (!FileState::Of(from).exists)
        return false;
    if (std::rename(from.c_str(), target.c_str()) != 0)
        throw HostError("cannot move " + ShownPath(from) + " to " + ShownPath(target) + ": " +
                        std::strerror(errno));
    return true;
}

} // namespace Harrow
