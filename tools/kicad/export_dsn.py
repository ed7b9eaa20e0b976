"""Exports a KiCad board to a Specctra design with KiCad's own exporter, or
writes the board without its tracks and vias (--bare OUT.kicad_pcb).

    python3 export_dsn.py BOARD.kicad_pcb OUT.dsn
    python3 export_dsn.py BOARD.kicad_pcb --bare OUT.kicad_pcb
"""
import sys

import pcbnew

board = pcbnew.LoadBoard(sys.argv[1])
if sys.argv[2] == "--bare":
    for track in list(board.GetTracks()):
        board.Remove(track)
    sys.exit(0 if pcbnew.SaveBoard(sys.argv[3], board) else 1)
sys.exit(0 if pcbnew.ExportSpecctraDSN(board, sys.argv[2]) else 1)
