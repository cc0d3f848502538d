#!/usr/bin/python3
"""What a screen-reader user hears: the real program under the real Orca,
keyboard only, asserting on the words Orca speaks (from its debug log). The
accessibility tree can hold text that is never spoken; this catches that.

The two-book journey runs TALVORA_ORCA_ROUNDS times (10 unless set): Orca
drops windows that follow each other too closely, at random."""

import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

from orca_session import Orca  # noqa: E402
from talvora_process import BOOK, BOOK_TITLE, SAMPLE  # noqa: E402

PROGRAM = os.path.abspath(sys.argv.pop(1))
ROUNDS = int(os.environ.get("TALVORA_ORCA_ROUNDS", "10"))
DONE = "Daisy-CD is gekopieerd."

_NOTIFICATIONS_XML = """<node><interface name="org.freedesktop.Notifications">
<method name="Notify"><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
<arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
<arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/></method>
<method name="GetCapabilities"><arg type="as" direction="out"/></method>
<method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
<arg type="s" direction="out"/><arg type="s" direction="out"/></method>
</interface></node>"""


class NotificationDaemon:
    """The desktop's notification service on the session bus, keeping the
    (summary, body) of each notification: a bare virtual desktop has no
    daemon whose notifications a screen reader would speak."""

    def __init__(self):
        self.received = []
        self._loop = GLib.MainLoop()
        self._ready = threading.Event()
        threading.Thread(target=self._run, daemon=True).start()
        self._ready.wait(10)

    def _run(self):
        info = Gio.DBusNodeInfo.new_for_xml(_NOTIFICATIONS_XML).interfaces[0]

        def call(connection, sender, path, interface, method, parameters, invocation):
            if method == "Notify":
                values = parameters.unpack()
                self.received.append((values[3], values[4]))
                invocation.return_value(GLib.Variant("(u)", (len(self.received),)))
            elif method == "GetCapabilities":
                invocation.return_value(GLib.Variant("(as)", (["body"],)))
            else:
                invocation.return_value(GLib.Variant("(ssss)", ("test", "test", "1", "1.2")))

        def acquired(connection, name):
            connection.register_object("/org/freedesktop/Notifications", info, call, None, None)
            self._ready.set()

        Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications", Gio.BusNameOwnerFlags.NONE,
                         acquired, None, None)
        self._loop.run()


def make_book(folder, *options):
    subprocess.run(["/usr/bin/python3", SAMPLE, folder, *options], check=True)


def press(*keys):
    subprocess.run(["xdotool", "key", "--delay", "80", *keys], check=True)


class Heard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="talvora-orca-")
        cls.orca = Orca(cls.folder.name)
        cls.notifications = NotificationDaemon()

    @classmethod
    def tearDownClass(cls):
        cls.orca.stop()
        cls.folder.cleanup()

    def setUp(self):
        self.work = tempfile.mkdtemp(dir=self.folder.name)
        self.disc = os.path.join(self.work, "disc")
        self.output = os.path.join(self.work, "Boeken")
        os.makedirs(self.output)
        self.process = None
        self.mark = 0

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        # What was heard, for whoever reads the test's output.
        print("\n".join("  heard: " + line for line in self.orca.spoken()[self.mark:]))

    def launch(self, **values):
        settings = {"OutputDir": self.output + "/", "EjectWhenDone": 1, "MessageWhenDone": 0, "AutoStart": 0,
                    "ConfirmOverwrite": 1}
        settings.update(values)
        config = os.path.join(self.work, "config")
        os.makedirs(os.path.join(config, "Merrowind"), exist_ok=True)
        with open(os.path.join(config, "Merrowind", "Talvora.conf"), "w", encoding="utf-8") as file:
            file.write("[Settings]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))
        self.mark = len(self.orca.spoken())
        env = self.orca.env(TALVORA_DRIVES=self.disc, XDG_CONFIG_HOME=config,
                            XDG_RUNTIME_DIR=os.path.join(self.work, "runtime"))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.process = subprocess.Popen([PROGRAM], env=env)

    def hear(self, fragment, timeout=20.0):
        """Waits until Orca says `fragment`; the utterances up to it."""
        heard = self.orca.wait_for(fragment, self.mark, timeout)
        self.assertIsNotNone(heard, f"Orca never said {fragment!r}; it said {self.orca.spoken()[self.mark:]}")
        self.mark += len(heard)
        # What was heard, in order, for whoever reads the test's output.
        print("\n".join("  heard: " + line for line in heard))
        return heard

    def wait_exit(self, status):
        self.assertEqual(status, self.process.wait(timeout=30))

    def test_1_replace_question_is_heard_whole_and_a_silent_copy_ends_without_a_message(self):
        make_book(self.disc)
        existing = os.path.join(self.output, BOOK)
        os.makedirs(existing)
        with open(os.path.join(existing, "ncc.html"), "w", encoding="utf-8") as file:
            file.write("oud")
        self.launch()
        self.hear(f"Kopieert ‘{BOOK_TITLE}’ naar {existing}")
        before = len(self.notifications.received)
        press("Return")
        self.hear(f"Het bestand {existing}/ncc.html bestaat al. Wilt u het vervangen?")
        self.hear("Ja drukknop")
        time.sleep(1.5)
        self.assertFalse([line for line in self.orca.spoken()[self.mark:] if "procent" in line],
                         "nothing of the progress bar behind the question")
        press("alt+l")  # Ja, alles
        self.wait_exit(0)
        # "Melding geven" off: no message, and a notification is one.
        self.assertEqual([], self.notifications.received[before:])
        self.assertFalse([line for line in self.orca.spoken()[self.mark:] if DONE in line])

    def test_2_error_question_and_missing_files_are_heard_whole(self):
        make_book(self.disc)
        os.mkfifo(os.path.join(self.disc, "kapot.wav"))
        self.launch(AutoStart=1)
        self.hear(f"Kan niet kopiëren: {self.output}/{BOOK}/kapot.wav Fout bij het lezen van de CD: ")
        self.hear("Opnieuw drukknop")
        press("alt+v")  # Overslaan
        self.hear("Het Daisy-boek is niet volledig gekopieerd. Deze bestanden konden niet van de CD worden gelezen: "
                  "kapot.wav Wat wel is gekopieerd, staat in")
        press("Return")
        self.wait_exit(1)

    def test_3_tab_reads_the_whole_progress_line(self):
        make_book(self.disc, "--extra-mb", "1200")
        self.launch(ConfirmOverwrite=0)
        self.hear("Start kopiëren")
        press("Return")
        self.hear("Voortgang:")
        press("Tab")
        self.hear("Annuleren drukknop")
        press("Tab")
        self.hear("Voortgang:")
        line = self.hear(" % – ")[-1]
        self.assertRegex(line, r"^\d+ % – [\d,]+ [kMG]B van [\d,]+ [kMG]B – "
                               r"(nog ongeveer \d+ (seconde|seconden|minuut|minuten)\.?|resterende tijd wordt berekend\.\.\.)$")
        self.wait_exit(0)

    def test_4_each_book_of_a_two_book_disc_is_announced_in_every_round(self):
        make_book(self.disc, "--two-books")
        for _ in range(ROUNDS):
            shutil.rmtree(self.output)
            os.makedirs(self.output)
            self.launch(MessageWhenDone=1)
            heard = self.hear("Kopieert 2 Daisy-boeken naar " + self.output)
            self.assertFalse([line for line in heard if "bevat" in line], "the count is no title")
            press("Return")
            first = self.hear("Boek 1 van 2: " + BOOK_TITLE)
            # The second book's window opens before the first one's closes.
            second = self.hear("Boek 2 van 2: De stille haven")
            self.assertEqual(1, len([line for line in first + second if "Boek 1 van 2" in line]),
                             "each book's heading is said once")
            self.hear(DONE)
            press("Return")
            self.wait_exit(0)


    def test_5_the_findings_are_heard_whole_with_their_book(self):
        make_book(self.disc, "--two-books", "--fault", "missing-smil")
        self.launch()
        said = " ".join(self.hear("Kopieert 2 Daisy-boeken naar " + self.output))
        if ".smil)." not in said:  # the findings, once the check has read the disc
            said = " ".join(self.hear(".smil)."))
        self.assertIn("Van de boeken op de CD is er 1 niet volledig", said)
        self.assertIn("(onvolledig)", said)
        self.assertIn(f"In ‘{BOOK_TITLE}’: ", said)
        press("Escape")
        self.wait_exit(2)

    def test_6_a_second_chance_says_what_it_reads_and_that_the_book_is_whole(self):
        make_book(self.disc)
        os.mkfifo(os.path.join(self.disc, "kapot.wav"))
        self.launch(MessageWhenDone=1, EjectWhenDone=0)
        self.hear("Kopieert ‘")
        press("Return")
        self.hear("Opnieuw drukknop")
        press("alt+v")  # Overslaan
        self.hear("Het Daisy-boek is niet volledig gekopieerd.")
        press("Return")
        self.wait_exit(1)
        # The cleaned disc gives the file.
        os.remove(os.path.join(self.disc, "kapot.wav"))
        with open(os.path.join(self.disc, "kapot.wav"), "wb") as file:
            file.write(b"RIFF")
        self.launch(MessageWhenDone=1, EjectWhenDone=0)
        self.hear(f"Een eerdere kopie van dit boek is onvolledig: ‘{BOOK} (onvolledig)’. Deze kopie vult die aan "
                  "en leest van de CD alleen ")
        press("Return")
        self.hear(f"Het boek is nu volledig en heet weer ‘{BOOK}’.")
        press("Return")
        self.wait_exit(0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
