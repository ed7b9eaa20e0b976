// The plug-in's server object and the work behind its three exported entry
// points. Every function here that the host reaches across the library
// boundary catches what its work raises.
#pragma once

#include "sdk/ServerModule.h"

#include <cstdint>
#include <string>

namespace DsnLink {

inline constexpr const char* kServerName = "DsnLink";
inline constexpr const char* kImporterDescription = "Specctra Design file (*.dsn)";

// The server object: a server module named "DsnLink" that registers the ten
// commands and offers the board importer.
class TSpecctraInterface : public HostSdk::TServerModule, public HostSdk::IFileImporter {
public:
    explicit TSpecctraInterface(HostSdk::IClient* client);
    ~TSpecctraInterface() override;

    void RegisterCommands() override;
    int32_t QueryInterface(const std::string& interfaceId, void** object) override;

    int32_t AddRef() override;
    int32_t Release() override;
    int32_t IsValidFile(const std::string& fileName, bool* valid) override;
    int32_t ImportFile(const std::string& fileName) override;

private:
    int32_t references_ = 1;
};

// ServerFactory: clears `server`, creates the server object for `client`,
// hands it back, binds the engine. 0, or kSafeCallError when it raised.
int32_t CreateServer(HostSdk::IClient* client, HostSdk::TServerModule** server) noexcept;

// ImportFileIntoPcb: imports a ".dsn" file (any case) into `board`. False for
// a missing file, any other extension, or when the work raised.
bool ImportFileIntoBoard(const char* fileName, const char* unused, int32_t board) noexcept;

} // namespace DsnLink
