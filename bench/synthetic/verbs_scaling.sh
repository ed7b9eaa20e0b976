#!/usr/bin/env bash
# Scaling of every harrow verb that walks a whole board: for each size N,
# bench_synthetic writes a design of N components (with --one-pin-nets, each
# with a net of its own holding one pin; else N - 1 nets of two pins), harrow
# imports it, and the board is shown, exported, checked and viewed, each in a
# fresh process. With --repeat R that is done R times, the sizes taking turns
# round after round so that a slow spell of the machine falls on every size
# alike, and each verb's fastest run at each size counts. Each verb's
# processor time (user + system, with the user part beside it), wall time
# and peak memory are printed with the ratios of its times to the previous
# size's (large boards are saved and opened on two threads, so the wall time
# is the shorter; the system part is mostly the kernel giving the process
# fresh pages, which grows with the peak memory). A processor-time
# ratio past the limit (X for sizes ten times apart, in proportion for other
# steps) is marked and makes the exit status 1: a loop over nets or
# components that has gone quadratic shows up here before a large design
# finds it.
#
#   bench/synthetic/verbs_scaling.sh [--bin DIR] [--one-pin-nets] [--limit X]
#                                    [--repeat R] [--keep DIR] [N...]
#
# DIR holds harrow and bench_synthetic (default build-rel/bin); sizes default
# to 10000 100000; X defaults to 12, R to 1. A time under 0.05 s counts as
# 0.05 s in a ratio (the clock's steps are 0.01 s). --keep leaves the designs
# and boards in DIR instead of a temporary folder.
set -euo pipefail
bin=build-rel/bin
limit=12
repeat=1
keep=
options=()
sizes=()
while (($#)); do
    case "$1" in
    --bin) bin="$2"; shift ;;
    --limit) limit="$2"; shift ;;
    --repeat) repeat="$2"; shift ;;
    --keep) keep="$2"; shift ;;
    --one-pin-nets) options+=("$1") ;;
    --help)
        sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'
        exit 0 ;;
    [0-9]*) sizes+=("$1") ;;
    *) echo "verbs_scaling.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done
((${#sizes[@]})) || sizes=(10000 100000)
[[ "$repeat" =~ ^[1-9][0-9]*$ ]] || { echo "verbs_scaling.sh: --repeat takes a whole number, not $repeat" >&2; exit 2; }
bin=$(cd "$bin" && pwd)
for program in harrow bench_synthetic; do
    [[ -x "$bin/$program" ]] || { echo "verbs_scaling.sh: no $program in $bin" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "verbs_scaling.sh: needs /usr/bin/time" >&2; exit 2; }
if [[ -n "$keep" ]]; then
    mkdir -p "$keep"
    work=$(cd "$keep" && pwd)
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
verbs=(import show export drc view)
# Fastest processor time (with the user part of that run), fastest wall time
# and largest peak (MB) of each size and verb, keyed "N_verb".
declare -A seconds userOf wallOf peak
for n in "${sizes[@]}"; do
    "$bin/bench_synthetic" "${options[@]}" --write "$work/synthetic$n.dsn" "$n" >/dev/null
done
for ((round = 0; round < repeat; ++round)); do
    for n in "${sizes[@]}"; do
        design="$work/synthetic$n.dsn"
        board="$work/synthetic$n.pcbdoc"
        for verb in "${verbs[@]}"; do
            case "$verb" in
            import) run=("$bin/harrow" import -q "$design" -o "$board") ;;
            view) run=("$bin/harrow" view "$board" "$work/synthetic$n.html") ;;
            *) run=("$bin/harrow" "$verb" "$board") ;;
            esac
            # drc exits 1 when the board has findings; only a failure to run counts.
            code=0
            /usr/bin/time -f "%U %S %M %e" -o "$work/time" "${run[@]}" >/dev/null 2>"$work/stderr" || code=$?
            if ((code > 1)); then
                echo "verbs_scaling.sh: harrow $verb failed at $n (exit $code):" >&2
                cat "$work/stderr" >&2
                exit 1
            fi
            # A run that exits non-zero has time's "Command exited ..." line first.
            read -r user system kilobytes wall < <(tail -n 1 "$work/time")
            key="${n}_$verb"
            read -r seconds[$key] userOf[$key] wallOf[$key] peak[$key] < <(awk -v u="$user" \
                -v s="$system" -v w="$wall" -v m="$((kilobytes / 1024))" \
                -v bs="${seconds[$key]:-}" -v bu="${userOf[$key]:-}" -v bw="${wallOf[$key]:-}" \
                -v bm="${peak[$key]:-0}" 'BEGIN {
                    t = u + s
                    if (bs != "" && bs + 0 < t) { t = bs; u = bu }
                    if (bw != "" && bw + 0 < w) w = bw
                    printf "%.2f %.2f %.2f %d\n", t, u, w, (bm + 0 > m ? bm : m) }')
        done
    done
done
# The ratio of two times, a time under 0.05 s counting as 0.05 s.
ratioOf() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / (b > 0.05 ? b : 0.05) }'
}
previousSize=
status=0
for n in "${sizes[@]}"; do
    line="$n components:"
    for verb in "${verbs[@]}"; do
        key="${n}_$verb"
        line+=" $verb ${seconds[$key]} s (user ${userOf[$key]} s, wall ${wallOf[$key]} s)"
        line+=" ${peak[$key]} MB"
        if [[ -n "$previousSize" ]]; then
            before="${previousSize}_$verb"
            read -r ratio over < <(awk -v a="${seconds[$key]}" -v b="${seconds[$before]}" \
                -v x="$limit" -v n="$n" -v p="$previousSize" 'BEGIN {
                    r = a / (b > 0.05 ? b : 0.05); allowed = x * (n / p) / 10
                    printf "%.1f %d\n", r, (r > allowed) }')
            userRatio=$(ratioOf "${userOf[$key]}" "${userOf[$before]}")
            wallRatio=$(ratioOf "${wallOf[$key]}" "${wallOf[$before]}")
            line+=" (${ratio}x"
            if ((over)); then
                line+=" OVER"
                status=1
            fi
            line+=", user ${userRatio}x, wall ${wallRatio}x)"
        fi
        line+=";"
    done
    echo "${line%;}"
    previousSize=$n
done
if ((repeat > 1)); then
    echo "(each figure the fastest of $repeat runs, the sizes in turns)"
fi
exit $status
