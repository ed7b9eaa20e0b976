#!/usr/bin/env bash
# The main job on the bundled example: builds a Release tree in build-example,
# imports examples/demo.dsn into a new board document with harrow, and shows
# the board, the stored translation data and the translation report; then
# draws the board as demo.svg and writes the page demo.html to look at it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
build=build-example
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDSNLINK_TESTS=OFF -DDSNLINK_BENCH=OFF >/dev/null
cmake --build "$build" --target harrow corvane dsnlink -j"$(nproc)"
out="$build/demo"
rm -rf "$out"
mkdir -p "$out"
cp examples/demo.dsn "$out/"
harrow="$build/bin/harrow"
# Exit 1 means the board was saved and its report holds errors: show them.
"$harrow" import "$out/demo.dsn" || [ $? -eq 1 ]
"$harrow" show "$out/demo.pcbdoc"
"$harrow" embedded "$out/demo.pcbdoc"
echo "--- $out/demo.rpt"
cat "$out/demo.rpt"
"$harrow" show "$out/demo.pcbdoc" --svg "$out/demo.svg"
"$harrow" view "$out/demo.pcbdoc" "$out/demo.html"
echo "--- pictures of the board: $out/demo.svg and $out/demo.html (open the page in a browser)"
