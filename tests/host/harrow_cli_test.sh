#!/usr/bin/env bash
# harrow as a script sees it: exit status, the summary line, what is left on
# disk after each mistake a user can make, stdout against stderr, and an
# installed, moved tree. Run by CTest:
#   harrow_cli_test.sh HARROW BUILD_DIR SOURCE_DIR CORPUS_DIR
# HARROW_CLI_CORPUS=all imports every corpus design (default: every 25th).
set -u
harrow=$(realpath "$1")
build_dir=$(realpath "$2")
source_dir=$(realpath "$3")
corpus=$(realpath -m "$4")

scratch=$(mktemp -d /tmp/harrow-cli-XXXXXX)
chmod 755 "$scratch"
cleanup() {
  chmod -R u+w "$scratch" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
work=$scratch/work
mkdir -p "$work"

failures=0
checks=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
check() { # check DESCRIPTION CONDITION...
  local what=$1
  shift
  checks=$((checks + 1))
  "$@" || fail "$what"
}

# Runs harrow in $work (or as $as_user when set) with no terminal; sets rc,
# out and err.
as_user=()
h() {
  (cd "$work" && "${as_user[@]}" "$harrow" "$@" </dev/null >"$scratch/.out" 2>"$scratch/.err")
  rc=$?
  out=$(cat "$scratch/.out")
  err=$(cat "$scratch/.err")
}
lines() { if [ -z "$1" ]; then echo 0; else printf '%s\n' "$1" | wc -l; fi; }
# expect CODE DESCRIPTION: the exit status.
expect() {
  checks=$((checks + 1))
  [ "$rc" -eq "$1" ] || fail "$2: exit $rc, expected $1; stderr: $err"
}
# one_line_naming TEXT DESCRIPTION: stderr is one line that names TEXT.
one_line_naming() {
  checks=$((checks + 1))
  [ "$(lines "$err")" -eq 1 ] && [[ "$err" == *"$1"* ]] ||
    fail "$2: expected one stderr line naming $1, got: $err"
}
absent() { [ ! -e "$work/$1" ]; }
same() { cmp -s "$1" "$2"; }
mode() { stat -c %a "$1"; }
starts_with() { case "$1" in "$2"*) return 0 ;; esac; return 1; }

cp "$source_dir/examples/demo.dsn" "$work/demo.dsn"
# A design the reader takes but whose report holds errors (no network, no
# library).
printf '(pcb small\n  (unit mm)\n  (colors (set_color signal red))\n)\n' >"$work/small.dsn"

# ---- input that is no design: exit 3, one line, nothing written ----
: >"$work/empty.dsn"
echo "just some notes" >"$work/notes.txt"
printf '\177ELF\002\001\001\000garbage' >"$work/junk.dsn"
echo "(session s1 (base_design demo.dsn))" >"$work/session.dsn"
mkdir "$work/folder.dsn"
for input in missing.dsn folder.dsn empty.dsn notes.txt junk.dsn session.dsn; do
  stem=${input%.*}
  h import "$input"
  expect 3 "import $input"
  one_line_naming "$input" "import $input"
  check "import $input leaves no board" absent "$stem.pcbdoc"
  check "import $input leaves no report" absent "$stem.rpt"
  h validate "$input"
  expect 3 "validate $input"
  h new-project "$input"
  expect 3 "new-project $input"
  check "new-project $input makes no folder" absent "Imported $input"
done
h check missing.dsn
expect 3 "check missing.dsn"
check "check says not found" [ "$out" = "not found" ]
for input in junk.dsn empty.dsn notes.txt folder.dsn; do
  h check "$input"
  expect 3 "check $input"
  check "check $input says not a design" [ "$out" = "not a design" ]
done

# ---- garbage in.dsn never replaces an existing in.pcbdoc ----
h import demo.dsn
expect 0 "import demo.dsn"
cp "$work/demo.pcbdoc" "$work/in.pcbdoc"
cp "$work/in.pcbdoc" "$scratch/in.before"
echo "not a design at all" >"$work/in.dsn"
h import in.dsn
expect 3 "import of garbage in.dsn"
check "garbage in.dsn leaves in.pcbdoc as it was" same "$work/in.pcbdoc" "$scratch/in.before"
h run ImportSpecctraDesignFile DsnFile=in.dsn
expect 3 "run ImportSpecctraDesignFile on garbage"
check "run on garbage in.dsn leaves in.pcbdoc as it was" same "$work/in.pcbdoc" "$scratch/in.before"
h import in.dsn --merge in.pcbdoc
expect 3 "merge of garbage"
check "merge of garbage leaves the board" same "$work/in.pcbdoc" "$scratch/in.before"

# ---- the summary line and its counts ----
check_summary() { # check_summary DSN BOARD REPORT: the line and the report agree
  local errors warnings expected_rc=0
  errors=$(grep -c '^ERROR' "$work/$3")
  warnings=$(grep -c '^WARNING' "$work/$3")
  [ "$errors" -gt 0 ] && expected_rc=1
  expect "$expected_rc" "import $1"
  local want="$1 -> $2: $errors error"
  checks=$((checks + 1))
  [[ "$err" == "$want"*", $warnings warning"*" (report $3)" ]] ||
    fail "summary of $1: got '$err', want '$want..., $warnings warnings (report $3)'"
}
h import small.dsn
check_summary small.dsn small.pcbdoc small.rpt
check "a report with errors still saves the board" [ -s "$work/small.pcbdoc" ]
h import demo.dsn
check_summary demo.dsn demo.pcbdoc demo.rpt
h -q import demo.dsn
check "-q drops the summary" [ -z "$err" ]
h import demo.dsn --json
check "--json prints the outcome" grep -q "\"errors\":$(grep -c '^ERROR' "$work/demo.rpt"),\"warnings\":$(grep -c '^WARNING' "$work/demo.rpt")" "$scratch/.out"
h validate small.dsn
expect 1 "validate small.dsn"
check "validate prints the report's lines with line numbers" \
  grep -q '^small.dsn:3: WARNING: Skipped block between lines: 3-3' "$scratch/.out"
check "validate prints the errors" grep -q '^small.dsn: ERROR: ' "$scratch/.out"
check "validate counts as many lines as the report" \
  [ "$(lines "$out")" -eq "$(grep -c '^ERROR\|^WARNING' "$work/small.rpt")" ]
ls -a "$work" >"$scratch/before-validate"
h validate demo.dsn
expect 0 "validate demo.dsn"
ls -a "$work" >"$scratch/after-validate"
check "validate writes nothing" same "$scratch/before-validate" "$scratch/after-validate"

# ---- protected files ----
cp "$work/demo.dsn" "$work/y.dsn"
h import y.dsn
chmod 444 "$work/y.pcbdoc"
cp "$work/y.pcbdoc" "$scratch/y.before"
h import y.dsn
expect 2 "import over a read-only board"
one_line_naming "y.pcbdoc is read-only" "import over a read-only board"
check "a read-only board is not replaced" same "$work/y.pcbdoc" "$scratch/y.before"
h import y.dsn --force
expect 0 "import --force over a read-only board"
check "--force keeps the read-only mode" [ "$(mode "$work/y.pcbdoc")" = 444 ]
chmod 640 "$work/y.pcbdoc"
h import y.dsn
check "a replaced board keeps its mode" [ "$(mode "$work/y.pcbdoc")" = 640 ]
chmod 444 "$work/y.rpt"
h import y.dsn
expect 2 "import over a read-only report"
one_line_naming "y.rpt is read-only" "import over a read-only report"
chmod 644 "$work/y.rpt"
h import demo.dsn -o nowhere/x.pcbdoc
expect 2 "-o into a missing folder"
one_line_naming "nowhere" "-o into a missing folder"

# ---- commands that write nothing say so ----
h export demo.pcbdoc
expect 0 "export writes both files"
check "export wrote the route file" [ -s "$work/demo.rte" ]
check "export wrote the session file" [ -s "$work/demo.ses" ]
rm -f "$work/demo.rte"
h import demo.dsn --rte RenameDSN
expect 0 "import --rte writes the route file"
check "import --rte wrote demo.rte" [ -s "$work/demo.rte" ]
h import demo.dsn --autoroute
expect 0 "import --autoroute (every connection routed)"
h run --board demo.pcbdoc --dialog x.dsn ExportSpecctraDesignFile
expect 3 "run ExportSpecctraDesignFile"
h run ImportSpecctraRouteFile --board demo.pcbdoc --dialog x.rte
expect 3 "run ImportSpecctraRouteFile"
h run ViewEmbeddedObjects
expect 3 "run ViewEmbeddedObjects without a board"
h embedded demo.pcbdoc --file nowhere/list.txt
expect 2 "embedded --file into a missing folder"
one_line_naming "nowhere" "embedded --file into a missing folder"
h embedded missing.pcbdoc
expect 3 "embedded of a missing board"
one_line_naming "missing.pcbdoc" "embedded of a missing board"

# ---- stdout for listings, stderr for messages ----
h embedded demo.pcbdoc
expect 0 "embedded"
check "embedded lists on stdout" grep -q '^Name: .*Type=CONSTANTS' "$scratch/.out"
check "embedded says nothing on stderr" [ -z "$err" ]
h embedded demo.pcbdoc --json
check "embedded --json" grep -q '^\[{"Name":"Server=Ravel|Type=CONSTANTS' "$scratch/.out"
h commands --params
check "commands --params names the parameters" grep -q '^    RteFile=' "$scratch/.out"
check "commands --params names RenameDSN" grep -q 'RenameDSN' "$scratch/.out"
h commands --json
check "commands --json" grep -q '"name":"ImportSpecctraDesignFile"' "$scratch/.out"
h tokens demo.dsn
expect 0 "tokens"
check "tokens says what it wrote" [ "$err" = "demo.dsn -> demo.prs: $(wc -l <"$work/demo.prs") tokens" ]
check "tokens prints no dialog" [ "$(lines "$err")" -eq 1 ]
h show --json demo.pcbdoc
check "show --json names its unit" grep -q '^{"Units":{"Length":"host unit","HostUnitsPerMil":10000}' "$scratch/.out"
h new-project demo.dsn
expect 0 "new-project"
counted() { [ "$1" -eq 1 ] && echo "1 $2" || echo "$1 $2s"; }
demo_counts="$(counted "$(grep -c '^ERROR' "$work/demo.rpt")" error), $(counted "$(grep -c '^WARNING' "$work/demo.rpt")" warning)"
check "new-project prints one summary line" [ "$err" = "demo.dsn -> Imported demo.dsn/demo.pcbdoc: $demo_counts (report demo.rpt)" ]
if command -v python3 >/dev/null; then
  for args in "embedded demo.pcbdoc --json" "commands --json" "check --json demo.dsn" \
    "validate --json small.dsn" "import --json -q demo.dsn" "show --json demo.pcbdoc"; do
    # shellcheck disable=SC2086
    h $args
    check "$args prints valid JSON" python3 -m json.tool "$scratch/.out" >/dev/null
  done
fi

# ---- the command line ----
h run ViewEmbeddedObjects --board demo.pcbdoc
expect 0 "options after the command"
h run --board=demo.pcbdoc ViewEmbeddedObjects
expect 0 "--opt=value"
cp "$work/demo.dsn" "$work/-dash.dsn"
h import -- -dash.dsn
expect 0 "-- ends the options"
check "-- imports the dashed name" [ -s "$work/-dash.pcbdoc" ]
h help import
help_verb=$out
h import --help
check "harrow help import is harrow import --help" [ "$help_verb" = "$out" ]
h --version
expect 0 "--version"
check "--version names harrow" starts_with "$out" "harrow "
h import demo.dsn --frobnicate
expect 2 "unknown option"
one_line_naming "--frobnicate" "unknown option"

# ---- a read-only source folder (needs a user that the modes bind) ----
if [ "$(id -u)" -eq 0 ]; then
  if setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
fi
if [ "$(id -u)" -ne 0 ] || [ ${#as_user[@]} -gt 0 ]; then
  chmod 755 "$work"
  mkdir -p "$work/ro" "$work/out"
  cp "$work/demo.dsn" "$work/ro/medium.dsn"
  chmod 555 "$work/ro"
  chmod 777 "$work/out"
  h new-project ro/medium.dsn
  expect 2 "new-project in a read-only folder"
  one_line_naming "ro" "new-project in a read-only folder"
  h import ro/medium.dsn
  expect 2 "import in a read-only folder"
  one_line_naming "not writable" "import in a read-only folder"
  check "no report line for a report never written" absent "ro/medium.rpt"
  h import ro/medium.dsn -o out/
  expect 0 "import -o out of a read-only folder"
  check "-o writes the board" [ -s "$work/out/medium.pcbdoc" ]
  check "-o writes the report beside it" [ -s "$work/out/medium.rpt" ]
  check "-o leaves no work folder" [ -z "$(ls -A "$work/out" | grep '^\.harrow')" ]
  h embedded demo.pcbdoc --file ro/list.txt
  expect 2 "embedded --file into a read-only folder"
  as_user=()
else
  echo "skipped: read-only folders (running as root without setpriv)"
fi

# ---- install: a moved tree finds its libraries ----
if cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null 2>&1; then
  mv "$scratch/prefix" "$scratch/moved"
  installed=$(find "$scratch/moved" -name harrow -type f | head -1)
  out=$("$installed" commands 2>&1)
  check "an installed, moved harrow finds engine and plug-in" starts_with "$out" ImportSpecctraDesignFile
  cp "$installed" "$scratch/lonely-harrow"
  "$scratch/lonely-harrow" commands >/dev/null 2>"$scratch/.err"
  rc=$?
  err=$(cat "$scratch/.err")
  expect 2 "a harrow copied away from its libraries"
  one_line_naming "--engine" "a harrow copied away from its libraries"
else
  fail "cmake --install $build_dir failed"
fi

# ---- every corpus design (or a sample): one summary line, true counts ----
if [ -d "$corpus" ]; then
  step=25
  [ "${HARROW_CLI_CORPUS:-}" = all ] && step=1
  mkdir -p "$scratch/corpus"
  n=0
  imported=0
  while IFS= read -r design; do
    n=$((n + 1))
    [ $(((n - 1) % step)) -eq 0 ] || continue
    imported=$((imported + 1))
    out_board="$scratch/corpus/d$n.pcbdoc"
    (cd "$scratch/corpus" && "$harrow" import "$design" -o "$out_board" </dev/null \
      >/dev/null 2>"$scratch/.err")
    rc=$?
    err=$(cat "$scratch/.err")
    summary=$(grep -c ' -> ' "$scratch/.err")
    checks=$((checks + 1))
    if [ "$rc" -eq 3 ]; then
      [ ! -e "$out_board" ] || fail "corpus $design: nothing translated but a board was left"
      continue
    fi
    if [ "$rc" -eq 2 ]; then
      [ ! -e "$out_board" ] || fail "corpus $design: failed but a board was left"
      continue
    fi
    report="$scratch/corpus/d$n.rpt"
    if [ ! -f "$report" ]; then
      fail "corpus $design: exit $rc but no report; stderr: $err"
      continue
    fi
    errors=$(grep -c '^ERROR' "$report")
    warnings=$(grep -c '^WARNING' "$report")
    want_rc=0
    [ "$errors" -gt 0 ] && want_rc=1
    [ "$summary" -eq 1 ] && [ "$rc" -eq "$want_rc" ] &&
      grep -q ": $errors errors\?, $warnings warnings\? (report d$n.rpt)$" "$scratch/.err" ||
      fail "corpus $design: exit $rc, summary: $err (report: $errors errors, $warnings warnings)"
    rm -f "$out_board" "$report"
  done < <(find "$corpus" -name '*.dsn' | LC_ALL=C sort)
  echo "corpus: $imported designs imported through harrow"
else
  echo "skipped: corpus not found at $corpus"
fi

echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
