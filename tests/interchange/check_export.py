#!/usr/bin/env python3
"""Reads an exported CSV file and workbook back with Python's own csv module
and openpyxl, and compares them with the rows the C++ side meant to write
(given as JSON). Exits non-zero with the first difference."""
import csv
import datetime
import json
import re
import sys

import openpyxl

FIELDS = ["ID", "LNAME", "RANK", "SSN", "SEX", "DOB", "DOT", "RAW_PU", "RAW_SU", "RUN_M",
          "RUN_S", "C_PU", "C_SU", "C_RUN", "TOTAL", "STAT", "PROFILE", "REMARK"]
NUMBERS = {"ID", "RAW_PU", "RAW_SU", "RUN_M", "RUN_S", "C_PU", "C_SU", "C_RUN", "TOTAL"}
RISKY = ("=", "+", "-", "@", "\t", "\r")


def fail(msg):
    print(msg)
    sys.exit(1)


def as_date(text):
    m = re.fullmatch(r"\s*(\d{1,2})/(\d{1,2})/(\d{4})\s*", text)
    if not m:
        return None
    try:
        d = datetime.datetime(int(m[3]), int(m[1]), int(m[2]))
    except ValueError:
        return None
    return d if d.year >= 1900 else None


def as_number(text):
    return float(text) if re.fullmatch(r"\s*[+-]?(\d+\.?\d*|\.\d+)\s*", text) else None


def excel_text(value):
    # Control characters travel in the workbook as Excel's _xHHHH_ escapes,
    # which Excel undoes on reading and this openpyxl leaves in place.
    if not isinstance(value, str):
        return value
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m[1], 16)), value)


def check_csv(path, rows):
    with open(path, newline="", encoding="utf-8-sig") as f:
        got = list(csv.reader(f))
    if got[0] != FIELDS:
        fail(f"csv header {got[0]}")
    if len(got) != len(rows) + 1:
        fail(f"csv has {len(got) - 1} records, expected {len(rows)}")
    for r, (want, have) in enumerate(zip(rows, got[1:]), 1):
        for name, v, h in zip(FIELDS, want, have):
            expected = "'" + v if v.startswith(RISKY) else v
            if h != expected:
                fail(f"csv record {r} {name}: {h!r} != {expected!r}")


def check_xlsx(path, rows):
    ws = openpyxl.load_workbook(path).active
    got = list(ws.iter_rows())
    if [c.value for c in got[0]] != FIELDS:
        fail(f"xlsx header {[c.value for c in got[0]]}")
    if len(got) != len(rows) + 1:
        fail(f"xlsx has {len(got) - 1} records, expected {len(rows)}")
    for r, (want, cells) in enumerate(zip(rows, got[1:]), 1):
        for name, v, c in zip(FIELDS, want, cells):
            if c.data_type == "f":
                fail(f"xlsx record {r} {name} is a formula: {c.value!r}")
            where = f"xlsx record {r} {name}"
            if v == "":
                if c.value is not None:
                    fail(f"{where}: {c.value!r} for an empty value")
                continue
            d = as_date(v) if name in ("DOB", "DOT") else None
            n = as_number(v) if name in NUMBERS else None
            if d is not None:
                if not c.is_date or c.value != d:
                    fail(f"{where}: {c.value!r} is not the date {d}")
            elif n is not None:
                if isinstance(c.value, bool) or not isinstance(c.value, (int, float)) or c.value != n:
                    fail(f"{where}: {c.value!r} is not the number {n}")
            elif c.data_type != "s" or excel_text(c.value) != v:
                fail(f"{where}: {c.value!r} ({c.data_type}) is not the text {v!r}")


def main():
    csv_path, xlsx_path, json_path = sys.argv[1:4]
    with open(json_path, encoding="utf-8") as f:
        rows = json.load(f)
    check_csv(csv_path, rows)
    check_xlsx(xlsx_path, rows)
    print(f"{len(rows)} records read back from both files")


main()
