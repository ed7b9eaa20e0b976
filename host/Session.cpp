#include "host/Session.h"

#include "host/Outcome.h"
#include "sdk/FileNames.h"
#include "sdk/Parameters.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

#ifndef HARROW_LIBDIR_FROM_BINDIR
#define HARROW_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace Harrow {
namespace {

std::string ExecutableFolder() {
    std::string path(PATH_MAX, '\0');
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0)
        return "./";
    path.resize(static_cast<std::size_t>(length));
    return HostSdk::ExtractFilePath(path);
}

std::unique_ptr<EngineLibrary> LoadEngine(const SessionOptions& options) {
    std::string path = options.enginePath.empty()
                           ? FindRuntimeLibrary("libcorvane.so", "engine", "--engine")
                           : options.enginePath;
    try {
        return std::make_unique<EngineLibrary>(path);
    } catch (const std::exception& error) {
        throw HostError(error.what());
    }
}

// Progress hooks handed to the engine.
extern "C" void ProgressInit(void* context, const char* caption, int32_t steps) {
    static_cast<Console*>(context)->ProgressInit(caption != nullptr ? caption : "", steps);
}
extern "C" void ProgressUpdate(void* context) {
    static_cast<Console*>(context)->ProgressUpdate();
}
extern "C" void ProgressFinish(void* context) {
    static_cast<Console*>(context)->ProgressFinish();
}

} // namespace

std::string FindRuntimeLibrary(const std::string& name, const std::string& what,
                               const std::string& option) {
    const std::string here = ExecutableFolder();
    const std::string candidates[] = {here + name,
                                      WholePath(here + HARROW_LIBDIR_FROM_BINDIR "/" + name)};
    for (const std::string& candidate : candidates)
        if (HostSdk::FileExists(candidate))
            return candidate;
    throw HostError("cannot find the " + what + " " + name + " (looked in " +
                    ShownPath(HostSdk::ExtractFilePath(candidates[0])) + " and " +
                    ShownPath(HostSdk::ExtractFilePath(candidates[1])) + "); give " + option +
                    " LIB, or install harrow with cmake --install");
}

PluginLibrary::PluginLibrary(const std::string& path) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        throw HostError("cannot load plug-in " + path + ": " +
                        (reason != nullptr ? reason : "unknown reason"));
    }
    factory_ = Resolve<HostSdk::TServerFactoryProc>("ServerFactory");
    Resolve<HostSdk::TGetPcbImporterDescriptionProc>("GetPcbImporterDescription");
    importIntoPcb_ = Resolve<HostSdk::TImportFileIntoPcbProc>("ImportFileIntoPcb");
}

PluginLibrary::~PluginLibrary() {
    server_.reset();
    // The library stays mapped until the process ends: the engine may still
    // call back into code it registered.
}

HostSdk::TServerModule& PluginLibrary::Start(HostSdk::IClient& client) {
    HostSdk::TServerModule* server = nullptr;
    int32_t result = factory_(&client, &server);
    if (result != 0 || server == nullptr)
        throw HostError("plug-in ServerFactory failed with code " + std::to_string(result));
    server_.reset(server);
    server_->RegisterCommands();
    return *server_;
}

HostSdk::IFileImporter& PluginLibrary::Importer() {
    void* object = nullptr;
    if (server_->QueryInterface(HostSdk::IFileImporter::kInterfaceId, &object) != 0 ||
        object == nullptr)
        throw HostError("plug-in offers no board importer");
    return *static_cast<HostSdk::IFileImporter*>(object);
}

template <typename F> F PluginLibrary::Resolve(const char* name) {
    void* symbol = ::dlsym(handle_, name);
    if (symbol == nullptr)
        throw HostError(std::string("plug-in lacks ") + name);
    return reinterpret_cast<F>(symbol);
}

Session::Session(const SessionOptions& options)
    : engine_(LoadEngine(options)), client_(*engine_, console_),
      plugin_(options.pluginPath.empty()
                  ? FindRuntimeLibrary("libdsnlink.so", "plug-in", "--plugin")
                  : options.pluginPath),
      options_(options) {
    for (bool yes : options.questionAnswers)
        console_.QueueQuestionAnswer(yes);
    for (const auto& answer : options.dialogAnswers)
        console_.QueueDialogAnswer(answer);
    client_.SetPcbServerRunning(!options.noPcbServer);
    client_.SetForce(options.force);
    client_.SetLeaveBoardsOpen(options.processEndsWithSession);
    engine_->SetProgressHooks(&ProgressInit, &ProgressUpdate, &ProgressFinish, &console_);
    server_ = &plugin_.Start(client_);
    for (const std::string& board : options.boards)
        OpenBoard(board);
}

Session::~Session() {
    engine_->SetProgressHooks(nullptr, nullptr, nullptr, nullptr);
}

void Session::HoldBoard(const std::string& path) {
    const std::string whole = WholePath(path);
    if (held_.count(whole) == 0)
        held_.emplace(whole, std::make_unique<BoardLock>(whole, options_.lockWait));
}

BoardDocument& Session::OpenBoard(const std::string& path) {
    RequireReadableFile(path, "board");
    if (!options_.noSave)
        HoldBoard(path);
    try {
        return client_.OpenBoardDocument(path);
    } catch (const std::exception& error) {
        throw InputError(error.what());
    }
}

void Session::RunCommand(const std::string& command, const std::string& parameters) {
    if (!server_->CommandLauncher().HasCommand(command))
        throw HostError("unknown command " + command + " (harrow commands lists them)");
    // An import that routes: the router reads the design's boundary.
    std::string design;
    HostSdk::GetState_Parameter(parameters, "DsnFile", design);
    client_.SetDesignFile(design);
    Guarded(command, [&] { server_->CommandLauncher().LaunchCommand(command, parameters); });
}

void Session::Finish() {
    if (!options_.noSave) {
        try {
            client_.SaveModifiedDocuments();
        } catch (const HarrowError&) {
            throw;
        } catch (const std::exception& error) {
            throw HostError(error.what());
        }
    }
    if (client_.QuitRequested())
        console_.Note("host quit");
}

} // namespace Harrow
