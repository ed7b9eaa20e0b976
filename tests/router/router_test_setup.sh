# Shared by the router's command-line tests, sourced with the harrow binary
# and the hand-made design as $1 and $2: a scratch folder removed on exit,
# fail(), and the rule check's counts of a board.
harrow=$1
design=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# "OPENS VIOLATIONS" of a board by harrow drc (which exits 1 when it finds any).
counts() {
    local json
    json=$("$harrow" drc "$1" --json || true)
    python3 -c 'import json,sys; s=json.loads(sys.argv[1])["summary"]; print(s["opens"], s["violations"])' "$json"
}
