// The Corvane engine as harrow sees it: loaded with dlopen (never linked) and
// reached through the functions of sdk/CorvaneEngine.h found by name.
#pragma once

#include "sdk/CorvaneCheck.h"
#include "sdk/CorvaneEngine.h"

#include <optional>
#include <string>

namespace Harrow {

class EngineLibrary {
public:
    // Loads the library at `path` with RTLD_NOW | RTLD_GLOBAL so that the
    // plug-in finds its PcbApi_ entry points. Raises with a one-line reason.
    explicit EngineLibrary(const std::string& path);
    ~EngineLibrary();
    EngineLibrary(const EngineLibrary&) = delete;
    EngineLibrary& operator=(const EngineLibrary&) = delete;

    decltype(&Corvane_SetProgressHooks) SetProgressHooks = nullptr;
    decltype(&Corvane_NewBoard) NewBoard = nullptr;
    decltype(&Corvane_OpenBoard) OpenBoard = nullptr;
    decltype(&Corvane_SaveBoard) SaveBoard = nullptr;
    decltype(&Corvane_CloseBoard) CloseBoard = nullptr;
    decltype(&Corvane_SetCurrentBoard) SetCurrentBoard = nullptr;
    decltype(&Corvane_IsBoardModified) IsBoardModified = nullptr;
    decltype(&Corvane_BoardObjectCount) BoardObjectCount = nullptr;
    decltype(&Corvane_SetBoardModified) SetBoardModified = nullptr;
    decltype(&Corvane_GetBoardFileName) GetBoardFileName = nullptr;
    decltype(&Corvane_DumpBoardJson) DumpBoardJson = nullptr;
    decltype(&Corvane_SetHostData) SetHostData = nullptr;
    decltype(&Corvane_GetHostData) GetHostData = nullptr;
    decltype(&Corvane_DumpRulesJson) DumpRulesJson = nullptr;
    decltype(&Corvane_UpdateFreePrimitiveNets) UpdateFreePrimitiveNets = nullptr;
    decltype(&Corvane_CheckBoard) CheckBoard = nullptr;
    decltype(&Corvane_FreeCheck) FreeCheck = nullptr;
    decltype(&Corvane_CheckSummaryOf) CheckSummaryOf = nullptr;
    decltype(&Corvane_CheckOpen) CheckOpen = nullptr;
    decltype(&Corvane_CheckViolation) CheckViolation = nullptr;
    decltype(&Corvane_CheckNetName) CheckNetName = nullptr;

    std::string BoardFileName(CorvaneBoard board) const;
    // The host data of `key` on the board; nullopt when absent.
    std::optional<std::string> HostData(CorvaneBoard board, const char* key) const;
    // Any symbol of the engine by name (its PcbApi_ entry points), or null.
    void* Symbol(const char* name) const;
    const std::string& Path() const { return path_; }

private:
    void* handle_ = nullptr;
    std::string path_;
};

} // namespace Harrow
