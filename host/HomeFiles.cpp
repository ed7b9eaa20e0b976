#include "host/HomeFiles.h"

#include "boardapi/BoardObjects.h"
#include "host/EngineLibrary.h"
#include "host/Outcome.h"
#include "router/DesignBoundary.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace Harrow {
namespace {

std::string ReadWhole(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError("cannot read the " + std::string(what) + " " + ShownPath(path) + ": " +
                         std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file mapped into memory, read-only, for as long as it lives. A design is
// read so, not into the heap: freeing a block that large would raise the
// allocator's threshold for the blocks it takes from the system, and the
// translation that follows would then keep more of its memory.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            throw InputError("cannot read the design " + ShownPath(path) + ": " +
                             std::strerror(error));
        }
        size_ = static_cast<std::size_t>(st.st_size);
        if (size_ > 0) {
            void* at = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (at == MAP_FAILED) {
                const int error = errno;
                ::close(fd);
                throw InputError("cannot read the design " + ShownPath(path) + ": " +
                                 std::strerror(error));
            }
            data_ = static_cast<const char*>(at);
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (data_ != nullptr)
            ::munmap(const_cast<char*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view Text() const { return {data_ != nullptr ? data_ : "", size_}; }

private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
};

// A file harrow wrote a moment ago, written again through the one writer of
// every output (never through a link), with the mode it had.
void ReplaceKeepingMode(const std::string& path, const std::string& text) {
    struct stat st {};
    const bool had = ::stat(path.c_str(), &st) == 0;
    WriteFileReplacing(path, text);
    if (had)
        ::chmod(path.c_str(), st.st_mode & 07777);
}

} // namespace

HomeDesign::HomeDesign(const std::string& path, bool literal) : path_(path), literal_(literal) {
    auto file = std::make_shared<const MappedFile>(path);
    // The design is read on a thread of its own while the translator reads
    // it too, unless the translator is to be given a rewritten text, which
    // only a design holding a foreign word needs.
    if (literal_ || !Digest::MayHoldForeignWords(file->Text())) {
        try {
            reading_ = std::async(std::launch::async, [this, file]() mutable {
                Read(file->Text());
                file.reset(); // unmapped as soon as it is read
            });
            return;
        } catch (const std::system_error&) { // no thread to be had: read here
        }
    }
    Read(file->Text());
}

void HomeDesign::Read(std::string_view text) {
    // The names in the same pass, while the text is at hand: reading it
    // again after the translation would add its size to the process's peak
    // of memory.
    digest_ = Digest::ReadDesignDigest(text, !literal_);
    KeepNames();
    // The names the board will hold as one follow from the table alone: found
    // here, on the reading thread, while the translation runs.
    if (!literal_)
        caseMerges_ = Digest::CaseMergesIn(tableText_);
    if (!literal_ && !digest_.foreignWords.empty())
        rewritten_ = Digest::ReplaceForeignWords(text, digest_.foreignWords);
}

void HomeDesign::WaitForReading() {
    if (reading_.valid())
        reading_.get();
}

const Digest::DesignDigest& HomeDesign::Digest() {
    WaitForReading();
    return digest_;
}

void HomeDesign::KeepNames() {
    if (literal_)
        return;
    // The table as it is kept with the board: the names as the digest wrote
    // them (the text itself, not a copy: a large block freed before the
    // translation would make the allocator keep more of the translation's
    // memory), then the quote, the writer and the vias.
    Digest::HomeTable table;
    table.quote = digest_.quote;
    table.hostCad = digest_.hostCad;
    table.vias = digest_.vias;
    tableText_ = std::move(digest_.nameLines);
    digest_.nameLines.clear();
    tableText_ += table.Serialize();
}

std::vector<std::string> HomeDesign::Notes() {
    WaitForReading();
    std::vector<std::string> notes;
    for (const std::string& merge : caseMerges_)
        notes.push_back(merge + " (the translator reads plain names in upper case)");
    if (!literal_)
        for (const Digest::ForeignWord& word : digest_.foreignWords)
            notes.push_back("line " + std::to_string(word.line) + ": clearance type " + word.word +
                            " read as " + word.replacement);
    notes.insert(notes.end(), notes_.begin(), notes_.end());
    return notes;
}

void HomeDesign::GiveToBoard(EngineLibrary& engine, intptr_t board) {
    WaitForReading();
    if (literal_)
        return;
    GiveBoardEdge(BindPcbApi([&engine](const char* name) { return engine.Symbol(name); }), board);
    StoreHomeTable(engine, board, tableText_);
    // The board keeps the table: the save needs no second copy of it.
    tableText_ = std::string();
}

std::string HomeDesign::TakeRewrittenText() {
    // A design read on a thread has no text to rewrite.
    if (reading_.valid())
        return {};
    return std::move(rewritten_);
}

std::vector<std::string> HomeDesign::ReportWarnings() {
    WaitForReading();
    std::vector<std::string> lines;
    if (literal_)
        return lines;
    for (const Digest::ForeignWord& word : digest_.foreignWords)
        lines.push_back("WARNING: Clearance type " + word.word + " in line " +
                        std::to_string(word.line) + " read as " + word.replacement +
                        " (the keyword table lacks it)");
    for (const std::string& merge : caseMerges_)
        lines.push_back("WARNING: " + merge);
    return lines;
}

void HomeDesign::GiveBoardEdge(const PcbApiTable& api, intptr_t board) {
    WaitForReading();
    if (literal_ || edgeDone_)
        return;
    edgeDone_ = true;
    intptr_t window = 0, outline = 0;
    int32_t isLibrary = 0, ox = 0, oy = 0, cx = 0, cy = 0, unit = 0, layer = 0, drill = 0;
    PcbApiDielectric top{}, bottom{};
    std::vector<char> name(PCBAPI_TEXT_CAPACITY, '\0');
    if (api.PcbApi_QueryBoard(1, board, &window, name.data(), &isLibrary, &ox, &oy, &cx, &cy, &unit,
                              &top, &bottom, &layer, &drill, &outline) != 1 ||
        outline != 0)
        return;
    std::string note;
    const std::vector<Router::Pt> edge =
        Router::BoardEdge(digest_, {static_cast<double>(ox), static_cast<double>(oy)}, note);
    if (!note.empty())
        notes_.push_back(note);
    if (edge.empty())
        return;
    const intptr_t handle = api.PcbApi_CreateBoardOutline(board);
    if (handle == 0)
        return;
    std::vector<PcbApiPolySegment> segments;
    for (const Router::Pt& p : edge) {
        PcbApiPolySegment segment{};
        segment.vx = static_cast<int32_t>(p.x);
        segment.vy = static_cast<int32_t>(p.y);
        segments.push_back(segment);
    }
    segments.push_back(segments.front());
    TObjectCommon c;
    int32_t points = 0, count = 0, flags[9] = {};
    api.PcbApi_QueryPolygonEx(1, handle, HARROW_COMMON(c), &points, nullptr, &count, 0, &flags[0],
                              &flags[1], &flags[2], &flags[3], &flags[4], &flags[5], &flags[6],
                              &flags[7], &flags[8]);
    c.layer = BoardLayer::KeepOut;
    points = static_cast<int32_t>(edge.size());
    count = static_cast<int32_t>(segments.size());
    flags[3] = 1; // poured over
    flags[4] = 0; // grid and track size: the path's width, none
    flags[5] = 0;
    flags[8] = 0; // hatched at 90 degrees
    api.PcbApi_QueryPolygonEx(0, handle, HARROW_COMMON(c), &points, segments.data(), &count, count,
                              &flags[0], &flags[1], &flags[2], &flags[3], &flags[4], &flags[5],
                              &flags[6], &flags[7], &flags[8]);
    api.PcbApi_UpdateBoardOutline(handle);
    notes_.push_back("the board outline is the boundary's path on layer pcb (" +
                     std::to_string(edge.size()) + " corners)");
}

void HomeDesign::RecordRouterVias(const Router::RouteBoard& board,
                                  const std::vector<Router::RouteVia>& vias) {
    WaitForReading();
    if (literal_)
        return;
    // Board units (1/10000 mil) to the route file's 0.00001 mm, from the
    // design's zero.
    constexpr double kStepsPerUnit = 0.0254 / 10000.0 * 100000.0;
    for (const Router::RouteVia& via : vias) {
        const std::string& padstack = board.ViaPadstackOf(via.net);
        if (!padstack.empty())
            tableText_ += Digest::HomeTable::ViaLine(
                {padstack, std::llround((via.at.x - board.origin.x) * kStepsPerUnit),
                 std::llround((via.at.y - board.origin.y) * kStepsPerUnit)});
    }
}

void StoreHomeTable(EngineLibrary& engine, intptr_t board, const std::string& tableText) {
    // A table of no name and no via says nothing: the board stays as it was.
    const std::string added = Digest::PruneTableText(tableText);
    const std::optional<Digest::HomeTable> addedTable = Digest::HomeTable::Parse(added);
    if (!addedTable ||
        (addedTable->vias.empty() && std::all_of(addedTable->names.begin(), addedTable->names.end(),
                                                 [](const auto& names) { return names.empty(); })))
        return;
    // A second design imported into the same board adds its names.
    const std::optional<std::string> keptText = engine.HostData(board, kHomeTableKey);
    std::optional<Digest::HomeTable> kept =
        keptText ? Digest::HomeTable::Parse(*keptText) : std::nullopt;
    std::string text = added;
    if (kept) {
        kept->Add(*addedTable);
        text = Digest::PruneTableText(kept->Serialize());
        if (text == *keptText)
            return;
    }
    engine.SetHostData(board, kHomeTableKey, text.data(), static_cast<int64_t>(text.size()));
}

std::optional<Digest::HomeTable> LoadHomeTable(EngineLibrary& engine, intptr_t board) {
    const std::optional<std::string> text = engine.HostData(board, kHomeTableKey);
    if (!text)
        return std::nullopt;
    return Digest::HomeTable::Parse(*text);
}

void AppendReportWarnings(const std::string& report, const std::vector<std::string>& lines) {
    if (lines.empty())
        return;
    std::string text = ReadWhole(report, "report");
    const std::string newline = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    constexpr std::string_view kTotal = "Total warnings encountered: ";
    if (const std::size_t at = text.find(kTotal); at != std::string::npos) {
        const std::size_t digits = at + kTotal.size();
        std::size_t end = digits;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        if (end > digits && end - digits < 10) {
            const long total =
                std::stol(text.substr(digits, end - digits)) + static_cast<long>(lines.size());
            text.replace(digits, end - digits, std::to_string(total));
        }
    }
    if (!text.empty() && text.back() != '\n')
        text += newline;
    for (const std::string& line : lines)
        text += line + newline;
    ReplaceKeepingMode(report, text);
}

std::string RewriteForHome(const std::string& path, const Digest::HomeTable& table) {
    const Digest::HomeText home = Digest::WriteHomeText(ReadWhole(path, "file"), table);
    ReplaceKeepingMode(path, home.text);
    std::string line = Digest::DescribeHomeCounts(home.counts);
    for (const std::string& note : home.notes)
        line += "; " + note;
    return line;
}

} // namespace Harrow
