#!/usr/bin/env bash
# harrow import --autoroute on designs the router cannot (wholly) route: it
# finishes, says on stderr what it left open and why, and the rule check
# finds nothing on the routed board that the plain import did not have.
# One row per case: name | change to the hand-made design (a sed script) |
# text the routing run must print | exit status.
set -euo pipefail
source "$(dirname "$0")/router_test_setup.sh"

cases=(
"no open connection|s/(pins U1-1 U2-3)/(pins U1-1)/;s/(pins U1-4 U2-2)/(pins U1-4)/;s/(pins U1-2 U1-3 U2-4)/(pins U1-2)/|0 of 0 connections routed|0"
"no signal layer|s/(type signal)/(type power)/g|no signal layer|1"
"pads under a keepout|s/(via VIA_40_20)/(via VIA_40_20) (keepout (rect signal 1550 550 1750 950))/|pad U2-3 of net A lies under a keep-out|1"
"a connection to a pad under a keepout|s/(via VIA_40_20)/(via VIA_40_20) (keepout (rect signal 1550 550 1750 950))/|net A: U1-1 to U2-3 not routed: pad U2-3 lies under a keep-out|1"
"a keepout larger than the board|s/(via VIA_40_20)/(via VIA_40_20) (keepout (rect signal -4000 -4000 6000 6000))/|7 of the 7 pads to connect lie under keep-outs (pad U1-1 of net A, pad U1-2 of net C, pad U1-3 of net C, ...); they cannot be reached; one keep-out, 254.0 mm across, covers 7 of them|1"
"pads only on a layer not routed|s/(layer BOTTOM (type signal))/(layer BOTTOM (type power))/;s/(padstack ROUND60 (shape (circle TOP 60)) (shape (circle BOTTOM 60))/(padstack ROUND60 (shape (circle BOTTOM 60))/|7 pads to connect have copper on no routing layer (U1-1, U1-2, U1-3, ...); they cannot be reached|1"
"clearance larger than the board|s/(clearance 8)/(clearance 3000)/|the clearance to the board edge (3000 mil) leaves no room on the board|1"
"pads only on a plane layer|s/(layer BOTTOM (type signal))/(layer PWR (type power)) (layer BOTTOM (type signal))/;s/(padstack ROUND60 (shape (circle TOP 60)) (shape (circle BOTTOM 60))/(padstack ROUND60 (shape (circle PWR 60))/|open connections by reason: 4 pad with copper on no routing layer|1"
"a via wider than the pad pitch|s/(padstack VIA_40_20 (shape (circle TOP 40)) (shape (circle BOTTOM 40))/(padstack VIA_40_20 (shape (circle TOP 400)) (shape (circle BOTTOM 400))/|4 of 4 connections routed|0"
"32 signal layers|s/(layer BOTTOM (type signal))/(layer IN1 (type signal)) (layer IN2 (type signal)) (layer IN3 (type signal)) (layer IN4 (type signal)) (layer IN5 (type signal)) (layer IN6 (type signal)) (layer IN7 (type signal)) (layer IN8 (type signal)) (layer IN9 (type signal)) (layer IN10 (type signal)) (layer IN11 (type signal)) (layer IN12 (type signal)) (layer IN13 (type signal)) (layer IN14 (type signal)) (layer IN15 (type signal)) (layer IN16 (type signal)) (layer IN17 (type signal)) (layer IN18 (type signal)) (layer IN19 (type signal)) (layer IN20 (type signal)) (layer IN21 (type signal)) (layer IN22 (type signal)) (layer IN23 (type signal)) (layer IN24 (type signal)) (layer IN25 (type signal)) (layer IN26 (type signal)) (layer IN27 (type signal)) (layer IN28 (type signal)) (layer IN29 (type signal)) (layer IN30 (type signal)) (layer BOTTOM (type signal))/|4 of 4 connections routed|0"
"pad outside the outline|s/(place U2 1500 750 front 0)/(place U2 2500 750 front 0)/|pad U2-3 of net A lies outside the board|1"
)
cd "$work"
for row in "${cases[@]}"; do
    IFS='|' read -r name change expect status <<<"$row"
    rm -rf case && mkdir case
    sed "$change" "$design" >case/board.dsn
    cmp -s "$design" case/board.dsn && fail "$name: the change did not apply"
    "$harrow" import case/board.dsn -o case/plain.pcbdoc -q || fail "$name: plain import"
    before=$(counts case/plain.pcbdoc)
    before=${before##* }
    set +e
    "$harrow" import case/board.dsn -o case/routed.pcbdoc --autoroute -q 2>case/route.log
    got=$?
    set -e
    [[ $got -eq $status ]] || fail "$name: exit $got, not $status: $(cat case/route.log)"
    grep -qF "$expect" case/route.log || fail "$name: no \"$expect\" in: $(cat case/route.log)"
    after=$(counts case/routed.pcbdoc)
    after=${after##* }
    [[ $after -le $before ]] || fail "$name: the routing added violations ($before before, $after after)"
    echo "ok: $name ($(grep -c 'not routed' case/route.log || true) lines on what was not routed)"
done

# Jumper layers alone: the translator keeps the first and reports the stack
# empty (an error, exit 1); the router still finishes, says why nothing is
# routed, and lays no copper.
rm -rf case && mkdir case
sed 's/(type signal)/(type jumper)/g' "$design" >case/board.dsn
status=0
"$harrow" import case/board.dsn -o case/routed.pcbdoc --autoroute --ses RenameDSN -q \
    2>case/route.log || status=$?
[[ $status -eq 1 ]] || fail "only jumper layers: exit $status: $(cat case/route.log)"
grep -q "0 of 4 connections routed, 0 tracks, 0 vias" case/route.log ||
    fail "only jumper layers: $(cat case/route.log)"
grep -q "open connections by reason: 4 pad with copper on no routing layer" case/route.log ||
    fail "only jumper layers, no reason: $(cat case/route.log)"
echo "ok: only jumper layers"
