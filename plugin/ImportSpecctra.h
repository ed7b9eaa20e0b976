// Flows that read Specctra text: a design into a board, a design into a new
// project, the token dump, and the design-file test of the importer.
#pragma once

#include "sdk/HostClient.h"

#include <cstdint>
#include <string>

namespace DsnLink {

// True when `path` names an existing ".dsn" or ".rte" file (any case) whose
// first token is "(" and whose second is the keyword pcb.
bool IsDesignFile(const std::string& path);

// Design import into the board `board`: a batch of board changes with the
// "Polygon" and "DRC" features switched off around the translation. Answers
// whether the design was read and written to the board.
bool ImportDesignIntoBoard(HostSdk::IClient& client, const std::string& dsnPath, intptr_t board);

// The same translation without the batch and feature calls (the caller makes
// them), with reports enabled.
bool ImportDesignForNewProject(HostSdk::IClient& client, const std::string& dsnPath,
                               intptr_t board);

// Imports the design into a new board document of a new project folder next to
// the design ("Imported <name>", then "Imported (1) <name>", ...).
void ImportIntoNewProject(HostSdk::IClient& client, const std::string& dsnPath);

// The project folder that ImportIntoNewProject would create for `dsnPath`.
std::string NewProjectFolder(const std::string& dsnPath);

// Writes every token of the design, one a line, to the design's name with the
// extension "prs".
void DumpDsnTokens(HostSdk::IClient& client, const std::string& dsnPath);

// Saves a document or project through "WorkspaceManager:SaveObject".
void SaveDocument(HostSdk::IClient& client, HostSdk::IServerDocument& document,
                  const std::string& fileFormat);
void SaveProject(HostSdk::IClient& client, HostSdk::IProject& project);

} // namespace DsnLink
