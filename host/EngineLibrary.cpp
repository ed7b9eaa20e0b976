#include "host/EngineLibrary.h"

#include <dlfcn.h>
#include <stdexcept>

namespace Harrow {
namespace {
template <typename F> void Resolve(void* handle, const char* name, F& slot) {
    void* symbol = ::dlsym(handle, name);
    if (symbol == nullptr)
        throw std::runtime_error(std::string("engine lacks ") + name);
    slot = reinterpret_cast<F>(symbol);
}
} // namespace

EngineLibrary::EngineLibrary(const std::string& path) : path_(path) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        throw std::runtime_error("cannot load engine " + path + ": " +
                                 (reason != nullptr ? reason : "unknown reason"));
    }
    try {
        Resolve(handle_, "Corvane_SetProgressHooks", SetProgressHooks);
        Resolve(handle_, "Corvane_NewBoard", NewBoard);
        Resolve(handle_, "Corvane_OpenBoard", OpenBoard);
        Resolve(handle_, "Corvane_SaveBoard", SaveBoard);
        Resolve(handle_, "Corvane_CloseBoard", CloseBoard);
        Resolve(handle_, "Corvane_SetCurrentBoard", SetCurrentBoard);
        Resolve(handle_, "Corvane_IsBoardModified", IsBoardModified);
        Resolve(handle_, "Corvane_BoardObjectCount", BoardObjectCount);
        Resolve(handle_, "Corvane_SetBoardModified", SetBoardModified);
        Resolve(handle_, "Corvane_GetBoardFileName", GetBoardFileName);
        Resolve(handle_, "Corvane_DumpBoardJson", DumpBoardJson);
        Resolve(handle_, "Corvane_DumpRulesJson", DumpRulesJson);
        Resolve(handle_, "Corvane_SetHostData", SetHostData);
        Resolve(handle_, "Corvane_GetHostData", GetHostData);
        Resolve(handle_, "Corvane_UpdateFreePrimitiveNets", UpdateFreePrimitiveNets);
        Resolve(handle_, "Corvane_CheckBoard", CheckBoard);
        Resolve(handle_, "Corvane_FreeCheck", FreeCheck);
        Resolve(handle_, "Corvane_CheckSummaryOf", CheckSummaryOf);
        Resolve(handle_, "Corvane_CheckOpen", CheckOpen);
        Resolve(handle_, "Corvane_CheckViolation", CheckViolation);
        Resolve(handle_, "Corvane_CheckNetName", CheckNetName);
    } catch (...) {
        ::dlclose(handle_);
        throw;
    }
}

EngineLibrary::~EngineLibrary() {
    if (SetProgressHooks != nullptr)
        SetProgressHooks(nullptr, nullptr, nullptr, nullptr);
    // The engine stays mapped: the plug-in may hold bound entry points until
    // the process ends.
}

void* EngineLibrary::Symbol(const char* name) const {
    return ::dlsym(handle_, name);
}

std::string EngineLibrary::BoardFileName(CorvaneBoard board) const {
    std::string name(4096, '\0');
    int32_t length = GetBoardFileName(board, name.data(), static_cast<int32_t>(name.size()));
    if (length < 0)
        return {};
    if (length >= static_cast<int32_t>(name.size())) {
        name.assign(static_cast<std::size_t>(length) + 1, '\0');
        length = GetBoardFileName(board, name.data(), static_cast<int32_t>(name.size()));
        if (length < 0)
            return {};
    }
    name.resize(static_cast<std::size_t>(length));
    return name;
}

std::optional<std::string> EngineLibrary::HostData(CorvaneBoard board, const char* key) const {
    const int64_t length = GetHostData(board, key, nullptr, 0);
    if (length < 0)
        return std::nullopt;
    std::string value(static_cast<std::size_t>(length), '\0');
    GetHostData(board, key, value.data(), length);
    return value;
}

} // namespace Harrow
