#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (in build-fuzz) and runs
# each for a short while on its seeds: the real designs of ../shared/corpus
# (the small ones), the documents harrow writes when it imports some of them,
# and the hand-made edits in fuzz/seeds. A crash, a leak, a timeout or a
# failed check of any target fails the script; the input that did it is kept
# in build-fuzz/fuzz-work/<target>/.
#
#   FUZZ_SECONDS   seconds per target (default 30)
#   FUZZ_TARGETS   the targets to run (default: all four)
#   FUZZ_JOBS      parallel fuzzing processes per target (default 1)
#   BUILD_DIR      the build folder (default build-fuzz)
#
# What each run found stays in build-fuzz/fuzz-work/<target>/corpus and is
# read again by the next run, so long runs build on earlier ones.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh clang libclang-rt-dev

root=$(pwd)
build=${BUILD_DIR:-build-fuzz}
case $build in /*) ;; *) build="$root/$build" ;; esac
seconds=${FUZZ_SECONDS:-30}
jobs=${FUZZ_JOBS:-1}
targets=${FUZZ_TARGETS:-"fuzz_tokenize fuzz_import fuzz_document fuzz_document_edits"}
corpus=../shared/corpus

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDSNLINK_FUZZ=ON \
  -DDSNLINK_TESTS=OFF -DDSNLINK_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target $targets harrow

work="$build/fuzz-work"
seeds="$work/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/dsn" "$seeds/document"

# Design seeds: the bundled example and the corpus designs up to 16 KB.
cp examples/demo.dsn "$seeds/dsn/"
if [ -d "$corpus" ]; then
  n=0
  while IFS= read -r -d '' f; do
    n=$((n + 1))
    cp "$f" "$seeds/dsn/$n-$(basename "$f")"
  done < <(find "$corpus" -name '*.dsn' -size -16k -print0 | sort -z)
else
  echo "fuzz: $corpus not found; design seeds are the bundled example only" >&2
fi

# Document seeds: what harrow writes when it imports a few of the designs.
imports="$work/imports"
rm -rf "$imports"
mkdir -p "$imports"
i=0
for f in "$root/examples/demo.dsn" $(find "$seeds/dsn" -name '*.dsn' | sort | awk 'NR % 10 == 1'); do
  i=$((i + 1))
  cp "$f" "$imports/d$i.dsn"
  if ASAN_OPTIONS=detect_leaks=0 "$build/bin/harrow" import "$imports/d$i.dsn" >/dev/null 2>&1 &&
    [ -f "$imports/d$i.pcbdoc" ]; then
    cp "$imports/d$i.pcbdoc" "$seeds/document/"
  fi
done
echo "fuzz: $(ls "$seeds/dsn" | wc -l) design seeds, $(ls "$seeds/document" | wc -l) document seeds"

# The keyword dictionary, from the reader's one keyword list.
dict="$work/specctra.dict"
sed -nE -e 's/^SPECCTRA_KEYWORD\(([A-Za-z_0-9]+), [0-9]+\)$/"\1"/p' \
  -e 's/^SPECCTRA_KEYWORD_(SPELLED|ALSO)\([A-Za-z_0-9]+, ("[^"]+").*$/\2/p' \
  specctra/SpecctraKeywords.def | sort -u >"$dict"
[ -s "$dict" ] || { echo "fuzz: no keywords found for the dictionary" >&2; exit 1; }
printf '"("\n")"\n"\\""\n"'"'"'"\n"# "\n' >>"$dict"

status=0
for target in $targets; do
  dir="$work/$target"
  mkdir -p "$dir/corpus"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$dir/")
  case $target in
  fuzz_tokenize | fuzz_import) options+=(-dict="$dict" -max_len=16384); inputs=("$seeds/dsn") ;;
  fuzz_document) options+=(-max_len=262144); inputs=("$seeds/document") ;;
  fuzz_document_edits)
    options+=(-dict="$root/fuzz/document_edits.dict" -max_len=4096)
    inputs=("$root/fuzz/seeds/document_edits")
    ;;
  esac
  if [ "$jobs" -gt 1 ]; then
    options+=(-jobs="$jobs" -workers="$jobs")
  fi
  echo "fuzz: $target for ${seconds}s"
  # From the target's folder, where -jobs puts its logs.
  if ! (cd "$dir" && "$build/bin/$target" "${options[@]}" "$dir/corpus" "${inputs[@]}" \
    >"$dir/log.txt" 2>&1); then
    echo "fuzz: $target FAILED; see $dir/log.txt" >&2
    tail -n 40 "$dir/log.txt" >&2
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)' "$dir/log.txt" |
    sed "s/^/fuzz: $target: /" || true
done
exit $status
