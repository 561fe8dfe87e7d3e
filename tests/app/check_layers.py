#!/usr/bin/env python3
"""Which folder of src/ includes which, read from the sources' own includes.

Fails when the folders include each other in a circle (each folder of
src/scorer on its own, and src/scorer as a whole), when a folder
includes one on a higher layer (windows -> rules -> storage -> shared, with
the programs above all), or when one window folder includes another that is
not the report view they share, or when the two tests' rules include each
other.

    check_layers.py SRC_DIR          checks, printing every fault
    check_layers.py SRC_DIR --show   prints the folder arrows too
"""
import os
import re
import sys

# Lowest first. A folder not named here is a fault of its own: a new folder
# says where it stands.
LAYERS = [
    ("shared", ["shared"]),
    ("storage", ["storage"]),
    ("rules", ["scoring", "fitness", "cards", "officialform", "interchange", "reports",
               "maintenance", "batchscore", "testkind", "scorerrules", "testdayrules", "fieldday"]),
    ("windows", ["reportview", "conflictwindow", "testday", "dbtool", "scorer/window", "scorer/recordsio",
                 "scorer/alternate", "scorer/help"]),
    ("programs", ["app"]),
]
# The window folders that belong to one program's window: they may include
# each other one way. Any other pair of window folders may not, but for the
# report view, which both tests' windows show their reports in.
SHARED_WINDOWS = {"reportview", "conflictwindow"}
SCORER = {"scorer/window", "scorer/recordsio", "scorer/alternate", "scorer/help"}
# The rules of one test never lean on the other's.
APART = [("scorerrules", "testdayrules")]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE = (".h", ".cpp", ".c")


def folder_of(src, path):
    rel = os.path.relpath(path, src).split(os.sep)
    if rel[0] == "scorer" and len(rel) > 2:
        return "scorer/" + rel[1]
    return rel[0]


def read_arrows(src):
    owner = {}
    files = []
    for root, _, names in os.walk(src):
        for n in names:
            if n.endswith(SOURCE):
                p = os.path.join(root, n)
                files.append(p)
                owner.setdefault(n, folder_of(src, p))
    arrows = {}
    for p in files:
        here = folder_of(src, p)
        with open(p, encoding="utf-8", errors="replace") as f:
            for inc in INCLUDE.findall(f.read()):
                there = owner.get(os.path.basename(inc))
                if there and there != here:
                    arrows.setdefault((here, there), set()).add(os.path.relpath(p, src))
    return arrows


def circles(arrows):
    graph = {}
    for a, b in arrows:
        graph.setdefault(a, set()).add(b)
    found, state, stack = [], {}, []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(graph.get(n, ())):
            if state.get(m) == 1:
                found.append(stack[stack.index(m):] + [m])
            elif m not in state:
                visit(m)
        stack.pop()
        state[n] = 2

    for n in sorted(graph):
        if n not in state:
            visit(n)
    return found


def main():
    src = sys.argv[1]
    rank = {f: i for i, (_, folders) in enumerate(LAYERS) for f in folders}
    arrows = read_arrows(src)
    faults = []
    for f in sorted({f for pair in arrows for f in pair}):
        if f not in rank:
            faults.append(f"{f}: a folder on no layer (name it in {os.path.basename(__file__)})")
    for (a, b), by in sorted(arrows.items()):
        if a not in rank or b not in rank:
            continue
        why = None
        if rank[a] < rank[b]:
            why = f"{LAYERS[rank[a]][0]} include {LAYERS[rank[b]][0]}"
        elif LAYERS[rank[a]][0] == "windows" == LAYERS[rank[b]][0] and b not in SHARED_WINDOWS \
                and not (a in SCORER and b in SCORER):
            why = "one window folder includes another"
        if (a, b) in APART or (b, a) in APART:
            why = "the two tests' rules lean on each other"
        if why:
            faults.append(f"{a} -> {b}: {why} ({', '.join(sorted(by))})")
    whole = {(a.split("/")[0], b.split("/")[0]) for a, b in arrows if a.split("/")[0] != b.split("/")[0]}
    # Circles that run through src/scorer only when its folders count as one;
    # any other shows in the first list already.
    as_one = [c for c in circles(dict.fromkeys(whole)) if "scorer" in c]
    for c in circles(arrows) + as_one:
        faults.append("circle: " + " -> ".join(c))
    if "--show" in sys.argv:
        for (a, b), by in sorted(arrows.items()):
            print(f"{a} -> {b} ({len(by)} files)")
    for f in faults:
        print(f)
    print(f"{len(arrows)} folder arrows, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
