#include "plugin/HostAccess.h"

#include "board/PCBProcs.h"
#include "board/Pcbclass.h"
#include "geometry/SpecctraShapes.h"
#include "persistence/ReportManager.h"
#include "sdk/Parameters.h"
#include "specctra/HostHooks.h"

namespace DsnLink {
namespace {

HostSdk::IClient* g_client = nullptr;

// The reader's Escape key and its "Confirm Abort" question, answered by the host.
class TClientEscapeKey : public IEscapeKeyHost {
public:
    bool EscapePressed() override { return g_client != nullptr && g_client->EscapePressed(); }
    bool AskYesNo(const std::string& question) override {
        return g_client != nullptr && g_client->AskYesNo(question);
    }
    void ShowMessage(const std::string& text) override {
        if (g_client != nullptr)
            g_client->ShowMessage(text);
    }
};

// A finished report is opened as a host document.
class TClientReportViewer : public IReportViewer {
public:
    void ViewReport(const std::string& path) override {
        if (g_client != nullptr)
            g_client->OpenReport(path);
    }
};

// Keep-out regions through the host's PCB server object factory.
class TClientRegionFactory : public IKeepoutRegionFactory {
public:
    intptr_t CreateKeepoutRegion(intptr_t board, TV6_Layer layer, bool keepout,
                                 const std::vector<TVertex>& boardContour) override {
        HostSdk::IPCB_ServerInterface* server =
            g_client != nullptr ? FindPCBServer(*g_client) : nullptr;
        if (server == nullptr)
            return 0;
        std::vector<HostSdk::TRegionPoint> contour;
        contour.reserve(boardContour.size());
        for (const TVertex& v : boardContour)
            contour.push_back({static_cast<int32_t>(v.X), static_cast<int32_t>(v.Y)});
        return server->CreateRegion(board, HostSdk::TRegionKind::eRegion_Copper, layer, keepout,
                                    contour);
    }
};

TClientEscapeKey g_escapeKey;
TClientReportViewer g_reportViewer;
TClientRegionFactory g_regionFactory;

} // namespace

HostSdk::IClient* CurrentClient() {
    return g_client;
}
void SetCurrentClient(HostSdk::IClient* client) {
    g_client = client;
}
THostServices ClientServices() {
    return g_client != nullptr ? THostServices{&g_escapeKey, &g_reportViewer, &g_regionFactory}
                               : THostServices{};
}

HostSdk::IPCB_ServerInterface* FindPCBServer(HostSdk::IClient& client) {
    HostSdk::IHostServer* server = client.FindServer("PCB");
    return server == nullptr ? nullptr : server->PCBServer();
}

bool BindEngine() {
    return PCBProcs::BindEngine();
}

intptr_t CurrentBoardHandle() {
    return PCBProcs::PcbApi_GetCurrentBoardHandle();
}

intptr_t BoardHandleFromFileName(const std::string& fileName) {
    if (fileName.empty())
        return 0;
    return PCBProcs::PcbApi_GetBoardHandleFromFileName(fileName.c_str());
}

std::string BoardFileName(intptr_t board) {
    if (board == 0)
        return {};
    // The file name comes with the board record; the grid settings read with
    // it may fail without losing it.
    TPcbBoard pcb(board);
    pcb.QueryDatabase(1);
    return pcb.GetState_FileName();
}

bool RunFileDialog(HostSdk::IClient& client, const char* dialog, std::string& path) {
    std::string buffer = std::string(dialog) + path;
    client.RunProcess("Client:RunCommonDialog", buffer, kDialogBufferCapacity, nullptr);
    if (buffer.size() > kDialogBufferCapacity)
        buffer.resize(kDialogBufferCapacity);
    std::string result;
    if (!HostSdk::GetState_Parameter(buffer, "Result", result) || result != "True")
        return false;
    std::string answer;
    if (HostSdk::GetState_Parameter(buffer, "Path", answer))
        path = answer;
    return true;
}

std::string CheckPcbServerAndBoardFileName(HostSdk::IClient& client) {
    if (FindPCBServer(client) == nullptr) {
        client.ShowMessage(kPcbServerMissingMessage);
        return {};
    }
    BindEngine();
    intptr_t board = CurrentBoardHandle();
    return board == 0 ? std::string() : BoardFileName(board);
}

HostSdk::IPCB_ServerInterface* EnsurePcbServer(HostSdk::IClient& client) {
    HostSdk::IPCB_ServerInterface* server = FindPCBServer(client);
    if (server == nullptr) {
        client.StartServer("PCB");
        BindEngine();
        server = FindPCBServer(client);
    }
    if (server == nullptr)
        client.ShowMessage(kPcbServerNotRunningMessage);
    return server;
}

} // namespace DsnLink

TCommandFlags& CommandFlags() {
    static TCommandFlags flags;
    return flags;
}
