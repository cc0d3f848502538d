"""Starting the real talvora program in a clean, private environment and
watching its windows on the X display it runs on."""

import os
import subprocess
import tempfile
import time

# The sample book the journeys put on their disc, and the folder name and
# title it gets under the default settings.
SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sample", "make_sample_book.py")
BOOK = "TV-2026-0042 - Het raadsel van de blauwe sluis - Hoogmeer, Tjitske"
BOOK_TITLE = "Het raadsel van de blauwe sluis"


class Sandbox:
    """A home, settings, cache and runtime folder of the test's own, so the
    program never touches the real user's files or lock."""

    def __init__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="talvora-e2e-")
        root = self._dir.name
        self.home = os.path.join(root, "home")
        self.config = os.path.join(root, "config")
        self.cache = os.path.join(root, "cache")
        self.runtime = os.path.join(root, "runtime")
        for folder in (self.home, self.config, self.cache, self.runtime):
            os.makedirs(folder, mode=0o700)

    def env(self, **extra):
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": os.environ["DISPLAY"],
            "HOME": self.home,
            "LANG": "C.UTF-8",
            "XDG_CONFIG_HOME": self.config,
            "XDG_CACHE_HOME": self.cache,
            "XDG_RUNTIME_DIR": self.runtime,
            "GSETTINGS_BACKEND": "memory",
            "NO_AT_BRIDGE": "1",
        }
        for name in ("XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "ASAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        env.update(extra)
        return env

    def settings_file(self):
        return os.path.join(self.config, "Merrowind", "Talvora.conf")

    def cleanup(self):
        self._dir.cleanup()


def start(program, sandbox, *args):
    return subprocess.Popen([program, *args], env=sandbox.env(), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


def visible_windows(name, pid=None):
    """Ids of the visible X windows whose title is exactly `name`."""
    command = ["xdotool", "search", "--onlyvisible"]
    if pid is not None:
        command += ["--pid", str(pid)]
    command += ["--name", "^" + name + "$"]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return result.stdout.split()


def wait_for_window(name, pid=None, timeout=20.0):
    """Seconds until the window appeared, or None."""
    started = time.monotonic()
    while time.monotonic() - started < timeout:
        if visible_windows(name, pid):
            return time.monotonic() - started
        time.sleep(0.02)
    return None


def screenshot(name):
    """Keeps a picture of the whole virtual screen for people to look at."""
    folder = os.environ.get("TALVORA_SCREENSHOTS")
    if not folder:
        return
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def keys(window_name, *sequence):
    """Focuses the window (there is no window manager to do it) and types."""
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + window_name + "$",
                    "windowfocus", "--sync"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=20, check=True)
    subprocess.run(["xdotool", "key", "--delay", "50", *sequence], check=True)


def click_at(extents):
    """A real mouse click in the middle of a control's screen extents."""
    x = extents.x + extents.width // 2
    y = extents.y + extents.height // 2
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True)
