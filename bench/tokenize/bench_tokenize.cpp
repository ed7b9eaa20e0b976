// Tokenizer throughput: bench_tokenize [--list] [FILE...]
// Without files it reads the largest design under the corpus folder. Each file
// is tokenized repeatedly for at least a second with the progress and
// Escape-key hooks live: the engine library is loaded (DSNLINK_ENGINE_LIBRARY,
// or libcorvane.so beside the program) and its progress hooks count the steps.
// MB/s, tokens/s and the hook counts are printed. --list prints every token of
// the first file as "id<TAB>line<TAB>text" instead.
#include "board/PCBProcs.h"
#include "host/sdk/CorvaneEngine.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraParser2.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// Answers "no" to everything: the Escape key is polled but never pressed.
class TIdleEscapeHost : public IEscapeKeyHost {
public:
    bool EscapePressed() override {
        ++Polls;
        return false;
    }
    bool AskYesNo(const std::string&) override { return false; }
    long Polls = 0;
};

// Counts what the engine's progress entry points forward to the host.
struct TProgressCount {
    long Inits = 0;
    long Updates = 0;
    long Finishes = 0;
};

// Loads the engine so that the reader's progress calls reach real hooks.
bool LoadEngine(TProgressCount& count) {
    const char* env = std::getenv("DSNLINK_ENGINE_LIBRARY");
    const std::string path = env ? env : std::string(DSNLINK_BIN_DIR) + "/libcorvane.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (module == nullptr) {
        std::fprintf(stderr, "progress hooks not live: %s\n", dlerror());
        return false;
    }
    auto setHooks = reinterpret_cast<decltype(&Corvane_SetProgressHooks)>(
        dlsym(module, "Corvane_SetProgressHooks"));
    if (setHooks == nullptr || !PCBProcs::BindEngine()) {
        std::fprintf(stderr, "progress hooks not live: %s has no progress hooks\n", path.c_str());
        return false;
    }
    setHooks([](void* c, const char*, int32_t) { ++static_cast<TProgressCount*>(c)->Inits; },
             [](void* c) { ++static_cast<TProgressCount*>(c)->Updates; },
             [](void* c) { ++static_cast<TProgressCount*>(c)->Finishes; }, &count);
    return true;
}

std::string LargestCorpusDesign() {
    namespace fs = std::filesystem;
    const fs::path corpus = DSNLINK_CORPUS_DIR;
    std::string best;
    std::uintmax_t bestSize = 0;
    std::error_code ec;
    if (!fs::is_directory(corpus, ec)) {
        return best;
    }
    for (const auto& entry : fs::recursive_directory_iterator(corpus, ec)) {
        if (entry.is_regular_file() && entry.path().extension() == ".dsn" &&
            entry.file_size() > bestSize) {
            bestSize = entry.file_size();
            best = entry.path().string();
        }
    }
    return best;
}

int64_t TokenizeOnce(const std::string& path, const std::string& text) {
    TSpecctraParser parser(std::make_unique<TInputFile>(path, text));
    parser.RegisterKeywords();
    int64_t tokens = 0;
    while (!parser.EndOfFile() && !parser.Aborted()) {
        parser.NextToken();
        ++tokens;
    }
    return tokens;
}

int List(const std::string& path) {
    TSpecctraParser parser(path);
    parser.RegisterKeywords();
    while (!parser.EndOfFile() && !parser.Aborted()) {
        const int32_t id = parser.NextToken();
        if (parser.EndOfFile() && id == eTok_Word && parser.TokenString().empty()) {
            break;
        }
        std::printf("%d\t%d\t%s\n", id, parser.LineNumber(), parser.TokenString().c_str());
    }
    return 0;
}

int Measure(const std::string& path, const TIdleEscapeHost& host, const TProgressCount& count) {
    const long pollsBefore = host.Polls;
    const long updatesBefore = count.Updates;
    const TInputFile file(path);
    const double megabytes = static_cast<double>(file.Size()) / 1e6;
    using Clock = std::chrono::steady_clock;
    int64_t tokens = 0;
    int runs = 0;
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    double seconds = 0;
    do {
        tokens = TokenizeOnce(path, file.Data());
        ++runs;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 1.0);
    // Processor time is steadier than wall time on a shared machine; both shown.
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double perRun = cpuSeconds / runs;
    std::printf("%s: %.2f MB, %lld tokens, %d runs, %.1f MB/s, %.2f Mtokens/s "
                "(processor time; wall time %.1f MB/s)\n",
                path.c_str(), megabytes, static_cast<long long>(tokens), runs, megabytes / perRun,
                static_cast<double>(tokens) / perRun / 1e6, megabytes * runs / seconds);
    std::printf("  per run: %ld Escape-key polls, %ld progress steps\n",
                (host.Polls - pollsBefore) / runs, (count.Updates - updatesBefore) / runs);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bool list = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            list = true;
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.empty()) {
        const std::string largest = LargestCorpusDesign();
        if (largest.empty()) {
            std::fprintf(stderr, "no file given and no design found under %s\n",
                         DSNLINK_CORPUS_DIR);
            return 2;
        }
        files.push_back(largest);
    }
    for (const std::string& file : files) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            std::fprintf(stderr, "bench_tokenize: cannot read %s: %s\n", file.c_str(),
                         error ? error.message().c_str() : "not a regular file");
            return 2;
        }
    }
    TIdleEscapeHost host;
    SetEscapeKeyHost(&host);
    TProgressCount count;
    LoadEngine(count);
    int status = 0;
    try {
        if (list) {
            status = List(files.front());
        } else {
            for (const auto& file : files) {
                Measure(file, host, count);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        status = 1;
    }
    SetEscapeKeyHost(nullptr);
    return status;
}
