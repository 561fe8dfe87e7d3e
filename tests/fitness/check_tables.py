#!/usr/bin/env python3
"""A second reading of the official score tables, by word positions.

The table files are written from `pdftotext -layout` lines split on
whitespace. This reading never looks at those lines: it takes every word's
box from `pdftotext -bbox`, places each column by where its "M|C" or "F"
heading sits and each row by height, and gives a word to the heading it lies
under. It then checks, in two ways:

  check_tables.py cells PDF CSVDIR
      every cell of every table file equals the page's;
  check_tables.py score PDF QUILLON_SCORE
      quillon-score, given one soldier per listed cell (and one just worse
      than it, and one better than the 100-point line), answers the points the
      page gives, and GO/NO-GO for the alternate events at their cut-offs.

Table points are the highest line whose figure the result meets or beats;
where the pages list a better figure for fewer points (a line out of order)
the soldier keeps the higher points, and the run prints those lines.
"""

import csv
import html
import io
import re
import subprocess
import sys
from collections import defaultdict

AGE_GROUPS = ["17-21", "22-26", "27-31", "32-36", "37-41",
              "42-46", "47-51", "52-56", "57-61", "62+"]
# (lowest age, highest age) used for the boundary birthdays of each group.
AGES = [(17, 21), (22, 26), (27, 31), (32, 36), (37, 41),
        (42, 46), (47, 51), (52, 56), (57, 61), (62, 80)]
EVENTS = {  # file: (pages, larger is better, CLI column)
    "deadlift": ([1], True, "deadlift"),
    "pushup": ([2], True, "pushup"),
    "sdc": ([3, 4], False, "sdc"),
    "plank": ([5, 6], True, "plank"),
    "run": ([7, 8], False, "run"),
}
ALTERNATE_PAGE = 9
ALTERNATE_LABELS = {"Walk": "walk", "Bike": "bike", "Swim": "swim", "Row": "row"}
WORD = re.compile(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">(.*?)</word>')


def words(pdf, page):
    out = subprocess.run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), pdf, "-"],
                         check=True, capture_output=True, text=True).stdout
    return [((float(a) + float(c)) / 2, (float(b) + float(d)) / 2, html.unescape(t))
            for a, b, c, d, t in WORD.findall(out)]


def column_anchors(ws):
    """The x of the 20 column headings, left to right, from the line holding
    the "M", "|", "C" and "F" words."""
    by_line = defaultdict(list)
    for x, y, t in ws:
        by_line[round(y)].append((x, t))
    for line in by_line.values():
        line.sort()
        ms = [x for x, t in line if t == "M"]
        cs = [x for x, t in line if t == "C"]
        fs = [x for x, t in line if t == "F"]
        if len(ms) == 10 and len(cs) == 10 and len(fs) == 10:
            anchors = sorted([(m + c) / 2 for m, c in zip(ms, cs)] + fs)
            return anchors
    sys.exit("no heading line with ten M|C and ten F")


def lines_of(pairs, tolerance=3.0):
    """Words grouped into lines: a word starts a new line when it lies more
    than tolerance points below the previous one."""
    lines = []
    for x, y, t in sorted(pairs, key=lambda w: w[1]):
        if not lines or y - lines[-1][0] > tolerance:
            lines.append((y, []))
        lines[-1][1].append((x, t))
    return lines


def rows_by_height(ws, anchors, cell):
    """Rows of (points, 20 cells) for the words that look like a cell."""
    left, right = anchors[0] - (anchors[1] - anchors[0]), anchors[-1] + (anchors[-1] - anchors[-2])
    rows = []
    for y, line in lines_of([w for w in ws if re.fullmatch(cell + "|---", w[2])]):
        points = [t for x, t in line if x < left]
        cells = [None] * 20
        for x, t in line:
            if left <= x <= right:
                i = min(range(20), key=lambda k: abs(anchors[k] - x))
                if cells[i] is not None:
                    sys.exit(f"two words under one heading at height {y}: {cells[i]} {t}")
                cells[i] = t
        tail = [t for x, t in line if x > right]
        if not points:
            continue
        if points != tail or None in cells:
            sys.exit(f"a row that does not read whole at height {y}: {line}")
        rows.append((int(points[0]), cells))
    return rows


def event_table(pdf, pages):
    table = {}
    for page in pages:
        ws = words(pdf, page)
        anchors = column_anchors(ws)
        for points, cells in rows_by_height(ws, anchors, r"\d+|\d+:\d\d"):
            if points in table and table[points] != cells:
                sys.exit(f"pages {pages}: two readings of the {points}-point row")
            table[points] = cells
    return table


def alternate_table(pdf):
    ws = words(pdf, ALTERNATE_PAGE)
    anchors = column_anchors(ws)
    labels = [(y, ALTERNATE_LABELS[t]) for x, y, t in ws if t in ALTERNATE_LABELS]
    table = {}
    for y, line in lines_of([w for w in ws if re.fullmatch(r"\d+:\d\d", w[2])]):
        if len(line) != 20:
            sys.exit(f"page {ALTERNATE_PAGE}: a line of {len(line)} times")
        # Each event's label is set in two lines around its times; the second
        # line (the event's name) lies just below them.
        key = min(labels, key=lambda lab: abs(lab[0] - y))[1]
        cells = [None] * 20
        for x, t in line:
            cells[min(range(20), key=lambda k: abs(anchors[k] - x))] = t
        table[key] = cells
    if sorted(table) != sorted(ALTERNATE_LABELS.values()) or any(None in c for c in table.values()):
        sys.exit(f"page {ALTERNATE_PAGE}: events read {sorted(table)}")
    return table


def read_csv(path):
    with open(path, newline="") as f:
        return list(csv.reader(f))


def check_cells(pdf, csvdir):
    differences = 0
    compared = 0
    for name, (pages, _, _) in EVENTS.items():
        page = event_table(pdf, pages)
        rows = read_csv(f"{csvdir}/{name}.csv")
        header, body = rows[0], rows[1:]
        if len(header) != 21 or [h.split()[0] for h in header[1::2]] != AGE_GROUPS:
            print(f"{name}.csv: heading {header}")
            differences += 1
        file_table = {int(r[0]): r[1:] for r in body}
        if sorted(file_table) != sorted(page):
            print(f"{name}.csv: rows {sorted(file_table)} against the page's {sorted(page)}")
            differences += 1
        for points in page:
            for i, cell in enumerate(page[points]):
                compared += 1
                got = file_table.get(points, [None] * 20)[i]
                if got != cell:
                    print(f"{name}.csv {points} points, {header[i + 1]}: file {got!r}, page {cell!r}")
                    differences += 1
    alt = alternate_table(pdf)
    rows = read_csv(f"{csvdir}/alternate.csv")
    file_alt = {r[0]: r[1:] for r in rows[1:]}
    if sorted(file_alt) != sorted(alt):
        print(f"alternate.csv: events {sorted(file_alt)}")
        differences += 1
    for key, cells in alt.items():
        for i, cell in enumerate(cells):
            compared += 1
            if file_alt.get(key, [None] * 20)[i] != cell:
                print(f"alternate.csv {key}, {rows[0][i + 1]}: file {file_alt.get(key)}, page {cell!r}")
                differences += 1
    print(f"{compared} cells compared, {differences} differences")
    return differences == 0


def seconds(t):
    m, s = t.split(":")
    return int(m) * 60 + int(s)


def mss(n):
    return f"{n // 60}:{n % 60:02d}"


def table_points(cells_by_points, raw, larger_better):
    """The highest line whose figure raw meets or beats."""
    met = [p for p, v in cells_by_points if (raw >= v if larger_better else raw <= v)]
    return max(met, default=0)


def soldiers():
    """(sex, standard, dob, column index) for every age group and column,
    the lowest and highest age of each group on the test day 2025-06-01."""
    out = []
    for g, (low, high) in enumerate(AGES):
        for age, dob in ((low, f"{2025 - low}-06-01"), (high, f"{2025 - high - 1}-06-02")):
            out.append(("M", "general", dob, 2 * g, age))
            out.append(("F", "combat", dob, 2 * g, age))
            out.append(("F", "general", dob, 2 * g + 1, age))
    return out


def check_scoring(pdf, scorer):
    tables = {name: event_table(pdf, pages) for name, (pages, _, _) in EVENTS.items()}
    alt = alternate_table(pdf)
    numeric = {name: {p: [None if c == "---" else (int(c) if ":" not in c else seconds(c)) for c in cells]
                      for p, cells in t.items()} for name, t in tables.items()}
    out_of_order = []
    cases = []  # (input row, expected points by CLI column)
    for sex, standard, dob, col, age in soldiers():
        column = {}
        for name in EVENTS:
            column[name] = [(p, v[col]) for p, v in numeric[name].items() if v[col] is not None]
        best = {name: max(column[name], key=lambda pv: pv[0])[1] for name in EVENTS}
        for name, (_, larger, cli) in EVENTS.items():
            values = set()
            for p, v in column[name]:
                values.add(v)
                values.add(v - 1 if larger else v + 1)
                if table_points(column[name], v, larger) != p and (name, col, p) not in out_of_order:
                    out_of_order.append((name, col, p))
            values.add(best[name] + 1 if larger else best[name] - 1)
            for v in sorted(values):
                raw = dict(best)
                raw[name] = v
                cases.append((sex, standard, dob, raw, None, {cli: table_points(column[name], v, larger)}))
        for key, cells in alt.items():
            limit = seconds(cells[col])
            for t, points in ((limit, 60), (limit + 1, 0)):
                raw = dict(best)
                raw["run"] = None
                cases.append((sex, standard, dob, raw, (key, t), {"run": points}))
    header = ["name", "sex", "dob", "test_date", "standard", "deadlift", "pushup", "sdc", "plank",
              "run", "alternate", "alternate_time"]
    buf = io.StringIO()
    w = csv.writer(buf, lineterminator="\n")
    w.writerow(header)
    for n, (sex, standard, dob, raw, alternate, _) in enumerate(cases):
        def shown(name):
            v = raw[name]
            if v is None:
                return ""
            return str(v) if name in ("deadlift", "pushup") else mss(v)
        w.writerow([f"case {n}", sex, dob, "2025-06-01", standard] +
                   [shown(k) for k in ("deadlift", "pushup", "sdc", "plank", "run")] +
                   ([alternate[0], mss(alternate[1])] if alternate else ["", ""]))
    proc = subprocess.run([scorer], input=buf.getvalue(), capture_output=True, text=True)
    if proc.returncode != 0:
        print(f"quillon-score exited {proc.returncode}: {proc.stderr}")
        return False
    out = list(csv.DictReader(io.StringIO(proc.stdout)))
    if len(out) != len(cases):
        print(f"{len(cases)} soldiers in, {len(out)} out")
        return False
    wrong = 0
    for (sex, standard, dob, raw, alternate, expected), row in zip(cases, out):
        for cli, points in expected.items():
            got = row.get(f"{cli}_points")
            if row.get("refused") or got != str(points):
                wrong += 1
                if wrong <= 20:
                    print(f"{row['name']} ({sex}, {standard}, born {dob}, {cli} "
                          f"{alternate or raw}): {got!r} {row.get('refused')!r}, page says {points}")
    for name, col, p in out_of_order:
        print(f"out of order on the page: {name}, column {col + 1}, {p} points")
    print(f"{len(cases)} soldiers scored, {wrong} wrong")
    return wrong == 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "cells":
        ok = check_cells(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == "score":
        ok = check_scoring(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
