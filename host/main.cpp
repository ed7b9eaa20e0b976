// harrow: the host shell. Loads the Corvane engine and the DsnLink plug-in,
// opens board documents, runs one plug-in command with its parameter string
// and saves what the command changed.
#include "host/Console.h"
#include "host/EngineLibrary.h"
#include "host/HarrowClient.h"
#include "host/RuleListing.h"
#include "host/sdk/FileNames.h"
#include "host/sdk/Parameters.h"
#include "host/sdk/ServerModule.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitRan = 0;
constexpr int kExitNegative = 1;
constexpr int kExitHostError = 2;

// A host error: one line on stderr, exit 2.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* const kHelp = R"(usage: harrow [--engine LIB] [--plugin LIB] VERB [OPTIONS] [ARGUMENTS]

harrow is the host shell of the DsnLink plug-in. It loads the Corvane engine
(libcorvane.so) and the plug-in (libdsnlink.so), found next to the harrow
executable unless given with --engine / --plugin, runs one plug-in command and
saves every board document the command modified.

Verbs (each takes --help):
  run COMMAND [PARAMETERS]   run a plug-in command with a "|"-joined name=value
                             parameter string
  import DSN                 import a Specctra design into a new board (or
                             --merge BOARD); optional autoroute and RTE/SES export
  export BOARD               run the board's route and/or session export (the
                             writer is not implemented yet, see below)
  new-project DSN            import a design into a new project folder, as the
                             host's import wizard does
  tokens DSN                 dump the tokens of a design file to DSN.prs
  embedded BOARD             list (or --delete) the translation data in a board
  show BOARD [--json]        summarise a board, or dump it as JSON
  check DSN                  exit 0 and print "valid" for a Specctra design file
  import-into BOARD DSN      import a design into an existing board through the
                             plug-in's exported import function
  commands                   list the plug-in's commands

What this build translates: import, import-into and new-project read the whole
design file, keep its resolutions, units and parser section and store its
constants in the board; import (without --autoroute) and new-project also write
the report DSN.rpt, import-into writes none. The structure, library, network,
placement and wiring blocks are not yet turned into board objects (the report
lists them as skipped blocks). tokens writes the full token dump. export, and the --rte and
--ses files of import, run their checks and dialogs and then say that the
route/session writer is not implemented yet: no .rte or .ses file is written.

Answers (accepted by run and by every verb that runs a command):
  --yes | --no               answer the next question
  --dialog PATH | --cancel   answer the next file dialog
  --dialog-answer TEXT       give the next file dialog this raw answer string
  --no-save                  do not save modified documents at the end
  --no-pcb-server            act as a host whose PCB server is not running
Questions and dialogs are always printed on stderr. When no queued answer is
left, a terminal asks the person; without a terminal a question is answered No
and a dialog is cancelled. Ctrl-C during a command plays the Escape key.

Exit status: 0 when the command ran, 1 for a negative answer of check,
import-into or new-project, 2 with a one-line reason for a host error.
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
            "and saves the modified documents.\n"},
    {"import", "usage: harrow import DSN [--merge BOARD] [--autoroute] [--rte PATH|RenameDSN]\n"
               "                     [--ses PATH|RenameDSN]\n"
               "Runs ImportSpecctraDesignFile: the design goes into a new board DSN.pcbdoc,\n"
               "or into BOARD with --merge. --autoroute asks the host's router (harrow has\n"
               "none) and turns the report off. --rte/--ses name the route and session\n"
               "files to write after the import; RenameDSN means DSN with the extension rte\n"
               "or ses. The route/session writer is not implemented yet: those files are\n"
               "not written. The report lists the blocks that are not yet turned into\n"
               "board objects.\n"},
    {"export", "usage: harrow export BOARD [--rte PATH|RenameDSN] [--ses PATH|RenameDSN]\n"
               "Runs ExportData on BOARD. Without --rte and --ses both files are named\n"
               "after BOARD (RenameDSN). The route/session writer is not implemented yet:\n"
               "the command says so and writes no file.\n"},
    {"new-project", "usage: harrow new-project DSN\n"
                    "Runs the importer as the host's import wizard does: when DSN is a\n"
                    "Specctra design file, a folder \"Imported <DSN name>\" next to DSN (or\n"
                    "\"Imported (1) <DSN name>\", ... when that exists) gets a project file and\n"
                    "a new board, and DSN is imported into that board. Prints \"not valid\" and\n"
                    "exits 1 for a file that is not a design.\n"},
    {"tokens", "usage: harrow tokens DSN\n"
               "Runs DebugParseDSN with DSN as the dialog's answer: one token a line into\n"
               "DSN with the extension prs.\n"},
    {"embedded", "usage: harrow embedded BOARD [--file OUT] [--delete]\n"
                 "Lists the translation data stored in BOARD (into OUT with --file), or\n"
                 "deletes it with --delete.\n"},
    {"show", "usage: harrow show BOARD [--json]\n"
             "Prints a short summary of BOARD, or the engine's JSON dump with --json.\n"},
    {"check", "usage: harrow check DSN\n"
              "Prints \"valid\" and exits 0 when DSN is a Specctra design file (.dsn or\n"
              ".rte starting with \"(pcb\"); prints \"not valid\" and exits 1 otherwise.\n"},
    {"import-into", "usage: harrow import-into BOARD DSN\n"
                    "Opens BOARD and calls the plug-in's ImportFileIntoPcb with DSN; exits 1\n"
                    "when it answers false (not a .dsn file, or not a design). Writes no\n"
                    "report.\n"},
    {"commands", "usage: harrow commands\nLists the commands the plug-in registers, in order.\n"},
};

std::string ExecutableFolder() {
    std::string path(PATH_MAX, '\0');
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0)
        return "./";
    path.resize(static_cast<std::size_t>(length));
    return HostSdk::ExtractFilePath(path);
}

// Refuses a value that cannot travel inside a parameter string.
std::string ParameterValue(const std::string& what, const std::string& value) {
    if (value.find_first_of("|=") != std::string::npos)
        throw HostError(what + " may not contain \"|\" or \"=\": " + value);
    return value;
}

// Every piece of the string must be name=value with a name and one "=".
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

class Arguments {
public:
    Arguments(int argc, char** argv) : args_(argv + 1, argv + argc) {}
    bool Done() const { return next_ >= args_.size(); }
    const std::string& Peek() const { return args_[next_]; }
    std::string Take() { return args_[next_++]; }
    std::string Value(const std::string& option) {
        if (Done())
            throw HostError(option + " needs a value");
        return Take();
    }

private:
    std::vector<std::string> args_;
    std::size_t next_ = 0;
};

struct Options {
    std::string enginePath;
    std::string pluginPath;
    std::vector<std::string> boards;
    bool noSave = false;
    bool noPcbServer = false;
    std::vector<bool> questionAnswers;
    std::vector<Harrow::DialogAnswer> dialogAnswers;
};

// Consumes one answer or host option; false when `arg` is none.
bool TakeCommonOption(const std::string& arg, Arguments& args, Options& options) {
    using Kind = Harrow::DialogAnswer::Kind;
    if (arg == "--yes" || arg == "--no") {
        options.questionAnswers.push_back(arg == "--yes");
    } else if (arg == "--dialog") {
        options.dialogAnswers.push_back({Kind::Accept, ParameterValue(arg, args.Value(arg))});
    } else if (arg == "--cancel") {
        options.dialogAnswers.push_back({Kind::Cancel, {}});
    } else if (arg == "--dialog-answer") {
        options.dialogAnswers.push_back({Kind::Raw, args.Value(arg)});
    } else if (arg == "--no-save") {
        options.noSave = true;
    } else if (arg == "--no-pcb-server") {
        options.noPcbServer = true;
    } else {
        return false;
    }
    return true;
}

[[noreturn]] void UnknownOption(const std::string& verb, const std::string& arg) {
    throw HostError("unknown option for " + verb + ": " + arg + " (see harrow " + verb +
                    " --help)");
}

bool WantsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

int PrintVerbHelp(const std::string& verb) {
    for (const auto& help : kVerbHelp)
        if (verb == help.verb) {
            std::cout << help.text;
            return kExitRan;
        }
    throw HostError("unknown verb " + verb + " (see harrow --help)");
}

// The loaded plug-in and its server.
class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path) {
        handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char* reason = ::dlerror();
            throw HostError("cannot load plug-in " + path + ": " +
                            (reason != nullptr ? reason : "unknown reason"));
        }
        factory_ = Resolve<HostSdk::TServerFactoryProc>("ServerFactory");
        description_ =
            Resolve<HostSdk::TGetPcbImporterDescriptionProc>("GetPcbImporterDescription");
        importIntoPcb_ = Resolve<HostSdk::TImportFileIntoPcbProc>("ImportFileIntoPcb");
    }
    ~PluginLibrary() {
        server_.reset();
        // The library stays mapped until the process ends: the engine may
        // still call back into code it registered.
    }

    HostSdk::TServerModule& Start(HostSdk::IClient& client) {
        HostSdk::TServerModule* server = nullptr;
        int32_t result = factory_(&client, &server);
        if (result != 0 || server == nullptr)
            throw HostError("plug-in ServerFactory failed with code " + std::to_string(result));
        server_.reset(server);
        server_->RegisterCommands();
        return *server_;
    }
    HostSdk::TImportFileIntoPcbProc ImportIntoPcb() const { return importIntoPcb_; }
    HostSdk::IFileImporter& Importer() {
        void* object = nullptr;
        if (server_->QueryInterface(HostSdk::IFileImporter::kInterfaceId, &object) != 0 ||
            object == nullptr)
            throw HostError("plug-in offers no board importer");
        return *static_cast<HostSdk::IFileImporter*>(object);
    }

private:
    template <typename F> F Resolve(const char* name) {
        void* symbol = ::dlsym(handle_, name);
        if (symbol == nullptr)
            throw HostError(std::string("plug-in lacks ") + name);
        return reinterpret_cast<F>(symbol);
    }
    void* handle_ = nullptr;
    HostSdk::TServerFactoryProc factory_ = nullptr;
    HostSdk::TGetPcbImporterDescriptionProc description_ = nullptr;
    HostSdk::TImportFileIntoPcbProc importIntoPcb_ = nullptr;
    std::unique_ptr<HostSdk::TServerModule> server_;
};

// Progress hooks handed to the engine.
extern "C" void ProgressInit(void* context, const char* caption, int32_t steps) {
    static_cast<Harrow::Console*>(context)->ProgressInit(caption != nullptr ? caption : "", steps);
}
extern "C" void ProgressUpdate(void* context) {
    static_cast<Harrow::Console*>(context)->ProgressUpdate();
}
extern "C" void ProgressFinish(void* context) {
    static_cast<Harrow::Console*>(context)->ProgressFinish();
}

// One session of the host: engine, plug-in, documents.
class Session {
public:
    explicit Session(const Options& options)
        : engine_(LoadEngine(options)), client_(*engine_, console_),
          plugin_(options.pluginPath.empty() ? ExecutableFolder() + "libdsnlink.so"
                                             : options.pluginPath),
          options_(options) {
        for (bool yes : options.questionAnswers)
            console_.QueueQuestionAnswer(yes);
        for (const auto& answer : options.dialogAnswers)
            console_.QueueDialogAnswer(answer);
        client_.SetPcbServerRunning(!options.noPcbServer);
        engine_->SetProgressHooks(&ProgressInit, &ProgressUpdate, &ProgressFinish, &console_);
        server_ = &plugin_.Start(client_);
        for (const std::string& board : options.boards)
            OpenBoard(board);
    }
    ~Session() { engine_->SetProgressHooks(nullptr, nullptr, nullptr, nullptr); }

    Harrow::BoardDocument& OpenBoard(const std::string& path) {
        try {
            return client_.OpenBoardDocument(path);
        } catch (const std::exception& error) {
            throw HostError(error.what());
        }
    }

    // Runs `command`; raises HostError for an unknown command or when the
    // command raised.
    void RunCommand(const std::string& command, const std::string& parameters) {
        if (!server_->CommandLauncher().HasCommand(command))
            throw HostError("unknown command " + command + " (harrow commands lists them)");
        CheckParameterString(parameters);
        Guarded(command, [&] { server_->CommandLauncher().LaunchCommand(command, parameters); });
    }

    template <typename F> void Guarded(const std::string& what, F work) {
        console_.InstallInterruptHandler();
        try {
            work();
        } catch (const std::exception& error) {
            console_.RemoveInterruptHandler();
            throw HostError(what + " failed: " + error.what());
        } catch (...) {
            console_.RemoveInterruptHandler();
            throw HostError(what + " failed with an unknown error");
        }
        console_.RemoveInterruptHandler();
    }

    void Finish() {
        if (!options_.noSave) {
            try {
                client_.SaveModifiedDocuments();
            } catch (const std::exception& error) {
                throw HostError(error.what());
            }
        }
        if (client_.QuitRequested())
            console_.Note("host quit");
    }

    Harrow::HarrowClient& Client() { return client_; }
    Harrow::Console& GetConsole() { return console_; }
    PluginLibrary& Plugin() { return plugin_; }
    HostSdk::TServerModule& Server() { return *server_; }
    Harrow::EngineLibrary& Engine() { return *engine_; }

private:
    static std::unique_ptr<Harrow::EngineLibrary> LoadEngine(const Options& options) {
        std::string path =
            options.enginePath.empty() ? ExecutableFolder() + "libcorvane.so" : options.enginePath;
        try {
            return std::make_unique<Harrow::EngineLibrary>(path);
        } catch (const std::exception& error) {
            throw HostError(error.what());
        }
    }

    Harrow::Console console_;
    std::unique_ptr<Harrow::EngineLibrary> engine_;
    Harrow::HarrowClient client_;
    PluginLibrary plugin_;
    Options options_;
    HostSdk::TServerModule* server_ = nullptr;
};

// The arrays of the engine's JSON dump and their sizes: those of the top
// level by their key ("LayerStack"), and those one object further down by both
// keys ("Objects/Track"). Only the structure is scanned: strings are skipped,
// values ignored.
class JsonOutline {
public:
    explicit JsonOutline(const std::string& text) : text_(text) {}

    std::map<std::string, long> ArrayCounts() {
        std::map<std::string, long> counts;
        Blank();
        if (Peek() == '{')
            CollectArrays(counts, "", 1);
        return counts;
    }

private:
    // At "{": records every array member, looking `depth` objects further in.
    void CollectArrays(std::map<std::string, long>& counts, const std::string& prefix, int depth) {
        Take('{');
        while (true) {
            Blank();
            if (Take('}') || Peek() != '"')
                return;
            std::string key = String();
            Blank();
            if (!Take(':'))
                return;
            Blank();
            if (Peek() == '[')
                counts[prefix + key] = ArrayCount();
            else if (Peek() == '{' && depth > 0)
                CollectArrays(counts, prefix + key + "/", depth - 1);
            else
                SkipValue();
            Blank();
            if (!Take(',')) {
                Take('}');
                return;
            }
        }
    }

    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool Take(char c) {
        if (Peek() != c)
            return false;
        ++pos_;
        return true;
    }
    void Blank() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }
    std::string String() {
        std::string value;
        ++pos_; // opening quote
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\\')
                ++pos_;
            if (pos_ < text_.size())
                value += text_[pos_++];
        }
        ++pos_;
        return value;
    }
    // Skips one value of any kind, nested ones included.
    void SkipValue() {
        int depth = 0;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '"') {
                String();
                if (depth == 0)
                    return;
                continue;
            }
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (depth == 0)
                    return;
                if (--depth == 0) {
                    ++pos_;
                    return;
                }
            } else if (c == ',' && depth == 0) {
                return;
            }
            ++pos_;
        }
    }
    long ArrayCount() {
        ++pos_; // [
        Blank();
        if (Take(']'))
            return 0;
        long count = 0;
        while (pos_ < text_.size()) {
            Blank();
            SkipValue();
            ++count;
            Blank();
            if (Take(']'))
                break;
            if (!Take(','))
                break;
        }
        return count;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

// The board objects the translator makes, by the engine's kind name; the
// summary always counts these, and any other kind the board holds after them.
struct SummaryKind {
    const char* kind;
    const char* label;
};
const SummaryKind kSummaryKinds[] = {
    {"Net", "nets"},
    {"Class", "classes"},
    {"FromTo", "from-tos"},
    {"Rule", "rules"},
    {"Component", "components"},
    {"Pad", "pads"},
    {"Track", "tracks"},
    {"Arc", "arcs"},
    {"Via", "vias"},
    {"Fill", "fills"},
    {"Region", "regions"},
    {"Polygon", "polygons"},
    {"Text", "texts"},
    {"Embedded", "embedded objects"},
};

void PrintSummary(const std::string& boardPath, const std::string& json, bool modified) {
    std::map<std::string, long> counts = JsonOutline(json).ArrayCounts();
    auto take = [&counts](const std::string& key) {
        auto it = counts.find(key);
        if (it == counts.end())
            return 0L;
        long count = it->second;
        counts.erase(it);
        return count;
    };
    std::cout << "board: " << boardPath << "\n";
    std::cout << "modified: " << (modified ? "yes" : "no") << "\n";
    std::cout << "layers in stack: " << take("LayerStack") << "\n";
    std::cout << "layer pairs: " << take("LayerPairs") << "\n";
    for (const SummaryKind& kind : kSummaryKinds)
        std::cout << kind.label << ": " << take(std::string("Objects/") + kind.kind) << "\n";
    const std::string objects = "Objects/";
    for (const auto& [key, count] : counts)
        if (key.compare(0, objects.size(), objects) == 0)
            std::cout << key.substr(objects.size()) << " objects: " << count << "\n";
}

int Main(int argc, char** argv) {
    Arguments args(argc, argv);
    Options options;
    while (!args.Done() && args.Peek().rfind("--", 0) == 0) {
        std::string arg = args.Take();
        if (WantsHelp(arg)) {
            std::cout << kHelp;
            return kExitRan;
        }
        if (arg == "--engine")
            options.enginePath = args.Value(arg);
        else if (arg == "--plugin")
            options.pluginPath = args.Value(arg);
        else if (!TakeCommonOption(arg, args, options))
            throw HostError("unknown option " + arg + " (see harrow --help)");
    }
    if (args.Done())
        throw HostError("no verb given (see harrow --help)");
    const std::string verb = args.Take();
    if (verb == "help" || WantsHelp(verb)) {
        std::cout << kHelp;
        return kExitRan;
    }

    // Verb arguments: positional values, options with values, flags.
    std::vector<std::string> positional;
    std::optional<std::string> merge, rte, ses, file;
    bool autoroute = false, json = false, remove = false;
    std::string command;
    std::optional<std::string> commandParameters;
    while (!args.Done()) {
        std::string arg = args.Take();
        if (WantsHelp(arg))
            return PrintVerbHelp(verb);
        if (verb == "run" && !command.empty()) {
            if (commandParameters)
                throw HostError("run takes one parameter string; quote it: " + arg);
            commandParameters = arg;
            continue;
        }
        if (TakeCommonOption(arg, args, options))
            continue;
        if (arg == "--board" && verb == "run")
            options.boards.push_back(args.Value(arg));
        else if (arg == "--merge" && verb == "import")
            merge = args.Value(arg);
        else if (arg == "--autoroute" && verb == "import")
            autoroute = true;
        else if (arg == "--rte" && (verb == "import" || verb == "export"))
            rte = args.Value(arg);
        else if (arg == "--ses" && (verb == "import" || verb == "export"))
            ses = args.Value(arg);
        else if (arg == "--file" && verb == "embedded")
            file = args.Value(arg);
        else if (arg == "--delete" && verb == "embedded")
            remove = true;
        else if (arg == "--json" && verb == "show")
            json = true;
        else if (arg.rfind("--", 0) == 0)
            UnknownOption(verb, arg);
        else if (verb == "run")
            command = arg;
        else
            positional.push_back(arg);
    }

    auto expect = [&](std::size_t count, const char* usage) {
        if (positional.size() != count)
            throw HostError(std::string("usage: harrow ") + usage);
    };

    if (verb == "run") {
        if (command.empty())
            throw HostError("usage: harrow run [OPTIONS] COMMAND [PARAMETERS]");
        Session session(options);
        session.RunCommand(command, commandParameters.value_or(""));
        session.Finish();
        return kExitRan;
    }
    if (verb == "commands") {
        expect(0, "commands");
        Session session(options);
        for (const std::string& name : session.Server().CommandLauncher().CommandNames())
            std::cout << name << "\n";
        return kExitRan;
    }
    if (verb == "import") {
        expect(1, "import DSN [--merge BOARD] [--autoroute] [--rte PATH] [--ses PATH]");
        std::string parameters = "DsnFile=" + ParameterValue("DSN", positional[0]);
        if (merge) {
            options.boards.push_back(*merge);
            parameters += "|MergeImport=True";
        }
        if (autoroute)
            parameters += "|AutoRoute=True";
        if (rte)
            parameters += "|RteFile=" + ParameterValue("--rte", *rte);
        if (ses)
            parameters += "|SesFile=" + ParameterValue("--ses", *ses);
        Session session(options);
        session.RunCommand("ImportSpecctraDesignFile", parameters);
        session.Finish();
        return kExitRan;
    }
    if (verb == "export") {
        expect(1, "export BOARD [--rte PATH] [--ses PATH]");
        std::string board = HostSdk::ExpandFileName(positional[0]);
        std::string parameters = "PcbFileName=" + ParameterValue("BOARD", board);
        if (!rte && !ses)
            rte = ses = std::string("RenameDSN");
        if (rte)
            parameters += "|RteFile=" + ParameterValue("--rte", *rte);
        if (ses)
            parameters += "|SesFile=" + ParameterValue("--ses", *ses);
        options.boards.push_back(positional[0]);
        Session session(options);
        session.RunCommand("ExportData", parameters);
        session.Finish();
        return kExitRan;
    }
    if (verb == "new-project") {
        expect(1, "new-project DSN");
        Session session(options);
        std::string dsn = HostSdk::ExpandFileName(positional[0]);
        bool valid = false;
        int32_t result = 0;
        session.Guarded("import into a new project", [&] {
            HostSdk::IFileImporter& importer = session.Plugin().Importer();
            result = importer.IsValidFile(dsn, &valid);
            if (result == 0 && valid)
                result = importer.ImportFile(dsn);
        });
        if (result != 0)
            throw HostError("import into a new project failed with code " +
                            std::to_string(static_cast<uint32_t>(result)));
        if (!valid) {
            std::cout << "not valid" << std::endl;
            return kExitNegative;
        }
        session.Finish();
        return kExitRan;
    }
    if (verb == "tokens") {
        expect(1, "tokens DSN");
        options.dialogAnswers.insert(
            options.dialogAnswers.begin(),
            {Harrow::DialogAnswer::Kind::Accept,
             ParameterValue("DSN", HostSdk::ExpandFileName(positional[0]))});
        Session session(options);
        session.RunCommand("DebugParseDSN", "");
        session.Finish();
        return kExitRan;
    }
    if (verb == "embedded") {
        expect(1, "embedded BOARD [--file OUT] [--delete]");
        options.boards.push_back(positional[0]);
        Session session(options);
        if (remove)
            session.RunCommand("DeleteEmbeddedObjects", "");
        else
            session.RunCommand("ViewEmbeddedObjects",
                               file ? "File=" + ParameterValue("--file", *file) : std::string());
        session.Finish();
        return kExitRan;
    }
    if (verb == "show") {
        expect(1, "show BOARD [--json]");
        options.noSave = true;
        Session session(options);
        Harrow::BoardDocument& document = session.OpenBoard(positional[0]);
        char error[512] = {};
        if (json) {
            std::cout.flush();
            if (session.Engine().DumpBoardJson(document.BoardHandle(), "-", error, 512) == 0)
                throw HostError(std::string("cannot dump board: ") + error);
            return kExitRan;
        }
        char temporary[] = "/tmp/harrow-show-XXXXXX";
        int fd = ::mkstemp(temporary);
        if (fd < 0)
            throw HostError("cannot create a temporary file");
        ::close(fd);
        std::string path = temporary;
        int32_t dumped =
            session.Engine().DumpBoardJson(document.BoardHandle(), path.c_str(), error, 512);
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ::unlink(path.c_str());
        if (dumped == 0)
            throw HostError(std::string("cannot dump board: ") + error);
        PrintSummary(document.FileName(), text, document.Modified());
        Harrow::PrintRuleListing(std::cout, text);
        return kExitRan;
    }
    if (verb == "check") {
        expect(1, "check DSN");
        options.noSave = true;
        Session session(options);
        bool valid = false;
        int32_t result = 0;
        session.Guarded("check", [&] {
            result = session.Plugin().Importer().IsValidFile(positional[0], &valid);
        });
        if (result != 0)
            throw HostError("check failed with code " +
                            std::to_string(static_cast<uint32_t>(result)));
        std::cout << (valid ? "valid" : "not valid") << std::endl;
        return valid ? kExitRan : kExitNegative;
    }
    if (verb == "import-into") {
        expect(2, "import-into BOARD DSN");
        Session session(options);
        Harrow::BoardDocument& document = session.OpenBoard(positional[0]);
        intptr_t handle = document.BoardHandle();
        if (handle > std::numeric_limits<int32_t>::max() ||
            handle < std::numeric_limits<int32_t>::min())
            throw HostError("board handle does not fit the importer's 32-bit argument");
        bool imported = false;
        std::string dsn = HostSdk::ExpandFileName(positional[1]);
        session.Guarded("import-into", [&] {
            imported =
                session.Plugin().ImportIntoPcb()(dsn.c_str(), "", static_cast<int32_t>(handle));
        });
        session.Finish();
        if (!imported) {
            std::cerr << "harrow: the plug-in did not import " << positional[1] << std::endl;
            return kExitNegative;
        }
        std::cout << "imported" << std::endl;
        return kExitRan;
    }
    throw HostError("unknown verb " + verb + " (see harrow --help)");
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "harrow: " << error.what() << std::endl;
        return kExitHostError;
    } catch (...) {
        std::cerr << "harrow: unknown error" << std::endl;
        return kExitHostError;
    }
}
