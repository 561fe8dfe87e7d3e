#!/usr/bin/env python3
"""Writes the five-event test's table files from the official score tables.

Reads score-tables-2025-06-01.pdf with `pdftotext -layout` (poppler-utils)
and splits each table line on whitespace: the points, twenty cells (ten age
groups, "M|C" then "F" in each) and the points again. A line whose two
points differ, or that has another number of cells, stops the run: the
layout changed and the files must not be written from a guess.

  maketables.py [PDF] [OUTDIR]       (defaults: the PDF and folder beside it)

The checked-in CSVs are this script's output; tests/fitness/check_tables.py
reads the same pages another way and compares every cell.
"""

import csv
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
AGE_GROUPS = ["17-21", "22-26", "27-31", "32-36", "37-41",
              "42-46", "47-51", "52-56", "57-61", "62+"]
COLUMNS = [f"{g} {c}" for g in AGE_GROUPS for c in ("M|C", "F")]

# Event file, its pages (1-based) and the form of its cells.
EVENTS = [
    ("deadlift", [1], r"\d+"),
    ("pushup", [2], r"\d+"),
    ("sdc", [3, 4], r"\d+:\d\d"),
    ("plank", [5, 6], r"\d+:\d\d"),
    ("run", [7, 8], r"\d+:\d\d"),
]
ALTERNATE_PAGE = 9
# The alternate events in the order the page lists them, each named by the
# first word of its label and the key the scorer uses.
ALTERNATES = [("2.5-mile", "walk"), ("12 km", "bike"), ("1 km", "swim"), ("5 km", "row")]


def page_text(pdf, page):
    return subprocess.run(
        ["pdftotext", "-layout", "-f", str(page), "-l", str(page), str(pdf), "-"],
        check=True, capture_output=True, text=True).stdout


def table_rows(text, cell, page):
    cell_re = re.compile(rf"^(?:{cell}|---)$")
    rows = {}
    for line in text.splitlines():
        words = line.split()
        if not words or not re.fullmatch(r"\d+", words[0]):
            continue
        if len(words) != 22 or words[0] != words[-1]:
            sys.exit(f"page {page}: a table line that is not points, 20 cells, points: {line!r}")
        cells = words[1:-1]
        bad = [c for c in cells if not cell_re.match(c)]
        if bad:
            sys.exit(f"page {page}: cells of an unexpected form {bad} in {line!r}")
        rows[int(words[0])] = cells
    return rows


def event_rows(pdf, pages, cell):
    rows = {}
    for page in pages:
        for points, cells in table_rows(page_text(pdf, page), cell, page).items():
            # A table carried over two pages repeats its 60-point line.
            if points in rows and rows[points] != cells:
                sys.exit(f"pages {pages}: the {points}-point line differs between pages")
            rows[points] = cells
    if 100 not in rows or 0 not in rows:
        sys.exit(f"pages {pages}: no 100- or 0-point line")
    return [(p, rows[p]) for p in sorted(rows, reverse=True)]


def alternate_rows(pdf):
    text = page_text(pdf, ALTERNATE_PAGE)
    times = [line.split() for line in text.splitlines()
             if re.fullmatch(r"(?:\s*\d+:\d\d){20}\s*", line)]
    labels = [line.strip() for line in text.splitlines()
              if any(line.strip() == label for label, _ in ALTERNATES)]
    if len(times) != len(ALTERNATES) or labels != [label for label, _ in ALTERNATES]:
        sys.exit(f"page {ALTERNATE_PAGE}: expected {len(ALTERNATES)} events of 20 times, "
                 f"found {len(times)} lines and labels {labels}")
    return [(key, cells) for (_, key), cells in zip(ALTERNATES, times)]


def write(path, first, rows):
    with open(path, "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow([first] + COLUMNS)
        for key, cells in rows:
            w.writerow([key] + cells)


def main():
    pdf = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "score-tables-2025-06-01.pdf"
    out = Path(sys.argv[2]) if len(sys.argv) > 2 else HERE
    for name, pages, cell in EVENTS:
        write(out / f"{name}.csv", "points", event_rows(pdf, pages, cell))
    write(out / "alternate.csv", "event", alternate_rows(pdf))


if __name__ == "__main__":
    main()
