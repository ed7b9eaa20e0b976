#!/usr/bin/env bash
# KiCad's demo boards through harrow and back into KiCad 6 with KiCad's own
# session importer, without a person:
#   1. each board as it is: KiCad exports the design, `harrow import --ses`
#      writes the session of its own wiring, KiCad imports it on the original
#      board, and every track, via and part must be where it was (same width,
#      layer, net, drill, rotation, side);
#   2. the same board without its tracks: `harrow import --autoroute --ses`,
#      and KiCad must accept the session and put back as many tracks and vias
#      as the router made.
#
#   tools/kicad/roundtrip.sh HARROW OUT_FOLDER [BOARD.kicad_pcb...]
#
# Without boards, every demo of Debian's kicad-demos. Needs Debian's kicad,
# kicad-demos, xvfb and xauth, and ../shared/tools/kicad_ses_import.sh (or
# $KICAD_SES_IMPORT). Exit 0 when every board comes back, 1 otherwise, 77 when
# KiCad or the importer script is missing. HARROW_ARGS adds options to harrow.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
harrow=$(readlink -f "$1")
out=$2
shift 2
importer=${KICAD_SES_IMPORT:-$here/../../../shared/tools/kicad_ses_import.sh}
py=/usr/bin/python3
if ! command -v pcbnew >/dev/null || ! command -v xvfb-run >/dev/null || [ ! -f "$importer" ] ||
    ! "$py" -c 'import pcbnew' 2>/dev/null; then
    echo "skipped: needs KiCad 6 (Debian kicad), xvfb and $importer"
    exit 77
fi
boards=()
for board in "$@"; do
    [ -f "$board" ] && boards+=("$board")
done
if [ $# -eq 0 ]; then
    mapfile -t boards < <(ls /usr/share/kicad/demos/*/*.kicad_pcb 2>/dev/null)
fi
[ ${#boards[@]} -gt 0 ] || { echo "skipped: no boards (Debian kicad-demos)"; exit 77; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
failed=0
for board in "${boards[@]}"; do
    name=$(basename "$board" .kicad_pcb)
    name=${name// /_}
    dir=$out/$name
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$board" "$dir/$name.kicad_pcb"
    [ -f "${board%.kicad_pcb}.kicad_pro" ] && cp "${board%.kicad_pcb}.kicad_pro" "$dir/$name.kicad_pro"
    (
        cd "$dir" || exit 1
        "$py" "$here/export_dsn.py" "$name.kicad_pcb" "$name.dsn" >/dev/null 2>&1 || {
            echo "$name: KiCad does not export it (skipped)"; exit 0; }
        "$harrow" import "$name.dsn" --ses "$name.ses" ${HARROW_ARGS:-} 2>harrow.err
        status=$?
        verdict=$(bash "$importer" "$name.kicad_pcb" "$name.ses" "$name.back.kicad_pcb")
        if [ $status -ne 0 ] || [[ $verdict != accepted* ]]; then
            echo "$name: FAILED: harrow exit $status, KiCad: $verdict"; exit 1
        fi
        if ! "$py" "$here/compare_boards.py" "$name.kicad_pcb" "$name.back.kicad_pcb" \
            >compare.txt 2>/dev/null; then
            echo "$name: FAILED: not the same board after the round trip:"
            cat compare.txt; exit 1
        fi
        echo "$name: wiring back: $verdict, $(tr '\n' ' ' <compare.txt)"
        "$py" "$here/export_dsn.py" "$name.kicad_pcb" --bare "bare.kicad_pcb" >/dev/null 2>&1 &&
            [ -f "$name.kicad_pro" ] && cp "$name.kicad_pro" bare.kicad_pro
        "$py" "$here/export_dsn.py" bare.kicad_pcb bare.dsn >/dev/null 2>&1 || exit 1
        "$harrow" import bare.dsn --autoroute --ses bare.ses ${HARROW_ARGS:-} 2>route.err
        status=$?
        made=$(grep -o '[0-9]* tracks, [0-9]* vias' route.err | tail -1)
        verdict=$(bash "$importer" bare.kicad_pcb bare.ses bare.back.kicad_pcb)
        tracks=${made%% tracks*}
        vias=${made#*tracks, }
        vias=${vias%% vias}
        if [ $status -gt 1 ] || [[ $verdict != "accepted tracks=$tracks vias=$vias "* ]]; then
            echo "$name: FAILED: routed ($made, harrow exit $status), KiCad: $verdict"; exit 1
        fi
        echo "$name: routed and back: $made, KiCad $verdict"
    ) || failed=1
done
exit $failed
