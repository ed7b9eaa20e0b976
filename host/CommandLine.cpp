#include "host/CommandLine.h"

#include "host/Outcome.h"
#include "router/Router.h"

#include <iostream>
#include <sstream>
#include <stdexcept>

namespace Harrow {
namespace {

const char* const kHelp = R"(usage: harrow [OPTIONS] VERB [OPTIONS] [ARGUMENTS]

harrow is the host shell of the DsnLink plug-in. It loads the Corvane engine
(libcorvane.so) and the plug-in (libdsnlink.so), found next to the harrow
executable or in the library folder of an installed tree unless given with
--engine / --plugin, runs one plug-in command and saves every board document
the command modified.

Verbs (each takes --help; "harrow help VERB" says the same):
  import DSN                 import a Specctra design into a new board DSN.pcbdoc
                             (or -o BOARD, or --merge BOARD); optional autoroute
                             and RTE/SES export
  export BOARD               run the board's route and/or session export (the
                             files are written, see below)
  new-project DSN            import a design into a new project folder, as the
                             host's import wizard does
  import-into BOARD DSN      import a design into an existing board through the
                             plug-in's exported import function
  validate DSN               read the whole design without saving anything and
                             print the report's errors and warnings
  check DSN                  quick test: is DSN a Specctra design ("valid", "not
                             a design" or "not found" on stdout)
  tokens DSN                 dump the tokens of a design file to DSN.prs
  embedded BOARD             list (or --delete) the translation data in a board
  show BOARD [--json]        summarise a board, or dump it as JSON
  show BOARD --svg [FILE]    draw the board as an SVG picture (stdout or FILE)
  view BOARD [FILE.html]     write a page to look at the board in a browser
                             (BOARD.html unless FILE.html is given)
  drc BOARD [--json]         check the board: open connections, clearances,
                             shorts, outline and keep-outs (exit 1 when any)
  commands [--params]        list the plug-in's commands (and their parameters)
  run COMMAND [PARAMETERS]   run a plug-in command with a "|"-joined name=value
                             parameter string

What this build translates: import, import-into, new-project and validate read
the whole design file into the board: layer stack, outline, keepouts and planes,
padstacks, components with their pads on their nets, nets, classes and
from-tos, routing rules and the pre-routed wiring, and store what the board
cannot hold (constants, offset, padstacks, via numbers); import (without
--autoroute), new-project and validate also write the report DSN.rpt,
import-into writes none. tokens writes the full token dump. export, and the
--rte and --ses files of import, write the route file (.rte) and the session file (.ses)
of the board: its nets with their tracks and vias in 0.00001 mm, in the design's
origin, with the padstacks and constants stored at import. The --rte and --ses
files of import (without --autoroute) have a report named after the file
(X.rte.rpt, X.ses.rpt), so it never replaces the import's X.rpt; export writes
none. import, import-into and export write for the CAD system the design came
from: names as the design spells them, quoted as the file declares, the board
outline of a boundary path on layer pcb (see harrow import --help); --literal
gives the translator's own text. run gives it always.

Options for every verb, before or after it (--opt=value works too; "--" ends
the options):
  -q, --quiet                no summary line
  --force                    replace read-only files (they keep their mode)
  --json                     print the outcome (or the listing) as JSON on stdout;
                             a run that ends in an error prints {"verb",
                             "input", "error", "exit"}
  --engine LIB, --plugin LIB load these libraries instead
  --version                  print harrow's version
Answers (for every verb that runs a command):
  --yes | --no               answer the next question
  --dialog PATH | --cancel   answer the next file dialog
  --dialog-answer TEXT       give the next file dialog this raw answer string
  --no-save                  do not save modified documents at the end
  --no-pcb-server            act as a host whose PCB server is not running
  --wait SECONDS             how long to wait for a board another harrow is
                             writing (default 300; 0 refuses at once)
Questions and dialogs are always printed on stderr. When no queued answer is
left, a terminal asks the person; without a terminal a question is answered No
and a dialog is cancelled. Ctrl-C during a command plays the Escape key.

Output: listings and dumps (show, embedded, commands, check, validate, --json)
on stdout; messages, questions and the summary line of each translation on
stderr, e.g.
  demo.dsn -> demo.pcbdoc: 0 errors, 5 warnings (report demo.rpt)
Paths are printed relative to the working folder when they lie inside it.

Boards and outputs: a verb that writes a board holds it (a lock on the
document) from reading it to saving it. A second harrow that would write the
same board prints "waiting for BOARD, held by another harrow" and waits up to
--wait seconds; past that it exits 2 and leaves the board as the first left it.
Every file harrow writes is written beside its target under a temporary name
and then renamed over it: a link in the target's place is replaced, never
written through. An output that is the same file as an input or as another
output of the run (a link, or the same path) is refused with exit 2.

Exit status, the same for every verb:
  0  done; the report holds no errors (check: a design)
  1  done, but the report holds errors, or only part of the asked work was done
     (the board is still saved)
  2  usage or host error: bad option, library not found, read-only output
     without --force, folder not writable, an output that is an input or
     another output, a board held by another harrow past --wait, a save that
     failed (full disk, file-size limit), a command that failed
  3  nothing translated: missing or unreadable input, not a design (check: not
     found or not a design), cancelled, or a command that wrote nothing
)";

struct VerbHelp {
    const char* verb;
    const char* text;
};

const VerbHelp kVerbHelp[] = {
    {"run", "usage: harrow run [--board FILE]... [--yes|--no]... [--dialog PATH|--cancel]...\n"
            "                  [--no-save] COMMAND [PARAMETERS]\n"
            "Opens each --board (the last is the current board), runs the plug-in command\n"
            "COMMAND with the parameter string PARAMETERS (name=value pairs joined by \"|\")\n"
            "and saves the modified documents. Options may come before or after COMMAND.\n"
            "harrow commands --params lists each command's parameters. Exit 3 when the\n"
            "command needs a current board and has none, or wrote no file or board.\n"},
    {"import", "usage: harrow import DSN [-o BOARD] [--merge BOARD] [--autoroute]\n"
               "                     [--route-effort low|normal|high]\n"
               "                     [--rte PATH|RenameDSN] [--ses PATH|RenameDSN] [--literal]\n"
               "                     [--force]\n"
               "Runs ImportSpecctraDesignFile: the design goes into a new board DSN.pcbdoc,\n"
               "into BOARD with -o (a folder takes DSN's name; the report goes beside the\n"
               "board, so a read-only source folder can be used in place), or into BOARD\n"
               "with --merge. A read-only board or report is not replaced without --force.\n"
               "--autoroute routes the board with harrow's router and turns the report\n"
               "off; the routing stays inside the design's boundary as DSN gives it\n"
               "(its signal boundary, else its pcb boundary), else inside the board\n"
               "outline, else near the pads. While it routes, harrow prints on stderr\n"
               "each stage (round, negotiation pass, rip-up) with the connections routed\n"
               "and open and the vias, at least every few seconds of work, and at the end\n"
               "each connection left open and the count of them by reason. Ctrl-C stops\n"
               "the router and keeps what it has routed.\n"
               "--route-effort decides how long the router goes on improving the routing\n"
               "(counted in search steps, never in time: the same design and effort give\n"
               "the same board and files). What each costs on the router bench\n"
               "(bench/route: the 17 boards of four signal layers of pcbench, median\n"
               "processor time per board; the 50 smallest two-layer boards, in all):\n"
               "  low     two routing rounds and a short rip-up: 98.6 % of the\n"
               "          connections routed, median 7.0 s; two layers 2.3 s\n"
               "  normal  the default: up to twelve rounds, then rip-up and reroute in\n"
               "          seven ways, longer while it gains, and a completion pass when\n"
               "          few are left open: 98.7 %, median 8.9 s, the slowest board\n"
               "          86 s; two layers 2.6 s\n"
               "  high    more rounds, rip-up and reroute for as long as it gains, and\n"
               "          two completion attempts per open connection: 98.8 %, median\n"
               "          9.4 s, the slowest board 243 s; two layers 2.7 s\n"
               "--rte/--ses name the route and session files to write after the import;\n"
               "RenameDSN means DSN with the extension rte or ses; harrow prints each\n"
               "file it wrote.\n"
               "For the CAD system the design came from, harrow also keeps the design's\n"
               "spelling of every name with the board, gives the board the outline that a\n"
               "boundary path on layer pcb stands for (KiCad writes the board edge so),\n"
               "reads KiCad's clearance type default_smd as the SMD clearances it stands\n"
               "for (a warning in the report), and writes the route and session files so\n"
               "that the design's CAD system reads them back: names as the design spells\n"
               "them, quoted with a quote character the file declares, back-side parts at\n"
               "the rotation the design gave them, every via under the padstack the design\n"
               "named, no empty test_points block. --literal leaves all of that out: the\n"
               "board and files are the translator's own, byte for byte.\n"
               "A missing file, a folder or a file that is not a design exits 3 and writes\n"
               "nothing. An output that is DSN or another output of the run (-o DSN,\n"
               "-o DSN.rpt, --rte DSN) exits 2 and writes nothing. The board is held\n"
               "while it is written (see --wait). --json prints the outcome as one JSON\n"
               "object.\n"},
    {"export", "usage: harrow export BOARD [--rte PATH|RenameDSN] [--ses PATH|RenameDSN]\n"
               "                     [-o PATH|FOLDER/] [--literal]\n"
               "Runs ExportData on BOARD and prints each file written. Without --rte and\n"
               "--ses both files are written, named after BOARD (RenameDSN), or after PATH\n"
               "with -o (a folder keeps BOARD's name). A file that cannot be saved ends the\n"
               "command with its name; the previous file stays. The files are rewritten for\n"
               "the CAD system the design came from, as import writes them (see harrow\n"
               "import --help), with the names kept in the board at its import; --literal\n"
               "keeps the translator's own text. Writes no report; --json names the files\n"
               "written in \"output\" and those not written in \"not_written\".\n"},
    {"new-project",
     "usage: harrow new-project DSN\n"
     "Runs the importer as the host's import wizard does: when DSN is a\n"
     "Specctra design file (.dsn or .rte), a folder \"Imported <DSN name>\" next to\n"
     "DSN (or \"Imported (1) <DSN name>\", ... when that exists) gets a project file\n"
     "and a new board, and DSN is imported into that board; the report is DSN.rpt.\n"
     "The board keeps the design's names and gets the outline of a boundary path on\n"
     "layer pcb, as with import; --literal leaves that out.\n"
     "Prints \"not a design\" or \"not found\" and exits 3 otherwise.\n"},
    {"tokens", "usage: harrow tokens DSN [-o PRS]\n"
               "Runs DebugParseDSN with DSN as the dialog's answer: one token a line into\n"
               "DSN with the extension prs (or PRS).\n"},
    {"embedded", "usage: harrow embedded BOARD [--file OUT] [--delete] [--json]\n"
                 "Lists the translation data stored in BOARD on stdout (into OUT with --file,\n"
                 "as a JSON array of {Name, Description} with --json), or deletes it with\n"
                 "--delete.\n"},
    {"show", "usage: harrow show BOARD [--json]\n"
             "       harrow show BOARD --svg [FILE]\n"
             "Prints a short summary of BOARD with a list of its design rules (kind,\n"
             "name, scope, values in mil and mm), or the engine's JSON dump with --json\n"
             "(lengths are integers in host units, 10000 per mil; see the README).\n"
             "--svg draws the board as one SVG picture on stdout, or into FILE (\"-\" is\n"
             "stdout): the outline, one group per layer from the bottom of the stack to\n"
             "the top (top copper red, bottom copper blue, inner layers, planes, overlays,\n"
             "keep-outs), tracks and arcs with their widths, fills, polygons, split\n"
             "planes, regions and keep-outs, pads with their shape on each layer, vias,\n"
             "holes, texts, and the components with their extent, pin 1 and designator.\n"
             "Coordinates are the board's own host units with the Y axis up; each layer\n"
             "group names its layer (data-layer, data-name), each net group its net by\n"
             "its index (data-n) into the net table <metadata id=\"nets\">, and each\n"
             "component mark its designator (data-ref); harrow view shows what is under\n"
             "the pointer.\n"
             "FILE is written beside itself under a temporary name and renamed into\n"
             "place (a link there is replaced, not followed); FILE that is BOARD, or a\n"
             "link to it, is refused (exit 2); a read-only FILE needs --force.\n"},
    {"view", "usage: harrow view BOARD [FILE.html] [--svg | --canvas]\n"
             "Writes one self-contained HTML page (no network, no external script) that\n"
             "shows the picture of harrow show --svg with a layer panel (tick a layer to\n"
             "show or hide it), net highlighting (click a pad, via or track: its net\n"
             "lights up, click again to clear), zoom (wheel, buttons) and pan (drag),\n"
             "and the board summary beside it. The page is BOARD with the extension\n"
             "html unless FILE.html is given; harrow prints where it went. A board of\n"
             "more than 40,000 shapes is drawn on a canvas from compact data instead\n"
             "(a browser opens it in seconds); --svg or --canvas chooses the form.\n"
             "The page is written beside itself and renamed into place (a link there is\n"
             "replaced, not followed); a page that is BOARD, or a link to it, is refused\n"
             "(exit 2); a read-only page needs --force.\n"},
    {"drc", "usage: harrow drc BOARD [--json]\n"
            "Checks BOARD and prints, one a line, the connections still open (per net, the\n"
            "shortest links that would join its separate groups of copper, pad to pad)\n"
            "and the violations: copper of two nets closer than the clearance rule that\n"
            "applies to them (the narrowest scope wins; the board's clearance otherwise),\n"
            "shorts, copper outside the outline or nearer to it than the board's\n"
            "clearance, and routed copper inside a keep-out of its layer. Positions are in\n"
            "mil and mm from the board origin; a summary line ends the list. --json\n"
            "prints one object with \"summary\", \"opens\" and \"violations\". Exit 0\n"
            "when the board is clean, 1 when anything is open or violated.\n"},
    {"check", "usage: harrow check DSN [--json]\n"
              "Quick test of the first tokens: prints \"valid\" and exits 0 when DSN begins\n"
              "with \"(pcb\" (whatever its extension; the import wizard, new-project, takes\n"
              "only .dsn and .rte files); prints \"not found\" or \"not a design\" and exits 3\n"
              "otherwise. harrow validate reads the whole design.\n"},
    {"validate", "usage: harrow validate DSN [--json]\n"
                 "Reads the whole design as import does, saves nothing and leaves no report,\n"
                 "and prints each ERROR and WARNING line of the report on stdout, as\n"
                 "DSN:LINE: TEXT where the report names a line. Exit 0 clean, 1 errors,\n"
                 "3 not a design.\n"},
    {"import-into", "usage: harrow import-into BOARD DSN [--literal]\n"
                    "Opens BOARD and calls the plug-in's ImportFileIntoPcb with DSN; exits 3\n"
                    "when it answers false (not a .dsn file, or not a design). Writes no\n"
                    "report. Keeps the design's names and gives the board the outline of a\n"
                    "boundary path on layer pcb, as import does; --literal leaves that out.\n"
                    "BOARD is held from opening to saving: a second harrow writing it waits\n"
                    "(up to --wait SECONDS, then exit 2).\n"},
    {"commands", "usage: harrow commands [--params] [--json]\n"
                 "Lists the commands the plug-in registers, in order; --params adds what\n"
                 "each does and the parameters it reads.\n"},
};

// ---- the command line ----

struct OptionEntry {
    const char* name;
    const char* shortName;
    bool takesValue;
    const char* verbs; // space-separated; null: every verb
};

const OptionEntry kOptions[] = {
    {"--help", "-h", false, nullptr},
    {"--version", nullptr, false, nullptr},
    {"--engine", nullptr, true, nullptr},
    {"--plugin", nullptr, true, nullptr},
    {"--quiet", "-q", false, nullptr},
    {"--force", nullptr, false, nullptr},
    {"--yes", nullptr, false, nullptr},
    {"--no", nullptr, false, nullptr},
    {"--dialog", nullptr, true, nullptr},
    {"--cancel", nullptr, false, nullptr},
    {"--dialog-answer", nullptr, true, nullptr},
    {"--no-save", nullptr, false, nullptr},
    {"--no-pcb-server", nullptr, false, nullptr},
    {"--wait", nullptr, true, nullptr},
    {"--board", nullptr, true, "run"},
    {"--merge", nullptr, true, "import"},
    {"--autoroute", nullptr, false, "import"},
    {"--route-effort", nullptr, true, "import"},
    {"--literal", nullptr, false, "import export import-into new-project"},
    {"--rte", nullptr, true, "import export"},
    {"--ses", nullptr, true, "import export"},
    {"--output", "-o", true, "import export tokens"},
    {"--file", nullptr, true, "embedded"},
    {"--delete", nullptr, false, "embedded"},
    {"--params", nullptr, false, "commands"},
    {"--svg", nullptr, false, "show view"},
    {"--canvas", nullptr, false, "view"},
    {"--json", nullptr, false,
     "import export new-project tokens embedded show view check validate import-into commands drc"},
};

bool VerbTakes(const OptionEntry& entry, const std::string& verb) {
    if (entry.verbs == nullptr)
        return true;
    std::istringstream verbs(entry.verbs);
    std::string one;
    while (verbs >> one)
        if (one == verb)
            return true;
    return false;
}

bool IsVerb(const std::string& verb) {
    if (verb == "help")
        return true;
    for (const auto& help : kVerbHelp)
        if (verb == help.verb)
            return true;
    return false;
}

// A number of seconds for --wait: 0 or more, at most a day.
double Seconds(const std::string& value) {
    std::size_t used = 0;
    double seconds = -1;
    try {
        seconds = std::stod(value, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != value.size() || !(seconds >= 0 && seconds <= 86400))
        throw HostError("--wait takes a number of seconds from 0 to 86400: " + value);
    return seconds;
}

} // namespace

const char* GeneralHelp() {
    return kHelp;
}

std::string ParameterValue(const std::string& what, const std::string& value) {
    if (value.find_first_of("|=") != std::string::npos)
        throw HostError(what + " may not contain \"|\" or \"=\": " + value);
    return value;
}

void CheckParameterString(const std::string& parameters) {
    if (parameters.empty())
        return;
    std::size_t pos = 0;
    while (true) {
        std::size_t end = parameters.find('|', pos);
        std::string piece =
            parameters.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (piece.empty())
            throw HostError("stray \"|\" in parameter string: " + parameters);
        std::size_t eq = piece.find('=');
        if (eq == std::string::npos)
            throw HostError("parameter without \"=\" in parameter string: " + piece);
        if (eq == 0 || piece.find('=', eq + 1) != std::string::npos)
            throw HostError("stray \"=\" in parameter string: " + piece);
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
}

// One table-like pass over the arguments: each option is a few lines, and
// keeping them in one place shows every option and its checks together.
CommandLine Parse(int argc, char** argv) {
    CommandLine line;
    std::vector<std::pair<const OptionEntry*, std::string>> given; // option, spelling
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (line.verb.empty())
                line.verb = arg;
            else
                line.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
        }
        const OptionEntry* entry = nullptr;
        for (const OptionEntry& candidate : kOptions)
            if (name == candidate.name ||
                (candidate.shortName != nullptr && name == candidate.shortName))
                entry = &candidate;
        if (entry == nullptr) {
            if (!line.verb.empty() && IsVerb(line.verb))
                throw HostError("unknown option for " + line.verb + ": " + name + " (see harrow " +
                                line.verb + " --help)");
            throw HostError("unknown option " + name + " (see harrow --help)");
        }
        if (entry->takesValue && !value) {
            if (i + 1 >= argc)
                throw HostError(name + " needs a value");
            value = argv[++i];
        } else if (!entry->takesValue && value) {
            throw HostError(name + " takes no value");
        }
        given.emplace_back(entry, name);
        const std::string option = entry->name;
        using Kind = DialogAnswer::Kind;
        if (option == "--help")
            line.help = true;
        else if (option == "--version")
            line.version = true;
        else if (option == "--engine")
            line.session.enginePath = *value;
        else if (option == "--plugin")
            line.session.pluginPath = *value;
        else if (option == "--quiet")
            line.quiet = true;
        else if (option == "--force")
            line.session.force = true;
        else if (option == "--yes" || option == "--no")
            line.session.questionAnswers.push_back(option == "--yes");
        else if (option == "--dialog")
            line.session.dialogAnswers.push_back(
                {Kind::Accept, ParameterValue(option, *value), false});
        else if (option == "--cancel")
            line.session.dialogAnswers.push_back({Kind::Cancel, {}, false});
        else if (option == "--dialog-answer")
            line.session.dialogAnswers.push_back({Kind::Raw, *value, false});
        else if (option == "--no-save")
            line.session.noSave = true;
        else if (option == "--no-pcb-server")
            line.session.noPcbServer = true;
        else if (option == "--wait")
            line.session.lockWait = Seconds(*value);
        else if (option == "--board")
            line.session.boards.push_back(*value);
        else if (option == "--merge")
            line.merge = *value;
        else if (option == "--autoroute")
            line.autoroute = true;
        else if (option == "--route-effort")
            line.routeEffort = *value;
        else if (option == "--literal")
            line.literal = true;
        else if (option == "--rte")
            line.rte = *value;
        else if (option == "--ses")
            line.ses = *value;
        else if (option == "--output")
            line.output = *value;
        else if (option == "--file")
            line.file = *value;
        else if (option == "--delete")
            line.remove = true;
        else if (option == "--params")
            line.params = true;
        else if (option == "--svg")
            line.svg = true;
        else if (option == "--canvas")
            line.canvas = true;
        else if (option == "--json")
            line.json = true;
    }
    if (line.help || line.version || line.verb.empty() || !IsVerb(line.verb))
        return line;
    if (Router::Effort effort{};
        line.routeEffort && !Router::ParseEffort(*line.routeEffort, effort))
        throw HostError("--route-effort takes low, normal or high, not " + *line.routeEffort);
    if (line.routeEffort && !line.autoroute)
        throw HostError("--route-effort needs --autoroute");
    for (const auto& [entry, spelling] : given)
        if (!VerbTakes(*entry, line.verb))
            throw HostError("unknown option for " + line.verb + ": " + spelling + " (see harrow " +
                            line.verb + " --help)");
    return line;
}

void PrintVerbHelp(const std::string& verb) {
    for (const auto& help : kVerbHelp)
        if (verb == help.verb) {
            std::cout << help.text;
            return;
        }
    throw HostError("unknown verb " + verb + " (see harrow --help)");
}

void Expect(const CommandLine& line, std::size_t count, const char* usage) {
    if (line.positional.size() != count)
        throw HostError(std::string("usage: harrow ") + usage);
}

} // namespace Harrow
