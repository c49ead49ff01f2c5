#!/usr/bin/env python3
"""The program as a screen reader sees it, through AT-SPI: the main window is a frame, the
thumbnail list holds an item per picture named by its file (the newest selected), the
Pictures and Videos tabs are page tabs, and menu items carry their plain names with the keys
as their key binding. Exit 0 when all holds, 1 with what did not."""
import sys
import time

import pyatspi


def find_app(name, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name and name.lower() in app.name.lower():
                return app
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    yield node, depth
    if depth > 12:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def main():
    pictures = int(sys.argv[1]) if len(sys.argv) > 1 else 2
    problems = []
    app = find_app("qrv-dm500") or find_app("QRV-DM500")
    if app is None:
        print("the program is not on the accessibility bus")
        return 1
    frames = [w for w in app if w is not None and w.getRoleName() == "frame" and w.name == "QRV-DM500"]
    if not frames:
        problems.append("no frame named QRV-DM500: " + ", ".join(f"{w.getRoleName()} {w.name!r}" for w in app if w))
    nodes = list(walk(app))
    lists = [n for n, _ in nodes if n.getRoleName() == "list" and n.name in ("Pictures", "Videos")]
    if not lists:
        problems.append("no list named Pictures")
    else:
        items = [lists[0].getChildAtIndex(i) for i in range(lists[0].childCount)]
        names = [item.name for item in items]
        if len(items) != pictures or not all(n.startswith("Still_") and n.endswith(".bmp") for n in names):
            problems.append(f"the list's items are {names}, not {pictures} stills by name")
        if any(item.getRoleName() != "list item" for item in items):
            problems.append("the list's items are not list items: " + ", ".join(i.getRoleName() for i in items))
        selected = [item.name for item in items if item.getState().contains(pyatspi.STATE_SELECTED)]
        if len(selected) != 1:
            problems.append(f"selected items: {selected}")
    tabs = {n.name: n for n, _ in nodes if n.getRoleName() == "page tab"}
    if set(tabs) != {"Pictures", "Videos"}:
        problems.append(f"page tabs: {sorted(tabs)}")
    elif not tabs["Pictures"].getState().contains(pyatspi.STATE_SELECTED):
        problems.append("the Pictures tab is not the selected one")
    items = {n.name: n for n, _ in nodes if n.getRoleName() in ("menu item", "check menu item", "radio menu item")}
    if "Take Picture..." not in items:
        padded = [name for name in items if name.startswith("Take Picture")]
        problems.append(f"no menu item named 'Take Picture...' (found {padded})")
    else:
        action = items["Take Picture..."].queryAction()
        bindings = [action.getKeyBinding(i) for i in range(action.nActions)]
        if not any("F2" in b for b in bindings):
            problems.append(f"'Take Picture...' has no F2 key binding: {bindings}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
