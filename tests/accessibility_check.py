"""Reads the station's window through the accessibility bus, as a screen reader does, and checks
what it says after a failing reply. Prints what it found; exits non-zero on a mismatch.

    accessibility_check.py EXPECTED...   (each NAME=TEXT or NAME=TEXT|HINT)

The description must be "CAPTION: TEXT" (the name without " result"), followed by ". " and the
field's tooltip when it has one: NAME=TEXT|HINT wants HINT in it.
"""
import sys
import time

import pyatspi


def station_window(seconds=10):
    """The station's application on the bus; a loaded machine may take a while to register it."""
    deadline = time.monotonic() + seconds
    while True:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "Zyloq Converter Test":
                return app
        if time.monotonic() > deadline:
            return None
        time.sleep(0.2)


def fields(node):
    for child in node:
        if child is None:
            continue
        try:
            text = child.queryText().getText(0, -1)
        except NotImplementedError:
            text = None
        if text is not None:
            yield child.name, text, child.description
        yield from fields(child)


def main():
    app = station_window()
    if app is None:
        print("the station is not on the accessibility bus")
        return 1
    found = {name: (text, description) for name, text, description in fields(app)}
    failures = 0
    for expectation in sys.argv[1:]:
        name, want = expectation.split("=", 1)
        want, _, hint = want.partition("|")
        text, description = found.get(name, (None, None))
        caption = name[: -len(" result")] if name.endswith(" result") else name
        said = f"{caption}: {want}"
        if hint:
            described = description is not None and description.startswith(said + ". ") \
                and hint in description
        else:
            described = description == said
        ok = text == want and described
        failures += not ok
        print(f"{'ok' if ok else 'FAILED'}: {name!r} says {text!r} ({description!r})"
              + ("" if ok else f", expected {want!r} described as {said!r}"
                 + (f" with {hint!r}" if hint else "")))
    return 1 if failures else 0


sys.exit(main())
