#!/usr/bin/env bash
# harrow import --autoroute on hand-made designs that once left connections
# open for no reason the design gives. One row per case: design file (in this
# folder) | text the routing run must print | open connections the rule check
# may find on the routed board. The routing never adds a violation.
set -euo pipefail
source "$(dirname "$0")/router_test_setup.sh"
here=$(cd "$(dirname "$0")" && pwd)

cases=(
# Through pins of 3 mil with the 10 mil drill the import gives them, 6 mil
# apart: the drills overlap, the copper does not, so every pair is routed.
"small_pins.dsn|4 of 4 connections routed|0"
# A row of fine-pitch pads turned by 45 degrees: a track fits onto each only
# straight along the pad's own axis, between its neighbours.
"turned_row.dsn|7 of 7 connections routed|0"
# A strip of board too narrow for the largest via of the design's list: the
# design's first via is the board's, a class's own via is its nets', and both
# fit.
"first_via.dsn|2 of 2 connections routed|0"
# Pads on one layer of a net that owns an inner plane: each goes down to the
# plane through a via of its own (three), net A through one.
"plane_vias.dsn|3 of 3 connections routed, 4 tracks, 4 vias|0"
)
cd "$work"
for row in "${cases[@]}"; do
    IFS='|' read -r file expect opens <<<"$row"
    rm -rf case && mkdir case
    cp "$here/$file" case/board.dsn
    "$harrow" import case/board.dsn -o case/plain.pcbdoc -q || fail "$file: plain import"
    before=$(counts case/plain.pcbdoc)
    before=${before##* }
    "$harrow" import case/board.dsn -o case/routed.pcbdoc --autoroute -q 2>case/route.log || true
    grep -qF "$expect" case/route.log || fail "$file: no \"$expect\" in: $(cat case/route.log)"
    read -r open after <<<"$(counts case/routed.pcbdoc)"
    [[ $open -le $opens ]] || fail "$file: $open open connections after routing, not $opens: $(cat case/route.log)"
    [[ $after -le $before ]] || fail "$file: the routing added violations ($before before, $after after)"
    echo "ok: $file"
done
# Each net's vias are its own: the class's via for net B, the board's for A.
rm -rf case && mkdir case
cp "$here/first_via.dsn" case/board.dsn
"$harrow" import case/board.dsn --autoroute --ses RenameDSN -q 2>/dev/null || true
vias=$(grep -o '(via [^ ]*' case/board.ses | sort | tr '\n' ' ')
[[ $vias == "(via Via[0-1]_1000:500_um (via Via[0-1]_500:250_um " ]] ||
    fail "first_via.dsn: the session's vias are: $vias"
echo "ok: first_via.dsn vias"
# A bottom layer of power, not routed: the vias still go through the whole
# stack, as the design's via does.
rm -rf case && mkdir case
sed 's/(layer B.Cu (type signal))/(layer B.Cu (type power))/' "$here/plane_vias.dsn" >case/board.dsn
"$harrow" import case/board.dsn -o case/routed.pcbdoc --autoroute -q 2>/dev/null || true
spans=$("$harrow" show case/routed.pcbdoc --json | grep -o '"LowLayer":[0-9]*,"HighLayer":[0-9]*' | sort | uniq -c | tr -s ' ')
[[ $spans == ' 3 "LowLayer":1,"HighLayer":32' ]] || fail "plane_vias.dsn, bottom of power: the vias span $spans"
echo "ok: plane_vias.dsn vias through the stack"
