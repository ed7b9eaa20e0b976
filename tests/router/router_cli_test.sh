#!/usr/bin/env bash
# harrow import --autoroute end to end on a small hand-made two-layer design:
# every connection made, the rule check finds nothing the routing added, the
# session file holds the wires, and a second run writes the same bytes.
set -euo pipefail
source "$(dirname "$0")/router_test_setup.sh"

cp "$design" "$work/board.dsn"
cd "$work"
"$harrow" import board.dsn -o unrouted.pcbdoc -q || fail "plain import"
before=$(counts unrouted.pcbdoc)
[[ ${before%% *} -gt 0 ]] || fail "the unrouted board has no open connection ($before)"

"$harrow" import board.dsn --autoroute --ses RenameDSN 2>route.log || fail "routing run: $(cat route.log)"
grep -q "4 of 4 connections routed" route.log || fail "not all routed: $(cat route.log)"
after=$(counts board.pcbdoc)
[[ ${after%% *} -eq 0 ]] || fail "open connections left: $after"
[[ ${after##* } -eq ${before##* } ]] || fail "the routing added violations: before $before, after $after"
grep -q "(wire (path" board.ses || fail "no wires in the session file"
cp board.ses first.ses
"$harrow" import board.dsn --autoroute --ses RenameDSN -q --force 2>/dev/null || fail "second run"
cmp -s first.ses board.ses || fail "two runs wrote different session files"
grep -q "PCB:Autoroute: round 1 done: [0-9]* connections routed, [0-9]* open, [0-9]* vias" route.log ||
    fail "no progress line for the first round: $(cat route.log)"

# Each effort level routes the board whole and writes the same bytes twice.
for effort in low high; do
    "$harrow" import board.dsn --autoroute --route-effort "$effort" --ses RenameDSN -q --force \
        2>effort.log || fail "routing at $effort effort: $(cat effort.log)"
    grep -q "4 of 4 connections routed" effort.log || fail "$effort effort: $(cat effort.log)"
    cp board.ses "$effort.ses"
    "$harrow" import board.dsn --autoroute --route-effort="$effort" --ses RenameDSN -q --force \
        2>/dev/null || fail "second run at $effort effort"
    cmp -s "$effort.ses" board.ses || fail "two runs at $effort effort wrote different files"
done
# An unknown level, and an effort without routing, are refused before anything is read.
status=0
"$harrow" import board.dsn --autoroute --route-effort medium -q 2>bad.log || status=$?
[[ $status -eq 2 ]] && grep -q "low, normal or high" bad.log || fail "--route-effort medium: exit $status"
status=0
"$harrow" import board.dsn --route-effort high -q 2>bad.log || status=$?
[[ $status -eq 2 ]] && grep -q "needs --autoroute" bad.log || fail "effort without routing: exit $status"

# Ctrl-C while a big board routes: the run ends soon with what is routed so
# far and still writes its session file (routing that board whole takes
# minutes). Needs the corpus beside the checkout.
big="$(cd "$(dirname "$design")/../.." && pwd)/../shared/corpus/fixtures/Issue015-StackOverflow.dsn"
if [[ -f $big ]]; then
    cp "$big" big.dsn
    "$harrow" import big.dsn --autoroute --ses RenameDSN 2>big.log &
    pid=$!
    sleep 6
    kill -INT "$pid"
    for _ in $(seq 1 120); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"
        fail "still routing 60 s after Ctrl-C"
    fi
    wait "$pid" || true
    if grep -q "PCB:Autoroute" big.log; then
        grep -q "connections routed, .* (interrupted)" big.log || fail "routing not interrupted: $(tail -3 big.log)"
        grep -q "(wire (path" big.ses || fail "no session file after the interrupt"
    else
        echo "router cli: Ctrl-C arrived before routing began; interrupt case not checked"
    fi
else
    echo "router cli: corpus absent, interrupt case skipped"
fi
echo "router cli: ok ($after)"
