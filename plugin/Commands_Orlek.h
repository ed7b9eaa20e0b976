// The plug-in's ten commands. Each handler receives the host's parameter
// string (possibly empty), makes its entry checks, asks for what is missing and
// runs its flow.
#pragma once

#include "sdk/HostClient.h"
#include "sdk/ServerModule.h"

#include <string>

namespace DsnLink {

void Command_ImportSpecctraDesignFile(HostSdk::IClient& client, const std::string& parameters);
void Command_ExportSpecctraDesignFile(HostSdk::IClient& client, const std::string& parameters);
void Command_ImportSpecctraRouteFile(HostSdk::IClient& client, const std::string& parameters);
void Command_ExportSpecctraRouteFile(HostSdk::IClient& client, const std::string& parameters);
void Command_ExportSpecctraSessionFile(HostSdk::IClient& client, const std::string& parameters);
void Command_ExportData(HostSdk::IClient& client, const std::string& parameters);
void Command_ViewEmbeddedObjects(HostSdk::IClient& client, const std::string& parameters);
void Command_DeleteEmbeddedObjects(HostSdk::IClient& client, const std::string& parameters);
void Command_DebugParseDSN(HostSdk::IClient& client, const std::string& parameters);
void Command_ReturnToHostPCB(HostSdk::IClient& client, const std::string& parameters);

// Registers the ten commands, in their fixed order, with the server's launcher.
void RegisterSpecctraCommands(HostSdk::TServerModule& server);

// The proposed name of the board-file commands: every space of the board's
// path becomes "_" when `replaceSpaces`, then the extension becomes `extension`.
std::string ProposeFileName(const std::string& boardFileName, const char* extension,
                            bool replaceSpaces);

// "RenameDSN" (any case) stands for `baseFile` with the extension
// `extension`; any other value is kept.
std::string ResolveRenameDSN(const std::string& value, const std::string& baseFile,
                             const char* extension);

} // namespace DsnLink
