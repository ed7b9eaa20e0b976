#!/usr/bin/env bash
# Scaling of every harrow verb that walks a whole board: for each size N,
# bench_synthetic writes a design of N components (with --one-pin-nets, each
# with a net of its own holding one pin; else N - 1 nets of two pins), harrow
# imports it, and the board is shown, exported, checked and viewed, each in a
# fresh process. Each verb's processor time (user + system), wall time and
# peak memory are printed with the ratios of its times to the previous
# size's (large boards are saved and opened on two threads, so the wall time
# is the shorter). A processor-time ratio past the limit (X for sizes ten
# times apart, in proportion for other steps) is marked and makes the exit
# status 1: a loop over nets or components that has gone quadratic shows up
# here before a large design finds it.
#
#   bench/synthetic/verbs_scaling.sh [--bin DIR] [--one-pin-nets] [--limit X]
#                                    [--keep DIR] [N...]
#
# DIR holds harrow and bench_synthetic (default build-rel/bin); sizes default
# to 10000 100000; X defaults to 12. A time under 0.05 s counts as 0.05 s in
# a ratio (the clock's steps are 0.01 s). --keep leaves the designs and boards
# in DIR instead of a temporary folder.
set -euo pipefail
bin=build-rel/bin
limit=12
keep=
options=()
sizes=()
while (($#)); do
    case "$1" in
    --bin) bin="$2"; shift ;;
    --limit) limit="$2"; shift ;;
    --keep) keep="$2"; shift ;;
    --one-pin-nets) options+=("$1") ;;
    --help)
        sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'
        exit 0 ;;
    [0-9]*) sizes+=("$1") ;;
    *) echo "verbs_scaling.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done
((${#sizes[@]})) || sizes=(10000 100000)
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
declare -A previous previousWall
previousSize=
status=0
for n in "${sizes[@]}"; do
    design="$work/synthetic$n.dsn"
    board="$work/synthetic$n.pcbdoc"
    "$bin/bench_synthetic" "${options[@]}" --write "$design" "$n" >/dev/null
    line="$n components:"
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
        seconds=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
        line+=" $verb $seconds s (wall $wall s) $((kilobytes / 1024)) MB"
        if [[ -n "$previousSize" ]]; then
            read -r ratio over < <(awk -v a="$seconds" -v b="${previous[$verb]}" -v x="$limit" \
                -v n="$n" -v p="$previousSize" 'BEGIN {
                    r = a / (b > 0.05 ? b : 0.05); allowed = x * (n / p) / 10
                    printf "%.1f %d\n", r, (r > allowed) }')
            wallRatio=$(awk -v a="$wall" -v b="${previousWall[$verb]}" \
                'BEGIN { printf "%.1f", a / (b > 0.05 ? b : 0.05) }')
            line+=" (${ratio}x, wall ${wallRatio}x"
            if ((over)); then
                line+=" OVER"
                status=1
            fi
            line+=")"
        fi
        line+=";"
        previous[$verb]=$seconds
        previousWall[$verb]=$wall
    done
    echo "${line%;}"
    previousSize=$n
done
exit $status
