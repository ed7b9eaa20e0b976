// The host client: named processes, messages and questions, documents and
// projects, servers by name, saving files and showing reports. The host
// implements these interfaces and lends them to the plug-in; every pointer
// handed out stays owned by the host. A failing service raises an exception
// derived from std::exception.
#pragma once

#include "sdk/PcbServer.h"

#include <cstddef>
#include <string>
#include <vector>

namespace HostSdk {

class IServerDocument;

class IServerDocumentView {
public:
    virtual ~IServerDocumentView() = default;
    virtual std::string ViewName() const = 0;
    virtual IServerDocument* OwnerDocument() = 0;
};

class IServerDocument {
public:
    virtual ~IServerDocument() = default;
    virtual std::string FileName() const = 0;
    virtual void SetFileName(const std::string& fileName) = 0;
    // Document kind, e.g. "PCB".
    virtual std::string Kind() const = 0;
    virtual bool Modified() const = 0;
    virtual void SetModified(bool modified) = 0;
    // Brings the host's state of the document up to date with its content.
    virtual void Update() = 0;
    // The editor view of that name ("PcbEditor"), or null.
    virtual IServerDocumentView* View(const std::string& name) = 0;
};

class IProject {
public:
    virtual ~IProject() = default;
    virtual std::string FileName() const = 0;
    virtual void AddDocument(const std::string& path) = 0;
    virtual std::vector<std::string> DocumentPaths() const = 0;
    virtual void SetModified(bool modified) = 0;
};

// A server module known to the host, found by name.
class IHostServer {
public:
    virtual ~IHostServer() = default;
    virtual std::string ServerName() const = 0;
    // The PCB server's own interface; null for other servers.
    virtual IPCB_ServerInterface* PCBServer() { return nullptr; }
};

class IClient {
public:
    virtual ~IClient() = default;

    // Runs a named process synchronously. `buffer` holds the request; the
    // process may overwrite it with its answer of at most `capacity`
    // characters. `view` may be null.
    virtual void RunProcess(const std::string& process, std::string& buffer, std::size_t capacity,
                            IServerDocumentView* view) = 0;

    // A modal message; a modal question that is true only for Yes.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;

    // Servers by name ("PCB"); null when not running. StartServer answers
    // whether it runs afterwards.
    virtual IHostServer* FindServer(const std::string& name) = 0;
    virtual bool StartServer(const std::string& name) = 0;

    // Documents.
    virtual IServerDocument* OpenDocument(const std::string& path) = 0;
    virtual IServerDocument* CreateDocument(const std::string& kind,
                                            const std::string& fileName) = 0;
    virtual IServerDocument* FindDocument(const std::string& path) = 0;
    virtual void ShowDocument(IServerDocument* document) = 0;
    virtual void CloseDocument(IServerDocument* document) = 0;
    // Default file extension (without the dot) of documents of `kind`.
    virtual std::string DefaultExtension(const std::string& kind) const = 0;
    virtual IServerDocumentView* CurrentView() = 0;

    // Projects: opens a project file; null when it cannot be read.
    virtual IProject* OpenProject(const std::string& path) = 0;

    // Replaces the file at `path` with `bytes`.
    virtual void SaveFile(const std::string& path, const std::string& bytes) = 0;
    // Shows a finished report to the user.
    virtual void OpenReport(const std::string& path) = 0;

    // Polled during long work: true once the user pressed Escape (reading
    // clears it).
    virtual bool EscapePressed() = 0;
};

} // namespace HostSdk
