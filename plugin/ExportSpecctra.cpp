#include "plugin/ExportSpecctra.h"

#include "persistence/EmbeddedStorageWrapper.h"
#include "plugin/HostAccess.h"
#include "specctra/SpecctraWriter.h"

namespace DsnLink {
namespace {

bool ExportRoutes(HostSdk::IClient& client, const std::string& path, intptr_t board) {
    if (board == 0 || path.empty())
        return false;
    CommandFlags().ImportDirection = false;
    CommandFlags().FileKind = 3;
    client.ShowMessage(kRouteExportMissingMessage + path);
    return false;
}

} // namespace

bool ExportRouteFile(HostSdk::IClient& client, const std::string& rtePath, intptr_t board) {
    return ExportRoutes(client, rtePath, board);
}

bool ExportSessionFile(HostSdk::IClient& client, const std::string& sesPath, intptr_t board) {
    return ExportRoutes(client, sesPath, board);
}

void ViewEmbeddedObjects(HostSdk::IClient& client, intptr_t board, const std::string& file) {
    if (file.empty()) {
        for (const std::string& text : DescribeEmbeddedObjects(board))
            client.ShowMessage(text);
        return;
    }
    TSpecctraWriter writer(file);
    WriteEmbeddedListing(board, writer);
}

void DeleteEmbeddedObjects(HostSdk::IClient& client, intptr_t board) {
    (void)client;
    ::DeleteEmbeddedObjects(board);
}

} // namespace DsnLink
