// A synthetic network read and written to a fresh board of the engine loaded
// as the host loads it: nets of ten pins each, one class holding every tenth
// net and a from-to per hundredth net. Prints seconds and objects per second
// (processor time) for reading, writing and looking every pin up, per size.
//
//   bench_network [NETS...]        default: 10000 100000
#include "bench/synthetic/ImportRun.h"
#include "board/PCBProcs.h"
#include "design/SpecctraDesign.h"
#include "sdk/CorvaneEngine.h"
#include "specctra/SpecctraParser2.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kPinsPerNet = 10;

std::string Pin(int net, int pin) {
    std::string text(1, 'U');
    text.append(std::to_string(net)).append(1, '-').append(std::to_string(pin + 1));
    return text;
}

std::string SyntheticDesign(int nets) {
    std::string text = "(pcb bench (parser (string_quote \")) (placement)\n(network\n";
    text.reserve(static_cast<std::size_t>(nets) * 120);
    for (int n = 0; n < nets; ++n) {
        text.append("  (net \"N").append(std::to_string(n)).append("\" (pins");
        for (int p = 0; p < kPinsPerNet; ++p)
            text.append(1, ' ').append(Pin(n, p));
        text += ")";
        if (n % 100 == 0)
            text.append(" (fromto ")
                .append(Pin(n, 0))
                .append(1, ' ')
                .append(Pin(n, 1))
                .append(1, ')');
        text += ")\n";
    }
    text += "  (class TENTHS";
    for (int n = 0; n < nets; n += 10)
        text.append(" \"N").append(std::to_string(n)).append(1, '"');
    text += ")\n))\n";
    return text;
}

// Processor time of this process: on a shared machine it varies far less
// than the time on the wall.
struct TClock {
    std::clock_t Start = std::clock();
    double Seconds() const { return static_cast<double>(std::clock() - Start) / CLOCKS_PER_SEC; }
};

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            std::printf("usage: bench_network [NETS...]\n");
            return 0;
        }
        sizes.push_back(std::max(1, std::atoi(argv[i])));
    }
    if (sizes.empty())
        sizes = {10000, 100000};
    TBenchEngine engine;
    if (!engine.Load(argv[0]))
        return 2;
    const auto newBoard = engine.NewBoard;
    const auto closeBoard = engine.CloseBoard;
    for (int nets : sizes) {
        const std::string text = SyntheticDesign(nets);
        char error[256] = {};
        const intptr_t board = newBoard("bench-network", error, sizeof error);
        ResetTranslationState();
        TSpecctraParser parser(std::make_unique<TInputFile>("bench.dsn", text));
        parser.RegisterKeywords();
        TSpecctraDesign design("bench.dsn", &parser, nullptr, board);
        design.SetReportEnabled(false);
        TClock clock;
        design.ImportFromFile();
        const double read = clock.Seconds();
        clock = TClock();
        design.ExportToPCB();
        const double write = clock.Seconds();
        auto* network = dynamic_cast<TSpecctraDsnNetworkDescriptor*>(design.Network());
        clock = TClock();
        long found = 0;
        for (int n = 0; n < nets; ++n)
            for (int p = 0; p < kPinsPerNet; ++p)
                found += network && network->GetState_NetByPinName(Pin(n, p)) != nullptr;
        const double lookUp = clock.Seconds();
        const double pins = static_cast<double>(nets) * kPinsPerNet;
        std::printf("%d nets, %.0f pins (%.1f MB): read %.3f s (%.0f pins/s), write %.3f s "
                    "(%.0f nets/s), %ld pins looked up in %.3f s\n",
                    nets, pins, static_cast<double>(text.size()) / 1e6, read, pins / read, write,
                    nets / write, found, lookUp);
        closeBoard(board);
    }
    return 0;
}
