#!/usr/bin/python3
"""What a screen-reader user hears and a low-vision user sees: GTK's own
words in Dutch under an English-less C locale, access keys, the book heard
on the start button, progress on demand, the replace question in reading
order, the About box's version as text, and every window at normal and
double font size and in the HighContrast theme (screenshots to look at)."""

import os
import re
import subprocess
import sys
import time
import unittest

import pyatspi

import atspi_tree as tree
from talvora_process import BOOK, BOOK_TITLE, SAMPLE, Sandbox, click_at, keys, screenshot

PROGRAM = os.path.abspath(sys.argv.pop(1))
SETTINGS = "Talvora Instellingen"
PICKER = "Selecteer de output directory en klik op OK."
EXAMPLE = "Voorbeeld van nieuwe mapnaam: "
LINE = re.compile(r"^\d+ % – [\d,]+ [kMG]B van [\d,]+ [kMG]B – \S.*$")
VARIANTS = {"normal": {}, "large": {"GDK_DPI_SCALE": "2"}, "contrast": {"GTK_THEME": "HighContrast"}}


def extents(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def buttons_left_to_right(node):
    found = [n for n in tree.walk(node) if tree.role(n) == "push button" and n.name]
    return [n.name for n in sorted(found, key=lambda n: extents(n).x)]


def heard(node):
    """What a screen reader is given for a control: role, name, description."""
    text = f"{tree.role(node)} {tree.accessible_name(node)!r}"
    return text + (f", description {node.description!r}" if node.description else "")


class Session:
    """One run of the program in a sandbox, its accessibility node and
    windows."""

    def __init__(self, *args, **env):
        self.sandbox = Sandbox()
        self.disc = os.path.join(self.sandbox.home, "disc")
        self.output = os.path.join(self.sandbox.home, "Boeken")
        os.makedirs(self.output)
        self.args, self.extra = args, env
        self.process = None

    def configure(self, **values):
        settings = {"OutputDir": self.output + "/", "EjectWhenDone": 1, "MessageWhenDone": 1, "AutoStart": 0,
                    "ConfirmOverwrite": 1}
        settings.update(values)
        os.makedirs(os.path.dirname(self.sandbox.settings_file()), exist_ok=True)
        with open(self.sandbox.settings_file(), "w", encoding="utf-8") as file:
            file.write("[Settings]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))

    def book_in_the_way(self):
        """The sample book on the disc and an older copy of its ncc.html in
        the way, so that the replace question holds the copy still."""
        subprocess.run(["/usr/bin/python3", SAMPLE, self.disc], check=True)
        existing = os.path.join(self.output, BOOK)
        os.makedirs(existing)
        with open(os.path.join(existing, "ncc.html"), "w", encoding="utf-8") as file:
            file.write("oud")
        return existing

    def launch(self, frame_name):
        env = self.sandbox.env(TALVORA_DRIVES=self.disc, **self.extra)
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM, *self.args], env=env)
        self.app = tree.application(self.process.pid)
        return tree.find(self.app, "frame", frame_name, timeout=20)

    def alert(self, predicate, timeout=20):
        """The message box that `predicate` accepts, with its name read in
        the same pass (a box still being built may vanish and reappear)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for node in tree.walk(self.app):
                try:
                    if tree.role(node) == "alert" and predicate(node):
                        return node, node.name
                except Exception:  # a window appearing or going
                    pass
            time.sleep(0.05)
        raise AssertionError("no such message box")

    def close(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
        if self.process is not None:
            self.process.wait()
        self.sandbox.cleanup()


def wait_until(condition, what, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            if condition():
                return
        except Exception:
            pass
        time.sleep(0.05)
    raise AssertionError(what)


def x_window(node):
    """The X window of the message box holding `node`, found by its screen
    position among the program's windows titled Talvora."""
    box = extents(node)
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Talvora$"],
                         stdout=subprocess.PIPE, text=True).stdout.split()
    for window in ids:
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                  stdout=subprocess.PIPE, text=True).stdout
        values = dict(line.split("=", 1) for line in geometry.split())
        x, y, w, h = (int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        if x <= box.x < x + w and y <= box.y < y + h and w * h < 1000 * 700:
            return window
    raise AssertionError("no X window around the message box")


def focus_x_window(node):
    """Gives it the input focus: there is no window manager to do it."""
    subprocess.run(["xdotool", "windowfocus", "--sync", x_window(node)], check=True)


def move_aside(node):
    """Moves the message box to the screen's corner, so that the screenshot
    shows the progress window behind it."""
    subprocess.run(["xdotool", "windowmove", "--sync", x_window(node), "0", "0"], check=True)
    time.sleep(0.5)  # the windows behind repaint


class SettingsWindow(unittest.TestCase):
    def setUp(self):
        self.session = Session("/setup")
        self.frame = self.session.launch(SETTINGS)
        tree.find(self.frame, "push button", "Opslaan")

    def tearDown(self):
        self.session.close()

    def test_access_keys_example_description_picker_and_message_box_in_dutch(self):
        bindings = {}
        for node in tree.walk(self.frame):
            if tree.role(node) in ("push button", "check box", "radio button"):
                bindings[node.name] = node.queryAction().getKeyBinding(0)
        self.assertEqual(12, len(bindings))
        self.assertTrue(all(re.fullmatch(r"<Alt>[a-z]", key) for key in bindings.values()), bindings)
        self.assertEqual(len(bindings), len(set(bindings.values())), f"access keys collide: {bindings}")
        self.assertEqual("<Alt>u", bindings["Auteur"], "labels are unchanged besides their access key")

        identifier = tree.find(self.frame, "check box", "Identifier")
        self.assertEqual(EXAMPLE + "133869 - " + BOOK_TITLE + " - Hoogmeer, TW", identifier.description)
        identifier.queryAction().doAction(0)
        wait_until(lambda: identifier.description == EXAMPLE + BOOK_TITLE + " - Hoogmeer, TW",
                   "the example is heard on the check box once it is toggled")

        # The folder field's own menu, in GTK's Dutch.
        field = next(n for n in tree.walk(self.frame) if tree.role(n) == "text")
        box = extents(field)
        subprocess.run(["xdotool", "mousemove", "--sync", str(box.x + 20), str(box.y + box.height // 2),
                        "click", "3"], check=True)
        paste = tree.find(self.session.app, "menu item", "Plakken")
        keys(SETTINGS, "Escape")
        wait_until(lambda: not paste.getState().contains(pyatspi.STATE_SHOWING), "the menu closes")

        # The picker speaks GTK's Dutch and opens where the field points.
        field.queryEditableText().setTextContents(os.path.join(self.session.output, "nog niet") + "/")
        click_at(extents(tree.find(self.frame, "push button", "Zoek...")))
        picker = tree.find(self.session.app, "file chooser", PICKER, timeout=20)
        tree.find(picker, "push button", "Annuleren")
        tree.find(picker, "push button", "Openen")
        tree.find(picker, "label", "Persoonlijke map")
        self.assertTrue(tree.is_checked(tree.find(picker, "toggle button", "Boeken")),
                        "the picker opens in the nearest folder that exists")
        screenshot("a11y-folder-picker")
        keys(PICKER, "Escape")
        wait_until(lambda: not picker.getState().contains(pyatspi.STATE_SHOWING), "the picker closes")

        for name in ("Titel", "Auteur"):
            tree.find(self.frame, "check box", name).queryAction().doAction(0)
        click_at(extents(tree.find(self.frame, "push button", "Opslaan")))
        box, name = self.session.alert(lambda n: True)
        self.assertEqual("Informatie", name, "GTK's role name of the message box, in Dutch")
        tree.find(box, "push button", "OK").queryAction().doAction(0)

    def test_about_version_is_read_as_text_not_as_the_name_of_ok(self):
        # From a button, "Annuleren", where the window opens: on the folder
        # field Shift+F10 is the field's own menu.
        keys(SETTINGS, "shift+F10")
        tree.find(self.session.app, "menu item", "About Talvora...")
        subprocess.run(["xdotool", "key", "--delay", "100", "Down", "Return"], check=True)
        about = tree.find(self.session.app, "frame", "About Talvora")
        ok = tree.find(about, "push button", "OK")
        self.assertEqual([], tree.labelled_by(ok))
        self.assertEqual("Talvora  Version 1.5 Build 6", ok.description, "heard with the focused button")
        version = tree.find(about, "label", "Talvora  Version 1.5 Build 6")
        self.assertEqual([], [r for r in version.getRelationSet()
                              if r.getRelationType() == pyatspi.RELATION_LABEL_FOR])
        screenshot("a11y-about-box")
        keys("About Talvora", "Return")


class CopyJourney(unittest.TestCase):
    """One copy, as heard, with a file in the way so that the replace
    question holds the copy still."""

    def setUp(self):
        self.session = Session()
        self.existing = self.session.book_in_the_way()
        self.session.configure()

    def tearDown(self):
        self.session.close()

    def test_found_progress_on_demand_replace_question_and_done(self):
        log = []
        window = self.session.launch("Talvora")
        log.append(f"start: frame {window.name!r}; " + heard(tree.find(window, "label", "Titel van Daisy-boek:")))
        start = tree.find(window, "push button", "Start kopiëren")
        wait_until(lambda: start.getState().contains(pyatspi.STATE_ENABLED), "the book is found")
        wait_until(lambda: tree.is_focused(start), "focus on the start button")
        self.assertEqual(f"Kopieert ‘{BOOK_TITLE}’ naar {self.existing}. Het boek op de CD is volledig.",
                         start.description)
        self.assertEqual("<Alt>s", start.queryAction().getKeyBinding(0))
        log.append("found: focus on " + heard(start))
        keys("Talvora", "Return")

        question, name = self.session.alert(lambda n: any(b.name == "Ja, alles" for b in tree.walk(n)))
        self.assertEqual("Vraag", name)
        self.assertEqual(["Ja", "Ja, alles", "Nee", "Annuleren"], buttons_left_to_right(question))
        focus_x_window(question)
        order = []
        for _ in range(4):
            wait_until(lambda: any(tree.is_focused(b) for b in tree.walk(question)), "a focused button")
            order.append(next(b.name for b in tree.walk(question) if tree.is_focused(b)))
            subprocess.run(["xdotool", "key", "Tab"], check=True)
            time.sleep(0.2)
        self.assertEqual(["Ja", "Ja, alles", "Nee", "Annuleren"], order, "Tab follows the reading order")
        log.append(f"question: alert {name!r}, buttons {buttons_left_to_right(question)}")

        # Its title names the whole destination, for eyes and ears alike.
        progress = tree.find(self.session.app, "frame", "Bestanden worden gekopiëerd naar " + self.existing)
        line = tree.find(progress, "text")
        self.assertEqual(["Voortgang:"], tree.labelled_by(line))
        states = line.getState()
        self.assertTrue(states.contains(pyatspi.STATE_FOCUSABLE))
        self.assertFalse(states.contains(pyatspi.STATE_EDITABLE))
        text = line.queryText().getText(0, -1)
        self.assertRegex(text, LINE)
        cancel = tree.find(progress, "push button", "Annuleren")
        self.assertEqual([], tree.labelled_by(cancel), "the remaining time does not name Annuleren")
        self.assertEqual("", cancel.description, "no figures there to go stale")
        bar = tree.find(progress, "progress bar")
        self.assertGreaterEqual(extents(bar).height, 12, "a bar thick enough to see")
        log.append(f"progress on demand: {heard(line)} text {text!r}; {heard(cancel)}")
        move_aside(question)
        screenshot("a11y-replace-question")
        tree.find(question, "push button", "Ja, alles").queryAction().doAction(0)

        done, name = self.session.alert(lambda n: any(c.name.split("\n")[0] == "Daisy-CD is gekopieerd." for c in tree.walk(n)))
        self.assertEqual("Informatie", name)
        log.append(f"done: alert {name!r}, label 'Daisy-CD is gekopieerd.', {buttons_left_to_right(done)}")
        tree.find(done, "push button", "OK").queryAction().doAction(0)
        self.assertEqual(0, self.session.process.wait(timeout=30))
        print("\n".join(["", "What a screen reader is given:"] + log))


class Looks(unittest.TestCase):
    """Every window at normal and double font size and in HighContrast;
    the screenshots are for people to look at."""

    def test_windows_at_each_size_and_theme(self):
        heights = {}
        for variant, env in VARIANTS.items():
            with self.subTest(variant=variant):
                session = Session("/setup", **env)
                try:
                    frame = session.launch(SETTINGS)
                    field = next(n for n in tree.walk(frame) if tree.role(n) == "text")
                    heights[variant] = extents(field).height
                    outer = extents(frame)
                    for node in tree.walk(frame):
                        if tree.role(node) in ("push button", "check box", "radio button", "label", "text"):
                            box = extents(node)
                            self.assertLessEqual(box.x + box.width, outer.x + outer.width, node.name)
                            self.assertLessEqual(box.y + box.height, outer.y + outer.height, node.name)
                    screenshot(f"a11y-settings-{variant}")
                    keys(SETTINGS, "Escape")
                    session.process.wait(timeout=20)
                finally:
                    session.close()

                session = Session(**env)
                try:
                    session.book_in_the_way()
                    session.configure(MessageWhenDone=0)
                    window = session.launch("Talvora")
                    start = tree.find(window, "push button", "Start kopiëren")
                    wait_until(lambda: start.getState().contains(pyatspi.STATE_ENABLED), "the book is found")
                    screenshot(f"a11y-copy-{variant}")
                    keys("Talvora", "Return")
                    question, _ = session.alert(lambda n: any(b.name == "Ja, alles" for b in tree.walk(n)))
                    tree.find(session.app, "progress bar")
                    move_aside(question)
                    screenshot(f"a11y-progress-{variant}")
                    tree.find(question, "push button", "Ja, alles").queryAction().doAction(0)
                    self.assertEqual(0, session.process.wait(timeout=30))
                finally:
                    session.close()
        self.assertGreaterEqual(heights["large"], heights["normal"] * 1.4, "the folder field grows with the font")


if __name__ == "__main__":
    unittest.main(verbosity=2)
