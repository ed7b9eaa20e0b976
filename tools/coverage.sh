#!/usr/bin/env bash
# Line and branch coverage of the product folders by the whole test suite.
# Builds a separate tree with --coverage at -O0 and no sanitizers, runs every
# test, then reads the counters with gcov and prints a total and one line per
# source file (also written to BUILD/coverage.txt).
#
#   tools/coverage.sh [BUILD_DIR]          default build-cov
#   COVERAGE_JOBS=2           parallel jobs for the build and ctest
#   COVERAGE_SKIP_RUN=1       only sum the counters of the last run
#   COVERAGE_LINES=FILE       also write the lines run and not run (JSON), for
#                             tools/coverage_sum.py --lost BEFORE AFTER
#   DSNLINK_CORPUS_DIR=...    where the corpus of real designs is
#
# A harrow run under a file size limit cannot write its counters whole, and
# a torn counter file spoils the counts of every later run of that object: the
# tests that set such a limit run apart, one by one, each with its own counter
# folder (GCOV_PREFIX), and what gcov can read of those is added in. So does
# harrow_cli, which runs harrow as another user for its read-only folders:
# its counter folder is open to every user.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$src/build-cov}")
jobs=${COVERAGE_JOBS:-2}
corpus=${DSNLINK_CORPUS_DIR:-$(realpath -m "$src/../shared/corpus")}
folders="board clearance design digest engine geometry host persistence plugin router rules specctra"
apart='DiskThatFillsDuringTheSaveKeepsTheOldFile|ASaveBeyondTheFileSizeLimitIsReportedAndLeavesTheBoard|harrow_cli'

if [ -z "${COVERAGE_SKIP_RUN:-}" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DDSNLINK_SANITIZE=OFF \
    -DDSNLINK_BENCH=OFF -DDSNLINK_CORPUS_DIR="$corpus" \
    -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_C_FLAGS="--coverage -O0" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
  cmake --build "$build" -j"$jobs"
  find "$build" -name '*.gcda' -delete
  rm -rf "$build/coverage-apart"
  # libgcov's own complaints stay off the programs' stderr, which tests read.
  export GCOV_ERROR_FILE="$build/gcov-errors.txt"
  ctest --test-dir "$build" --output-on-failure -j"$jobs" -E "$apart" ||
    echo "coverage: some tests failed" >&2
  n=0
  for test in $(ctest --test-dir "$build" -N -R "$apart" | sed -n 's/^ *Test *#[0-9]*: //p'); do
    n=$((n + 1))
    mkdir -p "$build/coverage-apart/$n"
    : >"$build/coverage-apart/$n/gcov-errors.txt"
    chmod -R a+rwx "$build/coverage-apart/$n"
    (umask 000
     GCOV_PREFIX="$build/coverage-apart/$n" GCOV_ERROR_FILE="$build/coverage-apart/$n/gcov-errors.txt" \
       ctest --test-dir "$build" --output-on-failure -R "^$test\$") || echo "coverage: $test failed" >&2
  done
fi

python3 "$src/tools/coverage_sum.py" "$src" "$build" $folders | tee "$build/coverage.txt"
