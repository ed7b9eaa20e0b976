// Harrow's implementation of the host client: board documents over the
// Corvane engine, projects, the PCB server, named processes and the console.
#pragma once

#include "host/Console.h"
#include "host/EngineLibrary.h"
#include "host/Project.h"
#include "router/Router.h"
#include "sdk/HostClient.h"
#include "sdk/PcbServer.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Harrow {

class HomeDesign;

class HarrowClient;

class BoardDocument : public HostSdk::IServerDocument,
                      public HostSdk::IServerDocumentView,
                      public HostSdk::IPCB_Board {
public:
    BoardDocument(HarrowClient& host, CorvaneBoard board, std::string kind);

    // IServerDocument
    std::string FileName() const override;
    void SetFileName(const std::string& fileName) override;
    std::string Kind() const override { return kind_; }
    bool Modified() const override;
    void SetModified(bool modified) override;
    void Update() override {}
    HostSdk::IServerDocumentView* View(const std::string& name) override;
    // IServerDocumentView
    std::string ViewName() const override { return "PcbEditor"; }
    HostSdk::IServerDocument* OwnerDocument() override { return this; }
    // IPCB_Board
    intptr_t BoardHandle() const override { return board_; }
    void SetFeatureEnabled(const std::string& feature, bool enabled) override;
    bool IsFeatureEnabled(const std::string& feature) const override;
    void SendMessage(int32_t message, intptr_t object) override;
    void RefreshView() override {}

    bool Closed() const { return closed_; }
    void MarkClosed() { closed_ = true; }
    // Saves to the document's file name (or the name given by SetFileName).
    void Save();

private:
    HarrowClient& host_;
    CorvaneBoard board_;
    std::string kind_;
    std::string pendingName_;
    bool closed_ = false;
    std::map<std::string, bool> features_{{"Polygon", true}, {"DRC", true}};
};

class HarrowClient : public HostSdk::IClient,
                     public HostSdk::IHostServer,
                     public HostSdk::IPCB_ServerInterface {
public:
    HarrowClient(EngineLibrary& engine, Console& console);
    ~HarrowClient() override;

    // Host switches.
    void SetPcbServerRunning(bool running) { pcbServerRunning_ = running; }
    bool QuitRequested() const { return quitRequested_; }
    // Replace read-only board documents when saving (they keep their mode).
    void SetForce(bool force) { force_ = force; }
    // Leaves the boards open when the client goes (the process ends next).
    void SetLeaveBoardsOpen(bool leave) { leaveBoardsOpen_ = leave; }
    bool Force() const { return force_; }

    // What the commands did so far: reports shown and documents saved (whole
    // paths, in order, each once).
    const std::vector<std::string>& ReportsShown() const { return reports_; }
    const std::vector<std::string>& DocumentsSaved() const { return saved_; }
    void NoteSaved(const std::string& path);
    // Connections the last "PCB:Autoroute" left open (0 when it routed all or
    // did not run).
    int AutorouteOpen() const { return autorouteOpen_; }
    // The design file of the command being run (its "DsnFile" parameter),
    // whose boundary "PCB:Autoroute" routes inside; empty when none.
    void SetDesignFile(const std::string& path) { designFile_ = path; }
    // The design as harrow's verb read it: its boundary (read once, not
    // again for the router), the outline it gives the board before routing
    // and the padstacks of the router's vias. Null for the plug-in's own
    // commands, which route inside the design file's boundary.
    void SetHomeDesign(HomeDesign* design) { homeDesign_ = design; }
    // How long the router goes on improving a routing.
    void SetRouteEffort(Router::Effort effort) { routeEffort_ = effort; }
    // The current board document, or null.
    BoardDocument* CurrentDocument() { return focused_; }
    // True when any open document has unsaved changes.
    bool AnyModified() const;

    // Opens a board document; raises with a one-line reason. The document
    // becomes the current one.
    BoardDocument& OpenBoardDocument(const std::string& path);
    // Saves every open, modified document; answers how many were saved.
    int SaveModifiedDocuments();
    Console& GetConsole() { return console_; }
    EngineLibrary& Engine() { return engine_; }
    void Focus(BoardDocument* document);

    // IClient
    void RunProcess(const std::string& process, std::string& buffer, std::size_t capacity,
                    HostSdk::IServerDocumentView* view) override;
    void ShowMessage(const std::string& text) override { console_.Message(text); }
    bool AskYesNo(const std::string& text) override { return console_.AskYesNo(text); }
    HostSdk::IHostServer* FindServer(const std::string& name) override;
    bool StartServer(const std::string& name) override;
    HostSdk::IServerDocument* OpenDocument(const std::string& path) override;
    HostSdk::IServerDocument* CreateDocument(const std::string& kind,
                                             const std::string& fileName) override;
    HostSdk::IServerDocument* FindDocument(const std::string& path) override;
    void ShowDocument(HostSdk::IServerDocument* document) override;
    void CloseDocument(HostSdk::IServerDocument* document) override;
    std::string DefaultExtension(const std::string& kind) const override;
    HostSdk::IServerDocumentView* CurrentView() override { return focused_; }
    HostSdk::IProject* OpenProject(const std::string& path) override;
    void SaveFile(const std::string& path, const std::string& bytes) override;
    void OpenReport(const std::string& path) override;
    bool EscapePressed() override { return console_.TakeEscape(); }

    // IHostServer
    std::string ServerName() const override { return "PCB"; }
    HostSdk::IPCB_ServerInterface* PCBServer() override { return this; }

    // IPCB_ServerInterface
    HostSdk::IPCB_Board* GetPCBBoardByBoardHandle(intptr_t board) override;
    HostSdk::IPCB_Board* GetPCBBoardByPath(const std::string& path) override;
    HostSdk::IPCB_Board* GetCurrentPCBBoard() override { return focused_; }
    void PreProcess() override { ++batchDepth_; }
    void PostProcess() override;
    intptr_t CreateRegion(intptr_t board, HostSdk::TRegionKind kind, int32_t layer, bool keepout,
                          const std::vector<HostSdk::TRegionPoint>& contour) override;

private:
    BoardDocument* FindBoardDocument(const std::string& path);
    BoardDocument* Adopt(CorvaneBoard board, const std::string& kind);
    void SaveObject(const std::string& request);
    // "PCB:Netlist" with "Action" = "UpdateFreePrimitiveNets" on the view's board.
    void RunNetlist(const std::string& request, HostSdk::IServerDocumentView* view);
    void RunAutoroute(const std::string& request, HostSdk::IServerDocumentView* view);

    EngineLibrary& engine_;
    Console& console_;
    std::vector<std::unique_ptr<BoardDocument>> documents_; // closed ones stay, marked
    std::vector<std::unique_ptr<Project>> projects_;
    BoardDocument* focused_ = nullptr;
    Project* focusedProject_ = nullptr;
    bool pcbServerRunning_ = true;
    bool quitRequested_ = false;
    bool force_ = false;
    bool leaveBoardsOpen_ = false;
    int batchDepth_ = 0;
    std::vector<std::string> reports_;
    std::vector<std::string> saved_;
    int autorouteOpen_ = 0;
    Router::Effort routeEffort_ = Router::Effort::Normal;
    std::string designFile_;
    HomeDesign* homeDesign_ = nullptr;
};

} // namespace Harrow
