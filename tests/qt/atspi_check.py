#!/usr/bin/python3
"""Reads Kestrun's running window as a screen reader does, over AT-SPI, and checks what it reads.

  atspi_check.py KESTRUN [--tree-only]

Runs inside a session bus with an X display (atspi-check sets both up). It turns the desktop's
screen reader flag on, as Orca does, starts KESTRUN on the prefix in WINEPREFIX, prints the
window's accessibility tree, checks the roles, names and descriptions, then types a folder into
the first folder box through AT-SPI and checks that its option's name follows. Exit status 0
when everything reads as expected.
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
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid and app.childCount > 0:
                    window = app[0]
                    if window.childCount > 0:
                        return window
            except GLib.GError:
                pass
        time.sleep(0.2)
    return None


def describe(node):
    text = f'{node.getRoleName()} "{node.name}"'
    if node.description:
        text += f' description="{node.description}"'
    try:
        text += f' text="{node.queryText().getText(0, -1)}"'
    except NotImplementedError:
        pass
    return text + (" [showing]" if node.getState().contains(pyatspi.STATE_SHOWING) else "")


def walk(node, depth=0, out=None):
    out = [] if out is None else out
    out.append((depth, node))
    for child in node:
        walk(child, depth + 1, out)
    return out


def y_of(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).y


def same_row(a, b):
    """Whether two controls share a row of the layout: their extents overlap vertically."""
    ea = a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    eb = b.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return ea.y < eb.y + eb.height and eb.y < ea.y + ea.height


def main():
    program = sys.argv[1]
    tree_only = "--tree-only" in sys.argv
    screen_reader_on()
    app = subprocess.Popen([program], env=dict(os.environ, QT_QPA_PLATFORM="xcb"))
    failures = []
    try:
        window = find_window(app.pid)
        if window is None:
            print("atspi-check: FAIL: Kestrun's window never came onto the accessibility bus")
            return 1
        time.sleep(0.5)  # let the load's scan settle the names and markers
        nodes = walk(window)
        for depth, node in nodes:
            print("  " * depth + describe(node))
        if tree_only:
            return 0

        def expect(what, seen, wanted):
            if seen != wanted:
                failures.append(f"{what}: {seen!r}, expected {wanted!r}")

        controls = [node for depth, node in nodes if depth > 0]
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
        folder_frame, model_frame = frames.get("Installation Folder"), frames.get("Select FM")
        if folder_frame is None or model_frame is None:
            failures.append("the frames are missing")
        else:
            # Each folder option is named after the folder in the box on its row.
            boxes = sorted((n for n in folder_frame if n.getRoleName() == "text"), key=y_of)
            options = sorted((n for n in folder_frame if n.getRoleName() == "radio button"),
                             key=y_of)
            expect("folder controls", (len(options), len(boxes)), (2, 2))
            for option, box in zip(options, boxes):
                folder = box.queryText().getText(0, -1)
                expect("folder option", option.name, "Use the folder " + folder)
            # A flight model reads "Current" exactly while the marker on its row shows.
            shown = [n for n in model_frame if n.getRoleName() == "label"
                     and n.name == "Current" and n.getState().contains(pyatspi.STATE_SHOWING)]
            models = [n for n in model_frame if n.getRoleName() == "radio button"]
            expect("flight-model options", len(models), 3)
            if not shown:
                failures.append("no flight model is marked current on the demo prefix")
            for model in models:
                expect(f"description of {model.name}", model.description,
                       "Current" if any(same_row(model, n) for n in shown) else "")
            # Typed through the accessibility bus, a folder renames its option.
            if len(boxes) == 2:
                boxes[0].queryEditableText().setTextContents("d:\\Games\\Gunship!")
                end = time.monotonic() + 5
                while options[0].name != "Use the folder d:\\Games\\Gunship!" and \
                        time.monotonic() < end:
                    time.sleep(0.1)
                expect("folder option after typing", options[0].name,
                       "Use the folder d:\\Games\\Gunship!")
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
