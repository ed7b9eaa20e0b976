#!/usr/bin/env bash
# Builds harrow, the engine, the plug-in and the benchmarks optimised with
# GCC's profile of a training run: a first build counts where the time goes
# while it translates the training designs, a second build of the same tree
# lays out and inlines the code for what was counted, across files too (both
# link with whole-program optimisation). The training: the
# bundled example and synthetic designs of the shapes the benchmarks make
# (components with wires and vias, one-pin nets), each imported, shown,
# checked and exported with harrow, the in-process import, export and
# tokenizer benchmarks on them, and the in-process import of the corpus of
# real designs where it is (DSNLINK_CORPUS_DIR, ../shared/corpus unless set):
# real designs take other paths than synthetic ones, and a profile of them
# makes the import of designs it never saw faster.
#
# usage: tools/pgo-build.sh [BUILD_DIR]   (build-pgo unless given)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  --help | -h)
    sed -n '2,/^$/s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
  -*)
    echo "usage: tools/pgo-build.sh [BUILD_DIR]" >&2
    exit 2
    ;;
esac
if [ $# -gt 1 ]; then
  echo "usage: tools/pgo-build.sh [BUILD_DIR]" >&2
  exit 2
fi
bash tools/deps.sh --bench
build=${1:-build-pgo}
targets=(harrow corvane dsnlink bench_phases bench_synthetic bench_export bench_corpus bench_tokenize)

# Both builds link with whole-program optimisation: with the profile it
# inlines across the engine's and the reader's files where the training ran
# (without a profile it made the reader slower; see the README).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDSNLINK_TESTS=OFF -DDSNLINK_BENCH=ON \
  -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON -DDSNLINK_PGO=generate >/dev/null
profile=$(sed -n 's/^DSNLINK_PGO_DIR:PATH=//p' "$build/CMakeCache.txt")
corpus=$(sed -n 's/^DSNLINK_CORPUS_DIR:PATH=//p' "$build/CMakeCache.txt")
rm -rf "$profile"
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

bin="$build/bin"
work="$build/pgo-training"
rm -rf "$work"
mkdir -p "$work"
echo "pgo-build: training in $work" >&2
"$bin/bench_synthetic" --wires --vias --write "$work/wired.dsn" 20000 >/dev/null
"$bin/bench_synthetic" --one-pin-nets --write "$work/nets.dsn" 20000 >/dev/null
"$bin/bench_export" 200000 >/dev/null
cp examples/demo.dsn "$work/"
for dsn in "$work/demo.dsn" "$work/wired.dsn" "$work/nets.dsn"; do
  board="${dsn%.dsn}.pcbdoc"
  # Exit 1: saved, with errors in the report (drc: with findings).
  "$bin/harrow" import -q "$dsn" -o "$board" --force || [ $? -eq 1 ]
  "$bin/harrow" show "$board" --json >"${board%.pcbdoc}.json"
  "$bin/harrow" drc "$board" >/dev/null || [ $? -eq 1 ]
  "$bin/harrow" export "$board" -o "$work/" >/dev/null
done
"$bin/bench_phases" --repeat 1 --top 0 "$work" >/dev/null
"$bin/bench_tokenize" "$work/wired.dsn" >/dev/null
if [ -d "$corpus" ]; then
  echo "pgo-build: training on the corpus in $corpus" >&2
  "$bin/bench_phases" --repeat 1 --top 0 "$corpus" >/dev/null
else
  echo "pgo-build: no corpus at $corpus; trained on the synthetic designs alone" >&2
fi

cmake -S . -B "$build" -DDSNLINK_PGO=use >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
# The optimised build must make the boards the counting build made.
for dsn in "$work/demo.dsn" "$work/wired.dsn"; do
  board="${dsn%.dsn}.pcbdoc"
  "$bin/harrow" import -q "$dsn" -o "$board" --force || [ $? -eq 1 ]
  if ! "$bin/harrow" show "$board" --json | cmp -s - "${board%.pcbdoc}.json"; then
    echo "pgo-build: the optimised harrow made another board of $dsn than the training build" >&2
    exit 1
  fi
done
echo "pgo-build: $bin holds the optimised harrow, libcorvane.so, libdsnlink.so and benchmarks" >&2
