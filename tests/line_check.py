"""Waits, through the accessibility bus as a screen reader hears it, until converter-line's
objects say what is expected. Prints what it found; exits non-zero when one did not in time.

    line_check.py SECONDS EXPECTED...   (each NAME=START: the description of the object NAME
                                         starts with START; NAME~TEXT: its text contains TEXT)
"""
import sys
import time

import pyatspi


def objects(node):
    for child in node:
        if child is None:
            continue
        try:
            text = child.queryText().getText(0, -1)
        except NotImplementedError:
            text = ""
        yield child.name, child.description or "", text
        yield from objects(child)


def said(seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "converter-line":
                yield {name: (description, text) for name, description, text in objects(app)}
        time.sleep(0.3)


def main():
    seconds = float(sys.argv[1])
    wanted = sys.argv[2:]
    found = {}
    for found in said(seconds):
        if all(matches(found, want) for want in wanted):
            break
    failures = 0
    for want in wanted:
        ok = matches(found, want)
        failures += not ok
        name = want.replace("~", "=").split("=", 1)[0]
        print(f"{'ok' if ok else 'FAILED'}: {name!r} says {found.get(name)!r}, wanted {want!r}")
    return 1 if failures else 0


def matches(found, want):
    if "~" in want and ("=" not in want or want.index("~") < want.index("=")):
        name, text = want.split("~", 1)
        return name in found and text in found[name][1]
    name, start = want.split("=", 1)
    return name in found and found[name][0].startswith(start)


if __name__ == "__main__":
    sys.exit(main())
