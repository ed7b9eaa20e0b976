#!/usr/bin/env python3
"""Checks who includes whom: the folders' order and the design model's.

Every folder of the product may include only the folders named for it in
FOLDERS below; a file of the design model (design/, geometry/, rules/) may
include only model files built before it or with it (LEVELS below: a
section reads and writes through the objects it is built from, and reaches
the objects built after it only through its owner). The model reaches the
engine only through the board layer: it neither names the engine's bound
entry points (PCBProcs) nor includes the engine's table. A new folder or a new
model file must be given its place here, or the check fails and says so.

    python3 tools/check_layers.py [ROOT]     exit 0 when every include is allowed
"""
import os
import re
import sys

# Folder -> the folders its files may include besides its own.
FOLDERS = {
    "sdk": set(),
    "board": {"sdk"},
    "specctra": {"sdk", "board"},
    "persistence": {"sdk", "board", "specctra"},
    "design": {"sdk", "board", "specctra", "persistence", "geometry", "rules"},
    "geometry": {"sdk", "board", "specctra", "persistence", "design", "rules"},
    "rules": {"sdk", "board", "specctra", "persistence", "design", "geometry"},
    "plugin": {"sdk", "board", "specctra", "persistence", "design", "geometry", "rules"},
    "clearance": {"sdk"},
    "engine": {"sdk", "clearance"},
    "digest": {"sdk"},
    "boardapi": {"sdk", "digest"},
    "router": {"sdk", "clearance", "digest", "boardapi"},
    "host": {"sdk", "digest", "boardapi", "router"},
}

# The design model in the order it is built: a file may include the files of
# its own level and below. A header and its source file share a level.
LEVELS = {
    "design/SpecctraResolution": 4,
    "design/FileSection": 7,
    "design/IncludedFile": 7,
    "design/ParserSection": 7,
    "design/SpecctraClasses2": 7,
    "rules/SpecctraNetRltd": 9,
    "rules/RuleScopes": 10,
    "geometry/SpecctraShapes": 11,
    "geometry/BoardShapes": 12,
    "design/Layers": 13,
    "design/StructureSection": 13,
    "geometry/SpecctraViaPadJumper": 14,
    "geometry/DesignAccess": 14,
    "geometry/SpecctraComp": 15,
    "design/LibrarySection": 16,
    "design/NetworkSection": 16,
    "design/PlacementSection": 16,
    "rules/SpecctraRules": 17,
    "design/SpecctraWiring": 18,
    "design/SpecctraRoutes": 18,
    "design/SpecctraDesign": 19,
}
MODEL = ("design", "geometry", "rules")
SOURCE = (".h", ".cpp", ".def", ".inc")
# Words a file of the design model may not hold: the engine is the board
# layer's to call.
MODEL_FORBIDDEN = ("PCBProcs", '#include "sdk/PcbApi.h"')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def stem(path):
    return os.path.splitext(path)[0]


def model_level(path, problems):
    key = stem(path)
    # Pieces of one class split over files ("design/X_Read.cpp") take the
    # level of the class's header.
    for name, level in LEVELS.items():
        if key == name or key.startswith(name + "_"):
            return level
    problems.append(f"{path}: a design model file without a level in tools/check_layers.py")
    return None


def check(root):
    problems = []
    for folder, allowed in FOLDERS.items():
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for dirpath, _, files in os.walk(base):
            for name in sorted(files):
                if not name.endswith(SOURCE):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), root)
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    text = f.read()
                if folder in MODEL:
                    for word in MODEL_FORBIDDEN:
                        for m in re.finditer(re.escape(word), text):
                            problems.append(
                                f"{path}:{text.count(chr(10), 0, m.start()) + 1}: the model "
                                f"reaches the engine directly ({word}); go through board/"
                            )
                for line_no, target in (
                    (text.count("\n", 0, m.start()) + 1, m.group(1)) for m in INCLUDE.finditer(text)
                ):
                    if "/" not in target:
                        continue
                    other = target.split("/")[0]
                    where = f"{path}:{line_no}"
                    if other not in FOLDERS and other not in ("tests",):
                        problems.append(f"{where}: includes {target} from a folder the product does not know")
                        continue
                    if other != folder and other not in allowed:
                        problems.append(f"{where}: {folder}/ may not include {target}")
                        continue
                    if folder in MODEL and other in MODEL and stem(target) != stem(path):
                        mine = model_level(path, problems)
                        theirs = model_level(target, problems)
                        if mine is not None and theirs is not None and theirs > mine:
                            problems.append(
                                f"{where}: includes {target}, which is built after it "
                                f"({theirs} > {mine}); ask the owner instead"
                            )
    for folder in sorted(os.listdir(root)):
        if (
            os.path.isdir(os.path.join(root, folder))
            and folder not in FOLDERS
            and os.path.exists(os.path.join(root, folder, "CMakeLists.txt"))
            and folder not in ("tests", "bench", "fuzz", "cmake", "examples", "tools")
            and not folder.startswith("build")
        ):
            problems.append(f"{folder}/: a folder without its place in tools/check_layers.py")
    return sorted(set(problems))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(os.path.abspath(root))
    for p in problems:
        print(p)
    if problems:
        print(f"check_layers: {len(problems)} include(s) or engine call(s) out of place", file=sys.stderr)
        return 1
    print("check_layers: every include is in order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
