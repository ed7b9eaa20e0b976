#!/usr/bin/env bash
# Builds a Release tree in build-example and lists the tokens of the bundled
# example design.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
build=build-example
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDSNLINK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_tokenize -j"$(nproc)"
"$build/bin/bench_tokenize" --list examples/demo.dsn
