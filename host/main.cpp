// harrow: the host shell. Loads the Corvane engine and the DsnLink plug-in,
// opens board documents, runs one plug-in command with its parameter string,
// saves what the command changed and says what happened: one summary line per
// translation on stderr and an exit status a script can branch on.
#include "host/BoardCheck.h"
#include "host/BoardPicture.h"
#include "host/BoardSummary.h"
#include "host/Catalog.h"
#include "host/CommandLine.h"
#include "host/EmbeddedListing.h"
#include "host/HomeFiles.h"
#include "host/Outcome.h"
#include "host/RuleListing.h"
#include "host/Session.h"
#include "host/StagedDesign.h"
#include "sdk/FileNames.h"
#include "sdk/Parameters.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <tuple>
#include <unistd.h>
#include <vector>

#ifndef HARROW_VERSION
#define HARROW_VERSION "unknown"
#endif

namespace {

using namespace Harrow;

// ---- what happened ----

std::string Counted(long count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The outcome of one translation: what went in, what came out, the counts of
// its report and the exit status they give.
struct Translation {
    std::string input;  // whole path
    std::string output; // whole path of the board (or dump); empty when none
    std::string report; // whole path when a report was written
    ReportCounts counts;
    std::vector<std::string> files;      // route and session files written
    bool outputIsFiles = false;          // "output" lists the files (export)
    std::vector<std::string> notWritten; // asked-for files that were not written
    std::vector<std::string> notDone;    // other asked-for work left undone
    bool done = false;
    bool interrupted = false;
    std::string nothingReason; // when !done

    ExitStatus Status() const {
        if (!done)
            return kExitNothing;
        if (counts.errors > 0 || !notWritten.empty() || !notDone.empty() || interrupted)
            return kExitReportErrors;
        return kExitDone;
    }

    std::string SummaryLine() const {
        std::string line = ShownPath(input);
        if (!done)
            return line + ": nothing translated" +
                   (nothingReason.empty() ? std::string() : " (" + nothingReason + ")");
        if (!output.empty())
            line += " -> " + ShownPath(output);
        if (counts.read)
            line += ": " + Counted(counts.errors, "error") + ", " +
                    Counted(counts.warnings, "warning") + " (report " + ShownPath(report) + ")";
        else
            line += ": done, no report";
        if (interrupted)
            line += ", interrupted";
        for (const std::string& undone : notDone)
            line += ", " + undone;
        return line;
    }

    static std::string JsonList(const std::vector<std::string>& paths) {
        std::string out = "[";
        for (const std::string& path : paths)
            out += (out.size() > 1 ? "," : "") + JsonString(path);
        return out + "]";
    }

    std::string Json(const std::string& verb) const {
        std::ostringstream out;
        out << "{\"verb\":" << JsonString(verb) << ",\"input\":" << JsonString(input)
            << ",\"output\":"
            << (outputIsFiles    ? JsonList(files)
                : output.empty() ? "null"
                                 : JsonString(output))
            << ",\"report\":" << (report.empty() ? "null" : JsonString(report))
            << ",\"errors\":" << counts.errors << ",\"warnings\":" << counts.warnings
            << ",\"done\":" << (done ? "true" : "false") << ",\"files\":" << JsonList(files)
            << ",\"not_written\":" << JsonList(notWritten)
            << ",\"exit\":" << static_cast<int>(Status()) << "}";
        return out.str();
    }
};

int Report(const CommandLine& line, const Translation& translation) {
    if (!line.quiet) {
        std::cerr << translation.SummaryLine() << std::endl;
        for (const std::string& path : translation.notWritten)
            std::cerr << ShownPath(translation.output.empty() ? translation.input
                                                              : translation.output)
                      << " -> " << ShownPath(path) << ": not written" << std::endl;
    }
    if (line.json)
        std::cout << translation.Json(line.verb) << std::endl;
    return translation.Status();
}

// An importer result as the host shows it: "0x8000FFFF".
std::string HexCode(int32_t code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(code));
    return hex;
}

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && HostSdk::DirectoryExists(folder) ? std::string(folder)
                                                                 : std::string("/tmp");
}

// The design's recognition by the plug-in's importer, whatever the file's
// extension: a file named otherwise is shown to it through a link named .dsn.
bool IsDesign(Session& session, const std::string& path) {
    std::string checked = path;
    std::optional<StagedDesign> link;
    const std::string extension = HostSdk::ExtractFileExt(path);
    if (!HostSdk::SameTextAscii(extension, ".dsn") && !HostSdk::SameTextAscii(extension, ".rte")) {
        link.emplace(path, TemporaryFolder(), "design.dsn");
        checked = link->Path();
    }
    bool valid = false;
    int32_t result = 0;
    session.Guarded("check",
                    [&] { result = session.Plugin().Importer().IsValidFile(checked, &valid); });
    if (result != 0)
        throw HostError("the plug-in's importer failed (code " + HexCode(result) + ")");
    // An interrupt confirmed while the importer looked at the file ends the
    // whole command, not just the look.
    if (session.GetConsole().Interrupted())
        throw InputError(ShownPath(path) + ": cancelled by the user");
    return valid;
}

// An input design for a translation: readable, and a design.
void RequireDesign(Session& session, const std::string& path) {
    RequireReadableFile(path, "design");
    if (FileState::Of(path).size == 0)
        throw InputError(ShownPath(path) + " is empty: not a Specctra design");
    if (!IsDesign(session, path))
        throw InputError(ShownPath(path) +
                         " is not a Specctra design (a design begins with \"(pcb\")");
}

// The board path of -o: a folder (existing, or written with a trailing "/")
// takes the design's name.
std::string BoardOutput(const std::string& output, const std::string& dsn) {
    std::string whole = WholePath(output);
    if (HostSdk::DirectoryExists(whole) || (!output.empty() && output.back() == '/'))
        return whole + "/" + HostSdk::ExtractFileName(HostSdk::ChangeFileExt(dsn, "pcbdoc"));
    return whole;
}

std::string ResolveRename(const std::string& value, const std::string& base,
                          const char* extension) {
    if (HostSdk::SameTextAscii(value, "RenameDSN"))
        return WholePath(HostSdk::ChangeFileExt(base, extension));
    return WholePath(value);
}

// ---- the verbs ----

// harrow's own reading of the design, before the translator's: Ctrl-C ends
// it as it ends the importer's look at the file.
std::unique_ptr<HomeDesign> ReadHomeDesign(Session& session, const std::string& dsn, bool literal) {
    std::unique_ptr<HomeDesign> home;
    session.Guarded("reading " + ShownPath(dsn),
                    [&] { home = std::make_unique<HomeDesign>(dsn, literal); });
    // Ctrl-C while harrow read: the question the translator's reader asks.
    Console& console = session.GetConsole();
    if (console.Interrupted() || (console.TakeEscape() && console.AskYesNo("Confirm Abort")))
        throw InputError(ShownPath(dsn) + ": cancelled by the user");
    return home;
}

// Notes of harrow's own, one line each after the summary: "DSN: note".
void PrintNotes(const CommandLine& line, const std::string& about,
                const std::vector<std::string>& notes) {
    if (line.quiet)
        return;
    for (const std::string& note : notes)
        std::cerr << ShownPath(about) << ": " << note << std::endl;
}

// The route and session files the translator wrote, rewritten for the
// design's CAD system; each file written is named, with what changed.
void HomeTheFiles(const CommandLine& line, Session& session, intptr_t board,
                  const std::string& from, const std::vector<std::string>& written,
                  std::vector<std::string>& lines) {
    std::optional<Digest::HomeTable> table;
    if (!line.literal && board != 0)
        table = LoadHomeTable(session.Engine(), board);
    // The files are rewritten side by side, each but the last on a thread of
    // its own; a file that cannot be rewritten ends the verb, the first such
    // in the order the files were written.
    std::vector<std::string> rewritten(written.size());
    if (!line.literal) {
        const Digest::HomeTable none;
        const Digest::HomeTable& names = table ? *table : none;
        std::vector<std::future<std::string>> ahead;
        for (std::size_t i = 0; i + 1 < written.size(); ++i)
            try {
                ahead.push_back(std::async(std::launch::async, [&path = written[i], &names] {
                    return RewriteForHome(path, names);
                }));
            } catch (const std::system_error&) { // no thread to be had: rewritten here
                break;
            }
        std::vector<std::exception_ptr> failures(written.size());
        for (std::size_t i = ahead.size(); i < written.size(); ++i)
            try {
                rewritten[i] = RewriteForHome(written[i], names);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        for (std::size_t i = 0; i < ahead.size(); ++i)
            try {
                rewritten[i] = ahead[i].get();
            } catch (...) {
                failures[i] = std::current_exception();
            }
        for (const std::exception_ptr& failure : failures)
            if (failure)
                std::rethrow_exception(failure);
    }
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::string& path = written[i];
        std::string what = "written";
        if (!line.literal) {
            what += " for the design's CAD system: " + rewritten[i];
            if (!table)
                what += " (the board keeps no design names: imported by the plug-in's own "
                        "command or before harrow kept them)";
        }
        lines.push_back(ShownPath(from) + " -> " + ShownPath(path) + ": " + what);
    }
}

// harrow import: one flow from the options to the board, the route or
// session file and the report, read top to bottom in the order it runs;
// its steps share the session, the design read and the output guard, so it
// stays whole.
int Import(CommandLine& line) {
    Expect(line, 1,
           "import DSN [-o BOARD] [--merge BOARD] [--autoroute] [--rte PATH] [--ses PATH]");
    if (line.merge && line.output)
        throw HostError("-o and --merge both name the board; give one");
    const std::string dsn = WholePath(line.positional[0]);
    ParameterValue("DSN", dsn);
    if (line.merge)
        line.session.boards.push_back(*line.merge);
    Session session(line.session);
    RequireDesign(session, dsn);
    const std::unique_ptr<HomeDesign> read = ReadHomeDesign(session, dsn, line.literal);
    HomeDesign& home = *read;

    // Where everything lands: beside the design, or beside the -o board.
    std::optional<StagedDesign> staged;
    std::string board = line.merge ? WholePath(*line.merge) : HostSdk::ChangeFileExt(dsn, "pcbdoc");
    if (line.output) {
        board = BoardOutput(*line.output, dsn);
        ParameterValue("-o", board);
    }
    const std::string base = line.output ? board : dsn; // what the other files are named after
    const std::string report = HostSdk::ChangeFileExt(base, "rpt");
    const std::string hint = line.output ? "" : "; -o puts the board and report elsewhere";
    OutputGuard guard(line.session.force);
    guard.AddInput(dsn, "design");
    guard.Add(board, hint);
    if (!line.autoroute)
        guard.Add(report, hint);
    std::optional<std::string> rte, ses;
    if (line.rte) {
        rte = ResolveRename(*line.rte, base, "rte");
        guard.Add(*rte);
    }
    if (line.ses) {
        ses = ResolveRename(*line.ses, base, "ses");
        guard.Add(*ses);
    }
    // The translator reads the design from a private folder when the board
    // goes elsewhere, or when harrow rewrote words it does not know.
    {
        const std::string rewritten = home.TakeRewrittenText();
        if (line.output || !rewritten.empty())
            staged.emplace(dsn, HostSdk::ExtractFilePath(board), std::string(),
                           rewritten.empty() ? nullptr : &rewritten);
    }
    const std::string design = staged ? staged->Path() : dsn;

    if (!line.session.noSave)
        session.HoldBoard(board);

    std::string parameters = "DsnFile=" + design;
    if (line.merge)
        parameters += "|MergeImport=True";
    if (line.autoroute)
        parameters += "|AutoRoute=True";
    if (Router::Effort effort{}; line.routeEffort && Router::ParseEffort(*line.routeEffort, effort))
        session.Client().SetRouteEffort(effort);
    // Named route and session files are passed as given; RenameDSN ones are
    // resolved here so that they land beside the board.
    if (rte)
        parameters += "|RteFile=" + ParameterValue("--rte", *rte);
    if (ses)
        parameters += "|SesFile=" + ParameterValue("--ses", *ses);
    session.Client().SetHomeDesign(&home);
    session.RunCommand("ImportSpecctraDesignFile", parameters);
    session.Client().SetHomeDesign(nullptr);
    BoardDocument* document = session.Client().CurrentDocument();
    // The new board was named after the linked design: it is saved as -o.
    if (staged && !line.merge && document != nullptr)
        document->SetFileName(board);
    if (document != nullptr && !line.literal && document->Modified()) {
        home.GiveToBoard(session.Engine(), document->BoardHandle());
    }
    session.Finish();
    if (staged && !line.autoroute)
        staged->MoveOut("rpt", report);
    guard.RestoreModes();

    Translation translation;
    translation.input = dsn;
    translation.output = board;
    translation.interrupted = session.GetConsole().Interrupted();
    const bool reportWritten = guard.WasWritten(report);
    if (reportWritten) {
        AppendReportWarnings(report, home.ReportWarnings());
        translation.report = report;
        translation.counts = ReportCounts::Read(report);
    }
    translation.done = guard.WasWritten(board) || (line.merge && reportWritten) ||
                       (line.session.noSave && session.Client().AnyModified());
    if (!translation.done)
        translation.nothingReason =
            session.GetConsole().QuestionsAnsweredNo() + session.GetConsole().DialogsCancelled() > 0
                ? "cancelled"
                : "see the messages above";
    std::vector<std::string> written;
    for (const auto& path : {rte, ses})
        if (path && guard.WasWritten(*path))
            written.push_back(*path);
        else if (path && translation.done)
            translation.notWritten.push_back(*path);
    std::vector<std::string> fileLines;
    HomeTheFiles(line, session, document != nullptr ? document->BoardHandle() : 0, board, written,
                 fileLines);
    translation.files = written;
    // Asked to route, and the router left connections open: part of the work.
    if (const int open = session.Client().AutorouteOpen(); open > 0 && translation.done)
        translation.notDone.push_back("routed in part: " + std::to_string(open) +
                                      " connections left open");
    if (line.session.noSave)
        translation.output.clear();
    const int status = Report(line, translation);
    PrintNotes(line, dsn, home.Notes());
    if (!line.quiet)
        for (const std::string& text : fileLines)
            std::cerr << text << std::endl;
    return status;
}

int Validate(CommandLine& line) {
    Expect(line, 1, "validate DSN");
    const std::string dsn = WholePath(line.positional[0]);
    line.session.noSave = true;
    Session session(line.session);
    RequireDesign(session, dsn);
    Translation translation;
    {
        // The report is written beside a link in a private folder, and
        // removed with it.
        StagedDesign staged(dsn, TemporaryFolder());
        session.RunCommand("ImportSpecctraDesignFile", "DsnFile=" + staged.Path());
        translation.counts = ReportCounts::Read(staged.Named("rpt"));
    }
    translation.input = dsn;
    translation.done = translation.counts.read;
    translation.interrupted = session.GetConsole().Interrupted();
    if (!line.json)
        for (const std::string& text : translation.counts.lines) {
            long number = ReportLineNumber(text);
            std::cout << ShownPath(dsn) << (number > 0 ? ":" + std::to_string(number) : "") << ": "
                      << text << "\n";
        }
    if (!line.quiet) {
        std::cerr << ShownPath(dsn) << ": " << Counted(translation.counts.errors, "error") << ", "
                  << Counted(translation.counts.warnings, "warning")
                  << (translation.interrupted ? ", interrupted" : "") << std::endl;
    }
    if (line.json) {
        std::ostringstream out;
        out << "{\"verb\":\"validate\",\"input\":" << JsonString(dsn)
            << ",\"errors\":" << translation.counts.errors
            << ",\"warnings\":" << translation.counts.warnings << ",\"lines\":[";
        const char* separator = "";
        for (const std::string& text : translation.counts.lines) {
            long number = ReportLineNumber(text);
            out << separator
                << "{\"kind\":" << (text.rfind("ERROR", 0) == 0 ? "\"error\"" : "\"warning\"")
                << ",\"line\":" << (number > 0 ? std::to_string(number) : "null")
                << ",\"text\":" << JsonString(text) << "}";
            separator = ",";
        }
        out << "],\"exit\":" << static_cast<int>(translation.Status()) << "}";
        std::cout << out.str() << std::endl;
    }
    return translation.Status();
}

int Check(CommandLine& line) {
    Expect(line, 1, "check DSN");
    const std::string path = WholePath(line.positional[0]);
    line.session.noSave = true;
    std::string status;
    std::string detail;
    FileState state = FileState::Of(path);
    if (!state.exists) {
        status = "not found";
        detail = ShownPath(path) + ": no such file";
    } else if (state.folder) {
        status = "not a design";
        detail = ShownPath(path) + " is a folder";
    } else {
        Session session(line.session);
        try {
            RequireDesign(session, path);
            status = "valid";
        } catch (const InputError& error) {
            status = "not a design";
            detail = error.what();
        }
    }
    const int exitCode = status == "valid" ? kExitDone : kExitNothing;
    if (line.json)
        std::cout << "{\"verb\":\"check\",\"input\":" << JsonString(path)
                  << ",\"status\":" << JsonString(status) << ",\"exit\":" << exitCode << "}"
                  << std::endl;
    else
        std::cout << status << std::endl;
    if (!detail.empty() && !line.quiet)
        std::cerr << "harrow: " << detail << std::endl;
    return exitCode;
}

int NewProject(CommandLine& line) {
    Expect(line, 1, "new-project DSN");
    const std::string dsn = WholePath(line.positional[0]);
    Session session(line.session);
    try {
        RequireDesign(session, dsn);
    } catch (const InputError& error) {
        std::cout << (FileState::Of(dsn).exists ? "not a design" : "not found") << std::endl;
        throw;
    }
    const std::string extension = HostSdk::ExtractFileExt(dsn);
    if (!HostSdk::SameTextAscii(extension, ".dsn") && !HostSdk::SameTextAscii(extension, ".rte")) {
        std::cout << "not a design" << std::endl;
        throw InputError("the import wizard takes only .dsn and .rte files; harrow import reads " +
                         ShownPath(dsn));
    }
    OutputGuard guard(line.session.force);
    const std::string folder = HostSdk::ExtractFilePath(dsn);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw HostError("cannot make the project folder in " + ShownPath(folder) + ": " +
                        std::strerror(errno));
    const std::string report = HostSdk::ChangeFileExt(dsn, "rpt");
    guard.AddInput(dsn, "design");
    guard.Add(report);
    int32_t result = 0;
    const std::unique_ptr<HomeDesign> read = ReadHomeDesign(session, dsn, line.literal);
    HomeDesign& home = *read;
    session.Guarded("new-project", [&] { result = session.Plugin().Importer().ImportFile(dsn); });
    if (result != 0)
        throw HostError("the import into a new project failed (importer code " + HexCode(result) +
                        "); see the messages above");
    if (BoardDocument* document = session.Client().CurrentDocument();
        document != nullptr && !line.literal) {
        home.GiveToBoard(session.Engine(), document->BoardHandle());
    }
    session.Finish();
    guard.RestoreModes();
    Translation translation;
    translation.input = dsn;
    for (const std::string& saved : session.Client().DocumentsSaved())
        if (HostSdk::SameTextAscii(HostSdk::ExtractFileExt(saved), ".pcbdoc"))
            translation.output = saved;
    translation.done = !translation.output.empty();
    if (guard.WasWritten(report)) {
        translation.report = report;
        translation.counts = ReportCounts::Read(report);
    }
    translation.interrupted = session.GetConsole().Interrupted();
    const int status = Report(line, translation);
    PrintNotes(line, dsn, home.Notes());
    return status;
}

int Tokens(CommandLine& line) {
    Expect(line, 1, "tokens DSN [-o PRS]");
    const std::string dsn = WholePath(line.positional[0]);
    RequireReadableFile(dsn, "design");
    const std::string prs =
        line.output ? WholePath(*line.output) : HostSdk::ChangeFileExt(dsn, "prs");
    OutputGuard guard(line.session.force);
    guard.AddInput(dsn, "design");
    guard.Add(prs, line.output ? "" : "; -o puts the token dump elsewhere");
    std::optional<StagedDesign> staged;
    if (line.output)
        staged.emplace(dsn, HostSdk::ExtractFilePath(prs));
    line.session.dialogAnswers.insert(
        line.session.dialogAnswers.begin(),
        {DialogAnswer::Kind::Accept, ParameterValue("DSN", staged ? staged->Path() : dsn), true});
    Session session(line.session);
    session.RunCommand("DebugParseDSN", "");
    session.Finish();
    if (staged)
        staged->MoveOut("prs", prs);
    guard.RestoreModes();
    if (!guard.WasWritten(prs))
        throw HostError("the token dump " + ShownPath(prs) + " was not written");
    long tokens = 0;
    {
        std::ifstream in(prs, std::ios::binary);
        std::string token;
        while (std::getline(in, token))
            ++tokens;
    }
    if (!line.quiet)
        std::cerr << ShownPath(dsn) << " -> " << ShownPath(prs) << ": " << tokens
                  << (tokens == 1 ? " token" : " tokens") << std::endl;
    if (line.json)
        std::cout << "{\"verb\":\"tokens\",\"input\":" << JsonString(dsn)
                  << ",\"output\":" << JsonString(prs) << ",\"tokens\":" << tokens << ",\"exit\":0}"
                  << std::endl;
    return kExitDone;
}

// The engine's JSON dump of a board's rules, through a private temporary file.
std::string RulesJson(Session& session, BoardDocument& document) {
    char error[512] = {};
    char temporary[] = "/tmp/harrow-show-XXXXXX";
    int fd = ::mkstemp(temporary);
    if (fd < 0)
        throw HostError("cannot create a temporary file");
    ::close(fd);
    std::string path = temporary;
    int32_t dumped =
        session.Engine().DumpRulesJson(document.BoardHandle(), path.c_str(), error, 512);
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(path.c_str());
    if (dumped == 0)
        throw HostError(std::string("cannot dump the board's rules: ") + error);
    return text;
}

// The picture of an open board, drawn through the engine's entry points.
std::string Picture(Session& session, BoardDocument& document, bool inlineSvg,
                    PictureCounts* counts = nullptr) {
    EngineLibrary& engine = session.Engine();
    PcbApiTable api = BindPcbApi([&engine](const char* name) { return engine.Symbol(name); });
    return BoardSvg(api, document.BoardHandle(), HostSdk::ExtractFileName(document.FileName()),
                    inlineSvg, counts);
}

// The engine's count of a board's objects of one kind, for the summary.
std::function<int64_t(int32_t)> ObjectCounter(Session& session, BoardDocument& document) {
    return [&engine = session.Engine(), board = document.BoardHandle()](int32_t kind) {
        return engine.BoardObjectCount(board, kind);
    };
}

int Show(CommandLine& line) {
    if (line.svg) {
        if (line.json)
            throw HostError("--svg and --json do not go together");
        if (line.positional.size() != 1 && line.positional.size() != 2)
            throw HostError("usage: harrow show BOARD --svg [FILE]");
    } else {
        Expect(line, 1, "show BOARD [--json]");
    }
    line.session.noSave = true;
    Session session(line.session);
    BoardDocument& document = session.OpenBoard(line.positional[0]);
    char error[512] = {};
    if (line.svg) {
        const std::string path = line.positional.size() > 1 && line.positional[1] != "-"
                                     ? WholePath(line.positional[1])
                                     : "-";
        PictureCounts counts;
        std::string svg = Picture(session, document, false, &counts);
        WriteOutput(path, svg, line.session.force, document.FileName());
        if (!line.quiet && path != "-")
            std::cerr << ShownPath(document.FileName()) << " -> " << ShownPath(path) << ": "
                      << counts.layers << " layers, " << counts.elements << " shapes, "
                      << counts.components << " components" << std::endl;
        return kExitDone;
    }
    if (line.json) {
        std::cout.flush();
        if (session.Engine().DumpBoardJson(document.BoardHandle(), "-", error, 512) == 0)
            throw HostError(std::string("cannot dump board: ") + error);
        return kExitDone;
    }
    // The engine's counts of the board's objects of each kind, and the rules
    // alone out of the engine (a large board's whole dump takes minutes).
    EngineLibrary& engine = session.Engine();
    PcbApiTable api = BindPcbApi([&engine](const char* name) { return engine.Symbol(name); });
    PrintBoardSummary(std::cout, ShownPath(document.FileName()),
                      BoardCounts(api, document.BoardHandle(), ObjectCounter(session, document)),
                      document.Modified());
    Harrow::PrintRuleListing(std::cout, RulesJson(session, document));
    return kExitDone;
}

int View(CommandLine& line) {
    if (line.positional.size() != 1 && line.positional.size() != 2)
        throw HostError("usage: harrow view BOARD [FILE.html] [--svg | --canvas]");
    if (line.svg && line.canvas)
        throw HostError("--svg and --canvas do not go together");
    line.session.noSave = true;
    Session session(line.session);
    BoardDocument& document = session.OpenBoard(line.positional[0]);
    const std::string path =
        line.positional.size() > 1
            ? (line.positional[1] == "-" ? std::string("-") : WholePath(line.positional[1]))
            : HostSdk::ChangeFileExt(WholePath(document.FileName()), "html");
    EngineLibrary& engine = session.Engine();
    PcbApiTable api = BindPcbApi([&engine](const char* name) { return engine.Symbol(name); });
    std::ostringstream summary;
    PrintBoardSummary(summary, ShownPath(document.FileName()),
                      BoardCounts(api, document.BoardHandle(), ObjectCounter(session, document)),
                      document.Modified());
    // The board is closed as soon as it is drawn: a large board's page is
    // made from the drawing alone, and the board's memory goes back first.
    const std::string boardFile = document.FileName();
    PictureCounts counts;
    WriteOutputAsMade(path, line.session.force, boardFile, [&](const OutputSink& sink) {
        WriteBoardViewPage(api, document.BoardHandle(), HostSdk::ExtractFileName(boardFile),
                           summary.str(),
                           line.svg      ? PageForm::Markup
                           : line.canvas ? PageForm::Data
                                         : PageForm::Auto,
                           &counts, sink, [&] { session.Client().CloseDocument(&document); });
    });
    if (!line.quiet && path != "-")
        std::cerr << ShownPath(boardFile) << " -> " << ShownPath(path) << ": " << counts.layers
                  << " layers, " << counts.elements << " shapes, " << counts.components
                  << " components; open it in a browser" << std::endl;
    if (line.json)
        std::cout << "{\"verb\":\"view\",\"input\":" << JsonString(WholePath(boardFile))
                  << ",\"output\":" << JsonString(path) << ",\"exit\":0}" << std::endl;
    return kExitDone;
}

int Drc(CommandLine& line) {
    Expect(line, 1, "drc BOARD [--json]");
    line.session.noSave = true;
    Session session(line.session);
    BoardDocument& document = session.OpenBoard(line.positional[0]);
    EngineLibrary& engine = session.Engine();
    PcbApiTable api = BindPcbApi([&engine](const char* name) { return engine.Symbol(name); });
    std::cout.flush();
    const bool clean =
        PrintBoardCheck(std::cout, engine, api, document.BoardHandle(),
                        ShownPath(document.FileName()), WholePath(document.FileName()), line.json);
    return clean ? kExitDone : kExitReportErrors;
}

int Export(CommandLine& line) {
    Expect(line, 1, "export BOARD [--rte PATH] [--ses PATH] [-o PATH|FOLDER/] [--literal]");
    const std::string board = WholePath(line.positional[0]);
    std::string parameters = "PcbFileName=" + ParameterValue("BOARD", board);
    if (!line.rte && !line.ses)
        line.rte = line.ses = std::string("RenameDSN");
    // RenameDSN names the files after the board, or after -o (a folder keeps
    // the board's name).
    const std::string base = line.output ? BoardOutput(*line.output, board) : board;
    OutputGuard guard(line.session.force);
    guard.AddInput(board, "board");
    std::vector<std::string> asked;
    for (auto [value, extension, name] :
         {std::tuple{line.rte, "rte", "RteFile"}, std::tuple{line.ses, "ses", "SesFile"}}) {
        if (!value)
            continue;
        std::string path = ResolveRename(*value, base, extension);
        guard.Add(path);
        asked.push_back(path);
        parameters += std::string("|") + name + "=" + ParameterValue("--rte/--ses", path);
    }
    line.session.boards.push_back(board);
    Session session(line.session);
    session.RunCommand("ExportData", parameters);
    session.Finish();
    guard.RestoreModes();
    Translation translation;
    translation.input = board;
    translation.outputIsFiles = true;
    std::vector<std::string> written;
    for (const std::string& path : asked)
        if (guard.WasWritten(path))
            written.push_back(path);
        else
            translation.notWritten.push_back(path);
    translation.done = !written.empty();
    for (const std::string& path : session.Client().ReportsShown()) {
        translation.report = path;
        translation.counts = ReportCounts::Read(path);
    }
    std::vector<std::string> fileLines;
    BoardDocument* document = session.Client().CurrentDocument();
    HomeTheFiles(line, session, document != nullptr ? document->BoardHandle() : 0, board, written,
                 fileLines);
    translation.files = written;
    if (!translation.done)
        translation.nothingReason = "no route or session file was written";
    const int status = Report(line, translation);
    if (!line.quiet)
        for (const std::string& text : fileLines)
            std::cerr << text << std::endl;
    return status;
}

int ImportInto(CommandLine& line) {
    Expect(line, 2, "import-into BOARD DSN");
    const std::string dsn = WholePath(line.positional[1]);
    Session session(line.session);
    BoardDocument& document = session.OpenBoard(line.positional[0]);
    RequireReadableFile(dsn, "design");
    const std::unique_ptr<HomeDesign> read = ReadHomeDesign(session, dsn, line.literal);
    HomeDesign& home = *read;
    std::optional<StagedDesign> staged;
    if (const std::string rewritten = home.TakeRewrittenText(); !rewritten.empty())
        staged.emplace(dsn, TemporaryFolder(), std::string(), &rewritten);
    const std::string design = staged ? staged->Path() : dsn;
    intptr_t handle = document.BoardHandle();
    if (handle > std::numeric_limits<int32_t>::max() ||
        handle < std::numeric_limits<int32_t>::min())
        throw HostError("board handle does not fit the importer's 32-bit argument");
    bool imported = false;
    session.Guarded("import-into", [&] {
        imported =
            session.Plugin().ImportIntoPcb()(design.c_str(), "", static_cast<int32_t>(handle));
    });
    // Only a board the design changed gets its names (a design that held
    // nothing leaves the board as it was).
    if (imported && !line.literal && document.Modified()) {
        home.GiveToBoard(session.Engine(), handle);
    }
    session.Finish();
    Translation translation;
    translation.input = dsn;
    translation.output = WholePath(document.FileName());
    translation.done = imported;
    translation.interrupted = session.GetConsole().Interrupted();
    if (!imported)
        translation.nothingReason = "the plug-in imports only .dsn files that hold a design";
    const int status = Report(line, translation);
    if (imported)
        PrintNotes(line, dsn, home.Notes());
    return status;
}

int Commands(CommandLine& line) {
    Expect(line, 0, "commands [--params] [--json]");
    Session session(line.session);
    std::vector<std::string> names = session.Server().CommandLauncher().CommandNames();
    std::cout << (line.json ? DescribeCommandsJson(names) : DescribeCommands(names, line.params));
    return kExitDone;
}

// Folders where a command may write: the working folder, those of the boards
// and of every parameter value and dialog answer that names an existing folder.
void WatchFolders(FolderWatch& watch, const CommandLine& line, const std::string& parameters) {
    watch.Add(".");
    auto add = [&watch](const std::string& path) {
        watch.Add(HostSdk::ExtractFilePath(WholePath(path)));
    };
    for (const std::string& board : line.session.boards)
        add(board);
    std::size_t pos = 0;
    while (pos < parameters.size()) {
        std::size_t end = parameters.find('|', pos);
        if (end == std::string::npos)
            end = parameters.size();
        std::string piece = parameters.substr(pos, end - pos);
        std::size_t eq = piece.find('=');
        if (eq != std::string::npos && eq + 1 < piece.size())
            add(piece.substr(eq + 1));
        pos = end + 1;
    }
    for (const DialogAnswer& answer : line.session.dialogAnswers)
        if (answer.kind == DialogAnswer::Kind::Accept)
            add(answer.text);
}

int Run(CommandLine& line) {
    if (line.positional.empty())
        throw HostError("usage: harrow run [OPTIONS] COMMAND [PARAMETERS]");
    if (line.positional.size() > 2)
        throw HostError("run takes one parameter string; quote it: " + line.positional[2]);
    const std::string command = line.positional[0];
    const std::string parameters = line.positional.size() > 1 ? line.positional[1] : "";
    CheckParameterString(parameters);
    FolderWatch watch;
    WatchFolders(watch, line, parameters);
    Session session(line.session);
    const bool hadBoard = session.Client().CurrentDocument() != nullptr;
    session.RunCommand(command, parameters);
    session.Finish();
    watch.RestoreModes();

    const std::vector<std::string> written = watch.Written();
    const CommandEntry* entry = FindCommand(command);
    std::string value;
    const bool writes =
        entry != nullptr &&
        (entry->writes || (entry->outputParameter != nullptr &&
                           HostSdk::GetState_Parameter(parameters, entry->outputParameter, value)));
    ReportCounts counts;
    std::string report;
    for (const std::string& path : session.Client().ReportsShown()) {
        ReportCounts one = ReportCounts::Read(path);
        counts.read = counts.read || one.read;
        counts.errors += one.errors;
        counts.warnings += one.warnings;
        report = path;
    }
    std::string nothing;
    const bool boardSaved = !session.Client().DocumentsSaved().empty() ||
                            (line.session.noSave && session.Client().AnyModified());
    if (entry != nullptr && entry->needsBoard && !hadBoard)
        nothing = "no current board (give --board FILE)";
    else if (entry != nullptr && entry->makesBoard && !boardSaved)
        nothing =
            session.GetConsole().QuestionsAnsweredNo() + session.GetConsole().DialogsCancelled() > 0
                ? "cancelled"
                : "no design was imported";
    else if (writes && written.empty() && session.Client().DocumentsSaved().empty() &&
             !(line.session.noSave && session.Client().AnyModified()))
        nothing =
            session.GetConsole().QuestionsAnsweredNo() + session.GetConsole().DialogsCancelled() > 0
                ? "cancelled"
                : "it wrote no file";
    ExitStatus status = !nothing.empty() ? kExitNothing
                        : counts.errors > 0 || session.GetConsole().Interrupted()
                            ? kExitReportErrors
                            : kExitDone;
    if (!line.quiet) {
        std::string summary = command + ": ";
        if (!nothing.empty()) {
            summary += "nothing done (" + nothing + ")";
        } else {
            std::string files;
            for (const std::string& path : written)
                files += (files.empty() ? "" : ", ") + ShownPath(path);
            summary += files.empty() ? "done" : "wrote " + files;
            if (counts.read)
                summary += "; " + Counted(counts.errors, "error") + ", " +
                           Counted(counts.warnings, "warning") + " (report " + ShownPath(report) +
                           ")";
        }
        std::cerr << summary << std::endl;
    }
    return status;
}

int Main(CommandLine& line) {
    if (line.version) {
        std::cout << "harrow " << HARROW_VERSION << std::endl;
        return kExitDone;
    }
    if (line.verb == "help") {
        if (line.positional.empty())
            std::cout << GeneralHelp();
        else
            PrintVerbHelp(line.positional[0]);
        return kExitDone;
    }
    if (line.help) {
        if (line.verb.empty())
            std::cout << GeneralHelp();
        else
            PrintVerbHelp(line.verb);
        return kExitDone;
    }
    if (line.verb.empty())
        throw HostError("no verb given (see harrow --help)");
    using Verb = int (*)(CommandLine&);
    static const std::pair<const char*, Verb> kVerbs[] = {
        {"import", &Import},     {"validate", &Validate},
        {"check", &Check},       {"new-project", &NewProject},
        {"tokens", &Tokens},     {"embedded", &Embedded},
        {"show", &Show},         {"view", &View},
        {"export", &Export},     {"import-into", &ImportInto},
        {"commands", &Commands}, {"run", &Run},
        {"drc", &Drc},
    };
    for (const auto& [name, verb] : kVerbs)
        if (line.verb == name)
            return verb(line);
    throw HostError("unknown verb " + line.verb + " (see harrow --help)");
}

// The one JSON object of a run that ended in an error: what was asked, the
// message and the exit status.
std::string ErrorJson(const CommandLine& line, const std::string& message, int status) {
    const std::size_t inputAt = line.verb == "import-into" ? 1 : 0;
    const std::string input =
        line.positional.size() > inputAt ? JsonString(WholePath(line.positional[inputAt])) : "null";
    return "{\"verb\":" + (line.verb.empty() ? std::string("null") : JsonString(line.verb)) +
           ",\"input\":" + input + ",\"error\":" + JsonString(message) +
           ",\"exit\":" + std::to_string(status) + "}";
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit (ulimit -f) makes a write fail with EFBIG instead of
    // ending harrow: the save reports it and leaves the old document.
    std::signal(SIGXFSZ, SIG_IGN);
    Harrow::CommandLine line;
    // Asked for JSON even when the command line itself is refused.
    bool jsonAsked = false;
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        jsonAsked = jsonAsked || std::strcmp(argv[i], "--json") == 0;
    auto fail = [&line, jsonAsked](const std::string& message, int status) {
        std::cout.flush();
        std::cerr << "harrow: " << message << std::endl;
        if (line.json || jsonAsked)
            std::cout << ErrorJson(line, message, status) << std::endl;
        return status;
    };
    try {
        line = Harrow::Parse(argc, argv);
        line.session.processEndsWithSession = true;
        return Main(line);
    } catch (const Harrow::HarrowError& error) {
        return fail(error.what(), error.status);
    } catch (const std::exception& error) {
        return fail(error.what(), Harrow::kExitHostError);
    } catch (...) {
        return fail("unknown error", Harrow::kExitHostError);
    }
}
