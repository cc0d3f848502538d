#!/usr/bin/python3
"""Time from starting talvora in copy mode to the book's title being shown
in the copy window, as the accessibility tree reports it, with the sample
book in a folder standing in for a drive. Run it as
  xvfb-run -a dbus-run-session -- bench/start_to_title.py PATH/TO/talvora [RUNS]
Prints each start and the median."""

import os
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
import atspi_tree as tree  # noqa: E402
from talvora_process import Sandbox  # noqa: E402

program = os.path.abspath(sys.argv[1])
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
TITLE = "Het raadsel van de blauwe sluis"
times = []
for _ in range(runs):
    sandbox = Sandbox()
    disc = os.path.join(sandbox.home, "disc")
    subprocess.run(["/usr/bin/python3", os.path.join(here, "..", "sample", "make_sample_book.py"), disc], check=True)
    os.makedirs(os.path.dirname(sandbox.settings_file()))
    with open(sandbox.settings_file(), "w", encoding="utf-8") as file:
        file.write(f"[Settings]\nOutputDir={sandbox.home}/\n")
    env = sandbox.env(TALVORA_DRIVES=disc)
    env.pop("NO_AT_BRIDGE")
    began = time.monotonic()
    process = subprocess.Popen([program], env=env)
    app = tree.application(process.pid)
    tree.find(app, "label", TITLE, timeout=30)
    times.append((time.monotonic() - began) * 1000)
    process.kill()
    process.wait()
    sandbox.cleanup()
print("start to title shown (ms): " + " ".join(f"{t:.0f}" for t in times))
print(f"median {statistics.median(times):.0f} ms over {len(times)} starts, "
      f"min {min(times):.0f} ms, max {max(times):.0f} ms")
