"""Compares two KiCad boards: every track and via at the same place (within
the rounding of KiCad's Specctra export, 1.5 um), with the same width, layer,
net and drill, and every part at the same place, rotation and side. Prints
the counts and the first differences; exits 1 when anything differs.

    python3 compare_boards.py BEFORE.kicad_pcb AFTER.kicad_pcb
"""
import collections
import sys

import pcbnew

TOLERANCE = 1500  # nm


def read(path):
    board = pcbnew.LoadBoard(path)
    tracks, vias = [], []
    for t in board.GetTracks():
        if t.GetClass() == "PCB_VIA":
            p = t.GetPosition()
            vias.append(((p.x, p.y), t.GetWidth(), t.GetDrillValue(), t.GetNetname()))
        else:
            a, b = sorted([(t.GetStart().x, t.GetStart().y), (t.GetEnd().x, t.GetEnd().y)])
            tracks.append((a, b, t.GetWidth(), board.GetLayerName(t.GetLayer()), t.GetNetname()))
    parts = {}
    for f in board.GetFootprints():
        p = f.GetPosition()
        parts[f.GetReference()] = ((p.x, p.y), round(f.GetOrientationDegrees(), 3) % 360,
                                   f.IsFlipped())
    return tracks, vias, parts


def near(p, q):
    return abs(p[0] - q[0]) <= TOLERANCE and abs(p[1] - q[1]) <= TOLERANCE


def match(before, after, points):
    """Items of `before` with no partner in `after`, and the reverse: partners
    agree in everything but the first `points` positions, which are near."""
    pool = collections.defaultdict(list)
    for item in after:
        pool[item[points:]].append(item)
    missing = []
    for item in before:
        candidates = pool[item[points:]]
        for i, other in enumerate(candidates):
            if all(near(item[k], other[k]) for k in range(points)):
                del candidates[i]
                break
        else:
            missing.append(item)
    return missing, [item for rest in pool.values() for item in rest]


def main():
    tracks0, vias0, parts0 = read(sys.argv[1])
    tracks1, vias1, parts1 = read(sys.argv[2])
    bad = 0
    for name, before, after, points in (("tracks", tracks0, tracks1, 2),
                                        ("vias", vias0, vias1, 1)):
        missing, extra = match(before, after, points)
        print(f"{name}: before {len(before)} after {len(after)} "
              f"missing {len(missing)} extra {len(extra)}")
        for item in missing[:3]:
            print("  missing", item)
        for item in extra[:3]:
            print("  extra", item)
        bad += len(missing) + len(extra)
    moved = [r for r in parts0 if r not in parts1 or not near(parts0[r][0], parts1[r][0])
             or parts0[r][1:] != parts1[r][1:]]
    print(f"parts: {len(parts0)}, moved, turned or flipped {len(moved)}")
    for r in moved[:3]:
        print("  ", r, parts0[r], parts1.get(r))
    bad += len(moved)
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
