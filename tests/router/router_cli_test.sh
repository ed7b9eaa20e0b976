#!/usr/bin/env bash
# harrow import --autoroute end to end on a small hand-made two-layer design:
# every connection made, the rule check finds nothing the routing added, the
# session file holds the wires, and a second run writes the same bytes.
set -euo pipefail
harrow=$1
design=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# "OPENS VIOLATIONS" of a board by harrow drc (which exits 1 when it finds any).
counts() {
    local json
    json=$("$harrow" drc "$1" --json || true)
    python3 -c 'import json,sys; s=json.loads(sys.argv[1])["summary"]; print(s["opens"], s["violations"])' "$json"
}

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
echo "router cli: ok ($after)"
