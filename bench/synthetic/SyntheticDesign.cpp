#include "SyntheticDesign.h"

#include <cmath>
#include <cstdio>

namespace {

void Append(std::string& out, const char* format, auto... values) {
    char line[256];
    const int n = std::snprintf(line, sizeof line, format, values...);
    out.append(line, static_cast<std::size_t>(n));
}

} // namespace

std::string MakeSyntheticDesign(const TSyntheticOptions& options, TSyntheticCounts* counts) {
    const int64_t n = options.Components;
    const int64_t columns =
        std::max<int64_t>(1, static_cast<int64_t>(std::ceil(std::sqrt(double(n)))));
    const double pitch = 5000; // um
    std::string out;
    out.reserve(static_cast<std::size_t>(n) * (options.Wires ? 170 : 90) + 4096);
    Append(out, "(pcb synthetic_%lld\n", static_cast<long long>(n));
    out +=
        "  (parser (string_quote \") (space_in_quoted_tokens on) (host_cad synthetic))\n"
        "  (resolution um 10)\n  (unit um)\n  (structure\n"
        "    (layer F.Cu (type signal)) (layer In1.Cu (type power)) (layer B.Cu (type signal))\n";
    const double side = static_cast<double>(columns + 1) * pitch;
    Append(out, "    (boundary (rect pcb 0 0 %.0f %.0f))\n", side, side);
    out += "    (via V600)\n    (rule (width 250) (clearance 200))\n  )\n  (placement\n";
    // Even components are SMD resistors, odd ones four-pin through-hole parts.
    for (int kind = 0; kind < 2; ++kind) {
        out += kind == 0 ? "    (component R0603\n" : "    (component DIP4\n";
        for (int64_t i = kind; i < n; i += 2) {
            const double x = static_cast<double>(i % columns + 1) * pitch;
            const double y = static_cast<double>(i / columns + 1) * pitch;
            Append(out, "      (place C%lld %.0f %.0f %s %d)\n", static_cast<long long>(i), x, y,
                   (i % 7 == 3) ? "back" : "front", static_cast<int>((i % 4) * 90));
        }
        out += "    )\n";
    }
    out += "  )\n  (library\n"
           "    (image R0603 (outline (rect signal -1500 -800 1500 800))\n"
           "      (pin SMD1 1 -800 0) (pin SMD1 2 800 0))\n"
           "    (image DIP4\n"
           "      (pin TH1 (array 1 2 1 -1270 -1270 0 2540))\n"
           "      (pin TH1 3 1270 1270) (pin TH1 4 1270 -1270))\n"
           "    (padstack SMD1 (shape (rect F.Cu -450 -400 450 400)) (attach off))\n"
           "    (padstack TH1 (shape (circle F.Cu 1500)) (shape (circle B.Cu 1500)) (attach off))\n"
           "    (padstack V600 (shape (circle F.Cu 600)) (shape (circle B.Cu 600)) (attach off))\n"
           "  )\n  (network\n";
    auto pins = [](int64_t i) { return i % 2 == 0 ? 2 : 4; };
    int64_t nets = 0, netted = 0, pads = 0;
    for (int64_t i = 0; i < n; ++i)
        pads += pins(i);
    // Net i joins the last pin of component i with pin 1 of component i + 1;
    // a net of one pin holds pin 1 of component i alone.
    for (int64_t i = 0; i + 1 < n || (options.OnePinNets && i < n); ++i) {
        if (options.OnePinNets)
            Append(out, "    (net N%lld (pins C%lld-1))\n", static_cast<long long>(i),
                   static_cast<long long>(i));
        else
            Append(out, "    (net N%lld (pins C%lld-%d C%lld-1))\n", static_cast<long long>(i),
                   static_cast<long long>(i), pins(i), static_cast<long long>(i + 1));
        ++nets;
        netted += options.OnePinNets ? 1 : 2;
    }
    out += "  )\n";
    if (options.Wires || options.Vias) {
        out += "  (wiring\n";
        for (int64_t i = 0; i + 1 < n; ++i) {
            const double x = static_cast<double>(i % columns + 1) * pitch;
            const double y = static_cast<double>(i / columns + 1) * pitch;
            if (options.Wires)
                Append(out, "    (wire (path F.Cu 250 %.0f %.0f %.0f %.0f) (net N%lld))\n", x,
                       y + 2000, x + pitch / 2, y + 2000, static_cast<long long>(i));
            if (options.Vias)
                Append(out, "    (via V600 %.0f %.0f (net N%lld))\n", x + pitch / 2, y + 2000,
                       static_cast<long long>(i));
        }
        out += "  )\n";
    }
    out += ")\n";
    if (counts)
        *counts = TSyntheticCounts{n, pads, nets, netted, 3};
    return out;
}
