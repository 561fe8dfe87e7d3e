#!/usr/bin/python3
"""Both programs as a screen reader meets them, through the accessibility bus.

Started under an X server with a D-Bus session (xvfb-run, dbus-run-session)
and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1: the scorer is opened in a scratch
folder holding sample soldiers, and its windows are opened the way a
keyboard user opens them (menus, buttons, keys sent through the X server).
Each window's accessibility tree is walked; the test fails on a focusable
control without a name, on a table without column header names, and when the
lane grid does not let a reader hear the soldier, the lane, the value typed
and the points it earned. The tool's window and its About box are walked too.

Nothing here waits for a fixed time: each wait polls until what it waits for
is there, or until the program it watches has ended.

usage: check_a11y.py <folder of the programs> <folder of the data files>

With QUILLON_A11Y_SCALE (1.5, 2) the programs run at that scale, as on a
desktop with larger fonts, and with QUILLON_A11Y_PICTURES=<folder> each
window walked is also photographed there (a11y-<window>-<percent>.png).
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

BIN, DATA = sys.argv[1], sys.argv[2]
SCALE = os.environ.get("QUILLON_A11Y_SCALE", "")
PICTURES = os.environ.get("QUILLON_A11Y_PICTURES", "")
problems = []
current = {}  # the program being walked
# Cells are named by what they hold (an empty cell is an empty value); the
# table's row and column headers say what they are.
NAMED_BY_CONTENT = {pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TREE_ITEM}


def start(program, folder, *args):
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    if SCALE:
        env["QT_SCALE_FACTOR"] = SCALE
    proc = subprocess.Popen([os.path.join(BIN, program), *args], cwd=folder, env=env)
    current["proc"] = proc
    current["program"] = program
    return proc


def poll(proc, what, find):
    """What `find` returns once it returns something; fails when the program ends first."""
    while True:
        try:
            found = find()
        except Exception:  # an object went away while it was read: look again
            found = None
        if found:
            return found
        if proc.poll() is not None:
            raise SystemExit(f"the program ended ({proc.returncode}) before {what} appeared")
        time.sleep(0.05)


def app_of(pid):
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.get_process_id() == pid:
            return a
    return None


def window(proc, title):
    def find():
        app = app_of(proc.pid)
        for w in app or []:
            if w is not None and w.name.startswith(title) and w.getState().contains(pyatspi.STATE_SHOWING):
                return w
        return None
    return poll(proc, f'the window "{title}"', find)


def descendants(o):
    for c in o:
        if c is None:
            continue
        yield c
        yield from descendants(c)


def find(o, role, name=None):
    for c in descendants(o):
        if c.getRole() == role and (name is None or c.name == name):
            return c
    return None


def path(o):
    parts = []
    while o is not None and o.getRole() != pyatspi.ROLE_APPLICATION:
        parts.append(f"{o.getRoleName()} {o.name!r}")
        o = o.parent
    return " > ".join(reversed(parts))


def walk(win):
    """Every focusable control has a name; every table names its columns."""
    for o in descendants(win):
        state = o.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            continue
        role = o.getRole()
        if state.contains(pyatspi.STATE_FOCUSABLE) and role not in NAMED_BY_CONTENT and not o.name.strip():
            problems.append(f"focusable control without a name: {path(o)}")
        if role == pyatspi.ROLE_TABLE:
            # An empty table has no cell to ask for its header: its header
            # cells are read as its children.
            headers = [c.name for c in o if c is not None and c.getRole() == pyatspi.ROLE_TABLE_COLUMN_HEADER]
            columns = o.queryTable().nColumns
            if len(headers) < columns or not all(h.strip() for h in headers):
                problems.append(f"{columns} columns, header names {headers}: {path(o)}")
    print(f"walked: {win.name}")
    if PICTURES:
        slug = re.sub(r"[^a-z0-9]+", "-", win.name.split(" - ")[0].split(":")[0].lower()).strip("-")
        if current["program"] == "tidewell" and slug == "about":
            slug = "marlpit-about"
        percent = round(float(SCALE or "1") * 100)
        xid = x_window(current["proc"], re.escape(win.name))
        subprocess.run(["import", "-window", xid, os.path.join(PICTURES, f"a11y-{slug}-{percent}.png")], check=True)


def click(proc, win, name):
    button = poll(proc, f'the button "{name}"', lambda: find(win, pyatspi.ROLE_PUSH_BUTTON, name))
    button.queryAction().doAction(0)


def x_window(proc, title):
    """The X window of that title: with no window manager, nothing gives it the focus but us."""
    def find():
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + title],
                             capture_output=True, text=True).stdout.split()
        return out[0] if out else None
    return poll(proc, f'the X window "{title}"', find)


def keys(proc, title, *names):
    # Sent through the X server to the window, as a keyboard does.
    subprocess.run(["xdotool", "windowfocus", "--sync", x_window(proc, title)], check=True)
    subprocess.run(["xdotool", "key", "--clearmodifiers", *names], check=True)


def type_text(proc, title, text):
    subprocess.run(["xdotool", "windowfocus", "--sync", x_window(proc, title)], check=True)
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)


def gone(proc, win_name):
    def check():
        app = app_of(proc.pid)
        return all(w is None or not w.name.startswith(win_name) or not w.getState().contains(pyatspi.STATE_SHOWING)
                   for w in app or [])
    poll(proc, f'"{win_name}" to close', check)


def lane_grid_is_read(proc, grid):
    """The first soldier's first lane: typed, stored, and read back with its points."""
    table_obj = poll(proc, "the lanes table", lambda: find(grid, pyatspi.ROLE_TABLE))
    table = table_obj.queryTable()
    headers = [table.getColumnHeader(c).name if table.getColumnHeader(c) else "" for c in range(table.nColumns)]
    points_col = headers.index("Points") if "Points" in headers else -1
    if points_col < 0:
        problems.append(f"the lane grid has no column header \"Points\": {headers}")
        return
    row = 1  # the first row holds the graders; the soldiers follow
    type_text(proc, "Lane Entry", "200")
    keys(proc, "Lane Entry", "Return")

    def points():
        cell = table.getAccessibleAt(row, points_col)
        return cell.name if cell is not None and cell.name.strip() else None
    shown = poll(proc, "the points of the first soldier", points)
    value = table.getAccessibleAt(row, 0).name
    soldier = table.getRowHeader(row).name if table.getRowHeader(row) else ""
    lane = headers[0]
    print(f"lane grid reads: soldier {soldier!r}, lane {lane!r}, value {value!r}, points {shown!r}")
    for what, text in (("soldier", soldier), ("lane", lane), ("value", value), ("points", shown)):
        if not text.strip():
            problems.append(f"the lane grid does not say the {what} of row {row}")
    if "200" not in value:
        problems.append(f"the lane grid's first cell reads {value!r} after 200 was typed")


def group_table_is_read(proc, day):
    """The group's SSNs are heard as the screen shows them, masked; the DoD ID column is named."""
    def soldiers():
        found = find(day, pyatspi.ROLE_TABLE, "Soldiers of the group")
        return found if found is not None and found.queryTable().nRows > 0 else None
    table = poll(proc, "the soldiers picked in the group's table", soldiers).queryTable()
    headers = [table.getColumnHeader(c).name if table.getColumnHeader(c) else "" for c in range(table.nColumns)]
    if "DoD ID" not in headers or "SSN" not in headers:
        problems.append(f"the group's table does not name its SSN and DoD ID columns: {headers}")
        return
    ssn_col = headers.index("SSN")
    heard = [table.getAccessibleAt(r, ssn_col).name for r in range(table.nRows)]
    print(f"group table reads SSNs as {heard[:3]}...")
    for text in heard:
        if not re.fullmatch(r"\*\*\*-\*\*-\d{4}", text):
            problems.append(f"an SSN cell of the group's table is heard as {text!r}, not masked as it is shown")


def history_field_is_named(history):
    """The field takes either identifier, and says so (the window is up: it was walked)."""
    names = [o.name for o in descendants(history) if o.getRole() == pyatspi.ROLE_TEXT]
    if "SSN or DoD ID:" not in names:
        problems.append(f"the history's field is not heard as \"SSN or DoD ID:\": its text fields read {names}")
    else:
        print("history field reads: 'SSN or DoD ID:'")


def scorer(folder):
    proc = start("ravelin", folder)
    try:
        main = window(proc, "Quillon")
        walk(main)
        keys(proc, "Quillon", "alt+h", "a")  # Help > About...
        walk(window(proc, "About"))
        keys(proc, "About", "Escape")
        keys(proc, "Quillon", "alt+t", "o")  # Test Day > Open Test Day...
        day = window(proc, "Test Day")
        walk(day)
        location = poll(proc, "the location field", lambda: find(day, pyatspi.ROLE_TEXT, "Location:"))
        location.queryEditableText().setTextContents("Range 3")
        click(proc, day, "From Records...")
        picker = window(proc, "Soldiers from the Records")
        walk(picker)
        # Down from the search into the list, every soldier, Add to Group.
        keys(proc, "Soldiers from the Records", "Down", "ctrl+a", "Return")
        gone(proc, "Soldiers from the Records")
        group_table_is_read(proc, day)
        click(proc, day, "Save Group")
        click(proc, day, "Lane Entry")
        grid = window(proc, "Lane Entry")
        walk(grid)
        lane_grid_is_read(proc, grid)
        keys(proc, "Test Day", "alt+h", "n")  # History > History by SSN...
        history = window(proc, "Soldier's History")
        walk(history)
        history_field_is_named(history)
        keys(proc, "Test Day", "alt+r", "n")  # Reports > Results by Name
        walk(window(proc, "Results by Name"))
        keys(proc, "Results by Name", "Escape")
        keys(proc, "Test Day", "alt+r", "d")  # Reports > Due List...
        walk(window(proc, "Due List"))
        keys(proc, "Due List", "Escape")
    finally:
        proc.terminate()
        proc.wait()


def tool(folder):
    proc = start("tidewell", folder)
    try:
        form = window(proc, "Marlpit Program")
        walk(form)
        click(proc, form, "Exit...")
        walk(window(proc, "About"))
    finally:
        proc.terminate()
        proc.wait()


def x_server_answers():
    return subprocess.run(["xdotool", "getdisplaygeometry"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def main():
    # A program started before the X server answers fails for a reason that
    # is not the program's.
    while not x_server_answers():
        time.sleep(0.05)
    folder = tempfile.mkdtemp(prefix="quillon-a11y-")
    try:
        for name in os.listdir(DATA):
            if name.endswith((".dat", ".rpt", ".hlp")):
                shutil.copy(os.path.join(DATA, name), folder)
        subprocess.run([os.path.join(BIN, "ravelin-sampledb"), "info.mdb"], cwd=folder, check=True)
        scorer(folder)
        tool(folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
