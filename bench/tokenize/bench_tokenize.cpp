// Tokenizer throughput: bench_tokenize [--list] [FILE...]
// Without files it reads the largest design under the corpus folder. Each file
// is tokenized repeatedly for at least a second with the progress and
// Escape-key hooks live: the engine library is loaded (DSNLINK_ENGINE_LIBRARY,
// or libcorvane.so beside the program) and its progress hooks count the steps.
// MB/s, tokens/s and the hook counts are printed, with the speed of a plain
// byte-classifying scan of the same text, run in turns with the tokenizer,
// and the ratio of the two. --list prints every token of
// the first file as "id<TAB>line<TAB>text" instead.
#include "board/PCBProcs.h"
#include "sdk/CorvaneEngine.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraParser2.h"

#include <dlfcn.h>

#include <array>
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

int64_t TokenizeOnce(std::unique_ptr<TInputFile> input, IEscapeKeyHost& escapeKey) {
    TSpecctraParser parser(std::move(input));
    parser.SetEscapeKey(&escapeKey);
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

// The yardstick: a plain scan that classifies every byte through a table and
// counts the words and parentheses, as the least any tokenizer must do. It is
// a function of its own at a cache line's start, so that its speed does not
// move with the code the rest of the program puts around it.
[[gnu::noinline, gnu::aligned(64)]] int64_t PlainScan(const std::string& text) {
    enum : unsigned char { kWord, kSpace, kParen };
    static const auto classes = [] {
        std::array<unsigned char, 256> t{};
        for (unsigned char c : {' ', '\t', '\r', '\n'})
            t[c] = kSpace;
        t['('] = t[')'] = kParen;
        return t;
    }();
    int64_t tokens = 0;
    bool inWord = false;
    for (const char ch : text) {
        const unsigned char c = classes[static_cast<unsigned char>(ch)];
        tokens += c == kParen || (c == kWord && !inWord);
        inWord = c == kWord;
    }
    return tokens;
}

double ProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int Measure(const std::string& path, TIdleEscapeHost& host, const TProgressCount& count) {
    const long pollsBefore = host.Polls;
    const long updatesBefore = count.Updates;
    const TInputFile file(path);
    const double megabytes = static_cast<double>(file.Size()) / 1e6;
    using Clock = std::chrono::steady_clock;
    int64_t tokens = 0, scanned = 0;
    int runs = 0;
    const auto start = Clock::now();
    double seconds = 0, tokenizer = 0, scan = 0;
    // The tokenizer and the plain scan take turns, so that a busy spell of
    // the machine falls on both alike; each is timed in processor time.
    do {
        // The reader's copy of the text is made outside the timed part: the
        // tokenizer reads a file's bytes where they were loaded.
        auto input = std::make_unique<TInputFile>(path, file.Data());
        const double at = ProcessorSeconds();
        tokens = TokenizeOnce(std::move(input), host);
        const double mid = ProcessorSeconds();
        scanned = PlainScan(file.Data());
        const double end = ProcessorSeconds();
        tokenizer += mid - at;
        scan += end - mid;
        ++runs;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 2.0);
    const double perRun = tokenizer / runs;
    const double scanPerRun = scan / runs;
    std::printf("%s: %.2f MB, %lld tokens, %d runs, %.1f MB/s, %.2f Mtokens/s "
                "(processor time)\n",
                path.c_str(), megabytes, static_cast<long long>(tokens), runs, megabytes / perRun,
                static_cast<double>(tokens) / perRun / 1e6);
    std::printf("  plain byte-class scan: %.1f MB/s (%lld words and parentheses); "
                "tokenizer/scan %.2f, in turns in this run\n",
                megabytes / scanPerRun, static_cast<long long>(scanned), scanPerRun / perRun);
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
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: bench_tokenize [--list] [FILE...]\n"
                        "Tokenizes each file (without one, the largest design under %s) "
                        "for two seconds,\nin turns with a plain byte-classifying scan of "
                        "the same text, and prints both speeds\nand their ratio; --list "
                        "prints the first file's tokens as id, line and text.\n",
                        DSNLINK_CORPUS_DIR);
            return 0;
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
    return status;
}
