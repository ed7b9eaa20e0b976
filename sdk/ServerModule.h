// Server modules: what a plug-in hands the host at ServerFactory. The host keeps
// the module until it unloads the plug-in, asks it once to register its
// commands and then launches them by name, one at a time.
#pragma once

#include "sdk/AsciiText.h"
#include "sdk/HostClient.h"

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace HostSdk {

// Result of an entry point whose work raised.
inline constexpr int32_t kSafeCallError = static_cast<int32_t>(0x8000FFFFu);
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);

using TCommandHandler = std::function<void(const std::string& parameters)>;

class TCommandLauncher {
public:
    // Registers `name` (compared without regard to case); a second
    // registration of the same name replaces the handler and keeps its place.
    void RegisterCommand(const std::string& name, TCommandHandler handler) {
        std::string key = Key(name);
        auto it = index_.find(key);
        if (it != index_.end()) {
            commands_[it->second].second = std::move(handler);
            return;
        }
        index_.emplace(std::move(key), commands_.size());
        commands_.emplace_back(name, std::move(handler));
    }
    bool HasCommand(const std::string& name) const { return index_.count(Key(name)) != 0; }
    // Runs the command; false when no command has that name.
    bool LaunchCommand(const std::string& name, const std::string& parameters) const {
        auto it = index_.find(Key(name));
        if (it == index_.end())
            return false;
        commands_[it->second].second(parameters);
        return true;
    }
    // Command names in registration order.
    std::vector<std::string> CommandNames() const {
        std::vector<std::string> names;
        names.reserve(commands_.size());
        for (const auto& command : commands_)
            names.push_back(command.first);
        return names;
    }

private:
    static std::string Key(const std::string& name) { return UpperAscii(name); }
    std::vector<std::pair<std::string, TCommandHandler>> commands_;
    std::map<std::string, std::size_t> index_;
};

// Board importer offered to the host's import wizard. Results: 0 on success,
// kSafeCallError when the work raised.
class IFileImporter {
public:
    static constexpr const char* kInterfaceId = "{E3A11D71-08EB-48A6-9345-FCEBF254EEFF}";
    virtual int32_t QueryInterface(const std::string& interfaceId, void** object) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;
    virtual int32_t IsValidFile(const std::string& fileName, bool* valid) = 0;
    virtual int32_t ImportFile(const std::string& fileName) = 0;

protected:
    ~IFileImporter() = default;
};

class TServerModule {
public:
    TServerModule(IClient* client, std::string serverName)
        : client_(client), serverName_(std::move(serverName)) {
        if (client_ == nullptr)
            throw std::invalid_argument("server module created without a host client");
    }
    TServerModule(const TServerModule&) = delete;
    TServerModule& operator=(const TServerModule&) = delete;
    virtual ~TServerModule() = default;

    IClient& Client() const { return *client_; }
    const std::string& ServerName() const { return serverName_; }
    TCommandLauncher& CommandLauncher() { return launcher_; }
    const TCommandLauncher& CommandLauncher() const { return launcher_; }

    // Registers the module's commands with the launcher; called once by the
    // host after ServerFactory.
    virtual void RegisterCommands() {}

    // Other interfaces of the module by identifier ("{...}"): 0 and the
    // interface in `object`, or kNoInterface.
    virtual int32_t QueryInterface(const std::string& interfaceId, void** object) {
        if (object != nullptr)
            *object = nullptr;
        return kNoInterface;
    }

private:
    IClient* client_;
    std::string serverName_;
    TCommandLauncher launcher_;
};

// The plug-in's exported entry points.
extern "C" {
typedef int32_t (*TServerFactoryProc)(IClient* client, TServerModule** server);
typedef const char* (*TGetPcbImporterDescriptionProc)();
typedef bool (*TImportFileIntoPcbProc)(const char* fileName, const char* unused, int32_t board);
}

} // namespace HostSdk
