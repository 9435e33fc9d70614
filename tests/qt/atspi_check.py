#!/usr/bin/python3
"""Reads Kestrun's running window as a screen reader does, over AT-SPI, and checks what it reads.

  atspi_check.py KESTRUN [--tree-only]

Runs inside a session bus with an X display (atspi-check sets both up). It turns the desktop's
screen reader flag on, as Orca does, starts KESTRUN on the prefix in WINEPREFIX, prints the
window's accessibility tree, checks the roles, names and descriptions, then types a folder into
the first folder box through AT-SPI and checks that its option's name follows.
"""
import os
import subprocess
import sys
import time

from gi.repository import Gio, GLib

import pyatspi


def screen_reader_on():
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  GLib.Variant("(ssv)", ("org.a11y.Status", "ScreenReaderEnabled",
                                         GLib.Variant("b", True))),
                  None, Gio.DBusCallFlags.NONE, 5000, None)


def find_window(pid, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid and app.childCount > 0 \
                        and app[0].childCount > 0:
                    return app[0]
            except GLib.GError:
                pass
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    yield depth, node
    for child in node:
        yield from walk(child, depth + 1)


def extents(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def same_row(a, b):
    """Whether two controls share a row of the layout: their extents overlap vertically."""
    ea, eb = extents(a), extents(b)
    return ea.y < eb.y + eb.height and eb.y < ea.y + ea.height


def check(window, failures):
    def expect(what, seen, wanted):
        if seen != wanted:
            failures.append(f"{what}: {seen!r}, expected {wanted!r}")

    controls = [node for depth, node in walk(window) if depth > 0]
    counts, named = {}, []
    for node in controls:
        role = node.getRoleName()
        counts[role] = counts.get(role, 0) + 1
        if role in ("push button", "panel", "check box"):
            named.append((role, node.name))
    expect("window", (window.getRoleName(), window.name), ("frame", "Kestrun"))
    expect("controls by role", counts, {"push button": 3, "panel": 2, "radio button": 5,
                                        "text": 2, "label": 3, "check box": 1})
    expect("buttons, frames, check box", sorted(named),
           [("check box", "Stay Resident?"), ("panel", "Installation Folder"),
            ("panel", "Select FM"), ("push button", "Copy"), ("push button", "Copy & Launch"),
            ("push button", "Launch")])
    frames = {n.name: n for n in controls if n.getRoleName() == "panel"}
    if set(frames) != {"Installation Folder", "Select FM"}:
        return

    def within(frame, role):
        return sorted((n for n in frames[frame] if n.getRoleName() == role),
                      key=lambda n: extents(n).y)

    # Each folder option is named after the folder in the box on its row.
    options = within("Installation Folder", "radio button")
    boxes = within("Installation Folder", "text")
    expect("folder controls", (len(options), len(boxes)), (2, 2))
    for option, box in zip(options, boxes):
        expect("folder option", option.name, "Use the folder " + box.queryText().getText(0, -1))
    # A flight model reads "Current" exactly while the marker on its row shows.
    shown = [n for n in within("Select FM", "label")
             if n.name == "Current" and n.getState().contains(pyatspi.STATE_SHOWING)]
    if not shown:
        failures.append("no flight model is marked current on the demo prefix")
    for model in within("Select FM", "radio button"):
        expect(f"description of {model.name}", model.description,
               "Current" if any(same_row(model, n) for n in shown) else "")
    # Typed through the accessibility bus, a folder renames its option.
    if len(boxes) == 2:
        boxes[0].queryEditableText().setTextContents("d:\\Games\\Gunship!")
        end = time.monotonic() + 5
        while options[0].name != "Use the folder d:\\Games\\Gunship!" and time.monotonic() < end:
            time.sleep(0.1)
        expect("folder option after typing", options[0].name, "Use the folder d:\\Games\\Gunship!")


def main():
    screen_reader_on()
    app = subprocess.Popen([sys.argv[1]], env=dict(os.environ, QT_QPA_PLATFORM="xcb"))
    failures = []
    try:
        window = find_window(app.pid)
        if window is None:
            print("atspi-check: FAIL: Kestrun's window never came onto the accessibility bus")
            return 1
        time.sleep(0.5)  # let the load's scan settle the names and markers
        for depth, node in walk(window):
            print("  " * depth + f'{node.getRoleName()} "{node.name}" "{node.description}"')
        if "--tree-only" not in sys.argv:
            check(window, failures)
    finally:
        app.terminate()
        try:
            app.wait(10)
        except subprocess.TimeoutExpired:
            app.kill()
    for failure in failures:
        print("atspi-check: FAIL: " + failure)
    print(f"atspi-check: {'FAILED' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
