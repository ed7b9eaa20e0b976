// What a harrow run tells a script: the exit status, the files a command
// wrote, the counts of a translation report, and the paths as harrow prints
// them. Also the guards around files harrow is about to replace.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace Harrow {

// The exit status of every verb.
enum ExitStatus : int {
    kExitDone = 0,         // done, and the report holds no errors
    kExitReportErrors = 1, // done, but the report holds errors (the board is still saved)
    kExitHostError = 2,    // usage or host error: nothing was changed by harrow's fault
    kExitNothing = 3,      // nothing translated: missing or unreadable input, not a design,
                           // cancelled, or nothing the command could write
};

// A refusal or failure; main prints "harrow: " + what() and exits with `status`.
struct HarrowError : std::runtime_error {
    HarrowError(ExitStatus code, const std::string& text)
        : std::runtime_error(text), status(code) {}
    ExitStatus status;
};
// Usage and host errors: exit 2.
struct HostError : HarrowError {
    explicit HostError(const std::string& text) : HarrowError(kExitHostError, text) {}
};
// Input that cannot be translated: exit 3.
struct InputError : HarrowError {
    explicit InputError(const std::string& text) : HarrowError(kExitNothing, text) {}
};

// A path as harrow prints it: relative to the working folder when it lies
// inside it, else whole. Every path on harrow's console goes through here.
std::string ShownPath(const std::string& path);
// The whole path ("/..."), without "." and ".." steps.
std::string WholePath(const std::string& path);

// Enough of a file's identity to tell whether it was written: replacing a
// file through a rename gives it a new inode, writing it in place a new time.
struct FileState {
    bool exists = false;
    bool folder = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    off_t size = 0;
    mode_t mode = 0;

    static FileState Of(const std::string& path);
    bool WrittenSince(const FileState& before) const;
};

// An input file that must exist, be a regular file and be readable; raises
// InputError naming the file otherwise. `what` names it in the message
// ("design", "board").
void RequireReadableFile(const std::string& path, const std::string& what);

// A file the user protected: it exists and may not be written (no write
// permission for harrow, or no write bit at all).
bool IsProtected(const std::string& path);

// Whether two paths name the same file: by device and inode when both
// exist (a link is the file it leads to), by whole path otherwise.
bool SameFile(const std::string& a, const std::string& b);

// Writes `bytes` to `path` the one way harrow writes a file: into a new
// temporary file beside it, flushed, then renamed over it. A link in the
// target's place is replaced, not written through; a read-only file is
// replaced too (the caller decides whether it may be). Raises HostError
// naming the file; the temporary file is removed on every failure.
void WriteFileReplacing(const std::string& path, const std::string& bytes);

// The same way of writing, for a file written piece by piece as it is made
// (a large board's page is hundreds of megabytes): Write appends, Commit
// flushes and renames the file into place. Until Commit, `path` is left as it
// was; a file destroyed without Commit (a failure on the way) has its
// temporary file removed. Raises HostError naming the file.
class ReplacingFile {
public:
    explicit ReplacingFile(std::string path);
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile();
    void Write(std::string_view bytes);
    void Commit();

private:
    [[noreturn]] void Fail(int error);

    std::string path_, temporary_;
    int fd_ = -1;
};

// Where output goes as it is made, piece after piece.
using OutputSink = std::function<void(std::string_view)>;

// Writes what `write` gives its sink to `path` ("-": standard output) the
// way every output of a verb is written: after an OutputGuard's checks (with
// `board` as the run's input), never through a link, never over the board.
// The output is written as it is made; a failure on the way leaves `path` as
// it was. WriteOutput writes `text` so.
void WriteOutputAsMade(const std::string& path, bool force, const std::string& board,
                       const std::function<void(const OutputSink&)>& write);
void WriteOutput(const std::string& path, const std::string& text, bool force,
                 const std::string& board);

// Guards the files a verb is about to write: a protected one is refused
// unless `force`, a folder that cannot take new files is refused, and so is
// an output that is the same file as an input of the run or as another of its
// outputs; all raise HostError. Remembers each file's mode so that Restore
// keeps it after the file was replaced.
class OutputGuard {
public:
    explicit OutputGuard(bool force) : force_(force) {}
    // A file the run reads, which no output may replace; `what` names it in
    // the refusal ("design", "board").
    void AddInput(const std::string& path, const std::string& what);
    // `hint` is added to the refusal of a folder ("-o puts ... elsewhere").
    void Add(const std::string& path, const std::string& hint = std::string());
    // The outputs that were written since Add, in the order added.
    std::vector<std::string> Written() const;
    bool WasWritten(const std::string& path) const;
    // Gives every replaced file back the mode it had.
    void RestoreModes() const;

private:
    bool force_;
    std::vector<std::pair<std::string, FileState>> files_;
    std::vector<std::pair<std::string, std::string>> inputs_; // path, what it is
};

// Every entry of a few folders before a command, to name the files the
// command wrote (new or replaced) afterwards.
class FolderWatch {
public:
    void Add(const std::string& folder);
    // Whole paths of the files written since Add, sorted; leftovers of
    // atomic saves (".tmp-", ".saving-") are not counted.
    std::vector<std::string> Written() const;
    // Gives every replaced file back the mode it had.
    void RestoreModes() const;

private:
    std::map<std::string, std::map<std::string, FileState>> folders_;
};

// The error and warning lines of a translation report, in order.
struct ReportCounts {
    bool read = false;
    // The report's totals; a long report lists only part of its lines, and
    // its header then holds counts beyond the lines listed.
    int errors = 0;
    int warnings = 0;
    std::vector<std::string> lines; // the ERROR: and WARNING: lines listed
    static ReportCounts Read(const std::string& path);
};

// The first line number a report line names ("in line 12", "lines: 12-42"),
// 0 when it names none.
long ReportLineNumber(const std::string& line);

// Text as a JSON string literal; UTF-8 file names pass as they are.
std::string JsonString(const std::string& text);

} // namespace Harrow
