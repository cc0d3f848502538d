#!/usr/bin/python3
"""The settings window as a screen-reader user meets it: every control found
by role and name, Tab order, the folder picker, saving, cancelling and the
About box, with the settings file checked afterwards."""

import os
import subprocess
import sys
import time
import unittest

import pyatspi

import atspi_tree as tree
from talvora_process import SAMPLE, Sandbox, click_at, keys, screenshot

PROGRAM = os.path.abspath(sys.argv.pop(1))
TITLE = "Talvora Instellingen"

# Role and accessible name of every control, in Tab order.
CONTROLS = [
    ("push button", "Annuleren"),
    ("text", "Locatie waar Daisy-boeken naar toe moeten worden gekopieerd:"),
    ("push button", "Zoek..."),
    ("check box", "Identifier"),
    ("check box", "Titel"),
    ("check box", "Auteur"),
    ("radio button", "Waarschuw voordat Daisy-boek wordt overschreven"),
    ("check box", "Lade van CD-ROM drive openen wanneer het kopiëren is voltooid"),
    ("check box", "Melding geven wanneer het kopiëren is voltooid"),
    ("check box", "Kopieer CD via de harde schijf (langzamer, alleen bij problemen gebruiken)"),
    ("check box", "Meteen starten met kopiëren zodra het programma wordt gestart"),
    ("push button", "Opslaan"),
]


def read_settings(path):
    values = {}
    if not os.path.exists(path):
        return values
    with open(path, encoding="utf-8") as file:
        for line in file:
            if "=" in line:
                name, value = line.rstrip("\n").split("=", 1)
                values[name] = value
    return values


class SettingsWindow(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        env = self.sandbox.env()
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM, "/setup"], env=env)
        self.app = tree.application(self.process.pid)
        self.frame = tree.find(self.app, "frame", TITLE)
        tree.find(self.frame, "push button", "Opslaan")

    def tearDown(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.sandbox.cleanup()

    def control(self, role, name):
        for node in tree.walk(self.frame):
            if tree.role(node) == role and tree.accessible_name(node) == name:
                return node
        self.fail(f"no {role} named {name!r}")

    def focused(self):
        for node in tree.walk(self.frame):
            if tree.is_focused(node):
                return tree.role(node), tree.accessible_name(node)
        return None

    def wait_focus(self, expected, timeout=5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.focused() == expected:
                return
            time.sleep(0.05)
        self.assertEqual(expected, self.focused())

    def wait_for_exit(self):
        self.assertEqual(0, self.process.wait(timeout=20))

    def test_every_control_is_named_and_tab_visits_them_in_order(self):
        screenshot("settings-window")
        for role, name in CONTROLS + [("radio button", "Voeg automatisch een volgnummer toe aan de titel")]:
            with self.subTest(control=name):
                self.control(role, name)
        for name in ("Naam van nieuwe map met Daisy-boek",
                     "Wat te doen als er al een Daisy-boek met dezelfde titel bestaat"):
            panel = self.control("panel", name)
            self.assertEqual([], tree.labelled_by(panel), "a group is named by its own title only")
        for role, name in CONTROLS:
            if role == "check box":
                self.assertEqual([], tree.labelled_by(self.control(role, name)))
        example = self.control("label", "133869 - Het raadsel van de blauwe sluis - Hoogmeer, TW")
        self.assertEqual(["Voorbeeld van nieuwe mapnaam:"], tree.labelled_by(example))

        # The window opens on its first tab stop, "Annuleren".
        self.wait_focus(CONTROLS[0])
        for expected in CONTROLS[1:] + CONTROLS[:1]:
            keys(TITLE, "Tab")
            self.wait_focus(expected)

    def test_pick_folder_untick_author_choose_numbering_and_save(self):
        target = os.path.join(self.sandbox.home, "Daisy boeken")
        os.makedirs(target)
        click_at(self.control("push button", "Zoek...").queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
        picker = tree.find(self.app, "file chooser", "Selecteer de output directory en klik op OK.", timeout=20)
        screenshot("folder-picker")
        keys("Selecteer de output directory en klik op OK.", "ctrl+l")
        location = None
        deadline = time.monotonic() + 10
        while location is None and time.monotonic() < deadline:
            for node in tree.walk(picker):
                if tree.role(node) == "text" and node.getState().contains(pyatspi.STATE_FOCUSED):
                    location = node
            time.sleep(0.05)
        self.assertIsNotNone(location, "the picker's location field")
        editable = location.queryEditableText()
        editable.setTextContents(target)
        keys("Selecteer de output directory en klik op OK.", "Return")
        field = self.control("text", CONTROLS[1][1])
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and field.queryText().getText(0, -1) != target + "/":
            time.sleep(0.05)
        self.assertEqual(target + "/", field.queryText().getText(0, -1))
        self.wait_focus(CONTROLS[0])  # back on "Annuleren"

        author = self.control("check box", "Auteur")
        author.queryAction().doAction(0)
        example = "133869 - Het raadsel van de blauwe sluis"
        tree.find(self.frame, "label", example)
        numbering = self.control("radio button", "Voeg automatisch een volgnummer toe aan de titel")
        numbering.queryAction().doAction(0)
        self.control("push button", "Opslaan").queryAction().doAction(0)
        self.wait_for_exit()

        self.assertEqual({
            "OutputDir": target + "/", "UseIdentifier": "1", "UseTitle": "1", "UseCreator": "0",
            "ConfirmOverwrite": "0", "EjectWhenDone": "1", "MessageWhenDone": "0", "CopyViaTemp": "0",
            "AutoStart": "0",
        }, read_settings(self.sandbox.settings_file()))

        # The next start copies with those settings: no author in the name.
        disc = os.path.join(self.sandbox.home, "disc")
        subprocess.run(["/usr/bin/python3", SAMPLE, disc], check=True)
        env = self.sandbox.env(TALVORA_DRIVES=disc)
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM], env=env)
        app = tree.application(self.process.pid)
        start = tree.find(app, "push button", "Start kopiëren")
        deadline = time.monotonic() + 20
        while not start.getState().contains(pyatspi.STATE_ENABLED) and time.monotonic() < deadline:
            time.sleep(0.05)
        keys("Talvora", "Return")
        self.wait_for_exit()
        self.assertEqual(["TV-2026-0042 - Het raadsel van de blauwe sluis"], os.listdir(target))

    def test_escape_after_changes_writes_nothing(self):
        self.control("check box", "Titel").queryAction().doAction(0)
        keys(TITLE, "Escape")
        self.wait_for_exit()
        self.assertFalse(os.path.exists(self.sandbox.settings_file()))

    def test_enter_on_a_check_box_does_nothing(self):
        # GTK's own default toggles a check box on Enter; a keyboard user
        # would change a setting without meaning to, and Opslaan saves it.
        self.wait_focus(CONTROLS[0])
        for role, name in CONTROLS[1:-1]:
            keys(TITLE, "Tab")
            self.wait_focus((role, name))
            if role != "check box":
                continue
            before = tree.is_checked(self.control(role, name))
            keys(TITLE, "Return", "KP_Enter")
            time.sleep(0.3)
            self.assertEqual(before, tree.is_checked(self.control(role, name)), name)
            self.assertEqual((role, name), self.focused())
        self.assertIsNone(self.process.poll())

    def test_about_from_the_context_menu_and_back_with_edits_intact(self):
        self.control("check box", "Identifier").queryAction().doAction(0)
        keys(TITLE, "Tab", "Tab", "Tab")
        self.wait_focus(("check box", "Identifier"))
        keys(TITLE, "shift+F10")
        tree.find(self.app, "menu item", "About Talvora...")
        screenshot("context-menu")
        # Keys, not an accessibility action: the action would wait inside
        # the About box's modal loop.
        subprocess.run(["xdotool", "key", "--delay", "100", "Down", "Return"], check=True)
        about = tree.find(self.app, "frame", "About Talvora")
        tree.find(about, "label", "Talvora  Version 1.5 Build 6")
        screenshot("about-box")
        keys("About Talvora", "Return")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                if not about.getState().contains(pyatspi.STATE_SHOWING):
                    break
            except Exception:  # the window is gone
                break
            time.sleep(0.05)
        self.assertFalse(tree.is_checked(self.control("check box", "Identifier")))
        tree.find(self.frame, "label", "Het raadsel van de blauwe sluis - Hoogmeer, TW")
        self.assertIsNone(self.process.poll())


if __name__ == "__main__":
    unittest.main(verbosity=2)
