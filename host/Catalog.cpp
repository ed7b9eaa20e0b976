#include "host/Catalog.h"

#include "host/Outcome.h"
#include "sdk/Parameters.h"

#include <sstream>

namespace Harrow {
namespace {

const char* const kRteFile = "route file to write after the work: a path, or RenameDSN for the "
                             "design's (else the board's) name with the extension rte";
const char* const kSesFile = "session file to write after the work: a path, or RenameDSN for the "
                             "design's (else the board's) name with the extension ses";
const char* const kPcbFileName =
    "board document to work on (an open board); without it, the current board";

const std::vector<CommandEntry>& Entries() {
    static const std::vector<CommandEntry> entries = {
        {"ImportSpecctraDesignFile",
         "import a Specctra design into a new board named after it (or the current board)",
         {{"DsnFile", "design file to read; without it a file dialog asks"},
          {"MergeImport", "True: import into the current board instead of a new DSN.pcbdoc"},
          {"AutoRoute", "True: new board of kind RAVEL, the host's router runs, no report"},
          {"RteFile", kRteFile},
          {"SesFile", kSesFile},
          {"DoFileName", "router do file; asked for when missing, not used by harrow"}},
         false,
         true,
         nullptr,
         true},
        {"ExportSpecctraDesignFile",
         "ask for a design file name for the current board (this build writes no design file)",
         {{"DesignFileName", "with PcbFileName: the command does nothing"},
          {"PcbFileName", "with DesignFileName: the command does nothing"}},
         true,
         true},
        {"ImportSpecctraRouteFile",
         "ask for a route file for the current board (this build reads no route file)",
         {{"RouteFileName", "with PcbFileName: the command does nothing"},
          {"PcbFileName", "with RouteFileName: the command does nothing"}},
         true,
         true},
        {"ExportSpecctraRouteFile",
         "write the route file (.rte) of a board",
         {{"PcbFileName", kPcbFileName},
          {"RteFileName", "route file to write; without it a file dialog asks"}},
         false,
         true},
        {"ExportSpecctraSessionFile",
         "write the session file (.ses) of a board",
         {{"PcbFileName", kPcbFileName},
          {"SesFileName", "session file to write; without it a file dialog asks"}},
         false,
         true},
        {"ExportData",
         "write the route and/or session file of a board",
         {{"PcbFileName", kPcbFileName}, {"RteFile", kRteFile}, {"SesFile", kSesFile}},
         false,
         true},
        {"ViewEmbeddedObjects",
         "list the translation data stored in the current board",
         {{"File", "write the listing into this file instead of showing it"}},
         true,
         false,
         "File"},
        {"DeleteEmbeddedObjects",
         "delete the translation data stored in the current board",
         {},
         true,
         false},
        {"DebugParseDSN",
         "dump the tokens of a design file (a file dialog asks for it) into DSN.prs",
         {},
         false,
         true},
        {"ReturnToHostPCB",
         "write the current board's route/session files, then close it or quit the host",
         {{"RteFile", kRteFile},
          {"SesFile", kSesFile},
          {"Quit", "True: ask the host to quit; otherwise the board is closed unsaved"}},
         true,
         false},
    };
    return entries;
}

} // namespace

const CommandEntry* FindCommand(const std::string& name) {
    for (const CommandEntry& entry : Entries())
        if (HostSdk::SameTextAscii(name, entry.name))
            return &entry;
    return nullptr;
}

std::string DescribeCommands(const std::vector<std::string>& names, bool parameters) {
    std::ostringstream out;
    for (const std::string& name : names) {
        const CommandEntry* entry = FindCommand(name);
        if (!parameters) {
            out << name << "\n";
            continue;
        }
        out << name << "\n    " << (entry ? entry->summary : "(no description)") << "\n";
        if (entry == nullptr || entry->parameters.empty()) {
            out << "    (no parameters)\n";
            continue;
        }
        for (const CommandParameter& parameter : entry->parameters)
            out << "    " << parameter.name << "=  " << parameter.meaning << "\n";
    }
    return out.str();
}

std::string DescribeCommandsJson(const std::vector<std::string>& names) {
    std::ostringstream out;
    out << "{\"commands\":[";
    const char* separator = "";
    for (const std::string& name : names) {
        const CommandEntry* entry = FindCommand(name);
        out << separator << "{\"name\":" << JsonString(name)
            << ",\"summary\":" << JsonString(entry ? entry->summary : "") << ",\"parameters\":[";
        const char* inner = "";
        if (entry != nullptr)
            for (const CommandParameter& parameter : entry->parameters) {
                out << inner << "{\"name\":" << JsonString(parameter.name)
                    << ",\"meaning\":" << JsonString(parameter.meaning) << "}";
                inner = ",";
            }
        out << "]}";
        separator = ",";
    }
    out << "]}\n";
    return out.str();
}

} // namespace Harrow
