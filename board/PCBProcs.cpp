#include "board/PCBProcs.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <mutex>

namespace PCBProcs {
namespace {

constexpr const char* kDefaultEngineModule = "libcorvane.so";

// One resolved address per table entry. Written under the binding mutex,
// read lock-free by the calls.
struct EntryPoints {
#define PCBPROCS_FUNCTION_SLOT(R, N, D, P, A) std::atomic<R(*) P> N{nullptr};
#define PCBPROCS_PROCEDURE_SLOT(N, P, A) std::atomic<void(*) P> N{nullptr};
    PCBAPI_FUNCTIONS(PCBPROCS_FUNCTION_SLOT)
    PCBAPI_PROCEDURES(PCBPROCS_PROCEDURE_SLOT)
#undef PCBPROCS_FUNCTION_SLOT
#undef PCBPROCS_PROCEDURE_SLOT
    // The engine's own extensions, which another engine may lack.
    std::atomic<decltype(&Corvane_SetPadOutline)> SetPadOutline{nullptr};
};

constexpr unsigned long long kNoGeneration = ~0ull;

struct Binding {
    std::mutex mutex;
    std::atomic<bool> bound{false};
    // Module-load generation at the last look that did not find the engine:
    // until another module is loaded, looking again cannot find it either.
    unsigned long long missedGeneration = kNoGeneration;
    void* module = nullptr; // reference taken by dlopen(RTLD_NOLOAD)
    std::string moduleName = kDefaultEngineModule;
    EntryPoints entries;
};

Binding& binding() {
    static Binding instance;
    return instance;
}

// The entry points while bound, else null: the one load a bound call makes.
constinit std::atomic<EntryPoints*> g_boundEntries{nullptr};

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

struct LoadedSearch {
    const std::string* wanted;
    std::string path;
};

int matchLoadedModule(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<LoadedSearch*>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0')
        return 0;
    if (*search->wanted == baseName(info->dlpi_name)) {
        search->path = info->dlpi_name;
        return 1;
    }
    return 0;
}

// A reference to the engine module when it is already loaded, else null.
// The name is matched as the loader knows it (soname or path) and, failing
// that, against the file name of every loaded module.
void* findLoadedModule(const std::string& name) {
    if (void* module = dlopen(name.c_str(), RTLD_NOLOAD | RTLD_NOW))
        return module;
    LoadedSearch search{&name, {}};
    if (dl_iterate_phdr(&matchLoadedModule, &search) != 0 && !search.path.empty())
        return dlopen(search.path.c_str(), RTLD_NOLOAD | RTLD_NOW);
    return nullptr;
}

int readGeneration(dl_phdr_info* info, size_t size, void* data) {
    if (size >= offsetof(dl_phdr_info, dlpi_adds) + sizeof(info->dlpi_adds))
        *static_cast<unsigned long long*>(data) = info->dlpi_adds;
    return 1; // the counter comes with the first module
}

// A counter the loader increments whenever a module is loaded.
unsigned long long loadedModuleGeneration() {
    unsigned long long adds = kNoGeneration;
    dl_iterate_phdr(&readGeneration, &adds);
    return adds;
}

void clearEntries(EntryPoints& entries) {
#define PCBPROCS_CLEAR_FUNCTION(R, N, D, P, A) entries.N.store(nullptr, std::memory_order_relaxed);
#define PCBPROCS_CLEAR_PROCEDURE(N, P, A) entries.N.store(nullptr, std::memory_order_relaxed);
    PCBAPI_FUNCTIONS(PCBPROCS_CLEAR_FUNCTION)
    PCBAPI_PROCEDURES(PCBPROCS_CLEAR_PROCEDURE)
#undef PCBPROCS_CLEAR_FUNCTION
#undef PCBPROCS_CLEAR_PROCEDURE
    entries.SetPadOutline.store(nullptr, std::memory_order_relaxed);
}

void resolveEntries(void* module, EntryPoints& entries) {
#define PCBPROCS_RESOLVE_FUNCTION(R, N, D, P, A)                                                   \
    entries.N.store(reinterpret_cast<R(*) P>(dlsym(module, #N)), std::memory_order_release);
#define PCBPROCS_RESOLVE_PROCEDURE(N, P, A)                                                        \
    entries.N.store(reinterpret_cast<void(*) P>(dlsym(module, #N)), std::memory_order_release);
    PCBAPI_FUNCTIONS(PCBPROCS_RESOLVE_FUNCTION)
    PCBAPI_PROCEDURES(PCBPROCS_RESOLVE_PROCEDURE)
#undef PCBPROCS_RESOLVE_FUNCTION
#undef PCBPROCS_RESOLVE_PROCEDURE
    entries.SetPadOutline.store(
        reinterpret_cast<decltype(&Corvane_SetPadOutline)>(dlsym(module, "Corvane_SetPadOutline")),
        std::memory_order_release);
}

void unbindLocked(Binding& b) {
    g_boundEntries.store(nullptr, std::memory_order_release);
    b.bound.store(false, std::memory_order_release);
    b.missedGeneration = kNoGeneration;
    clearEntries(b.entries);
    if (b.module != nullptr) {
        dlclose(b.module);
        b.module = nullptr;
    }
}

bool bindLocked(Binding& b, bool force) {
    const unsigned long long generation = loadedModuleGeneration();
    if (!force && generation != kNoGeneration && generation == b.missedGeneration)
        return b.bound.load(std::memory_order_relaxed);
    void* module = findLoadedModule(b.moduleName);
    if (module == nullptr) {
        b.missedGeneration = generation;
        return b.bound.load(std::memory_order_relaxed);
    }
    resolveEntries(module, b.entries);
    if (b.module != nullptr)
        dlclose(b.module); // keep one reference only
    b.module = module;
    b.bound.store(true, std::memory_order_release);
    g_boundEntries.store(&b.entries, std::memory_order_release);
    return true;
}

// The per-call check: free once bound, a fresh look while the engine is absent.
inline EntryPoints& entryPoints() {
    if (EntryPoints* bound = g_boundEntries.load(std::memory_order_acquire))
        return *bound;
    Binding& b = binding();
    if (!b.bound.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(b.mutex);
        if (!b.bound.load(std::memory_order_relaxed))
            bindLocked(b, false);
    }
    return b.entries;
}

} // namespace

#define PCBPROCS_DEFINE_FUNCTION(R, N, D, P, A)                                                    \
    R N P {                                                                                        \
        if (auto entry = entryPoints().N.load(std::memory_order_acquire))                          \
            return entry A;                                                                        \
        return D;                                                                                  \
    }
#define PCBPROCS_DEFINE_PROCEDURE(N, P, A)                                                         \
    void N P {                                                                                     \
        if (auto entry = entryPoints().N.load(std::memory_order_acquire))                          \
            entry A;                                                                               \
    }
PCBAPI_FUNCTIONS(PCBPROCS_DEFINE_FUNCTION)
PCBAPI_PROCEDURES(PCBPROCS_DEFINE_PROCEDURE)
#undef PCBPROCS_DEFINE_FUNCTION
#undef PCBPROCS_DEFINE_PROCEDURE

bool SetPadOutline(intptr_t pad, const CorvanePadOutlinePiece* pieces, int32_t count) {
    auto entry = entryPoints().SetPadOutline.load(std::memory_order_acquire);
    return entry && entry(pad, pieces, count) == 1;
}

bool CanCopyPads() {
    return entryPoints().PcbApi_CopyPad.load(std::memory_order_acquire) != nullptr;
}

bool BindEngine() {
    Binding& b = binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    return bindLocked(b, true);
}

bool IsEngineBound() {
    return binding().bound.load(std::memory_order_acquire);
}

std::string EngineModuleName() {
    Binding& b = binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.moduleName;
}

void SetEngineModuleName(const std::string& moduleName) {
    Binding& b = binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    unbindLocked(b);
    b.moduleName = moduleName.empty() ? std::string(kDefaultEngineModule) : moduleName;
}

} // namespace PCBProcs
