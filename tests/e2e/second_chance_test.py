#!/usr/bin/python3
"""A damaged disc, and the second chance: the sample book with an audio file
that cannot be read (the user skips it) is copied as "<name> (onvolledig)"
with the file named; after
the disc is "cleaned", copying it again into the same output folder reads
only what the incomplete copy lacks, reads it back and gives the folder its
plain name."""

import filecmp
import os
import subprocess
import sys
import time
import unittest

import atspi_tree as tree
from talvora_process import BOOK, SAMPLE, Sandbox, screenshot

PROGRAM = os.path.abspath(sys.argv.pop(1))
COPIED, FAILED = 0, 1
NOTE = ".talvora-onvolledig"


def make_book(folder, *options):
    subprocess.run(["/usr/bin/python3", SAMPLE, folder, *options], check=True)


class SecondChance(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.disc = os.path.join(self.sandbox.home, "disc")
        self.output = os.path.join(self.sandbox.home, "Boeken")
        os.makedirs(self.output)
        self.process = None

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.sandbox.cleanup()

    def run_copy(self, message_starts, status):
        """One run with the copy starting by itself; answers the message
        box that starts with `message_starts` and returns its text."""
        os.makedirs(os.path.dirname(self.sandbox.settings_file()), exist_ok=True)
        with open(self.sandbox.settings_file(), "w", encoding="utf-8") as file:
            file.write(f"[Settings]\nOutputDir={self.output}/\nAutoStart=1\nEjectWhenDone=0\nMessageWhenDone=1\n")
        env = self.sandbox.env(TALVORA_DRIVES=self.disc)
        env.pop("NO_AT_BRIDGE")
        self.process = subprocess.Popen([PROGRAM], env=env)
        app = tree.application(self.process.pid)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            found = self.answer(app, message_starts, status)
            if found is not None:
                self.assertEqual(status, self.process.wait(timeout=30))
                return found
            time.sleep(0.05)
        self.fail(f"no message box starting with {message_starts!r}")

    @staticmethod
    def answer(app, message_starts, status):
        try:
            for node in tree.walk(app):
                if tree.role(node) != "alert":
                    continue
                # A file the disc does not give is skipped, as a user would
                # after trying again in vain.
                skip = [button for button in tree.walk(node)
                        if tree.role(button) == "push button" and button.name == "Overslaan"]
                if skip:
                    skip[0].queryAction().doAction(0)
                    continue
                # The first line is the box's primary text, the rest its
                # secondary text.
                text = "\n".join(child.name for child in tree.walk(node)
                                 if tree.role(child) == "label" and child.name)
                if text.startswith(message_starts):
                    screenshot("second-chance-" + str(status))
                    tree.find(node, "push button", "OK").queryAction().doAction(0)
                    return text
        except Exception:  # a window appearing or going
            pass
        return None

    def test_incomplete_copy_is_completed_from_a_clean_disc(self):
        make_book(self.disc)
        os.remove(os.path.join(self.disc, "aud0002.wav"))
        os.mkfifo(os.path.join(self.disc, "aud0002.wav"))
        told = self.run_copy("Het Daisy-boek is niet volledig gekopieerd.", FAILED)
        self.assertIn("aud0002.wav", told)
        incomplete = os.path.join(self.output, BOOK + " (onvolledig)")
        self.assertFalse(os.path.exists(os.path.join(self.output, BOOK)))
        with open(os.path.join(incomplete, NOTE), "rb") as note:
            self.assertIn(b"aud0002.wav", note.read().split(b"\0"))

        # The cleaned disc; one file on it now differs from the first
        # reading, which shows whether the second run reads it again.
        subprocess.run(["rm", "-rf", self.disc], check=True)
        make_book(self.disc)
        with open(os.path.join(self.disc, "aud0003.wav"), "r+b") as audio:
            audio.seek(100)
            byte = audio.read(1)
            audio.seek(100)
            audio.write(bytes([byte[0] ^ 0xFF]))
        done = self.run_copy("Daisy-CD is gekopieerd.", COPIED)
        self.assertIn("teruggelezen", done)
        self.assertIn(f"Het boek is nu volledig en heet weer ‘{BOOK}’.", done)

        whole = os.path.join(self.output, BOOK)
        self.assertEqual(sorted(os.listdir(self.output)), [BOOK])
        self.assertFalse(os.path.exists(os.path.join(whole, NOTE)))
        self.assertTrue(filecmp.cmp(os.path.join(self.disc, "aud0002.wav"), os.path.join(whole, "aud0002.wav"),
                                    shallow=False))
        self.assertFalse(filecmp.cmp(os.path.join(self.disc, "aud0003.wav"), os.path.join(whole, "aud0003.wav"),
                                     shallow=False), "a file the copy had was read from the disc again")


if __name__ == "__main__":
    unittest.main()
