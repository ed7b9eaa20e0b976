#include "plugin/Main_Orlek.h"

#include <exception>

#include "plugin/Commands_Orlek.h"
#include "plugin/HostAccess.h"
#include "plugin/ImportSpecctra.h"
#include "sdk/FileNames.h"
#include "sdk/Parameters.h"

#include <memory>

namespace DsnLink {

TSpecctraInterface::TSpecctraInterface(HostSdk::IClient* client)
    : HostSdk::TServerModule(client, kServerName) {
    SetCurrentClient(client);
}

TSpecctraInterface::~TSpecctraInterface() {
    if (CurrentClient() == &Client())
        SetCurrentClient(nullptr);
}

void TSpecctraInterface::RegisterCommands() {
    RegisterSpecctraCommands(*this);
}

int32_t TSpecctraInterface::QueryInterface(const std::string& interfaceId, void** object) {
    if (object == nullptr)
        return HostSdk::kNoInterface;
    if (HostSdk::SameTextAscii(interfaceId, HostSdk::IFileImporter::kInterfaceId)) {
        *object = static_cast<HostSdk::IFileImporter*>(this);
        AddRef();
        return 0;
    }
    *object = nullptr;
    return HostSdk::kNoInterface;
}

// The server lives until the host unloads the library: the count is kept for
// the host's bookkeeping only.
int32_t TSpecctraInterface::AddRef() {
    return ++references_;
}
int32_t TSpecctraInterface::Release() {
    return references_ > 1 ? --references_ : references_;
}

int32_t TSpecctraInterface::IsValidFile(const std::string& fileName, bool* valid) {
    try {
        if (valid != nullptr)
            *valid = false;
        bool result = IsDesignFile(fileName);
        if (valid != nullptr)
            *valid = result;
        return 0;
    } catch (...) {
        return HostSdk::kSafeCallError;
    }
}

int32_t TSpecctraInterface::ImportFile(const std::string& fileName) {
    try {
        if (fileName.empty())
            return 0;
        bool valid = false;
        int32_t checked = IsValidFile(fileName, &valid);
        if (checked != 0)
            return checked;
        if (valid)
            ImportIntoNewProject(Client(), fileName);
        return 0;
    } catch (...) {
        return HostSdk::kSafeCallError;
    }
}

int32_t CreateServer(HostSdk::IClient* client, HostSdk::TServerModule** server) noexcept {
    try {
        if (server != nullptr)
            *server = nullptr;
        auto created = std::make_unique<TSpecctraInterface>(client);
        if (server == nullptr)
            return HostSdk::kSafeCallError;
        *server = created.release();
        BindEngine();
        return 0;
    } catch (...) {
        return HostSdk::kSafeCallError;
    }
}

bool ImportFileIntoBoard(const char* fileName, const char* unused, int32_t board) noexcept {
    (void)unused;
    try {
        std::string path = fileName == nullptr ? std::string() : std::string(fileName);
        if (!HostSdk::FileExists(path))
            return false;
        if (!HostSdk::SameTextAscii(HostSdk::ExtractFileExt(path), ".DSN"))
            return false;
        HostSdk::IClient* client = CurrentClient();
        if (client == nullptr)
            return false;
        return ImportDesignIntoBoard(*client, path, board);
    } catch (const std::exception& error) {
        // The answer can only say no: let the user see why.
        if (HostSdk::IClient* client = CurrentClient()) {
            try {
                client->ShowMessage(error.what());
            } catch (...) {
            }
        }
        return false;
    } catch (...) {
        return false;
    }
}

} // namespace DsnLink
