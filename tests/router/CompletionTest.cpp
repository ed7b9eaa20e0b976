#include "router/Router.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

using Router::Pt;
using Router::RouteBoard;
using Router::RouteResult;

constexpr double kMm = 393700.8; // board units per millimetre

// A one-layer board 40 x 30 mm, 0.25 mm tracks at 0.2 mm clearance. Pad B-1
// lies in a pocket of net-less pads open to the left only; the short net A
// runs straight across the pocket's mouth and can go round the far side.
RouteBoard PocketBoard() {
    RouteBoard board;
    board.layers = {{1, "Top", Router::Direction::Horizontal}};
    board.outline = {{0, 0}, {40 * kMm, 0}, {40 * kMm, 30 * kMm}, {0, 30 * kMm}};
    board.clearance = 0.2 * kMm;
    auto pad = [&](int net, double x, double y, const std::string& name) {
        if (net >= 0)
            board.nets[net].pads.push_back(static_cast<int>(board.pads.size()));
        Router::RoutePad& p = board.pads.emplace_back();
        p.at = {x * kMm, y * kMm}, p.net = net, p.name = name;
        p.perLayer = {Router::PadShape(2, p.at.x, p.at.y, 0.8 * kMm, 0.8 * kMm, 0, 0)};
        Router::Obstacle& o = board.obstacles.emplace_back();
        o.shape = p.perLayer[0], o.net = net, o.clearance = board.clearance, o.layers = 1u;
    };
    for (const char* name : {"A", "B"}) {
        Router::RouteNet& net = board.nets.emplace_back();
        net.name = name, net.width = 0.25 * kMm, net.clearance = board.clearance;
    }
    pad(0, 19.5, 12.5, "A-1");
    pad(0, 19.5, 17.5, "A-2");
    pad(1, 24, 15, "B-1");
    pad(1, 10, 15, "B-2");
    int wall = 0;
    for (double t = 0; t <= 6.31; t += 0.9) {
        pad(Router::kNoNet, 21 + t, 11.5, "W-" + std::to_string(++wall));
        pad(Router::kNoNet, 21 + t, 18.5, "W-" + std::to_string(++wall));
        pad(Router::kNoNet, 27.3, 11.5 + t, "W-" + std::to_string(++wall));
        if (std::abs(11.5 + t - 15) > 1.2)
            pad(Router::kNoNet, 21, 11.5 + t, "W-" + std::to_string(++wall));
    }
    return board;
}

// Tracks nearer than the clearance to a pad or a track of another net.
int Violations(const RouteBoard& board, const RouteResult& result) {
    int count = 0;
    for (const auto& t : result.tracks) {
        const auto near = [&](int net, const Router::Shape& shape) {
            count += net != t.net && Router::SegmentShapeDistance(t.a, t.b, shape) <
                                         t.width / 2 + board.clearance - 1;
        };
        for (const Router::RoutePad& p : board.pads)
            near(p.net, p.perLayer[0]);
        for (const auto& u : result.tracks)
            near(u.net, {{u.a, u.b}, u.width / 2});
    }
    return count;
}

std::string Text(const RouteResult& result) {
    std::ostringstream out;
    out.precision(17);
    for (const auto& t : result.tracks)
        out << t.net << ' ' << t.a.x << ' ' << t.a.y << ' ' << t.b.x << ' ' << t.b.y << '\n';
    return out.str();
}

// With neither negotiation nor rip-up, one round routes A first and walls
// B-1 in; the completion pass takes A up, routes B first and A round the
// pocket, legally and the same way every time.
TEST(Router, CompletionTakesUpTheRouteThatBlocks) {
    const RouteBoard board = PocketBoard();
    Router::RouteOptions options;
    options.rounds = 1, options.negotiations = 0, options.ripUps = 0, options.completeOpen = 0;
    ASSERT_EQ(Router::Route(board, options).open, 1); // greedy
    options.completeOpen = 24;
    bool told = false;
    options.report = [&](const Router::RouteProgress& now) {
        told = told || now.stage.find("completion attempt 1, B-") == 0;
    };
    const RouteResult result = Router::Route(board, options);
    EXPECT_TRUE(told);
    EXPECT_EQ(result.open, 0) << (result.lines.empty() ? "" : result.lines.front());
    EXPECT_EQ(Router::CountOpen(board, result.tracks, result.vias), 0);
    EXPECT_EQ(Violations(board, result), 0);
    EXPECT_EQ(Text(result), Text(Router::Route(board, options)));
}

} // namespace
