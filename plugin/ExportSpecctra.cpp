#include "plugin/ExportSpecctra.h"

#include "design/SpecctraRoutes.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "plugin/HostAccess.h"
#include "specctra/SpecctraWriter.h"

#include <memory>

namespace DsnLink {
namespace {

// Board to model, model to text, text to the file. The file is saved before
// the root is freed (which writes the report), so that a file that cannot be
// saved ends the command with its name and leaves no report behind.
template <class TRoot> bool ExportRoutes(const std::string& path, intptr_t board) {
    if (board == 0 || path.empty())
        return false;
    BindEngine();
    ResetTranslationState();
    CommandFlags().ImportDirection = false;
    CommandFlags().FileKind = 3;
    TSpecctraWriter writer(path);
    auto root = std::make_unique<TRoot>(path, nullptr, &writer, board);
    root->SetServices(ClientServices());
    root->SetReportEnabled(CommandFlags().ReportEnabled);
    root->ImportFromPcb();
    const bool result = root->ExportToFile();
    writer.Flush();
    root.reset();
    return result;
}

} // namespace

bool ExportRouteFile(HostSdk::IClient& client, const std::string& rtePath, intptr_t board) {
    (void)client;
    return ExportRoutes<TSpecctraRoutes>(rtePath, board);
}

bool ExportSessionFile(HostSdk::IClient& client, const std::string& sesPath, intptr_t board) {
    (void)client;
    return ExportRoutes<TSpecctraSessionFile>(sesPath, board);
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
