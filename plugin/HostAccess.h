// The plug-in's view of its host: the client lent at ServerFactory, the PCB
// server and board look-ups, the file dialogs and the command flags that every
// translation reads.
#pragma once

#include "sdk/HostClient.h"
#include "specctra/HostHooks.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/CommandFlags.h"

namespace DsnLink {

// The client the host lent at ServerFactory; null before.
HostSdk::IClient* CurrentClient();
void SetCurrentClient(HostSdk::IClient* client);
// The services the root of each translation is given: the reader's Escape
// key and question, the report viewer and the keep-out region maker, all
// answered by the current client; none without one.
THostServices ClientServices();

// The host's PCB server; null when it is not running.
HostSdk::IPCB_ServerInterface* FindPCBServer(HostSdk::IClient& client);

// (Re)binds the engine entry points; answers whether the engine is there.
bool BindEngine();

// The engine's current board, 0 for none.
intptr_t CurrentBoardHandle();
// The open board whose document has `fileName`, 0 for none.
intptr_t BoardHandleFromFileName(const std::string& fileName);
// The document file name of a board, empty when unknown.
std::string BoardFileName(intptr_t board);

// Dialog parameter strings, each followed by the proposed path.
inline constexpr const char* kDialog_OpenDsn =
    "Dialog=FileOpenSave|Mode=0|Prompt=Import Specctra Design File|DocumentType=All|"
    "FileType1=Dsn File (*.dsn; *.cct)|Path=";
inline constexpr const char* kDialog_CreateDsn =
    "Dialog=FileOpenSave|Mode=1|Prompt=Create Specctra Design File|DocumentType=All|"
    "FileType1=Dsn File (*.dsn)|Path=";
inline constexpr const char* kDialog_OpenRte =
    "Dialog=FileOpenSave|Mode=0|Prompt=Import Specctra Route File|DocumentType=All|"
    "FileType1=Rte File (*.rte)|Path=";
inline constexpr const char* kDialog_CreateRte =
    "Dialog=FileOpenSave|Mode=1|Prompt=Create Specctra Route File|DocumentType=All|"
    "FileType1=Rte File (*.rte)|Path=";
inline constexpr const char* kDialog_CreateSes =
    "Dialog=FileOpenSave|Mode=1|Prompt=Create Specctra Session File|DocumentType=All|"
    "FileType1=Session File (*.ses)|Path=";
inline constexpr const char* kDialog_OpenDo =
    "Dialog=FileOpenSave|Mode=0|Prompt=Import Specctra Do File|DocumentType=All|"
    "FileType1=Rte File (*.do)|Path=";

inline constexpr std::size_t kDialogBufferCapacity = 4096;

// Runs "Client:RunCommonDialog" with `dialog` followed by `path`. Answers true
// only when the answer's "Result" is exactly "True"; `path` then takes the
// answer's "Path". Any other answer leaves `path` alone.
bool RunFileDialog(HostSdk::IClient& client, const char* dialog, std::string& path);

inline constexpr const char* kPcbServerMissingMessage =
    "This Specctra Interface Server requires the PCB\rserver to be running with a PCB file "
    "loaded.\rThis server will use the currently active PCB file.";
inline constexpr const char* kNotPcbDocumentMessage = "This document is not a PCB document.";
inline constexpr const char* kPcbServerNotRunningMessage = "PCB server is not running";

// The check of the board-file commands: without a PCB server, shows the
// message and answers empty; otherwise binds the engine and answers the
// current board's file name (empty without a current board).
std::string CheckPcbServerAndBoardFileName(HostSdk::IClient& client);

// Makes sure the PCB server runs, starting it when needed; shows "PCB server
// is not running" and answers null when it still does not.
HostSdk::IPCB_ServerInterface* EnsurePcbServer(HostSdk::IClient& client);

} // namespace DsnLink
