// One run of the host: the engine and the plug-in loaded, the client and the
// console, the documents opened, one command run and the documents saved.
#pragma once

#include "host/BoardLock.h"
#include "host/Console.h"
#include "host/EngineLibrary.h"
#include "host/HarrowClient.h"
#include "host/Outcome.h"
#include "sdk/ServerModule.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Harrow {

struct SessionOptions {
    std::string enginePath; // empty: found beside harrow or in the installed library folder
    std::string pluginPath;
    std::vector<std::string> boards; // opened in order; the last is current
    bool noSave = false;
    bool noPcbServer = false;
    bool force = false;
    // harrow's process ends with the session: the engine's boards are left
    // to the end of the process rather than closed object by object.
    bool processEndsWithSession = false;
    double lockWait = 300; // seconds to wait for a board another harrow holds
    std::vector<bool> questionAnswers;
    std::vector<DialogAnswer> dialogAnswers;
};

// Where harrow looks for a library it loads: beside the executable (a build
// tree), then in the library folder of an installed tree. Answers the first
// that exists, else raises HostError naming the places looked at.
std::string FindRuntimeLibrary(const std::string& name, const std::string& what,
                               const std::string& option);

// The loaded plug-in and its server.
class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    HostSdk::TServerModule& Start(HostSdk::IClient& client);
    HostSdk::TImportFileIntoPcbProc ImportIntoPcb() const { return importIntoPcb_; }
    HostSdk::IFileImporter& Importer();

private:
    template <typename F> F Resolve(const char* name);
    void* handle_ = nullptr;
    HostSdk::TServerFactoryProc factory_ = nullptr;
    HostSdk::TImportFileIntoPcbProc importIntoPcb_ = nullptr;
    std::unique_ptr<HostSdk::TServerModule> server_;
};

class Session {
public:
    explicit Session(const SessionOptions& options);
    ~Session();

    // Opens a board document; unless --no-save, holds it first (see
    // HoldBoard).
    BoardDocument& OpenBoard(const std::string& path);
    // Holds the board document at `path` until the session ends, so that no
    // other harrow writes it meanwhile; waits while another holds it.
    void HoldBoard(const std::string& path);
    // Runs `command`; raises HostError for an unknown command or when the
    // command raised.
    void RunCommand(const std::string& command, const std::string& parameters);
    // Runs `work` with Ctrl-C playing the Escape key; an exception becomes a
    // HostError "`what` failed: ...".
    template <typename F> void Guarded(const std::string& what, F work) {
        console_.InstallInterruptHandler();
        try {
            work();
        } catch (const HarrowError&) {
            console_.RemoveInterruptHandler();
            throw;
        } catch (const std::exception& error) {
            console_.RemoveInterruptHandler();
            throw HostError(what + " failed: " + error.what());
        } catch (...) {
            console_.RemoveInterruptHandler();
            throw HostError(what + " failed with an unknown error");
        }
        console_.RemoveInterruptHandler();
    }
    // Saves every modified document (unless --no-save).
    void Finish();

    HarrowClient& Client() { return client_; }
    Console& GetConsole() { return console_; }
    PluginLibrary& Plugin() { return plugin_; }
    HostSdk::TServerModule& Server() { return *server_; }
    EngineLibrary& Engine() { return *engine_; }

private:
    Console console_;
    std::unique_ptr<EngineLibrary> engine_;
    HarrowClient client_;
    PluginLibrary plugin_;
    SessionOptions options_;
    HostSdk::TServerModule* server_ = nullptr;
    std::map<std::string, std::unique_ptr<BoardLock>> held_; // by whole path
};

} // namespace Harrow
