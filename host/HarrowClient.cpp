#include "host/HarrowClient.h"

#include "host/HomeFiles.h"

#include "boardapi/PcbApiTable.h"
#include "host/Outcome.h"
#include "router/DesignBoundary.h"
#include "router/Router.h"

#include "sdk/FileNames.h"
#include "sdk/Parameters.h"

#include <algorithm>
#include <stdexcept>
#include <sys/stat.h>

namespace Harrow {
namespace {

constexpr int32_t kErrorCapacity = 512;

bool IsBoardKind(const std::string& kind) {
    return HostSdk::SameTextAscii(kind, "PCB") || HostSdk::SameTextAscii(kind, "RAVEL");
}

} // namespace

// ---- board documents ----

BoardDocument::BoardDocument(HarrowClient& host, CorvaneBoard board, std::string kind)
    : host_(host), board_(board), kind_(std::move(kind)) {}

std::string BoardDocument::FileName() const {
    return pendingName_.empty() ? host_.Engine().BoardFileName(board_) : pendingName_;
}

void BoardDocument::SetFileName(const std::string& fileName) {
    std::string whole = HostSdk::ExpandFileName(fileName);
    pendingName_ = whole == host_.Engine().BoardFileName(board_) ? std::string() : whole;
}

bool BoardDocument::Modified() const {
    return !closed_ && (host_.Engine().IsBoardModified(board_) != 0 || !pendingName_.empty());
}

void BoardDocument::SetModified(bool modified) {
    if (!closed_)
        host_.Engine().SetBoardModified(board_, modified ? 1 : 0);
}

HostSdk::IServerDocumentView* BoardDocument::View(const std::string& name) {
    return HostSdk::SameTextAscii(name, "PcbEditor") && !closed_ ? this : nullptr;
}

void BoardDocument::SetFeatureEnabled(const std::string& feature, bool enabled) {
    auto it = features_.find(feature);
    if (it == features_.end())
        throw std::runtime_error("unknown board feature " + feature);
    it->second = enabled;
}

bool BoardDocument::IsFeatureEnabled(const std::string& feature) const {
    auto it = features_.find(feature);
    return it != features_.end() && it->second;
}

void BoardDocument::SendMessage(int32_t message, intptr_t object) {
    // Harrow has no views or polygon pour to refresh: the messages need no
    // work here.
    (void)message;
    (void)object;
}

void BoardDocument::Save() {
    if (closed_)
        throw std::runtime_error("document is closed");
    const std::string target = FileName();
    if (IsProtected(target) && !host_.Force())
        throw HostError(ShownPath(target) +
                        " is read-only; it is not replaced (--force replaces it)");
    // The engine saves through a new file: a replaced document keeps the mode
    // the user gave it.
    const FileState before = FileState::Of(target);
    char error[kErrorCapacity] = {};
    const char* name = pendingName_.empty() ? nullptr : pendingName_.c_str();
    if (host_.Engine().SaveBoard(board_, name, error, kErrorCapacity) == 0)
        throw HostError(error[0] != '\0' ? std::string(error) : "cannot save " + ShownPath(target));
    pendingName_.clear();
    if (before.exists && (FileState::Of(target).mode & 07777) != (before.mode & 07777))
        ::chmod(target.c_str(), before.mode & 07777);
    host_.NoteSaved(target);
}

// ---- the client ----

HarrowClient::HarrowClient(EngineLibrary& engine, Console& console)
    : engine_(engine), console_(console) {}

HarrowClient::~HarrowClient() {
    for (auto& document : documents_)
        if (!document->Closed() && !leaveBoardsOpen_)
            engine_.CloseBoard(document->BoardHandle());
    engine_.SetCurrentBoard(0);
}

BoardDocument* HarrowClient::Adopt(CorvaneBoard board, const std::string& kind) {
    for (auto& document : documents_)
        if (!document->Closed() && document->BoardHandle() == board)
            return document.get();
    documents_.push_back(std::make_unique<BoardDocument>(*this, board, kind));
    return documents_.back().get();
}

void HarrowClient::Focus(BoardDocument* document) {
    focused_ = document;
    engine_.SetCurrentBoard(document == nullptr ? 0 : document->BoardHandle());
}

BoardDocument& HarrowClient::OpenBoardDocument(const std::string& path) {
    char error[kErrorCapacity] = {};
    std::string whole = HostSdk::ExpandFileName(path);
    CorvaneBoard board = engine_.OpenBoard(whole.c_str(), error, kErrorCapacity);
    if (board == 0)
        throw std::runtime_error("cannot open board " + path + ": " +
                                 (error[0] != '\0' ? error : "not a board document"));
    BoardDocument* document = Adopt(board, "PCB");
    Focus(document);
    return *document;
}

BoardDocument* HarrowClient::FindBoardDocument(const std::string& path) {
    if (path.empty())
        return nullptr;
    std::string whole = HostSdk::ExpandFileName(path);
    for (auto& document : documents_)
        if (!document->Closed() && document->FileName() == whole)
            return document.get();
    return nullptr;
}

int HarrowClient::SaveModifiedDocuments() {
    int saved = 0;
    for (auto& document : documents_) {
        if (document->Closed() || !document->Modified())
            continue;
        document->Save();
        ++saved;
    }
    return saved;
}

void HarrowClient::RunProcess(const std::string& process, std::string& buffer, std::size_t capacity,
                              HostSdk::IServerDocumentView* view) {
    if (process == "Client:RunCommonDialog") {
        std::string prompt;
        std::string path;
        HostSdk::GetState_Parameter(buffer, "Prompt", prompt);
        HostSdk::GetState_Parameter(buffer, "Path", path);
        buffer = console_.RunFileDialog(prompt, path);
        if (buffer.size() > capacity)
            buffer.resize(capacity);
    } else if (process == "WorkspaceManager:SaveObject") {
        SaveObject(buffer);
    } else if (process == "PCB:Zoom") {
        (void)view; // no view to zoom
    } else if (process == "Client:QuitFromEDAClient") {
        quitRequested_ = true;
        console_.Note("quit requested; harrow ends after this command");
    } else if (process == "PCB:Netlist") {
        RunNetlist(buffer, view);
    } else if (process == "PCB:Autoroute") {
        RunAutoroute(buffer, view);
    } else {
        throw std::runtime_error("unknown host process " + process);
    }
}

void HarrowClient::RunNetlist(const std::string& request, HostSdk::IServerDocumentView* view) {
    std::string action;
    HostSdk::GetState_Parameter(request, "Action", action);
    auto* document = view ? dynamic_cast<BoardDocument*>(view->OwnerDocument()) : nullptr;
    if (!HostSdk::SameTextAscii(action, "UpdateFreePrimitiveNets") || document == nullptr) {
        console_.Note("PCB:Netlist: nothing to do for (" + request + ")");
        return;
    }
    const int32_t updated = engine_.UpdateFreePrimitiveNets(document->BoardHandle());
    std::string mode;
    HostSdk::GetState_Parameter(request, "Mode", mode);
    if (!HostSdk::SameTextAscii(mode, "Silent"))
        console_.Note("PCB:Netlist: " + std::to_string(updated) +
                      " free primitives took the net of the pads they touch");
}

void HarrowClient::RunAutoroute(const std::string& request, HostSdk::IServerDocumentView* view) {
    std::string action;
    HostSdk::GetState_Parameter(request, "Action", action);
    auto* document = view ? dynamic_cast<BoardDocument*>(view->OwnerDocument()) : focused_;
    if ((!action.empty() && !HostSdk::SameTextAscii(action, "Start")) || document == nullptr) {
        console_.Note("PCB:Autoroute: nothing to do for (" + request + ")");
        return;
    }
    const PcbApiTable api = BindPcbApi([this](const char* name) { return engine_.Symbol(name); });
    // The design's boundary, from harrow's one reading of the design; the
    // plug-in's own commands hand over only the file's name.
    std::optional<HomeDesign> readHere;
    HomeDesign* design = homeDesign_;
    if (design == nullptr && !designFile_.empty()) {
        try {
            design = &readHere.emplace(designFile_, true);
        } catch (const std::exception&) {
            design = nullptr;
        }
    }
    if (design != nullptr)
        design->GiveBoardEdge(api, document->BoardHandle());
    Router::RouteBoard board = Router::ReadRouteBoard(api, document->BoardHandle());
    const std::string area = Router::SetWorkingArea(
        board, design == nullptr ? std::vector<Router::Pt>{}
                                 : Router::DesignBoundary(design->Digest(), board.origin));
    Router::RouteOptions options = Router::OptionsFor(routeEffort_);
    options.report = [this](const Router::RouteProgress& now) {
        console_.Note("PCB:Autoroute: " + now.stage + ": " + std::to_string(now.routed) +
                      " connections routed, " + std::to_string(now.open) + " open, " +
                      std::to_string(now.vias) + " vias");
    };
    options.cancelled = [this] { return console_.TakeInterrupt(); };
    int steps = 0;
    options.progress = [this, &steps](int done, int total) {
        if (steps == 0) {
            steps = total;
            console_.ProgressInit("Routing", total);
        }
        console_.ProgressUpdate();
        (void)done;
    };
    const Router::RouteResult result = Router::Route(board, options);
    if (steps != 0)
        console_.ProgressFinish();
    Router::WriteRoutes(api, document->BoardHandle(), board, result.tracks, result.vias);
    if (design != nullptr)
        design->RecordRouterVias(board, result.vias);
    autorouteOpen_ = result.open;
    console_.Note("PCB:Autoroute: " + area);
    for (const std::string& line : board.notes)
        console_.Note("PCB:Autoroute: " + line);
    for (const std::string& line : result.lines)
        console_.Note("PCB:Autoroute: " + line);
    if (!result.openByReason.empty()) {
        std::string counts;
        for (const auto& [reason, count] : result.openByReason)
            counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " " + reason;
        console_.Note("PCB:Autoroute: open connections by reason: " + counts);
    }
    console_.Note(
        "PCB:Autoroute (" + request + "): " + std::to_string(result.connections - result.open) +
        " of " + std::to_string(result.connections) + " connections routed, " +
        std::to_string(result.tracks.size()) + " tracks, " + std::to_string(result.vias.size()) +
        " vias" + (result.cancelled ? " (interrupted)" : ""));
}

void HarrowClient::SaveObject(const std::string& request) {
    std::string kind;
    std::string fileName;
    HostSdk::GetState_Parameter(request, "ObjectKind", kind);
    HostSdk::GetState_Parameter(request, "FileName", fileName);
    if (HostSdk::SameTextAscii(kind, "Project")) {
        Project* project = focusedProject_;
        if (!fileName.empty()) {
            std::string whole = HostSdk::ExpandFileName(fileName);
            for (auto& candidate : projects_)
                if (candidate->FileName() == whole)
                    project = candidate.get();
        }
        if (project == nullptr)
            throw std::runtime_error("no project to save");
        project->Save();
        NoteSaved(project->FileName());
        return;
    }
    BoardDocument* document = fileName.empty() ? focused_ : FindBoardDocument(fileName);
    if (document == nullptr)
        throw std::runtime_error("no document to save" +
                                 (fileName.empty() ? std::string() : " named " + fileName));
    document->Save();
}

void HarrowClient::NoteSaved(const std::string& path) {
    if (std::find(saved_.begin(), saved_.end(), path) == saved_.end())
        saved_.push_back(path);
}

bool HarrowClient::AnyModified() const {
    for (const auto& document : documents_)
        if (document->Modified())
            return true;
    return false;
}

HostSdk::IHostServer* HarrowClient::FindServer(const std::string& name) {
    return HostSdk::SameTextAscii(name, "PCB") && pcbServerRunning_ ? this : nullptr;
}

bool HarrowClient::StartServer(const std::string& name) {
    return FindServer(name) != nullptr;
}

HostSdk::IServerDocument* HarrowClient::OpenDocument(const std::string& path) {
    if (BoardDocument* open = FindBoardDocument(path))
        return open;
    char error[kErrorCapacity] = {};
    std::string whole = HostSdk::ExpandFileName(path);
    CorvaneBoard board = engine_.OpenBoard(whole.c_str(), error, kErrorCapacity);
    return board == 0 ? nullptr : Adopt(board, "PCB");
}

HostSdk::IServerDocument* HarrowClient::CreateDocument(const std::string& kind,
                                                       const std::string& fileName) {
    if (!IsBoardKind(kind))
        throw std::runtime_error("harrow cannot create documents of kind " + kind);
    char error[kErrorCapacity] = {};
    std::string whole = HostSdk::ExpandFileName(fileName);
    CorvaneBoard board = engine_.NewBoard(whole.c_str(), error, kErrorCapacity);
    if (board == 0)
        throw std::runtime_error("cannot create board " + fileName + ": " + error);
    return Adopt(board, kind);
}

HostSdk::IServerDocument* HarrowClient::FindDocument(const std::string& path) {
    return FindBoardDocument(path);
}

void HarrowClient::ShowDocument(HostSdk::IServerDocument* document) {
    for (auto& candidate : documents_)
        if (candidate.get() == document && !candidate->Closed())
            Focus(candidate.get());
}

void HarrowClient::CloseDocument(HostSdk::IServerDocument* document) {
    for (auto& candidate : documents_) {
        if (candidate.get() != document || candidate->Closed())
            continue;
        if (focused_ == candidate.get())
            Focus(nullptr);
        engine_.CloseBoard(candidate->BoardHandle());
        candidate->MarkClosed();
    }
}

std::string HarrowClient::DefaultExtension(const std::string& kind) const {
    return IsBoardKind(kind) ? "pcbdoc" : std::string();
}

HostSdk::IProject* HarrowClient::OpenProject(const std::string& path) {
    std::string whole = HostSdk::ExpandFileName(path);
    for (auto& project : projects_)
        if (project->FileName() == whole) {
            focusedProject_ = project.get();
            return project.get();
        }
    std::vector<std::string> documents;
    try {
        documents = Project::ReadDocuments(whole);
    } catch (const std::exception& error) {
        console_.Note(error.what());
        return nullptr;
    }
    projects_.push_back(std::make_unique<Project>(whole, std::move(documents)));
    focusedProject_ = projects_.back().get();
    return focusedProject_;
}

void HarrowClient::SaveFile(const std::string& path, const std::string& bytes) {
    WriteFileReplacing(path, bytes);
}

void HarrowClient::OpenReport(const std::string& path) {
    // The verb's summary line names the report with its counts.
    std::string whole = WholePath(path);
    if (std::find(reports_.begin(), reports_.end(), whole) == reports_.end())
        reports_.push_back(whole);
}

HostSdk::IPCB_Board* HarrowClient::GetPCBBoardByBoardHandle(intptr_t board) {
    if (board == 0)
        return nullptr;
    for (auto& document : documents_)
        if (!document->Closed() && document->BoardHandle() == board)
            return document.get();
    return nullptr;
}

HostSdk::IPCB_Board* HarrowClient::GetPCBBoardByPath(const std::string& path) {
    return FindBoardDocument(path);
}

void HarrowClient::PostProcess() {
    if (batchDepth_ > 0)
        --batchDepth_;
}

intptr_t HarrowClient::CreateRegion(intptr_t board, HostSdk::TRegionKind kind, int32_t layer,
                                    bool keepout,
                                    const std::vector<HostSdk::TRegionPoint>& contour) {
    // Regions are made by the plug-in through the engine's own entry points;
    // harrow's factory makes none.
    (void)board;
    (void)kind;
    (void)layer;
    (void)keepout;
    (void)contour;
    return 0;
}

} // namespace Harrow
