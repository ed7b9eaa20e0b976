#include "plugin/Commands_Orlek.h"

#include "plugin/ExportSpecctra.h"
#include "plugin/HostAccess.h"
#include "plugin/ImportSpecctra.h"
#include "sdk/FileNames.h"
#include "sdk/Parameters.h"
#include "specctra/TranslationState.h"

#include <algorithm>

namespace DsnLink {
namespace {

bool ReadParameter(const std::string& parameters, const char* name, std::string& value) {
    value.clear();
    return HostSdk::GetState_Parameter(parameters, name, value);
}

bool ReadTrueParameter(const std::string& parameters, const char* name) {
    std::string value;
    return ReadParameter(parameters, name, value) && HostSdk::IsTrueText(value);
}

// The "PcbEditor" view of the document that holds `board`, or null.
HostSdk::IServerDocumentView* BoardEditorView(HostSdk::IClient& client, intptr_t board) {
    std::string fileName = BoardFileName(board);
    HostSdk::IServerDocument* document = fileName.empty() ? nullptr : client.FindDocument(fileName);
    return document == nullptr ? nullptr : document->View("PcbEditor");
}

void RunBoardProcess(HostSdk::IClient& client, const char* process, intptr_t board,
                     std::initializer_list<std::pair<const char*, const char*>> pairs) {
    HostSdk::TParameterBuffer buffer(255);
    for (const auto& [name, value] : pairs)
        buffer.Add(name, value);
    std::string text = buffer.Text();
    client.RunProcess(process, text, buffer.Capacity(), BoardEditorView(client, board));
}

// Route and session exports named by "RteFile" / "SesFile" relative to
// `baseFile` (the design or the board file).
void ExportNamedFiles(HostSdk::IClient& client, const std::string& parameters,
                      const std::string& baseFile, intptr_t board) {
    std::string rte;
    std::string ses;
    if (ReadParameter(parameters, "RteFile", rte))
        rte = ResolveRenameDSN(rte, baseFile, "rte");
    if (ReadParameter(parameters, "SesFile", ses))
        ses = ResolveRenameDSN(ses, baseFile, "ses");
    if (!rte.empty())
        ExportRouteFile(client, rte, board);
    if (!ses.empty())
        ExportSessionFile(client, ses, board);
}

// Commands 4 and 5: board file from "PcbFileName" or the open board; the
// export needs an open board of that file name, so without one the command
// ends before any dialog. Output from `outputParameter` or the dialog.
void ExportBoardFileCommand(HostSdk::IClient& client, const std::string& parameters,
                            const char* outputParameter, const char* extension, const char* dialog,
                            bool (*exportFile)(HostSdk::IClient&, const std::string&, intptr_t)) {
    std::string pcbFile;
    if (!ReadParameter(parameters, "PcbFileName", pcbFile))
        pcbFile = CheckPcbServerAndBoardFileName(client);
    if (pcbFile.empty())
        return;
    intptr_t board = BoardHandleFromFileName(pcbFile);
    if (board == 0)
        return;
    std::string output;
    if (!ReadParameter(parameters, outputParameter, output)) {
        output = ProposeFileName(pcbFile, extension, false);
        if (!RunFileDialog(client, dialog, output))
            return;
    }
    exportFile(client, output, board);
}

// Commands 2 and 3 work on the open board: given both their file parameter
// and "PcbFileName" they do nothing; otherwise they propose a file named after
// the board (blanks as "_") in the dialog. Answers the board file once the
// dialog is accepted, else "".
std::string BoardFileDialogCommand(HostSdk::IClient& client, const std::string& parameters,
                                   const char* fileParameter, const char* extension,
                                   const char* dialog) {
    std::string file;
    std::string pcbFile;
    const bool hasFile = ReadParameter(parameters, fileParameter, file);
    const bool hasPcb = ReadParameter(parameters, "PcbFileName", pcbFile);
    if (hasFile && hasPcb)
        return {};
    std::string boardFile = CheckPcbServerAndBoardFileName(client);
    if (boardFile.empty())
        return {};
    std::string proposed = ProposeFileName(boardFile, extension, true);
    if (!RunFileDialog(client, dialog, proposed))
        return {};
    return boardFile;
}

} // namespace

std::string ProposeFileName(const std::string& boardFileName, const char* extension,
                            bool replaceSpaces) {
    std::string name = boardFileName;
    if (replaceSpaces)
        std::replace(name.begin(), name.end(), ' ', '_');
    return HostSdk::ChangeFileExt(name, extension);
}

std::string ResolveRenameDSN(const std::string& value, const std::string& baseFile,
                             const char* extension) {
    if (HostSdk::SameTextAscii(value, "RenameDSN"))
        return HostSdk::ChangeFileExt(baseFile, extension);
    return value;
}

void Command_ImportSpecctraDesignFile(HostSdk::IClient& client, const std::string& parameters) {
    const bool autoRoute = ReadTrueParameter(parameters, "AutoRoute");
    CommandFlags().ReportEnabled = !autoRoute;

    std::string dsnFile;
    if (!ReadParameter(parameters, "DsnFile", dsnFile)) {
        if (!RunFileDialog(client, kDialog_OpenDsn, dsnFile))
            return;
    } else if (!HostSdk::FileExists(dsnFile)) {
        if (!client.AskYesNo("Specctra design file\n\r" + dsnFile + " doesn't exist.\n\r" +
                             "Do you want to locate the file yourself?"))
            return;
        if (!RunFileDialog(client, kDialog_OpenDsn, dsnFile))
            return;
    }

    std::string rteFile;
    std::string sesFile;
    if (ReadParameter(parameters, "RteFile", rteFile))
        rteFile = ResolveRenameDSN(rteFile, dsnFile, "rte");
    if (ReadParameter(parameters, "SesFile", sesFile))
        sesFile = ResolveRenameDSN(sesFile, dsnFile, "ses");

    // The do file is asked for but the host's router takes none from us.
    std::string doFile;
    if (ReadParameter(parameters, "DoFileName", doFile) && !HostSdk::FileExists(doFile)) {
        bool locate = client.AskYesNo("Specctra do file\n\r" + doFile + " doesn't exist.\n\r" +
                                      "Do you want to locate the file yourself?\r\n\r\n" +
                                      "Choosing NO will imply routing without do file.");
        if (!locate || !RunFileDialog(client, kDialog_OpenDo, doFile))
            doFile.clear();
    }
    const bool mergeImport = ReadTrueParameter(parameters, "MergeImport");

    if (EnsurePcbServer(client) == nullptr)
        return;

    intptr_t board = 0;
    HostSdk::IServerDocument* created = nullptr;
    if (mergeImport) {
        board = CurrentBoardHandle();
    } else {
        std::string boardFile = HostSdk::ChangeFileExt(dsnFile, "pcbdoc");
        created = client.CreateDocument(autoRoute ? "RAVEL" : "PCB", boardFile);
        if (created != nullptr)
            client.ShowDocument(created);
        board = BoardHandleFromFileName(boardFile);
    }

    if (!ImportDesignIntoBoard(client, dsnFile, board)) {
        // A file that holds no design leaves no board behind: the new document
        // is closed unsaved, so an older board of that name stays as it was.
        if (created != nullptr)
            client.CloseDocument(created);
        return;
    }
    if (TranslationState().NetsNeedUpdate)
        RunBoardProcess(client, "PCB:Netlist", board,
                        {{"Action", "UpdateFreePrimitiveNets"}, {"Mode", "Silent"}});
    if (autoRoute)
        RunBoardProcess(client, "PCB:Autoroute", board, {{"Action", "Start"}, {"BaseGrid", "1"}});
    if (!rteFile.empty())
        ExportRouteFile(client, rteFile, board);
    if (!sesFile.empty())
        ExportSessionFile(client, sesFile, board);
}

void Command_ExportSpecctraDesignFile(HostSdk::IClient& client, const std::string& parameters) {
    // The design file itself is not written by this plug-in.
    BoardFileDialogCommand(client, parameters, "DesignFileName", "dsn", kDialog_CreateDsn);
}

void Command_ImportSpecctraRouteFile(HostSdk::IClient& client, const std::string& parameters) {
    const std::string boardFile =
        BoardFileDialogCommand(client, parameters, "RouteFileName", "rte", kDialog_OpenRte);
    if (boardFile.empty())
        return;
    // Route files are not read by this plug-in; the status file test is all
    // that follows an accepted dialog.
    (void)HostSdk::FileExists(HostSdk::ChangeFileExt(boardFile, "STS"));
}

void Command_ExportSpecctraRouteFile(HostSdk::IClient& client, const std::string& parameters) {
    ExportBoardFileCommand(client, parameters, "RteFileName", "rte", kDialog_CreateRte,
                           &ExportRouteFile);
}

void Command_ExportSpecctraSessionFile(HostSdk::IClient& client, const std::string& parameters) {
    ExportBoardFileCommand(client, parameters, "SesFileName", "ses", kDialog_CreateSes,
                           &ExportSessionFile);
}

void Command_ExportData(HostSdk::IClient& client, const std::string& parameters) {
    std::string pcbFile;
    intptr_t board = 0;
    if (ReadParameter(parameters, "PcbFileName", pcbFile)) {
        board = BoardHandleFromFileName(pcbFile);
    } else {
        board = CurrentBoardHandle();
        pcbFile = BoardFileName(board);
    }
    if (board == 0 || pcbFile.empty())
        return;
    ExportNamedFiles(client, parameters, pcbFile, board);
}

void Command_ViewEmbeddedObjects(HostSdk::IClient& client, const std::string& parameters) {
    intptr_t board = CurrentBoardHandle();
    if (board == 0) {
        client.ShowMessage(kNotPcbDocumentMessage);
        return;
    }
    std::string file;
    ReadParameter(parameters, "File", file);
    ViewEmbeddedObjects(client, board, file);
}

void Command_DeleteEmbeddedObjects(HostSdk::IClient& client, const std::string& parameters) {
    (void)parameters;
    intptr_t board = CurrentBoardHandle();
    if (board == 0) {
        client.ShowMessage(kNotPcbDocumentMessage);
        return;
    }
    DeleteEmbeddedObjects(client, board);
}

void Command_DebugParseDSN(HostSdk::IClient& client, const std::string& parameters) {
    (void)parameters;
    std::string dsnFile;
    if (!RunFileDialog(client, kDialog_OpenDsn, dsnFile))
        return;
    DumpDsnTokens(client, dsnFile);
}

void Command_ReturnToHostPCB(HostSdk::IClient& client, const std::string& parameters) {
    intptr_t board = CurrentBoardHandle();
    if (board == 0)
        return;
    std::string pcbFile = BoardFileName(board);
    if (!pcbFile.empty())
        ExportNamedFiles(client, parameters, pcbFile, board);
    HostSdk::IServerDocument* document = pcbFile.empty() ? nullptr : client.FindDocument(pcbFile);
    if (document != nullptr)
        document->SetModified(false);
    if (ReadTrueParameter(parameters, "Quit")) {
        std::string none;
        client.RunProcess("Client:QuitFromEDAClient", none, 0, client.CurrentView());
    } else if (document != nullptr) {
        client.CloseDocument(document);
    }
}

void RegisterSpecctraCommands(HostSdk::TServerModule& server) {
    HostSdk::IClient* client = &server.Client();
    using Handler = void (*)(HostSdk::IClient&, const std::string&);
    static constexpr std::pair<const char*, Handler> kCommands[] = {
        {"ImportSpecctraDesignFile", &Command_ImportSpecctraDesignFile},
        {"ExportSpecctraDesignFile", &Command_ExportSpecctraDesignFile},
        {"ImportSpecctraRouteFile", &Command_ImportSpecctraRouteFile},
        {"ExportSpecctraRouteFile", &Command_ExportSpecctraRouteFile},
        {"ExportSpecctraSessionFile", &Command_ExportSpecctraSessionFile},
        {"ExportData", &Command_ExportData},
        {"ViewEmbeddedObjects", &Command_ViewEmbeddedObjects},
        {"DeleteEmbeddedObjects", &Command_DeleteEmbeddedObjects},
        {"DebugParseDSN", &Command_DebugParseDSN},
        {"ReturnToHostPCB", &Command_ReturnToHostPCB},
    };
    for (const auto& [name, handler] : kCommands)
        server.CommandLauncher().RegisterCommand(
            name, [client, handler = handler](const std::string& parameters) {
                handler(*client, parameters);
            });
}

} // namespace DsnLink
