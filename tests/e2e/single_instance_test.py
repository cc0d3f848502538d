#!/usr/bin/python3
"""One Talvora at a time: a second start ends at once, silently, whatever
the first one shows; a first start that was killed keeps nobody out."""

import os
import signal
import sys
import time
import unittest

from talvora_process import Sandbox, start, visible_windows, wait_for_window

PROGRAM = os.path.abspath(sys.argv.pop(1))
SETTINGS_TITLE = "Talvora Instellingen"


class SingleInstance(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.processes = []

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait()
            process.stdout.close()
            process.stderr.close()
        self.sandbox.cleanup()

    def launch(self, *args):
        process = start(PROGRAM, self.sandbox, *args)
        self.processes.append(process)
        return process

    def assert_ends_silently(self, process):
        started = time.monotonic()
        process.wait(timeout=10)
        self.assertLess(time.monotonic() - started, 5.0)
        self.assertEqual("", process.stdout.read())
        self.assertEqual("", process.stderr.read())

    def test_second_start_ends_at_once_while_the_first_runs(self):
        first = self.launch("/setup")
        self.assertIsNotNone(wait_for_window(SETTINGS_TITLE, first.pid), "first start shows no window")

        for args in (("/setup",), (), ("/SETUP",)):
            with self.subTest(args=args):
                self.assert_ends_silently(self.launch(*args))
                self.assertEqual(1, len(visible_windows(SETTINGS_TITLE)))
                self.assertEqual([], visible_windows("Talvora"))
        self.assertIsNone(first.poll(), "the first start must keep running")
        self.assertFalse(os.path.exists(self.sandbox.settings_file()),
                         "no start wrote settings without being asked to")

    def test_killed_start_does_not_keep_the_next_one_out(self):
        first = self.launch("/setup")
        self.assertIsNotNone(wait_for_window(SETTINGS_TITLE, first.pid))
        first.send_signal(signal.SIGKILL)
        first.wait()
        self.assertTrue(os.path.exists(os.path.join(self.sandbox.runtime, "TalvoraMutex")))

        again = self.launch("/setup")
        self.assertIsNotNone(wait_for_window(SETTINGS_TITLE, again.pid), "next start was kept out")

    def test_nothing_visible_is_left_in_the_home_folder(self):
        first = self.launch("/setup")
        self.assertIsNotNone(wait_for_window(SETTINGS_TITLE, first.pid))
        self.assertEqual([], [n for n in os.listdir(self.sandbox.home) if not n.startswith(".")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
