#!/usr/bin/python3
"""The archive station's window as a screen-reader user meets it: the real
talvora-archief watching two folders that stand for drives, one with a
sample book in it. The table of books and the drive list are found by role
and name, the finished book's row, its announcement and the line Tab
reaches are read, and Stoppen is pressed with its access key. With the
first drive slowed, Stoppen pressed through its accessibility action asks
its question, and after Afmaken the last book and the stop are heard
before the window ends. Map wijzigen... through its action shows its
picker; at double text size the columns hold their texts."""

import csv
import os
import shutil
import subprocess
import sys
import time
import unittest

import pyatspi

import atspi_tree as tree
from talvora_process import BOOK, BOOK_TITLE, SAMPLE, Sandbox, keys, screenshot, visible_windows

PROGRAM = os.path.abspath(sys.argv.pop(1))
WINDOW = "Talvora Archief"
# The modelled CD drive of the benchmarks, built beside the program: reads
# from the first drive crawl, so a copy is still running when Stoppen is
# pressed.
SLOW_DRIVE = os.path.join(os.path.dirname(os.path.dirname(PROGRAM)), "bench", "cd_drive", "cd_drive_shim.so")


def cells(table):
    return [node.name for node in tree.walk(table) if tree.role(node) == "table cell"]


def headers(table):
    return [node.name for node in tree.walk(table) if tree.role(node) == "table column header"]


class ArchiveWindow(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        home = self.sandbox.home
        self.drives = [os.path.join(home, "cd1"), os.path.join(home, "cd2")]
        self.output = os.path.join(home, "Archief")
        for folder in self.drives + [self.output]:
            os.makedirs(folder)
        subprocess.run(["/usr/bin/python3", SAMPLE, self.drives[0]], check=True)
        os.makedirs(os.path.dirname(self.sandbox.settings_file()))
        with open(self.sandbox.settings_file(), "w", encoding="utf-8") as file:
            file.write(f"[Settings]\nOutputDir={self.output}/\n")
        self.process = None

    def start(self, **extra):
        env = self.sandbox.env(TALVORA_DRIVES=":".join(self.drives), **extra)
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM], env=env)
        app = tree.application(self.process.pid)
        return app, tree.find(app, "frame", WINDOW, timeout=20)

    def start_slow(self, megabytes):
        """The window with the first drive's copy running for seconds: a
        book of this many megabytes more read at one megabyte a second."""
        shutil.rmtree(self.drives[0])
        subprocess.run(["/usr/bin/python3", SAMPLE, "--extra-mb", str(megabytes), self.drives[0]], check=True)
        self.assertTrue(os.path.exists(SLOW_DRIVE), f"build cd_drive_shim: {SLOW_DRIVE}")
        app, window = self.start(LD_PRELOAD=SLOW_DRIVE, TALVORA_SHIM_ROOT=self.drives[0],
                                 TALVORA_SHIM_OPEN_MS="0", TALVORA_SHIM_MBPS="1")
        drives = self.table(window, "Stations:")
        self.wait_for("the first drive is not busy",
                      lambda: self.drives[0] + "/: bezig met archiveren" in cells(drives))
        return app, window

    def question(self, app):
        """The stop question, once it is there."""
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for node in tree.walk(app):
                try:
                    if tree.role(node) == "alert" and any(
                            tree.role(n) == "push button" and n.name == "Afmaken" for n in tree.walk(node)):
                        return node
                except Exception:  # a node being built
                    pass
            time.sleep(0.05)
        self.fail(f"no stop question:\n{tree.dump(app)}")

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.sandbox.cleanup()

    def table(self, window, name):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for node in tree.walk(window):
                try:
                    if tree.role(node) == "table" and tree.accessible_name(node) == name:
                        return node
                except Exception:  # a node being built
                    pass
            time.sleep(0.05)
        self.fail(f"no table named {name!r}:\n{tree.dump(window)}")

    def wait_for(self, what, condition, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                if condition():
                    return
            except Exception:  # a node being replaced
                pass
            time.sleep(0.05)
        self.fail(what)

    def test_a_finished_book_shows_in_the_table_is_announced_and_stoppen_ends(self):
        env = self.sandbox.env(TALVORA_DRIVES=":".join(self.drives))
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM], env=env)
        app = tree.application(self.process.pid)
        window = tree.find(app, "frame", WINDOW, timeout=20)

        folder = tree.find(window, "text")
        # GTK links the label a moment after the field appears.
        self.wait_for("the folder field is not labelled Uitvoermap:",
                      lambda: tree.labelled_by(folder) == ["Uitvoermap:"], timeout=10)
        self.assertEqual(self.output + "/", folder.queryText().getText(0, -1))
        self.assertTrue(tree.is_focused(folder), "the first control has the focus")

        books = self.table(window, "Boeken:")
        self.assertEqual(["Station", "Titel", "Resultaat", "Reden", "Tijd"], headers(books))
        self.wait_for("no row for the finished book", lambda: len(cells(books)) == 5)
        row = cells(books)
        # A whole copy has no reason to give.
        self.assertEqual([self.drives[0] + "/", BOOK_TITLE, "gekopieerd"], row[:3])
        self.assertIn(row[3], ("", None))
        self.assertRegex(row[4], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        # At the usual text size every column is in view, none scrolled off.
        table = books.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        for header in (n for n in tree.walk(books) if tree.role(n) == "table column header"):
            box = header.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            self.assertLessEqual(box.x + box.width, table.x + table.width, header.name)
        said = tree.find(window, "notification")
        self.assertEqual(BOOK_TITLE + ": gekopieerd.", said.name)
        # The book's outcome, whole, on a line Tab reaches.
        chosen = next(n for n in tree.walk(window) if tree.role(n) == "text" and tree.labelled_by(n) == ["Gekozen boek:"])
        self.assertTrue(chosen.getState().contains(pyatspi.STATE_FOCUSABLE))
        self.assertEqual(BOOK_TITLE + ": gekopieerd.", chosen.queryText().getText(0, -1))

        drives = self.table(window, "Stations:")
        # The drives stand in the order they reported in.
        expected = [d + "/: wacht op een schijf" for d in self.drives]
        self.wait_for("the drives are not both waiting", lambda: sorted(cells(drives)) == expected)
        tree.find(window, "push button", "Map wijzigen...")
        tree.find(window, "push button", "Stoppen")
        screenshot("archive-window")

        keys(WINDOW, "alt+s")
        self.assertEqual(0, self.process.wait(timeout=30))
        self.assertTrue(os.path.isdir(os.path.join(self.output, BOOK)))
        with open(os.path.join(self.output, "talvora-archief.csv"), encoding="utf-8-sig", newline="") as file:
            rows = list(csv.reader(file))
        self.assertEqual(2, len(rows), "a header and the book's row")
        self.assertIn("gekopieerd", rows[1])

    def test_stoppen_pressed_through_its_action_asks_and_afmaken_is_heard_to_the_end(self):
        app, window = self.start_slow(6)
        # As a screen reader presses a button: its accessibility action.
        tree.find(window, "push button", "Stoppen").queryAction().doAction(0)
        question = self.question(app)
        said = [n.name for n in tree.walk(question) if tree.role(n) == "label"]
        self.assertTrue(said[0].startswith("Er wordt nog gekopieerd. Wilt u de lopende kopieën laten afmaken"), said)
        self.assertTrue(self.process.poll() is None and visible_windows(WINDOW, self.process.pid),
                        "the window stays while it asks")
        screenshot("archive-stop-question")
        line = tree.find(window, "notification")
        tree.find(question, "push button", "Afmaken").queryAction().doAction(0)
        said = []
        deadline = time.monotonic() + 60
        while self.process.poll() is None and time.monotonic() < deadline:
            try:
                text = line.name
                if text and (not said or said[-1] != text):
                    said.append(text)
            except Exception:  # the window is going
                pass
            time.sleep(0.05)
        self.assertEqual(0, self.process.wait(timeout=5))
        # Each of them on the line long enough to be read, the window still there.
        self.assertEqual(["Bezig met stoppen: de lopende kopieën worden afgemaakt...",
                          BOOK_TITLE + ": gekopieerd.", "Het archiefstation is gestopt."], said)
        self.assertTrue(os.path.isdir(os.path.join(self.output, BOOK)), "the running copy was finished")
    def test_map_wijzigen_pressed_through_its_action_shows_a_picker_that_is_heard(self):
        app, window = self.start()
        tree.find(window, "push button", "Map wijzigen...").queryAction().doAction(0)
        picker = tree.find(app, "file chooser", "Kies de map waarin de boeken komen", timeout=20)
        self.assertTrue(picker.getState().contains(pyatspi.STATE_SHOWING))
        keys("Kies de map waarin de boeken komen", "Escape")
        keys(WINDOW, "alt+s")
        self.assertEqual(0, self.process.wait(timeout=30))

    def test_the_table_at_double_text_size(self):
        app, window = self.start(GDK_DPI_SCALE="2")
        books = self.table(window, "Boeken:")
        self.wait_for("no row for the finished book", lambda: len(cells(books)) == 5)
        screenshot("archive-window-large")
        columns = [n for n in tree.walk(books) if tree.role(n) == "table column header"]
        row = [n for n in tree.walk(books) if tree.role(n) == "table cell"]
        # The outcome and the time have a longest text; each fits its column.
        for header, cell in zip(columns, row):
            if header.name not in ("Resultaat", "Tijd"):
                continue
            column = header.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            text = cell.queryText()
            x, _, width, _ = text.getCharacterExtents(text.characterCount - 1, pyatspi.DESKTOP_COORDS)
            self.assertLessEqual(x + width, column.x + column.width, f"{header.name}: {cell.name!r}")
        outer = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        self.assertLessEqual(outer.width, 1280, "the window stays on the screen; the table scrolls sideways")

if __name__ == "__main__":
    unittest.main()
