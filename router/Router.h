// The router: a maze search on a square grid over the board's signal layers
// (eight directions on a layer, through vias between layers), A* with costs
// for length, vias, bends and travel against a layer's preferred direction.
// Each net's pads are joined along a minimum spanning tree. The first round
// (the second on a big board, after a plain one) negotiates: nets are routed as if the others were
// not there, nodes that several nets want grow dearer pass by pass until the routes part, and the
// routes are then committed net by net. The later rounds route the
// connections shortest first against what is already there, whatever a round
// left open moved to the front of the next; the best round is kept. Every track and via is checked
// exactly against the real shapes before it is kept, so what the grid cannot place legally stays
// open. A pad no grid node reaches is left straight out along its axis,
// exactly at the clearance from close neighbours, to a bend onto the grid.
// The search's estimate of what is left counts the layer's direction
// and the via it may take. A connection whose target is walled in is given
// up after a flood around the target, as far as the search has gone itself,
// instead of a search of the whole board; the
// negotiation stops when it no longer thins out the crowded nets or has
// searched sixteen times as much as in its first pass, and the
// plain rounds stop, on a board where they are dear, after a few that bring
// nothing. After the rounds, a connection still open is searched for on the
// bare board, crossing the routes already there at a cost; the routes that
// lie across that path are taken up (with those of their nets laid after
// them), and the connection is routed before them; a routing that leaves
// fewer open is kept, and every connection still open has another go at it;
// each gain stretches the rip-up's budget, so it goes on while it gains.
// When none gains any more, the same is tried with the bare board's
// shortest path and whole nets taken up, then with crossings dearer. When
// few connections are left open after that, a completion pass takes up more
// for each: the routes across a corridor around its path, routed again after
// it in a few orders and, last, negotiated among themselves. On a
// big board the search weighs its estimate of what is left above
// its strict value, which makes routes a little longer and the search far
// narrower; less so while negotiating, where the detours around crowded
// nodes are the point, and not in the rip-up, whose few searches decide
// what is taken up. The bare board's distance field and ways onto the pads
// are built once and copied back for each round and each rip-up attempt.
// The grid is a whole fraction of 25 mil, or, where a part has many pins
// at a finer pitch the grid misses (0.4 mm, 0.5 mm) and a track and its
// clearance fit between them side by side, a whole fraction of that pitch
// laid through those pins; where many pads are turned at an angle (parts
// along a slant) it is a third finer; grid lines that pass within a few
// board units of pad centres are moved onto them, and every node lies on
// whole board units, as the routes are written. Along a line through pad
// centres, and from or to a node on one, a track may keep exactly the
// clearance, as one straight out of a pad does: pins at 0.4 mm leave side
// by side. Before the grid, pads of a net close to each other are linked
// straight from centre to centre (or with one bend) where that keeps the
// clearance, which reaches neighbouring pins of one net that no grid line
// gets onto. Before those links, each pad on one layer of a net that owns
// an inner plane goes down to it through a via close by; the plane joins
// the drills of its net that land inside the working area.
// Budgets count search steps, never time: the same board always gives the
// same result.
#pragma once

#include "router/RouteBoard.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace Router {

// What the router tells as it goes: which stage it is in (a round, a
// negotiation pass, the rip-up, the clean-up) and the routing that stage
// holds now.
struct RouteProgress {
    std::string stage;
    int routed = 0; // connections
    int open = 0;
    int vias = 0;
};

// How long the router keeps improving a routing, in search steps and
// attempts, never in time.
enum class Effort { Low, Normal, High };

struct RouteOptions {
    int rounds = 12;                    // routing rounds (each from a clean board)
    long expansionsPerSearch = 2000000; // search steps one connection may take
    double pitch = 0;                   // grid pitch; 0 picks one from widths and clearance
    double safety = 400;                // extra clearance kept against rounding (board units)
    double viaCost = 40;                // in grid steps
    double bendCost = 0.4;              // in grid steps
    double wrongWayFactor = 0.5;        // extra cost of a step against the layer's direction
    int negotiations = 30;              // passes of negotiated congestion (0: none)
    double presentStart = 0.5;          // cost of a node another net's route keeps, first pass
    double presentGrowth = 1.5;         // how that cost grows from pass to pass
    double historyStep = 0.4;           // what each pass a node stays fought over adds to it
    int ripUps = 200;                   // rip-up attempts after the rounds (0: none)
    long ripUpSteps = 32000000;         // search steps the rip-up may take at most
    double ripUpShare = 1;              // ... and no more than the rounds took, times this
    double ripUpGrowth = 3;             // how far gains stretch the rip-up's budget (1: not)
    int ripUpWays = 7;                  // ways of choosing what to take up, tried in turn (1 to 7)
    int staleRounds = 4;                // plain rounds without gain that end the rounds
    double bigBoardEstimate = 1.5;      // weight of the search's estimate on a big board (1: exact)
    double bigBoardNegotiationEstimate = 1.2; // the same while negotiating, where detours count

    // The completion pass after the rip-up, while at most this many
    // connections are open (or a twentieth of them; 0: no pass): attempts
    // per connection open as it starts and again after each gain, the
    // attempts and the search steps it may take at most.
    int completeOpen = 24;
    int completeTries = 1;
    int completeAttempts = 60;
    long completeSteps = 64000000;

    std::function<bool()> cancelled; // asked between connections
    std::function<void(int done, int total)> progress;
    // Told at the end of every stage and, within a long one, after every
    // few million steps of work.
    std::function<void(const RouteProgress&)> report;
};

// The options of an effort level; Normal is RouteOptions{}.
RouteOptions OptionsFor(Effort effort);
// "low", "normal" or "high"; false for anything else.
bool ParseEffort(const std::string& word, Effort& effort);

struct RouteResult {
    std::vector<RouteTrack> tracks;
    std::vector<RouteVia> vias;
    int connections = 0; // pad-to-pad connections of the board's nets
    int open = 0;        // left open
    double length = 0;
    bool cancelled = false;
    double pitch = 0;
    std::vector<std::string> lines; // what was not routed and why
    // The connections left open, counted by why: the reason's words, in
    // their order.
    std::vector<std::pair<std::string, int>> openByReason;
};

RouteResult Route(const RouteBoard& board, const RouteOptions& options = {});

// Per pad, the pad that stands for the group of pads of its net already
// joined by the board's own copper of that net (tracks, arcs, vias, fills;
// pads touching each other): the smallest index in the group. The router
// does not route what is joined already.
std::vector<int> JoinedByCopper(const RouteBoard& board);

// Connections still open in `board` with `tracks` and `vias` added: pads of a
// net joined through copper of that net (tracks, vias and the pads
// themselves, by exact overlap) count as connected. Answers the number of
// missing links, summed over nets.
int CountOpen(const RouteBoard& board, const std::vector<RouteTrack>& tracks,
              const std::vector<RouteVia>& vias);

} // namespace Router
