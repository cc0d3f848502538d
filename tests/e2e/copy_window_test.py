#!/usr/bin/python3
"""The copy window as a screen-reader user meets it: the real program, a
sample book presented as a disc through TALVORA_DRIVES, controls found by
role and name in the accessibility tree, and the copied folder checked byte
for byte afterwards."""

import filecmp
import os
import shutil
import subprocess
import sys
import time
import unittest

import pyatspi

import atspi_tree as tree
from talvora_process import BOOK, BOOK_TITLE, SAMPLE, Sandbox, keys, screenshot

PROGRAM = os.path.abspath(sys.argv.pop(1))
START = "Start kopiëren"
SEARCHING = "Bezig met zoeken naar Daisy-CD..."
NO_DISC = "Geen Daisy-CD gevonden. Plaats een CD en klik op OK."
REFUSED = "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur."
DONE = "Daisy-CD is gekopieerd."
# Exit status of a run, as a script around the program sees it.
COPIED, FAILED, CANCELLED, REFUSED_RUN = 0, 1, 2, 3
SECOND_BOOK = "TV-2026-0043 - De stille haven - Veldhuis, Anouk"


def make_book(folder, *options):
    subprocess.run(["/usr/bin/python3", SAMPLE, folder, *options], check=True)


def same_tree(a, b):
    comparison = filecmp.dircmp(a, b)
    if comparison.left_only or comparison.right_only or comparison.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, comparison.common_files, shallow=False)
    if mismatch or errors:
        return False
    return all(same_tree(os.path.join(a, d), os.path.join(b, d)) for d in comparison.common_dirs)


class CopyWindow(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.disc = os.path.join(self.sandbox.home, "disc")
        self.output = os.path.join(self.sandbox.home, "Boeken")
        os.makedirs(self.disc)
        os.makedirs(self.output)
        self.process = None

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.sandbox.cleanup()

    def configure(self, **values):
        settings = {"OutputDir": self.output + "/", "EjectWhenDone": 1, "MessageWhenDone": 0, "AutoStart": 0}
        settings.update(values)
        os.makedirs(os.path.dirname(self.sandbox.settings_file()), exist_ok=True)
        with open(self.sandbox.settings_file(), "w", encoding="utf-8") as file:
            file.write("[Settings]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))

    def launch(self, **extra):
        env = self.sandbox.env(TALVORA_DRIVES=self.disc, **extra)
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM], env=env)
        self.app = tree.application(self.process.pid)
        self.window = tree.find(self.app, "frame", "Talvora", timeout=20)
        return self.window

    def start_button(self):
        return tree.find(self.window, "push button", START)

    def wait_ready(self):
        button = self.start_button()
        deadline = time.monotonic() + 20
        while not button.getState().contains(pyatspi.STATE_ENABLED):
            self.assertLess(time.monotonic(), deadline, "the window never became ready")
            time.sleep(0.05)
        return button

    def alert(self, text):
        """The message box showing `text`: its first line as the primary
        label, the rest as the secondary one; or one whose primary label is
        `text` (a whole book's done message has a second line)."""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            try:
                for node in tree.walk(self.app):
                    labels = [child.name for child in tree.walk(node) if tree.role(child) == "label" and child.name]
                    if tree.role(node) == "alert" and ("\n".join(labels) == text or labels[:1] == [text]):
                        return node
            except Exception:  # a window appearing or going
                pass
            time.sleep(0.05)
        self.fail(f"no message box saying {text!r}")

    def press(self, alert, button):
        tree.find(alert, "push button", button).queryAction().doAction(0)

    def wait_exit(self, status=COPIED):
        self.assertEqual(status, self.process.wait(timeout=30))

    def replace_question(self):
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            try:
                for node in tree.walk(self.app):
                    if tree.role(node) == "push button" and node.name == "Ja, alles":
                        while tree.role(node) != "alert":
                            node = node.parent
                        return node
            except Exception:  # a window appearing or going
                pass
            time.sleep(0.02)
        self.fail("no replace question")

    def existing_book(self):
        """The book's folder as an earlier copy left it, with an ncc.html in
        the way of the new one, so that the copy asks before replacing it."""
        existing = os.path.join(self.output, BOOK)
        os.makedirs(existing)
        with open(os.path.join(existing, "ncc.html"), "w", encoding="utf-8") as file:
            file.write("oud")
        return existing

    def hidden(self):
        return [n for n in os.listdir(self.output) if n.startswith(".")]

    def test_findings_are_shown_whole_and_name_their_book_at_normal_and_double_text(self):
        make_book(self.disc, "--two-books", "--fault", "missing-smil")
        self.configure()
        for variant, extra in (("normal", {}), ("large", {"GDK_DPI_SCALE": "2"})):
            with self.subTest(variant=variant):
                self.launch(**extra)
                self.wait_ready()
                check = next(n for n in tree.walk(self.window)
                             if tree.role(n) == "label" and tree.labelled_by(n) == ["Controle van de CD:"])
                text = check.name
                self.assertTrue(text.startswith("Van de boeken op de CD is er 1 niet volledig; wat er is, wordt "
                                                "gekopieerd naar een map met \"(onvolledig)\" achter de naam. "
                                                f"In ‘{BOOK_TITLE}’: "), text)
                self.assertRegex(text, r"ontbreekt op de CD \(.*\.smil\)\.$")
                self.assertNotIn("…", text)
                # Seen whole: wrapped inside the window, not cut. The window
                # lays itself out again once the findings arrive, a moment
                # after the text itself: its extents are read once settled.
                caption = tree.find(self.window, "label", "Controle van de CD:").queryComponent().getExtents(
                    pyatspi.DESKTOP_COORDS)
                deadline = time.monotonic() + 5
                while True:
                    box = check.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                    if box.height >= 2 * caption.height or time.monotonic() > deadline:
                        break
                    time.sleep(0.1)
                outer = self.window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                self.assertGreaterEqual(box.height, 2 * caption.height, "several lines")
                self.assertLessEqual(box.x + box.width, outer.x + outer.width)
                self.assertLessEqual(box.y + box.height, outer.y + outer.height)
                screenshot("copy-window-findings-" + variant)
                keys("Talvora", "Escape")
                self.wait_exit(CANCELLED)

    def test_start_copies_the_whole_disc_and_says_so(self):
        make_book(self.disc)
        self.configure(MessageWhenDone=1)
        self.launch()
        self.wait_ready()
        title = tree.find(self.window, "label", BOOK_TITLE)
        self.assertEqual(["Titel van Daisy-boek:"], tree.labelled_by(title))
        destination = tree.find(self.window, "label", os.path.join(self.output, BOOK))
        self.assertEqual(["Map waar Daisy-boek naar toe zal worden gekopiëerd:"], tree.labelled_by(destination))
        self.assertTrue(tree.is_focused(self.start_button()), "focus on the start button, so Enter copies")
        screenshot("copy-window-ready")
        keys("Talvora", "Return")
        done = self.alert(DONE)
        screenshot("copy-window-done")
        self.assertEqual(["OK"], [n.name for n in tree.walk(done) if tree.role(n) == "push button"])
        self.press(done, "OK")
        self.wait_exit()
        self.assertEqual([BOOK], os.listdir(self.output))
        self.assertTrue(same_tree(self.disc, os.path.join(self.output, BOOK)))

    def test_auto_start_copies_without_a_click_and_never_enables_start(self):
        make_book(self.disc)
        # A file already in the way makes the copy ask before replacing it,
        # which holds the copy still long enough to look at the window.
        existing = self.existing_book()
        self.configure(AutoStart=1, ConfirmOverwrite=1)
        self.launch()
        ever_enabled = False
        question = None
        deadline = time.monotonic() + 20
        while question is None and time.monotonic() < deadline:
            for node in tree.walk(self.app):
                try:
                    if tree.role(node) == "push button" and node.name == START:
                        ever_enabled |= node.getState().contains(pyatspi.STATE_ENABLED)
                    if tree.role(node) == "push button" and node.name == "Ja, alles":
                        question = node.parent
                        while tree.role(question) != "alert":
                            question = question.parent
                except Exception:
                    pass
            time.sleep(0.02)
        self.assertIsNotNone(question, "the replace question")
        screenshot("copy-window-replace-question")
        self.assertEqual(["Annuleren", "Ja", "Ja, alles", "Nee"],
                         sorted(n.name for n in tree.walk(question) if tree.role(n) == "push button"))
        self.assertTrue(any(tree.role(n) == "label" and "ncc.html" in n.name for n in tree.walk(question)))
        self.assertFalse(self.start_button().getState().contains(pyatspi.STATE_ENABLED))
        progress = next(n for n in tree.walk(self.app)
                        if tree.role(n) == "frame" and n.name.startswith("Bestanden worden gekopiëerd naar "))
        self.assertEqual("Bestanden worden gekopiëerd naar " + os.path.join(self.output, BOOK), progress.name)
        bar = tree.find(progress, "progress bar")
        self.assertEqual(["Voortgang:"], tree.labelled_by(bar))
        value = bar.queryValue()
        self.assertLessEqual(value.minimumValue, value.currentValue)
        self.assertLessEqual(value.currentValue, value.maximumValue)
        tree.find(progress, "push button", "Annuleren")
        self.press(question, "Ja, alles")
        self.wait_exit()
        self.assertFalse(ever_enabled)
        self.assertTrue(same_tree(self.disc, existing))

    def test_a_second_copy_of_the_same_book_gets_a_number(self):
        make_book(self.disc)
        self.configure(ConfirmOverwrite=0, AutoStart=1)
        for _ in range(2):
            env = self.sandbox.env(TALVORA_DRIVES=self.disc)
            self.assertEqual(0, subprocess.run([PROGRAM], env=env, timeout=60).returncode)
        self.assertEqual(sorted([BOOK, BOOK + "_001"]), sorted(os.listdir(self.output)))
        self.assertTrue(same_tree(self.disc, os.path.join(self.output, BOOK + "_001")))

    def test_no_disc_prompt_then_a_book_appears_and_ok_finds_it(self):
        self.configure()
        self.launch()
        prompt = self.alert(NO_DISC)
        screenshot("copy-window-no-disc")
        self.assertEqual(["Annuleren", "OK"],
                         sorted(n.name for n in tree.walk(prompt) if tree.role(n) == "push button"))
        make_book(self.disc)
        self.press(prompt, "OK")
        self.wait_ready()
        tree.find(self.window, "label", BOOK_TITLE)
        keys("Talvora", "Escape")
        self.wait_exit(CANCELLED)
        self.assertEqual([], os.listdir(self.output))

    def test_cancel_on_the_no_disc_prompt_ends_with_nothing_written(self):
        self.configure()
        self.launch()
        self.press(self.alert(NO_DISC), "Annuleren")
        self.wait_exit(CANCELLED)
        self.assertEqual([], os.listdir(self.output))

    def test_a_refused_ncc_is_reported_while_the_search_text_shows(self):
        with open(os.path.join(self.disc, "ncc.html"), "wb") as file:
            file.write(b"<?xml version='1.0'?><html><head><title>kapot" + b"<a>" * 5000)
        self.configure()
        self.launch()
        error = self.alert(REFUSED + "\nReden: het document is te diep genest of te ingewikkeld om veilig te lezen.")
        tree.find(self.window, "label", SEARCHING)
        screenshot("copy-window-refused")
        self.press(error, "OK")
        self.wait_exit(REFUSED_RUN)
        self.assertEqual([], os.listdir(self.output))

    def test_second_disc_of_three_is_named_so(self):
        make_book(self.disc, "--set", "2 of 3")
        self.configure(AutoStart=1)
        env = self.sandbox.env(TALVORA_DRIVES=self.disc)
        self.assertEqual(0, subprocess.run([PROGRAM], env=env, timeout=60).returncode)
        self.assertEqual([BOOK + " - 2 of 3"], os.listdir(self.output))

    def test_annuleren_on_a_question_is_heard_and_keeps_the_existing_folder(self):
        make_book(self.disc)
        existing = self.existing_book()
        self.configure(AutoStart=1, ConfirmOverwrite=1)
        self.launch()
        self.press(self.replace_question(), "Annuleren")
        told = self.alert("Het kopiëren is geannuleerd. De map\n" + existing +
                          "\nbestond al en blijft staan; de bestanden die al waren gekopieerd, staan erin, "
                          "de rest van de CD niet.")
        screenshot("copy-window-cancelled")
        self.press(told, "OK")
        self.wait_exit(CANCELLED)
        with open(os.path.join(existing, "ncc.html"), encoding="utf-8") as file:
            self.assertEqual("oud", file.read())
        self.assertEqual([BOOK], os.listdir(self.output), "no hidden work left behind")

    def test_a_killed_copy_leaves_nothing_that_reaches_the_next_book(self):
        # The first disc is killed halfway through a copy via the hard disk:
        # its files wait in the temporary folder, its work in the output.
        make_book(self.disc)
        with open(os.path.join(self.disc, "alleen-op-cd-1.txt"), "w", encoding="utf-8") as file:
            file.write("van de eerste CD")
        existing = self.existing_book()
        self.configure(AutoStart=1, ConfirmOverwrite=1, CopyViaTemp=1)
        self.launch()
        self.replace_question()
        self.process.kill()
        self.process.wait()
        self.assertTrue(self.hidden(), "the killed run's work is hidden in the output folder")

        shutil.rmtree(self.disc)
        make_book(self.disc, "--set", "2 of 3")
        self.configure(AutoStart=1, ConfirmOverwrite=0, CopyViaTemp=1)
        env = self.sandbox.env(TALVORA_DRIVES=self.disc)
        self.assertEqual(COPIED, subprocess.run([PROGRAM], env=env, timeout=60).returncode)
        second = os.path.join(self.output, BOOK + " - 2 of 3")
        self.assertTrue(same_tree(self.disc, second), "exactly the second disc, nothing of the first")
        self.assertEqual([], self.hidden())
        self.assertFalse(os.path.exists(os.path.join(self.sandbox.cache, "_TalvoraTmp_")))

    def test_a_daisy3_disc_is_copied_into_identifier_title_author(self):
        make_book(self.disc, "--daisy3")
        self.configure(MessageWhenDone=1)
        self.launch()
        self.wait_ready()
        tree.find(self.window, "label", BOOK_TITLE)
        tree.find(self.window, "label", os.path.join(self.output, BOOK))
        keys("Talvora", "Return")
        self.press(self.alert(DONE), "OK")
        self.wait_exit()
        self.assertEqual([BOOK], os.listdir(self.output))
        self.assertTrue(same_tree(self.disc, os.path.join(self.output, BOOK)))

    def test_a_disc_with_ncc_and_package_file_is_read_as_daisy_202(self):
        make_book(self.disc, "--with-package")
        self.configure(AutoStart=1)
        self.assertEqual(COPIED, subprocess.run([PROGRAM], env=self.sandbox.env(TALVORA_DRIVES=self.disc),
                                                timeout=60).returncode)
        self.assertEqual([BOOK], os.listdir(self.output))
        self.assertTrue(same_tree(self.disc, os.path.join(self.output, BOOK)))

    def test_a_two_book_disc_is_copied_into_two_folders_with_one_done_message(self):
        make_book(self.disc, "--two-books")
        # A file in the second book's way makes its copy ask, which holds
        # the window still while the second title shows.
        second = os.path.join(self.output, SECOND_BOOK)
        os.makedirs(second)
        with open(os.path.join(second, "speechgen.opf"), "w", encoding="utf-8") as file:
            file.write("oud")
        self.configure(MessageWhenDone=1, ConfirmOverwrite=1)
        self.launch()
        self.wait_ready()
        count = tree.find(self.window, "label", "Deze Daisy-CD bevat 2 Daisy-boeken.")
        self.assertEqual(["Titel van Daisy-boek:"], tree.labelled_by(count))
        screenshot("copy-window-two-books")
        keys("Talvora", "Return")
        question = self.replace_question()
        tree.find(self.window, "label", "Boek 2 van 2: De stille haven")
        tree.find(self.window, "label", second)
        self.press(question, "Ja, alles")
        self.press(self.alert(DONE), "OK")
        self.wait_exit()
        self.assertEqual(sorted([BOOK, SECOND_BOOK]), sorted(os.listdir(self.output)))
        self.assertTrue(same_tree(os.path.join(self.disc, "boek1"), os.path.join(self.output, BOOK)))
        self.assertTrue(same_tree(os.path.join(self.disc, "boek2"), second))


if __name__ == "__main__":
    unittest.main(verbosity=2)
