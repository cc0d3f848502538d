"""A real screen reader on the test's virtual display: metacity as the
window manager, Orca with its debug log, speech-dispatcher's dummy output.
What Orca would have said is read back from the log, line by line."""

import os
import re
import subprocess
import time

# An utterance may run over several lines of the log: it ends at its quote
# before the voice's settings.
_SPOKEN = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - SPEECH OUTPUT: '(.*?)' ?(?:\{[^\n]*\})?$", re.S | re.M)
# Orca writes its debug log in blocks, so the last words would reach the
# file only later; run with every file it writes line-buffered instead.
_LINE_BUFFERED_ORCA = (
    "import builtins, sys\n"
    "_open = builtins.open\n"
    "def _lined(file, mode='r', *args, **kwargs):\n"
    "    if 'w' in mode and 'b' not in mode and not args:\n"
    "        kwargs.setdefault('buffering', 1)\n"
    "    return _open(file, mode, *args, **kwargs)\n"
    "builtins.open = _lined\n"
    "sys.argv[0] = '/usr/bin/orca'\n"
    "exec(compile(_open('/usr/bin/orca').read(), '/usr/bin/orca', 'exec'))\n")
_SPEECHD_CONF = 'AddModule "dummy" "sd_dummy" ""\nDefaultModule dummy\nDefaultLanguage nl\n'


class Orca:
    """Starts the window manager and Orca in `home`; `env()` is the
    environment for the program they watch."""

    def __init__(self, home):
        self.home = home
        self.log = os.path.join(home, "orca-debug.log")
        folder = os.path.join(home, ".config", "speech-dispatcher")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "speechd.conf"), "w", encoding="utf-8") as file:
            file.write(_SPEECHD_CONF)
        self._processes = []
        env = self.env()
        self._processes.append(subprocess.Popen(["metacity", "--replace"], env=env, stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL))
        time.sleep(1)
        self._processes.append(subprocess.Popen(["/usr/bin/python3", "-c", _LINE_BUFFERED_ORCA, "--replace",
                                                 "--debug-file=" + self.log], env=env,
                                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        # Orca reads its settings, finds the desktop and speaks its welcome.
        deadline = time.monotonic() + 30
        while not self.spoken() and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(2)

    def env(self, **extra):
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": os.environ["DISPLAY"],
            "HOME": self.home,
            "LANG": "nl_NL.UTF-8",
            "XDG_RUNTIME_DIR": os.path.join(self.home, "runtime"),
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "GSETTINGS_BACKEND": "memory",
        }
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        for name in ("XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS"):
            if name in os.environ:
                env[name] = os.environ[name]
        env.update(extra)
        return env

    def spoken(self):
        """Every utterance so far, in order."""
        try:
            with open(self.log, encoding="utf-8", errors="replace") as file:
                log = file.read()
        except FileNotFoundError:
            return []
        return [" ".join(m.group(1).split()) for m in _SPOKEN.finditer(log)]

    def wait_for(self, fragment, since=0, timeout=20.0):
        """The utterances after the first `since` up to and including one
        holding `fragment`; None when none came in time."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            heard = self.spoken()[since:]
            for i, line in enumerate(heard):
                if fragment in line:
                    return heard[:i + 1]
            time.sleep(0.1)
        return None

    def stop(self):
        for process in reversed(self._processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
