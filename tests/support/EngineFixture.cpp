#include "support/EngineFixture.h"

#include <dlfcn.h>

#include <cstdlib>

namespace enginetest {

EngineLibrary::EngineLibrary() {
    const char* overridePath = std::getenv("DSNLINK_ENGINE_LIBRARY");
    const std::string path =
        overridePath ? overridePath : std::string(DSNLINK_BIN_DIR) + "/libcorvane.so";
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (module == nullptr) {
        error = "engine library not loadable (" + path + "): " + dlerror();
        return;
    }
    newBoard = reinterpret_cast<decltype(newBoard)>(dlsym(module, "Corvane_NewBoard"));
    closeBoard = reinterpret_cast<decltype(closeBoard)>(dlsym(module, "Corvane_CloseBoard"));
    setCurrentBoard =
        reinterpret_cast<decltype(setCurrentBoard)>(dlsym(module, "Corvane_SetCurrentBoard"));
    if (!newBoard || !closeBoard || !setCurrentBoard)
        error = "engine library lacks its board entry points";
}

} // namespace enginetest
