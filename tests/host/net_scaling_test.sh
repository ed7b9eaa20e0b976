#!/usr/bin/env bash
# Every verb that walks a whole board takes about ten times as long for a
# design ten times as large: designs of N and 10 N components, each pin 1 on
# a net of its own (as many nets as components, so that any loop per net
# weighs as much as one per component), are imported, shown, exported,
# checked and viewed, and each verb's processor time at 10 N may be at most
# LIMIT times its time at N. The limit is loose, for a shared machine and a
# sanitized build; a loop over all nets for every net passes it by far. Run
# by CTest:
#   net_scaling_test.sh HARROW [N] [LIMIT]
set -u
harrow=$(realpath "$1")
small=${2:-2000}
limit=${3:-25}
if [[ ! -x /usr/bin/time ]]; then
  echo "net_scaling_test: no /usr/bin/time, nothing measured"
  exit 0
fi
scratch=$(mktemp -d /tmp/harrow-net-scaling-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# A design of n components on a grid, pin 1 of each on a net of its own.
design() {
  awk -v n="$1" 'BEGIN {
    columns = int(sqrt(n)) + 1; side = (columns + 1) * 5000
    print "(pcb nets" n
    print "  (parser (string_quote \") (space_in_quoted_tokens on) (host_cad synthetic))"
    print "  (resolution um 10)\n  (unit um)\n  (structure"
    print "    (layer F.Cu (type signal)) (layer B.Cu (type signal))"
    print "    (boundary (rect pcb 0 0 " side " " side "))"
    print "    (via V600)\n    (rule (width 250) (clearance 200))\n  )"
    print "  (placement\n    (component R0603"
    for (i = 0; i < n; ++i)
      print "      (place C" i " " (i % columns + 1) * 5000 " " (int(i / columns) + 1) * 5000 " front 0)"
    print "    )\n  )\n  (library"
    print "    (image R0603 (outline (rect signal -1500 -800 1500 800))"
    print "      (pin SMD1 1 -800 0) (pin SMD1 2 800 0))"
    print "    (padstack SMD1 (shape (rect F.Cu -450 -400 450 400)) (attach off))"
    print "    (padstack V600 (shape (circle F.Cu 600)) (shape (circle B.Cu 600)) (attach off))"
    print "  )\n  (network"
    for (i = 0; i < n; ++i)
      print "    (net N" i " (pins C" i "-1))"
    print "  )\n)"
  }'
}

# Processor time (user + system) of one harrow run; drc's exit 1 (findings)
# counts as a run.
seconds() {
  /usr/bin/time -f "%U %S" -o "$scratch/time" "$harrow" "$@" </dev/null >/dev/null 2>"$scratch/err"
  local rc=$?
  if ((rc > 1)); then
    echo "FAIL: harrow $* exited $rc: $(cat "$scratch/err")" >&2
    exit 1
  fi
  awk '{ printf "%.2f", $1 + $2 }' "$scratch/time"
}

declare -A took
for n in "$small" $((small * 10)); do
  design "$n" >"$scratch/nets$n.dsn"
  board="$scratch/nets$n.pcbdoc"
  took[import$n]=$(seconds import -q "$scratch/nets$n.dsn" -o "$board") || exit 1
  took[show$n]=$(seconds show "$board") || exit 1
  took[export$n]=$(seconds export "$board") || exit 1
  took[drc$n]=$(seconds drc "$board") || exit 1
  took[view$n]=$(seconds view "$board" "$scratch/nets$n.html") || exit 1
done
failures=0
for verb in import show export drc view; do
  a=${took[$verb$small]}
  b=${took[$verb$((small * 10))]}
  # Times under 0.05 s count as 0.05 s: the clock steps by 0.01 s.
  if awk -v a="$a" -v b="$b" -v x="$limit" 'BEGIN { exit !(b / (a > 0.05 ? a : 0.05) > x) }'; then
    echo "FAIL: $verb took $b s for $((small * 10)) nets, $a s for $small: more than ${limit}x" >&2
    failures=$((failures + 1))
  else
    echo "$verb: $a s for $small nets, $b s for $((small * 10))"
  fi
done
exit $((failures > 0))
