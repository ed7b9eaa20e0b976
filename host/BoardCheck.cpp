#include "host/BoardCheck.h"

#include "host/Outcome.h"
#include "sdk/CorvaneCheck.h"
#include "sdk/ObjectKinds.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <vector>

namespace Harrow {
namespace {

using CheckFunctions = EngineLibrary;

const char* KindName(int32_t kind) {
    switch (kind) {
#define HARROW_KIND_NAME(name, ordinal)                                                            \
    case ordinal:                                                                                  \
        return #name;
        PCBAPI_OBJECT_KINDS(HARROW_KIND_NAME)
#undef HARROW_KIND_NAME
    }
    return "Object";
}

const char* ViolationName(int32_t kind) {
    switch (kind) {
    case CORVANE_VIOLATION_CLEARANCE:
        return "clearance";
    case CORVANE_VIOLATION_SHORT:
        return "short";
    case CORVANE_VIOLATION_OUTLINE:
        return "outline";
    case CORVANE_VIOLATION_HOLE:
        return "hole";
    default:
        return "keep-out";
    }
}

std::string Number(double v, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::string Mil(double units) {
    return Number(units / 10000.0, 3);
}
std::string Mm(double units) {
    return Number(units / 10000.0 * 0.0254, 4);
}
// "12.5 mil (0.3175 mm)"
std::string Length(double units) {
    return Mil(units) + " mil (" + Mm(units) + " mm)";
}

class Reader {
public:
    Reader(const CheckFunctions& f, CorvaneBoardCheck check, const PcbApiTable& api, intptr_t board)
        : f_(f), check_(check), api_(api), board_(board) {
        PcbApiDielectric top{}, bottom{};
        intptr_t window = 0, outline = 0;
        std::vector<char> name(PCBAPI_TEXT_CAPACITY);
        int32_t library = 0, cx = 0, cy = 0, unit = 0, current = 0, guide = 0;
        if (api_.PcbApi_QueryBoard)
            api_.PcbApi_QueryBoard(1, board, &window, name.data(), &library, &originX_, &originY_,
                                   &cx, &cy, &unit, &top, &bottom, &current, &guide, &outline);
    }
    std::string Net(int32_t net) const {
        if (net < 0)
            return "";
        const int32_t length = f_.CheckNetName(check_, net, nullptr, 0);
        if (length < 0)
            return "";
        std::string s(static_cast<size_t>(length) + 1, '\0');
        f_.CheckNetName(check_, net, s.data(), length + 1);
        s.resize(static_cast<size_t>(length));
        return s;
    }
    std::string LayerName(int32_t layer) const {
        std::vector<char> name(PCBAPI_TEXT_CAPACITY);
        PcbApiDielectric dielectric{};
        int32_t thickness = 0, used = 0, shown = 0, prev = 0, next = 0, mech = 0;
        if (!api_.PcbApi_QueryLayer ||
            api_.PcbApi_QueryLayer(1, layer, board_, name.data(), &thickness, &dielectric, &used,
                                   &shown, &prev, &next, &mech) != 1)
            return "layer " + std::to_string(layer);
        return name.data();
    }
    double X(int32_t x) const { return static_cast<double>(x) - originX_; }
    double Y(int32_t y) const { return static_cast<double>(y) - originY_; }

private:
    const CheckFunctions& f_;
    CorvaneBoardCheck check_;
    const PcbApiTable& api_;
    intptr_t board_;
    int32_t originX_ = 0, originY_ = 0;
};

std::string Place(const Reader& r, int32_t x, int32_t y) {
    return "(" + Mil(r.X(x)) + ", " + Mil(r.Y(y)) + ") mil (" + Mm(r.X(x)) + ", " + Mm(r.Y(y)) +
           ") mm";
}

std::string Who(const Reader& r, const CorvaneCheckObject& o) {
    const std::string net = r.Net(o.net);
    return std::string(KindName(o.kind)) + (net.empty() ? " (no net)" : " " + net);
}

std::string JsonPoint(const Reader& r, int32_t x, int32_t y) {
    return "\"x_mil\":" + Mil(r.X(x)) + ",\"y_mil\":" + Mil(r.Y(y)) + ",\"x_mm\":" + Mm(r.X(x)) +
           ",\"y_mm\":" + Mm(r.Y(y));
}

std::string JsonObject(const Reader& r, const CorvaneCheckObject& o) {
    return "{\"kind\":" + JsonString(KindName(o.kind)) +
           ",\"net\":" + (o.net < 0 ? std::string("null") : JsonString(r.Net(o.net))) + "}";
}

} // namespace

bool PrintBoardCheck(std::ostream& out, EngineLibrary& engine, const PcbApiTable& api,
                     intptr_t board, const std::string& shownPath, const std::string& wholePath,
                     bool json) {
    const EngineLibrary& f = engine;
    std::array<char, 512> error{};
    const CorvaneBoardCheck check = f.CheckBoard(board, CORVANE_CHECK_EVERYTHING, error.data(),
                                                 static_cast<int32_t>(error.size()));
    if (!check)
        throw HostError(std::string("cannot check the board: ") + error.data());
    struct Freed {
        const EngineLibrary& f;
        CorvaneBoardCheck c;
        ~Freed() { f.FreeCheck(c); }
    } freed{f, check};
    CorvaneCheckSummary sum{};
    f.CheckSummaryOf(check, &sum);
    Reader r(f, check, api, board);

    const bool clean = sum.opens == 0 && sum.violations == 0;
    if (json) {
        out << "{\"verb\":\"drc\",\"input\":" << JsonString(wholePath) << ",\"summary\":{"
            << "\"nets\":" << sum.nets << ",\"nets_with_pads\":" << sum.netsWithPads
            << ",\"nets_connected\":" << sum.netsConnected << ",\"groups\":" << sum.groups
            << ",\"opens\":" << sum.opens << ",\"violations\":" << sum.violations
            << ",\"clearance\":" << sum.clearances << ",\"short\":" << sum.shorts
            << ",\"outline\":" << sum.outlines << ",\"keepout\":" << sum.keepouts
            << ",\"hole\":" << sum.holes << ",\"copper_objects\":" << sum.copperObjects
            << ",\"board_clearance_mil\":" << Mil(sum.defaultClearance)
            << ",\"hole_gap_mil\":" << Mil(sum.holeGap) << "},\"opens\":[";
        for (int32_t i = 0; i < sum.opens; ++i) {
            CorvaneOpenConnection o{};
            f.CheckOpen(check, i, &o);
            out << (i ? "," : "") << "{\"net\":" << JsonString(r.Net(o.net)) << ",\"from\":{"
                << JsonPoint(r, o.x1, o.y1) << ",\"layer\":" << JsonString(r.LayerName(o.layer1))
                << ",\"kind\":" << JsonString(KindName(o.from.kind)) << "},\"to\":{"
                << JsonPoint(r, o.x2, o.y2) << ",\"layer\":" << JsonString(r.LayerName(o.layer2))
                << ",\"kind\":" << JsonString(KindName(o.to.kind))
                << "},\"length_mil\":" << Mil(o.length) << ",\"length_mm\":" << Mm(o.length) << "}";
        }
        out << "],\"violations\":[";
        for (int32_t i = 0; i < sum.violations; ++i) {
            CorvaneViolation v{};
            f.CheckViolation(check, i, &v);
            out << (i ? "," : "") << "{\"kind\":" << JsonString(ViolationName(v.kind))
                << ",\"layer\":" << JsonString(r.LayerName(v.layer)) << ","
                << JsonPoint(r, v.x, v.y) << ",\"actual_mil\":" << Mil(v.actual)
                << ",\"actual_mm\":" << Mm(v.actual) << ",\"required_mil\":" << Mil(v.required)
                << ",\"required_mm\":" << Mm(v.required) << ",\"first\":" << JsonObject(r, v.first)
                << ",\"second\":" << JsonObject(r, v.second) << "}";
        }
        out << "],\"exit\":" << (clean ? kExitDone : kExitReportErrors) << "}" << std::endl;
        return clean;
    }
    for (int32_t i = 0; i < sum.opens; ++i) {
        CorvaneOpenConnection o{};
        f.CheckOpen(check, i, &o);
        out << "open " << r.Net(o.net) << ": " << KindName(o.from.kind) << " "
            << Place(r, o.x1, o.y1) << " " << r.LayerName(o.layer1) << " to " << KindName(o.to.kind)
            << " " << Place(r, o.x2, o.y2) << " " << r.LayerName(o.layer2) << ", "
            << Length(o.length) << "\n";
    }
    for (int32_t i = 0; i < sum.violations; ++i) {
        CorvaneViolation v{};
        f.CheckViolation(check, i, &v);
        out << ViolationName(v.kind) << " on " << r.LayerName(v.layer) << " at "
            << Place(r, v.x, v.y) << ": " << Who(r, v.first) << " - " << Who(r, v.second);
        if (v.kind == CORVANE_VIOLATION_CLEARANCE || v.kind == CORVANE_VIOLATION_HOLE ||
            (v.kind == CORVANE_VIOLATION_OUTLINE && v.actual > 0))
            out << ", " << Length(v.actual) << " < " << Length(v.required);
        else if (v.kind == CORVANE_VIOLATION_OUTLINE)
            out << ", outside the board";
        out << "\n";
    }
    out << shownPath << ": " << sum.nets << " nets (" << sum.netsWithPads << " with pads, "
        << sum.netsConnected << " connected), " << sum.opens << " open connections, "
        << sum.violations << " violations (" << sum.clearances << " clearance, " << sum.shorts
        << " short, " << sum.outlines << " outline, " << sum.keepouts << " keep-out, " << sum.holes
        << " hole)" << std::endl;
    return clean;
}

} // namespace Harrow
