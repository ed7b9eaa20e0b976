#include "plugin/ImportSpecctra.h"

#include "board/PCBProcs.h"
#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "plugin/HostAccess.h"
#include "sdk/FileNames.h"
#include "sdk/Parameters.h"
#include "specctra/SpecctraClasses1.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>

namespace DsnLink {
namespace {

// Reads the design and, when it is a design file, writes it to the board.
// Freeing the design writes its report (when reports are enabled); a range
// error in a resolution block ends the command and leaves no report.
bool TranslateDesign(const std::string& dsnPath, intptr_t board) {
    TSpecctraParser parser(dsnPath);
    parser.RegisterKeywords();
    TSpecctraDesign design(dsnPath, &parser, nullptr, board);
    design.SetServices(ClientServices());
    design.SetReportEnabled(CommandFlags().ReportEnabled);
    if (!design.ImportFromFile())
        return false;
    parser.ReleaseInput(); // the board is written from the design alone
    return design.ExportToPCB();
}

} // namespace

void RefreshBoardView(HostSdk::IClient& client) {
    std::string parameters = "Action=Document";
    client.RunProcess("PCB:Zoom", parameters, 255, nullptr);
}

bool IsDesignFile(const std::string& path) {
    if (!HostSdk::FileExists(path))
        return false;
    std::string ext = HostSdk::ExtractFileExt(path);
    if (!HostSdk::SameTextAscii(ext, ".DSN") && !HostSdk::SameTextAscii(ext, ".RTE"))
        return false;
    TSpecctraParser parser(path);
    parser.SetEscapeKey(ClientServices().EscapeKey);
    parser.RegisterKeywords();
    return parser.IsValidDSNFile();
}

bool ImportDesignIntoBoard(HostSdk::IClient& client, const std::string& dsnPath, intptr_t board) {
    BindEngine();
    ResetTranslationState();
    CommandFlags().ImportDirection = true;
    CommandFlags().FileKind = 0;
    HostSdk::IPCB_ServerInterface* server = FindPCBServer(client);
    HostSdk::IPCB_Board* pcb =
        server == nullptr ? nullptr : server->GetPCBBoardByBoardHandle(board);
    if (pcb == nullptr)
        return false;
    pcb->SendMessage(HostSdk::kBoardMessage_BeginImport, 0);
    server->PreProcess();
    pcb->SetFeatureEnabled("Polygon", false);
    pcb->SetFeatureEnabled("DRC", false);
    bool result = false;
    try {
        result = TranslateDesign(dsnPath, board);
    } catch (...) {
        pcb->SetFeatureEnabled("Polygon", true);
        pcb->SetFeatureEnabled("DRC", true);
        server->PostProcess();
        throw;
    }
    pcb->SetFeatureEnabled("Polygon", true);
    pcb->SetFeatureEnabled("DRC", true);
    for (intptr_t polygon : TranslationState().CreatedPolygons)
        pcb->SendMessage(HostSdk::kBoardMessage_PolygonCreated, polygon);
    server->PostProcess();
    RefreshBoardView(client);
    return result;
}

bool ImportDesignForNewProject(HostSdk::IClient& client, const std::string& dsnPath,
                               intptr_t board) {
    (void)client;
    ResetTranslationState();
    CommandFlags().ImportDirection = true;
    CommandFlags().FileKind = 0;
    CommandFlags().ReportEnabled = true;
    return TranslateDesign(dsnPath, board);
}

std::string NewProjectFolder(const std::string& dsnPath) {
    std::string whole = HostSdk::ExpandFileName(dsnPath);
    std::string folder = HostSdk::ExtractFilePath(whole);
    std::string name = HostSdk::ExtractFileName(whole);
    std::string candidate = folder + "Imported " + name;
    for (int counter = 1; HostSdk::DirectoryExists(candidate) || HostSdk::FileExists(candidate);
         ++counter)
        candidate = folder + "Imported (" + std::to_string(counter) + ") " + name;
    return candidate;
}

void SaveDocument(HostSdk::IClient& client, HostSdk::IServerDocument& document,
                  const std::string& fileFormat) {
    document.SetModified(true);
    client.ShowDocument(&document);
    document.Update();
    HostSdk::TParameterBuffer buffer(1024);
    buffer.Add("SaveMode", "Standard");
    buffer.Add("ObjectKind", "Document");
    buffer.Add("FileFormat", fileFormat);
    buffer.Add("FileName", document.FileName());
    std::string text = buffer.Text();
    client.RunProcess("WorkspaceManager:SaveObject", text, buffer.Capacity(), nullptr);
}

void SaveProject(HostSdk::IClient& client, HostSdk::IProject& project) {
    project.SetModified(true);
    HostSdk::TParameterBuffer buffer(1024);
    buffer.Add("SaveMode", "Standard");
    buffer.Add("ObjectKind", "Project");
    buffer.Add("FileFormat", "");
    buffer.Add("FileName", project.FileName());
    std::string text = buffer.Text();
    client.RunProcess("WorkspaceManager:SaveObject", text, buffer.Capacity(), nullptr);
}

void ImportIntoNewProject(HostSdk::IClient& client, const std::string& dsnPath) {
    std::string folder = NewProjectFolder(dsnPath);
    if (::mkdir(folder.c_str(), 0777) != 0)
        throw std::runtime_error("Cannot create folder " + folder);
    std::string designName = HostSdk::ExtractFileName(dsnPath);
    std::string projectPath = folder + "/" + HostSdk::ChangeFileExt(designName, "PrjPcb");
    if (!HostSdk::FileExists(projectPath))
        client.SaveFile(projectPath, "");
    HostSdk::IProject* project = client.OpenProject(projectPath);

    std::string boardPath =
        folder + "/" + HostSdk::ChangeFileExt(designName, client.DefaultExtension("PCB"));
    if (HostSdk::IServerDocument* open = client.FindDocument(boardPath))
        client.CloseDocument(open);
    HostSdk::IServerDocument* document = client.CreateDocument("PCB", boardPath);
    if (document == nullptr)
        throw std::runtime_error("Cannot create board document " + boardPath);
    client.ShowDocument(document);
    document->SetFileName(boardPath);
    SaveDocument(client, *document, "PCB Binary Files");
    if (project != nullptr)
        project->AddDocument(boardPath);

    HostSdk::IPCB_ServerInterface* server = FindPCBServer(client);
    HostSdk::IPCB_Board* pcb = server == nullptr ? nullptr : server->GetPCBBoardByPath(boardPath);
    intptr_t board = pcb == nullptr ? 0 : pcb->BoardHandle();

    client.ShowDocument(document);
    document->Update();
    if (server != nullptr)
        server->PreProcess();
    ImportDesignForNewProject(client, dsnPath, board);
    client.ShowDocument(document);
    document->Update();
    if (server != nullptr)
        server->PostProcess();
    SaveDocument(client, *document, "PCB Binary Files");
    client.CloseDocument(document);

    if (project != nullptr) {
        SaveProject(client, *project);
        for (const std::string& path : project->DocumentPaths()) {
            HostSdk::IServerDocument* member = client.OpenDocument(path);
            if (member == nullptr)
                continue;
            client.ShowDocument(member);
            if (server != nullptr)
                if (HostSdk::IPCB_Board* memberBoard = server->GetPCBBoardByPath(path))
                    memberBoard->RefreshView();
        }
    }
}

void DumpDsnTokens(HostSdk::IClient& client, const std::string& dsnPath) {
    (void)client;
    const THostServices services = ClientServices();
    TSpecctraParser parser(dsnPath);
    parser.SetEscapeKey(services.EscapeKey);
    TReportManager report(dsnPath);
    report.SetViewer(services.ReportViewer);
    report.Start();
    parser.SetReportManager(&report);
    {
        TSpecctraWriter writer(HostSdk::ChangeFileExt(HostSdk::ExpandFileName(dsnPath), "prs"));
        parser.RegisterKeywords();
        while (!parser.EndOfFile() && !parser.Aborted()) {
            parser.NextToken();
            // Past the last token the scanner answers an empty word: not a token.
            if (parser.EndOfFile() && parser.TokenString().empty())
                break;
            report.AddReportEvent(parser.TokenString());
            writer.Writeln(parser.TokenString(), false);
        }
        report.Stop();
        parser.SetReportManager(nullptr);
        report.OutputReportFile();
        writer.Flush();
    }
}

} // namespace DsnLink
