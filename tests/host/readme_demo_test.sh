#!/usr/bin/env bash
# What the README promises of the bundled demo, checked against what harrow
# prints today: every line of the indented block after "harrow show prints
# among its lines" must be a line of `harrow show`, and the layer stack the
# README names must be the one `harrow show --json` dumps.
#   readme_demo_test.sh HARROW SOURCE_DIR
set -euo pipefail
harrow=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source/examples/demo.dsn" "$work/"
"$harrow" import "$work/demo.dsn" -q || [ $? -eq 1 ]
"$harrow" show "$work/demo.pcbdoc" >"$work/show.txt"
"$harrow" show "$work/demo.pcbdoc" --json >"$work/show.json"
# The promised block: indented lines after the marker, up to the first blank.
awk '/`harrow show` prints among its lines:/ { on = 1; next }
     on && /^$/ && seen { exit }
     on && /^      [^ ]/ { sub(/^      /, ""); print; seen = 1 }' "$source/README.md" >"$work/promised.txt"
count=$(wc -l <"$work/promised.txt")
[ "$count" -ge 4 ] || { echo "README: no demo block found ($count lines)"; exit 1; }
failed=0
while IFS= read -r promised; do
    if ! grep -qxF "$promised" "$work/show.txt"; then
        echo "README promises \"$promised\"; harrow show prints:"
        grep -F "${promised%%:*}:" "$work/show.txt" || echo "  (no such line)"
        failed=1
    fi
done <"$work/promised.txt"
stack=$(grep -o '"LayerStack":\[[0-9,]*\]' "$source/README.md" | head -1)
if [ -n "$stack" ] && ! grep -qF "$stack" "$work/show.json"; then
    echo "README promises $stack; harrow show --json dumps $(grep -o '"LayerStack":\[[0-9,]*\]' "$work/show.json")"
    failed=1
fi
[ $failed -eq 0 ] && echo "README demo block: $count lines as promised"
exit $failed
