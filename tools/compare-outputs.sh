#!/usr/bin/env bash
# Runs two builds of harrow over the same sample of the design corpus and
# compares everything they write: the import's exit status and summary line,
# the board as `harrow show --json` dumps it, the board's check (`harrow drc
# --json`), the report (.rpt) and a session export (.ses). Lines that only
# carry the date or time of the run are left out of the comparison, and the
# run's folder out of the paths. Exits 0 when every output is the same, 1
# otherwise.
#
#   tools/compare-outputs.sh BEFORE AFTER
#
# BEFORE and AFTER are harrow executables or the bin/ folders holding them
# (each with its libcorvane.so and libdsnlink.so beside it). BEFORE may be
# "-" to reuse the outputs recorded by an earlier run in the same OUT folder;
# AFTER may be "-" to only record BEFORE's.
#
# Environment:
#   STEP    every STEP-th design of the sorted corpus list (default 3)
#   JOBS    designs run at once (default 2)
#   OUT     work folder (default /tmp/compare-outputs); before/ and after/
#           hold the normalised outputs, one set of files per design
#   CORPUS  folder of .dsn files (default ../shared/corpus beside the checkout)
#   LIMIT   seconds one harrow run may take (default 600)
#   BEFORE_ARGS, AFTER_ARGS
#           options added to each import of that build (e.g. AFTER_ARGS=--literal
#           compares a newer build's translator text with an older build's)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
step=${STEP:-3}
jobs=${JOBS:-2}
out=${OUT:-/tmp/compare-outputs}
corpus=${CORPUS:-$here/../shared/corpus}
limit=${LIMIT:-600}

harrow_of() {
    if [[ -d $1 ]]; then
        echo "$(cd "$1" && pwd)/harrow"
    else
        echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    fi
}

# The outputs of one design, normalised, in folder $2 as $3.*.
run_one() {
    local harrow=$1 dir=$2 name=$3 dsn=$4
    local -a extra
    read -r -a extra <<<"${RUN_ARGS:-}"
    cd "$dir"
    mkdir -p "work-$name"
    local status=0
    timeout "$limit" "$harrow" import "$dsn" -o "work-$name/$name.pcbdoc" "${extra[@]}" \
        >"$name.import.out" 2>"$name.import.err" || status=$?
    echo "exit $status" >>"$name.import.out"
    if [[ -f work-$name/$name.pcbdoc ]]; then
        status=0
        timeout "$limit" "$harrow" show "work-$name/$name.pcbdoc" --json \
            >"$name.show.json" 2>"$name.show.err" || status=$?
        echo "exit $status" >>"$name.show.err"
        status=0
        timeout "$limit" "$harrow" drc "work-$name/$name.pcbdoc" --json \
            >"$name.drc.out" 2>"$name.drc.err" || status=$?
        echo "exit $status" >>"$name.drc.err"
        sed "s|$dir/|RUN/|g" "$name.drc.out" >"$name.drc.json"
        rm -f "$name.drc.out"
    fi
    # The report's date and times are the only lines that change per run.
    if [[ -f work-$name/$name.rpt ]]; then
        grep -Ev '^(Date|Start Time|End +Time) *:' "work-$name/$name.rpt" >"$name.rpt" || true
    fi
    rm -rf "work-$name"
    mkdir -p "work-$name"
    status=0
    timeout "$limit" "$harrow" import "$dsn" -o "work-$name/$name.pcbdoc" "${extra[@]}" \
        --ses "work-$name/$name.ses" >"$name.ses.out" 2>"$name.ses.err" || status=$?
    echo "exit $status" >>"$name.ses.out"
    # The session header names the files by whole paths (the run's folder
    # stands as RUN) and may carry the time of the export.
    if [[ -f work-$name/$name.ses ]]; then
        sed "s|$dir/|RUN/|g" "work-$name/$name.ses" |
            grep -Ev '^[[:space:]]*\((stamp|date|time)[[:space:])]|[0-9]{1,2}:[0-9]{2}:[0-9]{2}' \
                >"$name.ses" || true
    fi
    if [[ -f work-$name/$name.rpt ]]; then
        grep -Ev '^(Date|Start Time|End +Time) *:' "work-$name/$name.rpt" >"$name.ses.rpt" || true
    fi
    rm -rf "work-$name"
}

if [[ ${1:-} == --one ]]; then
    shift
    run_one "$@"
    exit 0
fi

if [[ $# -ne 2 ]]; then
    sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi

list=$(mktemp)
trap 'rm -f "$list"' EXIT
find "$corpus" -name '*.dsn' | LC_ALL=C sort | awk -v s="$step" '(NR - 1) % s == 0' >"$list"
echo "$(wc -l <"$list") designs (every ${step}th of the corpus)"

record() {
    local harrow dir=$2
    export RUN_ARGS=$3
    harrow=$(harrow_of "$1")
    [[ -x $harrow ]] || { echo "no harrow at $harrow" >&2; exit 2; }
    rm -rf "$dir"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    echo "recording $harrow into $dir"
    local start=$SECONDS
    while read -r dsn; do
        local rel=${dsn#"$corpus"/}
        printf '%s\0%s\0' "${rel//\//__}" "$dsn"
    done <"$list" | xargs -0 -n 2 -P "$jobs" bash "$0" --one "$harrow" "$dir"
    echo "  $((SECONDS - start)) s"
}

[[ $1 == - ]] || record "$1" "$out/before" "${BEFORE_ARGS:-}"
[[ $2 == - ]] && exit 0 # only the outputs before
[[ -d $out/before ]] || { echo "no recorded outputs in $out/before" >&2; exit 2; }
record "$2" "$out/after" "${AFTER_ARGS:-}"

if diff -r "$out/before" "$out/after" >"$out/diff.txt"; then
    echo "identical: $(ls "$out/after" | wc -l) output files of $(wc -l <"$list") designs"
    exit 0
fi
echo "DIFFERENT: $(grep -c '^diff\|^Only' "$out/diff.txt" || true) files differ (see $out/diff.txt)"
exit 1
