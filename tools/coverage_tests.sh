#!/usr/bin/env bash
# Coverage of the product folders by each test alone, with clang's
# source-based coverage: builds a separate tree with clang at -O0, runs every
# ctest test by itself with its own profile folder, then prints the lines and
# branches of the product the whole suite runs, and which whole tests could go
# without losing one of them (largest first; each one listed keeps its lines
# and branches run by the tests left, so any part of the list can go too).
# Coverage cannot see a checked value, a message or a time limit: read a
# listed test before dropping it.
#
#   tools/coverage_tests.sh [BUILD_DIR]    default build-llvmcov
#   COVERAGE_JOBS=2         parallel jobs for the build and the tests
#   COVERAGE_WHOLE=1        run the suite once instead (the totals only)
#   COVERAGE_SKIP_RUN=1     only sum the profiles of the last run
#   COVERAGE_EXCLUDE=REGEX  tests left out (default kicad_round_trip, whose
#                           autorouting at -O0 outlasts its time limit)
#   DSNLINK_CORPUS_DIR=...  where the corpus of real designs is
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$src/build-llvmcov}")
jobs=${COVERAGE_JOBS:-2}
corpus=${DSNLINK_CORPUS_DIR:-$(realpath -m "$src/../shared/corpus")}
profiles="$build/profiles"
exclude=${COVERAGE_EXCLUDE-kicad_round_trip}

if [ -z "${COVERAGE_SKIP_RUN:-}" ]; then
  bash "$src/tools/deps.sh" clang llvm >/dev/null
  flags="-fprofile-instr-generate -fcoverage-mapping -O0"
  CC=clang CXX=clang++ cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DDSNLINK_SANITIZE=OFF -DDSNLINK_BENCH=OFF -DDSNLINK_CORPUS_DIR="$corpus" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate \
    -DCMAKE_SHARED_LINKER_FLAGS=-fprofile-instr-generate >/dev/null
  cmake --build "$build" -j"$jobs"
  rm -rf "$profiles"
  mkdir -p "$profiles"
  ctest --test-dir "$build" --show-only=json-v1 >"$profiles/tests.json"
  # harrow_cli runs harrow as another user: every profile folder is open to all.
  if [ -n "${COVERAGE_WHOLE:-}" ]; then
    mkdir -m 777 "$profiles/all"
    LLVM_PROFILE_FILE="$profiles/all/%p-%m.profraw" \
      ctest --test-dir "$build" -j"$jobs" -E "^($exclude)\$" >"$profiles/all/log.txt" 2>&1 ||
      echo "coverage: some tests failed (see $profiles/all/log.txt)" >&2
  else
    count=$(sed -n 's/^Total Tests: //p' <(ctest --test-dir "$build" -N))
    seq 1 "$count" | xargs -P"$jobs" -I{} bash -c '
      mkdir -m 777 "$0/$1"
      LLVM_PROFILE_FILE="$0/$1/%p-%m.profraw" ctest --test-dir "$2" -I "$1,$1" -E "^($3)\$" \
        >"$0/$1/log.txt" 2>&1 || echo "coverage: test $1 failed (see $0/$1/log.txt)" >&2' \
      "$profiles" {} "$build" "$exclude"
  fi
fi

python3 "$src/tools/coverage_tests.py" "$src" "$build" | tee "$build/coverage.txt"
