// Flows that write Specctra text from a board: the route file and the session
// file.
#pragma once

#include "sdk/HostClient.h"

#include <cstdint>
#include <string>

namespace DsnLink {

// Writes the routing of `board` to `rtePath` / `sesPath`; answers the result
// of writing the text. Without a board nothing is written. A file that cannot
// be saved raises std::runtime_error naming it; the previous file stays.
bool ExportRouteFile(HostSdk::IClient& client, const std::string& rtePath, intptr_t board);
bool ExportSessionFile(HostSdk::IClient& client, const std::string& sesPath, intptr_t board);

// Listing and deletion of the translation data stored in a board.
void ViewEmbeddedObjects(HostSdk::IClient& client, intptr_t board, const std::string& file);
void DeleteEmbeddedObjects(HostSdk::IClient& client, intptr_t board);

} // namespace DsnLink
