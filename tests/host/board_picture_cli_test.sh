#!/usr/bin/env bash
# harrow show --svg and harrow view from a shell: where the files go, exit
# status on misuse, and the picture of every corpus design as well-formed XML
# (checked by python3's XML parser, an independent reader). Run by CTest:
#   board_picture_cli_test.sh HARROW SOURCE_DIR CORPUS_DIR
# PICTURE_CORPUS_STEP=N draws every Nth corpus design only (default 1: all).
set -u
harrow=$(realpath "$1")
source_dir=$(realpath "$2")
corpus=$(realpath -m "$3")
step=${PICTURE_CORPUS_STEP:-1}

scratch=$(mktemp -d /tmp/harrow-picture-XXXXXX)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
h() {
  "$harrow" "$@" </dev/null >"$scratch/.out" 2>"$scratch/.err"
  rc=$?
}
expect() { [ "$rc" -eq "$1" ] || fail "$2: exit $rc, expected $1: $(cat "$scratch/.err")"; }
# Python's XML parser over the files named; exit 1 when one is not well-formed.
check_xml='
import sys, xml.dom.minidom
bad = 0
for path in sys.argv[1:]:
    try:
        xml.dom.minidom.parse(path)
    except Exception as e:
        print("not well-formed: %s: %s" % (path, e)); bad += 1
sys.exit(1 if bad else 0)'

cp "$source_dir/examples/demo.dsn" demo.dsn
h import demo.dsn
expect 0 "import demo"

# ---- where the picture and the page go ----
h show demo.pcbdoc --svg
expect 0 "show --svg to stdout"
cp .out stdout.svg
head -c 5 stdout.svg | grep -q '<?xml' || fail "show --svg prints the SVG on stdout"
[ -s .err ] && fail "show --svg to stdout says nothing on stderr: $(cat .err)"
h show demo.pcbdoc --svg demo.svg
expect 0 "show --svg FILE"
cmp -s demo.svg stdout.svg || fail "the SVG file and stdout differ"
grep -q "demo.pcbdoc -> demo.svg" .err || fail "show --svg FILE names the file: $(cat .err)"
h view demo.pcbdoc
expect 0 "view"
[ -s demo.html ] || fail "view writes BOARD.html beside the board"
grep -q "demo.pcbdoc -> demo.html" .err || fail "view says where the page went: $(cat .err)"
grep -q '<svg' demo.html && grep -q '<script>' demo.html || fail "the page holds the picture and its script"
grep -Eq '<script src|<link|https?://[^w]' demo.html && fail "the page refers to the network"
mkdir pages
h view demo.pcbdoc pages/board.html
expect 0 "view FILE.html"
[ -s pages/board.html ] || fail "view FILE.html writes FILE.html"
h view demo.pcbdoc --json pages/board.html
expect 0 "view --json"
grep -q '"verb":"view"' .out || fail "view --json prints its outcome: $(cat .out)"
python3 -c "$check_xml" demo.svg stdout.svg || fail "the demo picture is not well-formed XML"
h view demo.pcbdoc --canvas canvas.html
expect 0 "view --canvas"
grep -q 'id="data"' canvas.html && ! grep -q '<svg' canvas.html ||
  fail "view --canvas writes the page of data"
python3 "$source_dir/tests/host/page_data.py" canvas.html | grep -q "^component" ||
  fail "the data of view --canvas names no component"
h view demo.pcbdoc --svg markup.html
expect 0 "view --svg"
grep -q '<svg' markup.html && ! grep -q 'id="data"' markup.html ||
  fail "view --svg writes the page of SVG markup"
h view demo.pcbdoc --svg --canvas both.html
expect 2 "view with --svg and --canvas"

# ---- misuse ----
h show demo.pcbdoc --svg --json
expect 2 "--svg with --json"
h show demo.pcbdoc --svg demo.pcbdoc
expect 2 "a picture over its own board"
h show demo.pcbdoc
expect 0 "the board is still a board"
h show absent.pcbdoc --svg out.svg
expect 3 "show --svg of a missing board"
[ -e out.svg ] && fail "a missing board leaves no picture"
h view demo.pcbdoc a.html b.html
expect 2 "view with two pages"
cp demo.html protected.html && chmod a-w protected.html
h view demo.pcbdoc protected.html
expect 2 "view over a read-only page"
h view --force demo.pcbdoc protected.html
expect 0 "view --force over a read-only page"
[ "$(stat -c %a protected.html)" = 444 ] || fail "a replaced page keeps its mode"

# ---- every corpus design ----
if [ ! -d "$corpus" ]; then
  echo "corpus not found at $corpus: corpus pictures skipped"
else
  mkdir -p pictures
  n=0
  drawn=0
  largest=$(find "$corpus" -name '*.dsn' -printf '%s %p\n' | sort -n | tail -1 | cut -d' ' -f2-)
  while IFS= read -r design; do
    n=$((n + 1))
    [ $(((n - 1) % step)) -eq 0 ] || [ "$design" = "$largest" ] || continue
    h import -q --force "$design" -o "pictures/board.pcbdoc"
    [ "$rc" -le 1 ] || continue # not a design the reader takes: no board
    h show -q pictures/board.pcbdoc --svg "pictures/$n.svg"
    expect 0 "show --svg of the board of $design"
    drawn=$((drawn + 1))
    if [ "$design" = "$largest" ]; then
      start=$(date +%s.%N)
      h show -q pictures/board.pcbdoc --svg pictures/largest.svg
      end=$(date +%s.%N)
      echo "largest design $(basename "$design"): picture of $(stat -c %s pictures/largest.svg) bytes in $(awk "BEGIN { print $end - $start }") s (harrow start to end)"
    fi
  done < <(find "$corpus" -name '*.dsn' | sort)
  echo "$drawn corpus pictures drawn"
  [ "$drawn" -gt 0 ] || fail "no corpus design was drawn"
  find pictures -name '*.svg' -print0 | xargs -0 -n 200 python3 -c "$check_xml" ||
    fail "corpus pictures that are not well-formed XML"
  # Outline, component positions, sides and angles, pad centres and wires of
  # boards from several tools, against the design text read independently.
  for design in kicad-demos/pic_programmer.dsn dac2020/DAC2020_bm01.dsn \
    pcbench/1-Wire-Wing-pcb_1-Wire_Wing/reference-routed.dsn fixtures/Issue367-Charger.dsn \
    fixtures/Issue742-tastexx-pcb.dsn fixtures/Issue684-Autorouter_PCB1_2026-5-8.dsn \
    fixtures/Issue070-Autorouter_FQ101_PCB_2022-05-13.dsn; do
    [ -f "$corpus/$design" ] || continue
    h import -q --force "$corpus/$design" -o pictures/check.pcbdoc
    h show -q --force pictures/check.pcbdoc --svg pictures/check.svg
    python3 "$source_dir/tests/host/picture_vs_design.py" "$corpus/$design" pictures/check.svg ||
      fail "the picture of $design differs from the design"
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "board picture checks passed"
