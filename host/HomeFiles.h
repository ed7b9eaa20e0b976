// harrow's verbs hand the routed board back to the CAD system the design came
// from. The translator's files keep its own contract (plain names in upper
// case, apostrophes, a back-side rotation less 180 degrees); harrow reads the
// design's text once itself, keeps the design's spelling of every name with
// the board, gives the board the outline that a boundary path on layer pcb
// stands for, and rewrites the route and session files the translator wrote.
// --literal leaves all of this out.
#pragma once

#include "boardapi/PcbApiTable.h"
#include "digest/DesignDigest.h"
#include "digest/HomeText.h"
#include "router/RouteBoard.h"

#include <future>
#include <optional>
#include <string>
#include <vector>

namespace Harrow {

class EngineLibrary;

// One design as harrow's verbs read it.
class HomeDesign {
public:
    // Reads `path` whole; raises InputError when it cannot.
    explicit HomeDesign(const std::string& path, bool literal);
    // Stays where it was made: it may be read on a thread of its own.
    HomeDesign(const HomeDesign&) = delete;
    HomeDesign& operator=(const HomeDesign&) = delete;

    bool Literal() const { return literal_; }
    const Digest::DesignDigest& Digest();
    // What harrow gives the board the design went into: the outline
    // (GiveBoardEdge) and the name table (StoreHomeTable), which the board
    // then keeps alone.
    void GiveToBoard(EngineLibrary& engine, intptr_t board);
    // The design's text with the words the translator does not know replaced
    // (empty when there are none, or under --literal); once.
    std::string TakeRewrittenText();
    // What harrow changed or found, one line each, for the summary and the
    // report ("WARNING: " lines).
    std::vector<std::string> Notes();
    std::vector<std::string> ReportWarnings();

    // The board's outline from the boundary's pcb path, when the translation
    // left the board without one (once; nothing under --literal).
    void GiveBoardEdge(const PcbApiTable& api, intptr_t board);
    // The router's vias under the padstacks their via styles name, so that the
    // route files name them so.
    void RecordRouterVias(const Router::RouteBoard& board,
                          const std::vector<Router::RouteVia>& vias);

private:
    // The digest, names and rewritten text of the design's text.
    void Read(std::string_view text);
    // Until the design is read, when that runs on a thread of its own.
    void WaitForReading();
    // The design's names into the table (nothing under --literal).
    void KeepNames();

    std::string path_;
    std::string rewritten_;
    bool literal_;
    Digest::DesignDigest digest_;
    // Kept as text: a design of a million parts holds millions of names, and
    // text is the smallest form of them.
    std::string tableText_;
    std::vector<std::string> caseMerges_; // names the board holds as one
    std::vector<std::string> notes_;
    bool edgeDone_ = false;
    std::future<void> reading_; // last: done before the rest goes
};

// The name table kept with the board under this key.
inline constexpr const char* kHomeTableKey = "design-names";
void StoreHomeTable(EngineLibrary& engine, intptr_t board, const std::string& tableText);
std::optional<Digest::HomeTable> LoadHomeTable(EngineLibrary& engine, intptr_t board);

// Adds harrow's warnings to the end of a report the translator wrote, and
// to its count of warnings.
void AppendReportWarnings(const std::string& report, const std::vector<std::string>& lines);

// Rewrites the route or session file at `path`, which the translator just
// wrote, for the design's CAD system (in place: a new file beside it, renamed
// over it, keeping its mode). Answers the line that says what changed.
std::string RewriteForHome(const std::string& path, const Digest::HomeTable& table);

} // namespace Harrow
