// Flows that write Specctra text from a board: the route file and the session
// file.
#pragma once

#include "host/sdk/HostClient.h"

#include <cstdint>
#include <string>

namespace DsnLink {

// Shown for each file a route or session export was asked to write, followed
// by the file's path: this build has no route/session writer yet.
inline constexpr const char* kRouteExportMissingMessage =
    "Specctra route and session export is not available in this build of DsnLink. "
    "Not written: ";

// Writes the routing of `board` to `rtePath` / `sesPath`; answers the writer's
// result. Without a board nothing is written.
bool ExportRouteFile(HostSdk::IClient& client, const std::string& rtePath, intptr_t board);
bool ExportSessionFile(HostSdk::IClient& client, const std::string& sesPath, intptr_t board);

// Listing and deletion of the translation data stored in a board.
void ViewEmbeddedObjects(HostSdk::IClient& client, intptr_t board, const std::string& file);
void DeleteEmbeddedObjects(HostSdk::IClient& client, intptr_t board);

} // namespace DsnLink
