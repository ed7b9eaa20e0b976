// A design file seen under another folder: a private folder holding a link to
// the design, so that everything the plug-in names after the design (board,
// report, token dump, route files) lands in that folder instead of beside the
// design. harrow moves what it wants out of it and removes the rest.
#pragma once

#include <string>
#include <vector>

namespace Harrow {

class StagedDesign {
public:
    // A new folder inside `parent` with a link named `linkName` (the design's
    // own name when empty) to `design`, or a file holding `text` in its stead
    // (the design as harrow rewrote it). Raises HostError with a reason.
    StagedDesign(const std::string& design, const std::string& parent,
                 const std::string& linkName = std::string(), const std::string* text = nullptr);
    ~StagedDesign();
    StagedDesign(const StagedDesign&) = delete;
    StagedDesign& operator=(const StagedDesign&) = delete;

    // The link: the design's path as the plug-in sees it.
    const std::string& Path() const { return link_; }
    const std::string& Folder() const { return folder_; }
    // The file the plug-in names after the design with `extension`.
    std::string Named(const std::string& extension) const;
    // Moves that file to `target` (same file system); false when the
    // plug-in did not write it. Raises HostError when the move fails.
    bool MoveOut(const std::string& extension, const std::string& target) const;

private:
    std::string folder_;
    std::string link_;
};

} // namespace Harrow
