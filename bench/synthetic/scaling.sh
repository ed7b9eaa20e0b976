#!/usr/bin/env bash
# Scaling of the whole import, each run in a fresh process as a user's import
# runs: every size is imported R times by bench_synthetic, and the ratio of
# the mean times of consecutive sizes is printed. Runs inside one
# process would let the smaller sizes reuse memory the process already holds
# while the largest size must take fresh pages from the system.
#
#   bench/synthetic/scaling.sh [BENCH_SYNTHETIC] [--repeat R] [--wires] [--vias] [N...]
set -euo pipefail
bench=build-rel/bin/bench_synthetic
repeat=3
options=()
sizes=()
while (($#)); do
    case "$1" in
    --repeat) repeat="$2"; shift ;;
    --wires | --vias) options+=("$1") ;;
    --help)
        sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
        exit 0 ;;
    [0-9]*) sizes+=("$1") ;;
    *) bench="$1" ;;
    esac
    shift
done
((${#sizes[@]})) || sizes=(10000 100000 1000000)
[[ -x "$bench" ]] || { echo "scaling.sh: no bench_synthetic at $bench" >&2; exit 2; }
# The sizes take turns, round after round, so that a slow spell of the
# machine falls on every size alike; each size's mean over the rounds is
# compared, and its fastest run is shown beside it.
declare -A total system fastest
for ((run = 0; run < repeat; ++run)); do
    for n in "${sizes[@]}"; do
        line=$("$bench" "${options[@]}" "$n")
        seconds=$(sed -n 's/.*: \([0-9.]*\) s processor time.*/\1/p' <<<"$line")
        kernel=$(sed -n 's/.*(\([0-9.]*\) s of it in the system).*/\1/p' <<<"$line")
        [[ -n "$seconds" && -n "$kernel" ]] || { echo "scaling.sh: no time from $bench $n" >&2; exit 1; }
        total[$n]=$(awk -v a="${total[$n]:-0}" -v b="$seconds" 'BEGIN { print a + b }')
        system[$n]=$(awk -v a="${system[$n]:-0}" -v b="$kernel" 'BEGIN { print a + b }')
        if [[ -z "${fastest[$n]:-}" ]] || awk -v a="$seconds" -v b="${fastest[$n]}" 'BEGIN { exit !(a < b) }'; then
            fastest[$n]=$seconds
        fi
    done
done
# The time outside the system is shown apart: on a virtual machine, fresh
# memory can cost the system more per byte the more of it a process takes.
previous=
previousUser=
for n in "${sizes[@]}"; do
    mean=$(awk -v a="${total[$n]}" -v r="$repeat" 'BEGIN { printf "%.3f", a / r }')
    user=$(awk -v a="${total[$n]}" -v k="${system[$n]}" -v r="$repeat" 'BEGIN { printf "%.3f", (a - k) / r }')
    line="$n components: mean $mean s ($user s outside the system), fastest ${fastest[$n]} s over $repeat runs"
    if [[ -n "$previous" ]]; then
        line+=$(awk -v a="$mean" -v b="$previous" -v u="$user" -v v="$previousUser" \
            'BEGIN { printf "; %.2fx the mean time of the previous size (%.2fx outside the system)", a / b, u / v }')
    fi
    echo "$line"
    previous=$mean
    previousUser=$user
done
