#!/usr/bin/python3
"""How often the progress window changes what a screen reader can read:
copies a sample book with a large audio file through the real program and
samples the progress line and the bar through the accessibility tree.
Prints figures; asserts nothing.

    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" dbus-run-session -- \\
        /usr/bin/python3 bench/progress_updates.py out/release/app/talvora [MB]
"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import atspi_tree as tree  # noqa: E402
from talvora_process import Sandbox  # noqa: E402

PROGRAM = os.path.abspath(sys.argv[1])
MEGABYTES = int(sys.argv[2]) if len(sys.argv) > 2 else 1500

sandbox = Sandbox()
disc = os.path.join(sandbox.home, "disc")
output = os.path.join(sandbox.home, "Boeken")
os.makedirs(output)
subprocess.run(["/usr/bin/python3", os.path.join(HERE, "..", "sample", "make_sample_book.py"), disc,
                "--extra-mb", str(MEGABYTES)], check=True)
os.makedirs(os.path.dirname(sandbox.settings_file()))
with open(sandbox.settings_file(), "w", encoding="utf-8") as file:
    file.write(f"[Settings]\nOutputDir={output}/\nAutoStart=1\nMessageWhenDone=0\nEjectWhenDone=0\n")
env = sandbox.env(TALVORA_DRIVES=disc)
env.pop("NO_AT_BRIDGE")
process = subprocess.Popen([PROGRAM], env=env)
try:
    app = tree.application(process.pid)
    frame = tree.find(app, "frame", timeout=20)
    deadline = time.monotonic() + 30
    progress = None
    while progress is None and time.monotonic() < deadline:
        progress = next((n for n in tree.walk(app)
                         if tree.role(n) == "frame" and n.name.startswith("Bestanden worden")), None)
    line = tree.find(progress, "text")
    cancel = tree.find(progress, "push button", "Annuleren")
    texts, descriptions, samples = [], [], 0
    started = time.monotonic()
    while process.poll() is None:
        try:
            text = line.queryText().getText(0, -1)
            description = cancel.description
        except Exception:  # the window is gone
            break
        samples += 1
        if not text:  # the window closing
            continue
        if not texts or texts[-1] != text:
            texts.append(text)
        if description and (not descriptions or descriptions[-1] != description):
            descriptions.append(description)
        time.sleep(0.01)
    seconds = time.monotonic() - started
    print(f"copy of {MEGABYTES} MB watched for {seconds:.2f} s ({samples} samples, "
          f"{samples / seconds:.0f} per second)")
    print(f"progress line: {len(texts)} different texts, {len(texts) / seconds:.1f} per second")
    print(f"Annuleren description: {len(descriptions)} different, {len(descriptions) / seconds:.1f} per second")
    for text in texts[:3] + ["..."] + texts[-2:]:
        print("  ", text)
finally:
    if process.poll() is None:
        process.kill()
    process.wait()
    sandbox.cleanup()
