# SPDX-License-Identifier: GPL-3.0-or-later
# Walks the running client over the accessibility bus as a screen reader does, and fails, naming what it missed,
# unless it finds: the search field "Sök", a server's tree "Statusträd – …", the panel "Aktiva larm", and in the tree
# and the panel rows whose cells read a status word.
import sys
import time

import pyatspi

STATUSES = {"OK", "WARNING", "CRITICAL", "UNKNOWN"}
ROWS_READ = 60  # cells of a big view read per walk: enough to meet some rows, not the whole site
VIEWS = (pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST)


def client():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and "norv" in (app.name or "").lower():
            return app
    return None


def walk(node, seen):
    """Every accessible below node as (role, name, node), views cut short to their first cells."""
    for index, child in enumerate(node):
        if child is None or index >= ROWS_READ and node.getRole() in VIEWS:
            continue
        seen.append((child.getRole(), child.name or "", child))
        walk(child, seen)


def findings():
    app = client()
    if app is None:
        return {"the client on the bus": False}
    seen = []
    walk(app, seen)
    views = {name: node for role, name, node in seen if role in VIEWS}
    tree = next((node for name, node in views.items() if name.startswith("Statusträd – ")), None)
    panel = views.get("Aktiva larm")

    def reads_status(view):
        return view is not None and any((cell.name or "") in STATUSES for cell in list(view)[:ROWS_READ] if cell)

    return {
        'the search field "Sök"': any(name == "Sök" and role in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)
                                      for role, name, _ in seen),
        'a tree "Statusträd – …"': tree is not None,
        'the panel "Aktiva larm"': panel is not None,
        "a tree row read with its status": reads_status(tree),
        "an alarm read with its status": reads_status(panel),
    }


def main():
    deadline = time.time() + 90
    found = {}
    while time.time() < deadline:
        try:
            found = findings()
        except Exception as error:  # the client may still be starting, or changing what it shows
            found = {f"a walk without error ({error})": False}
        if all(found.values()):
            print("found:", ", ".join(found))
            return 0
        time.sleep(2)
    print("missing:", ", ".join(what for what, ok in found.items() if not ok))
    return 1


if __name__ == "__main__":
    sys.exit(main())
