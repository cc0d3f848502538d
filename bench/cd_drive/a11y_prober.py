#!/usr/bin/python3
"""Asks a running program's window for its place on screen every 100 ms,
through the accessibility bus as a screen reader does, and prints the
slowest answer when told to stop (SIGTERM).

Usage: a11y_prober.py PID
Prints one line: "answers N slowest_ms M unanswered K". It runs as a
process of its own: in a thread of the timing script its calls would wait
on that script's own interpreter, not on the program."""

import signal
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

stopping = False


def stop(*_):
    global stopping
    stopping = True


def find_window(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None:
            continue
        try:
            if app.get_process_id() != pid:
                continue
            for k in range(app.get_child_count()):
                window = app.get_child_at_index(k)
                if window is not None:
                    return window
        except Exception:
            continue
    return None


def main():
    pid = int(sys.argv[1])
    signal.signal(signal.SIGTERM, stop)
    # A slow window is what is measured: wait for its answer as long as it
    # takes, rather than the library's own limit.
    Atspi.set_timeout(120000, 120000)
    answers, unanswered, slowest = 0, 0, 0.0
    window = None
    while not stopping:
        try:
            if window is None:
                window = find_window(pid)
            else:
                began = time.monotonic()
                # Extents are never cached on the reader's side: the
                # window's own thread must answer.
                window.get_extents(Atspi.CoordType.SCREEN)
                slowest = max(slowest, time.monotonic() - began)
                answers += 1
        except Exception:
            if window is not None:
                unanswered += 1
            window = None
        time.sleep(0.1)
    print(f"answers {answers} slowest_ms {slowest * 1000:.0f} unanswered {unanswered}", flush=True)


if __name__ == "__main__":
    main()
