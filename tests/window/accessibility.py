"""What a screen reader learns of the program's window through AT-SPI.

    accessibility.py APP descriptions PATH...   the File menu's entries describe themselves by
                                                these full paths, in this order
    accessibility.py APP tooltip PATH           a tool tip that shows PATH is on the screen
"""
import sys
import time

import pyatspi


def nodes(node):
    try:
        yield node
        for index in range(node.childCount):
            child = node.getChildAtIndex(index)
            if child is not None:
                yield from nodes(child)
    except Exception:  # a node that went away while it was read
        return


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def found(name, check):
    deadline = time.time() + 10
    while time.time() < deadline:
        app = application(name)
        if app is not None and check(app):
            return True
        time.sleep(0.2)
    return False


def main():
    name, what, wanted = sys.argv[1], sys.argv[2], sys.argv[3:]
    seen = []

    def descriptions(app):
        seen[:] = [(item.name, item.description) for item in nodes(app)
                   if item.getRoleName() == "menu item" and item.name[:1].isdigit()]
        return [description for _, description in seen] == wanted

    def tooltip(app):
        seen[:] = [(tip.name, tip.getState().contains(pyatspi.STATE_SHOWING))
                   for tip in nodes(app) if tip.getRoleName() == "tool tip"]
        return (wanted[0], True) in seen

    if not found(name, descriptions if what == "descriptions" else tooltip):
        print(f"FAIL: {what} {wanted}: {seen}", file=sys.stderr)
        return 1
    print(f"{what}: {seen}")
    return 0


sys.exit(main())
