// Loads libdsnlink.so the way a host does and starts its server for a client.
#pragma once

#include "sdk/ServerModule.h"

#include <dlfcn.h>
#include <memory>
#include <stdexcept>
#include <string>

struct LoadedPlugin {
    void* handle = nullptr;
    HostSdk::TServerFactoryProc ServerFactory = nullptr;
    HostSdk::TGetPcbImporterDescriptionProc GetPcbImporterDescription = nullptr;
    HostSdk::TImportFileIntoPcbProc ImportFileIntoPcb = nullptr;

    static LoadedPlugin& Get() {
        static LoadedPlugin plugin = Load();
        return plugin;
    }

    // Starts a server for `client` and registers its commands.
    std::unique_ptr<HostSdk::TServerModule> Start(HostSdk::IClient& client) {
        HostSdk::TServerModule* server = nullptr;
        if (ServerFactory(&client, &server) != 0 || server == nullptr)
            throw std::runtime_error("ServerFactory failed");
        std::unique_ptr<HostSdk::TServerModule> owned(server);
        owned->RegisterCommands();
        return owned;
    }

    static HostSdk::IFileImporter& Importer(HostSdk::TServerModule& server) {
        void* object = nullptr;
        if (server.QueryInterface(HostSdk::IFileImporter::kInterfaceId, &object) != 0)
            throw std::runtime_error("no importer");
        return *static_cast<HostSdk::IFileImporter*>(object);
    }

private:
    static LoadedPlugin Load() {
        LoadedPlugin plugin;
        std::string path = std::string(DSNLINK_BIN_DIR) + "/libdsnlink.so";
        plugin.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (plugin.handle == nullptr)
            throw std::runtime_error(std::string("cannot load plug-in: ") + dlerror());
        plugin.Find(plugin.ServerFactory, "ServerFactory");
        plugin.Find(plugin.GetPcbImporterDescription, "GetPcbImporterDescription");
        plugin.Find(plugin.ImportFileIntoPcb, "ImportFileIntoPcb");
        return plugin;
    }
    template <class Entry> void Find(Entry& entry, const char* name) {
        entry = reinterpret_cast<Entry>(dlsym(handle, name));
    }
};
