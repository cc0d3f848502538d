#!/usr/bin/python3
"""Time from starting talvora to its first window being visible, on the
display this runs on (run it under xvfb-run). Prints each start and the
median. Usage: bench/startup.py PATH/TO/talvora [RUNS]"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from talvora_process import Sandbox, start, wait_for_window  # noqa: E402

program = os.path.abspath(sys.argv[1])
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
times = []
for _ in range(runs):
    sandbox = Sandbox()
    began = time.monotonic()
    process = start(program, sandbox, "/setup")
    seen = wait_for_window("Talvora Instellingen", process.pid, timeout=30)
    if seen is not None:
        times.append((time.monotonic() - began) * 1000)
    process.kill()
    process.wait()
    process.stdout.close()
    process.stderr.close()
    sandbox.cleanup()
print("start to first window (ms): " + " ".join(f"{t:.0f}" for t in times))
print(f"median {statistics.median(times):.0f} ms over {len(times)} starts, "
      f"min {min(times):.0f} ms, max {max(times):.0f} ms")
